// Making and taking back moves in place, with a four-byte undo record. The
// full flavour keeps the evaluation sums; the fast flavour touches only the
// board, lists, rights and en-passant square. Each comes with and without the
// side-to-move flip (the flip-less form plays the first move of a
// Marseillais turn).
#pragma once

#include "position/board.h"
#include "position/position.h"

namespace quarn {

// Debug builds with QUARN_CHECK_INVARIANTS verify the whole board after every
// make and unmake (sums only for the full flavour, which keeps them).
#ifdef QUARN_CHECK_INVARIANTS
#define QUARN_VERIFY_BOARD(b, sums, where) AbortOnInconsistentBoard(b, sums, where)
#else
#define QUARN_VERIFY_BOARD(b, sums, where) ((void)0)
#endif

namespace detail {

// The colour of the piece is known to every caller at compile time, which
// spares reading it before the tables can be indexed.
template <bool Full, Color C>
inline void RemovePiece(Board& b, Square sq) {
  const int type = b.typeAt[sq];
  if constexpr (Full) {
    b.materialSum[C] = SubScores(b.materialSum[C], MaterialValue[type]);
    b.placementSum[C] = SubScores(b.placementSum[C], PieceSquareTable[C][type][sq]);
  }
  PieceList& list = b.pieceLists[C];
  list.squares[b.slotAt[sq]] = NoSquare;
  --list.countByType[type];
  --list.total;
  b.colorAt[sq] = NoColor;
  b.typeAt[sq] = Empty;
  b.slotAt[sq] = EmptySlot;
}

template <bool Full, Color C>
inline void MovePiece(Board& b, Square from, Square to) {
  const int type = b.typeAt[from];
  if constexpr (Full) {
    b.placementSum[C] =
        AddScores(b.placementSum[C], SubScores(PieceSquareTable[C][type][to], PieceSquareTable[C][type][from]));
  }
  b.colorAt[to] = uint8_t(C);
  b.typeAt[to] = uint8_t(type);
  b.slotAt[to] = b.slotAt[from];
  b.pieceLists[C].squares[b.slotAt[from]] = to;
  b.colorAt[from] = NoColor;
  b.typeAt[from] = Empty;
  b.slotAt[from] = EmptySlot;
}

template <bool Full, Color C>
inline void PromotePiece(Board& b, Square sq, int type) {
  if constexpr (Full) {
    b.materialSum[C] = AddScores(b.materialSum[C], SubScores(MaterialValue[type], MaterialValue[Pawn]));
    b.placementSum[C] =
        AddScores(b.placementSum[C], SubScores(PieceSquareTable[C][type][sq], PieceSquareTable[C][Pawn][sq]));
  }
  b.typeAt[sq] = uint8_t(type);
  --b.pieceLists[C].countByType[Pawn];
  ++b.pieceLists[C].countByType[type];
}

template <bool Full, Color C>
inline void DemotePiece(Board& b, Square sq) {
  const int type = b.typeAt[sq];
  if constexpr (Full) {
    b.materialSum[C] = SubScores(b.materialSum[C], SubScores(MaterialValue[type], MaterialValue[Pawn]));
    b.placementSum[C] =
        SubScores(b.placementSum[C], SubScores(PieceSquareTable[C][type][sq], PieceSquareTable[C][Pawn][sq]));
  }
  b.typeAt[sq] = Pawn;
  --b.pieceLists[C].countByType[type];
  ++b.pieceLists[C].countByType[Pawn];
}

// Puts a captured piece back into its old slot.
template <bool Full>
inline void RestorePiece(Board& b, Color c, Square sq, int type, int slot) {
  b.colorAt[sq] = uint8_t(c);
  b.typeAt[sq] = uint8_t(type);
  b.slotAt[sq] = uint8_t(slot);
  PieceList& list = b.pieceLists[c];
  list.squares[slot] = sq;
  ++list.countByType[type];
  ++list.total;
  if constexpr (Full) {
    b.materialSum[c] = AddScores(b.materialSum[c], MaterialValue[type]);
    b.placementSum[c] = AddScores(b.placementSum[c], PieceSquareTable[c][type][sq]);
  }
}

// Rook squares of the four castlings, by castling code.
inline constexpr Square CastlingRookFrom[4] = {0x07, 0x00, 0x77, 0x70};
inline constexpr Square CastlingRookTo[4] = {0x05, 0x03, 0x75, 0x73};

}  // namespace detail

// Plays a pseudo-legal move of Us (the side to move).
template <Color Us, bool Full, bool Flip>
inline void MakeMoveT(Board& b, Move m, UndoRecord& u) {
  const Square from = MoveFrom(m), to = MoveTo(m);
  u.oldEpSquare = b.epSquare;
  u.oldCastlingRights = b.castlingRights;
  switch (MoveKindOf(m)) {
    case NormalMove:
      u.captured = b.typeAt[to];
      u.capturedSlot = b.slotAt[to];
      if (b.colorAt[to] != NoColor) detail::RemovePiece<Full, Opponent(Us)>(b, to);
      detail::MovePiece<Full, Us>(b, from, to);
      b.epSquare = MoveExtra(m) == 1 ? Square(to - PawnPushStep[Us]) : NoSquare;
      b.castlingRights &= uint8_t(~(CastlingMaskTo[to] | CastlingMaskFrom[from]));
      break;
    case PromotionMove:
      u.captured = b.typeAt[to];
      u.capturedSlot = b.slotAt[to];
      if (b.colorAt[to] != NoColor) detail::RemovePiece<Full, Opponent(Us)>(b, to);
      detail::MovePiece<Full, Us>(b, from, to);
      detail::PromotePiece<Full, Us>(b, to, MoveExtra(m) + 2);
      b.epSquare = NoSquare;
      b.castlingRights &= uint8_t(~CastlingMaskTo[to]);
      break;
    case CastlingMove: {
      const int code = MoveExtra(m);
      u.captured = Empty;
      u.capturedSlot = EmptySlot;
      detail::MovePiece<Full, Us>(b, from, to);
      detail::MovePiece<Full, Us>(b, detail::CastlingRookFrom[code], detail::CastlingRookTo[code]);
      b.epSquare = NoSquare;
      b.castlingRights &= uint8_t(~CastlingMaskFrom[from]);
      break;
    }
    default: {  // en passant: the captured pawn stands behind the target square
      const Square captured = Square(to - PawnPushStep[Us]);
      u.captured = Pawn;
      u.capturedSlot = b.slotAt[captured];
      detail::RemovePiece<Full, Opponent(Us)>(b, captured);
      detail::MovePiece<Full, Us>(b, from, to);
      b.epSquare = NoSquare;
      break;
    }
  }
  if constexpr (Flip) b.sideToMove = Opponent(Us);
  QUARN_VERIFY_BOARD(b, Full, "make");
}

// Takes back a move of Us made by MakeMoveT with the same flavour.
template <Color Us, bool Full, bool Flip>
inline void UnmakeMoveT(Board& b, Move m, const UndoRecord& u) {
  constexpr Color Them = Opponent(Us);
  if constexpr (Flip) b.sideToMove = Us;
  const Square from = MoveFrom(m), to = MoveTo(m);
  switch (MoveKindOf(m)) {
    case PromotionMove:
      detail::DemotePiece<Full, Us>(b, to);
      [[fallthrough]];
    case NormalMove:
      detail::MovePiece<Full, Us>(b, to, from);
      if (u.captured != Empty) detail::RestorePiece<Full>(b, Them, to, u.captured, u.capturedSlot);
      break;
    case CastlingMove: {
      const int code = MoveExtra(m);
      detail::MovePiece<Full, Us>(b, detail::CastlingRookTo[code], detail::CastlingRookFrom[code]);
      detail::MovePiece<Full, Us>(b, to, from);
      break;
    }
    default:
      detail::MovePiece<Full, Us>(b, to, from);
      detail::RestorePiece<Full>(b, Them, Square(to - PawnPushStep[Us]), Pawn, u.capturedSlot);
      break;
  }
  b.epSquare = u.oldEpSquare;
  b.castlingRights = u.oldCastlingRights;
  QUARN_VERIFY_BOARD(b, Full, "unmake");
}

// Run-time entries that pick the colour from sideToMove (for unmake: the
// mover, which is the side to move again once the flip is undone).
template <bool Full, bool Flip>
inline void MakeMoveDispatch(Board& b, Move m, UndoRecord& u) {
  if (b.sideToMove == White)
    MakeMoveT<White, Full, Flip>(b, m, u);
  else
    MakeMoveT<Black, Full, Flip>(b, m, u);
}
template <bool Full, bool Flip>
inline void UnmakeMoveDispatch(Board& b, Move m, const UndoRecord& u) {
  const bool whiteMoved = Flip ? b.sideToMove == Black : b.sideToMove == White;
  if (whiteMoved)
    UnmakeMoveT<White, Full, Flip>(b, m, u);
  else
    UnmakeMoveT<Black, Full, Flip>(b, m, u);
}

inline void MakeMove(Board& b, Move m, UndoRecord& u) { MakeMoveDispatch<true, true>(b, m, u); }
inline void UnmakeMove(Board& b, Move m, const UndoRecord& u) { UnmakeMoveDispatch<true, true>(b, m, u); }
inline void MakeMoveKeepSide(Board& b, Move m, UndoRecord& u) { MakeMoveDispatch<true, false>(b, m, u); }
inline void UnmakeMoveKeepSide(Board& b, Move m, const UndoRecord& u) { UnmakeMoveDispatch<true, false>(b, m, u); }
inline void MakeMoveFast(Board& b, Move m, UndoRecord& u) { MakeMoveDispatch<false, true>(b, m, u); }
inline void UnmakeMoveFast(Board& b, Move m, const UndoRecord& u) { UnmakeMoveDispatch<false, true>(b, m, u); }
inline void MakeMoveFastKeepSide(Board& b, Move m, UndoRecord& u) { MakeMoveDispatch<false, false>(b, m, u); }
inline void UnmakeMoveFastKeepSide(Board& b, Move m, const UndoRecord& u) { UnmakeMoveDispatch<false, false>(b, m, u); }

// A turn: a one-move turn is that move with the flip; otherwise the first
// move keeps the side and the second passes the turn.
template <Color Us, bool Full>
inline void MakePairT(Board& b, MovePair p, UndoRecord u[2]) {
  if (IsSingleTurn(p)) {
    MakeMoveT<Us, Full, true>(b, FirstOf(p), u[0]);
  } else {
    MakeMoveT<Us, Full, false>(b, FirstOf(p), u[0]);
    MakeMoveT<Us, Full, true>(b, SecondOf(p), u[1]);
  }
}
template <Color Us, bool Full>
inline void UnmakePairT(Board& b, MovePair p, const UndoRecord u[2]) {
  if (IsSingleTurn(p)) {
    UnmakeMoveT<Us, Full, true>(b, FirstOf(p), u[0]);
  } else {
    UnmakeMoveT<Us, Full, true>(b, SecondOf(p), u[1]);
    UnmakeMoveT<Us, Full, false>(b, FirstOf(p), u[0]);
  }
}

inline void MakePair(Board& b, MovePair p, UndoRecord u[2]) {
  if (b.sideToMove == White)
    MakePairT<White, true>(b, p, u);
  else
    MakePairT<Black, true>(b, p, u);
}
inline void UnmakePair(Board& b, MovePair p, const UndoRecord u[2]) {
  if (b.sideToMove == Black)
    UnmakePairT<White, true>(b, p, u);
  else
    UnmakePairT<Black, true>(b, p, u);
}
inline void MakePairFast(Board& b, MovePair p, UndoRecord u[2]) {
  if (b.sideToMove == White)
    MakePairT<White, false>(b, p, u);
  else
    MakePairT<Black, false>(b, p, u);
}
inline void UnmakePairFast(Board& b, MovePair p, const UndoRecord u[2]) {
  if (b.sideToMove == Black)
    UnmakePairT<White, false>(b, p, u);
  else
    UnmakePairT<Black, false>(b, p, u);
}

}  // namespace quarn
