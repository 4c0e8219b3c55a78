// Legal move lists of normal chess: pseudo-legal generation, then a make-and-
// test only for the moves that could expose the king (king moves, en passant,
// pinned pieces). Illegal moves are removed in place, keeping the order.
#pragma once

#include "movegen/generate.h"
#include "position/make_unmake.h"

namespace quarn {

// King moves and castling, en-passant captures (they empty two squares, so
// they are always tested) and moves of pinned pieces.
inline bool NeedsLegalityTest(const Board& b, Move m, uint64_t pinMask) {
  const Square from = MoveFrom(m);
  return b.typeAt[from] == King || MoveKindOf(m) == EnPassantMove || ((pinMask >> FromIndex(m)) & 1);
}

// Makes the move with the fast make, asks whether Us's king is attacked,
// takes the move back.
template <Color Us>
inline bool LeavesKingAttacked(Board& b, Move m) {
  UndoRecord u;
  MakeMoveT<Us, Sums::Skip, Flip::PassTurn>(b, m, u);
  const bool attacked = IsInCheck<Us>(b);
  UnmakeMoveT<Us, Sums::Skip, Flip::PassTurn>(b, m, u);
  return attacked;
}

// For a side not in check, the answer of the make-and-test for the moves
// that need it, found more cheaply where geometry suffices: a king step is
// illegal when its destination is attacked (no slider can see through the
// king's square without giving check, so the square it leaves does not
// matter); a pinned piece must stay on the ray from its king; castling and
// en passant are made and tested.
template <Color Us>
inline bool IsIllegalWhenNotInCheck(Board& b, Move m, uint64_t pinMask) {
  const Square from = MoveFrom(m);
  if (MoveKindOf(m) == EnPassantMove || MoveKindOf(m) == CastlingMove) return LeavesKingAttacked<Us>(b, m);
  if (b.typeAt[from] == King) return IsSquareAttacked<Opponent(Us)>(b, MoveTo(m));
  if (!((pinMask >> FromIndex(m)) & 1)) return false;
  const Square k = b.KingSquare(Us);
  return Direction(k, MoveTo(m)) != Direction(k, from);
}

// For a side to move that is not in check.
template <Color Us, class List>
inline void GenerateLegalMoves(Board& b, List& list) {
  const int start = list.Count();
  GenerateMoves<Us>(b, list);
  const uint64_t pinMask = PinnedPieces<Us>(b);
  RemoveIf(list, start, [&](const ScoredMove& e) { return IsIllegalWhenNotInCheck<Us>(b, e.move, pinMask); });
}

// For a side to move that is in check: every evasion is tested.
template <Color Us, class List>
inline void GenerateLegalEvasions(Board& b, List& list) {
  const int start = list.Count();
  GenerateEvasions<Us>(b, list);
  RemoveIf(list, start, [&](const ScoredMove& e) { return LeavesKingAttacked<Us>(b, e.move); });
}

// The candidate first moves of a turn: the evasions when Us is in check
// (each is then tested), otherwise every pseudo-legal move. Returns the pinned
// pieces that NeedsLegalityTest reads; none are needed in check.
template <Color Us, InCheck C, class List>
inline uint64_t GenerateCandidates(Board& b, List& list) {
  if constexpr (C == InCheck::Yes) {
    GenerateEvasions<Us>(b, list);
    return 0;
  } else {
    GenerateMoves<Us>(b, list);
    return PinnedPieces<Us>(b);
  }
}

template <Color Us, InCheck C, class List>
inline void GenerateLegal(Board& b, List& list) {
  if constexpr (C == InCheck::Yes)
    GenerateLegalEvasions<Us>(b, list);
  else
    GenerateLegalMoves<Us>(b, list);
}

}  // namespace quarn
