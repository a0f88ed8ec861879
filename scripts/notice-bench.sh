#!/bin/sh
# Builds Morlex.exe and the notice benchmark, and runs it under Wine on a
# virtual display, in the test prefix: prints how long the change notice
# takes with slow and with responsive receivers.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh run xvfb xauth
cmake --preset windows >/dev/null
cmake --build --preset windows --target notice_bench -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tests/e2e/wine-run.sh "$PWD/build/windows/wineprefix" wine build/windows/bin/notice_bench.exe
