#!/bin/sh
# sign.sh IN OUT: signs the Windows executable IN with Authenticode (SHA-256)
# into OUT, with a certificate given from outside the repository:
#   MORLEX_SIGN_PKCS12           a PKCS#12 file holding the key and its chain,
#   MORLEX_SIGN_PASSWORD         its password (passed on standard input, never
#                                on a command line or into a file);
# or, for a hardware token or a cloud key (through libp11's OpenSSL engine,
# Debian's libengine-pkcs11-openssl):
#   MORLEX_SIGN_PKCS11_MODULE    the PKCS#11 module (a .so),
#   MORLEX_SIGN_PKCS11_KEY       the key's PKCS#11 URI or id,
#   MORLEX_SIGN_CERTS            the certificate and its chain, in PEM;
# and, when given, an RFC 3161 time stamp from MORLEX_SIGN_TIMESTAMP_URL.
# Exits with 2, having written nothing, when no certificate is given.
set -eu
in=$1
out=$2
set -- -h sha256 -n Morlex
if [ -n "${MORLEX_SIGN_TIMESTAMP_URL:-}" ]; then
  set -- "$@" -ts "$MORLEX_SIGN_TIMESTAMP_URL"
fi
if [ -n "${MORLEX_SIGN_PKCS12:-}" ]; then
  printf '%s' "${MORLEX_SIGN_PASSWORD:-}" |
    osslsigncode sign "$@" -pkcs12 "$MORLEX_SIGN_PKCS12" -readpass /dev/stdin -in "$in" -out "$out" >/dev/null
elif [ -n "${MORLEX_SIGN_PKCS11_MODULE:-}" ]; then
  osslsigncode sign "$@" -pkcs11module "$MORLEX_SIGN_PKCS11_MODULE" \
    -key "$MORLEX_SIGN_PKCS11_KEY" -certs "$MORLEX_SIGN_CERTS" -in "$in" -out "$out" >/dev/null
else
  echo "sign.sh: no certificate given (MORLEX_SIGN_PKCS12 or MORLEX_SIGN_PKCS11_MODULE): not signed" >&2
  exit 2
fi
echo "signed $out"
