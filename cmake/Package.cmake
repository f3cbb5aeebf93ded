# The library as a CMake package: `cmake --install` puts the headers under
# include/gen/, the static library under lib/<platform>/ and the package
# configuration under lib/cmake/Gen/ (the targets under its <platform>/, the
# platform as GenPlatform.cmake names it), so that a client writes
#   find_package(Gen REQUIRED)
#   target_link_libraries(app PRIVATE Gen::gen)
# On Linux the package brings compat/ along as the platform under the
# library: its headers (<windows.h> and the rest, under include/gen/compat/)
# and its library come through Gen::gen. The install folders are
# GNUInstallDirs', which the top-level CMakeLists.txt includes. Installs for
# several platforms into one prefix share the headers and the configuration
# and keep their libraries apart: the release's SDK is made so.
include(CMakePackageConfigHelpers)
include(GenPlatform)

gen_platform(GEN_PLATFORM)
set(GEN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Gen)
set(GEN_TARGETS gen)
if(TARGET compat)
  list(APPEND GEN_TARGETS compat)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/compat/include/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gen/compat)
endif()
install(TARGETS ${GEN_TARGETS} EXPORT GenTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}/${GEN_PLATFORM})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/gen/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gen
        FILES_MATCHING PATTERN "*.h")
install(EXPORT GenTargets NAMESPACE Gen:: DESTINATION ${GEN_PACKAGE_DIR}/${GEN_PLATFORM})

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/GenConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/GenConfig.cmake
                              INSTALL_DESTINATION ${GEN_PACKAGE_DIR})
# One version file for every platform (GenConfig.cmake checks the platform):
# without the pointer size, which the file would name even so, the builds for
# each platform write the same bytes, whichever of them is installed last.
block()
  unset(CMAKE_SIZEOF_VOID_P)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/GenConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion
                                   ARCH_INDEPENDENT)
endblock()
install(FILES ${CMAKE_BINARY_DIR}/GenConfig.cmake ${CMAKE_BINARY_DIR}/GenConfigVersion.cmake
              ${CMAKE_SOURCE_DIR}/cmake/GenPlatform.cmake
        DESTINATION ${GEN_PACKAGE_DIR})
