#!/bin/sh
# run.sh [Morlex arguments]: installs what is missing, builds Morlex.exe, runs
# it under Wine with exactly the arguments given, then shows the variable as
# the registry now holds it. The Wine prefix lives in build/wine-run.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset windows >/dev/null
cmake --build --preset windows --target Morlex run_morlex -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

export WINEPREFIX="$PWD/build/wine-run" WINEDEBUG=-all
# Wine decodes its arguments in the locale's character set, so under one that
# is not UTF-8 (a minimal system without LANG) text beyond ASCII would reach
# Morlex as other characters. The arguments are UTF-8: Wine is told so.
case "$(locale charmap 2>/dev/null)" in
  UTF-8) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
scripts/wine-prefix.sh "$WINEPREFIX"

# Wine hands a Windows program its arguments with backslash escapes, which
# Morlex's own splitting rightly does not undo; run_morlex takes them apart as
# Windows programs do and gives Morlex a command tail that its rules split
# back into exactly these arguments, then reads the variable back.
rc=0
wine build/windows/bin/run_morlex.exe "$@" || rc=$?
exit "$rc"
