#!/usr/bin/env bash
# Fails on an include that goes up the README's source map (a folder of src/
# includes only its own headers and those of the folders below it) or that
# closes a cycle between units of src/ (a header and its source file), and
# prints each one found (tools/check_includes.py). Installs python3 where it
# is missing (needs root or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh includes
# The check's own cases first, on small trees of their own.
python3 tools/check_includes_test.py
python3 tools/check_includes.py
