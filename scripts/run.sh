#!/bin/sh
# run.sh [Morlex arguments]: installs what is missing, builds Morlex.exe, runs
# it under Wine with the arguments given, then shows the variable as the
# registry now holds it. The Wine prefix lives in build/wine-run.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Morlex -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

export WINEPREFIX="$PWD/build/wine-run" WINEDEBUG=-all
# Wine decodes its arguments in the locale's character set, so under one that
# is not UTF-8 (a minimal system without LANG) text beyond ASCII would reach
# Morlex as other characters. The arguments are UTF-8: Wine is told so.
case "$(locale charmap 2>/dev/null)" in
  UTF-8) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
scripts/wine-prefix.sh "$WINEPREFIX"

rc=0
wine build/windows/bin/Morlex.exe "$@" || rc=$?
echo "Morlex exited with $rc"

# Which variable the arguments name, and in which scope.
key='HKCU\Environment'
name=
for arg in "$@"; do
  case "$arg" in
    /s | /S) key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' ;;
    /*) ;;
    *) [ -n "$name" ] || name=$arg ;;
  esac
done
# Printed into a pipe, reg turns text beyond the console code page into "?";
# on a terminal Wine writes UTF-8. So reg runs on a wide one (script), and
# the terminal's cursor codes and reg's own messages are taken out again.
if [ -n "$name" ]; then
  quoted=$(printf '%s' "$name" | sed "s/'/'\\\\''/g")
  script -qec "stty cols 32000; wine reg query '$key' /v '$quoted'" /dev/null 2>/dev/null |
    tr -d '\r' | sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' | grep -v -e '^$' -e '^reg: ' ||
    echo "$name is not set in $key"
fi
exit "$rc"
