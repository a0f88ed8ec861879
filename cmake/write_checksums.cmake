# Run by cpack once the package is made, before it is moved to
# CPACK_PACKAGE_DIRECTORY: writes SHA256SUMS there, with the sums of the ZIP
# and of the executable inside it, in the format that "sha256sum -c" reads.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(directory ${package} DIRECTORY)
  get_filename_component(name ${package} NAME)
  file(SHA256 ${package} sum)
  string(APPEND sums "${sum}  ${name}\n")
  set(unpacked ${directory}/checksums)
  file(REMOVE_RECURSE ${unpacked})
  file(ARCHIVE_EXTRACT INPUT ${package} DESTINATION ${unpacked} PATTERNS Morlex.exe)
  file(SHA256 ${unpacked}/Morlex.exe sum)
  string(APPEND sums "${sum}  Morlex.exe\n")
  file(REMOVE_RECURSE ${unpacked})
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
message(STATUS "wrote ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS")
