#!/usr/bin/env bash
# Builds elsScan with its tests and runs every test. Installs what the tests
# need (GoogleTest, tmux, python3, and CMake and g++), where it is missing;
# that step needs root or sudo.
#   tools/test.sh             release-like build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
#   tools/test.sh --tsan      the scan and Ctrl-C tests under ThreadSanitizer (clang) in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DELSSCAN_TESTS=ON)
tests=()
case "${1:-}" in
  --sanitize)
    build=build-sanitize
    flags=(-DCMAKE_BUILD_TYPE=Debug -DELSSCAN_SANITIZE=ON -DELSSCAN_TESTS=ON)
    ;;
  --tsan)
    # The tests where threads and signals meet: the scans, Ctrl-C, and
    # memory running out on several threads at once. (Under ThreadSanitizer
    # a signal does not restart a write, so blocked output is not tested.)
    tools/install-deps.sh clang
    build=build-tsan
    flags=(-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DELSSCAN_TSAN=ON
           -DELSSCAN_TESTS=ON)
    tests=(-R '^(FastScan|FindSequences|SearchBoth|Interrupt|MemoryExhausted)\.')
    ;;
esac
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "${tests[@]}"
