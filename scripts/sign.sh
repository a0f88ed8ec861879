#!/bin/sh
# sign.sh IN OUT: signs the Windows executable IN with Authenticode (SHA-256)
# into OUT, with a certificate given from outside the repository. Secrets go
# to osslsigncode on standard input, never on a command line or into a file.
# Either a PKCS#12 file, which suits a key of a private authority (a
# publicly trusted code-signing key cannot be exported from its hardware):
#   MORLEX_SIGN_PKCS12           the file, holding the key and its chain,
#   MORLEX_SIGN_PASSWORD         its password, if it has one;
# or a key in a hardware module or a cloud service, through PKCS#11 (libp11's
# OpenSSL engine, Debian's libengine-pkcs11-openssl):
#   MORLEX_SIGN_PKCS11_MODULE    the module (a .so),
#   MORLEX_SIGN_PKCS11_KEY       the key's PKCS#11 URI,
#   MORLEX_SIGN_PKCS11_PIN       the PIN, if the token asks for one,
#   MORLEX_SIGN_CERTS            the certificate and its chain, in PEM;
# and MORLEX_SIGN_TIMESTAMP_URL: RFC 3161 time-stamp servers, separated by
# blanks, tried in turn until one answers (none: no time stamp).
# osslsigncode's own messages go to standard error, so that a failure says
# why. Exits with 2, having written nothing, when no certificate is given,
# and with 1 when signing failed.
set -eu
in=$1
out=$2
if [ -n "${MORLEX_SIGN_PKCS12:-}" ]; then
  secret=${MORLEX_SIGN_PASSWORD:-}
  set -- -pkcs12 "$MORLEX_SIGN_PKCS12"
elif [ -n "${MORLEX_SIGN_PKCS11_MODULE:-}" ]; then
  secret=${MORLEX_SIGN_PKCS11_PIN:-}
  set -- -pkcs11module "$MORLEX_SIGN_PKCS11_MODULE" -key "${MORLEX_SIGN_PKCS11_KEY:?}" \
    -certs "${MORLEX_SIGN_CERTS:?}"
else
  echo "sign.sh: no certificate given (MORLEX_SIGN_PKCS12 or MORLEX_SIGN_PKCS11_MODULE): not signed" >&2
  exit 2
fi
set -- sign -h sha256 -n Morlex "$@"

# sign SERVER OPTION...: signs with osslsigncode's OPTIONs and the time stamp
# of SERVER, or with none when it is empty.
sign() {
  rm -f "$out"
  stamp=
  [ -z "$1" ] || stamp="-ts $1"
  shift
  # shellcheck disable=SC2086 # stamp is an option and its value, or nothing
  if [ -z "$secret" ]; then
    osslsigncode "$@" $stamp -in "$in" -out "$out" </dev/null >&2
  else
    printf '%s' "$secret" | osslsigncode "$@" $stamp -readpass /dev/stdin -in "$in" -out "$out" >&2
  fi
}

servers=${MORLEX_SIGN_TIMESTAMP_URL:-}
if [ -z "$servers" ]; then
  sign "" "$@" || { rm -f "$out"; echo "sign.sh: $in could not be signed (osslsigncode says why above)" >&2; exit 1; }
  echo "signed $out, with no time stamp"
  exit 0
fi
for server in $servers; do
  if sign "$server" "$@"; then
    echo "signed $out, time-stamped by $server"
    exit 0
  fi
  echo "sign.sh: signing with a time stamp from $server failed (osslsigncode says why above)" >&2
done
rm -f "$out"
echo "sign.sh: $in could not be signed with a time stamp from any of: $servers" >&2
exit 1
