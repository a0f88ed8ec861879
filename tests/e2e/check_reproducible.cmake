# Builds Morlex.exe again from a copy of SOURCE_DIR in another folder, and
# fails unless it is byte for byte the EXE that was built; also fails when a
# folder of the build machine shows in EXE.
# A folder name beyond ASCII, where the toolchain can carry one: the resource
# compiler reads the manifest's path in it. MinGW-w64's tools on Windows
# itself (MSYS2's windres, as and ld) take their paths in the ANSI code page,
# 1252 on the hosted machines, with no UTF-8 manifest: there the folder's
# name has a blank instead, which they carry.
if(ANSI_TOOLS)
  set(copy "${BINARY_DIR}/reproduce/elsewhere folder")
else()
  set(copy "${BINARY_DIR}/reproduce/elsewhere-田中-é")
endif()
file(REMOVE_RECURSE ${BINARY_DIR}/reproduce)
file(MAKE_DIRECTORY ${copy})
file(GLOB entries RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
list(REMOVE_ITEM entries build .git)
foreach(entry IN LISTS entries)
  file(COPY ${SOURCE_DIR}/${entry} DESTINATION ${copy})
endforeach()

# The copy is configured as this build was: the same generator and
# configuration, and the same toolchain file (the copy's own, when it is one
# of the tree's) or the same compiler.
set(toolchain "")
if(TOOLCHAIN_FILE)
  file(RELATIVE_PATH inside ${SOURCE_DIR} ${TOOLCHAIN_FILE})
  if(inside MATCHES "^\\.\\.")
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
  else()
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${copy}/${inside})
  endif()
else()
  set(toolchain -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${copy} -B ${copy}/out -G ${GENERATOR} ${toolchain}
                        -DCMAKE_BUILD_TYPE=${CONFIG} -DMORLEX_TESTS=OFF
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the copy does not configure:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${copy}/out --target Morlex --config ${CONFIG}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the copy does not build:\n${out}")
endif()

# bin/, or bin/<config>/ with a generator of several configurations.
file(GLOB_RECURSE again ${copy}/out/bin/Morlex.exe)
if(NOT again)
  message(FATAL_ERROR "the copy built no Morlex.exe")
endif()
file(SHA256 ${EXE} first)
file(SHA256 ${again} second)
message(STATUS "${EXE}: ${first}")
message(STATUS "${again}: ${second}")
if(NOT first STREQUAL second)
  message(FATAL_ERROR "two builds of the same sources differ")
endif()

file(STRINGS ${EXE} strings)
foreach(folder ${SOURCE_DIR} ${BINARY_DIR} ${copy})
  string(FIND "${strings}" "${folder}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${EXE} holds the build machine's folder ${folder}")
  endif()
endforeach()
file(REMOVE_RECURSE ${BINARY_DIR}/reproduce)
