#!/usr/bin/env python3
"""tools/deep_perft.py against the engine's own divide: split counts, a run
stopped (SIGINT, SIGKILL of its process group), an answer edited and resumed,
a wrong answer caught by --verify, jobs over ssh to an sshd started here on
127.0.0.1, a host that never speaks, a silent engine, a stopped job, refused
input, and the Slurm array mode on a one-node Slurm started here (as root).
  python3 tests/deep_perft_test.py build/quarn"""
import collections
import hashlib
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "tools", "deep_perft.py")
ENGINE = os.path.abspath(sys.argv[1])
KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
# Black's turns take en passant, castle, and push to a promotion; White's answers promote.
MARSEILLAIS_FEN = "4k2r/1P6/8/8/3pP3/8/8/4K2R b Kk e3 0 1"
SPLIT_CASES = [  # variant, FEN, depth, splits
    ("normal", None, 5, (1, 2)),
    ("normal", None, 6, (1,)),  # split 2 in the stopped runs
    ("normal", KIWIPETE, 4, (1,)),
    ("marseillais", None, 3, (1,)),
    ("marseillais", MARSEILLAIS_FEN, 3, (1,)),
]
TMP = tempfile.mkdtemp(prefix="deep_perft_test.")
TOOL_TMP = os.path.join(TMP, "tool_tmp")  # the tool's TMPDIR: empty after every run
HANG_SECONDS = 120  # a run that hangs fails here; every wait of the tool is shorter
results = collections.Counter()


def check(ok, what):
    results["passed" if ok else "failed"] += 1
    if not ok:
        print("FAILED:", what)


def without_time(text):
    return [re.sub(r", time=.*", "", l) for l in text.splitlines() if not l.startswith("# Your move")]


def divide(variant, fen, depth):
    script = "xboard\nvariant %s\n%sdivide %d\nquit\n" % (variant, "setboard %s\n" % fen if fen else "", depth)
    out = subprocess.run([ENGINE], input=script, capture_output=True, text=True).stdout
    return [l for l in without_time(out) if not re.match(r"^(# [.a-zA-Z]{8}|feature .*|)$", l)]


def tool(*args, env=os.environ, **kw):
    os.makedirs(TOOL_TMP, exist_ok=True)
    env = dict(env, TMPDIR=TOOL_TMP)
    try:
        return subprocess.run([sys.executable, TOOL, "--engine", ENGINE, *args], capture_output=True, text=True,
                              env=env, timeout=HANG_SECONDS, **kw)
    except subprocess.TimeoutExpired as e:
        return subprocess.CompletedProcess(e.cmd, "hung", "", "still running after %d s" % HANG_SECONDS)


def left_behind(marker):
    """Processes whose command line holds marker, and what the tool left in its TMPDIR."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if marker.encode() in f.read() and int(pid) != os.getpid():
                    found.append(pid)
        except OSError:
            pass
    return found + os.listdir(TOOL_TMP)


def script(name, text):
    path = os.path.join(TMP, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + text)
    os.chmod(path, 0o755)
    return path


def split_counts():
    for variant, fen, depth, splits in SPLIT_CASES:
        want = divide(variant, fen, depth)
        for split in splits:
            position = ["--fen", fen] if fen else []
            out = tool("--variant", variant, "--depth", str(depth), "--split", str(split), *position)
            check(without_time(out.stdout) == want, "%s %s depth %d split %d: %s" % (variant, fen, depth, split, out))


def succeeded(log):
    return [r[0] for r in (l.split("\t") for l in open(log)) if len(r) >= 9 and r[6] == "0"]


def answer_lines(run):
    return open(os.path.join(run, "answers.log")).read().splitlines()


def sealed(line):
    """An answer line with its checksum made again, as a wrong but well-formed answer would have it."""
    fields = line.split("\t")[:5]
    return "\t".join(fields + [hashlib.md5("\t".join(fields).encode()).hexdigest()])


def stopped_and_resumed(sig, want):
    """A run killed midway resumes without redoing finished jobs; an answer
    edited meanwhile (1000 leaves more) fails its checksum, is reported and counted again."""
    run = os.path.join(TMP, "stopped-%d" % sig)
    args = [sys.executable, TOOL, "--engine", ENGINE, "--depth", "6", "--split", "2", "--jobs", "2", "--run", run]
    proc = subprocess.Popen(args, start_new_session=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    log = os.path.join(run, "joblog")
    for _ in range(1800):
        if os.path.exists(log) and sum(1 for _ in open(log)) > 20:
            break
        time.sleep(0.1)
    os.killpg(proc.pid, sig)
    proc.wait()
    done = succeeded(log)
    lines = answer_lines(run)
    fields = lines[0].split("\t")
    fields[2] = str(int(fields[2]) + 1000)
    with open(os.path.join(run, "answers.log"), "w") as f:
        f.writelines(l + "\n" for l in ["\t".join(fields)] + lines[1:])
    out = subprocess.run(args, capture_output=True, text=True)
    successes = collections.Counter(succeeded(log))
    check(20 <= len(done) < 400 and without_time(out.stdout) == want and "fails its checksum" in out.stderr,
          "signal %d, %d done: %s" % (sig, len(done), out))
    check(len(successes) == 400 and set(successes.values()) == {1}, "jobs run twice after signal %d" % sig)
    return run


def verified():
    """A wrong answer with a right checksum (a faulty engine's) is summed at
    resume, but --verify recounts it and refuses the total."""
    run = os.path.join(TMP, "verified")
    args = ["--depth", "4", "--split", "1", "--run", run]
    first = tool(*args, "--progress", "0.1")  # standard error is no terminal here: progress lines
    want = first.stdout
    check(re.search(r"progress: \d+ of 20 jobs, \S+ leaves/s", first.stderr), "progress lines: %s" % first)
    lines = answer_lines(run)
    fields = lines[3].split("\t")
    fields[2] = fields[2] + "0"
    with open(os.path.join(run, "answers.log"), "w") as f:
        f.writelines(l + "\n" for l in lines[:3] + [sealed("\t".join(fields))] + lines[4:])
    out = tool(*args, "--verify", "20")
    check(out.returncode == 1 and not out.stdout and "DIFFERENCE: the moves %r" % fields[0] in out.stderr,
          "verify of a wrong answer: %s" % out)
    with open(os.path.join(run, "answers.log"), "w") as f:
        f.writelines(l + "\n" for l in lines)
    out = tool(*args, "--verify", "5")
    check(out.returncode == 0 and without_time(out.stdout) == without_time(want) and
          "verified: 5 random jobs" in out.stderr, "verify: %s" % out)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def over_ssh(want):
    """Two host entries (two ports of one sshd) and one unreachable host."""
    keys = {name: os.path.join(TMP, name) for name in ("host_key", "user_key")}
    for key in keys.values():
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key], check=True)
    ports = [free_port(), free_port()]
    config, known = os.path.join(TMP, "sshd_config"), os.path.join(TMP, "known_hosts")
    with open(config, "w") as f:
        f.write("".join("Port %d\n" % p for p in ports) + "ListenAddress 127.0.0.1\nHostKey %s\nAuthorizedKeysFile %s\n"
                "StrictModes no\nUsePAM no\nPidFile %s/sshd.pid\n" % (keys["host_key"], keys["user_key"] + ".pub", TMP))
    with open(known, "w") as f:
        f.writelines("[127.0.0.1]:%d %s" % (p, open(keys["host_key"] + ".pub").read()) for p in ports)
    os.makedirs("/run/sshd", exist_ok=True)
    log = open(os.path.join(TMP, "sshd.log"), "w")
    sshd = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config], stderr=log)
    ssh = "ssh -F /dev/null -i %s -o IdentitiesOnly=yes -o BatchMode=yes -o UserKnownHostsFile=%s -p" % (
        keys["user_key"], known)
    user = subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip()
    hosts, lost = os.path.join(TMP, "hosts"), os.path.join(TMP, "lost_hosts")
    with open(hosts, "w") as f:
        f.writelines("1/%s %d %s@127.0.0.1\n" % (ssh, p, user) for p in ports)
    with open(lost, "w") as f:
        f.write("%s %d %s@127.0.0.1\n" % (ssh, free_port(), user))
    home = os.path.expanduser("~")  # where the hosts keep the engine's copy
    before = set(os.listdir(home))
    try:
        time.sleep(0.5)
        args = ["--depth", "5", "--split", "1", "--hosts", hosts, "--run", os.path.join(TMP, "over-ssh")]
        out = tool(*args)
        check(without_time(out.stdout) == want, "over ssh: %s" % out)
        out = tool(*args, "--verify", "20")
        check(without_time(out.stdout) == want and "20 of them on another host than their first count" in out.stderr,
              "verified on the other host: %s" % out)
        out = tool("--depth", "5", "--split", "1", "--hosts", lost)
        check(out.returncode == 2 and "no quarn answered ping" in out.stderr and "a libstdc++ with GLIBCXX_3." in
              out.stderr, "unreachable host: %s" % out)
        with socket.socket() as silent:  # accepts connections (the kernel does) and never speaks
            silent.bind(("127.0.0.1", 0))
            silent.listen(8)
            with open(lost, "w") as f:
                f.write("%s %d %s@127.0.0.1\n" % (ssh, silent.getsockname()[1], user))
            start = time.monotonic()
            out = tool("--depth", "5", "--split", "1", "--hosts", lost)
            took = time.monotonic() - start
            check(out.returncode == 2 and "no quarn answered ping within 60 s" in out.stderr and
                  not left_behind("-p %d " % silent.getsockname()[1]), "silent host (%.0f s): %s" % (took, out))
    finally:
        sshd.terminate()
        sshd.wait()
        for name in set(os.listdir(home)) - before:
            if name.startswith("quarn-"):
                os.remove(os.path.join(home, name))


def hangs():
    """A silent engine and a stopped job end with a clear message, nothing left behind."""
    start = time.monotonic()
    out = tool("--engine", "/bin/cat", "--depth", "3")
    check(out.returncode == 2 and "the engine /bin/cat sent nothing for 10 s" in out.stderr and
          not left_behind("/bin/cat"), "silent engine (%.0f s): %s" % (time.monotonic() - start, out))
    mark = os.path.join(TMP, "stopped_once")  # job 5 stops itself (SIGSTOP) the first time
    stopper = script("stopper", 'if [ "$PARALLEL_SEQ" = 5 ] && mkdir %s 2>/dev/null; then kill -STOP $$; fi\n'
                     'exec %s "$@"\n' % (mark, ENGINE))
    out = tool("--engine", stopper, "--depth", "4", "--split", "1", "--jobs", "2")
    check(out.returncode == 0 and without_time(out.stdout) == divide("normal", None, 4) and
          "killed because it timed out" in out.stderr and os.path.isdir(mark) and not left_behind(stopper),
          "stopped job: %s" % out)


def bad_input(run):
    """Each refused with one line and exit 2, nothing left behind."""
    deaf = script("deaf", "sed -u /^setboard/d | exec %s\n" % ENGINE)  # an engine that ignores setboard
    a_file = os.path.join(TMP, "a_file")
    open(a_file, "w").close()
    start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR"
    cases = [  # arguments, what the message holds
        (["--fen", "garbage"], "a FEN has six fields"),
        (["--fen", start], "a FEN has six fields"),
        (["--fen", start + " w"], "a FEN has six fields"),
        (["--fen", start + " w KQkq"], "a FEN has six fields"),
        (["--fen", start + " w KQkq - ;D1 48"], "the FEN's half-move clock ';D1' is malformed"),
        (["--fen", "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"], "eight ranks of eight squares"),
        (["--fen", KIWIPETE, "--engine", deaf], "the engine ignored setboard "),
        (["--run", a_file], "is a file, not a run directory"),
        (["--engine", "/bin/true"], "the engine /bin/true exited without answering"),
        (["--jobs", "abc"], "--jobs takes N, +N, -N or N%, not 'abc'"),
        (["--fen", "8/8/8/8/8/8/8/8 w - - 0 1", "--depth", "3"], "Error (illegal FEN): setboard 8/8/8/8/8/8/8/8 w - -"),
        (["--variant", "shogi", "--depth", "3"], "Error (unknown variant): shogi"),
        (["--variant", "marseillais", "--depth", "12", "--split", "1"], "refuses perft 11"),
        (["--depth", "3", "--split", "3"], "below the depth"),
        (["--depth", "5", "--split", "2", "--max-jobs", "399"], "400 jobs are more than 399"),
        (["--depth", "5", "--split", "2", "--run", run], "was made for"),
    ]
    for args, message in cases:
        out = tool("--depth", "3", *args)
        check(out.returncode == 2 and message in out.stderr and len(out.stderr.splitlines()) <= 2 and
              not out.stdout and not left_behind(TMP + "/"), "%s: %s" % (args, out))
    run = os.path.join(TMP, "twice")  # two runs at once on a new directory: one runs, the other is refused
    args = [sys.executable, TOOL, "--engine", ENGINE, "--depth", "4", "--run", run]
    procs = [subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for _ in range(2)]
    outs = [p.communicate() + (p.returncode,) for p in procs]
    check(sorted(o[2] for o in outs) in ([0, 0], [0, 2]) and all("Traceback" not in o[1] for o in outs) and
          all(o[2] == 0 or "another deep_perft is running in" in o[1] for o in outs) and
          sorted(os.listdir(os.path.dirname(run))).count("twice") == 1 and
          not [n for n in os.listdir(TMP) if n.startswith("twice.")], "two at once: %s" % outs)


def one_node_slurm():
    """munged, slurmctld and slurmd for this machine as children of the test,
    configured in TMP (no cgroups); the environment the tool's Slurm commands need."""
    base = os.path.join(TMP, "slurm")
    os.makedirs(os.path.join(base, "state"))
    os.makedirs(os.path.join(base, "spool"))
    os.chmod(TMP, 0o755)
    key = os.path.join(base, "munge.key")
    with open(key, "wb") as f:
        f.write(os.urandom(1024))
    os.chmod(key, 0o600)
    sock = os.path.join(base, "munge.socket")
    node = socket.gethostname().split(".")[0]
    with open(os.path.join(base, "slurm.conf"), "w") as f:
        f.write("ClusterName=quarntest\nSlurmctldHost=%s(127.0.0.1)\nSlurmctldPort=%d\nSlurmdPort=%d\n"
                "AuthType=auth/munge\nAuthInfo=socket=%s\nCredType=cred/munge\nSlurmUser=root\nSlurmdUser=root\n"
                "StateSaveLocation={0}/state\nSlurmdSpoolDir={0}/spool\nSlurmctldPidFile={0}/slurmctld.pid\n"
                "SlurmdPidFile={0}/slurmd.pid\nSlurmctldLogFile={0}/slurmctld.log\nSlurmdLogFile={0}/slurmd.log\n"
                "ProctrackType=proctrack/pgid\nTaskPlugin=task/none\nJobAcctGatherType=jobacct_gather/none\n"
                "AccountingStorageType=accounting_storage/none\nSelectType=select/cons_tres\n"
                "SelectTypeParameters=CR_Core\nMpiDefault=none\nReturnToService=2\nSchedulerType=sched/builtin\n"
                "NodeName=%s NodeAddr=127.0.0.1 CPUs=%d State=UNKNOWN\n"
                "PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP\n".format(base)
                % (node, free_port(), free_port(), sock, node, os.cpu_count()))
    env = dict(os.environ, SLURM_CONF=os.path.join(base, "slurm.conf"))
    log = open(os.path.join(base, "daemons.log"), "w")
    daemons = [subprocess.Popen(["/usr/sbin/munged", "-F", "-f", "--socket=" + sock, "--key-file=" + key,
                                 "--log-file=%s/munged.log" % base, "--pid-file=%s/munged.pid" % base,
                                 "--seed-file=%s/munged.seed" % base], stdout=log, stderr=log)]
    for _ in range(100):
        if os.path.exists(sock):
            break
        time.sleep(0.1)
    daemons += [subprocess.Popen(["/usr/sbin/" + d, "-D"] + (["-i"] if d == "slurmctld" else []), env=env,
                                 stdout=log, stderr=log) for d in ("slurmctld", "slurmd")]
    for _ in range(300):
        up = subprocess.run(["sinfo", "-h", "-o", "%T"], env=env, capture_output=True, text=True).stdout.strip()
        if up == "idle":
            return env, daemons
        time.sleep(0.2)
    raise RuntimeError("the one-node Slurm did not start: " + open(os.path.join(base, "daemons.log")).read())


def slurm_array():
    """The job-array mode on a Slurm started here: perft 6 from the start with
    one array task cancelled (held at submission, so that it never ran) and
    the jobs without an answer submitted again; a Marseillais position."""
    if os.geteuid() != 0 or not shutil.which("slurmctld"):
        print("SKIPPED: the Slurm array (needs root and Debian's slurm-wlm and munge)")
        return
    env, daemons = one_node_slurm()
    try:
        run = os.path.join(TMP, "array-6")
        args = ["--depth", "6", "--split", "2", "--slurm", "--shard", "50", "--run", run, "--poll", "1"]
        out = tool(*args, "--sbatch-options=--hold", env=env)
        job = re.search(r"as Slurm array job (\d+) \(8 tasks\)", out.stderr)
        check(out.returncode == 3 and job and not out.stdout, "array submitted: %s" % out)
        if not job:
            return
        subprocess.run(["scancel", job.group(1) + "_2"], env=env, check=True)
        subprocess.run(["scontrol", "release", job.group(1)], env=env, check=True)
        out = tool(*args, "--wait", env=env)
        check(out.returncode == 0 and without_time(out.stdout) == divide("normal", None, 6) and
              re.search(r"submitted 50 jobs as Slurm array job \d+ \(1 tasks\) again", out.stderr),
              "array with a cancelled task: %s" % out)
        out = tool("--variant", "marseillais", "--fen", MARSEILLAIS_FEN, "--depth", "3", "--split", "1", "--slurm",
                   "--wait", "--poll", "1", "--run", os.path.join(TMP, "array-m"), env=env)
        check(out.returncode == 0 and without_time(out.stdout) == divide("marseillais", MARSEILLAIS_FEN, 3),
              "Marseillais array: %s" % out)
    finally:
        for daemon in reversed(daemons):
            daemon.terminate()
            daemon.wait()


try:
    slurm_array()
    split_counts()
    start6 = divide("normal", None, 6)
    runs = [stopped_and_resumed(sig, start6) for sig in (signal.SIGINT, signal.SIGKILL)]
    over_ssh(divide("normal", None, 5))
    bad_input(runs[0])
    verified()
    hangs()
finally:
    shutil.rmtree(TMP)
print("deep_perft: %d passed, %d failed" % (results["passed"], results["failed"]))
sys.exit(1 if results["failed"] else 0)
