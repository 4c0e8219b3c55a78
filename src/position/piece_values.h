// Material values and piece-square tables, opening and endgame halves in a
// ScorePair: the evaluation's terms, kept here below the board because make
// and unmake keep their sums (Board::materialSum, placementSum). The tables
// are computed at compile time from a handful of small component tables
// (rings around the centre, corners, long diagonals, the king's distance
// from its castled squares), then mirrored left-right and, for Black, top to
// bottom.
#pragma once

#include <array>

#include "position/types.h"

namespace quarn {

struct EvalTables {
  ScorePair materialValue[PieceTypeCount];
  ScorePair pieceSquare[ColorCount][PieceTypeCount][SquareArraySize];
};

namespace detail {

constexpr int PawnRing[] = {3, 1, 0, 0};
constexpr int PawnFile[] = {-2, 0, 0, 0};
constexpr int KnightRingOpening[] = {2, 1, 0, -2};
constexpr int KnightRingEndgame[] = {2, 1, 0, -2};
constexpr int KnightRank[] = {-4, -1, 0, 1, 2, 1, 0, -1};
constexpr int BishopRingOpening[] = {1, 0, 0, -1};
constexpr int BishopRingEndgame[] = {1, 0, 0, -1};
constexpr int BishopRank[] = {-4, 0, 0, 0, 0, 0, 0, 0};
constexpr int KingHomeDistance[] = {4, 2, 1, 0, -1, -2, -3, -4};
constexpr int KingRank[] = {4, 2, 0, -1, -2, -3, -4, -5};
constexpr int KingRingEndgame[] = {4, 2, 0, -2};

constexpr int Min(int a, int b) { return a < b ? a : b; }
constexpr int Max(int a, int b) { return a > b ? a : b; }
constexpr int Abs(int a) { return a < 0 ? -a : a; }

// Mirroring: files a-d copied onto h-e for White, then Black's entry on
// (file, rank) is White's on (file, 7 - rank).
constexpr void CompleteEvalTables(EvalTables& t) {
  for (int type = 1; type <= 6; ++type) {
    for (int r = 0; r < 8; ++r) {
      for (int f = 0; f < 4; ++f)
        t.pieceSquare[White][type][(r << 4) | (7 - f)] = t.pieceSquare[White][type][(r << 4) | f];
    }
    for (int r = 0; r < 8; ++r) {
      for (int f = 0; f < 8; ++f)
        t.pieceSquare[Black][type][(r << 4) | f] = t.pieceSquare[White][type][((7 - r) << 4) | f];
    }
  }
}

constexpr EvalTables ComputeEvalTables() {
  EvalTables t{};
  constexpr int material[] = {0, 100, 325, 325, 500, 975, 0};
  for (int type = 0; type < PieceTypeCount; ++type)
    t.materialValue[type] = MakeScorePair(material[type], material[type]);
  for (int r = 0; r < 8; ++r) {
    for (int f = 0; f < 4; ++f) {
      const int rd = Min(r, 7 - r);
      const int ring = 3 - Min(f, rd);
      const int corner = (f == 0 && (r == 0 || r == 7)) ? 1 : 0;
      const int diag = (f == r || f == 7 - r) ? 1 : 0;
      const int kd = Max(Abs(f - 1), r);  // from b1 (on files a-d, b1 is nearer than g1)
      auto at = [&](int type) -> ScorePair& { return t.pieceSquare[White][type][(r << 4) | f]; };
      at(Pawn) = MakeScorePair(8 * (PawnFile[f] + PawnRing[ring]), 0);
      at(Knight) = MakeScorePair(7 * (KnightRingOpening[ring] + KnightRank[r] - 8 * corner),
                                 8 * (KnightRingEndgame[ring] - 4 * corner));
      at(Bishop) = MakeScorePair(7 * (BishopRingOpening[ring] + BishopRank[r] + 2 * diag),
                                 8 * (BishopRingEndgame[ring] + 2 * diag));
      at(Rook) = 0;
      at(Queen) = 0;
      at(King) = MakeScorePair(8 * (KingHomeDistance[kd] + KingRank[r]), 8 * KingRingEndgame[ring]);
    }
  }
  CompleteEvalTables(t);
  return t;
}

}  // namespace detail

inline constexpr EvalTables EvalTableData = detail::ComputeEvalTables();
inline constexpr const ScorePair (&MaterialValue)[PieceTypeCount] = EvalTableData.materialValue;
inline constexpr const ScorePair (&PieceSquareTable)[ColorCount][PieceTypeCount][SquareArraySize] =
    EvalTableData.pieceSquare;

}  // namespace quarn
