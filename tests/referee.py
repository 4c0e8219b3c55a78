#!/usr/bin/env python3
"""The rules of chess and of Marseillais turns, written independently of the
engine, to judge its moves from outside (self-play, long games).

Squares are 0x88 numbers (a1 = 0, h8 = 0x77); a move is (from, to, promo)
with promo a lower-case letter or ""; a turn is a tuple of one or two moves.
Run directly, it checks itself against published perft counts and the
Marseillais counts of a few small positions.
"""
import sys

START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
KNIGHT = (33, 31, 18, 14, -14, -18, -31, -33)
KING = (1, -1, 16, -16, 15, 17, -15, -17)
SLIDES = {"b": KING[4:], "r": KING[:4], "q": KING}
# Castling: right letter, king from and to, rook from and to, squares that must be empty.
CASTLES = (("K", 4, 6, 7, 5, (5, 6)), ("Q", 4, 2, 0, 3, (1, 2, 3)))


def square(name):
    return (ord(name[1]) - 49) * 16 + ord(name[0]) - 97


def name(sq):
    return "abcdefgh"[sq & 7] + str((sq >> 4) + 1)


def move_text(m):
    return name(m[0]) + name(m[1]) + m[2]


def turn_text(turn):
    return ",".join(move_text(m) for m in turn)


class Pos:
    def __init__(self, fen=START):
        f = fen.split() + ["-"] * 4
        self.board = {}  # square -> piece letter, upper case for White
        for r, row in enumerate(f[0].split("/")):
            c = 0
            for ch in row:
                if ch.isdigit():
                    c += int(ch)
                else:
                    self.board[(7 - r) * 16 + c] = ch
                    c += 1
        self.white = f[1] == "w"
        self.castle = f[2].replace("-", "")
        self.ep = None if f[3] == "-" else square(f[3])
        self.kings = {}

    def copy(self):
        p = Pos.__new__(Pos)
        p.board, p.white, p.castle, p.ep, p.kings = dict(self.board), self.white, self.castle, self.ep, dict(self.kings)
        return p

    def mine(self, sq, white=None):
        piece = self.board.get(sq)
        return piece is not None and piece.isupper() == (self.white if white is None else white)

    def king(self, white):
        k = self.kings.get(white)
        if self.board.get(k) != ("K" if white else "k"):
            k = self.kings[white] = next(s for s, p in self.board.items() if p == ("K" if white else "k"))
        return k

    def attacked(self, sq, by_white):
        b = self.board
        P, N, B, R, Q, K = "PNBRQK" if by_white else "pnbrqk"
        if any(b.get(sq + d) == N for d in KNIGHT):
            return True
        for d in KING:
            t, near = sq + d, True
            while not t & 0x88 and t not in b:
                t, near = t + d, False
            p = b.get(t)
            if p and (p == Q or p == (R if d in SLIDES["r"] else B) or near and (
                    p == K or p == P and d in ((-17, -15) if by_white else (15, 17)))):
                return True
        return False

    def in_check(self, white=None):
        white = self.white if white is None else white
        return self.attacked(self.king(white), not white)

    def is_initial(self):
        return self.board == Pos().board and self.white and self.castle == "KQkq" and self.ep is None

    def rows(self):
        """The board as the engine prints it, rank 8 first."""
        return ["".join(self.board.get(r * 16 + c, ".") for c in range(8)) for r in range(7, -1, -1)]

    def pseudo(self, en_passant=True):
        b, out = self.board, []
        fwd, home, last = (16, 1, 7) if self.white else (-16, 6, 0)
        for s, p in list(b.items()):
            if p.isupper() != self.white:
                continue
            kind = p.lower()
            if kind == "p":
                targets = [s + fwd] if s + fwd not in b else []
                if targets and s >> 4 == home and s + 2 * fwd not in b:
                    targets.append(s + 2 * fwd)
                for t in (s + fwd - 1, s + fwd + 1):
                    if not t & 0x88 and (t in b and not self.mine(t) or en_passant and t == self.ep):
                        targets.append(t)
                for t in targets:
                    out += [(s, t, q) for q in "qrbn"] if t >> 4 == last else [(s, t, "")]
                continue
            for d in SLIDES.get(kind, KNIGHT if kind == "n" else KING):
                t = s + d
                while not t & 0x88 and not self.mine(t):
                    out.append((s, t, ""))
                    if t in b or kind in "nk":
                        break
                    t += d
        row = 0 if self.white else 0x70
        for right, kf, kt, rf, rt, empty in CASTLES:
            if (right if self.white else right.lower()) in self.castle and b.get(row + kf) == ("K" if self.white else "k"):
                if all(row + e not in b for e in empty) and not any(
                        self.attacked(row + e, not self.white) for e in (kf, rt)):
                    out.append((row + kf, row + kt, ""))
        return out

    def play(self, m, keep_side=False):
        """The position after the move (the turn stays with the mover when keep_side)."""
        p = self.copy()
        b = p.board
        f, t, promo = m
        piece = b.pop(f)
        if piece.lower() == "p" and t == self.ep:
            del b[t - 16 if self.white else t + 16]
        if piece.lower() == "k" and abs(t - f) == 2:
            b[(f + t) // 2] = b.pop(t + 1 if t > f else t - 2)
        b[t] = promo.upper() if promo and self.white else promo or piece
        p.ep = (f + t) // 2 if piece.lower() == "p" and abs(t - f) == 32 else None
        for sq, rights in ((4, "KQ"), (0, "Q"), (7, "K"), (0x74, "kq"), (0x70, "q"), (0x77, "k")):
            if sq in (f, t):
                p.castle = "".join(c for c in p.castle if c not in rights)
        p.white = self.white if keep_side else not self.white
        return p

    def legal(self, en_passant=True):
        check = self.in_check()
        return [m for m in self.pseudo(en_passant)
                if not (check and self.board[m[0]].lower() == "k" and abs(m[1] - m[0]) == 2)
                and not self.play(m).in_check(self.white)]

    def turns(self):
        """Marseillais turns: White's first turn of the game is one move; a
        first move that checks ends the turn; a second move takes no en passant."""
        if self.is_initial():
            return [(m,) for m in self.legal()]
        out = []
        for m1 in self.legal():
            mid = self.play(m1, keep_side=True)
            if mid.in_check(not self.white):
                out.append((m1,))
            else:
                out += [(m1, m2) for m2 in mid.legal(en_passant=False)]
        return out

    def play_turn(self, turn):
        p = self
        for i, m in enumerate(turn):
            p = p.play(m, keep_side=i + 1 < len(turn))
        return p

    def parse(self, text, marseillais):
        """The legal move or turn written as text, or None."""
        words, p, turn, single = text.split(","), self, (), not marseillais or self.is_initial()
        for i, word in enumerate(words):
            m = next((m for m in p.legal(en_passant=i == 0) if move_text(m) == word), None)
            if m is None:
                return None
            turn += (m,)
            p = p.play(m, keep_side=True)
            single = single or (i == 0 and p.in_check(not self.white))
        return turn if len(turn) == len(words) == (1 if single else 2) else None


def perft(pos, depth, marseillais=False):
    if depth == 0:
        return 1
    options = pos.turns() if marseillais else [(m,) for m in pos.legal()]
    if depth == 1:
        return len(options)
    return sum(perft(pos.play_turn(t), depth - 1, marseillais) for t in options)


SELF_TEST = [
    (START, False, [20, 400, 8902]),
    ("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", False, [48, 2039]),
    ("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", False, [14, 191, 2812]),
    ("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", False, [6, 264]),
    ("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", False, [44, 1486]),
    (START, True, [20, 8902]),
    ("3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", True, [243, 6292]),
    ("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", True, [51, 1740]),
    ("kr6/8/8/8/8/7r/8/K1r5 w - - 0 1", True, [0]),  # an escape without a second move
]

if __name__ == "__main__":
    bad = 0
    for fen, marseillais, counts in SELF_TEST:
        got = [perft(Pos(fen), d + 1, marseillais) for d in range(len(counts))]
        if got != counts:
            bad += 1
            print("FAIL %s%s: %s, expected %s" % (fen, " (marseillais)" if marseillais else "", got, counts))
    print("referee perft: %d passed, %d failed" % (len(SELF_TEST) - bad, bad))
    sys.exit(1 if bad else 0)
