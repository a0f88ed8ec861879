#!/bin/sh
# install-deps.sh NEED [PACKAGE...]: installs the Debian packages that NEED
# asks for in scripts/packages.txt (run: building and running Morlex under
# Wine; test: that and every test and check; release: the release job's
# build and signing), and any named here, if any is missing.
# install-deps.sh --list NEED: prints them instead.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
list=no
if [ "${1:-}" = --list ]; then
  list=yes
  shift
fi
need=${1:?usage: install-deps.sh [--list] run|test|release [PACKAGE...]}
shift
case $need in
  run) wanted=run ;;
  test) wanted="run test" ;;
  release) wanted=release ;;
  *) echo "install-deps.sh: no need called $need (run, test or release)" >&2; exit 2 ;;
esac
packages=$(awk -v wanted=" $wanted " '!/^#/ && NF {
  for (i = 2; i <= NF; i++) if (index(wanted, " " $i " ")) { print $1; break } }' "$here/packages.txt")
if [ $list = yes ]; then
  # shellcheck disable=SC2086 # one package a word, on one line
  echo $packages
  exit 0
fi
packages="$packages $*"
missing=
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
# npm, for the checks' own tools: Debian's, unless one came with the
# machine's Node.js (a Node.js that carries npm refuses Debian's npm beside it).
if [ "$need" = test ] && ! command -v npm >/dev/null 2>&1; then
  missing="$missing nodejs npm"
fi
[ -z "$missing" ] && exit 0
sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
echo "installing:$missing"
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
