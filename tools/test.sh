#!/usr/bin/env bash
# Builds elsScan with its tests and runs every test. Installs what the tests
# need (GoogleTest, tmux, python3, and CMake and g++), where it is missing;
# that step needs root or sudo.
#   tools/test.sh             release-like build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
#   tools/test.sh --tsan      the scan and Ctrl-C tests under ThreadSanitizer (clang) in build-tsan/
#   tools/test.sh --windows   the Windows program cross-built with MinGW-w64 in
#                             build-windows/, every test run under Wine
# Each run ends with a line that names the widths of the masks' steps whose
# tests ran, and why any were skipped.
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
    tests=(-R '^(FastScan|Steps/FastScanWidth|FindSequences|SearchBoth|Interrupt|MemoryExhausted|BinarySemaphore)\.')
    ;;
  --windows)
    tools/install-deps.sh windows
    build=build-windows
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
           -DELSSCAN_TESTS=ON)
    ;;
esac
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

# Which widths of the masks' steps the tests just run took: "ran", "failed",
# "skipped" with the reason that the test gave, or "did not run". The
# widths are those of the width tests, one per row of the program's table
# of widths, in its order; their states come from CTest's log.
report_step_widths() {
  local log=Testing/Temporary/LastTest.log
  [ -f "$log" ] || return 0
  local tested widths
  tested=$(tr -d '\r' < "$log")  # read first: ctest -N writes a log of its own
  widths=$(ctest -N -R 'FastScanWidth\..*/Of[0-9]+Skips$' |
           sed -n 's/.*FastScanWidth\..*\/Of\([0-9]*\)Skips$/\1/p' | tr '\n' ' ')
  awk -v widths="$widths" '
    / Test: .*FastScanWidth\..*\/Of[0-9]+Skips$/ {
      match($0, /Of[0-9]+Skips$/)
      width = substr($0, RSTART + 2, RLENGTH - 7) + 0
      seen[width] = 1
      next
    }
    width == "" { next }
    /: Skipped$/ { getline; if (!(width in state)) state[width] = "skipped (" $0 ")"; next }
    /^\[       OK \]/ { if (state[width] !~ /failed/) state[width] = "ran"; next }
    /^\[  FAILED  \]/ { state[width] = "failed"; next }
    /^<end of output>/ { width = "" }
    END {
      line = ""
      count = split(widths, order, " ")
      for (k = 1; k <= count; ++k) {
        w = order[k] + 0
        result = w in state ? state[w] : (w in seen ? "failed" : "did not run")
        line = line (line == "" ? "" : ", ") w " skips " result
      }
      print "Steps of the masks: " (line == "" ? "no width test ran" : line)
    }' <<< "$tested"
}

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
  report_step_widths
  echo "Skipped on Windows:"
  ctest -V -R '^(skipped|script)\.' 2>/dev/null | sed -n 's/^[0-9]*: skipped on Windows: /  /p'
  exit $status
fi
status=0
ctest --output-on-failure -j "$(nproc)" "${tests[@]}" || status=$?
report_step_widths
exit $status
