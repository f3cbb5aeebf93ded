# The library as a CMake package: `cmake --install` puts the headers under
# include/gen/, the static library under lib/ and the package configuration
# under lib/cmake/Gen/, so that a client writes
#   find_package(Gen REQUIRED)
#   target_link_libraries(app PRIVATE Gen::gen)
# On Linux the package brings compat/ along as the platform under the
# library: its headers (<windows.h> and the rest, under include/gen/compat/)
# and its library come through Gen::gen. The install folders are
# GNUInstallDirs', which the top-level CMakeLists.txt includes.
include(CMakePackageConfigHelpers)

set(GEN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Gen)
set(GEN_TARGETS gen)
if(TARGET compat)
  list(APPEND GEN_TARGETS compat)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/compat/include/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gen/compat)
endif()
install(TARGETS ${GEN_TARGETS} EXPORT GenTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/gen/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gen
        FILES_MATCHING PATTERN "*.h")
install(EXPORT GenTargets NAMESPACE Gen:: DESTINATION ${GEN_PACKAGE_DIR})

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/GenConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/GenConfig.cmake
                              INSTALL_DESTINATION ${GEN_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/GenConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/GenConfig.cmake ${CMAKE_BINARY_DIR}/GenConfigVersion.cmake
        DESTINATION ${GEN_PACKAGE_DIR})
