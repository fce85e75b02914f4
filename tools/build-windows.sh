#!/usr/bin/env bash
# Cross-builds the Windows program on Debian: build-windows/elsScan.exe, one
# static 64-bit executable that needs no DLL besides the system's own, made
# with MinGW-w64 (posix threads). Installs the compiler first where missing.
#   tools/build-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --windows

build=build-windows
flags=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release)
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target elsScan
echo "built $build/elsScan.exe"
