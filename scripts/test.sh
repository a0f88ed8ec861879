#!/bin/sh
# Installs what is missing, builds every preset and runs every test: the unit
# tests, the end-to-end tests under Wine, bounded fuzz runs and the static
# checks. Each preset runs as its CMake workflow: configure, build, test.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
CMAKE_BUILD_PARALLEL_LEVEL=$(nproc 2>/dev/null || echo 2)
export CMAKE_BUILD_PARALLEL_LEVEL

cmake --workflow --preset native
cmake --workflow --preset windows
cmake --workflow --preset fuzz

scripts/check.sh
