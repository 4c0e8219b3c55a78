#!/usr/bin/env python3
"""Self-play: two quarn processes play whole games over the xboard protocol,
each keeping its colour and answering the moves typed to it, as a GUI relays
them. The referee in tests/referee.py judges every move (legality, mate,
stalemate) and every board print-out, and after each move the mover's
"perft 1" must count the opponent's replies as the referee does. Any illegal
or malformed move, wrong board or count, "Error" line, missing or extra move,
exit or silence past --timeout fails the run (exit status 1). Later games
start with a few random plies (turns) typed to both engines in force mode.

  python3 tools/selfplay.py --engine build/quarn --variant normal --games 2 --level "40 0:02 0" --max-plies 160
"""
import argparse
import os
import queue
import random
import re
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from referee import Pos, turn_text  # noqa: E402


class Failure(Exception):
    pass


class Engine:
    def __init__(self, path, name, timeout):
        self.name, self.timeout, self.pings = name, timeout, 0
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=lambda: [self.lines.put(l.rstrip("\n")) for l in self.proc.stdout] + [self.lines.put(None)],
                         daemon=True).start()

    def ask(self, *commands):
        """Sends the commands and a ping; returns the lines printed before the pong."""
        self.pings += 1
        self.proc.stdin.write("".join(c + "\n" for c in commands) + "ping %d\n" % self.pings)
        self.proc.stdin.flush()
        out, deadline = [], time.monotonic() + self.timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise Failure("%s silent for %d s after %s" % (self.name, self.timeout, commands))
            if line is None:
                raise Failure("%s exited (status %s) after %s" % (self.name, self.proc.wait(), commands))
            if line == "pong %d" % self.pings:
                return out
            if line.startswith("Error"):
                raise Failure("%s: %r after %s" % (self.name, line, commands))
            out.append(line.replace("# Your move: ", ""))

    def quit(self):
        try:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.close()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()


def boards_and_move(engine, lines):
    """The board print-outs and the move text (or None) in an engine's reply."""
    boards, moves = [], []
    for line in lines:
        if re.fullmatch(r"# [.pnbrqkPNBRQK]{8}", line):
            boards.append(line[2:])
        elif line.startswith("move "):
            moves.append(line[5:])
        elif not re.fullmatch(r"-?\d+ -?\d+ \d+ \d+( \S+)*|# nodes=\d+, time=\d+, nps=\d+|", line):
            raise Failure("%s: unexpected line %r" % (engine.name, line))
    if any(m.endswith(",") for m in moves[-1:]) or any(not m.endswith(",") for m in moves[:-1]):
        raise Failure("%s: malformed move lines %s" % (engine.name, moves))
    return [boards[i:i + 8] for i in range(0, len(boards), 8)], "".join(moves) or None


def play_game(args, number, rng):
    marseillais = args.variant == "marseillais"
    engines = [Engine(args.engine, name, args.timeout) for name in ("white", "black")]
    pos, plies, needs_go = Pos(), 0, [number > 1] * 2
    try:
        for e in engines:  # later games: an opening of random plies, typed to both engines in force mode
            e.ask("xboard", "protover 2", "variant " + args.variant, "new", "level " + args.level,
                  *(["rand"] if args.random else []), *(["force"] if number > 1 else []))
        if number > 1:
            for _ in range(rng.randint(1, 4)):
                turn = rng.choice(pos.turns() if marseillais else [(m,) for m in pos.legal()])
                for e in engines:
                    e.ask(turn_text(turn))
                pos, plies = pos.play_turn(turn), plies + 1
        mover, expected = engines[0 if pos.white else 1], []
        needs_go[0 if pos.white else 1] = False
        reply = mover.ask("go")
        while True:
            boards, text = boards_and_move(mover, reply)
            turn = text and pos.parse(text, marseillais)
            if not turn:
                raise Failure("%s played %r at ply %d, not a legal move" % (mover.name, text, plies))
            pos, plies = pos.play_turn(turn), plies + 1
            if boards != expected + [pos.rows()]:
                raise Failure("%s printed %s around %s, the referee has %s" % (mover.name, boards, text, pos.rows()))
            options = pos.turns() if marseillais else [(m,) for m in pos.legal()]
            count = re.search(r"perft\(1\) = (\d+),", " ".join(mover.ask("perft 1")))
            if not count or int(count[1]) != len(options):
                raise Failure("%s counts %s legal replies after %s, the referee %d" % (mover.name, count and count[1],
                                                                                  text, len(options)))
            if not options or plies >= args.max_plies:
                break
            side, expected = 0 if pos.white else 1, [pos.rows()]
            mover = engines[side]
            reply = mover.ask(text, *(["go"] if needs_go[side] else []))
            needs_go[side] = False
        if not options:  # the loser sees the last move and does not answer
            boards, answer = boards_and_move(engines[0 if pos.white else 1], engines[0 if pos.white else 1].ask(text))
            if answer or boards != [pos.rows()]:
                raise Failure("the mated or stalemated side answered %r (boards %s)" % (answer, boards))
        print("game %d: %d plies, %s" % (number, plies, "mate" if options == [] and pos.in_check() else
                                         "stalemate" if options == [] else "move limit"))
    finally:
        for e in engines:
            e.quit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--engine", required=True)
    parser.add_argument("--variant", choices=("normal", "marseillais"), default="normal")
    parser.add_argument("--games", type=int, default=2)
    parser.add_argument("--level", default="40 0:02 0")
    parser.add_argument("--random", action="store_true", help="both engines play random moves ('rand')")
    parser.add_argument("--max-plies", type=int, default=200)
    parser.add_argument("--timeout", type=float, default=30)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    try:
        for number in range(1, args.games + 1):
            play_game(args, number, rng)
    except Failure as failure:
        print("FAIL %s: %s" % (args.variant, failure))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
