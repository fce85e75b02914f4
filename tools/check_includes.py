#!/usr/bin/env python3
"""Fails on an include that goes up the README's source map, or that closes a
cycle between units of src/ (a header and its source file count as one unit).

The folders' order is read from the table under "## Source map" in README.md,
top to bottom: a folder may include its own headers and those of the folders
below it. A unit test beside the code (src/<folder>/*_test.cc) keeps to its
folder's rule but may also include the test helpers of tests/ (its
"unit/..." headers); the tests, fuzz targets and benchmarks outside src/ may
include any header. Every quoted include must name a file of the tree.
A file of src/ tests for Windows (_WIN32, _MSC_VER) only where it is a
platform file (*_posix.cc, *_windows.cc, which the build picks) or a test.
Prints what it found and exits with 1, or says that all is well.
check_includes_test.py holds its cases.
"""
import os
import re
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
PLATFORM_TEST = re.compile(r"\b(_WIN32|_MSC_VER)\b")


def layer_order(root):
    """The src/ folders in the order of the README's source map."""
    order = []
    in_map = False
    with open(os.path.join(root, "README.md"), encoding="utf-8") as readme:
        for line in readme:
            if line.startswith("## "):
                in_map = line.strip() == "## Source map"
                continue
            match = re.match(r"^\|\s*`src/([^/`]+)/`\s*\|", line)
            if in_map and match:
                order.append(match.group(1))
    return order


def source_files(root):
    """The C++ files of src/, tests/ and bench/, as paths from root."""
    found = []
    for top in ("src", "tests", "bench"):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if name.endswith((".h", ".cc")):
                    found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(path.replace(os.sep, "/") for path in found)


def resolve(root, name, beside="src"):
    """The tree's file that an include names: beside the including file (the
    benchmark's own headers), else rooted at src/, or at tests/ for the test
    helpers."""
    for base in (beside, "src", "tests"):
        path = base + "/" + name
        if os.path.exists(os.path.join(root, path)):
            return path
    return None


def unit_of(path):
    """src/<folder>/<name> for a header or source file of src/, else None."""
    parts = path.split("/")
    if len(parts) != 3 or parts[0] != "src" or is_test(path):
        return None
    return os.path.splitext(path)[0]


def is_test(path):
    return path.endswith("_test.cc")


def is_platform_file(path):
    return path.endswith(("_posix.cc", "_windows.cc"))


def find_cycles(edges):
    """The strongly connected components of more than one unit (Tarjan)."""
    index = {}
    low = {}
    stack = []
    on_stack = set()
    found = []
    counter = [0]

    def visit(unit):
        index[unit] = low[unit] = counter[0]
        counter[0] += 1
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(edges.get(unit, {})):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            component = []
            while True:
                other = stack.pop()
                on_stack.discard(other)
                component.append(other)
                if other == unit:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for unit in sorted(edges):
        if unit not in index:
            visit(unit)
    return found


def problems_in(root):
    """What goes wrong in the tree at root, one text per problem."""
    order = layer_order(root)
    if not order:
        return ["no source map table in README.md"]
    rank = {folder: k for k, folder in enumerate(order)}
    problems = []
    edges = {}  # unit -> {included unit: [file:line, ...]}
    for path in source_files(root):
        parts = path.split("/")
        in_src = parts[0] == "src" and len(parts) == 3
        if in_src and parts[1] not in rank:
            problems.append(f"{path}: folder src/{parts[1]}/ is not in the README's source map")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            lines = source.readlines()
        for number, line in enumerate(lines, 1):
            if (parts[0] == "src" and not is_test(path) and not is_platform_file(path)
                    and PLATFORM_TEST.search(line)):
                problems.append(f"{path}:{number}: tests for Windows outside a platform file "
                                f"(*_posix.cc, *_windows.cc)")
            match = INCLUDE.match(line)
            if not match:
                continue
            where = f"{path}:{number}"
            target = resolve(root, match.group(1), os.path.dirname(path).replace(os.sep, "/"))
            if target is None:
                problems.append(f"{where}: includes \"{match.group(1)}\", which is no file of the tree")
                continue
            if not in_src:
                continue
            target_parts = target.split("/")
            if target_parts[0] == "tests":
                if not is_test(path):
                    problems.append(f"{where}: includes the test helper {target} outside a test")
                continue
            folder, included = parts[1], target_parts[1]
            if included not in rank:
                problems.append(f"{where}: includes {target}, which is in no folder of the "
                                f"README's source map")
                continue
            if rank[included] < rank[folder]:
                problems.append(f"{where}: src/{folder}/ includes {target}, which is above it "
                                f"in the README's source map ({' > '.join(order)})")
            source_unit, target_unit = unit_of(path), unit_of(target)
            if source_unit and target_unit and source_unit != target_unit:
                edges.setdefault(source_unit, {}).setdefault(target_unit, []).append(where)
    for component in find_cycles(edges):
        members = set(component)
        links = []
        for unit in component:
            for other, places in sorted(edges.get(unit, {}).items()):
                if other in members:
                    links.append(f"    {unit} -> {other} ({', '.join(places)})")
        problems.append("a cycle between the units " + ", ".join(component) + ":\n" +
                        "\n".join(links))
    return problems


def main():
    problems = problems_in(ROOT)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-includes: {len(problems)} problem(s)")
        return 1
    print("includes: none goes up the source map, no units form a cycle, and only the "
          "platform files test for Windows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
