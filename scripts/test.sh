#!/bin/sh
# Installs what is missing, builds every preset and runs every test: the unit
# tests, the end-to-end tests under Wine, bounded fuzz runs and the static
# checks.
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

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz

scripts/check.sh
