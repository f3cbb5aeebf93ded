# Authenticode signing of the release's programs as they are packed (from
# the release's install rules), with osslsigncode: a SHA-256 digest, and a
# time stamp from an RFC 3161 server when one is named. What is used, each
# from the environment first, else from the release build's cache:
#   GEN_SIGN_PKCS12          the certificate and its private key, PKCS#12
#   GEN_SIGN_PASSWORD_FILE   a file whose first line is that file's password
#   GEN_SIGN_TIMESTAMP_URL   the time-stamp server (none: no time stamp)
# Without a PKCS#12 file nothing is signed, silently.

# gen_sign_programs(FOLDER PROGRAM...): signs each program of FOLDER in place.
function(gen_sign_programs folder)
  foreach(setting PKCS12 PASSWORD_FILE TIMESTAMP_URL)
    if(DEFINED ENV{GEN_SIGN_${setting}})
      set(GEN_SIGN_${setting} "$ENV{GEN_SIGN_${setting}}")
    endif()
  endforeach()
  if(GEN_SIGN_PKCS12 STREQUAL "")
    if(NOT GEN_SIGN_PASSWORD_FILE STREQUAL "" OR NOT GEN_SIGN_TIMESTAMP_URL STREQUAL "")
      message(FATAL_ERROR "A password file or time-stamp server is named for signing, but no GEN_SIGN_PKCS12")
    endif()
    return()
  endif()
  foreach(file GEN_SIGN_PKCS12 GEN_SIGN_PASSWORD_FILE)
    if(NOT ${file} STREQUAL "" AND NOT EXISTS "${${file}}")
      message(FATAL_ERROR "${file} names no file: ${${file}}")
    endif()
  endforeach()
  find_program(osslsigncode osslsigncode)
  if(NOT osslsigncode)
    message(FATAL_ERROR "Signing needs osslsigncode (scripts/install-deps.sh installs it)")
  endif()
  set(options -pkcs12 "${GEN_SIGN_PKCS12}" -h sha256 -n "Korvel")
  if(NOT GEN_SIGN_PASSWORD_FILE STREQUAL "")
    list(APPEND options -readpass "${GEN_SIGN_PASSWORD_FILE}")
  endif()
  if(NOT GEN_SIGN_TIMESTAMP_URL STREQUAL "")
    list(APPEND options -ts "${GEN_SIGN_TIMESTAMP_URL}")
  endif()
  foreach(program IN LISTS ARGN)
    set(path "${folder}/${program}")
    execute_process(COMMAND ${osslsigncode} sign ${options} -in "${path}" -out "${path}.signed"
                    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(failed)
      file(REMOVE "${path}.signed")
      message(FATAL_ERROR "Signing ${program} failed:\n${output}")
    endif()
    file(RENAME "${path}.signed" "${path}")
    # The mode the install rule gave, not osslsigncode's.
    file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
endfunction()
