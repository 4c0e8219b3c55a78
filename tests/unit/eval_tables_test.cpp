// Material values, the piece-square tables (typed in from the published
// White tables, rank 8 first), the sums a position keeps of them, and the
// static evaluation built on top.
#include <algorithm>

#include "eval/evaluate.h"
#include "position/piece_values.h"
#include "test_util.h"

namespace quarn::test {
namespace {

// Files a-d of each rank, ranks 8-5 then 4-1; the tables are symmetric, files e-h mirror a-d.
using Table = int[32];

constexpr Table PawnOpening = {
    -16, 0, 0, 0,  /**/ -16, 0, 0, 0, /**/ -16, 0, 8, 8, /**/ -16, 0, 8, 24,  //
    -16, 0, 8, 24, /**/ -16, 0, 8, 8, /**/ -16, 0, 0, 0, /**/ -16, 0, 0, 0,
};
constexpr Table KnightOpening = {
    -77, -21, -21, -21, /**/ -14, 0, 0, 0, /**/ -7,  7,  14, 14, /**/ 0,   14,  21,  28,  //
    -7,  7,   14,  21,  /**/ -14, 0, 7, 7, /**/ -21, -7, -7, -7, /**/ -98, -42, -42, -42,
};
constexpr Table KnightEndgame = {
    -48, -16, -16, -16, /**/ -16, 0, 0, 0, /**/ -16, 0, 8, 8, /**/ -16, 0,   8,   16,  //
    -16, 0,   8,   16,  /**/ -16, 0, 8, 8, /**/ -16, 0, 0, 0, /**/ -48, -16, -16, -16,
};
constexpr Table BishopOpening = {
    7,  -7, -7, -7, /**/ -7, 14, 0,  0, /**/ -7, 0,  14, 0, /**/ -7,  0,   0,   21,  //
    -7, 0,  0,  21, /**/ -7, 0,  14, 0, /**/ -7, 14, 0,  0, /**/ -21, -35, -35, -35,
};
constexpr Table BishopEndgame = {
    8,  -8, -8, -8, /**/ -8, 16, 0,  0, /**/ -8, 0,  16, 0, /**/ -8, 0,  0,  24,  //
    -8, 0,  0,  24, /**/ -8, 0,  16, 0, /**/ -8, 16, 0,  0, /**/ 8,  -8, -8, -8,
};
constexpr Table KingOpening = {
    -72, -72, -72, -72, /**/ -56, -56, -56, -56, /**/ -40, -40, -40, -40, /**/ -24, -24, -24, -24,  //
    -8,  -8,  -8,  -8,  /**/ 8,   8,   8,   8,   /**/ 32,  32,  32,  24,  /**/ 48,  64,  48,  40,
};
constexpr Table KingEndgame = {
    -16, -16, -16, -16, /**/ -16, 0, 0,  0,  /**/ -16, 0, 16, 16, /**/ -16, 0,   16,  32,  //
    -16, 0,   16,  32,  /**/ -16, 0, 16, 16, /**/ -16, 0, 0,  0,  /**/ -16, -16, -16, -16,
};
constexpr Table Zero = {};

// Square by square for White; Black is the rank mirror; off-board and Empty entries are zero.
TEST(EvalTables, MatchThePublishedValuesAndMirrorForBlack) {
  const int* const expected[7][2] = {
      {Zero, Zero}, {PawnOpening, Zero}, {KnightOpening, KnightEndgame}, {BishopOpening, BishopEndgame},
      {Zero, Zero}, {Zero, Zero},        {KingOpening, KingEndgame}};
  for (int type = 0; type < 7; ++type) {
    for (int sq = 0; sq < 128; ++sq) {
      SCOPED_TRACE(Cat("type ", std::to_string(type), " ", SquareName(sq)));
      if (IsOffBoard(sq)) {
        EXPECT_TRUE(PieceSquareTable[White][type][sq] == 0 && PieceSquareTable[Black][type][sq] == 0);
        continue;
      }
      const int i = (7 - RankOf(sq)) * 4 + std::min(FileOf(sq), 7 - FileOf(sq));
      const ScorePair v = PieceSquareTable[White][type][sq];
      EXPECT_EQ(OpeningOf(v), expected[type][0][i]);
      EXPECT_EQ(EndgameOf(v), expected[type][1][i]);
      EXPECT_EQ(PieceSquareTable[Black][type][MakeSquare(FileOf(sq), 7 - RankOf(sq))], v);
    }
  }
}

TEST(Evaluate, ScoresForTheSideToMove) {
  struct Case {
    const char* board;
    int phase, white;  // Evaluate with White to move; Black to move gives the negation
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", 64, 0},
      // No f1 bishop: material -325, no pair -60 at phase 62, plus the
      // placement (35, 8) no longer lost on f1: (35 * 62 + 8 * 2) / 64 = 34.
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK1NR", 62, -385 + 34},
      {"k7/8/8/8/4K3/8/8/8", 0, 48},  // bare kings: endgame halves, e4 32 against a8 -16
      // Same-coloured bishops still pair: c1 (-35, -8), a3 (-7, -8) at phase 4;
      // 650 + 60 and (-42 * 4 - 16 * 60) / 64 = -17 (toward zero).
      {"4k3/8/8/8/8/B7/8/2B1K3", 4, 710 - 17},
      {"2b1k3/8/b7/8/8/8/8/4K3", 4, -(710 - 17)},
      {"rnbqkbnr/qqpppppp/8/8/8/8/QQPPPPPP/RNBQKBNR", 64, 0},  // 92 uncapped
      {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3", 16, 0},
      {"r3k3/8/8/8/8/8/8/4KN2", 6, (-217 * 6 - 191 * 58) / 64},  // knight f1 (-42, -16)
  };
  for (const Case& c : cases) {
    Board b = BoardFromFen(std::string(c.board) + " w - - 0 1");
    EXPECT_EQ(GamePhase(b), c.phase) << c.board;
    EXPECT_EQ(Evaluate(b), c.white) << c.board;
    b.sideToMove = Black;
    EXPECT_EQ(Evaluate(b), -c.white) << c.board;
  }
}

}  // namespace
}  // namespace quarn::test
