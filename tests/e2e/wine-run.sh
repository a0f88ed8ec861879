#!/bin/sh
# wine-run.sh PREFIX COMMAND [ARGS...]: runs COMMAND with Wine set up to use
# the throwaway PREFIX (created on first use), on its own virtual X display;
# a COMMAND that is a Windows program runs under wine. The windows preset
# makes it CMake's emulator, with the build's prefix.
set -eu
prefix=$1
shift
case $1 in
  *.exe | *.EXE) set -- wine "$@" ;;
esac
export WINEPREFIX="$prefix" WINEDEBUG=-all
"$(dirname "$0")/../../scripts/wine-prefix.sh" "$prefix"
# A wineserver left from another display would keep that display's desktop.
wineserver -k 2>/dev/null || true
wineserver -w
# shellcheck disable=SC2016 # the inner shell expands them
exec xvfb-run -a sh -c '"$@"; rc=$?; wineserver -w; exit $rc' wine-run "$@"
