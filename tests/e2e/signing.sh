#!/bin/sh
# signing.sh MORLEX BINARY_DIR WORK: signs MORLEX through scripts/sign.sh, in
# WORK, with throwaway certificates made here: a PKCS#12 file with a
# password and one without, and a key in a software PKCS#11 token (SoftHSM)
# with a chain of two. Checks that osslsigncode accepts each signature, that
# removing it gives back MORLEX byte for byte, that a wrong password says
# osslsigncode's reason, and that scripts/signer.sh names the signer. Then
# makes the release (cpack in BINARY_DIR, and scripts/release.sh): every file
# SHA256SUMS lists is there and checks, the signed executable runs, and a
# tag that is not the version, or a certificate without a time-stamp
# server, makes no release.
set -eu
morlex=$1
binary=$2
work=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAILED: $*"; exit 1; }

# certificate NAME SUBJECT [ISSUER]: NAME.pem and NAME.key, self-signed or
# issued by ISSUER.pem.
certificate() {
  if [ $# = 2 ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "$2" \
      -addext extendedKeyUsage=codeSigning -keyout "$1.key" -out "$1.pem" 2>/dev/null
  else
    openssl req -new -newkey rsa:2048 -nodes -subj "$2" -keyout "$1.key" -out "$1.csr" 2>/dev/null
    printf 'extendedKeyUsage=codeSigning\n' >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 2 \
      -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  fi
}

# signed OUT CAFILE: OUT is MORLEX signed, as osslsigncode checks it, and
# removing the signature gives MORLEX back.
signed() {
  osslsigncode verify -CAfile "$2" -in "$1" >verify.txt || { cat verify.txt; fail "$1 does not verify"; }
  rm -f unsigned.exe
  osslsigncode remove-signature -in "$1" -out unsigned.exe >/dev/null
  cmp "$morlex" unsigned.exe || fail "removing the signature of $1 does not give back the build"
  ! cmp -s "$morlex" "$1" || fail "signing $1 changed nothing"
  echo "passed: $1 verifies, and removing its signature gives back the built bytes"
}

certificate self '/CN=Morlex test signing/O=Test, Inc.'
openssl pkcs12 -export -inkey self.key -in self.pem -out password.p12 -passout pass:throwaway
openssl pkcs12 -export -inkey self.key -in self.pem -out open.p12 -passout pass:
thumbprint=$(openssl x509 -in self.pem -noout -fingerprint -sha1 | sed 's/^.*=//' | tr -d ':')

MORLEX_SIGN_PKCS12=password.p12 MORLEX_SIGN_PASSWORD=throwaway "$here/scripts/sign.sh" "$morlex" password.exe
signed password.exe self.pem
MORLEX_SIGN_PKCS12=open.p12 "$here/scripts/sign.sh" "$morlex" open.exe
signed open.exe self.pem
[ "$("$here/scripts/signer.sh" open.exe)" = "$(printf 'subject: O=Test\\, Inc.,CN=Morlex test signing\nthumbprint: %s' "$thumbprint")" ] ||
  fail "signer.sh says $("$here/scripts/signer.sh" open.exe)"
if MORLEX_SIGN_PKCS12=password.p12 MORLEX_SIGN_PASSWORD=wrong "$here/scripts/sign.sh" "$morlex" wrong.exe 2>said.txt; then
  fail "a wrong password signed"
fi
grep -q 'Wrong password' said.txt || { cat said.txt; fail "a wrong password does not say so"; }
[ ! -e wrong.exe ] || fail "a wrong password left a file"
echo "passed: a wrong password fails, with osslsigncode's reason"
if MORLEX_SIGN_PKCS12=open.p12 MORLEX_SIGN_TIMESTAMP_URL='http://127.0.0.1:9/a http://127.0.0.1:9/b' \
  "$here/scripts/sign.sh" "$morlex" stamped.exe 2>said.txt; then
  fail "a signature without the time stamp asked for was made"
fi
{ grep -q '127.0.0.1:9/a failed' said.txt && grep -q '127.0.0.1:9/b failed' said.txt; } ||
  { cat said.txt; fail "not every time-stamp server was tried"; }
echo "passed: every time-stamp server is tried in turn, and none answering signs nothing"

# A key in a token, issued by an authority of its own, with its PIN.
certificate authority '/CN=Morlex test authority'
certificate leaf '/CN=Morlex test token' authority
cat leaf.pem authority.pem >chain.pem
export SOFTHSM2_CONF="$work/softhsm2.conf"
mkdir tokens
echo "directories.tokendir = $work/tokens" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label morlex --so-pin 4321 --pin 1234 >/dev/null
openssl pkcs8 -topk8 -nocrypt -in leaf.key -out leaf.p8
softhsm2-util --import leaf.p8 --token morlex --label signer --id 01 --pin 1234 >/dev/null
MORLEX_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so MORLEX_SIGN_PKCS11_PIN=1234 \
  MORLEX_SIGN_PKCS11_KEY='pkcs11:token=morlex;object=signer;type=private' MORLEX_SIGN_CERTS=chain.pem \
  "$here/scripts/sign.sh" "$morlex" token.exe 2>said.txt || { cat said.txt; fail "the token did not sign"; }
signed token.exe authority.pem
leaf=$(openssl x509 -in leaf.pem -noout -fingerprint -sha1 | sed 's/^.*=//' | tr -d ':')
"$here/scripts/signer.sh" token.exe | grep -qx "thumbprint: $leaf" || fail "signer.sh names another certificate"
echo "passed: a key in a PKCS#11 token signs, and the signer is its certificate, not its authority"

# The release, signed: every file SHA256SUMS lists is there, the ZIP holds
# the signed executable, and the unsigned one is the reproducible build.
(cd "$binary" && MORLEX_SIGN_PKCS12="$work/open.p12" cpack -G ZIP -C Release -B "$work/release" >cpack.txt)
(
  cd release
  [ "$(wc -l <SHA256SUMS)" = 3 ] || { cat SHA256SUMS; exit 1; }
  sha256sum -c SHA256SUMS
  cmp Morlex-unsigned.exe "$morlex"
)
signed release/Morlex.exe self.pem
wine release/Morlex.exe MORLEX_SIGNED yes
stored=$(wine reg query 'HKCU\Environment' /v MORLEX_SIGNED | tr -d '\r' |
  sed -n 's/^ *MORLEX_SIGNED *REG_EXPAND_SZ *//p')
wine release/Morlex.exe MORLEX_SIGNED
[ "$stored" = yes ] || fail "the signed executable stored '$stored'"
echo "passed: the signed executable runs"

# The release job's own steps: a tag that is not the version, and a
# certificate without a time-stamp server, make nothing; unsigned, the
# notes say so.
version=$(sed -n 's/^project(Morlex VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")
if "$here/scripts/release.sh" "v$version.1" "$binary" tagged https://example.org/Morlex 2>said.txt; then
  fail "a release was made for the tag v$version.1"
fi
{ grep -q "is not v$version" said.txt && [ ! -e tagged ]; } || { cat said.txt; fail "the tag's refusal"; }
if MORLEX_SIGN_PKCS12=open.p12 "$here/scripts/release.sh" "v$version" "$binary" stampless \
  https://example.org/Morlex 2>said.txt; then
  fail "a release was signed without a time stamp"
fi
{ grep -q 'no time-stamp server' said.txt && [ ! -e stampless ]; } || { cat said.txt; fail "the time stamp's refusal"; }
"$here/scripts/release.sh" "v$version" "$binary" "$work/unsigned" https://example.org/Morlex 2>said.txt ||
  { cat said.txt; fail "the unsigned release"; }
(cd unsigned && sha256sum -c SHA256SUMS >/dev/null) || fail "the unsigned release's sums"
grep -q 'NOT SIGNED' unsigned/NOTES.md || fail "the unsigned release's notes do not say so"
[ -f unsigned/manifests/scoop/morlex.json ] || fail "the release has no manifests"
echo "passed: the release job refuses a wrong tag and a signature without a time stamp, and says when it is not signed"
