#!/bin/sh
# release.sh TAG BINARY_DIR OUT HOMEPAGE: the release of the version tag TAG
# from the configured build in BINARY_DIR, into OUT: the ZIP, Morlex.exe
# (signed when a certificate is given, see scripts/sign.sh), the unsigned
# build as Morlex-unsigned.exe when it is signed, SHA256SUMS, the package
# manifests (HOMEPAGE is the project's page; the files are downloaded from
# HOMEPAGE/releases/download/TAG) and NOTES.md, the release's notes, which
# say who signed Morlex.exe, read from its signature, or that nobody did.
# Refuses, having made nothing, a TAG that is not "v" and the project's
# version, and a certificate without a time-stamp server: such a signature
# would stop validating when the certificate expires.
# release.sh TAG: only checks the tag, as the release job does first.
set -eu
tag=$1
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Morlex VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")
if [ "$tag" != "v$version" ]; then
  echo "release.sh: the tag $tag is not v$version, the version in CMakeLists.txt: no release" >&2
  exit 1
fi
[ $# -gt 1 ] || exit 0
binary=$2
out=$3
homepage=$4
signing=no
[ -z "${MORLEX_SIGN_PKCS12:-}${MORLEX_SIGN_PKCS11_MODULE:-}" ] || signing=yes
if [ $signing = yes ] && [ -z "${MORLEX_SIGN_TIMESTAMP_URL:-}" ]; then
  echo "release.sh: a certificate is given but no time-stamp server (MORLEX_SIGN_TIMESTAMP_URL): no release" >&2
  exit 1
fi

rm -rf "$out"
(cd "$binary" && cpack -G ZIP -C Release -B "$out" >&2)
(cd "$out" && sha256sum -c SHA256SUMS >&2)
"$here/scripts/manifests.sh" "$out/SHA256SUMS" "$homepage/releases/download/$tag" "$homepage" \
  "$out/manifests" >&2

zip=Morlex-$version-win64.zip
{
  echo "Morlex $version: \`$zip\` holds Morlex.exe, the README and the licence."
  echo
  if signer=$("$here/scripts/signer.sh" "$out/Morlex.exe" 2>/dev/null); then
    subject=$(echo "$signer" | sed -n 's/^subject: //p')
    thumbprint=$(echo "$signer" | sed -n 's/^thumbprint: //p')
    echo "Morlex.exe is signed with Authenticode (SHA-256, time-stamped) by"
    echo
    echo "- subject: \`$subject\`"
    echo "- thumbprint (SHA-1): \`$thumbprint\`"
    echo
    echo "Check it on Windows, in PowerShell (both must be True):"
    echo
    echo '```powershell'
    # shellcheck disable=SC2016 # PowerShell's variable
    echo '$s = Get-AuthenticodeSignature Morlex.exe'
    echo "\$s.Status -eq 'Valid'; \$s.SignerCertificate.Thumbprint -eq '$thumbprint'"
    echo '```'
    echo
    echo "or with \`signtool verify /pa /v Morlex.exe\`, whose signer must show that thumbprint."
    echo "\`Morlex-unsigned.exe\` is the same build without its signature: the executable that"
    echo "building the tag gives, byte for byte."
  else
    echo "**This release is NOT SIGNED.** Morlex.exe carries no Authenticode signature, so"
    echo "Windows may warn before it runs, or refuse it where policy asks for signed programs."
    echo "Check the download against \`SHA256SUMS\` and its build provenance instead."
  fi
  echo
  echo "Every file published here is listed in \`SHA256SUMS\` (\`sha256sum -c SHA256SUMS\`) and"
  echo "covered by the build provenance (\`gh attestation verify FILE --repo OWNER/REPOSITORY\`);"
  echo "docs/verifying.md in the repository says how to check each."
} >"$out/NOTES.md"
if [ $signing = yes ] && ! grep -q '^Morlex.exe is signed' "$out/NOTES.md"; then
  echo "release.sh: a certificate was given, but Morlex.exe is not signed: no release" >&2
  exit 1
fi
find "$out" -maxdepth 1 -type f | sort
