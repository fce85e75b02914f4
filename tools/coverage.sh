#!/usr/bin/env bash
# Line and branch coverage of src/ by the Linux tests: builds with g++'s
# --coverage in build-coverage/ (a build of its own: the option refuses the
# sanitizers), runs every test, and reports with gcovr. Prints the line and
# branch coverage of each file and folder under src/, and fails when
#   - lines or branches of src/search, src/core, src/select, src/display or
#     src/text fall below 95% (each folder's total), or
#   - any function under src/ is never entered.
# The other system's code is not compiled, so it never counts. A line or
# branch that no test can reach on purpose is left out by a GCOVR_EXCL_*
# comment that says why. Needs gcovr (installed when missing, as root or
# through sudo). build-coverage/coverage.json keeps the whole report.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test coverage

build=build-coverage
flags=(-DCMAKE_BUILD_TYPE=Debug -DELSSCAN_COVERAGE=ON -DELSSCAN_TESTS=ON)
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake -S . -B "$build" "${flags[@]}" >/dev/null
# Counts of an earlier run would add up with this one's, and so would those
# of the listing of the tests that the build runs.
[ -d "$build" ] && find "$build" -name '*.gcda' -delete
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
status=0
(cd "$build" && ctest --output-on-failure -j "$(nproc)") || status=$?

# Throw branches are the exception paths that every call may have in a
# build with exceptions; the program throws none. Unreachable branches are
# those gcc adds on lines without a condition of the source's own.
gcovr --root . --object-directory "$build" --filter 'src/' --exclude '.*_test\.cc$' \
  --exclude-throw-branches --exclude-unreachable-branches -j "$(nproc)" \
  --json "$build/coverage.json"
python3 tools/coverage_check.py "$build/coverage.json" || status=$?
exit $status
