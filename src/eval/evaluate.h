// The static evaluation: material, placement and the bishop pair, each an
// opening/endgame pair blended by the material left on the board, seen from
// the side to move.
#pragma once

#include "position/board.h"

namespace quarn {

// Pawns 1, minor pieces 2, rooks 4, queens 8, both colours; 64 at most.
inline int GamePhase(const Board& b) {
  int phase = 0;
  for (const PieceList& list : b.pieceLists) {
    phase += list.countByType[Pawn] + 2 * (list.countByType[Knight] + list.countByType[Bishop]) +
             4 * list.countByType[Rook] + 8 * list.countByType[Queen];
  }
  return phase > 64 ? 64 : phase;
}

// (opening * phase + endgame * (64 - phase)) / 64, truncating toward zero.
inline int BlendByPhase(int phase, ScorePair s) { return (OpeningOf(s) * phase + EndgameOf(s) * (64 - phase)) / 64; }

inline int Evaluate(const Board& b) {
  constexpr ScorePair bishopPair = MakeScorePair(60, 60);
  ScorePair material = SubScores(b.materialSum[White], b.materialSum[Black]);
  if (b.pieceLists[White].countByType[Bishop] >= 2) material = AddScores(material, bishopPair);
  if (b.pieceLists[Black].countByType[Bishop] >= 2) material = SubScores(material, bishopPair);
  const ScorePair placement = SubScores(b.placementSum[White], b.placementSum[Black]);
  const int phase = GamePhase(b);
  const int score = BlendByPhase(phase, material) + BlendByPhase(phase, placement);
  return b.sideToMove == White ? score : -score;
}

}  // namespace quarn
