# gen_source_date_epoch(out): the time a build stamps into what it makes, in
# seconds since 1970: SOURCE_DATE_EPOCH of the configuring environment, else
# the time of the source tree's last commit, else 0 (a tree without its
# history). Never the build's own time, so that a rebuild gives the same bytes.
function(gen_source_date_epoch out)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(NOT epoch STREQUAL "")
    if(NOT epoch MATCHES "^[0-9]+$")
      message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: '${epoch}'")
    endif()
  else()
    set(epoch 0)
    find_package(Git QUIET)
    if(GIT_EXECUTABLE AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
      execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                      OUTPUT_VARIABLE committed OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE failed ERROR_QUIET)
      if(NOT failed AND committed MATCHES "^[0-9]+$")
        set(epoch ${committed})
      endif()
    endif()
  endif()
  set(${out} ${epoch} PARENT_SCOPE)
endfunction()
