# Run by cpack after it packed the release (CPACK_POST_BUILD_SCRIPTS): the
# SHA-256 of each archive, into SHA256SUMS beside them, in the format
# `sha256sum -c SHA256SUMS` reads.
set(sums "")
list(SORT CPACK_PACKAGE_FILES)
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 ${archive} sum)
  get_filename_component(name ${archive} NAME)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
message(STATUS "Checksums: ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS")
