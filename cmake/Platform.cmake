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

  # The same bytes wherever and whenever a program or library is built. The
  # source and build folders are mapped out of __FILE__ and the objects' file
  # names (the build folder last: it may lie inside the source folder, and
  # the last map that matches wins).
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  # Archives without member times, owners or modes, whatever ar's default.
  foreach(lang C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
  endforeach()
  # The PE header's time stamp: binutils' linker takes SOURCE_DATE_EPOCH from
  # its environment. A release passes its own down to each of its builds.
  if(NOT DEFINED GEN_SOURCE_DATE_EPOCH)
    include(SourceDate)
    gen_source_date_epoch(GEN_SOURCE_DATE_EPOCH)
  endif()
  foreach(lang C CXX)
    set(CMAKE_${lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${GEN_SOURCE_DATE_EPOCH})
  endforeach()
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
