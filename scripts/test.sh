#!/bin/sh
# Installs what is missing, builds both presets and runs every test.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native

cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows
