#!/usr/bin/env python3
"""Self-play driver for quarn: two engine processes play whole games over the
xboard protocol, relayed the way a GUI relays them.

Every move is checked by an independent referee written here (a small move
generator for normal chess and for Marseillais turns): the script decides
legality, mate, stalemate and the move limit itself, and cross-checks the
engines' board print-outs and their "perft 1" counts against it.

The run fails (exit status 1, with the path of a full protocol log) on:
  * any line starting with "Error" from an engine,
  * an engine that exits or crashes, or stays silent past --timeout,
  * an illegal move, or a move line that is malformed,
  * a board print-out or a "perft 1" count that disagrees with the referee,
  * an engine that does not move when it is to move and has a legal move,
    or that moves after the game has ended,
  * a game that ends otherwise than by mate, stalemate or the move limit.
Time forfeits (an engine overstepping the level, measured by wall clock as
a GUI does) are reported; --fail-on-flag makes them fatal too.

Relay modes (--relay):
  gui    (default) each engine keeps its colour: White's engine gets "go",
         Black's engine gets White's move as a typed word and answers; from
         then on each move is relayed as one word ("e7e5,d7d5" for a
         Marseillais pair), followed by "ping N" to synchronise; the engine
         that just moved is then asked "perft 1" (its opponent's legal count).
  force  both engines stay in force mode; the side to move gets "go" and then
         "force"; the other engine gets the move word and "perft 1".

The first game starts from the initial position ("new", then "go" for White).
Later games start with 1..--opening-plies random legal plies (turns in
Marseillais) played to both engines in force mode, chosen with --seed, so
that games between two identical engines differ.

Example:
  python3 tools/selfplay.py --engine build/quarn --variant normal --games 2 \\
      --level "40 0:02 0" --max-plies 160
"""

import argparse
import os
import queue
import random
import re
import subprocess
import sys
import tempfile
import threading
import time

# ---------------------------------------------------------------------------
# Referee: an independent move generator (squares 0..63, a1 = 0, h8 = 63).
# ---------------------------------------------------------------------------

START_BOARD = list(
    "RNBQKBNR" + "PPPPPPPP" + "." * 32 + "pppppppp" + "rnbqkbnr")
FILES = "abcdefgh"


def sq_name(s):
    return FILES[s & 7] + str((s >> 3) + 1)


def _rays():
    dirs = [(1, 0), (-1, 0), (0, 1), (0, -1), (1, 1), (1, -1), (-1, 1), (-1, -1)]
    rays = []
    for s in range(64):
        f, r = s & 7, s >> 3
        per = []
        for df, dr in dirs:
            line = []
            x, y = f + df, r + dr
            while 0 <= x < 8 and 0 <= y < 8:
                line.append(y * 8 + x)
                x += df
                y += dr
            per.append(line)
        rays.append(per)
    return rays


def _steps(offsets):
    table = []
    for s in range(64):
        f, r = s & 7, s >> 3
        table.append([(r + dr) * 8 + f + df for df, dr in offsets
                      if 0 <= f + df < 8 and 0 <= r + dr < 8])
    return table


RAYS = _rays()  # directions 0-3 orthogonal, 4-7 diagonal
KNIGHT = _steps([(1, 2), (2, 1), (-1, 2), (-2, 1), (1, -2), (2, -1), (-1, -2), (-2, -1)])
KING = _steps([(1, 0), (-1, 0), (0, 1), (0, -1), (1, 1), (1, -1), (-1, 1), (-1, -1)])
# PAWN_ATT[white][s]: squares a pawn of that colour on s attacks.
PAWN_ATT = {True: _steps([(1, 1), (-1, 1)]), False: _steps([(1, -1), (-1, -1)])}


def is_white_piece(p):
    return p.isupper()


def attacked(board, s, by_white):
    """True when square s is attacked by a piece of colour by_white."""
    pawn, knight, king = ("P", "N", "K") if by_white else ("p", "n", "k")
    rook_queen = ("R", "Q") if by_white else ("r", "q")
    bishop_queen = ("B", "Q") if by_white else ("b", "q")
    for t in PAWN_ATT[not by_white][s]:
        if board[t] == pawn:
            return True
    for t in KNIGHT[s]:
        if board[t] == knight:
            return True
    for t in KING[s]:
        if board[t] == king:
            return True
    rays = RAYS[s]
    for d in range(8):
        wanted = rook_queen if d < 4 else bishop_queen
        for t in rays[d]:
            p = board[t]
            if p != ".":
                if p in wanted:
                    return True
                break
    return False


class Pos:
    __slots__ = ("board", "white", "castle", "ep")

    def __init__(self, board=None, white=True, castle="KQkq", ep=None):
        self.board = list(board) if board is not None else list(START_BOARD)
        self.white = white
        self.castle = castle
        self.ep = ep

    def copy(self):
        return Pos(self.board, self.white, self.castle, self.ep)

    def is_initial(self):
        return (self.board == START_BOARD and self.white
                and self.castle == "KQkq" and self.ep is None)

    def king_square(self, white):
        return self.board.index("K" if white else "k")

    def in_check(self, white=None):
        if white is None:
            white = self.white
        return attacked(self.board, self.king_square(white), not white)

    def board_lines(self):
        return ["# " + "".join(self.board[r * 8:r * 8 + 8]) for r in range(7, -1, -1)]


def pseudo_moves(pos, with_castling=True, with_ep=True):
    """Pseudo-legal moves (from, to, promo) of pos.white."""
    b = pos.board
    white = pos.white
    own = str.isupper if white else str.islower
    moves = []
    fwd = 8 if white else -8
    start_rank = 1 if white else 6
    last_rank = 7 if white else 0
    for s in range(64):
        p = b[s]
        if p == "." or not own(p):
            continue
        u = p.upper()
        if u == "P":
            t = s + fwd
            if 0 <= t < 64 and b[t] == ".":
                if t >> 3 == last_rank:
                    moves.extend((s, t, q) for q in "qrbn")
                else:
                    moves.append((s, t, ""))
                    t2 = t + fwd
                    if s >> 3 == start_rank and b[t2] == ".":
                        moves.append((s, t2, ""))
            for t in PAWN_ATT[white][s]:
                q = b[t]
                if q != "." and not own(q):
                    if t >> 3 == last_rank:
                        moves.extend((s, t, x) for x in "qrbn")
                    else:
                        moves.append((s, t, ""))
                elif with_ep and q == "." and t == pos.ep:
                    moves.append((s, t, ""))
        elif u == "N" or u == "K":
            for t in (KNIGHT if u == "N" else KING)[s]:
                q = b[t]
                if q == "." or not own(q):
                    moves.append((s, t, ""))
        else:
            dirs = range(0, 4) if u == "R" else range(4, 8) if u == "B" else range(8)
            for d in dirs:
                for t in RAYS[s][d]:
                    q = b[t]
                    if q == ".":
                        moves.append((s, t, ""))
                    else:
                        if not own(q):
                            moves.append((s, t, ""))
                        break
    if with_castling:
        if white:
            king, rights, rank, enemy = "K", "KQ", 0, False
        else:
            king, rights, rank, enemy = "k", "kq", 56, True
        e = rank + 4
        if b[e] == king and not attacked(b, e, enemy):
            rook = "R" if white else "r"
            if (rights[0] in pos.castle and b[rank + 7] == rook
                    and b[rank + 5] == "." and b[rank + 6] == "."
                    and not attacked(b, rank + 5, enemy)):
                moves.append((e, rank + 6, ""))
            if (rights[1] in pos.castle and b[rank] == rook
                    and b[rank + 3] == "." and b[rank + 2] == "." and b[rank + 1] == "."
                    and not attacked(b, rank + 3, enemy)):
                moves.append((e, rank + 2, ""))
    return moves


_RIGHTS_LOST = {0: "Q", 4: "KQ", 7: "K", 56: "q", 60: "kq", 63: "k"}


def make(pos, m, keep_side=False):
    """Return the position after move m (side flips unless keep_side)."""
    s, t, promo = m
    n = pos.copy()
    b = n.board
    p = b[s]
    u = p.upper()
    white = is_white_piece(p)
    new_ep = None
    if u == "P":
        if t == pos.ep and b[t] == "." and (s & 7) != (t & 7):
            b[t - 8 if white else t + 8] = "."
        if abs(t - s) == 16:
            new_ep = (s + t) // 2
        if promo:
            p = promo.upper() if white else promo
    elif u == "K" and abs(t - s) == 2:
        if t > s:
            b[s + 1], b[s + 3] = b[s + 3], "."
        else:
            b[s - 1], b[s - 4] = b[s - 4], "."
    b[t] = p
    b[s] = "."
    lost = _RIGHTS_LOST.get(s, "") + _RIGHTS_LOST.get(t, "")
    if lost:
        n.castle = "".join(c for c in n.castle if c not in lost)
    n.ep = new_ep
    if not keep_side:
        n.white = not pos.white
    return n


def legal_moves(pos):
    out = []
    for m in pseudo_moves(pos):
        n = make(pos, m)
        if not attacked(n.board, n.king_square(pos.white), not pos.white):
            out.append(m)
    return out


def _safe(n, white):
    return not attacked(n.board, n.king_square(white), not white)


def _gives_check(n, white):
    return attacked(n.board, n.king_square(not white), white)


def legal_turns(pos, stop_at_first=False):
    """Marseillais turns: lists of one or two moves; the last one flips sides."""
    white = pos.white
    turns = []
    if pos.is_initial():
        for m in legal_moves(pos):
            turns.append([m])
            if stop_at_first:
                return turns
        return turns
    for m1 in pseudo_moves(pos):
        n1 = make(pos, m1, keep_side=True)
        if not _safe(n1, white):
            continue
        if _gives_check(n1, white):
            turns.append([m1])
            if stop_at_first:
                return turns
            continue
        for m2 in pseudo_moves(n1, with_castling=True, with_ep=False):
            n2 = make(n1, m2, keep_side=True)
            if _safe(n2, white):
                turns.append([m1, m2])
                if stop_at_first:
                    return turns
    return turns


def move_text(m):
    return sq_name(m[0]) + sq_name(m[1]) + m[2]


def turn_text(turn):
    return ",".join(move_text(m) for m in turn)


_MOVE_RE = re.compile(r"^([a-h])([1-8])([a-h])([1-8])([qrbn]?)$")


def parse_move(text):
    mt = _MOVE_RE.match(text)
    if not mt:
        return None
    f1, r1, f2, r2, promo = mt.groups()
    return ((int(r1) - 1) * 8 + FILES.index(f1),
            (int(r2) - 1) * 8 + FILES.index(f2), promo)


class Referee:
    def __init__(self, marseillais):
        self.marseillais = marseillais
        self.pos = Pos()
        self.plies = 0

    def check_turn(self, text, pos=None):
        """Validate a move or turn text; return (new position, error or None)."""
        pos = pos or self.pos
        parts = text.split(",")
        if not self.marseillais and len(parts) != 1:
            return None, "a comma in a normal-chess move"
        if len(parts) > 2:
            return None, "more than two moves in a turn"
        moves = [parse_move(p) for p in parts]
        if any(m is None for m in moves):
            return None, "malformed move text"
        white = pos.white
        if not self.marseillais:
            m = moves[0]
            if m not in pseudo_moves(pos):
                return None, "not a pseudo-legal move"
            n = make(pos, m)
            if not _safe(n, white):
                return None, "leaves its own king attacked"
            return n, None
        m1 = moves[0]
        if m1 not in pseudo_moves(pos):
            return None, "first move not pseudo-legal"
        n1 = make(pos, m1, keep_side=True)
        if not _safe(n1, white):
            return None, "first move leaves its own king attacked"
        single = pos.is_initial() or _gives_check(n1, white)
        if len(moves) == 1:
            if not single:
                return None, "a one-move turn that neither gives check nor is the first turn"
            n1.white = not white
            return n1, None
        if single:
            return None, "a second move after a checking first move or on the first turn"
        m2 = moves[1]
        if m2 not in pseudo_moves(n1, with_castling=True, with_ep=False):
            return None, "second move not pseudo-legal"
        n2 = make(n1, m2, keep_side=True)
        if not _safe(n2, white):
            return None, "second move leaves its own king attacked"
        n2.white = not white
        return n2, None

    def play(self, text):
        n, err = self.check_turn(text)
        if err:
            return err
        self.pos = n
        self.plies += 1
        return None

    def count(self):
        if self.marseillais:
            return len(legal_turns(self.pos))
        return len(legal_moves(self.pos))

    def has_move(self):
        if self.marseillais:
            return bool(legal_turns(self.pos, stop_at_first=True))
        return bool(legal_moves(self.pos))

    def random_turn(self, rng):
        if self.marseillais:
            return turn_text(rng.choice(legal_turns(self.pos)))
        return move_text(rng.choice(legal_moves(self.pos)))


# ---------------------------------------------------------------------------
# Engine processes.
# ---------------------------------------------------------------------------

class Failure(Exception):
    pass


BOARD_RE = re.compile(r"^# [.pnbrqkPNBRQK]{8}$")
THINK_RE = re.compile(r"^(-?\d+) (-?\d+) (-?\d+) (-?\d+)((?: \S+)*)$")
NODES_RE = re.compile(r"^# nodes=\d+, time=-?\d+, nps=-?\d+$")
PERFT_RE = re.compile(r"^# perft\((\d+)\) = (\d+), nodesPerft=\d+, time=")


class Log:
    def __init__(self, path):
        self.path = path
        self.f = open(path, "w", encoding="utf-8")
        self.t0 = time.monotonic()
        self.lock = threading.Lock()

    def write(self, text):
        with self.lock:
            self.f.write("%9.3f %s\n" % (time.monotonic() - self.t0, text))
            self.f.flush()

    def tail(self, n):
        with self.lock:
            self.f.flush()
        with open(self.path, encoding="utf-8", errors="replace") as f:
            return f.readlines()[-n:]


class Engine:
    def __init__(self, path, name, log, timeout):
        self.name = name
        self.log = log
        self.timeout = timeout
        self.ping_no = 0
        self.warnings = []
        self.random = False
        self.move_stamp = None
        try:
            self.proc = subprocess.Popen(
                [path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                stderr=subprocess.PIPE, universal_newlines=True, bufsize=1)
        except OSError as e:
            raise Failure("cannot start %s: %s" % (path, e))
        self.q = queue.Queue()
        threading.Thread(target=self._read_out, daemon=True).start()
        threading.Thread(target=self._read_err, daemon=True).start()

    def _read_out(self):
        for line in self.proc.stdout:
            self.q.put(line.rstrip("\n"))
        self.q.put(None)

    def _read_err(self):
        for line in self.proc.stderr:
            self.log.write("%s stderr: %s" % (self.name, line.rstrip("\n")))
            self.warnings.append("%s wrote to stderr: %s" % (self.name, line.rstrip("\n")))

    def send(self, *lines):
        for line in lines:
            self.log.write("%s < %s" % (self.name, line))
        try:
            self.proc.stdin.write("".join(line + "\n" for line in lines))
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError):
            raise Failure("%s: write failed, engine gone (exit status %s)"
                          % (self.name, self.proc.poll()))

    def read_line(self, deadline):
        left = deadline - time.monotonic()
        try:
            line = self.q.get(timeout=max(left, 0.001))
        except queue.Empty:
            raise Failure("%s: no answer within %.0f s (hang)" % (self.name, self.timeout))
        if line is None:
            try:
                rc = self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                rc = "unknown"
            raise Failure("%s: engine exited unexpectedly (exit status %s)" % (self.name, rc))
        self.log.write("%s > %s" % (self.name, line))
        if line.startswith("move "):
            self.move_stamp = time.monotonic()
        if line.startswith("Error"):
            raise Failure("%s: error line: %s" % (self.name, line))
        return line

    def sync(self, *lines):
        """Send lines plus a ping; return (output lines before the pong,
        seconds from sending to the last move line, or to the pong)."""
        self.ping_no += 1
        tag = str(self.ping_no)
        t0 = time.monotonic()
        self.move_stamp = None
        self.send(*(list(lines) + ["ping " + tag]))
        deadline = t0 + self.timeout
        out = []
        while True:
            line = self.read_line(deadline)
            if line == "pong " + tag:
                return out, (self.move_stamp or time.monotonic()) - t0
            if line.startswith("pong "):
                raise Failure("%s: unexpected %r while waiting for pong %s" % (self.name, line, tag))
            out.append(line)

    def handshake(self):
        deadline = time.monotonic() + self.timeout
        self.send("xboard", "protover 2")
        features = []
        while True:
            line = self.read_line(deadline)
            if line.startswith("feature "):
                features.append(line)
                if line == "feature done=1":
                    break
        if "feature ping=1" not in features:
            raise Failure("%s: does not announce ping=1" % self.name)
        if not any(f.startswith("feature variants=") and "marseillais" in f for f in features):
            raise Failure("%s: does not announce the marseillais variant" % self.name)

    def quit(self):
        try:
            self.send("quit")
        except Failure:
            pass
        try:
            rc = self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise Failure("%s: did not exit after quit" % self.name)
        if rc != 0:
            raise Failure("%s: exit status %d after quit" % (self.name, rc))

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


# ---------------------------------------------------------------------------
# Games.
# ---------------------------------------------------------------------------

def parse_level(text):
    parts = text.split()
    if len(parts) != 3:
        raise SystemExit("--level needs three fields, e.g. \"40 0:05 0\"")
    mps = int(parts[0])
    if ":" in parts[1]:
        mins, secs = parts[1].split(":", 1)
        base = int(mins) * 60 + int(secs)
    else:
        base = int(parts[1]) * 60
    return mps, float(base), float(int(float(parts[2])))


class Clock:
    """The wall clock a GUI would keep for one side."""

    def __init__(self, level):
        self.mps, self.base, self.inc = level
        self.left = self.base
        self.moves = 0
        self.used = 0.0
        self.longest = 0.0

    def charge(self, seconds):
        self.used += seconds
        self.longest = max(self.longest, seconds)
        self.left -= seconds
        flagged = self.left < 0
        self.moves += 1
        if self.mps > 0 and self.moves % self.mps == 0:
            self.left += self.base
        self.left += self.inc
        return flagged


class Game:
    def __init__(self, args, number, white, black, log, rng):
        self.args = args
        self.number = number
        self.white, self.black = white, black
        self.log = log
        self.rng = rng
        self.marseillais = args.variant == "marseillais"
        self.ref = Referee(self.marseillais)
        self.level = parse_level(args.level)
        self.clocks = {True: Clock(self.level), False: Clock(self.level)}
        self.warnings = []
        self.moves = []
        self.searching = {e: not e.random for e in (white, black)}

    def engine_of(self, white):
        return self.white if white else self.black

    def warn(self, text):
        self.log.write("WARNING: " + text)
        self.warnings.append(text)

    # -- checks on the engines' output ------------------------------------

    def check_boards(self, engine, lines, expected, what):
        boards = []
        cur = []
        for line in lines:
            if BOARD_RE.match(line):
                cur.append(line)
                if len(cur) == 8:
                    boards.append(cur)
                    cur = []
            elif cur:
                raise Failure("%s: board print-out interrupted by %r" % (engine.name, line))
        if cur:
            raise Failure("%s: incomplete board print-out" % engine.name)
        if len(boards) != len(expected):
            raise Failure("%s: %d board print-outs %s, expected %d"
                          % (engine.name, len(boards), what, len(expected)))
        for got, pos in zip(boards, expected):
            want = pos.board_lines()
            if got != want:
                raise Failure("%s: board %s differs from the referee's:\n  engine:  %s\n  referee: %s"
                              % (engine.name, what, " / ".join(g[2:] for g in got),
                                 " / ".join(w[2:] for w in want)))

    def check_other_lines(self, engine, lines):
        """Classify the lines that are neither boards nor move lines."""
        for line in lines:
            if (line == "" or BOARD_RE.match(line) or NODES_RE.match(line)
                    or PERFT_RE.match(line) or line.startswith("move ")):
                continue
            if THINK_RE.match(line):
                continue
            self.warn("%s: unexpected line %r" % (engine.name, line))

    def check_thinking(self, engine, lines, pos):
        for line in lines:
            mt = THINK_RE.match(line)
            if not mt:
                continue
            depth = int(mt.group(1))
            pv = mt.group(5).split()
            if depth < 1 or depth > 64:
                self.warn("%s: thinking line with depth %d: %r" % (engine.name, depth, line))
            if not pv and int(mt.group(2)) != -32000:
                # An empty line with -32000 is the closing line of an
                # iteration stopped before its first root move completed.
                self.warn("%s: thinking line without a move: %r" % (engine.name, line))
            # In normal chess the moves past the nominal depth may come from
            # quiescence, which does not test for check; only the full-width
            # part is required to be legal. The Marseillais search tests
            # every turn.
            if not self.marseillais:
                pv = pv[:depth]
            p = pos
            for i, text in enumerate(pv):
                n, err = self.ref.check_turn(text, p)
                if err:
                    self.warn("%s: thinking line %r: PV entry %d %r is illegal (%s)"
                              % (engine.name, line, i + 1, text, err))
                    break
                p = n

    def extract_move(self, engine, lines):
        """The engine's move word from its move lines, or None."""
        idx = [i for i, l in enumerate(lines) if l.startswith("move ")]
        if not idx:
            return None
        texts = [lines[i][5:] for i in idx]
        if self.marseillais:
            if len(idx) == 1:
                if texts[0].endswith(","):
                    raise Failure("%s: %r not followed by the second move line"
                                  % (engine.name, lines[idx[0]]))
                return texts[0]
            if len(idx) == 2 and idx[1] == idx[0] + 1 and texts[0].endswith(",") \
                    and not texts[1].endswith(",") and "," not in texts[0][:-1] and "," not in texts[1]:
                return texts[0] + texts[1]
            raise Failure("%s: malformed move lines %r" % (engine.name, [lines[i] for i in idx]))
        if len(idx) != 1 or "," in texts[0]:
            raise Failure("%s: malformed move lines %r" % (engine.name, [lines[i] for i in idx]))
        return texts[0]

    def check_search_output(self, engine, lines):
        if not self.searching[engine]:
            return
        first_move = next(i for i, l in enumerate(lines) if l.startswith("move "))
        before = lines[:first_move]
        if not any(NODES_RE.match(l) for l in before):
            self.warn("%s: no '# nodes=' line before its move" % engine.name)
        if not any(THINK_RE.match(l) for l in before):
            self.warn("%s: no thinking line before its move" % engine.name)

    def perft_value(self, engine, lines):
        vals = [int(m.group(2)) for m in (PERFT_RE.match(l) for l in lines) if m]
        if len(vals) != 1:
            raise Failure("%s: expected one perft line, got %d" % (engine.name, len(vals)))
        return vals[0]

    def check_perft(self, engine, lines):
        got = self.perft_value(engine, lines)
        want = self.ref.count()
        if got != want:
            raise Failure("%s: perft 1 = %d but the referee counts %d legal %s for %s (moves so far: %s)"
                          % (engine.name, got, want, "turns" if self.marseillais else "moves",
                             "White" if self.ref.pos.white else "Black", " ".join(self.moves)))

    # -- the engine's move --------------------------------------------------

    def take_engine_move(self, engine, lines, seconds, boards_before):
        """Handle an exchange in which the engine should have moved.

        boards_before: positions whose board print-outs precede the move
        (the relayed move's board in gui mode)."""
        pos_before = self.ref.pos
        move = self.extract_move(engine, lines)
        if move is None:
            raise Failure("%s: did not move although it is to move and has a legal %s (moves so far: %s)"
                          % (engine.name, "turn" if self.marseillais else "move", " ".join(self.moves)))
        self.check_thinking(engine, lines, pos_before)
        self.check_search_output(engine, lines)
        self.check_other_lines(engine, lines)
        err = self.ref.play(move)
        if err:
            raise Failure("%s: played illegal %r (%s); moves so far: %s"
                          % (engine.name, move, err, " ".join(self.moves)))
        self.moves.append(move)
        self.check_boards(engine, lines, boards_before + [self.ref.pos],
                          "around its move %r" % move)
        mover_white = pos_before.white
        if self.clocks[mover_white].charge(seconds):
            self.warn("%s (%s) overstepped the time control at ply %d (%.2f s for this move)"
                      % (engine.name, "White" if mover_white else "Black", self.ref.plies, seconds))
            if self.args.fail_on_flag:
                raise Failure("time forfeit by %s" % engine.name)
        return move

    def game_state(self):
        if self.ref.has_move():
            if self.ref.plies >= self.args.max_plies:
                return "limit"
            return None
        return "mate" if self.ref.pos.in_check() else "stalemate"

    # -- the game -----------------------------------------------------------

    def setup(self, engine):
        engine.handshake()
        cmds = []
        if self.marseillais:
            cmds.append("variant marseillais")
        cmds += ["new", "level " + self.args.level]
        if not self.searching[engine]:
            cmds.append("rand")
        out, _ = engine.sync(*cmds)
        self.check_other_lines(engine, out)
        self.check_boards(engine, out, [Pos()], "after new")

    def run(self, opening_plies):
        for e in (self.white, self.black):
            self.setup(e)
        # Random opening, played to both engines in force mode.
        opening = []
        for _ in range(opening_plies):
            if not self.ref.has_move():
                break
            opening.append(self.ref.random_turn(self.rng))
            self.ref.play(opening[-1])
            self.moves.append(opening[-1])
        if opening:
            self.log.write("game %d: opening %s" % (self.number, " ".join(opening)))
            ref = Referee(self.marseillais)
            expected = []
            for mv in opening:
                ref.play(mv)
                expected.append(ref.pos.copy())
            for e in (self.white, self.black):
                out, _ = e.sync("force", *opening)
                self.check_other_lines(e, out)
                self.check_boards(e, out, expected, "after the opening moves")
        state = self.game_state()
        if state is None:
            if self.args.relay == "gui":
                state = self.play_gui(bool(opening))
            else:
                state = self.play_force(bool(opening))
        elif state != "limit":
            self.final_checks(self.engine_of(self.ref.pos.white), state)
        return state

    def play_gui(self, from_force):
        mover = self.engine_of(self.ref.pos.white)
        out, secs = mover.sync("go")
        self.take_engine_move(mover, out, secs, [])
        self.after_gui_move(mover)
        pending_go = from_force  # the other engine is still in force mode
        while True:
            state = self.game_state()
            receiver = self.engine_of(self.ref.pos.white)
            word = self.moves[-1]
            relayed_pos = self.ref.pos
            if state == "limit":
                out, _ = receiver.sync("force", word, "perft 1")
                self.check_other_lines(receiver, out)
                self.check_boards(receiver, out, [relayed_pos], "after the last relayed move")
                self.check_perft(receiver, out)
                return state
            if state is not None:
                out, _ = receiver.sync(word)
                self.check_other_lines(receiver, out)
                if any(l.startswith("move ") for l in out):
                    raise Failure("%s: moved after the game ended by %s" % (receiver.name, state))
                self.check_boards(receiver, out, [relayed_pos], "after the final move")
                self.final_checks(receiver, state)
                return state
            if pending_go:
                out, secs = receiver.sync(word, "go")
                pending_go = False
            else:
                out, secs = receiver.sync(word)
            self.take_engine_move(receiver, out, secs, [relayed_pos])
            self.after_gui_move(receiver)

    def after_gui_move(self, mover):
        """Ask the engine that just moved for the opponent's legal count."""
        if self.args.no_perft:
            return
        if not self.ref.has_move() or self.ref.plies >= self.args.max_plies:
            return  # checked at the end of the game
        out, _ = mover.sync("perft 1")
        self.check_other_lines(mover, out)
        if any(l.startswith("move ") for l in out):
            raise Failure("%s: moved for the opponent after perft" % mover.name)
        self.check_perft(mover, out)

    def play_force(self, from_force):
        for e in (self.white, self.black):
            if not from_force:
                out, _ = e.sync("force")
                self.check_other_lines(e, out)
        while True:
            mover = self.engine_of(self.ref.pos.white)
            receiver = self.engine_of(not self.ref.pos.white)
            out, secs = mover.sync("go", "force")
            self.take_engine_move(mover, out, secs, [])
            word = self.moves[-1]
            cmds = [word] if self.args.no_perft else [word, "perft 1"]
            out, _ = receiver.sync(*cmds)
            self.check_other_lines(receiver, out)
            if any(l.startswith("move ") for l in out):
                raise Failure("%s: moved in force mode" % receiver.name)
            self.check_boards(receiver, out, [self.ref.pos], "after the relayed move %r" % word)
            if not self.args.no_perft:
                self.check_perft(receiver, out)
            state = self.game_state()
            if state is not None:
                if state != "limit":
                    self.final_checks(receiver, state)
                return state

    def final_checks(self, engine, state):
        """The engine to move has no legal move: perft 1 is 0 and go does nothing."""
        out, _ = engine.sync("perft 1")
        if self.perft_value(engine, out) != 0:
            raise Failure("%s: perft 1 after %s is not 0: %r" % (engine.name, state, out))
        out, _ = engine.sync("go")
        self.check_other_lines(engine, out)
        if any(l.startswith("move ") for l in out):
            raise Failure("%s: moved on 'go' after the game ended by %s" % (engine.name, state))

    def result_text(self, state):
        if state == "mate":
            return ("0-1" if self.ref.pos.white else "1-0"), \
                ("Black mates" if self.ref.pos.white else "White mates")
        if state == "stalemate":
            return "1/2-1/2", "stalemate"
        return "1/2-1/2", "move limit"


def main():
    ap = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--engine", default="build/quarn", help="engine binary")
    ap.add_argument("--engine2", help="second engine binary (default: the same)")
    ap.add_argument("--variant", choices=["normal", "marseillais"], default="normal")
    ap.add_argument("--games", type=int, default=2)
    ap.add_argument("--level", default="40 0:05 0", help='xboard level, e.g. "40 0:05 0"')
    ap.add_argument("--max-plies", type=int, default=300,
                    help="a game reaching this many plies (turns) ends as a draw")
    ap.add_argument("--seed", type=int, help="seed for the random openings (default: random)")
    ap.add_argument("--opening-plies", type=int, default=4,
                    help="games after the first start with 1..N random plies (default 4)")
    ap.add_argument("--random", nargs="?", const="both", default="none",
                    choices=["none", "both", "one"],
                    help='"rand" mode for both engines, or for the second engine only')
    ap.add_argument("--relay", choices=["gui", "force"], default="gui")
    ap.add_argument("--timeout", type=float, default=30.0, help="seconds per engine answer")
    ap.add_argument("--no-perft", action="store_true", help="skip the per-ply perft 1 cross-check")
    ap.add_argument("--fail-on-flag", action="store_true", help="treat a time forfeit as a failure")
    ap.add_argument("--log", help="protocol log file (default: a temporary file)")
    args = ap.parse_args()

    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    if args.log:
        log_path = args.log
    else:
        fd, log_path = tempfile.mkstemp(prefix="quarn-selfplay-", suffix=".log")
        os.close(fd)
    log = Log(log_path)
    log.write("args: %s seed=%d" % (vars(args), seed))
    print("selfplay: variant=%s games=%d level=%r max-plies=%d relay=%s random=%s seed=%d log=%s"
          % (args.variant, args.games, args.level, args.max_plies, args.relay,
             args.random, seed, log_path), flush=True)

    paths = [args.engine, args.engine2 or args.engine]
    totals = {}
    all_warnings = []
    failed = None
    t_start = time.monotonic()
    for g in range(1, args.games + 1):
        a = b = game = None
        try:
            a = Engine(paths[0], "A", log, args.timeout)
            b = Engine(paths[1], "B", log, args.timeout)
            a.random = args.random == "both"
            b.random = args.random in ("both", "one")
            white, black = (a, b) if g % 2 == 1 else (b, a)
            white.name += "(white)"
            black.name += "(black)"
            game = Game(args, g, white, black, log, rng)
            opening = 0 if g == 1 else rng.randint(1, max(1, args.opening_plies))
            opening = min(opening, args.max_plies)
            if args.opening_plies == 0:
                opening = 0
            log.write("=== game %d: white=%s black=%s opening plies=%d"
                      % (g, white.name, black.name, opening))
            t0 = time.monotonic()
            state = game.run(opening)
            result, why = game.result_text(state)
            for e in (a, b):
                e.send("result %s {%s}" % (result, why))
                e.quit()
            warnings = game.warnings + a.warnings + b.warnings
            all_warnings += warnings
            totals[result] = totals.get(result, 0) + 1
            log.write("game %d moves: %s" % (g, " ".join(game.moves)))
            print("game %d: %s %s (%s) after %d plies, %.1f s; engine time white %.2f s "
                  "(longest move %.2f s), black %.2f s (longest %.2f s); warnings: %d"
                  % (g, "white=" + white.name[0] + " black=" + black.name[0], result, why,
                     game.ref.plies, time.monotonic() - t0,
                     game.clocks[True].used, game.clocks[True].longest,
                     game.clocks[False].used, game.clocks[False].longest,
                     len(warnings)), flush=True)
            for w in warnings[:10]:
                print("  warning: " + w, flush=True)
        except Failure as e:
            failed = "game %d: FAIL: %s" % (g, e)
            log.write(failed)
            if game is not None:
                log.write("game %d moves: %s" % (g, " ".join(game.moves)))
            for e2 in (a, b):
                if e2 is not None:
                    e2.kill()
            break
    if failed:
        print(failed, file=sys.stderr)
        print("--- last lines of the log %s:" % log_path, file=sys.stderr)
        sys.stderr.write("".join(log.tail(40)))
        return 1
    print("selfplay: %d games in %.1f s: %s; warnings: %d; log %s"
          % (args.games, time.monotonic() - t_start,
             ", ".join("%s x%d" % kv for kv in sorted(totals.items())),
             len(all_warnings), log_path), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
