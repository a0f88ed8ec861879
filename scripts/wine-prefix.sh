#!/bin/sh
# wine-prefix.sh PREFIX: creates the throwaway Wine prefix PREFIX if it is
# missing, without a display and with no installer dialog, then waits for its
# wineserver to exit, so that the next Wine program starts a wineserver with
# whatever display it is given.
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  env -u DISPLAY WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1
fi
wineserver -w
