# Compiler and linker settings of the three builds, in one place.
add_compile_options(-Wall -Wextra)

if(WIN32)
  enable_language(RC)
  # Only system DLLs at run time: the C and C++ runtimes go into the program.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    add_link_options(-s)
  endif()
  # Keep <windows.h> lean; the library uses the ANSI entry points by name.
  add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  # The system C runtime's formatting and scanning, not MinGW's own copies.
  add_compile_definitions(__USE_MINGW_ANSI_STDIO=0)
endif()

if(GEN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The manifest every Windows program of this project carries.
set(GEN_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/app.manifest)

# gen_add_manifest(target): the manifest alone as the target's resource, for
# the programs without a version resource (the settings tool, the tests), so
# that they meet the system as the shipped programs do. Nothing off Windows.
function(gen_add_manifest target)
  if(WIN32)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest.rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT "1 24 \"${GEN_MANIFEST}\"\n")
    target_sources(${target} PRIVATE ${rc})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${GEN_MANIFEST})
  endif()
endfunction()

# A program of this project: a Windows GUI program with the manifest and
# version resource, or on Linux a plain program whose main() is compat's.
# OUTPUT names the file where the target name cannot ("install" is CMake's).
function(gen_add_program target)
  cmake_parse_arguments(PROG "" "DESCRIPTION;OUTPUT" "SOURCES" ${ARGN})
  if(NOT PROG_OUTPUT)
    set(PROG_OUTPUT ${target})
  endif()
  if(WIN32)
    set(PROGRAM_NAME ${PROG_OUTPUT})
    set(PROGRAM_DESCRIPTION "${PROG_DESCRIPTION}")
    set(PROGRAM_MANIFEST ${GEN_MANIFEST})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    add_executable(${target} WIN32 ${PROG_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${PROGRAM_MANIFEST})
  else()
    add_executable(${target} ${PROG_SOURCES})
    target_link_libraries(${target} PRIVATE compat_winmain)
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${PROG_OUTPUT})
  target_link_libraries(${target} PRIVATE gen)
endfunction()
