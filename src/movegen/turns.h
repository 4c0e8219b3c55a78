// Marseillais turns: a first move and a second move by the same side, packed
// in a MovePair. A first move that gives check ends the turn and stands
// alone; en passant is only possible as a first move; in the initial
// position White's turn is a single move.
#pragma once

#include "movegen/gives_check.h"
#include "movegen/legal.h"

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
  GenerateMoves<Us, EnPassant::Without>(b, seconds);
  for (int j = 0; j < seconds.Count(); ++j) AppendPair(list, first, seconds.At(j).move);
}

// The pseudo-legal turns of Us. A first move is expanded only when it passed
// the make-and-test where it needed one (in check: always); checking first
// moves are listed alone and untested. In check, escapeFound tells whether
// some non-checking evasion left the king safe (whether or not a second move
// followed it); out of check it stays false.
template <Color Us, InCheck C, class PairList>
inline void GenerateTurns(Board& b, PairList& list, bool& escapeFound) {
  constexpr Color Them = Opponent(Us);
  escapeFound = false;
  FixedMoveList firsts;
  const uint64_t pinMask = GenerateCandidates<Us, C>(b, firsts);
  for (int i = 0; i < firsts.Count(); ++i) {
    const Move m1 = firsts.At(i).move;
    const bool needsTest = C == InCheck::Yes || NeedsLegalityTest(b, m1, pinMask);
    if (GivesCheck<Us>(b, m1)) {
      AppendPair(list, m1, NoMove);
      continue;
    }
    UndoRecord u;
    MakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
    if (!needsTest || !IsSquareAttacked<Them>(b, b.KingSquare(Us))) {
      if constexpr (C == InCheck::Yes) escapeFound = true;
      AppendSecondMoves<Us>(b, list, m1);
    }
    UnmakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
  }
}

// White's first turn of the game: every move (evasion in check) alone.
template <Color Us, InCheck C, class PairList>
inline void GenerateSingleTurns(const Board& b, PairList& list) {
  FixedMoveList moves;
  if constexpr (C == InCheck::Yes)
    GenerateEvasions<Us>(b, moves);
  else
    GenerateMoves<Us>(b, moves);
  for (int i = 0; i < moves.Count(); ++i) AppendPair(list, moves.At(i).move, NoMove);
}

// Every turn is made and Us's king tested: this removes checking one-move
// turns that expose the mover and pairs whose second move does.
template <Color Us, class PairList>
inline void FilterIllegalTurns(Board& b, PairList& list, int start) {
  RemoveIf(list, start, [&](const ScoredPair& e) {
    UndoRecord u[2];
    MakePairT<Us, Sums::Skip>(b, e.pair, u);
    const bool attacked = IsInCheck<Us>(b);
    UnmakePairT<Us, Sums::Skip>(b, e.pair, u);
    return attacked;
  });
}

template <Color Us, InCheck C, FirstTurnRule R, class PairList>
inline void GenerateLegalTurns(Board& b, PairList& list) {
  const int start = list.Count();
  if (R == FirstTurnRule::On && IsInitialPosition(b)) {
    GenerateSingleTurns<Us, C>(b, list);
  } else {
    bool escapeFound;
    GenerateTurns<Us, C>(b, list, escapeFound);
  }
  FilterIllegalTurns<Us>(b, list, start);
}

}  // namespace quarn
