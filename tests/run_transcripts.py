#!/usr/bin/env python3
"""Protocol transcripts: every NAME.in in the directory is fed, byte for byte,
to the engine's standard input, and its standard output must equal NAME.out
line by line, exact bytes (the last line may lack its newline on both
sides), with two escapes for lines that vary from run to run:
  "~ REGEX"  the line must fullmatch the regular expression (Latin-1);
  "~~~"      any number of lines, up to the first that lets the rest match.
The engine must exit with status 0 within 20 s.

With --lines the engine is one that is handed text lines and passes on whole
lines (the browser's, through tests/wasm/worker_engine.mjs): transcripts whose
input is not UTF-8 text without NUL bytes are skipped, and an unfinished last
line of output is not expected.

usage: run_transcripts.py [--lines] QUARN_BINARY TRANSCRIPT_DIR [NAME ...]
"""
import concurrent.futures
import os
import re
import subprocess
import sys


def matches(expected, actual):
    """Wildcard matching that backtracks to the last "~~~" only, trying the
    fewest lines for it first: every other line matches exactly one line."""
    i = j = 0
    star, mark = -1, 0
    while j < len(actual):
        if i < len(expected) and expected[i] == b"~~~":
            star, mark, i = i, j, i + 1
        elif i < len(expected) and (expected[i] == actual[j] or expected[i].startswith(b"~ ") and re.fullmatch(
                expected[i][2:].decode("latin-1"), actual[j].decode("latin-1"))):
            i, j = i + 1, j + 1
        elif star >= 0:
            i, mark = star + 1, mark + 1
            j = mark
        else:
            return False
    return all(e == b"~~~" for e in expected[i:])


def is_text(data):
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return b"\0" not in data


def run(binary, directory, name, lines):
    try:
        given, expected = [open(os.path.join(directory, name + ext), "rb").read() for ext in (".in", ".out")]
    except OSError as error:
        return "FAIL %s: %s" % (name, error)
    if lines:
        if not is_text(given):
            return "SKIP"
        expected = expected[:expected.rfind(b"\n") + 1]
    try:
        proc = subprocess.run([binary], input=given, capture_output=True, timeout=20)
    except subprocess.TimeoutExpired as timeout:
        return "FAIL %s: no exit within 20 s; output so far:\n%s" % (name, (timeout.stdout or b"").decode("latin-1"))
    problems = []
    if not matches(expected.split(b"\n"), proc.stdout.split(b"\n")):
        problems.append("output differs")
    if proc.returncode:
        problems.append("exit status %d" % proc.returncode)
    if not problems:
        return None
    shown = "\n".join("  | " + repr(line)[2:-1] for line in proc.stdout.split(b"\n"))
    return "FAIL %s: %s; the output was:\n%s" % (name, ", ".join(problems), shown)


def main():
    args = sys.argv[1:]
    lines = args[:1] == ["--lines"]
    args = args[lines:]
    binary, directory, wanted = os.path.abspath(args[0]), args[1], set(args[2:])
    names = sorted(f[:-3] for f in os.listdir(directory) if f.endswith(".in") and (not wanted or f[:-3] in wanted))
    names += sorted(f[:-4] for f in os.listdir(directory) if f.endswith(".out") and f[:-4] + ".in" not in os.listdir(directory))
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        outcomes = [f for f in pool.map(lambda n: run(binary, directory, n, lines), names) if f]
    failures = [f for f in outcomes if f != "SKIP"]
    skipped = len(outcomes) - len(failures)
    for failure in failures:
        print(failure)
    print("transcripts: %d passed, %d failed%s" % (len(names) - len(outcomes), len(failures),
                                                   ", %d skipped" % skipped if lines else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
