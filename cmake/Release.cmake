# The release (`cmake --workflow --preset release`): the shipped programs and
# the library's SDK, packed by CPack into build/release/:
#   Korvel-<version>-win32.zip  Run.exe, install.exe and their README
#   Gen-<version>-sdk.zip       headers, libgen.a for i686 and x86_64, the
#                               CMake package, settings.exe, the example
#   SHA256SUMS                  of both, as sha256sum -c reads it
# This build compiles nothing itself. It builds the project twice: for i686
# as the win32 preset does (MinGW-w64 i686, MinSizeRel, no tests) the
# programs, the settings tool and the library; for x86_64 the library alone.
# Both install their library into one SDK folder. The builds and the archives
# take one time stamp, SOURCE_DATE_EPOCH (cmake/SourceDate.cmake), and no
# folder of the build lands in what they make: two releases of one commit are
# the same bytes. Signing: cmake/ReleaseSign.cmake.
include(ExternalProject)
include(SourceDate)
gen_source_date_epoch(GEN_SOURCE_DATE_EPOCH)

set(GEN_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file of the code-signing certificate and key (the environment's GEN_SIGN_PKCS12 first)")
set(GEN_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the PKCS#12 file's password (the environment's GEN_SIGN_PASSWORD_FILE first)")
set(GEN_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server for the signatures (the environment's GEN_SIGN_TIMESTAMP_URL first)")

set(release_stage ${CMAKE_BINARY_DIR}/stage)
# gen_release_build(TRIPLE TOOLCHAIN TARGET...): one build of the project
# with cmake/TOOLCHAIN, of the targets named, in TRIPLE/; its library is
# installed into stage/TRIPLE.
function(gen_release_build triple toolchain)
  ExternalProject_Add(${triple}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${triple}
    PREFIX ${CMAKE_BINARY_DIR}/steps
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${toolchain}
               -DCMAKE_BUILD_TYPE=MinSizeRel -DGEN_TESTS=OFF
               -DGEN_SOURCE_DATE_EPOCH=${GEN_SOURCE_DATE_EPOCH}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${ARGN}
    BUILD_ALWAYS ON  # the sources are this tree's: their own build knows what changed
    INSTALL_COMMAND ${CMAKE_COMMAND} -E rm -rf ${release_stage}/${triple}
            COMMAND ${CMAKE_COMMAND} --install <BINARY_DIR> --prefix ${release_stage}/${triple}
    LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
endfunction()
gen_release_build(i686-w64-mingw32 mingw-i686.cmake gen Run install_program settings)
gen_release_build(x86_64-w64-mingw32 mingw-x86_64.cmake gen)
set(i686_bin ${CMAKE_BINARY_DIR}/i686-w64-mingw32/bin)

# What each archive holds, under a folder named like the archive.
set(programs Korvel-${PROJECT_VERSION}-win32)
set(sdk Gen-${PROJECT_VERSION}-sdk)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The programs are signed as they are packed, when a certificate is named:
# the build's own files stay unsigned.
set(sign "include([==[${CMAKE_SOURCE_DIR}/cmake/ReleaseSign.cmake]==])
set(GEN_SIGN_PKCS12 [==[${GEN_SIGN_PKCS12}]==])
set(GEN_SIGN_PASSWORD_FILE [==[${GEN_SIGN_PASSWORD_FILE}]==])
set(GEN_SIGN_TIMESTAMP_URL [==[${GEN_SIGN_TIMESTAMP_URL}]==])")
configure_file(${CMAKE_SOURCE_DIR}/release/README.txt.in ${CMAKE_BINARY_DIR}/programs/README.txt @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/release/SDK-README.txt.in ${CMAKE_BINARY_DIR}/sdk/README.txt @ONLY)

install(PROGRAMS ${i686_bin}/Run.exe ${i686_bin}/install.exe DESTINATION ${programs} COMPONENT programs)
install(FILES ${CMAKE_BINARY_DIR}/programs/README.txt DESTINATION ${programs} COMPONENT programs)
install(CODE "${sign}
gen_sign_programs(\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${programs}\" Run.exe install.exe)"
        COMPONENT programs)

install(DIRECTORY ${release_stage}/i686-w64-mingw32/ ${release_stage}/x86_64-w64-mingw32/
        DESTINATION ${sdk} COMPONENT sdk)
install(PROGRAMS ${i686_bin}/settings.exe DESTINATION ${sdk}/bin COMPONENT sdk)
install(FILES ${CMAKE_SOURCE_DIR}/examples/CMakeLists.txt ${CMAKE_SOURCE_DIR}/examples/main.cpp
        DESTINATION ${sdk}/examples COMPONENT sdk)
install(FILES ${CMAKE_BINARY_DIR}/sdk/README.txt DESTINATION ${sdk} COMPONENT sdk)
install(CODE "${sign}
gen_sign_programs(\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${sdk}/bin\" settings.exe)"
        COMPONENT sdk)

# One ZIP archive for each component. CPack lists a component's files in
# sorted order; its ZIP writer takes the entries' times from
# SOURCE_DATE_EPOCH and their DOS times in the local zone, both set by
# cmake/ReleasePack.cmake; the modes are the install rules'.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Korvel)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs sdk)
set(CPACK_ARCHIVE_PROGRAMS_FILE_NAME ${programs})
set(CPACK_ARCHIVE_SDK_FILE_NAME ${sdk})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_GEN_SOURCE_DATE_EPOCH ${GEN_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/ReleasePack.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/ReleaseSums.cmake)
include(CPack)
