#!/usr/bin/env python3
"""Prints the line and branch coverage of every file and folder under src/
from gcovr's JSON report, and exits with 1 when a guarded folder falls below
its floor or a function under src/ was never entered (see tools/coverage.sh).

Usage: coverage_check.py build-coverage/coverage.json
"""
import collections
import json
import sys

FLOOR = 95.0
GUARDED = ("src/search", "src/core", "src/select", "src/display", "src/text")


def percent(covered, total):
    return 100.0 * covered / total if total else 100.0


def count_file(entry):
    """(lines covered, lines, branches covered, branches, unentered functions)."""
    lines = [l for l in entry["lines"] if not l.get("gcovr/noncode")]
    branches = [b for l in lines for b in l["branches"]]
    unentered = sorted({(f["lineno"], f["name"]) for f in entry.get("functions", [])
                        if f["execution_count"] == 0})
    return (sum(1 for l in lines if l["count"] > 0), len(lines),
            sum(1 for b in branches if b["count"] > 0), len(branches), unentered)


def main(path):
    with open(path) as report:
        files = {f["file"]: count_file(f) for f in json.load(report)["files"]}
    folders = collections.defaultdict(lambda: [0, 0, 0, 0])
    print(f"{'file':<36} {'lines':>16} {'branches':>16}")
    for name in sorted(files):
        lc, lt, bc, bt, _ = files[name]
        print(f"{name:<36} {lc:>6}/{lt:<5} {percent(lc, lt):5.1f}% "
              f"{bc:>5}/{bt:<5} {percent(bc, bt):5.1f}%")
        totals = folders[name.rsplit("/", 1)[0]]
        for k, value in enumerate((lc, lt, bc, bt)):
            totals[k] += value
    failures = []
    print()
    for folder in sorted(folders):
        lc, lt, bc, bt = folders[folder]
        guarded = folder in GUARDED
        print(f"{folder + '/':<36} {lc:>6}/{lt:<5} {percent(lc, lt):5.1f}% "
              f"{bc:>5}/{bt:<5} {percent(bc, bt):5.1f}%{'  (floor 95%)' if guarded else ''}")
        if guarded and (percent(lc, lt) < FLOOR or percent(bc, bt) < FLOOR):
            failures.append(f"{folder}: below {FLOOR:.0f}% of lines or branches")
    for name in sorted(files):
        for line, function in files[name][4]:
            failures.append(f"{name}:{line}: {function} is never entered")
    for failure in failures:
        print("coverage: " + failure)
    if not failures:
        print("coverage: every floor met, every function entered")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
