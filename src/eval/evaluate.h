// The static evaluation: material, placement and the bishop pair, each an
// opening/endgame pair blended by the material left on the board, seen from
// the side to move. The search also asks for it one move ahead without making
// the move (EvaluateAfter).
#pragma once

#include "position/board.h"

namespace quarn {

// What each piece type adds to the game phase.
constexpr int PhaseWeight[] = {0, 1, 2, 2, 4, 8, 0};
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

inline int BishopPairs(int whiteBishops, int blackBishops) {
  return (whiteBishops >= 2 ? BishopPairBonus : 0) - (blackBishops >= 2 ? BishopPairBonus : 0);
}

// material (White's minus Black's, with the bishop pairs) and the blended
// placement, from the side's point of view.
inline int ScoreFor(Color side, int material, ScorePair placement, int phase) {
  const int score = material + BlendByPhase(phase, placement);
  return side == White ? score : -score;
}

inline int Evaluate(const Board& b) {
  const int material = OpeningOf(SubScores(b.materialSum[White], b.materialSum[Black])) +
                       BishopPairs(b.pieceLists[White].countByType[Bishop], b.pieceLists[Black].countByType[Bishop]);
  return ScoreFor(b.sideToMove, material, SubScores(b.placementSum[White], b.placementSum[Black]), GamePhase(b));
}

// The largest half in the placement tables. Thirty-two pieces' worth stays
// far inside 16 bits, so a placement sum or difference never wraps and its
// halves add and subtract as plain ints.
constexpr int LargestPlacementHalf() {
  int largest = 0;
  for (const auto& byType : PieceSquareTable) {
    for (const auto& bySquare : byType) {
      for (const ScorePair v : bySquare) {
        const int o = OpeningOf(v) < 0 ? -OpeningOf(v) : OpeningOf(v),
                  e = EndgameOf(v) < 0 ? -EndgameOf(v) : EndgameOf(v);
        largest = o > largest ? o : largest;
        largest = e > largest ? e : largest;
      }
    }
  }
  return largest;
}
static_assert(2 * 32 * LargestPlacementHalf() < 32768);

// What Evaluate reads of a position, White's minus Black's, ready for
// EvaluateAfter: a move that takes nothing changes only the placement, and
// the blend is linear before its division.
struct EvalTerms {
  int material;         // with the bishop pairs
  ScorePair placement;  // each half wrapping at 16 bits, as the sums do
  int phase;            // capped
  int blend;            // opening * phase + endgame * (64 - phase) of the placement, not yet divided
  int bareMaterial;     // without the bishop pairs
  int uncappedPhase;
  int bishops[ColorCount];
};

inline EvalTerms EvalTermsOf(const Board& b) {
  EvalTerms t;
  t.bareMaterial = OpeningOf(SubScores(b.materialSum[White], b.materialSum[Black]));
  t.bishops[White] = b.pieceLists[White].countByType[Bishop];
  t.bishops[Black] = b.pieceLists[Black].countByType[Bishop];
  t.material = t.bareMaterial + BishopPairs(t.bishops[White], t.bishops[Black]);
  t.placement = SubScores(b.placementSum[White], b.placementSum[Black]);
  t.uncappedPhase = UncappedPhase(b);
  t.phase = CappedPhase(t.uncappedPhase);
  t.blend = OpeningOf(t.placement) * t.phase + EndgameOf(t.placement) * (MaxPhase - t.phase);
  return t;
}

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
  const ScorePair onTo = PieceSquareTable[Us][mover][to], onFrom = PieceSquareTable[Us][mover][from];
  if (taken == Empty) {
    const int step = (OpeningOf(onTo) - OpeningOf(onFrom)) * before.phase +
                     (EndgameOf(onTo) - EndgameOf(onFrom)) * (MaxPhase - before.phase);
    const int score = before.material + (before.blend + (Us == White ? step : -step)) / MaxPhase;
    return Them == White ? score : -score;
  }
  // Us gains the mover's step and Them loses the taken piece's square.
  const ScorePair gain = AddScores(SubScores(onTo, onFrom), PieceSquareTable[Them][taken][to]);
  const ScorePair placement = Us == White ? AddScores(before.placement, gain) : SubScores(before.placement, gain);
  int bishops[ColorCount] = {before.bishops[White], before.bishops[Black]};
  bishops[Them] -= taken == Bishop;
  const int value = OpeningOf(MaterialValue[taken]);
  const int material =
      before.bareMaterial + (Us == White ? value : -value) + BishopPairs(bishops[White], bishops[Black]);
  return ScoreFor(Them, material, placement, CappedPhase(before.uncappedPhase - PhaseWeight[taken]));
}

}  // namespace quarn
