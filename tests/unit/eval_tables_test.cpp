// Material values, the piece-square tables (typed in from the published
// White tables, rank 8 first), the sums a position keeps of them, and the
// static evaluation built on top.
#include <gtest/gtest.h>

#include "eval/evaluate.h"
#include "eval/tables.h"
#include "test_util.h"

namespace quarn {
namespace {

using test::BoardFromFen;
using test::Sq;

using Table = int[64];  // rank 8 first, a to h within a rank

constexpr Table PawnOpening = {
    -16, 0, 0, 0,  0,  0, 0, -16,  //
    -16, 0, 0, 0,  0,  0, 0, -16,  //
    -16, 0, 8, 8,  8,  8, 0, -16,  //
    -16, 0, 8, 24, 24, 8, 0, -16,  //
    -16, 0, 8, 24, 24, 8, 0, -16,  //
    -16, 0, 8, 8,  8,  8, 0, -16,  //
    -16, 0, 0, 0,  0,  0, 0, -16,  //
    -16, 0, 0, 0,  0,  0, 0, -16,
};
constexpr Table KnightOpening = {
    -77, -21, -21, -21, -21, -21, -21, -77,  //
    -14, 0,   0,   0,   0,   0,   0,   -14,  //
    -7,  7,   14,  14,  14,  14,  7,   -7,   //
    0,   14,  21,  28,  28,  21,  14,  0,    //
    -7,  7,   14,  21,  21,  14,  7,   -7,   //
    -14, 0,   7,   7,   7,   7,   0,   -14,  //
    -21, -7,  -7,  -7,  -7,  -7,  -7,  -21,  //
    -98, -42, -42, -42, -42, -42, -42, -98,
};
constexpr Table KnightEndgame = {
    -48, -16, -16, -16, -16, -16, -16, -48,  //
    -16, 0,   0,   0,   0,   0,   0,   -16,  //
    -16, 0,   8,   8,   8,   8,   0,   -16,  //
    -16, 0,   8,   16,  16,  8,   0,   -16,  //
    -16, 0,   8,   16,  16,  8,   0,   -16,  //
    -16, 0,   8,   8,   8,   8,   0,   -16,  //
    -16, 0,   0,   0,   0,   0,   0,   -16,  //
    -48, -16, -16, -16, -16, -16, -16, -48,
};
constexpr Table BishopOpening = {
    7,   -7,  -7,  -7,  -7,  -7,  -7,  7,   //
    -7,  14,  0,   0,   0,   0,   14,  -7,  //
    -7,  0,   14,  0,   0,   14,  0,   -7,  //
    -7,  0,   0,   21,  21,  0,   0,   -7,  //
    -7,  0,   0,   21,  21,  0,   0,   -7,  //
    -7,  0,   14,  0,   0,   14,  0,   -7,  //
    -7,  14,  0,   0,   0,   0,   14,  -7,  //
    -21, -35, -35, -35, -35, -35, -35, -21,
};
constexpr Table BishopEndgame = {
    8,  -8, -8, -8, -8, -8, -8, 8,   //
    -8, 16, 0,  0,  0,  0,  16, -8,  //
    -8, 0,  16, 0,  0,  16, 0,  -8,  //
    -8, 0,  0,  24, 24, 0,  0,  -8,  //
    -8, 0,  0,  24, 24, 0,  0,  -8,  //
    -8, 0,  16, 0,  0,  16, 0,  -8,  //
    -8, 16, 0,  0,  0,  0,  16, -8,  //
    8,  -8, -8, -8, -8, -8, -8, 8,
};
constexpr Table KingOpening = {
    -72, -72, -72, -72, -72, -72, -72, -72,  //
    -56, -56, -56, -56, -56, -56, -56, -56,  //
    -40, -40, -40, -40, -40, -40, -40, -40,  //
    -24, -24, -24, -24, -24, -24, -24, -24,  //
    -8,  -8,  -8,  -8,  -8,  -8,  -8,  -8,   //
    8,   8,   8,   8,   8,   8,   8,   8,    //
    32,  32,  32,  24,  24,  32,  32,  32,   //
    48,  64,  48,  40,  40,  48,  64,  48,
};
constexpr Table KingEndgame = {
    -16, -16, -16, -16, -16, -16, -16, -16,  //
    -16, 0,   0,   0,   0,   0,   0,   -16,  //
    -16, 0,   16,  16,  16,  16,  0,   -16,  //
    -16, 0,   16,  32,  32,  16,  0,   -16,  //
    -16, 0,   16,  32,  32,  16,  0,   -16,  //
    -16, 0,   16,  16,  16,  16,  0,   -16,  //
    -16, 0,   0,   0,   0,   0,   0,   -16,  //
    -16, -16, -16, -16, -16, -16, -16, -16,
};
constexpr Table Zero = {};

TEST(EvalTables, WhiteTablesMatchThePublishedValuesSquareBySquare) {
  struct Expected {
    PieceType type;
    const int* opening;
    const int* endgame;
  };
  const Expected tables[] = {
      {Pawn, PawnOpening, Zero},
      {Knight, KnightOpening, KnightEndgame},
      {Bishop, BishopOpening, BishopEndgame},
      {Rook, Zero, Zero},
      {Queen, Zero, Zero},
      {King, KingOpening, KingEndgame},
  };
  for (const Expected& e : tables) {
    for (int row = 0; row < 8; ++row) {
      for (int file = 0; file < 8; ++file) {
        const Square sq = MakeSquare(file, 7 - row);
        const ScorePair v = PieceSquareTable[White][e.type][sq];
        EXPECT_EQ(OpeningOf(v), e.opening[row * 8 + file]) << "type " << int(e.type) << " " << test::SquareName(sq);
        EXPECT_EQ(EndgameOf(v), e.endgame[row * 8 + file]) << "type " << int(e.type) << " " << test::SquareName(sq);
      }
    }
  }
}

TEST(EvalTables, BlackTablesAreTheRankMirrorAndOffBoardEntriesAreZero) {
  for (int type = 0; type < 7; ++type) {
    for (int sq = 0; sq < 128; ++sq) {
      if (IsOffBoard(sq) || type == Empty) {
        EXPECT_EQ(PieceSquareTable[White][type][sq], 0u) << type << " " << sq;
        EXPECT_EQ(PieceSquareTable[Black][type][sq], 0u) << type << " " << sq;
        continue;
      }
      const Square mirror = MakeSquare(FileOf(sq), 7 - RankOf(sq));
      EXPECT_EQ(PieceSquareTable[Black][type][sq], PieceSquareTable[White][type][mirror])
          << type << " " << test::SquareName(sq);
    }
  }
  EXPECT_EQ(PieceSquareTable[White][Knight][Sq("b1")], MakeScorePair(-42, -16));
  EXPECT_EQ(PieceSquareTable[Black][Knight][Sq("b8")], MakeScorePair(-42, -16));
  EXPECT_EQ(PieceSquareTable[Black][Knight][Sq("f3")], MakeScorePair(14, 8));
  EXPECT_EQ(OpeningOf(PieceSquareTable[Black][Pawn][Sq("e4")]), 24);
}

TEST(EvalTables, MaterialValuesAreTheSameInBothPhases) {
  const int values[7] = {0, 100, 325, 325, 500, 975, 0};
  for (int t = 0; t < 7; ++t) EXPECT_EQ(MaterialValue[t], MakeScorePair(values[t], values[t])) << t;
}

TEST(EvalTables, ScorePairHalvesAddAndWrapOnTheirOwn) {
  const ScorePair a = MakeScorePair(-5, 7), b = MakeScorePair(10, -20);
  EXPECT_EQ(AddScores(a, b), MakeScorePair(5, -13));
  EXPECT_EQ(SubScores(a, b), MakeScorePair(-15, 27));
  // A borrow in the low half must not reach the high half.
  EXPECT_EQ(SubScores(MakeScorePair(0, 0), MakeScorePair(1, 0)), MakeScorePair(-1, 0));
  EXPECT_EQ(AddScores(MakeScorePair(32767, 1), MakeScorePair(1, 1)), MakeScorePair(-32768, 2));
}

TEST(EvalSums, InitialPositionSums) {
  const Board b = BoardFromFen(StartFen);
  EXPECT_EQ(b.materialSum[White], MakeScorePair(4075, 4075));
  EXPECT_EQ(b.materialSum[Black], MakeScorePair(4075, 4075));
  EXPECT_EQ(b.placementSum[White], b.placementSum[Black]);
  // The same sum taken from the typed tables: pawns on rank 2 (row 6), then
  // knights b1 and g1, bishops c1 and f1 and the king on e1 (row 7); rooks,
  // queens and the pawns' endgame half add nothing.
  int opening = 0, endgame = 0;
  for (int file = 0; file < 8; ++file) opening += PawnOpening[48 + file];
  for (int file : {1, 6}) opening += KnightOpening[56 + file], endgame += KnightEndgame[56 + file];
  for (int file : {2, 5}) opening += BishopOpening[56 + file], endgame += BishopEndgame[56 + file];
  opening += KingOpening[56 + 4], endgame += KingEndgame[56 + 4];
  EXPECT_EQ(b.placementSum[White], MakeScorePair(opening, endgame));
}

TEST(Evaluate, InitialPositionIsZeroForEitherSide) {
  EXPECT_EQ(Evaluate(BoardFromFen(StartFen)), 0);
  EXPECT_EQ(Evaluate(BoardFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1")), 0);
  EXPECT_EQ(GamePhase(BoardFromFen(StartFen)), 64);
}

// White without the f1 bishop: material -325 and no bishop pair (-60) at
// phase 62, plus the placement gain of no longer having a bishop on f1
// (35, 8): (35 * 62 + 8 * 2) / 64 = 34.
TEST(Evaluate, LosingABishopAlsoLosesThePair) {
  Board b = BoardFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK1NR w KQkq - 0 1");
  EXPECT_EQ(GamePhase(b), 62);
  EXPECT_EQ(BlendByPhase(b, MakeScorePair(-385, -385)), -385);
  EXPECT_EQ(Evaluate(b), -385 + 34);
  b.sideToMove = Black;
  EXPECT_EQ(Evaluate(b), 385 - 34);
}

TEST(Evaluate, BareKingsScoreOnlyTheEndgameHalves) {
  EXPECT_EQ(PieceSquareTable[White][King][Sq("e4")], MakeScorePair(-8, 32));
  EXPECT_EQ(PieceSquareTable[White][King][Sq("a1")], MakeScorePair(48, -16));
  const Board w = BoardFromFen("k7/8/8/8/4K3/8/8/8 w - - 0 1");
  EXPECT_EQ(GamePhase(w), 0);
  EXPECT_EQ(Evaluate(w), 48);
  EXPECT_EQ(Evaluate(BoardFromFen("k7/8/8/8/4K3/8/8/8 b - - 0 1")), -48);
}

// Two bishops on squares of one colour still make a pair. Kings on e1 and e8
// cancel; bishops c1 (-35, -8) and a3 (-7, -8); phase 4:
// material 650 + 60, placement (-42 * 4 - 16 * 60) / 64 = -17 (toward zero).
TEST(Evaluate, SameColouredBishopsCountAsAPair) {
  const Board b = BoardFromFen("4k3/8/8/8/8/B7/8/2B1K3 w - - 0 1");
  EXPECT_EQ(GamePhase(b), 4);
  EXPECT_EQ(Evaluate(b), 710 - 17);
  EXPECT_EQ(Evaluate(BoardFromFen("4k3/8/8/8/8/B7/8/2B1K3 b - - 0 1")), -(710 - 17));
  // Mirrored for Black: the bonus is subtracted.
  EXPECT_EQ(Evaluate(BoardFromFen("2b1k3/8/b7/8/8/8/8/4K3 w - - 0 1")), -(710 - 17));
}

TEST(Evaluate, BlendTruncatesTowardZero) {
  EXPECT_EQ(BlendByPhase(32, MakeScorePair(-1, 0)), 0);
  EXPECT_EQ(BlendByPhase(32, MakeScorePair(1, 0)), 0);
  EXPECT_EQ(BlendByPhase(1, MakeScorePair(-127, 0)), -1);
  for (int phase = 0; phase <= 64; ++phase) EXPECT_EQ(BlendByPhase(phase, MakeScorePair(-63, -63)), -63) << phase;
  EXPECT_EQ(BlendByPhase(64, MakeScorePair(-300, 900)), -300);
  EXPECT_EQ(BlendByPhase(0, MakeScorePair(-300, 900)), 900);
  // The halves are signed 16-bit values.
  EXPECT_EQ(BlendByPhase(64, MakeScorePair(-32768, 0)), -32768);
}

TEST(Evaluate, PhaseIsCappedAtSixtyFour) {
  // Three queens a side (two promoted), the rest of the army on the board: 92 uncapped.
  const Board b = BoardFromFen("rnbqkbnr/qqpppppp/8/8/8/8/QQPPPPPP/RNBQKBNR w - - 0 1");
  EXPECT_EQ(b.pieceLists[White].countByType[Queen], 3);
  EXPECT_EQ(GamePhase(b), 64);
  EXPECT_EQ(Evaluate(b), 0);
  EXPECT_EQ(GamePhase(BoardFromFen("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1")), 16);
  EXPECT_EQ(GamePhase(BoardFromFen("r3k3/8/8/8/8/8/8/4KN2 w - - 0 1")), 6);
}

}  // namespace
}  // namespace quarn
