#!/usr/bin/env python3
"""Deep perft split into jobs that GNU parallel runs on this machine's cores or
on ssh hosts; prints what the engine's "divide D" prints.

  tools/deep_perft.py [--variant marseillais] [--fen FEN] --depth D [--split K]
                      [--hosts FILE] [--remote-engine PATH] [--jobs N] [--run DIR]

The engine lists the frontier itself: "divide 1" after the moves (or turns) of
each path, typed in force mode, down to the split depth K. Every frontier
position is one job, a protocol script for a plain quarn ("xboard", "variant",
"force", "setboard", the moves, "perft D-K") whose answer must hold exactly one
perft line and no "Error", or the job exits non-zero. GNU parallel runs the
jobs (--joblog, --resume-failed, --retries, --results, --bar; over ssh with
--sshloginfile and --basefile). --run DIR keeps the engine copy, the job list,
the job log and every answer: the same command resumes a stopped run and
reruns only jobs without a valid answer; a DIR made for other parameters is
refused. Without --run the run lives in a temporary directory.
"""
import argparse
import fcntl
import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

MAX_JOBS = 100_000  # each job costs a process start (a few ms) and three files
RETRIES = 3  # tries per job within one invocation (another host when there are several)
HOST_CHECK_SECONDS = 120
# White is mated: "perft N" answers at once with 0 when the engine accepts depth N.
MATED_FEN = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"
DIVIDE1_LINE = re.compile(r"^# (\S+)\s*: 1$")
PERFT_LINE = re.compile(r"^# perft\((\d+)\) = (\d+), nodesPerft=(\d+), ")
INT32_MAX = 2**31 - 1
RUN_FILE = "run.json"
JOBLOG_FIELDS = 9  # Seq Host Starttime JobRuntime Send Receive Exitval Signal Command


class Refused(Exception):
    pass


class Engine:
    """One quarn for the preparation; ask() returns the lines before the pong."""

    def __init__(self, path):
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.pings = 0
        self.ask("xboard")

    def ask(self, *commands):
        self.pings += 1
        self.proc.stdin.write("".join(c + "\n" for c in commands) + "ping %d\n" % self.pings)
        self.proc.stdin.flush()
        lines = []
        for line in self.proc.stdout:
            if line.rstrip("\n") == "pong %d" % self.pings:
                return lines
            lines.append(line.rstrip("\n"))
        raise Refused("the engine exited while preparing the run")

    def close(self):
        self.proc.stdin.write("quit\n")
        self.proc.stdin.close()
        self.proc.wait()


def errors(lines):
    return [l for l in lines if l.startswith("Error")]


def setup_commands(args):
    """What a fresh quarn is told before the moves of a job."""
    return ["variant " + args.variant, "force"] + (["setboard " + args.fen] if args.fen else [])


def prepare(args, engine_path):
    """Checks the input with the engine and lists the frontier: the root moves,
    the job paths and the number of positions above the split depth."""
    eng = Engine(engine_path)
    try:
        setup = setup_commands(args)
        bad = errors(eng.ask("new", *setup))
        if bad:
            raise Refused(bad[0])
        job_depth = args.depth - args.split
        for depth in (args.split, job_depth):
            out = eng.ask("setboard " + MATED_FEN, "perft %d" % depth)
            if not any(PERFT_LINE.match(l) for l in out):
                raise Refused("the engine refuses perft %d in %s (each job counts depth %d - split %d)"
                              % (depth, args.variant, args.depth, args.split))
        counted = [PERFT_LINE.match(l) for l in eng.ask("new", *setup, "perft %d" % args.split)]
        frontier = int(next(m for m in counted if m).group(2))
        print("%d jobs: perft %d below every position at depth %d (at most %d)"
              % (frontier, job_depth, args.split, args.max_jobs), file=sys.stderr)
        if frontier > args.max_jobs:
            raise Refused("%d jobs are more than %d: choose a smaller --split" % (frontier, args.max_jobs))
        paths, above = [()], 0
        for level in range(args.split):
            above += len(paths) if level else 0
            deeper = []
            for path in paths:
                out = eng.ask("new", *setup, *path, "divide 1")
                moves = [m.group(1) for m in map(DIVIDE1_LINE.match, out) if m]
                if errors(out) or not any(PERFT_LINE.match(l) for l in out):
                    raise Refused("the engine failed on the moves %s: %s" % (" ".join(path), out))
                deeper += [path + (m,) for m in moves]
            if level == 0:
                roots = [p[0] for p in deeper]
            paths = deeper
        assert len(paths) == frontier, "the frontier listed differs from perft %d" % args.split
        return roots, paths, 1 + above
    finally:
        eng.close()


def job_command(args, engine):
    """The shell command of one job; GNU parallel puts its moves in place of {}."""
    head = ["xboard"] + setup_commands(args)
    want = "# perft(%d) = " % (args.depth - args.split)
    check = ("/Error/ { bad = 1 } /^# perft\\(/ { n++; line = $0 } "
             "END { if (bad || n != 1 || index(line, \"%s\") != 1) exit 1; print line }" % want)
    return ("(printf '%%s\\n' %s; echo {} | tr ' ' '\\n'; printf '%%s\\n' 'perft %d' quit) | %s | awk %s"
            % (" ".join(shlex.quote(c) for c in head), args.depth - args.split, engine, shlex.quote(check)))


def parameters(args):
    return {"variant": args.variant, "fen": args.fen, "depth": args.depth, "split": args.split}


def create_run(args, run):
    """Builds the run directory beside its final place and renames it there."""
    start = time.monotonic()
    roots, paths, above = prepare(args, args.engine)
    with open(args.engine, "rb") as f:
        binary = "quarn-" + hashlib.sha256(f.read()).hexdigest()[:12]
    parent = os.path.dirname(os.path.abspath(run))
    os.makedirs(parent, exist_ok=True)
    new = tempfile.mkdtemp(prefix=os.path.basename(run) + ".", dir=parent)
    try:
        shutil.copy2(args.engine, os.path.join(new, binary))
        with open(os.path.join(new, "jobs"), "w") as f:
            f.writelines(" ".join(p) + "\n" for p in paths)
        info = dict(parameters(args), roots=roots, jobs=len(paths), above=above, binary=binary,
                    prepared=time.monotonic() - start)
        with open(os.path.join(new, RUN_FILE), "w") as f:
            json.dump(info, f, indent=1)
    except BaseException:
        shutil.rmtree(new)
        raise
    os.rename(new, run)
    return info


def open_run(args, run):
    if not os.path.exists(os.path.join(run, RUN_FILE)):
        if os.path.exists(run) and os.listdir(run):
            raise Refused("%s is no run directory (it has no %s)" % (run, RUN_FILE))
        if os.path.exists(run):
            os.rmdir(run)
        return create_run(args, run)
    with open(os.path.join(run, RUN_FILE)) as f:
        info = json.load(f)
    made = {k: info[k] for k in parameters(args)}
    if made != parameters(args):
        raise Refused("%s was made for %s, not %s" % (run, json.dumps(made), json.dumps(parameters(args))))
    print("resuming %s: %d jobs of perft %d" % (run, info["jobs"], args.depth - args.split), file=sys.stderr)
    return info


def read_answer(run, seq, job_depth):
    """The (leaves, nodes) of a job's answer; None when missing or malformed."""
    try:
        with open(os.path.join(run, "answers", str(seq))) as f:
            lines = f.read().splitlines()
    except OSError:
        return None
    m = PERFT_LINE.match(lines[0]) if len(lines) == 1 else None
    if not m or int(m.group(1)) != job_depth:
        return None
    return int(m.group(2)), int(m.group(3))


def read_joblog(run):
    """The job log's header, its complete rows, and whether a row was cut short
    (by a killed GNU parallel; that job runs again)."""
    try:
        with open(os.path.join(run, "joblog")) as f:
            rows = [l.rstrip("\n").split("\t") for l in f]
    except OSError:
        return [], [], False
    whole = [r for r in rows[1:] if len(r) >= JOBLOG_FIELDS and r[0].isdigit()]
    return rows[:1], whole, len(whole) + 1 < len(rows)


def mark_unanswered_failed(run, answers):
    """A job the log calls done whose answer is not valid becomes failed, so
    that --resume-failed runs it again."""
    header, rows, changed = read_joblog(run)
    for row in rows:
        if row[6] == "0" and answers.get(int(row[0])) is None:
            row[6], changed = "1", True
    if changed:
        with open(os.path.join(run, "joblog"), "w") as f:
            f.writelines("\t".join(r) + "\n" for r in header + rows)


def check_hosts(args, run, binary, engine):
    """Every host's quarn must answer ping before any job starts."""
    with open(args.hosts) as f:
        hosts = [l.strip() for l in f if l.strip() and not l.lstrip().startswith("#")]
    if not hosts:
        raise Refused("%s lists no host" % args.hosts)
    cmd = ["parallel", "--will-cite", "--nonall", "--tag", "--timeout", str(HOST_CHECK_SECONDS),
           "--sshloginfile", os.path.abspath(args.hosts)] + ([] if args.remote_engine else ["--basefile", binary])
    out = subprocess.run(cmd + ["printf 'xboard\\nping 1\\nquit\\n' | %s" % engine], cwd=run, capture_output=True,
                         text=True).stdout.splitlines()
    answered = {l.split("\t")[0] for l in out if l.endswith("\tpong 1")}
    lost = [h for h in hosts if re.sub(r"^\d+/", "", h) not in answered]
    if lost:
        raise Refused("no quarn answered ping on: %s (unreachable host, or the engine does not run there: the "
                      "binary needs x86-64 Linux with glibc 2.34 and the libstdc++ of gcc 12 or later, else "
                      "build quarn on that host and give its path with --remote-engine)" % ", ".join(lost))
    return hosts


def union_seconds(rows):
    """The time during which at least one job ran, from the job log."""
    spans = sorted((float(r[2]), float(r[2]) + float(r[3])) for r in rows)
    total, end = 0.0, None
    for a, b in spans:
        if end is None or a > end:
            total, end = total + b - a, b
        elif b > end:
            total, end = total + b - end, b
    return total


def per_second(count, centis):
    return 0 if centis <= 0 else min(INT32_MAX, int(count * 100.0 / centis))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--variant", default="normal", help="normal or marseillais (as the engine's variant command)")
    ap.add_argument("--fen", help="the position (default: the initial one)")
    ap.add_argument("--depth", type=int, required=True)
    ap.add_argument("--split", type=int, help="the depth of the jobs' positions (default: 1 below 6, else 2)")
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--engine", default=os.path.join(here, "..", "build", "quarn"))
    ap.add_argument("--hosts", help="ssh hosts in GNU parallel's --sshloginfile format (':' is this machine)")
    ap.add_argument("--remote-engine", help="the quarn found on every host (default: the engine is copied there)")
    ap.add_argument("--jobs", help="jobs at once per host (GNU parallel's --jobs; default: one per core)")
    ap.add_argument("--run", help="the run directory: resumable with the same command")
    ap.add_argument("--max-jobs", type=int, default=MAX_JOBS, help="the largest frontier accepted (%(default)s)")
    args = ap.parse_args()
    if args.split is None:
        args.split = 1 if args.depth < 6 else 2
    try:
        if args.depth < 2 or not 1 <= args.split < args.depth:
            raise Refused("the split must be at least 1 and below the depth (depth %d, split %d)"
                          % (args.depth, args.split))
        if not os.access(args.engine, os.X_OK):
            raise Refused("no engine at %s (build it with ./quarn.sh, or give --engine)" % args.engine)
        if shutil.which("parallel") is None:
            raise Refused("GNU parallel is missing (Debian: apt-get install parallel)")
        temporary = args.run is None
        run = tempfile.mkdtemp(prefix="deep_perft.") + "/run" if temporary else os.path.abspath(args.run)
        try:
            return run_counts(args, run)
        finally:
            if temporary:
                shutil.rmtree(os.path.dirname(run))
    except Refused as e:
        print("deep_perft: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("\ndeep_perft: stopped%s" % ("; the same command resumes the run" if args.run else ""), file=sys.stderr)
        return 130


def run_counts(args, run):
    info = open_run(args, run)
    lock = open(os.path.join(run, RUN_FILE))
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        raise Refused("another deep_perft is running in %s" % run)
    job_depth = args.depth - args.split
    engine = shlex.quote(args.remote_engine) if args.remote_engine else "./" + info["binary"]
    cmd = ["parallel", "--will-cite", "--joblog", "joblog", "--resume-failed", "--retries", str(RETRIES),
           "--results", "answers/{#}", "--arg-file", "jobs"] + (["--bar"] if sys.stderr.isatty() else [])
    if args.jobs:
        cmd += ["--jobs", args.jobs]
    if args.hosts:
        hosts = check_hosts(args, run, info["binary"], engine)
        cmd += ["--sshloginfile", os.path.abspath(args.hosts)] + ([] if args.remote_engine else
                                                                   ["--basefile", info["binary"]])
        print("%d hosts answered" % len(hosts), file=sys.stderr)
    seqs = range(1, info["jobs"] + 1)
    answers = {s: read_answer(run, s, job_depth) for s in seqs}
    mark_unanswered_failed(run, answers)
    subprocess.run(cmd + [job_command(args, engine)], cwd=run, stdout=subprocess.DEVNULL)
    answers = {s: read_answer(run, s, job_depth) for s in seqs}
    missing = [s for s in seqs if answers[s] is None]
    if missing:
        mark_unanswered_failed(run, answers)
        raise Refused("%d of %d jobs have no valid answer (job numbers %s%s; see %s/joblog and answers/N.err); "
                      "the same command reruns them" % (len(missing), len(seqs), missing[:10],
                                                        " ..." if len(missing) > 10 else "", run))
    with open(os.path.join(run, "jobs")) as f:
        firsts = [l.split()[0] for l in f]
    by_root = dict.fromkeys(info["roots"], 0)
    for s, first in zip(seqs, firsts):
        by_root[first] += answers[s][0]
    leaves = sum(by_root.values())
    nodes = info["above"] + sum(a[1] for a in answers.values())
    _, rows, _ = read_joblog(run)
    centis = int(100 * (info["prepared"] + union_seconds(rows)))
    for turn, count in by_root.items():
        print("%-5s %d" % (turn, count))
    print("# perft(%d) = %d, nodesPerft=%d, time=%d.%02d, lps=%d, nps=%d" % (
        args.depth, leaves, nodes, centis // 100, centis % 100, per_second(leaves, centis), per_second(nodes, centis)))
    done = {}
    for r in rows:
        if r[6] == "0":
            done[r[0]] = float(r[3])
    core = sum(done.values())
    print("# %d jobs; their run times add up to %.0f s, %d leaves per second of it" % (
        len(seqs), core, leaves / core if core else 0), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
