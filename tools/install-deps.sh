#!/usr/bin/env bash
# Installs what building and testing elsScan needs, where it is missing.
#   tools/install-deps.sh [--clang]    --clang: also clang with its sanitizer runtimes
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
command -v tmux >/dev/null || need+=(tmux)
command -v python3 >/dev/null || need+=(python3)
# tools/fuzz.sh and tools/test.sh --tsan build with clang and its runtimes.
if [ "${1:-}" = "--clang" ]; then
  command -v clang++ >/dev/null || need+=(clang)
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null ||
    need+=(libclang-rt-dev)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi
