#!/usr/bin/env python3
"""Deep perft split into jobs that GNU parallel runs on this machine's cores or
on ssh hosts, or that a Slurm job array runs on a cluster; prints what the
engine's "divide D" prints.

  tools/deep_perft.py [--variant marseillais] [--fen FEN] --depth D [--split K]
                      [--hosts FILE] [--remote-engine PATH] [--jobs N] [--run DIR]
                      [--verify N [--verify-engine PATH]] [--slurm [--wait]]

The engine lists the frontier itself: "divide" after the moves (or turns) of
each path, typed in force mode, down to the split depth K. Every frontier
position is one job, a protocol script for a plain quarn ("xboard", "variant",
"force", "setboard", the moves, "perft D-K"), run largest first by an estimate
(the position's count a few plies shallower, from the same divide). A job
writes one answer line: its moves, its depth, the leaves, the nodes, its
seconds and a checksum of these; the tool sums only answers that pass. GNU
parallel runs the jobs (--joblog, --resume-failed, --retries, --timeout with a
percentage of the median run time, --bar; over ssh with --sshloginfile and
--basefile), or sbatch --array runs shards of them. --run DIR keeps the engine
copy, the job list, the job log and the answers: the same command resumes a
stopped run and reruns only jobs without a valid answer; a DIR made for other
parameters is refused. Without --run the run lives in a temporary directory.
Exit status: 0 with the count, 1 when --verify finds a difference, 2 refused
or failed (one line says why), 3 a Slurm array still to finish.
"""
import argparse
import fcntl
import hashlib
import json
import os
import random
import re
import select
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

FORMAT = 2  # of the run directory; 1 kept three files a job under answers/
MAX_JOBS = 100_000  # each job costs a process start (a few ms)
RETRIES = 3  # tries per job within one invocation (another host when there are several)
JOB_TIMEOUT = "1000%"  # a job running ten times the median of those finished is killed and retried
HANDSHAKE_SECONDS = 10  # for the engine's first pong
ENGINE_LINE_SECONDS = 120  # for every later line of the engine while preparing
HOST_CHECK_SECONDS = 60
SSH_OPTIONS = "-o ConnectTimeout=15 -o ServerAliveInterval=15 -o ServerAliveCountMax=4"
PROGRESS_SECONDS = 60
SLURM_POLL_SECONDS = 30
SLURM_TASKS = 500  # array tasks of a submission at most (Slurm's default MaxArraySize is 1001)
NOT_FINISHED = 3
# Estimates count this deep at most (split + estimate plies): a few seconds in all.
ESTIMATE_REACH = {"normal": 7, "marseillais": 4}
# White is mated: "perft N" answers at once with 0 when the engine accepts depth N.
MATED_FEN = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"
LONE_KINGS_FEN = "4k3/8/8/8/8/8/8/4K3 w - - 0 1"
# Its turns, counted by hand: five king steps; in Marseillais two steps, 5 + 8 + 8 + 8 + 5 by the first.
LONE_KINGS_TURNS = {"normal": 5, "marseillais": 34}
DIVIDE_LINE = re.compile(r"^(?:# )?(\S+)\s*:?\s+(\d+)$")  # "# e2e4 : 1" (divide 1) or "e2e4  20"
PERFT_LINE = re.compile(r"^# perft\((\d+)\) = (\d+), nodesPerft=(\d+), ")
INT32_MAX = 2**31 - 1
RUN_FILE = "run.json"
ANSWERS = "answers.log"
JOBLOG_FIELDS = 9  # Seq Host Starttime JobRuntime Send Receive Exitval Signal Command
JOBS_FORM = re.compile(r"^[+-]?\d+%?$")  # GNU parallel's --jobs: N, +N, -N or N%
PIECES = "pnbrqkPNBRQK"


class Refused(Exception):
    pass


class Engine:
    """One quarn for the preparation; ask() returns the lines before the pong,
    waiting at most a set time for each line."""

    def __init__(self, path):
        self.path, self.buffer, self.pings = path, b"", 0
        try:
            self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL)
        except OSError as e:
            raise Refused("cannot start the engine %s: %s" % (path, e.strerror))
        try:
            self.ask("xboard", seconds=HANDSHAKE_SECONDS)
        except BaseException:
            self.close()
            raise

    def ask(self, *commands, seconds=ENGINE_LINE_SECONDS):
        self.pings += 1
        try:
            self.proc.stdin.write("".join(c + "\n" for c in commands + ("ping %d" % self.pings,)).encode())
            self.proc.stdin.flush()
        except BrokenPipeError:
            raise Refused("the engine %s exited without answering (is it quarn?)" % self.path)
        lines = []
        while True:
            line = self.readline(seconds)
            if line == "pong %d" % self.pings:
                return lines
            lines.append(line)

    def readline(self, seconds):
        while b"\n" not in self.buffer:
            if not select.select([self.proc.stdout], [], [], seconds)[0]:
                raise Refused("the engine %s sent nothing for %d s (is it quarn?)" % (self.path, seconds))
            chunk = os.read(self.proc.stdout.fileno(), 1 << 16)
            if not chunk:
                raise Refused("the engine %s exited without answering (is it quarn?)" % self.path)
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode(errors="replace")

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.close()
        except OSError:
            pass
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def errors(lines):
    return [l for l in lines if l.startswith("Error")]


def fen_form(fen):
    """The FEN with single spaces when its six fields have their form, else Refused."""
    fields = fen.split()
    names = "board, side to move, castling, en passant, half-move clock, move number"
    if len(fields) != 6:
        raise Refused("a FEN has six fields (%s); %r has %d" % (names, fen, len(fields)))
    board, side, castling, passant, clock, number = fields
    ranks = board.split("/")
    width = [sum(int(c) if c.isdigit() else 1 for c in r) for r in ranks]
    if len(ranks) != 8 or width != [8] * 8 or re.search(r"[^1-8%s/]" % PIECES, board):
        raise Refused("the FEN's board %r is not eight ranks of eight squares (pieces %s, digits for "
                      "empty squares)" % (board, PIECES))
    wrong = [(name, value) for name, value, form in (
        ("side to move", side, r"[wb]"), ("castling", castling, r"-|[KQkq]{1,4}"),
        ("en passant", passant, r"-|[a-h][36]"), ("half-move clock", clock, r"\d+"),
        ("move number", number, r"\d+")) if not re.fullmatch(form, value)]
    if wrong:
        raise Refused("the FEN's %s %r is malformed" % wrong[0])
    return " ".join(fields)


def setup_commands(args):
    """What a fresh quarn is told before the moves of a job."""
    return ["variant " + args.variant, "force"] + (["setboard " + args.fen] if args.fen else [])


def divide_lines(lines):
    return [(m.group(1), int(m.group(2))) for m in map(DIVIDE_LINE.match, lines) if m]


def confirm_position(eng, args):
    """The engine holds the FEN's position only if the FEN replaces whatever
    was set before: after two positions whose counts are known (no move; lone
    kings), the root's moves must be the same."""
    seen = []
    for before, moves in ((MATED_FEN, 0), (LONE_KINGS_FEN, LONE_KINGS_TURNS[args.variant])):
        out = eng.ask("new", "variant " + args.variant, "force", "setboard " + before, "divide 1")
        if [int(m.group(2)) for m in map(PERFT_LINE.match, out) if m] != [moves]:
            raise Refused("the engine ignored setboard %s (divide 1 did not list its %d moves)" % (before, moves))
        out = eng.ask("setboard " + args.fen, "divide 1")
        seen.append(divide_lines(out) + [l.split(",")[0] for l in out if PERFT_LINE.match(l)])
    if seen[0] != seen[1]:
        raise Refused("the engine ignored setboard %s (its moves stayed those of the position set before)"
                      % args.fen)


def estimate_plies(args):
    job_depth = args.depth - args.split
    return max(0, min(job_depth - 1, ESTIMATE_REACH[args.variant] - args.split))


def prepare(args, engine_path):
    """Checks the input with the engine and lists the frontier: the root moves,
    the job paths with their estimates, and the positions above the split."""
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
        if args.fen:
            confirm_position(eng, args)
        counted = [PERFT_LINE.match(l) for l in eng.ask("new", *setup, "perft %d" % args.split)]
        frontier = int(next(m for m in counted if m).group(2))
        print("%d jobs: perft %d below every position at depth %d (at most %d)"
              % (frontier, job_depth, args.split, args.max_jobs), file=sys.stderr)
        if frontier > args.max_jobs:
            raise Refused("%d jobs are more than %d: choose a smaller --split" % (frontier, args.max_jobs))
        plies = estimate_plies(args)
        paths, above, estimates = [()], 0, []
        for level in range(args.split):
            above += len(paths) if level else 0
            last = level == args.split - 1
            deeper = []
            for path in paths:
                out = eng.ask("new", *setup, *path, "divide %d" % (1 + plies if last else 1))
                if errors(out) or not any(PERFT_LINE.match(l) for l in out):
                    raise Refused("the engine failed on the moves %s: %s" % (" ".join(path), out))
                for move, count in divide_lines(out):
                    deeper.append(path + (move,))
                    estimates.append(count)
            if level == 0:
                roots = [p[0] for p in deeper]
            paths = deeper
            estimates = estimates if last else []
        if len(paths) != frontier:
            raise Refused("the engine listed %d positions at depth %d, not its perft %d"
                          % (len(paths), args.split, frontier))
        order = sorted(range(len(paths)), key=lambda i: -estimates[i])
        return roots, [paths[i] for i in order], [estimates[i] for i in order], 1 + above
    finally:
        eng.close()


def answer_checksum(text):
    return hashlib.md5(text.encode()).hexdigest()


def job_command(args, engine, moves):
    """The shell command of one job; moves is the shell word that holds them
    ({} for GNU parallel). It prints one answer line, or nothing and fails."""
    head = ["xboard"] + setup_commands(args)
    depth = args.depth - args.split
    check = ("/Error/ { bad = 1 } /^# perft\\(/ { n++; line = $0 } "
             "END { split(line, f, /[ ,=]+/); if (bad || n != 1 || f[2] != \"perft(%d)\") exit 1; "
             "printf \"%%s\\t%d\\t%%s\\t%%s\\t%%s\\n\", moves, f[3], f[5], f[7] }" % (depth, depth))
    seal = "{ IFS= read -r a && printf '%s\\t%s\\n' \"$a\" \"$(printf '%s' \"$a\" | md5sum | cut -c1-32)\"; }"
    return ("(printf '%%s\\n' %s; echo %s | tr ' ' '\\n'; printf '%%s\\n' 'perft %d' quit) | %s | awk -v moves=%s %s"
            " | %s" % (" ".join(shlex.quote(c) for c in head), moves, depth, engine, moves, shlex.quote(check), seal))


def parameters(args):
    return {"variant": args.variant, "fen": args.fen, "depth": args.depth, "split": args.split}


def create_run(args, run):
    """Fills the empty run directory; run.json comes last."""
    start = time.monotonic()
    roots, paths, estimates, above = prepare(args, args.engine)
    binary = copy_engine(args.engine, run)
    with open(os.path.join(run, "jobs"), "w") as f:
        f.writelines(" ".join(p) + "\n" for p in paths)
    info = dict(parameters(args), format=FORMAT, roots=roots, jobs=len(paths), above=above, binary=binary,
                estimate_plies=estimate_plies(args), estimates=estimates, prepared=time.monotonic() - start)
    with open(os.path.join(run, RUN_FILE + ".new"), "w") as f:
        json.dump(info, f)
    os.rename(os.path.join(run, RUN_FILE + ".new"), os.path.join(run, RUN_FILE))
    return info


def copy_engine(path, run):
    with open(path, "rb") as f:
        binary = "quarn-" + hashlib.sha256(f.read()).hexdigest()[:12]
    if not os.path.exists(os.path.join(run, binary)):
        shutil.copy2(path, os.path.join(run, binary))
    return binary


def open_run(args, run):
    """The run's info and the open directory that holds its lock (flock on the
    directory itself, so that nothing is left behind when preparing fails)."""
    if os.path.lexists(run) and not os.path.isdir(run):
        raise Refused("%s is a file, not a run directory" % run)
    created = not os.path.exists(run)
    try:
        os.makedirs(run, exist_ok=True)
        lock = os.open(run, os.O_RDONLY)
    except OSError as e:
        raise Refused("cannot use %s as the run directory: %s" % (run, e.strerror))
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        os.close(lock)
        raise Refused("another deep_perft is running in %s" % run)
    try:
        if not os.path.exists(os.path.join(run, RUN_FILE)):
            if os.listdir(run):
                raise Refused("%s is no run directory (it has no %s)" % (run, RUN_FILE))
            try:
                return create_run(args, run), lock
            except BaseException:
                for name in os.listdir(run):
                    os.remove(os.path.join(run, name))
                if created:
                    os.rmdir(run)
                raise
        with open(os.path.join(run, RUN_FILE)) as f:
            info = json.load(f)
        if info.get("format") != FORMAT:
            raise Refused("%s was made by an older deep_perft (answers/N files); finish it with that version or "
                          "start a new run directory" % run)
        made = {k: info[k] for k in parameters(args)}
        if made != parameters(args):
            raise Refused("%s was made for %s, not %s" % (run, json.dumps(made), json.dumps(parameters(args))))
        print("resuming %s: %d jobs of perft %d" % (run, info["jobs"], args.depth - args.split), file=sys.stderr)
        return info, lock
    except BaseException:
        os.close(lock)
        raise


def read_jobs(run):
    with open(os.path.join(run, "jobs")) as f:
        return [l.rstrip("\n") for l in f]


def read_answers(files, jobs, job_depth):
    """The answers that pass their checks, by moves: (leaves, nodes, seconds).
    Complaints: lines whose checksum or fields fail, and answers that differ."""
    wanted, answers, complaints = set(jobs), {}, []
    for path in files:
        try:
            with open(path) as f:
                lines = f.read().split("\n")
        except OSError:
            continue
        for number, line in enumerate(lines[:-1], 1):  # a last line without its newline is cut short
            fields = line.split("\t")
            where = "%s line %d" % (os.path.basename(path), number)
            if len(fields) != 6 or answer_checksum("\t".join(fields[:5])) != fields[5]:
                complaints.append("%s fails its checksum: %r (not summed)" % (where, line))
                continue
            moves, depth, leaves, nodes, seconds = fields[:5]
            if moves not in wanted or depth != str(job_depth):
                complaints.append("%s answers no job of this run: %r" % (where, line))
                continue
            value = (int(leaves), int(nodes), float(seconds))
            if moves in answers and answers[moves][:2] != value[:2]:
                raise Refused("two answers differ for the moves %r: %d and %d leaves (%s); remove the wrong line "
                              "or recount that job" % (moves, answers[moves][0], value[0], where))
            answers[moves] = value
    return answers, complaints


def loud(lines, limit=10):
    for line in lines[:limit]:
        print("deep_perft: WARNING: %s" % line, file=sys.stderr)
    if len(lines) > limit:
        print("deep_perft: WARNING: ... %d more" % (len(lines) - limit), file=sys.stderr)


def end_with_newline(path):
    """A log cut short by a kill gets its line ended, so the next answer starts a line."""
    try:
        with open(path, "rb+") as f:
            if f.seek(0, os.SEEK_END) == 0:
                return
            f.seek(-1, os.SEEK_END)
            if f.read(1) != b"\n":
                f.write(b"\n")
    except FileNotFoundError:
        pass


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


def mark_unanswered_failed(run, jobs, answers):
    """A job the log calls done whose answer is not valid becomes failed, so
    that --resume-failed runs it again."""
    header, rows, changed = read_joblog(run)
    for row in rows:
        if row[6] == "0" and jobs[int(row[0]) - 1] not in answers:
            row[6], changed = "1", True
    if changed:
        with open(os.path.join(run, "joblog"), "w") as f:
            f.writelines("\t".join(r) + "\n" for r in header + rows)


def requirement(path):
    """What a host needs to run the engine, read from the engine's symbol versions."""
    with open(path, "rb") as f:
        data = f.read()

    def newest(library):
        found = re.findall(rb"(?<=[\x00@])%s_(\d+(?:\.\d+)+)(?=\x00)" % library, data)
        return max((v.decode() for v in found), key=lambda v: [int(x) for x in v.split(".")], default=None)
    glibc, glibcxx = newest(b"GLIBC"), newest(b"GLIBCXX")
    if glibc is None:
        return "x86-64 Linux (the engine is static)"
    return ("x86-64 Linux with glibc %s or later%s (objdump -T lists them); or give a static engine (README: "
            "build-static) with --engine" % (glibc, " and a libstdc++ with GLIBCXX_%s" % glibcxx if glibcxx else ""))


def ssh_logins(args, run):
    """The hosts file with ssh timeouts added to every host's own ssh command
    (after its options, so that the host's own values win)."""
    try:
        with open(args.hosts) as f:
            hosts = [l.strip() for l in f if l.strip() and not l.lstrip().startswith("#")]
    except OSError as e:
        raise Refused("cannot read the hosts file %s: %s" % (args.hosts, e.strerror))
    if not hosts:
        raise Refused("%s lists no host" % args.hosts)
    lines = []
    for host in hosts:
        words = host.split()
        lines.append((host, " ".join(words[:-1] + SSH_OPTIONS.split() + words[-1:]) if len(words) > 1 else host))
    path = os.path.join(run, "sshlogins")
    with open(path, "w") as f:
        f.writelines(l + "\n" for _, l in lines)
    return lines, ["--sshloginfile", path, "--ssh", "ssh " + SSH_OPTIONS]


def run_group(cmd, seconds, **kw):
    """Runs cmd in its own process group, killed with everything it started
    when it outlives seconds (or this process is interrupted)."""
    proc = subprocess.Popen(cmd, start_new_session=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, **kw)
    try:
        out, err = proc.communicate(timeout=seconds)
        return out, err, False
    except subprocess.TimeoutExpired:
        return "", "", True
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()


def check_hosts(args, run, binary, engine, engine_path):
    """Every host's quarn must answer ping before any job starts."""
    hosts, login = ssh_logins(args, run)
    cmd = ["parallel", "--will-cite", "--nonall", "--tag", "--timeout", str(HOST_CHECK_SECONDS)] + login + (
        [] if args.remote_engine else ["--basefile", binary])
    out, _, late = run_group(cmd + ["printf 'xboard\\nping 1\\nquit\\n' | %s" % engine], HOST_CHECK_SECONDS * 2,
                             cwd=run)
    answered = {l.split("\t")[0] for l in out.splitlines() if l.endswith("\tpong 1")}
    lost = [h for h, tag in hosts if re.sub(r"^\d+/", "", tag) not in answered]
    if lost:
        raise Refused("no quarn answered ping within %d s on: %s (unreachable host, or the engine does not run "
                      "there: it needs %s, or build quarn on that host and give its path with --remote-engine)"
                      % (HOST_CHECK_SECONDS * (2 if late else 1), ", ".join(lost), requirement(engine_path)))
    print("%d hosts answered" % len(hosts), file=sys.stderr)
    return login + ([] if args.remote_engine else ["--basefile", binary])


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


def spread(info):
    est = info["estimates"]
    if info["estimate_plies"] and est:
        print("largest first by perft %d at each job's position: largest %d, median %d, smallest %d"
              % (info["estimate_plies"], est[0], est[len(est) // 2], est[-1]), file=sys.stderr)


def minutes(seconds):
    return "%d s" % seconds if seconds < 120 else "%d min" % (seconds / 60) if seconds < 7200 else \
        "%.1f h" % (seconds / 3600)


class Progress:
    """A line now and then when standard error is no terminal: jobs done,
    leaves per second, and the time left by the estimates."""

    def __init__(self, args, info, jobs, answers):
        self.every, self.start, self.last = args.progress, time.monotonic(), time.monotonic()
        self.size = dict(zip(jobs, info["estimates"]))
        self.before = set(answers)
        self.on = not sys.stderr.isatty()

    def tell(self, answers, force=False):
        now = time.monotonic()
        if not self.on or (now - self.last < self.every and not force):
            return
        self.last = now
        new = [m for m in answers if m not in self.before]
        leaves = sum(answers[m][0] for m in new)
        rate = leaves / (now - self.start) if now > self.start else 0
        done_size = sum(self.size[m] for m in new)
        left_size = sum(s for m, s in self.size.items() if m not in answers)
        left = "" if not (rate and done_size) else ", about %s left" % minutes(left_size * leaves / done_size / rate)
        print("progress: %d of %d jobs, %.3g leaves/s%s" % (len(answers), len(self.size), rate, left),
              file=sys.stderr, flush=True)


def parallel_command(args, login, jobfile):
    cmd = ["parallel", "--will-cite", "--retries", str(RETRIES), "--timeout", args.job_timeout,
           "--arg-file", jobfile] + login
    return cmd + (["--jobs", args.jobs] if args.jobs else [])


def run_parallel(args, run, info, jobs, engine, login):
    """Runs the jobs without a valid answer through GNU parallel."""
    log = os.path.join(run, ANSWERS)
    answers, complaints = read_answers([log], jobs, args.depth - args.split)
    if complaints:
        loud(complaints + ["those jobs run again"])
    if len(answers) == len(jobs):
        return
    end_with_newline(log)
    mark_unanswered_failed(run, jobs, answers)
    cmd = parallel_command(args, login, "jobs") + ["--joblog", "joblog", "--resume-failed"] + (
        ["--bar"] if sys.stderr.isatty() else [])
    progress = Progress(args, info, jobs, answers)
    with open(log, "a") as out:
        proc = subprocess.Popen(cmd + [job_command(args, engine, "{}")], cwd=run, stdout=out)
        try:
            while True:
                try:
                    proc.wait(timeout=min(args.progress, 5))
                    break
                except subprocess.TimeoutExpired:
                    if progress.on:
                        progress.tell(read_answers([log], jobs, args.depth - args.split)[0])
        except KeyboardInterrupt:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
            raise
    if proc.returncode == 255:
        raise Refused("GNU parallel stopped with an error (its message is above)")


def verify(args, run, info, jobs, answers, login):
    """Recounts a random sample of answered jobs, with --verify-engine when given."""
    binary = copy_engine(args.verify_engine, run) if args.verify_engine else info["binary"]
    engine = shlex.quote(args.remote_engine) if args.remote_engine and not args.verify_engine else "./" + binary
    if login and args.verify_engine:
        login = [w if w != info["binary"] else binary for w in login]
    sample = random.sample(jobs, min(args.verify, len(jobs)))
    lines, where, elsewhere = [m + "\n" for m in sample], "", 0
    hostfile = login[login.index("--sshloginfile") + 1] if "--sshloginfile" in login else None
    with open(hostfile or os.devnull) as f:
        hosts = [l.strip() for l in f if l.strip()]
    if len(hosts) > 1:  # each job to the hosts that did not count it first (GNU parallel's host groups)
        names = [re.sub(r"^\d+/", "", h) for h in hosts]
        first = {jobs[int(r[0]) - 1]: r[1] for r in read_joblog(run)[1] if r[6] == "0"}
        others = {m: [i for i, n in enumerate(names) if n != first.get(m)] for m in sample}
        elsewhere = sum(1 for m in sample if len(others[m]) < len(hosts))
        lines = [m + "@" + "+".join("h%d" % i for i in others[m]) + "\n" for m in sample]
        hostfile = os.path.join(run, "verify.sshlogins")
        with open(hostfile, "w") as f:
            f.writelines("@h%d/%s\n" % (i, h) for i, h in enumerate(hosts))
        login = ["--hostgroups"] + [hostfile if w == login[login.index("--sshloginfile") + 1] else w for w in login]
        where = ", %d of them on another host than their first count" % elsewhere
    jobfile = os.path.join(run, "verify.jobs")
    with open(jobfile, "w") as f:
        f.writelines(lines)
    try:
        out = subprocess.run(parallel_command(args, login, jobfile) + [job_command(args, engine, "{}")], cwd=run,
                             stdout=subprocess.PIPE, text=True).stdout
    finally:
        os.remove(jobfile)
        if where:
            os.remove(hostfile)
    with tempfile.NamedTemporaryFile("w", dir=run, prefix="verify.", delete=False) as f:
        f.write(out)
    try:
        again, _ = read_answers([f.name], sample, args.depth - args.split)
    finally:
        os.remove(f.name)
    differ = ["the moves %r: the answer says %d leaves, %d nodes; recounted %d leaves, %d nodes" % (
        m, answers[m][0], answers[m][1], again[m][0], again[m][1]) for m in sample
        if m in again and again[m][:2] != answers[m][:2]]
    if differ:
        for line in differ:
            print("deep_perft: DIFFERENCE: %s" % line, file=sys.stderr)
        print("deep_perft: %d of %d recounted jobs differ: the total is not printed" % (len(differ), len(sample)),
              file=sys.stderr)
        return False
    if len(again) < len(sample):
        raise Refused("%d of %d jobs to verify got no answer from the recount" % (len(sample) - len(again),
                                                                                   len(sample)))
    print("verified: %d random jobs recounted by %s agree%s" % (len(sample), binary, where), file=sys.stderr)
    return True


def print_total(args, info, jobs, answers, seconds):
    by_root = dict.fromkeys(info["roots"], 0)
    for moves in jobs:
        by_root[moves.split()[0]] += answers[moves][0]
    leaves = sum(by_root.values())
    nodes = info["above"] + sum(a[1] for a in answers.values())
    centis = int(100 * (info["prepared"] + seconds))
    for turn, count in by_root.items():
        print("%-5s %d" % (turn, count))
    print("# perft(%d) = %d, nodesPerft=%d, time=%d.%02d, lps=%d, nps=%d" % (
        args.depth, leaves, nodes, centis // 100, centis % 100, per_second(leaves, centis), per_second(nodes, centis)))
    core = sum(a[2] for a in answers.values())
    print("# %d jobs; their counts took %.1f s added up, %d leaves per second of it" % (
        len(jobs), core, leaves / core if core else 0), file=sys.stderr)


def missing_message(missing, total, where):
    return ("%d of %d jobs have no valid answer (%s%s; see %s); the same command reruns them"
            % (len(missing), total, ", ".join(repr(m) for m in missing[:3]), " ..." if len(missing) > 3 else "",
               where))


def run_local(args, run, info):
    jobs = read_jobs(run)
    engine = shlex.quote(args.remote_engine) if args.remote_engine else "./" + info["binary"]
    login = check_hosts(args, run, info["binary"], engine, os.path.join(run, info["binary"])) if args.hosts else []
    spread(info)
    run_parallel(args, run, info, jobs, engine, login)
    answers, _ = read_answers([os.path.join(run, ANSWERS)], jobs, args.depth - args.split)
    missing = [m for m in jobs if m not in answers]
    if missing:
        mark_unanswered_failed(run, jobs, answers)
        raise Refused(missing_message(missing, len(jobs), run + "/joblog"))
    if args.verify and not verify(args, run, info, jobs, answers, login):
        return 1
    _, rows, _ = read_joblog(run)
    print_total(args, info, jobs, answers, union_seconds([r for r in rows if r[6] == "0"]))
    return 0


SLURM_SCRIPT = """#!/bin/sh
#SBATCH --job-name=quarn-perft
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output={run}/slurm/%A_%a.out
# deep_perft's jobs as an array: submission S (slurm/todo.S) in K tasks; task T
# counts every K-th job from the T-th and appends its answers to its own log.
# Written by tools/deep_perft.py, which submits it: sbatch --array=1-K slurm.sh S K
sub=$1 tasks=$2
cd {run} || exit 1
log=slurm/answers.$sub.$SLURM_ARRAY_TASK_ID
[ -s "$log" ] && [ -n "$(tail -c 1 "$log")" ] && echo >> "$log"
failed=0
awk -v t="$SLURM_ARRAY_TASK_ID" -v k="$tasks" 'NR % k == t % k' slurm/todo.$sub > "$log.todo.$$"
while IFS= read -r moves; do
  {job} >> "$log" || {{ echo "job failed: $moves" >&2; failed=1; }}
done < "$log.todo.$$"
rm -f "$log.todo.$$"
exit $failed
"""


def slurm(cmd, what):
    try:
        done = subprocess.run(cmd, capture_output=True, text=True, timeout=120)
    except FileNotFoundError:
        raise Refused("%s is missing: --slurm needs Slurm's commands (sbatch, squeue)" % cmd[0])
    except subprocess.TimeoutExpired:
        raise Refused("%s did not answer within 120 s" % cmd[0])
    return done


def queued(job):
    """Whether tasks of the array job are pending or running."""
    done = slurm(["squeue", "-h", "-j", job, "-o", "%i"], "squeue")
    if done.returncode != 0:
        if "Invalid job id" in done.stderr:
            return False
        raise Refused("squeue failed: %s" % done.stderr.strip())
    return bool(done.stdout.strip())


def submit(args, run, info, jobs, answers, submissions):
    todo = [m for m in jobs if m not in answers]  # largest first, as in jobs
    sub = len(submissions) + 1
    tasks = min(SLURM_TASKS, -(-len(todo) // args.shard))
    with open(os.path.join(run, "slurm", "todo.%d" % sub), "w") as f:
        f.writelines(m + "\n" for m in todo)
    cmd = ["sbatch", "--parsable", "--array=1-%d" % tasks] + shlex.split(args.sbatch_options or "") + [
        os.path.join(run, "slurm", "slurm.sh"), str(sub), str(tasks)]
    done = slurm(cmd, "sbatch")
    if done.returncode != 0:
        raise Refused("sbatch refused the array: %s" % done.stderr.strip())
    job = done.stdout.strip().split(";")[0]
    submissions.append({"job": job, "jobs": len(todo), "tasks": tasks, "at": time.time()})
    with open(os.path.join(run, "slurm", "submissions.json"), "w") as f:
        json.dump(submissions, f)
    print("submitted %d jobs as Slurm array job %s (%d tasks)%s" % (
        len(todo), job, tasks, " again, after array job %s ended without them" % submissions[-2]["job"]
        if sub > 1 else ""), file=sys.stderr)


def run_slurm(args, run, info):
    """Submits the jobs as a job array, then (the same command again, or
    --wait) collects and checks the answers, resubmitting the jobs without one."""
    jobs = read_jobs(run)
    folder = os.path.join(run, "slurm")
    os.makedirs(folder, exist_ok=True)
    engine = shlex.quote(args.remote_engine) if args.remote_engine else shlex.quote(os.path.join(run, info["binary"]))
    with open(os.path.join(folder, "slurm.sh"), "w") as f:
        f.write(SLURM_SCRIPT.format(run=shlex.quote(run), job=job_command(args, engine, '"$moves"')))
    try:
        with open(os.path.join(folder, "submissions.json")) as f:
            submissions = json.load(f)
    except FileNotFoundError:
        submissions = []
    spread(info)
    resubmitted, last_word = 0, 0.0
    while True:
        running = bool(submissions) and queued(submissions[-1]["job"])  # before reading: no answer comes after
        logs = [os.path.join(folder, n) for n in sorted(os.listdir(folder)) if re.fullmatch(r"answers\.\d+\.\d+", n)]
        answers, complaints = read_answers(logs, jobs, args.depth - args.split)
        if len(answers) == len(jobs):
            break
        if running:
            if not args.wait:
                print("%d of %d jobs answered; array job %s is still queued or running: the same command collects "
                      "later" % (len(answers), len(jobs), submissions[-1]["job"]), file=sys.stderr)
                return NOT_FINISHED
            if time.monotonic() - last_word >= args.progress:
                print("progress: %d of %d jobs answered" % (len(answers), len(jobs)), file=sys.stderr, flush=True)
                last_word = time.monotonic()
            time.sleep(args.poll)
            continue
        if complaints:
            loud(complaints + ["those jobs are submitted again"])
        if submissions and args.wait and resubmitted >= RETRIES:
            raise Refused(missing_message([m for m in jobs if m not in answers], len(jobs), folder + "/*.out"))
        resubmitted += bool(submissions)
        submit(args, run, info, jobs, answers, submissions)
        if not args.wait:
            print("the same command collects the answers (or submits the jobs still without one)", file=sys.stderr)
            return NOT_FINISHED
    if args.verify and not verify(args, run, info, jobs, answers, []):
        return 1
    last = max((os.path.getmtime(p) for p in logs), default=0.0)
    print_total(args, info, jobs, answers, max(0.0, last - submissions[0]["at"]) if submissions else 0.0)
    return 0


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
    ap.add_argument("--jobs", help="jobs at once per host (GNU parallel's --jobs: N, +N, -N or N%%; default: "
                    "one per core)")
    ap.add_argument("--run", help="the run directory: resumable with the same command")
    ap.add_argument("--max-jobs", type=int, default=MAX_JOBS, help="the largest frontier accepted (%(default)s)")
    ap.add_argument("--job-timeout", default=JOB_TIMEOUT, help="GNU parallel's --timeout for a job: seconds, or a "
                    "percentage of the median run time (%(default)s)")
    ap.add_argument("--progress", type=float, default=PROGRESS_SECONDS, help="seconds between progress lines "
                    "when standard error is no terminal (%(default)s)")
    ap.add_argument("--verify", type=int, default=0, metavar="N", help="recount N random jobs before the total")
    ap.add_argument("--verify-engine", help="the engine that recounts them (default: the run's engine)")
    ap.add_argument("--slurm", action="store_true", help="run the jobs as a Slurm job array (needs --run on a "
                    "directory every node reaches)")
    ap.add_argument("--shard", type=int, default=50, help="jobs per array task at least (%(default)s)")
    ap.add_argument("--sbatch-options", help="more sbatch options, as one string (e.g. \"--partition=long\")")
    ap.add_argument("--wait", action="store_true", help="with --slurm: wait for the array and collect its answers")
    ap.add_argument("--poll", type=float, default=SLURM_POLL_SECONDS, help="seconds between squeue calls with "
                    "--wait (%(default)s)")
    args = ap.parse_args()
    if args.split is None:
        args.split = 1 if args.depth < 6 else 2
    try:
        if args.depth < 2 or not 1 <= args.split < args.depth:
            raise Refused("the split must be at least 1 and below the depth (depth %d, split %d)"
                          % (args.depth, args.split))
        if args.jobs is not None and not JOBS_FORM.match(args.jobs):
            raise Refused("--jobs takes N, +N, -N or N%%, not %r" % args.jobs)
        if not re.fullmatch(r"\d+(\.\d+)?%?", args.job_timeout):
            raise Refused("--job-timeout takes seconds or a percentage, not %r" % args.job_timeout)
        if args.shard < 1 or args.verify < 0 or args.progress <= 0 or args.poll <= 0:
            raise Refused("--shard, --progress and --poll must be positive, --verify not negative")
        if args.fen is not None:
            args.fen = fen_form(args.fen)
        for path in [args.engine] + ([args.verify_engine] if args.verify_engine else []):
            if not (os.path.isfile(path) and os.access(path, os.X_OK)):
                raise Refused("no engine at %s (build it with ./quarn.sh, or give --engine)" % path)
        if shutil.which("parallel") is None and not (args.slurm and not args.verify):
            raise Refused("GNU parallel is missing (Debian: apt-get install parallel)")
        if args.slurm and not args.run:
            raise Refused("--slurm needs --run DIR, a directory that every node reaches")
        if args.slurm and args.hosts:
            raise Refused("--slurm and --hosts exclude each other")
        temporary = args.run is None
        run = os.path.join(tempfile.mkdtemp(prefix="deep_perft."), "run") if temporary else os.path.abspath(args.run)
        try:
            info, lock = open_run(args, run)
            try:
                return (run_slurm if args.slurm else run_local)(args, run, info)
            finally:
                os.close(lock)
        finally:
            if temporary:
                shutil.rmtree(os.path.dirname(run))
    except Refused as e:
        print("deep_perft: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("\ndeep_perft: stopped%s" % ("; the same command resumes the run" if args.run else ""), file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
