# Run by cpack once the package is made, before it is moved to
# CPACK_PACKAGE_DIRECTORY: puts the Morlex.exe the ZIP holds beside it and
# writes SHA256SUMS there, in the format that "sha256sum -c" reads, with the
# sums of the ZIP and of that executable; when it is signed, also of the
# unsigned executable the build made, which removing the signature gives
# back, put beside them as Morlex-unsigned.exe, so that every file listed is
# there to check.
set(built ${CPACK_MORLEX_BIN_DIR}/${CPACK_BUILD_CONFIG}/Morlex.exe)
if(NOT CPACK_BUILD_CONFIG OR NOT EXISTS ${built})
  set(built ${CPACK_MORLEX_BIN_DIR}/Morlex.exe)
endif()
set(sums "")
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/Morlex-unsigned.exe)
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
  file(SHA256 ${built} unsigned)
  if(NOT sum STREQUAL unsigned)
    string(APPEND sums "${unsigned}  Morlex-unsigned.exe\n")
    configure_file(${built} ${CPACK_PACKAGE_DIRECTORY}/Morlex-unsigned.exe COPYONLY)
  endif()
  file(COPY ${unpacked}/Morlex.exe DESTINATION ${CPACK_PACKAGE_DIRECTORY})
  file(REMOVE_RECURSE ${unpacked})
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
message(STATUS "wrote ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS")
