# gen_platform(out): the name of the platform a build compiles for, which
# names the folder of the library and of its targets in the package, so that
# one package can hold the library for several toolchains. The package
# brings this file along: its configuration asks the client's build the same.
function(gen_platform out)
  if(MINGW)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(platform x86_64-w64-mingw32)
    else()
      set(platform i686-w64-mingw32)
    endif()
  else()
    string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" platform)
  endif()
  set(${out} ${platform} PARENT_SCOPE)
endfunction()
