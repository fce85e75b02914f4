#!/usr/bin/env bash
# Builds elsScan with its tests and runs every test.
#   tools/test.sh             release-like build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DELSSCAN_SANITIZE=ON)
fi
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)"
