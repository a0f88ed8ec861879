#!/bin/sh
# signing.sh MORLEX BINARY_DIR WORK: signs MORLEX with a throwaway
# self-signed certificate made here, in WORK, through scripts/sign.sh, and
# makes the release with it (cpack in BINARY_DIR, into WORK/release). Checks
# that osslsigncode accepts the signature against that certificate, that
# removing it gives back MORLEX byte for byte, that SHA256SUMS lists the ZIP,
# the signed and the unsigned executable, and that the signed one runs.
set -eu
morlex=$1
binary=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Morlex test signing' \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
MORLEX_SIGN_PASSWORD=throwaway
MORLEX_SIGN_PKCS12="$work/signer.p12"
export MORLEX_SIGN_PKCS12 MORLEX_SIGN_PASSWORD
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$MORLEX_SIGN_PKCS12" \
  -passout env:MORLEX_SIGN_PASSWORD

"$here/../../scripts/sign.sh" "$morlex" "$work/Morlex.exe"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Morlex.exe" >"$work/verify.txt" ||
  { cat "$work/verify.txt"; exit 1; }
grep -E '^Signature verification: ok|^Succeeded' "$work/verify.txt"
osslsigncode remove-signature -in "$work/Morlex.exe" -out "$work/unsigned.exe" >/dev/null
cmp "$morlex" "$work/unsigned.exe"
echo "removing the signature gives back the built bytes"
if cmp -s "$morlex" "$work/Morlex.exe"; then echo "signing changed nothing"; exit 1; fi

# The release, signed: the ZIP holds the signed executable, which removing
# the signature turns back into the reproducible one.
(cd "$binary" && cpack -G ZIP -C Release -B "$work/release" >"$work/cpack.txt")
(
  cd "$work/release"
  [ "$(wc -l <SHA256SUMS)" = 3 ] || { cat SHA256SUMS; exit 1; }
  osslsigncode remove-signature -in Morlex.exe -out Morlex-unsigned.exe >/dev/null
  sha256sum -c SHA256SUMS
  cmp Morlex-unsigned.exe "$morlex"
)

wine "$work/release/Morlex.exe" MORLEX_SIGNED yes
stored=$(wine reg query 'HKCU\Environment' /v MORLEX_SIGNED | tr -d '\r' |
  sed -n 's/^ *MORLEX_SIGNED *REG_EXPAND_SZ *//p')
wine "$work/release/Morlex.exe" MORLEX_SIGNED
[ "$stored" = yes ] || { echo "the signed executable stored '$stored'"; exit 1; }
echo "the signed executable runs"
