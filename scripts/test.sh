#!/bin/sh
# Installs what is missing, builds every preset and runs every test: the unit
# tests, the end-to-end tests under Wine, bounded fuzz runs and the static
# checks. Each preset runs as its CMake workflow: configure, build, test.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
CMAKE_BUILD_PARALLEL_LEVEL=$(nproc 2>/dev/null || echo 2)
export CMAKE_BUILD_PARALLEL_LEVEL

echo "The toolchain:"
for tool in cmake g++ x86_64-w64-mingw32-g++-posix clang++ wine osslsigncode node; do
  printf '  %s: %s\n' "$tool" "$("$tool" --version 2>/dev/null | head -n 1)"
done

cmake --workflow --preset native
cmake --workflow --preset windows
cmake --workflow --preset fuzz

scripts/check.sh
