#!/usr/bin/env bash
# Builds elsScan and starts it on the bundled English sample (Genesis, letters
# only). Any further arguments replace the default ones, e.g.
#   tools/run-sample.sh samples/japanese-sjis.txt
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target elsScan
if [ $# -eq 0 ]; then set -- -c samples/genesis.txt; fi
exec build/elsScan "$@"
