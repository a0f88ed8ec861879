#!/bin/sh
# Takes docs/usage-box.png: the usage box as Wine shows it on a virtual display.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh run xvfb xauth imagemagick x11-utils
cmake --preset windows >/dev/null
cmake --build --preset windows --target Morlex >/dev/null

export WINEPREFIX="$PWD/build/wine-shot" WINEDEBUG=-all
scripts/wine-prefix.sh "$WINEPREFIX"

# shellcheck disable=SC2016 # the inner shell expands them
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  wine build/windows/bin/Morlex.exe /? &
  morlex=$!
  window=
  for _ in $(seq 100); do
    window=$(xwininfo -root -tree | awk "/\"Morlex\"/ { print \$1; exit }")
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || { echo "no usage box appeared" >&2; exit 1; }
  sleep 1
  import -window root -crop "$(xwininfo -id "$window" | awk "
    /Absolute upper-left X/ { x = \$4 } /Absolute upper-left Y/ { y = \$4 }
    /Width:/ { w = \$2 } /Height:/ { h = \$2 }
    END { printf \"%dx%d+%d+%d\", w, h, x, y }")" +repage docs/usage-box.png
  wineserver -k
  wait "$morlex" || true
'
echo "wrote docs/usage-box.png"
