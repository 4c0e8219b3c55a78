// Marseillais turns: a first move and a second move by the same side, packed
// in a MovePair. A first move that gives check ends the turn and stands
// alone; en passant is only possible as a first move; in the initial
// position White's turn is a single move.
#pragma once

#include "movegen/gives_check.h"
#include "movegen/legal.h"
#include "position/fen.h"

namespace quarn {

template <class PairList>
inline void AppendPair(PairList& list, Move first, Move second) {
  list.Append(ScoredPair{MakePairWord(first, second), 0});
}

// Appends (first, m2) for every second move of Us in the position after the
// first move: castling allowed, en passant not.
template <Color Us, class PairList>
inline void AppendSecondMoves(const Board& b, PairList& list, Move first) {
  FixedMoveList seconds;
  GenerateMoves<Us, true, false>(b, seconds);
  for (int j = 0; j < seconds.Count(); ++j) AppendPair(list, first, seconds.At(j).move);
}

// The pseudo-legal turns of a side not in check. A first move is expanded
// only when it passed the make-and-test where it needed one; checking first
// moves are listed alone and untested.
template <Color Us, class PairList>
inline void GenerateTurns(Board& b, PairList& list, bool& escapeFound) {
  constexpr Color Them = Opponent(Us);
  escapeFound = false;
  const uint64_t pinMask = PinnedPieces<Us>(b);
  FixedMoveList firsts;
  GenerateMoves<Us, true, true>(b, firsts);
  for (int i = 0; i < firsts.Count(); ++i) {
    const Move m1 = firsts.At(i).move;
    const bool needsTest = NeedsLegalityTest(b, m1, pinMask);
    if (GivesCheck<Us>(b, m1)) {
      AppendPair(list, m1, 0);
      continue;
    }
    UndoRecord u;
    MakeMoveT<Us, false, false>(b, m1, u);
    if (!needsTest || !IsSquareAttacked<Them>(b, b.KingSquare(Us))) AppendSecondMoves<Us>(b, list, m1);
    UnmakeMoveT<Us, false, false>(b, m1, u);
  }
}

// The pseudo-legal turns of a side in check; escapeFound tells whether some
// non-checking evasion left the king safe (whether or not a second move
// followed it).
template <Color Us, class PairList>
inline void GenerateTurnsInCheck(Board& b, PairList& list, bool& escapeFound) {
  constexpr Color Them = Opponent(Us);
  escapeFound = false;
  FixedMoveList firsts;
  GenerateEvasions<Us>(b, firsts);
  for (int i = 0; i < firsts.Count(); ++i) {
    const Move m1 = firsts.At(i).move;
    if (GivesCheck<Us>(b, m1)) {
      AppendPair(list, m1, 0);
      continue;
    }
    UndoRecord u;
    MakeMoveT<Us, false, false>(b, m1, u);
    if (!IsSquareAttacked<Them>(b, b.KingSquare(Us))) {
      escapeFound = true;
      AppendSecondMoves<Us>(b, list, m1);
    }
    UnmakeMoveT<Us, false, false>(b, m1, u);
  }
}

template <Color Us, class PairList>
inline void GenerateSingleTurns(const Board& b, PairList& list) {
  FixedMoveList moves;
  GenerateMoves<Us, true, true>(b, moves);
  for (int i = 0; i < moves.Count(); ++i) AppendPair(list, moves.At(i).move, 0);
}

template <Color Us, class PairList>
inline void GenerateSingleTurnsInCheck(const Board& b, PairList& list) {
  FixedMoveList moves;
  GenerateEvasions<Us>(b, moves);
  for (int i = 0; i < moves.Count(); ++i) AppendPair(list, moves.At(i).move, 0);
}

// Every turn is made and Us's king tested: this removes checking one-move
// turns that expose the mover and pairs whose second move does.
template <Color Us, class PairList>
inline void FilterIllegalTurns(Board& b, PairList& list, int start) {
  RemoveIf(list, start, [&](const ScoredPair& e) {
    UndoRecord u[2];
    MakePairT<Us, false>(b, e.pair, u);
    const bool attacked = IsSquareAttacked<Opponent(Us)>(b, b.KingSquare(Us));
    UnmakePairT<Us, false>(b, e.pair, u);
    return attacked;
  });
}

template <Color Us, bool withFirstTurnRule, class PairList>
inline void GenerateLegalTurns(Board& b, PairList& list) {
  const int start = list.Count();
  if (withFirstTurnRule && IsInitialPosition(b)) {
    GenerateSingleTurns<Us>(b, list);
  } else {
    bool escapeFound;
    GenerateTurns<Us>(b, list, escapeFound);
  }
  FilterIllegalTurns<Us>(b, list, start);
}

template <Color Us, bool withFirstTurnRule, class PairList>
inline void GenerateLegalTurnsInCheck(Board& b, PairList& list) {
  const int start = list.Count();
  if (withFirstTurnRule && IsInitialPosition(b)) {
    GenerateSingleTurnsInCheck<Us>(b, list);
  } else {
    bool escapeFound;
    GenerateTurnsInCheck<Us>(b, list, escapeFound);
  }
  FilterIllegalTurns<Us>(b, list, start);
}

// The legal turns of the side to move with the first-turn rule, choosing the
// builder by the check test.
template <class PairList>
inline void GenerateLegalTurnsForSideToMove(Board& b, PairList& list) {
  const bool inCheck = SideToMoveInCheck(b);
  if (b.sideToMove == White) {
    if (inCheck)
      GenerateLegalTurnsInCheck<White, true>(b, list);
    else
      GenerateLegalTurns<White, true>(b, list);
  } else {
    if (inCheck)
      GenerateLegalTurnsInCheck<Black, true>(b, list);
    else
      GenerateLegalTurns<Black, true>(b, list);
  }
}

}  // namespace quarn
