#!/usr/bin/env bash
# Builds elsScan with its tests and runs every test.
#   tools/test.sh             release-like build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer in build-sanitize/
#   tools/test.sh --windows   the Windows program cross-built with MinGW-w64 in
#                             build-windows/, every test run under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "${1:-}" in
  --sanitize)
    build=build-sanitize
    flags=(-DCMAKE_BUILD_TYPE=Debug -DELSSCAN_SANITIZE=ON)
    ;;
  --windows)
    build=build-windows
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)
    ;;
esac
tools/install-deps.sh "${1:-}"
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
ctest --output-on-failure -j "$(nproc)"
