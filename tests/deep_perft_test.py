#!/usr/bin/env python3
"""tools/deep_perft.py against the engine's own divide: split counts, a run
stopped (SIGINT, SIGKILL of its process group) and resumed, jobs over ssh to an
sshd started here on 127.0.0.1, and refused input.
  python3 tests/deep_perft_test.py build/quarn"""
import collections
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


def tool(*args, **kw):
    return subprocess.run([sys.executable, TOOL, "--engine", ENGINE, *args], capture_output=True, text=True, **kw)


def split_counts():
    for variant, fen, depth, splits in SPLIT_CASES:
        want = divide(variant, fen, depth)
        for split in splits:
            position = ["--fen", fen] if fen else []
            out = tool("--variant", variant, "--depth", str(depth), "--split", str(split), *position)
            check(without_time(out.stdout) == want, "%s %s depth %d split %d: %s" % (variant, fen, depth, split, out))


def succeeded(log):
    return [r[0] for r in (l.split("\t") for l in open(log)) if len(r) >= 9 and r[6] == "0"]


def stopped_and_resumed(sig, want):
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
    with open(os.path.join(run, "answers", done[0]), "w") as f:
        f.write("# perft(4) = 1, nodesPerft=1, time=0.00, lps=0, nps=0\nError (illegal move): x\n")  # to be rerun
    out = subprocess.run(args, capture_output=True, text=True)
    successes = collections.Counter(succeeded(log))
    check(20 <= len(done) < 400 and without_time(out.stdout) == want, "signal %d, %d done: %s" % (sig, len(done), out))
    check(len(successes) == 400 and set(successes.values()) == {1}, "jobs run twice after signal %d" % sig)
    return run


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
        out = tool("--depth", "5", "--split", "1", "--hosts", hosts)
        check(without_time(out.stdout) == want, "over ssh: %s" % out)
        out = tool("--depth", "5", "--split", "1", "--hosts", lost)
        check(out.returncode == 2 and "no quarn answered ping" in out.stderr, "unreachable host: %s" % out)
    finally:
        sshd.terminate()
        sshd.wait()
        for name in set(os.listdir(home)) - before:
            if name.startswith("quarn-"):
                os.remove(os.path.join(home, name))


def refused(run):
    cases = [  # arguments, what the message holds
        (["--fen", "8/8/8/8/8/8/8/8 w - - 0 1", "--depth", "3"], "Error (illegal FEN): setboard 8/8/8/8/8/8/8/8 w - -"),
        (["--variant", "shogi", "--depth", "3"], "Error (unknown variant): shogi"),
        (["--variant", "marseillais", "--depth", "12", "--split", "1"], "refuses perft 11"),
        (["--depth", "3", "--split", "3"], "below the depth"),
        (["--depth", "5", "--split", "2", "--max-jobs", "399"], "400 jobs are more than 399"),
        (["--depth", "5", "--split", "2", "--run", run], "was made for"),
    ]
    for args, message in cases:
        out = tool(*args)
        check(out.returncode == 2 and message in out.stderr and not out.stdout, "%s: %s" % (args, out))


try:
    split_counts()
    start6 = divide("normal", None, 6)
    runs = [stopped_and_resumed(sig, start6) for sig in (signal.SIGINT, signal.SIGKILL)]
    over_ssh(divide("normal", None, 5))
    refused(runs[0])
finally:
    shutil.rmtree(TMP)
print("deep_perft: %d passed, %d failed" % (results["passed"], results["failed"]))
sys.exit(1 if results["failed"] else 0)
