#!/usr/bin/env python3
"""Take-backs in the real xboard GUI: xboard runs quarn under a virtual X
server and xdotool types moves (xboard's type-in box), retracts them with
Ctrl-X against the engine (xboard sends "remove") and steps back with
Alt-Left in Edit Game mode ("undo" for each step) before another move and
Ctrl-W / Ctrl-B hand the engine a side. The referee then replays xboard's
debug log: every move relayed or made must be legal in the game as xboard
sent it, the engine's board after its moves must be that game's, no error
line but for the one-word commands it does not know, and no game ended.

Needs Debian's xboard, xvfb, xauth and xdotool.  usage: xboard_takeback.py QUARN_BINARY
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from referee import Pos, move_text  # noqa: E402

XBOARD = shutil.which("xboard") or "/usr/games/xboard"
# One-word commands xboard sends that quarn does not know: it answers them as moves.
UNKNOWN = {"random", "post", "hard", "easy", "computer"}
# The person's moves, the first legal one of each list is typed.
PREFERRED = ["g1f3", "b1c3", "h2h3", "a2a3", "g8f6", "b8c6", "h7h6", "a7a6"]
ENGINE_MOVE = r"<first *: move "


def read(log):
    try:
        with open(log, errors="replace") as f:
            return f.read().splitlines()
    except OSError:
        return []


class Gui:
    def __init__(self, engine, log, mode):
        self.log, home = log, os.path.join(os.path.dirname(log), "home")
        os.makedirs(home, exist_ok=True)
        args = [XBOARD, "-fcp", engine, "-fd", os.path.dirname(engine), "-tc", "5", "-mps", "40",
                "-searchDepth", "2", "-xponder", "-xpopup", "-xanimate", "-debug", "-nameOfDebugFile", log]
        self.proc = subprocess.Popen(args + (["-initialMode", mode] if mode else []), env=dict(os.environ, HOME=home),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--class", "xboard"],
                                     capture_output=True, text=True, timeout=30).stdout.split()[0]
        self.wait(r"<first *: pong 1$")

    def lines(self):
        return read(self.log)

    def count(self, pattern):
        return sum(1 for line in self.lines() if re.search(pattern, line))

    def wait(self, pattern, count=1, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            if self.count(pattern) >= count:
                return
            time.sleep(0.1)
        raise RuntimeError("xboard's log never showed %d line(s) matching %s" % (count, pattern))

    def keys(self, pattern, *keys, typed=None, more=1):
        """Types text and presses keys in xboard's window, then waits for more log lines matching pattern."""
        before = self.count(pattern)
        subprocess.run(["xdotool", "windowfocus", "--sync", self.window], check=True, timeout=10)
        if typed:
            subprocess.run(["xdotool", "type", "--delay", "50", typed], check=True, timeout=10)
        subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True, timeout=10)
        self.wait(pattern, before + more)

    def last_engine_move(self):
        return [re.sub(r".*move ", "", l) for l in self.lines() if re.search(ENGINE_MOVE, l)][-1]

    def play(self, game, avoid=(), answered=True):
        """Types the first of PREFERRED that is legal in the game so far (a list of move texts) and adds it,
        and the engine's answer when answered."""
        pos = Pos()
        for m in game:
            pos = pos.play_turn(pos.parse(m, False))
        legal = {move_text(m) for m in pos.legal()}
        move = next(m for m in PREFERRED if m in legal and m not in avoid)
        moves = self.count(ENGINE_MOVE)
        self.keys(r">first *: %s$" % move, "Return", typed=move)
        game.append(move)
        if answered:
            self.wait(ENGINE_MOVE, moves + 1)
            game.append(self.last_engine_move())

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def judge(lines):
    """Problems found in xboard's debug log: the game replayed from what
    xboard sent, with its take-backs, checked against the engine."""
    problems, stack, board = [], [Pos()], None  # board: the engine's board lines after its move
    for line in lines:
        sent = re.match(r"\d+ >first *: (.*)$", line)
        got = re.match(r"\d+ <first *: (.*)$", line)
        if re.match(r"GameEnds\(\d+, (?!\(null\)|xboard exit)", line):
            problems.append("xboard ended a game: " + line)
        word, text = sent and sent.group(1).strip(), got and got.group(1)
        move = word if word and re.fullmatch(r"[a-h][1-8][a-h][1-8][qrbn]?", word) else \
            text[5:].strip() if text and text.startswith("move ") else None
        if word == "new":
            stack = [Pos()]
        elif word in ("undo", "remove"):
            n = 1 if word == "undo" else 2
            if len(stack) <= n:
                problems.append("xboard sent %s with nothing to take back" % word)
            else:
                del stack[-n:]
        elif move:
            turn = stack[-1].parse(move, False)
            if turn is None:
                problems.append("%s %s, not legal in the game" % ("xboard relayed" if sent else "the engine played",
                                                                  move))
            else:
                stack.append(stack[-1].play_turn(turn))
                board = [] if got else board
        elif text and board is not None and re.fullmatch(r"# [.pnbrqkPNBRQK]{8}", text):
            board.append(text[2:])
            if len(board) == 8:
                if board != stack[-1].rows():
                    problems.append("after its move the engine's board is not the game's: %s" % board)
                board = None
        elif text and text.startswith("Error") and not re.fullmatch(r"Error \(illegal move\): (%s)" % "|".join(UNKNOWN),
                                                                    text):
            problems.append("the engine sent " + text)
    return problems, stack


def against_engine(gui, game):
    """A game against the engine (it plays Black), retracted with Ctrl-X."""
    for retracts in (0, 1, 0, 0, 2, 0):
        for _ in range(retracts):
            gui.keys(r">first *: remove$", "ctrl+x")
            del game[-2:]
        gui.play(game)


def edit_game(gui, game):
    """Edit Game: moves typed for both sides, two steps back with
    Alt-Left, a different move, then the engine takes a side."""
    for _ in range(3):
        gui.play(game, answered=False)
    gui.keys(r">first *: undo$", "alt+Left", "alt+Left", more=2)
    taken = game[-2:]
    del game[-2:]
    gui.play(game, avoid=taken, answered=False)  # another move than the one taken back
    gui.keys(ENGINE_MOVE, "ctrl+w" if len(game) % 2 == 0 else "ctrl+b")
    game.append(gui.last_engine_move())
    for _ in range(2):
        gui.play(game)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    engine = os.path.abspath(sys.argv[1])
    if not os.environ.get("QUARN_XVFB"):
        for tool in (XBOARD, "xvfb-run", "xdotool"):
            if not shutil.which(tool) and not os.path.exists(tool):
                print("missing %s (apt-get install -y xboard xvfb xauth xdotool)" % tool)
                return 2
        return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable,
                               os.path.abspath(__file__), engine], env=dict(os.environ, QUARN_XVFB="1"),
                              timeout=300).returncode
    failed = 0
    with tempfile.TemporaryDirectory(prefix="quarn-xboard-") as directory:
        for name, scenario, mode in (("Ctrl-X against the engine", against_engine, None),
                                     ("Alt-Left in Edit Game", edit_game, "EditGame")):
            log = os.path.join(directory, scenario.__name__ + ".debug")
            try:
                gui = Gui(engine, log, mode)
                try:
                    scenario(gui, [])
                finally:
                    gui.close()
                problems, stack = judge(read(log))
            except (RuntimeError, subprocess.SubprocessError, IndexError) as error:
                problems = ["%s; the last lines of xboard's log:" % error] + ["| " + l for l in read(log)[-12:]]
                stack = [Pos()]
            takebacks = sum(1 for l in read(log) if re.search(r">first *: (undo|remove)$", l))
            print("xboard take-back, %s: %s (%d take-back commands, game of %d moves)" %
                  (name, "FAIL" if problems else "ok", takebacks, len(stack) - 1))
            for p in problems[:20]:
                print("  " + p)
            failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
