#!/usr/bin/env python3
"""A long game in each variant, typed in force mode: moves (turns) picked by a
seeded loop among the legal ones, well past the engine's 1,024 ply frames,
then a perft count and a timed search. Every board print-out, the count, the
thinking lines, the move played and the time it took are checked against
tests/referee.py and the clock rules.

usage: long_games.py QUARN_BINARY [PLIES]
The default of 1238 leaves White 21 moves in its 16th time control: a game
ply count taken twice would give it 2 moves in its 31st and 20 times the time.
"""
import random
import re
import subprocess
import sys

from referee import Pos, turn_text


def can_move(pos, marseillais):
    for m in pos.legal():
        mid = pos.play(m, keep_side=True)
        if not marseillais or mid.in_check(not pos.white) or mid.legal(en_passant=False):
            return True
    return False


def quiet_first(pos, moves, rng):
    """Shuffled, captures behind the other moves but one time in 25, so that
    the game keeps pieces to the end."""
    plain = rng.random() < 0.04
    return sorted(moves, key=lambda m: rng.random() + (not plain and m[1] in pos.board))


def random_turn(pos, rng, marseillais):
    """A legal move or turn after which the opponent can still move."""
    for m1 in quiet_first(pos, pos.legal(), rng):
        turn, mid = (m1,), pos.play(m1, keep_side=True)
        if marseillais and not pos.is_initial() and not mid.in_check(not pos.white):
            seconds = mid.legal(en_passant=False)
            if not seconds:
                continue
            turn = (m1, quiet_first(mid, seconds, rng)[0])
        if can_move(pos.play_turn(turn), marseillais):
            return turn
    raise AssertionError("no move keeps the game going")


def budget(ply, white, used, per_control=40, base=100):  # level 40 0:01 0
    moves = (ply + 1) // 2 if white else ply // 2
    available = (moves // per_control + 1) * base - used
    return 0 if available <= 0 else int((available - 10) * 0.9 / (per_control - moves % per_control))


def check_game(binary, marseillais, plies, seed):
    rng, pos, typed, boards = random.Random(seed), Pos(), [], [Pos().rows()]
    for _ in range(plies):
        turn = random_turn(pos, rng, marseillais)
        typed.append(turn_text(turn))
        pos = pos.play_turn(turn)
        boards.append(pos.rows())
    depth = 1 if marseillais else 2
    commands = ["xboard", "variant " + ("marseillais" if marseillais else "normal"), "new", "force",
                "level 40 0:01 0"] + typed + ["perft %d" % depth, "go", "ping 1"]
    proc = subprocess.run([binary], input="\n".join(commands) + "\n", capture_output=True, text=True, timeout=120)
    out, problems = proc.stdout.split("\n") + [""] * 20, []

    def expect(ok, what):
        if not ok:
            problems.append(what)
        return ok

    expect(proc.returncode == 0 and out[:2] == ["feature done=0", "# Your move: "], "start-up or exit status")
    for i, rows in enumerate(boards):
        if not expect(out[2 + 8 * i:10 + 8 * i] == ["# " + r for r in rows], "board after %d moves" % i):
            return report(marseillais, plies, problems)
    at = 2 + 8 * len(boards)
    options = pos.turns() if marseillais else [(m,) for m in pos.legal()]
    count = len(options) if marseillais else sum(len(pos.play(m[0]).legal()) for m in options)
    m = re.fullmatch(r"# perft\(%d\) = (\d+), nodesPerft=(\d+), time=(\d+)\.(\d\d), lps=\d+, nps=\d+" % depth, out[at])
    expect(m and (int(m[1]), int(m[2])) == (count, 1 if marseillais else 1 + len(options)), "perft %r" % out[at])
    perft_cs = int(m[3]) * 100 + int(m[4]) if m else 0
    lines, at = [], at + 1
    while re.fullmatch(r"\d+ -?\d+ \d+ \d+( \S+)+", out[at]):
        lines.append(out[at].split())
        at += 1
    expect(lines and [int(l[0]) for l in lines] == sorted(int(l[0]) for l in lines), "thinking lines %s" % lines[:3])
    for line in lines:
        p = pos
        for word in line[4:]:
            turn = p.parse(word, marseillais)
            if not expect(turn, "illegal %s in thinking line %s" % (word, " ".join(line))):
                break
            p = p.play_turn(turn)
    m = re.fullmatch(r"# nodes=(\d+), time=(\d+), nps=\d+", out[at])
    low, high = budget(plies, pos.white, perft_cs + 1), budget(plies, pos.white, max(perft_cs - 1, 0))
    expect(m and low <= int(m[2]) <= 2 * high + 100, "nodes line %r, budget %d..%d" % (out[at], low, high))
    text, move_lines, at = "", 0, at + 1
    while out[at].startswith("move ") and (not text or text.endswith(",")):
        text, at, move_lines = text + out[at][5:], at + 1, move_lines + 1
    played = pos.parse(text, marseillais)
    if expect(played and len(played) == move_lines, "move %r in %d lines" % (text, move_lines)):
        expect(lines and lines[-1][4] == turn_text(played), "the move is not the last line's first")
        expect(out[at:at + 8] == ["# " + r for r in pos.play_turn(played).rows()], "board after the move")
    expect(out[at + 8:at + 10] == ["pong 1", ""] and not any(out[at + 10:]), "end %r" % out[at + 8:at + 12])
    return report(marseillais, plies, problems)


def report(marseillais, plies, problems):
    name = "marseillais" if marseillais else "normal"
    for p in problems:
        print("FAIL %s: %s" % (name, p))
    print("%s: %d moves, perft and a search: %s" % (name, plies, "failed" if problems else "ok"))
    return not problems


if __name__ == "__main__":
    plies = int(sys.argv[2]) if len(sys.argv) > 2 else 1238
    results = [check_game(sys.argv[1], marseillais, plies, seed) for marseillais, seed in ((False, 1), (True, 2))]
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    sys.exit(0 if all(results) else 1)
