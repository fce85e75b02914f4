#!/usr/bin/env bash
# Builds elsScan with its tests and runs every test. Installs what the tests
# need (GoogleTest, tmux, python3, and CMake and g++), where it is missing;
# that step needs root or sudo.
#   tools/test.sh             release-like build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DELSSCAN_TESTS=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DELSSCAN_SANITIZE=ON -DELSSCAN_TESTS=ON)
fi
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)"
