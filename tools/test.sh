#!/usr/bin/env bash
# Builds elsScan with its tests and runs every test. Installs what the tests
# need (GoogleTest, tmux, python3, and CMake and g++), where it is missing;
# that step needs root or sudo.
#   tools/test.sh             release-like build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
#   tools/test.sh --tsan      the scan and Ctrl-C tests under ThreadSanitizer (clang) in build-tsan/
#   tools/test.sh --windows   the Windows program cross-built with MinGW-w64 in
#                             build-windows/, every test run under Wine
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
    tests=(-R '^(FastScan|FindSequences|SearchBoth|Interrupt|MemoryExhausted|BinarySemaphore)\.')
    ;;
  --windows)
    tools/install-deps.sh windows
    build=build-windows
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
           -DELSSCAN_TESTS=ON)
    ;;
esac
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"

if [ "${1:-}" = "--windows" ]; then
  # A Wine prefix of this build tree's own, made once before the tests start
  # so that they do not race to make it, and one Wine server kept running for
  # all of them.
  export WINEPREFIX="$PWD/wineprefix" WINEDEBUG=-all
  timeout 300 /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver -p || true  # 2: one is running already
  trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
  status=0
  ctest --output-on-failure -j "$(nproc)" || status=$?
  echo "Skipped on Windows:"
  ctest -V -R '^(skipped|script)\.' 2>/dev/null | sed -n 's/^[0-9]*: skipped on Windows: /  /p'
  exit $status
fi
ctest --output-on-failure -j "$(nproc)" "${tests[@]}"
