#!/usr/bin/env bash
# Builds elsScan and starts it on the bundled English sample, Genesis (one
# verse a line), with -c, which drops the blanks between the words. Any
# arguments replace the default ones, e.g.
#   tools/run-sample.sh samples/japanese-sjis.txt
# Installs only what building needs (CMake, g++, make), where it is missing;
# that step needs root or sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target elsScan
if [ $# -eq 0 ]; then set -- -c samples/genesis.txt; fi
exec build/elsScan "$@"
