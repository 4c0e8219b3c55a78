#!/usr/bin/env python3
"""Take-backs in the real xboard GUI: xboard runs quarn under a virtual X
server and xdotool plays a person at the keyboard, typing moves (xboard's
type-in box), retracting with Ctrl-X in a game against the engine (xboard
sends "remove") and stepping back with Alt-Left in Edit Game mode (xboard
sends "undo" for each step) before a different move and Ctrl-W / Ctrl-B
hand the engine a side. xboard's debug log is then judged by the referee:
every move xboard relayed and every move the engine made must be legal in
the game as xboard sent it, with its take-backs, the engine's board after
each of its moves must be that game's, the engine sends no error line but
those for the one-word commands it does not know, and xboard ends no game.

Needs Debian's xboard, xvfb, xauth and xdotool.
usage: xboard_takeback.py QUARN_BINARY
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


class Gui:
    def __init__(self, engine, directory, name, mode):
        self.log = os.path.join(directory, name + ".debug")
        home = os.path.join(directory, "home")
        os.makedirs(home, exist_ok=True)
        args = [XBOARD, "-fcp", engine, "-fd", os.path.dirname(engine), "-tc", "5", "-mps", "40",
                "-searchDepth", "2", "-xponder", "-xpopup", "-xanimate", "-debug", "-nameOfDebugFile", self.log]
        if mode:
            args += ["-initialMode", mode]
        self.proc = subprocess.Popen(args, env=dict(os.environ, HOME=home), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--class", "xboard"],
                                     capture_output=True, text=True, timeout=30).stdout.split()[0]
        self.wait(r"<first *: pong 1$")

    def lines(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read().splitlines()
        except OSError:
            return []

    def wait(self, pattern, count=1, timeout=30):
        end = time.time() + timeout
        while time.time() < end:
            if sum(1 for line in self.lines() if re.search(pattern, line)) >= count:
                return
            time.sleep(0.1)
        raise RuntimeError("xboard's log never showed %d line(s) matching %s" % (count, pattern))

    def keys(self, *keys):
        subprocess.run(["xdotool", "windowfocus", "--sync", self.window], check=True, timeout=10)
        subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True, timeout=10)

    def count(self, pattern):
        return sum(1 for line in self.lines() if re.search(pattern, line))

    def engine_moves(self):
        return self.count(r"<first *: move ")

    def sent(self, word):
        return self.count(r">first *: %s$" % word)

    def last_engine_move(self):
        return [re.sub(r".*move ", "", l) for l in self.lines() if re.search(r"<first *: move ", l)][-1]

    def play(self, game, avoid=()):
        """Types the first of PREFERRED that is legal in the game so far (a list of move texts) and adds it."""
        pos = Pos()
        for m in game:
            pos = pos.play(pos_move(pos, m))
        legal = {move_text(m) for m in pos.legal()}
        move = next(m for m in PREFERRED if m in legal and m not in avoid)
        before = self.sent(move)
        subprocess.run(["xdotool", "windowfocus", "--sync", self.window], check=True, timeout=10)
        subprocess.run(["xdotool", "type", "--delay", "50", move], check=True, timeout=10)
        self.keys("Return")
        self.wait(r">first *: %s$" % move, before + 1)
        game.append(move)
        return move

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def pos_move(pos, text):
    return next((m for m in pos.legal() if move_text(m) == text), None)


def judge(lines):
    """Problems found in xboard's debug log: the game replayed from what
    xboard sent, with its take-backs, checked against the engine."""
    problems, stack, board, pending_board = [], [Pos()], [], False
    for line in lines:
        sent = re.match(r"\d+ >first *: (.*)$", line)
        got = re.match(r"\d+ <first *: (.*)$", line)
        if re.match(r"GameEnds\(\d+, (?!\(null\)|xboard exit)", line):
            problems.append("xboard ended a game: " + line)
        if sent:
            word = sent.group(1).strip()
            if word == "new":
                stack = [Pos()]
            elif word in ("undo", "remove"):
                n = 1 if word == "undo" else 2
                if len(stack) <= n:
                    problems.append("xboard sent %s with nothing to take back" % word)
                else:
                    del stack[-n:]
            elif re.fullmatch(r"[a-h][1-8][a-h][1-8][qrbn]?", word):
                m = pos_move(stack[-1], word)
                if m is None:
                    problems.append("xboard relayed %s, not legal in the game" % word)
                else:
                    stack.append(stack[-1].play(m))
        elif got:
            text = got.group(1)
            if text.startswith("move "):
                m = pos_move(stack[-1], text[5:].strip())
                if m is None:
                    problems.append("the engine played %s, not legal in the game" % text)
                else:
                    stack.append(stack[-1].play(m))
                    pending_board, board = True, []
            elif pending_board and re.fullmatch(r"# [.pnbrqkPNBRQK]{8}", text):
                board.append(text[2:])
                if len(board) == 8:
                    pending_board = False
                    if board != stack[-1].rows():
                        problems.append("after its move the engine's board is not the game's: %s" % board)
            elif text.startswith("Error") and not re.fullmatch(r"Error \(illegal move\): (%s)" % "|".join(UNKNOWN),
                                                               text):
                problems.append("the engine sent " + text)
    return problems, stack


def scenario_against_engine(engine, directory):
    """A game against the engine (it plays Black), retracted with Ctrl-X."""
    gui, game = Gui(engine, directory, "against-engine", None), []
    try:
        for retracts in (0, 1, 0, 0, 2, 0):
            for _ in range(retracts):
                removes = gui.sent("remove")
                gui.keys("ctrl+x")
                gui.wait(r">first *: remove$", removes + 1)
                del game[-2:]
            moves = gui.engine_moves()
            gui.play(game)
            gui.wait(r"<first *: move ", moves + 1)
            game.append(gui.last_engine_move())
        return gui.lines(), 3
    finally:
        gui.close()


def scenario_edit_game(engine, directory):
    """Edit Game: moves typed for both sides, two steps back with
    Alt-Left, a different move, then the engine takes a side."""
    gui, game = Gui(engine, directory, "edit-game", "EditGame"), []
    try:
        for _ in range(3):
            gui.play(game)
        undos = gui.sent("undo")
        gui.keys("alt+Left", "alt+Left")
        gui.wait(r">first *: undo$", undos + 2)
        taken = game[-2:]
        del game[-2:]
        gui.play(game, avoid=taken)  # another move than the one taken back
        moves = gui.engine_moves()
        gui.keys("ctrl+w" if len(game) % 2 == 0 else "ctrl+b")
        gui.wait(r"<first *: move ", moves + 1)
        for _ in range(2):
            game.append(gui.last_engine_move())
            moves = gui.engine_moves()
            gui.play(game)
            gui.wait(r"<first *: move ", moves + 1)
        return gui.lines(), 2
    finally:
        gui.close()


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
        for name, scenario in (("Ctrl-X against the engine", scenario_against_engine),
                               ("Alt-Left in Edit Game", scenario_edit_game)):
            try:
                lines, takebacks = scenario(engine, directory)
            except (RuntimeError, subprocess.SubprocessError, IndexError) as error:
                print("xboard take-back, %s: FAIL (%s); the last lines of xboard's log:" % (name, error))
                with open(os.path.join(directory, scenario.__name__[9:].replace("_", "-") + ".debug"),
                          errors="replace") as f:
                    print("\n".join("  | " + l for l in f.read().splitlines()[-12:]))
                failed += 1
                continue
            problems, stack = judge(lines)
            removes = sum(1 for l in lines if re.search(r">first *: (undo|remove)$", l))
            if removes < takebacks:
                problems.append("xboard sent %d take-backs, expected %d" % (removes, takebacks))
            status = "FAIL" if problems else "ok"
            print("xboard take-back, %s: %s (%d take-back commands, game of %d moves)" %
                  (name, status, removes, len(stack) - 1))
            for p in problems[:10]:
                print("  " + p)
            failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
