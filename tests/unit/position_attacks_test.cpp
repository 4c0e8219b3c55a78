// Attack, pin and line tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "position/attacks.h"
#include "test_util.h"

namespace quarn {
namespace {

using test::BoardFromFen;
using test::Sq;
using test::SquareName;

// Asks the attack test with a run-time colour and returns the reported
// attacker, NoSquare when the square is not attacked.
Square AttackerOf(const Board& b, Square s, Color a) {
  Square attacker = NoSquare;
  const bool hit = a == White ? IsSquareAttacked<White>(b, s, attacker) : IsSquareAttacked<Black>(b, s, attacker);
  EXPECT_EQ(hit, attacker != NoSquare);
  EXPECT_EQ(hit, IsSquareAttackedBy(b, s, a));
  return hit ? attacker : NoSquare;
}

// The first attacker found is reported: pawns, knights, king, diagonal then
// straight sliders, each in the order of its step list.
TEST(Attacks, ReportsTheFirstAttackerInSearchOrder) {
  struct Case {
    const char* fen;
    const char* square;
    Color by;
    const char* attacker;  // nullptr: not attacked
  };
  const Case cases[] = {
      {StartFen, "f3", White, "g2"},  // e2, g2 and g1 attack; 15 below is tried first
      {StartFen, "f3", Black, nullptr},
      {StartFen, "f6", Black, "e7"},  // for Black, 15 above is tried first
      {StartFen, "e4", White, nullptr},
      {"4k3/8/8/8/Q7/8/8/R3K3 w - - 0 1", "a5", White, "a4"},  // the nearer piece on the line
      {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "a5", White, "a1"},
      {"4k3/8/8/8/8/3P1P2/8/4K3 w - - 0 1", "e4", White, "f3"},
      {"4k3/8/8/3p1p2/8/8/8/4K3 w - - 0 1", "e4", Black, "d5"},   // black: 15 above first
      {"4k3/8/8/8/4P3/8/8/4K3 w - - 0 1", "e5", White, nullptr},  // a pawn does not take ahead
      {"4k3/8/8/8/8/8/7P/4K3 w - - 0 1", "a3", White, nullptr},   // no wrap from the h-file
      {"4k3/8/3N1N2/8/8/8/8/4K3 w - - 0 1", "e4", White, "d6"},   // knight step 31 before 33
      {"4k3/8/8/8/8/8/8/N3K3 w - - 0 1", "b3", White, "a1"},
      {"4k3/8/8/8/8/8/8/7N w - - 0 1", "a2", White, nullptr},    // across the edge is no jump
      {"4k3/8/8/3N4/8/8/3P4/4K3 w - - 0 1", "e3", White, "d2"},  // pawn before knight
      {"4k3/8/8/8/8/3B4/8/2N1K3 w - - 0 1", "e2", White, "c1"},  // knight before king and bishop
      {"4k3/8/8/8/8/3B4/8/4K3 w - - 0 1", "e2", White, "e1"},    // king before bishop
      {"4k3/8/8/8/8/8/6B1/4R3 w - - 0 1", "e4", White, "g2"},    // diagonal before line
      {"4k3/8/8/8/8/8/4R3/8 w - - 0 1", "e7", White, "e2"},
      {"4k3/8/8/8/8/4p3/4R3/8 w - - 0 1", "e7", White, nullptr},  // blocked
      {"4k3/8/8/8/8/8/4B3/8 w - - 0 1", "e7", White, nullptr},    // a bishop has no file move
      {"4k3/8/8/8/8/8/4r3/4K3 w - - 0 1", "e1", Black, "e2"},
      {"4k3/8/8/8/8/8/4r3/4K3 w - - 0 1", "e2", Black, nullptr},  // its own square is not attacked
      {"7k/8/8/8/8/8/8/q6K w - - 0 1", "h1", Black, "a1"},        // the queen along a rank
      {"7k/8/8/8/8/8/8/q6K w - - 0 1", "h8", Black, "a1"},        // and along a diagonal
      {"7k/8/8/8/8/8/8/q6K w - - 0 1", "g7", White, nullptr},
  };
  for (const Case& c : cases) {
    const Board b = BoardFromFen(c.fen);
    const Square got = AttackerOf(b, Sq(c.square), c.by);
    EXPECT_EQ(SquareName(got), c.attacker ? c.attacker : "-") << c.fen << " " << c.square;
  }
}

// A naive attack test written from the rules of movement, compared with the
// engine's on every square of a few busy positions.
bool NaiveAttacked(const Board& b, Square s, Color a) {
  for (int from = 0; from < 128; ++from) {
    if (IsOffBoard(from) || b.colorAt[from] != a || from == s) continue;
    const int df = FileOf(s) - FileOf(from), dr = RankOf(s) - RankOf(from);
    const int adf = std::abs(df), adr = std::abs(dr);
    bool line = false;
    switch (b.typeAt[from]) {
      case Pawn:
        if (adf == 1 && dr == (a == White ? 1 : -1)) return true;
        break;
      case Knight:
        if (adf * adr == 2) return true;
        break;
      case King:
        if (adf <= 1 && adr <= 1) return true;
        break;
      case Bishop:
        line = adf == adr;
        break;
      case Rook:
        line = df == 0 || dr == 0;
        break;
      case Queen:
        line = adf == adr || df == 0 || dr == 0;
        break;
    }
    if (!line) continue;
    const int step = (dr > 0) - (dr < 0);
    const int fstep = (df > 0) - (df < 0);
    bool clear = true;
    for (int f = FileOf(from) + fstep, r = RankOf(from) + step; f != FileOf(s) || r != RankOf(s); f += fstep, r += step)
      if (b.colorAt[MakeSquare(f, r)] != NoColor) clear = false;
    if (clear) return true;
  }
  return false;
}

TEST(Attacks, AgreesWithANaiveTestOnEverySquare) {
  const char* const fens[] = {
      StartFen,
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
      "7Q/1q4B1/8/3N4/8/1b6/5r2/R6K w - - 0 1",
  };
  for (const char* fen : fens) {
    const Board b = BoardFromFen(fen);
    for (int i = 0; i < 64; ++i) {
      const Square s = SquareOf(i);
      for (Color a : {White, Black}) {
        const Square attacker = AttackerOf(b, s, a);
        ASSERT_EQ(attacker != NoSquare, NaiveAttacked(b, s, a)) << fen << " " << SquareName(s) << " by " << int(a);
        if (attacker != NoSquare) {
          EXPECT_EQ(b.colorAt[attacker], a);
        }
      }
    }
  }
}

uint64_t Bits(std::initializer_list<const char*> squares) {
  uint64_t set = 0;
  for (const char* s : squares) set |= uint64_t(1) << IndexOf(Sq(s));
  return set;
}

TEST(Pins, PiecesAloneBetweenTheKingAndAnEnemySlider) {
  struct Case {
    const char* fen;
    Color side;
    uint64_t pinned;
  };
  const Case cases[] = {
      {"4k3/4n3/8/8/8/8/8/4R1K1 w - - 0 1", Black, Bits({"e7"})},
      {"4k3/4n3/4p3/8/8/8/8/4R1K1 w - - 0 1", Black, 0},          // two pieces in between: no pin
      {"4k3/4n3/4P3/8/8/8/8/4R1K1 w - - 0 1", Black, 0},          // an enemy piece in between
      {"4k3/5p2/8/7Q/8/8/8/4K3 w - - 0 1", Black, Bits({"f7"})},  // queen on a diagonal
      {"4k3/4p3/8/8/8/8/8/4QK2 w - - 0 1", Black, Bits({"e7"})},  // queen on a file
      {"4k3/4n3/8/8/8/8/8/4B1K1 w - - 0 1", Black, 0},            // a bishop does not pin along a file
      {"4k3/5p2/8/7R/8/8/8/4K3 w - - 0 1", Black, 0},             // a rook does not pin along a diagonal
      {"4k3/4n3/8/8/8/8/8/4r1K1 w - - 0 1", Black, 0},            // own slider behind
      {"k7/8/8/8/8/8/8/RN2K3 w - - 0 1", White, 0},               // the slider is not the enemy's
      {"8/4r3/8/q7/8/4B3/3N4/r2RK2r w - - 0 1", White, Bits({"d1", "d2", "e3"})},
      {"8/4b3/8/b7/8/4B3/3N4/r2RK2r w - - 0 1", White, Bits({"d1", "d2"})},
      {"7k/8/8/8/8/8/8/b3K2r w - - 0 1", White, 0},  // direct attacks are no pins
      {"k7/8/8/q2B3K/8/8/8/8 w - - 0 1", White, Bits({"d5"})},
      {"k7/8/8/q2B2nK/8/8/8/8 w - - 0 1", White, 0},
      {"7k/8/8/8/3b4/2P5/1K6/8 w - - 0 1", White, Bits({"c3"})},
  };
  for (const Case& c : cases) {
    const Board b = BoardFromFen(c.fen);
    const uint64_t got = c.side == White ? PinnedPieces<White>(b) : PinnedPieces<Black>(b);
    EXPECT_EQ(got, c.pinned) << c.fen;
  }
}

TEST(Paths, IsPathEmptyLooksOnlyBetweenTheEnds) {
  Board b = BoardFromFen("7k/8/8/8/8/8/8/K7 w - - 0 1");  // pieces on both ends do not count
  EXPECT_TRUE(IsPathEmpty(b, Sq("a1"), Sq("h8")));
  EXPECT_TRUE(IsPathEmpty(b, Sq("h8"), Sq("a1")));
  EXPECT_TRUE(IsPathEmpty(b, Sq("a1"), Sq("b2")));  // neighbours: nothing in between
  for (const char* between : {"b2", "c3", "d4", "e5", "f6", "g7"}) {
    Board c = b;
    ASSERT_TRUE(PlacePiece(c, Black, Sq(between), Knight));
    EXPECT_FALSE(IsPathEmpty(c, Sq("a1"), Sq("h8"))) << between;
    EXPECT_FALSE(IsPathEmpty(c, Sq("h8"), Sq("a1"))) << between;
    EXPECT_TRUE(IsPathEmptyExcept(c, Sq("a1"), Sq("h8"), Sq(between))) << between;
    EXPECT_FALSE(IsPathEmptyExcept(c, Sq("a1"), Sq("h8"), NoSquare)) << between;
  }
}

TEST(Paths, IsPathEmptyExceptIgnoresOnlyTheGivenSquare) {
  const Board b = BoardFromFen("4k3/8/8/8/8/8/8/R2QK3 w - - 0 1");
  EXPECT_FALSE(IsPathEmpty(b, Sq("e1"), Sq("a1")));
  EXPECT_TRUE(IsPathEmptyExcept(b, Sq("e1"), Sq("a1"), Sq("d1")));
  EXPECT_FALSE(IsPathEmptyExcept(b, Sq("e1"), Sq("a1"), Sq("c1")));
  EXPECT_FALSE(IsPathEmptyExcept(b, Sq("e1"), Sq("a1"), NoSquare));
  const Board c = BoardFromFen("4k3/8/8/8/8/8/8/RN1QK3 w - - 0 1");
  EXPECT_FALSE(IsPathEmptyExcept(c, Sq("e1"), Sq("a1"), Sq("d1")));  // b1 still blocks
  EXPECT_TRUE(IsPathEmpty(c, Sq("e1"), Sq("e8")));
  EXPECT_TRUE(IsPathEmpty(c, Sq("e1"), Sq("h4")));
}

TEST(Check, SideToMoveInCheckReadsTheKingFromSlotZero) {
  EXPECT_FALSE(SideToMoveInCheck(BoardFromFen(StartFen)));
  EXPECT_TRUE(SideToMoveInCheck(BoardFromFen("4k3/8/8/8/8/8/8/4RK2 b - - 0 1")));
  EXPECT_FALSE(SideToMoveInCheck(BoardFromFen("4k3/8/8/8/8/8/8/4RK2 w - - 0 1")));
  EXPECT_TRUE(SideToMoveInCheck(BoardFromFen("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 0 1")));
}

}  // namespace
}  // namespace quarn
