#!/usr/bin/env bash
# Installs what building and testing elsScan needs, where it is missing.
#   tools/install-deps.sh            the Linux build and tests
#   tools/install-deps.sh --windows  also the MinGW-w64 cross compiler (posix
#                                    threads), Wine to run its programs, zip
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
command -v tmux >/dev/null || need+=(tmux)
command -v python3 >/dev/null || need+=(python3)
if [ "${1:-}" = "--windows" ]; then
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
  [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
  command -v zip >/dev/null || need+=(zip)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  # Wine's recommended packages (fonts, desktop glue) are not needed for
  # console programs.
  opts=()
  [ "${1:-}" = "--windows" ] && opts+=(--no-install-recommends)
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${opts[@]}" "${need[@]}"
fi
