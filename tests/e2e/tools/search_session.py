#!/usr/bin/env python3
"""Works out the expected output of an end-to-end case that uses only the
commands q, Q, m, i, / and v, from the rules of those commands, with its own
plain code (it never runs elsScan).

    search_session.py CASE_DIR

reads CASE_DIR/args and CASE_DIR/stdin and writes CASE_DIR/expected.stdout,
expected.stderr, expected.merged and expected.status. Of the options before
the file name it knows -c and --no-pager.
"""
import os
import sys

PAGE = 24


def load_text(path, remove_spaces):
    data = open(path, "rb").read()
    data = data.split(b"\x1a")[0]
    data = bytes(b for b in data if b not in (0x0D, 0x0A))
    if remove_spaces:
        data = bytes(b for b in data if b > 0x20)
    return data.split(b"\x00")[0]


def input_lines(data):
    """Lines as the program reads them, with None for the end of input."""
    lines = []
    while data:
        cut = data.find(b"\n")
        if cut < 0:
            line, data = data, b""
        else:
            line, data = data[:cut], data[cut + 1:]
            if line.endswith(b"\r"):
                line = line[:-1]
        lines.append(line.split(b"\x00")[0])
    return lines


def atoi(s):
    s = s.lstrip(b" \t\n\v\f\r")
    sign = 1
    if s[:1] in (b"-", b"+"):
        sign = -1 if s[:1] == b"-" else 1
        s = s[1:]
    digits = b""
    for c in s:
        if not 48 <= c <= 57:
            break
        digits += bytes([c])
    value = sign * int(digits or b"0")
    return max(-2**31, min(2**31 - 1, value))


class Session:
    def __init__(self, text, lines, pager=True):
        self.text = text
        self.pager = pager  # False: no "continued ... " prompt anywhere
        self.lines = lines
        self.events = []  # (stream, bytes) in the order written
        self.pattern = b""
        self.limit = 10000
        self.forward = []   # (skip, pos) in list order
        self.backward = []
        self.fcount = 0
        self.bcount = 0

    def err(self, s):
        self.events.append(("err", s.encode("latin-1") if isinstance(s, str) else s))

    def out(self, s):
        self.events.append(("out", s.encode("latin-1")))

    def read(self):
        return self.lines.pop(0) if self.lines else None

    # The scan: every skip, every start, compared letter by letter.
    def scan(self, text, all_skips):
        T, L = len(text), len(self.pattern)
        if T <= 1 or L <= 1 or T <= L:
            self.err("Text string or searching string is too short.\n")
            return []
        if L >= 4096:
            self.err("Searching string is too long(max. is 4096).\n")
            return []
        top = T // (L - 1)
        if not all_skips:
            top = min(top, self.limit)
        step = top // 30
        hits, star = [], False
        for s in range(1, top + 1):
            if step and s % step == 0:
                self.err("*" if star else ".")
                star = False
            for p in range(1, T - (L - 1) * s + 1):
                if text[p - 1::s][:L] == self.pattern:
                    hits.append((s, p))
                    star = True
        return hits

    def triple(self, hit, backward):
        s, p = hit
        L, T = len(self.pattern), len(self.text)
        if backward:
            start = T - (L - 1) * s - p + 1
        else:
            start = p
        end = start + (L - 1) * s
        total = start + end
        center = abs(total) // 2 * (1 if total >= 0 else -1)
        return start, center, end

    def prompt_stops(self):
        if not self.pager:
            return False
        self.err("continued ... ")
        reply = self.read()
        return reply is None or reply[:1] in (b"q", b"Q")

    def section(self, hits, backward, state):
        stopped = False
        for hit in hits:
            if not stopped and state["lines"] == PAGE:
                stopped = self.prompt_stops()
                state["lines"] = 0
            elif backward and state["lines"] > PAGE:
                state["lines"] = 0
            if not stopped:
                start, center, end = self.triple(hit, backward)
                sign = "-" if backward else ""
                self.out("(%d): skip=%s%d, string=(%d,%d,%d)\n"
                         % (state["number"], sign, hit[0], start, center, end))
            state["number"] += 1
            state["lines"] += 1

    def search(self, all_skips):
        self.fcount = self.bcount = 0
        self.err("searching forward ")
        self.forward = self.scan(self.text, all_skips)
        self.err("\n")
        state = {"number": 1, "lines": 0}
        self.section(self.forward, False, state)
        self.fcount = len(self.forward)
        self.err("searching backward ")
        found = self.scan(self.text[::-1], all_skips)
        # Within a skip, ascending starts in the forward text.
        self.backward = sorted(found, key=lambda h: (h[0], -h[1]))
        if state["lines"] == PAGE:
            if self.pager:
                self.err("continued ... ")
                self.read()
            state["lines"] = 0
        self.err("\n")
        state["lines"] += 1
        self.section(self.backward, True, state)
        self.bcount = len(self.backward)

    def command(self, line):
        rest = line.lstrip(b" ")
        letter, arg = rest[:1], rest[1:]
        if letter == b"":
            return True
        if letter in (b"q", b"Q"):
            return False
        if letter == b"m":
            n = atoi(arg)
            if n < 1:
                self.err("... %d: invalid number\n" % n)
            else:
                self.limit = n
                self.err("... set the limit of skip number to %d\n" % n)
        elif letter == b"i":
            self.err("   text length        = %d characters\n" % len(self.text))
            self.err(b"   searching string   = " + self.pattern + b"\n")
            self.err("   searched number    = %d\n" % (self.fcount + self.bcount))
            self.err("   displaying width   = 78 columns\n")
            self.err("   displaying height  = 20 lines\n")
        elif letter == b"/":
            all_skips = len(arg) > 2 and arg.endswith(b"/a")
            if all_skips:
                arg = arg[:-2]
            if len(arg) > 511:
                self.err("... searching string is too long (max. is 511)\n")
                return True
            self.pattern = arg
            if len(arg) < 2:
                self.err(b"... " + arg + b": invalid string\n")
            else:
                self.search(all_skips)
        elif letter == b"v":
            if self.fcount == 0 and self.bcount == 0:
                self.err("... none of searched string\n")
            else:
                state = {"number": 1, "lines": 0}
                self.section(self.forward, False, state)
                self.section(self.backward, True, state)
        else:
            sys.exit("unsupported command: %r" % line)
        return True

    def run(self):
        while True:
            self.err("command: ")
            line = self.read()
            if line is None:
                self.err("\n")
                return 0
            if not self.command(line):
                return 0


def main():
    case = sys.argv[1]
    args = open(os.path.join(case, "args")).read().split("\n")
    args = [a for a in args if a]
    options = args[:-1]
    remove_spaces = "-c" in options
    pager = "--no-pager" not in options
    text = load_text(os.path.join(case, args[-1]), remove_spaces)
    stdin_path = os.path.join(case, "stdin")
    data = open(stdin_path, "rb").read() if os.path.exists(stdin_path) else b""
    session = Session(text, input_lines(data), pager)
    status = session.run()
    streams = {"out": b"", "err": b"", "merged": b""}
    for stream, chunk in session.events:
        streams[stream] += chunk
        streams["merged"] += chunk
    for name, key in (("stdout", "out"), ("stderr", "err"), ("merged", "merged")):
        with open(os.path.join(case, "expected." + name), "wb") as f:
            f.write(streams[key])
    with open(os.path.join(case, "expected.status"), "w") as f:
        f.write("%d\n" % status)


if __name__ == "__main__":
    main()
