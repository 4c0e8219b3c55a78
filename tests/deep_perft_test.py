#!/usr/bin/env python3
"""tools/deep_perft.py against the engine's own divide: split counts, runs
stopped (SIGINT, SIGKILL of its process group) and resumed with an answer
edited, a wrong answer caught by --verify, jobs over ssh to an sshd started
here on 127.0.0.1, hosts that refuse or never speak, a silent engine, a
stopped job, refused input, and the Slurm array mode on a one-node Slurm
started here (as root). Parts by name, all by default:
  python3 tests/deep_perft_test.py build/quarn [slurm counts stopped ssh refused verify hangs]"""
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
SPLIT_CASES = [  # variant, FEN, depth, split (depth 5 split 1 over ssh, depth 6 split 2 stopped and in Slurm)
    ("normal", None, 5, 2),
    ("normal", KIWIPETE, 4, 1),
    ("marseillais", None, 3, 1),
    ("marseillais", MARSEILLAIS_FEN, 3, 1),
]
TMP = tempfile.mkdtemp(prefix="deep_perft_test.")
TOOL_TMP = os.path.join(TMP, "tool_tmp")  # the tool's TMPDIR: empty after every run
HANG_SECONDS = 120
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
    os.makedirs(TOOL_TMP, exist_ok=True)  # a run that hangs raises TimeoutExpired: every wait of the tool is shorter
    return subprocess.run([sys.executable, TOOL, "--engine", ENGINE, *args], capture_output=True, text=True,
                          env=dict(env, TMPDIR=TOOL_TMP), timeout=HANG_SECONDS, **kw)


def left_behind(marker):
    """Processes whose command line holds marker, and what the tool left in its TMPDIR."""
    return subprocess.run(["pgrep", "-f", "--", marker], capture_output=True, text=True).stdout.split() + \
        os.listdir(TOOL_TMP)


def write(path, lines, mode=0o644):
    with open(path, "w") as f:
        f.writelines(l + "\n" for l in lines)
    os.chmod(path, mode)
    return path


def script(name, text):
    return write(os.path.join(TMP, name), ["#!/bin/sh", text], 0o755)


def split_counts():
    for variant, fen, depth, split in SPLIT_CASES:
        out = tool("--variant", variant, "--depth", str(depth), "--split", str(split), *(["--fen", fen] if fen else []))
        check(without_time(out.stdout) == divide(variant, fen, depth), "%s %s %d/%d: %s" % (variant, fen, depth, split,
                                                                                            out))


def succeeded(log):
    return [r[0] for r in (l.split("\t") for l in open(log)) if len(r) >= 9 and r[6] == "0"]


def edit_answer(run, index, change, seal):
    """Changes the leaves of one answer line; with seal its checksum is made again, as a wrong but
    well-formed answer would have it. Returns the lines before and the moves of the edited one."""
    path = os.path.join(run, "answers.log")
    lines = open(path).read().splitlines()
    fields = lines[index].split("\t")
    fields[2] = change(fields[2])
    if seal:
        fields[5] = hashlib.md5("\t".join(fields[:5]).encode()).hexdigest()
    write(path, lines[:index] + ["\t".join(fields)] + lines[index + 1:])
    return lines, fields[0]


def stopped_and_resumed():
    """A run killed midway resumes without redoing finished jobs; an answer
    edited meanwhile (1000 leaves more) fails its checksum, is reported and counted again."""
    want = divide("normal", None, 6)
    for sig in (signal.SIGINT, signal.SIGKILL):
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
        edit_answer(run, 0, lambda leaves: str(int(leaves) + 1000), seal=False)
        out = subprocess.run(args, capture_output=True, text=True)
        successes = collections.Counter(succeeded(log))
        check(20 <= len(done) < 400 and without_time(out.stdout) == want and "fails its checksum" in out.stderr,
              "signal %d, %d done: %s" % (sig, len(done), out))
        check(len(successes) == 400 and set(successes.values()) == {1}, "jobs run twice after signal %d" % sig)


def verified():
    """A wrong answer with a right checksum (a faulty engine's) is summed at
    resume, but --verify recounts it and refuses the total."""
    args = ["--depth", "4", "--split", "1", "--run", os.path.join(TMP, "verified")]
    first = tool(*args, "--progress", "0.1")  # standard error is no terminal here: progress lines
    check(re.search(r"progress: \d+ of 20 jobs, \S+ leaves/s", first.stderr), "progress lines: %s" % first)
    lines, moves = edit_answer(args[-1], 3, lambda leaves: leaves + "0", seal=True)
    out = tool(*args, "--verify", "20")
    check(out.returncode == 1 and not out.stdout and "DIFFERENCE: the moves %r" % moves in out.stderr,
          "verify of a wrong answer: %s" % out)
    write(os.path.join(args[-1], "answers.log"), lines)
    out = tool(*args, "--verify", "5")
    check(out.returncode == 0 and without_time(out.stdout) == without_time(first.stdout) and
          "verified: 5 random jobs" in out.stderr, "verify: %s" % out)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def over_ssh():
    """Two host entries (two ports of one sshd); then a host that refuses and one that never speaks."""
    want = divide("normal", None, 5)
    keys = {name: os.path.join(TMP, name) for name in ("host_key", "user_key")}
    for key in keys.values():
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key], check=True)
    ports = [free_port(), free_port()]
    config = write(os.path.join(TMP, "sshd_config"), ["Port %d" % p for p in ports] + [
        "ListenAddress 127.0.0.1", "HostKey " + keys["host_key"], "AuthorizedKeysFile %s.pub" % keys["user_key"],
        "StrictModes no", "UsePAM no", "PidFile %s/sshd.pid" % TMP])
    known = write(os.path.join(TMP, "known_hosts"),
                  ["[127.0.0.1]:%d %s" % (p, open(keys["host_key"] + ".pub").read().strip()) for p in ports])
    os.makedirs("/run/sshd", exist_ok=True)
    sshd = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config], stderr=open(TMP + "/sshd.log", "w"))
    ssh = "ssh -F /dev/null -i %s -o IdentitiesOnly=yes -o BatchMode=yes -o UserKnownHostsFile=%s -p" % (
        keys["user_key"], known)
    user = subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip()

    def hosts(name, prefix, ports):
        return write(os.path.join(TMP, name), ["%s%s %d %s@127.0.0.1" % (prefix, ssh, p, user) for p in ports])
    home = os.path.expanduser("~")  # where the hosts keep the engine's copy
    before = set(os.listdir(home))
    try:
        time.sleep(0.5)
        args = ["--depth", "5", "--split", "1", "--hosts", hosts("hosts", "1/", ports), "--run", TMP + "/over-ssh"]
        out = tool(*args)
        check(without_time(out.stdout) == want, "over ssh: %s" % out)
        out = tool(*args, "--verify", "20")
        check(without_time(out.stdout) == want and "20 of them on another host than their first count" in out.stderr,
              "verified on the other host: %s" % out)
        with socket.socket() as silent:  # accepts connections (the kernel does) and never speaks
            silent.bind(("127.0.0.1", 0))
            silent.listen(8)
            lost = [free_port(), silent.getsockname()[1]]
            start = time.monotonic()
            out = tool("--depth", "5", "--split", "1", "--hosts", hosts("lost_hosts", "", lost))
            check(out.returncode == 2 and "no quarn answered ping within 60 s on: " in out.stderr and
                  all("-p %d " % p in out.stderr for p in lost) and "a libstdc++ with GLIBCXX_3." in out.stderr and
                  not left_behind("-p %d " % lost[1]), "lost hosts (%.0f s): %s" % (time.monotonic() - start, out))
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
                     'exec %s "$@"' % (mark, ENGINE))
    out = tool("--engine", stopper, "--depth", "4", "--split", "1", "--jobs", "2")
    check(out.returncode == 0 and without_time(out.stdout) == divide("normal", None, 4) and
          "killed because it timed out" in out.stderr and os.path.isdir(mark) and not left_behind(stopper),
          "stopped job: %s" % out)


def refused():
    """Each refused with one line and exit 2, nothing left behind; two runs at once on one directory."""
    deaf = script("deaf", "sed -u /^setboard/d | exec %s" % ENGINE)  # an engine that ignores setboard
    a_file = write(os.path.join(TMP, "a_file"), [])
    made = os.path.join(TMP, "made")
    check(tool("--depth", "3", "--run", made).returncode == 0, "a run to resume")
    start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR"
    cases = [  # arguments, what the message holds
        (["--fen", "garbage"], "a FEN has six fields"),
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
        (["--split", "2", "--run", made], "was made for"),
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
          sorted(os.listdir(TMP)).count("twice") == 1 and not [n for n in os.listdir(TMP) if n.startswith("twice.")],
          "two at once: %s" % outs)


def one_node_slurm():
    """munged, slurmctld and slurmd for this machine as children of the test,
    configured in TMP (no cgroups); the environment the tool's Slurm commands need."""
    base = os.path.join(TMP, "slurm")
    for folder in ("state", "spool"):
        os.makedirs(os.path.join(base, folder))
    os.chmod(TMP, 0o755)
    key = write(os.path.join(base, "munge.key"), [os.urandom(512).hex()], 0o600)
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


PARTS = {"slurm": slurm_array, "counts": split_counts, "stopped": stopped_and_resumed, "ssh": over_ssh,
         "refused": refused, "verify": verified, "hangs": hangs}
try:
    for part in sys.argv[2:] or PARTS:
        PARTS[part]()
finally:
    shutil.rmtree(TMP)
print("deep_perft: %d passed, %d failed" % (results["passed"], results["failed"]))
sys.exit(1 if results["failed"] else 0)
