#!/bin/sh
# signer.sh EXE: prints who signed EXE with Authenticode, as read from its
# signature: the signing certificate's subject (RFC 2253) and its SHA-1
# thumbprint as Windows shows it, one "subject: ..." and one
# "thumbprint: ..." line. Exits with 1 when EXE is not signed.
set -eu
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
osslsigncode extract-signature -pem -in "$exe" -out "$work/signature.pem" >/dev/null 2>&1 ||
  { echo "signer.sh: $exe is not signed" >&2; exit 1; }
# The certificates the signature carries, one file each; the signer's is the
# one that issued none of the others (its chain's are its issuers).
openssl pkcs7 -in "$work/signature.pem" -print_certs |
  awk -v dir="$work" '/-----BEGIN CERTIFICATE-----/ { n++ } n { print > (dir "/cert" n ".pem") }'
issuers=
for cert in "$work"/cert*.pem; do
  subject=$(openssl x509 -in "$cert" -noout -subject_hash)
  issuer=$(openssl x509 -in "$cert" -noout -issuer_hash)
  [ "$subject" = "$issuer" ] || issuers="$issuers $issuer"
done
for cert in "$work"/cert*.pem; do
  case " $issuers " in
    *" $(openssl x509 -in "$cert" -noout -subject_hash) "*) continue ;;
  esac
  echo "subject: $(openssl x509 -in "$cert" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')"
  echo "thumbprint: $(openssl x509 -in "$cert" -noout -fingerprint -sha1 | sed 's/^.*=//' | tr -d ':')"
  exit 0
done
echo "signer.sh: no signing certificate in the signature of $exe" >&2
exit 1
