// The static evaluation: material, placement and the bishop pair, each an
// opening/endgame pair blended by the material left on the board, seen from
// the side to move. The search also asks for it one move ahead without making
// the move (EvaluateAfter).
#pragma once

#include "position/board.h"

namespace quarn {

// What each piece type adds to the game phase.
constexpr int PhaseWeight[7] = {0, 1, 2, 2, 4, 8, 0};
constexpr int MaxPhase = 64;
constexpr int BishopPairBonus = 60;

// Pawns 1, minor pieces 2, rooks 4, queens 8, both colours, not capped.
inline int UncappedPhase(const Board& b) {
  int phase = 0;
  for (const PieceList& list : b.pieceLists) {
    for (int type = Pawn; type <= Queen; ++type) phase += PhaseWeight[type] * list.countByType[type];
  }
  return phase;
}
inline int CappedPhase(int phase) { return phase > MaxPhase ? MaxPhase : phase; }
// 64 at most.
inline int GamePhase(const Board& b) { return CappedPhase(UncappedPhase(b)); }

// (opening * phase + endgame * (64 - phase)) / 64, truncating toward zero.
inline int BlendByPhase(int phase, ScorePair s) {
  return (OpeningOf(s) * phase + EndgameOf(s) * (MaxPhase - phase)) / MaxPhase;
}

// Material and the bishop pair have equal opening and endgame halves, and
// their blend is that value, so only the placement is blended. No side can
// hold material whose half overflows 16 bits (at most fifteen queens and the
// pair), so the material difference is an exact int.
constexpr bool MaterialHalvesAgree() {
  for (const ScorePair v : MaterialValue) {
    if (OpeningOf(v) != EndgameOf(v)) return false;
  }
  return true;
}
static_assert(MaterialHalvesAgree());
static_assert(15 * OpeningOf(MaterialValue[Queen]) + BishopPairBonus < 32768);

// The terms of the evaluation, White's minus Black's.
struct EvalTerms {
  int material;         // without the bishop pairs
  ScorePair placement;  // each half wrapping at 16 bits, as the sums do
  int phase;            // uncapped
  int bishops[2];
};

inline EvalTerms EvalTermsOf(const Board& b) {
  return EvalTerms{OpeningOf(SubScores(b.materialSum[White], b.materialSum[Black])),
                   SubScores(b.placementSum[White], b.placementSum[Black]),
                   UncappedPhase(b),
                   {b.pieceLists[White].countByType[Bishop], b.pieceLists[Black].countByType[Bishop]}};
}

inline int ScoreTerms(const EvalTerms& t, Color side) {
  const int pairs = (t.bishops[White] >= 2 ? BishopPairBonus : 0) - (t.bishops[Black] >= 2 ? BishopPairBonus : 0);
  const int score = t.material + pairs + BlendByPhase(CappedPhase(t.phase), t.placement);
  return side == White ? score : -score;
}

inline int Evaluate(const Board& b) { return ScoreTerms(EvalTermsOf(b), b.sideToMove); }

// Evaluate of the position after Us's move m, from Them's side, for a move
// that is neither castling, en passant nor a promotion (its piece moves from
// one square to another and takes whatever stands there), without making it.
// `before` is EvalTermsOf the position before the move. An empty target
// square takes nothing: its type's tables are all zero.
template <Color Us>
inline int EvaluateAfter(const Board& b, const EvalTerms& before, Move m) {
  constexpr Color Them = Opponent(Us);
  const Square from = MoveFrom(m), to = MoveTo(m);
  const int mover = b.typeAt[from], taken = b.typeAt[to];
  // Us gains the mover's step and Them loses the taken piece's square.
  const ScorePair gain = AddScores(SubScores(PieceSquareTable[Us][mover][to], PieceSquareTable[Us][mover][from]),
                                   PieceSquareTable[Them][taken][to]);
  EvalTerms after = before;
  if constexpr (Us == White) {
    after.placement = AddScores(before.placement, gain);
    after.material += OpeningOf(MaterialValue[taken]);
  } else {
    after.placement = SubScores(before.placement, gain);
    after.material -= OpeningOf(MaterialValue[taken]);
  }
  after.phase -= PhaseWeight[taken];
  after.bishops[Them] -= taken == Bishop;
  return ScoreTerms(after, Them);
}

}  // namespace quarn
