#!/usr/bin/env bash
# Installs, from Debian's packages, what the named steps need, where it is
# missing. Installing needs root: the script runs apt-get directly as root and
# through sudo otherwise; when nothing is missing it installs nothing.
#
#   tools/install-deps.sh [STEP...]    steps (default: test):
#     build    the program: CMake, a C++ compiler, make
#     test     build, plus GoogleTest, and tmux and python3 for the terminal check
#     bench    the same as build: the benchmark needs nothing more (bench/run.sh
#              installs the packages of its corpus itself)
#     package  build, plus mandoc and groff to check the manual page, file
#              and dpkg-dev for cpack's Debian package, and lintian to check it
#     format   clang-format, to check the layout of the C++ files
#     includes python3, to check the includes of the C++ files
#     coverage build, plus gcovr, to report the tests' coverage
#              (tools/coverage.sh)
#     clang    build, plus clang with its sanitizer and fuzzer runtimes (for
#              tools/fuzz.sh and tools/test.sh --tsan)
#     windows  build, plus the MinGW-w64 cross compiler (posix threads) and
#              its objdump, GoogleTest's sources, Wine to run the Windows
#              programs, zip and unzip,
#              and script(1) for the console tests (tools/build-windows.sh,
#              tools/test.sh --windows)
set -euo pipefail

[ $# -gt 0 ] || set -- test

need=()
want_command() { command -v "$1" > /dev/null || need+=("$2"); }
want_file() { [ -f "$1" ] || need+=("$2"); }

for step in "$@"; do
  if [ "$step" = format ]; then
    want_command clang-format clang-format
    continue
  fi
  if [ "$step" = includes ]; then
    want_command python3 python3
    continue
  fi
  want_command cmake cmake
  want_command g++ g++
  want_command make make
  case $step in
    build | bench) ;;
    test)
      want_file /usr/include/gtest/gtest.h libgtest-dev
      want_command tmux tmux
      want_command python3 python3
      ;;
    coverage) want_command gcovr gcovr ;;
    package)
      want_command mandoc mandoc
      want_command groff groff-base
      want_command file file
      want_command dpkg-shlibdeps dpkg-dev
      want_command lintian lintian
      ;;
    clang)
      want_command clang++ clang
      compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null ||
        need+=(libclang-rt-dev)
      ;;
    windows)
      want_command x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
      want_command x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
      want_file /usr/src/googletest/CMakeLists.txt googletest
      want_file /usr/lib/wine/wine64 wine64
      want_command zip zip
      want_command unzip unzip
      want_command script bsdutils
      ;;
    *)
      echo "install-deps.sh: unknown step '$step' (build, test, bench, package, format, includes, coverage, clang, windows)" >&2
      exit 2
      ;;
  esac
done

if [ ${#need[@]} -gt 0 ]; then
  # The same package can be wanted by several steps.
  mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing with apt-get${sudo:+ (through sudo)}: ${need[*]}"
  $sudo apt-get update -qq
  # Wine's recommended packages (fonts, desktop parts) are not needed for
  # console programs.
  opts=()
  [[ " $* " == *" windows "* ]] && opts+=(--no-install-recommends)
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${opts[@]}" "${need[@]}"
fi
