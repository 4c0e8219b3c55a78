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
  return b.typeAt[from] == King || MoveKindOf(m) == EnPassantMove || ((pinMask >> (m & 63)) & 1);
}

// Makes the move with the fast make, asks whether Us's king is attacked,
// takes the move back.
template <Color Us>
inline bool LeavesKingAttacked(Board& b, Move m) {
  UndoRecord u;
  MakeMoveT<Us, false, true>(b, m, u);
  const bool attacked = IsSquareAttacked<Opponent(Us)>(b, b.KingSquare(Us));
  UnmakeMoveT<Us, false, true>(b, m, u);
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
  if (!((pinMask >> (m & 63)) & 1)) return false;
  const Square k = b.KingSquare(Us);
  return Direction(k, MoveTo(m)) != Direction(k, from);
}

// For a side to move that is not in check.
template <Color Us, class List>
inline void GenerateLegalMoves(Board& b, List& list) {
  const int start = list.Count();
  GenerateMoves<Us, true, true>(b, list);
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

// The legal moves of the side to move, choosing the builder by the check test.
template <class List>
inline void GenerateLegalMovesForSideToMove(Board& b, List& list) {
  const bool inCheck = SideToMoveInCheck(b);
  if (b.sideToMove == White) {
    if (inCheck)
      GenerateLegalEvasions<White>(b, list);
    else
      GenerateLegalMoves<White>(b, list);
  } else {
    if (inCheck)
      GenerateLegalEvasions<Black>(b, list);
    else
      GenerateLegalMoves<Black>(b, list);
  }
}

}  // namespace quarn
