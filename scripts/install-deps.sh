#!/bin/sh
# install-deps.sh [PACKAGE...]: installs the Debian packages the build and
# the tests need, and any named here, if any is missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
packages="$(grep -v '^#' "$here/packages.txt") $*"
missing=
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
# npm, for the workflow lint: Debian's, unless one came with the machine's
# Node.js (a Node.js that carries npm refuses Debian's npm beside it).
command -v npm >/dev/null 2>&1 || missing="$missing nodejs npm"
[ -z "$missing" ] && exit 0
sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
echo "installing:$missing"
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
