# Run when Morlex.exe is installed (by cpack, into its staging folder):
# signs it there through scripts/sign.sh when a certificate is given in the
# environment (MORLEX_SIGN_PKCS12 or MORLEX_SIGN_PKCS11_MODULE, see there),
# and says plainly when none is. MORLEX_SOURCE_DIR is set by the install
# rule that includes this.
set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/Morlex.exe")
if(NOT "$ENV{MORLEX_SIGN_PKCS12}" STREQUAL "" OR NOT "$ENV{MORLEX_SIGN_PKCS11_MODULE}" STREQUAL "")
  execute_process(COMMAND sh ${MORLEX_SOURCE_DIR}/scripts/sign.sh ${installed} ${installed}.signed
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Morlex.exe could not be signed")
  endif()
  file(RENAME ${installed}.signed ${installed})
else()
  message(STATUS "Morlex.exe is NOT SIGNED: no certificate given (MORLEX_SIGN_PKCS12 or MORLEX_SIGN_PKCS11_MODULE)")
endif()
