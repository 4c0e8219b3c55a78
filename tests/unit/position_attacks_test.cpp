// Attack, check, pin and line tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "position/attacks.h"
#include "test_util.h"

namespace quarn {
namespace {

using test::BoardFromFen;
using test::Sq;
using test::SquareName;

// The reported attacker (NoSquare when none), cross-checked with the other entry points.
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
    const char* attacker;  // "-": not attacked
  };
  const Case cases[] = {
      {StartFen, "f3", White, "g2"},  // e2, g2 and g1 attack; 15 below is tried first
      {StartFen, "f6", Black, "e7"},  // for Black, 15 above is tried first
      {StartFen, "e4", White, "-"},
      {"4k3/8/8/8/Q7/8/8/R3K3 w - - 0 1", "a5", White, "a4"},    // the nearer piece on the line
      {"4k3/8/8/8/4P3/8/8/4K3 w - - 0 1", "e5", White, "-"},     // a pawn does not take ahead
      {"4k3/8/8/8/8/8/7P/4K3 w - - 0 1", "a3", White, "-"},      // no wrap from the h-file
      {"4k3/8/3N1N2/8/8/8/8/4K3 w - - 0 1", "e4", White, "d6"},  // knight step 31 before 33
      {"4k3/8/8/8/8/8/8/7N w - - 0 1", "a2", White, "-"},        // across the edge is no jump
      {"4k3/8/8/3N4/8/8/3P4/4K3 w - - 0 1", "e3", White, "d2"},  // pawn before knight
      {"4k3/8/8/8/8/3B4/8/2N1K3 w - - 0 1", "e2", White, "c1"},  // knight before king and bishop
      {"4k3/8/8/8/8/3B4/8/4K3 w - - 0 1", "e2", White, "e1"},    // king before bishop
      {"4k3/8/8/8/8/8/6B1/4R3 w - - 0 1", "e4", White, "g2"},    // diagonal before line
      {"4k3/8/8/8/8/4p3/4R3/8 w - - 0 1", "e7", White, "-"},     // blocked
      {"4k3/8/8/8/8/8/4r3/4K3 w - - 0 1", "e2", Black, "-"},     // its own square is not attacked
      {"7k/8/8/8/8/8/8/q6K w - - 0 1", "h8", Black, "a1"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SquareName(AttackerOf(BoardFromFen(c.fen), Sq(c.square), c.by)), c.attacker) << c.fen << " " << c.square;
}

// A naive attack test from the rules of movement, compared on every square.
bool NaiveAttacked(const Board& b, Square s, Color a) {
  for (int from = 0; from < 128; ++from) {
    if (IsOffBoard(from) || b.colorAt[from] != a || from == s) continue;
    const int df = FileOf(s) - FileOf(from), dr = RankOf(s) - RankOf(from);
    const int adf = std::abs(df), adr = std::abs(dr), t = b.typeAt[from];
    if (t == Pawn && adf == 1 && dr == (a == White ? 1 : -1)) return true;
    if (t == Knight && adf * adr == 2) return true;
    if (t == King && adf <= 1 && adr <= 1) return true;
    const bool diag = adf == adr, straight = df == 0 || dr == 0;
    if (!((t == Bishop && diag) || (t == Rook && straight) || (t == Queen && (diag || straight)))) continue;
    const int fs = (df > 0) - (df < 0), rs = (dr > 0) - (dr < 0);
    bool clear = true;
    for (int f = FileOf(from) + fs, r = RankOf(from) + rs; f != FileOf(s) || r != RankOf(s); f += fs, r += rs)
      clear = clear && b.colorAt[MakeSquare(f, r)] == NoColor;
    if (clear) return true;
  }
  return false;
}

TEST(Attacks, AgreesWithANaiveTestOnEverySquareAndOnCheck) {
  for (const char* fen :
       {StartFen, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", "7Q/1q4B1/8/3N4/8/1b6/5r2/R6K w - - 0 1",
        "4k3/8/8/8/8/8/8/4RK2 b - - 0 1", "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 0 1"}) {
    const Board b = BoardFromFen(fen);
    const Color us = Color(b.sideToMove);
    EXPECT_EQ(SideToMoveInCheck(b), NaiveAttacked(b, b.KingSquare(us), Opponent(us))) << fen;
    for (int i = 0; i < 64; ++i) {
      for (Color a : {White, Black}) {
        const Square attacker = AttackerOf(b, SquareOf(i), a);
        ASSERT_EQ(attacker != NoSquare, NaiveAttacked(b, SquareOf(i), a)) << fen << " " << SquareName(SquareOf(i));
        EXPECT_TRUE(attacker == NoSquare || b.colorAt[attacker] == a);
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
      {"8/4r3/8/q7/8/4B3/3N4/r2RK2r w - - 0 1", White, Bits({"d1", "d2", "e3"})},
      {"8/4b3/8/b7/8/4B3/3N4/r2RK2r w - - 0 1", White, Bits({"d1", "d2"})},
      {"7k/8/8/8/8/8/8/b3K2r w - - 0 1", White, 0},  // direct attacks are no pins
      {"k7/8/8/q2B3K/8/8/8/8 w - - 0 1", White, Bits({"d5"})},
      {"k7/8/8/q2B2nK/8/8/8/8 w - - 0 1", White, 0},
  };
  for (const Case& c : cases) {
    const Board b = BoardFromFen(c.fen);
    EXPECT_EQ(c.side == White ? PinnedPieces<White>(b) : PinnedPieces<Black>(b), c.pinned) << c.fen;
  }
}

TEST(Paths, IsPathEmptyLooksOnlyBetweenTheEndsAndExceptIgnoresOneSquare) {
  const Board b = BoardFromFen("7k/8/8/8/8/8/8/K7 w - - 0 1");  // pieces on both ends do not count
  EXPECT_TRUE(IsPathEmpty(b, Sq("a1"), Sq("h8")));
  EXPECT_TRUE(IsPathEmpty(b, Sq("a1"), Sq("b2")));  // neighbours: nothing in between
  for (const char* between : {"b2", "d4", "g7"}) {
    Board c = b;
    ASSERT_TRUE(PlacePiece(c, Black, Sq(between), Knight));
    EXPECT_FALSE(IsPathEmpty(c, Sq("a1"), Sq("h8"))) << between;
    EXPECT_FALSE(IsPathEmpty(c, Sq("h8"), Sq("a1"))) << between;
    EXPECT_TRUE(IsPathEmptyExcept(c, Sq("a1"), Sq("h8"), Sq(between))) << between;
    EXPECT_FALSE(IsPathEmptyExcept(c, Sq("a1"), Sq("h8"), NoSquare)) << between;
  }
  const Board r = BoardFromFen("4k3/8/8/8/8/8/8/RN1QK3 w - - 0 1");
  EXPECT_TRUE(IsPathEmptyExcept(r, Sq("e1"), Sq("b1"), Sq("d1")));
  EXPECT_FALSE(IsPathEmptyExcept(r, Sq("e1"), Sq("b1"), Sq("c1")));
  EXPECT_FALSE(IsPathEmptyExcept(r, Sq("e1"), Sq("a1"), Sq("d1")));  // b1 still blocks
}

}  // namespace
}  // namespace quarn
