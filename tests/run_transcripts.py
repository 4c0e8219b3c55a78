#!/usr/bin/env python3
"""Protocol transcript tests for quarn.

Usage: run_transcripts.py QUARN_BINARY TRANSCRIPT_DIR [NAME ...] [-j N] [-v]

Every NAME.in in TRANSCRIPT_DIR is fed, byte for byte, to the engine's
standard input (it may hold CRLF endings, NUL bytes, non-ASCII bytes or lack
its final newline).  The engine's standard output is then compared line by
line with NAME.out, exact bytes, with two escapes for lines that vary from
run to run:

  "~ REGEX"  the actual line must fullmatch the Python regular expression
             REGEX (the line is decoded as Latin-1, one character per byte);
  "~~~"      matches zero or more arbitrary lines, up to the first line that
             lets the rest of the transcript match.

The last line of either side may lack its newline (the prompt "# Your move: "
has none); that difference counts like any other byte.  The engine must exit
with status 0 within the time limit.  Files whose name starts with
"disabled-" are skipped.  The exit status is 1 when any transcript fails.
"""

import argparse
import concurrent.futures
import difflib
import os
import re
import subprocess
import sys
import time

TIMEOUT_SECONDS = 20
ANY_LINES = b"~~~"
REGEX_PREFIX = b"~ "


def split_lines(data):
    """Split bytes into lines. The final element keeps no newline; a trailing
    newline is recorded by returning (lines, ends_with_newline)."""
    if not data:
        return [], True
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
        return lines, True
    return lines, False


def line_matches(expected, actual):
    if expected.startswith(REGEX_PREFIX):
        pattern = expected[len(REGEX_PREFIX):].decode("latin-1")
        try:
            return re.fullmatch(pattern, actual.decode("latin-1")) is not None
        except re.error as error:
            raise ValueError("bad regular expression %r: %s" % (pattern, error))
    return expected == actual


def match_lines(expected, actual):
    """Return None when the lines match, else the index pair (expected,
    actual) of the furthest point reached, for the failure report.

    Wildcard matching with backtracking to the last "~~~" only: every other
    expected line matches exactly one actual line, so this finds a match
    whenever one exists, trying the fewest lines for each "~~~" first."""
    i = j = 0
    star, mark = -1, 0
    furthest = (0, 0)
    while j < len(actual):
        if i < len(expected) and expected[i] == ANY_LINES:
            star, mark = i, j
            i += 1
        elif i < len(expected) and line_matches(expected[i], actual[j]):
            i += 1
            j += 1
        elif star >= 0:
            i = star + 1
            mark += 1
            j = mark
        else:
            return max(furthest, (i, j))
        furthest = max(furthest, (i, j))
    while i < len(expected) and expected[i] == ANY_LINES:
        i += 1
    if i == len(expected):
        return None
    return max(furthest, (i, j))


def show(line):
    return line.decode("latin-1").encode("unicode_escape").decode("ascii")


def report(name, expected, actual, where, extra):
    out = ["FAIL %s: %s" % (name, extra)]
    if where is not None:
        i, j = where
        exp = show(expected[i]) if i < len(expected) else "<end of transcript>"
        act = show(actual[j]) if j < len(actual) else "<end of output>"
        out.append("  first mismatch at expected line %d, output line %d" % (i + 1, j + 1))
        out.append("    expected: %s" % exp)
        out.append("    actual:   %s" % act)
    diff = list(difflib.unified_diff([show(l) for l in expected], [show(l) for l in actual],
                                     "expected", "actual", lineterm="", n=3))
    if len(diff) > 120:
        diff = diff[:120] + ["... (%d more diff lines)" % (len(diff) - 120)]
    out.extend("  " + d for d in diff)
    return "\n".join(out)


def run_one(binary, directory, name):
    with open(os.path.join(directory, name + ".in"), "rb") as f:
        stdin_bytes = f.read()
    out_path = os.path.join(directory, name + ".out")
    if not os.path.exists(out_path):
        return False, "FAIL %s: %s.out is missing" % (name, name), 0.0
    with open(out_path, "rb") as f:
        expected_bytes = f.read()

    start = time.monotonic()
    try:
        proc = subprocess.run([binary], input=stdin_bytes, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=TIMEOUT_SECONDS)
    except subprocess.TimeoutExpired as timeout:
        elapsed = time.monotonic() - start
        partial = timeout.stdout or b""
        expected, _ = split_lines(expected_bytes)
        actual, _ = split_lines(partial)
        return False, report(name, expected, actual, None,
                             "no exit within %d s (output so far below)" % TIMEOUT_SECONDS), elapsed
    elapsed = time.monotonic() - start

    expected, expected_nl = split_lines(expected_bytes)
    actual, actual_nl = split_lines(proc.stdout)
    problems = []
    try:
        where = match_lines(expected, actual)
    except ValueError as error:
        return False, "FAIL %s: %s" % (name, error), elapsed
    if where is not None:
        problems.append("output differs")
    elif expected_nl != actual_nl:
        problems.append("the output %s with a newline, the transcript %s"
                        % ("ends" if actual_nl else "does not end",
                           "does" if expected_nl else "does not"))
    if proc.returncode != 0:
        problems.append("exit status %d" % proc.returncode)
    if problems:
        message = report(name, expected, actual, where, "; ".join(problems))
        if proc.stderr:
            message += "\n  stderr: " + show(proc.stderr[-2000:])
        return False, message, elapsed
    return True, "ok   %s (%.2f s)" % (name, elapsed), elapsed


def main():
    parser = argparse.ArgumentParser(description="Run quarn's protocol transcripts.")
    parser.add_argument("binary")
    parser.add_argument("directory")
    parser.add_argument("names", nargs="*", help="run only these transcripts")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("-v", "--verbose", action="store_true", help="list passing transcripts too")
    args = parser.parse_args()

    binary = os.path.abspath(args.binary)
    names = sorted(f[:-3] for f in os.listdir(args.directory) if f.endswith(".in"))
    skipped = [n for n in names if n.startswith("disabled-")]
    names = [n for n in names if not n.startswith("disabled-")]
    if args.names:
        wanted = set(re.sub(r"\.(in|out)$", "", os.path.basename(n)) for n in args.names)
        names = [n for n in names if n in wanted]
    orphans = sorted(f[:-4] for f in os.listdir(args.directory)
                     if f.endswith(".out") and not os.path.exists(os.path.join(args.directory, f[:-4] + ".in")))

    failures = 0
    start = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        results = pool.map(lambda n: run_one(binary, args.directory, n), names)
        for ok, message, _ in results:
            if not ok:
                failures += 1
                print(message)
            elif args.verbose:
                print(message)
    for orphan in orphans:
        failures += 1
        print("FAIL %s: %s.out has no %s.in" % (orphan, orphan, orphan))
    print("%d transcripts, %d failed, %d disabled, %.1f s"
          % (len(names), failures, len(skipped), time.monotonic() - start))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
