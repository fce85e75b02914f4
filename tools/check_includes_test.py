#!/usr/bin/env python3
"""Tests of check_includes.py on small trees made for each case."""
import os
import tempfile
import unittest

import check_includes

README = """# a project

## Source map

| folder | what is there |
|---|---|
| `src/driver/` | the top |
| `src/search/` | the middle |
| `src/util/` | the bottom |

## Limits
"""


def make_tree(root, files):
    """Writes README.md and files ({path: [included names, or lines that
    start with #if]}) under root."""
    with open(os.path.join(root, "README.md"), "w", encoding="utf-8") as readme:
        readme.write(README)
    for path, includes in files.items():
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), "w", encoding="utf-8") as source:
            source.write("#include <vector>\n")
            for name in includes:
                if name.startswith("#if"):
                    source.write(f"{name}\n#endif\n")
                else:
                    source.write(f'#include "{name}"\n')


class CheckIncludes(unittest.TestCase):
    # (what the case is, the files with what they include, a text that each
    # problem found must hold, in order; none for a tree without problems)
    CASES = [
        ("includes down the map and within a folder",
         {"src/driver/main.cc": ["search/scan.h", "util/message.h"],
          "src/search/scan.h": ["util/message.h"], "src/search/scan.cc": ["search/scan.h"],
          "src/util/message.h": [], "src/util/message.cc": ["util/message.h"]}, []),
        ("an include up the map",
         {"src/util/message.cc": ["search/scan.h"], "src/search/scan.h": []},
         ["src/util/message.cc:2: src/util/ includes src/search/scan.h, which is above it"]),
        ("two units including each other, one through its source file",
         {"src/util/a.h": [], "src/util/a.cc": ["util/b.h"], "src/util/b.h": ["util/a.h"]},
         ["a cycle between the units src/util/a, src/util/b:\n"
          "    src/util/a -> src/util/b (src/util/a.cc:2)\n"
          "    src/util/b -> src/util/a (src/util/b.h:2)"]),
        ("a cycle of three",
         {"src/search/a.h": ["search/b.h"], "src/search/b.h": ["search/c.h"],
          "src/search/c.h": [], "src/search/c.cc": ["search/a.h"]},
         ["a cycle between the units src/search/a, src/search/b, src/search/c"]),
        ("tests beside the code take helpers; tests elsewhere take anything",
         {"src/search/scan_test.cc": ["search/scan.h", "unit/helper.h"],
          "src/search/scan.h": [], "tests/unit/helper.h": [],
          "tests/unit/program_test.cc": ["driver/main.h", "unit/helper.h"],
          "src/driver/main.h": []}, []),
        ("a test beside the code still keeps to its folder's place",
         {"src/util/message_test.cc": ["search/scan.h"], "src/search/scan.h": []},
         ["src/util/message_test.cc:2: src/util/ includes src/search/scan.h, which is above"]),
        ("a test helper outside a test",
         {"src/util/message.cc": ["unit/helper.h"], "tests/unit/helper.h": []},
         ["src/util/message.cc:2: includes the test helper tests/unit/helper.h outside a test"]),
        ("a header that is no file of the tree",
         {"src/util/message.cc": ["util/missing.h"]},
         ['src/util/message.cc:2: includes "util/missing.h", which is no file of the tree']),
        ("Windows tested in common code, in a header too, but not in platform files or tests",
         {"src/util/console.cc": ["#if defined(_WIN32)"],
          "src/util/cpu.h": ["#if !defined(_MSC_VER) && 1"],
          "src/util/console_windows.cc": ["#if defined(_WIN32)"],
          "src/util/console_posix.cc": ["#ifndef _WIN32"],
          "src/util/console_test.cc": ["#if defined(_WIN32)"],
          "tests/unit/run_test.cc": ["#ifdef _WIN32"], "src/util/WIN32.cc": ["#if WIN32X"]},
         ["src/util/console.cc:2: tests for Windows outside a platform file",
          "src/util/cpu.h:2: tests for Windows outside a platform file"]),
        ("a folder that the map lacks",
         {"src/extra/thing.cc": []},
         ["src/extra/thing.cc: folder src/extra/ is not in the README's source map"]),
    ]

    def test_cases(self):
        for name, files, expected in self.CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                make_tree(root, files)
                problems = check_includes.problems_in(root)
                self.assertEqual(len(problems), len(expected), problems)
                for problem, text in zip(problems, expected):
                    self.assertIn(text, problem)


if __name__ == "__main__":
    unittest.main()
