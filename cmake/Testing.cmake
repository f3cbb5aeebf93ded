# GoogleTest, and how a test program is registered: natively it runs as it is;
# under Wine each test program is one CTest test, run serially through
# scripts/wine-test.sh, which asks for GoogleTest's own summary as proof.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# The throwaway Wine prefix, a 64-bit one that also runs 32-bit programs
# (WoW64) where the machine can.
set(GEN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "The Wine prefix the tests run in")
# What scripts/wine-test.sh skips with when a 32-bit program cannot run here.
set(GEN_SKIPPED 77)
if(CMAKE_CROSSCOMPILING)
  add_test(NAME wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh ${GEN_WINE_PREFIX})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine RUN_SERIAL TRUE)
endif()

# gen_add_test_run(name PROGRAM path [BITS 32|64] [ENVIRONMENT var=value ...]):
# one run of a GoogleTest program; under Wine, BITS says which Wine the
# programs under test need (by default this build's own).
function(gen_add_test_run name)
  cmake_parse_arguments(T "" "PROGRAM;BITS" "ENVIRONMENT" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    math(EXPR build_bits "${CMAKE_SIZEOF_VOID_P} * 8")
    if(NOT T_BITS)
      set(T_BITS ${build_bits})
    endif()
    # 32-bit programs may run emulated (scripts/install-deps.sh): far slower.
    if(T_BITS EQUAL 32)
      set(timeout 3600)
    else()
      set(timeout 600)
    endif()
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh ${T_PROGRAM})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RUN_SERIAL TRUE
                         SKIP_RETURN_CODE ${GEN_SKIPPED} TIMEOUT ${timeout}
                         ENVIRONMENT "WINEPREFIX=${GEN_WINE_PREFIX};GEN_WINE_BITS=${T_BITS};GEN_TEST_PROGRAM_BITS=${build_bits};${T_ENVIRONMENT}")
  else()
    add_test(NAME ${name} COMMAND ${T_PROGRAM})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# gen_add_test(name [UTF8] SOURCES ... [LIBS ...] [ENVIRONMENT var=value ...]):
# a GoogleTest program and its run. With UTF8 it carries the programs'
# manifest, so that its narrow texts are UTF-8 as theirs are (the end-to-end
# driver, which hands the programs such texts). The unit tests keep the
# system's ANSI code page: their stored values hold bytes that are no UTF-8
# (check-summed texts of every character, scrambled forms), which a UTF-8
# code page would turn into replacement characters.
function(gen_add_test name)
  cmake_parse_arguments(T "UTF8" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  if(T_UTF8)
    gen_add_manifest(${name})
  endif()
  gen_add_test_run(${name} PROGRAM $<TARGET_FILE:${name}> ENVIRONMENT ${T_ENVIRONMENT})
endfunction()
