# Included after project() by the fuzz preset (CMAKE_PROJECT_INCLUDE): reads
# this folder's CMakeLists.txt once the top-level folder has defined the
# library, so the fuzz build needs no switch in the project's own CMake
# files. Deferred calls may not add subdirectories, hence include(); their
# arguments are expanded when they run, hence the path expanded now by EVAL.
if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
  cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
                 CALL include [[${CMAKE_CURRENT_LIST_DIR}/CMakeLists.txt]])")
endif()
