// Making and taking back moves in place, with a four-byte undo record. With
// Sums::Keep the evaluation sums are kept too; Sums::Skip touches only the
// board, lists, rights and en-passant square. Flip::KeepSide leaves the turn
// with the mover (the first move of a Marseillais turn).
#pragma once

#include "position/board.h"
#include "position/position.h"

namespace quarn {

// Debug builds with QUARN_CHECK_INVARIANTS verify the whole board after every
// make and unmake (sums only when they are kept).
#ifdef QUARN_CHECK_INVARIANTS
#define QUARN_VERIFY_BOARD(b, sums, where) AbortOnInconsistentBoard(b, sums, where)
#else
#define QUARN_VERIFY_BOARD(b, sums, where) ((void)0)
#endif

namespace detail {

// The colour of the piece is known to every caller at compile time, which
// spares reading it before the tables can be indexed.
template <Sums S, Color C>
inline void RemovePiece(Board& b, Square sq) {
  const int type = b.typeAt[sq];
  if constexpr (S == Sums::Keep) {
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

template <Sums S, Color C>
inline void MovePiece(Board& b, Square from, Square to) {
  const int type = b.typeAt[from];
  if constexpr (S == Sums::Keep) {
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

// A pawn promoted (oldType Pawn) or a promotion taken back (newType Pawn).
template <Sums S, Color C>
inline void ChangeType(Board& b, Square sq, int oldType, int newType) {
  if constexpr (S == Sums::Keep) {
    b.materialSum[C] = AddScores(b.materialSum[C], SubScores(MaterialValue[newType], MaterialValue[oldType]));
    b.placementSum[C] =
        AddScores(b.placementSum[C], SubScores(PieceSquareTable[C][newType][sq], PieceSquareTable[C][oldType][sq]));
  }
  b.typeAt[sq] = uint8_t(newType);
  --b.pieceLists[C].countByType[oldType];
  ++b.pieceLists[C].countByType[newType];
}

}  // namespace detail

// Plays a pseudo-legal move of Us (the side to move).
template <Color Us, Sums S, Flip F>
inline void MakeMoveT(Board& b, Move m, UndoRecord& u) {
  const Square from = MoveFrom(m), to = MoveTo(m);
  u.oldEpSquare = b.epSquare;
  u.oldCastlingRights = b.castlingRights;
  switch (MoveKindOf(m)) {
    case NormalMove:
      u.captured = b.typeAt[to];
      u.capturedSlot = b.slotAt[to];
      if (b.colorAt[to] != NoColor) detail::RemovePiece<S, Opponent(Us)>(b, to);
      detail::MovePiece<S, Us>(b, from, to);
      b.epSquare = MoveExtra(m) == DoublePushFlag ? Square(to - PawnPushStep[Us]) : NoSquare;
      b.castlingRights &= uint8_t(~(CastlingMaskTo[to] | CastlingMaskFrom[from]));
      break;
    case PromotionMove:
      u.captured = b.typeAt[to];
      u.capturedSlot = b.slotAt[to];
      if (b.colorAt[to] != NoColor) detail::RemovePiece<S, Opponent(Us)>(b, to);
      detail::MovePiece<S, Us>(b, from, to);
      detail::ChangeType<S, Us>(b, to, Pawn, PromotedType(m));
      b.epSquare = NoSquare;
      b.castlingRights &= uint8_t(~CastlingMaskTo[to]);
      break;
    case CastlingMove: {
      const int code = MoveExtra(m);
      u.captured = Empty;
      u.capturedSlot = EmptySlot;
      detail::MovePiece<S, Us>(b, from, to);
      detail::MovePiece<S, Us>(b, CastlingRookFrom[code], CastlingRookTo[code]);
      b.epSquare = NoSquare;
      b.castlingRights &= uint8_t(~CastlingMaskFrom[from]);
      break;
    }
    default: {  // en passant: the captured pawn stands behind the target square
      const Square captured = Square(to - PawnPushStep[Us]);
      u.captured = Pawn;
      u.capturedSlot = b.slotAt[captured];
      detail::RemovePiece<S, Opponent(Us)>(b, captured);
      detail::MovePiece<S, Us>(b, from, to);
      b.epSquare = NoSquare;
      break;
    }
  }
  if constexpr (F == Flip::PassTurn) b.sideToMove = Opponent(Us);
  QUARN_VERIFY_BOARD(b, S == Sums::Keep, "make");
}

// Takes back a move of Us made by MakeMoveT with the same flavour.
template <Color Us, Sums S, Flip F>
inline void UnmakeMoveT(Board& b, Move m, const UndoRecord& u) {
  constexpr Color Them = Opponent(Us);
  if constexpr (F == Flip::PassTurn) b.sideToMove = Us;
  const Square from = MoveFrom(m), to = MoveTo(m);
  switch (MoveKindOf(m)) {
    case PromotionMove:
      detail::ChangeType<S, Us>(b, to, b.typeAt[to], Pawn);
      [[fallthrough]];
    case NormalMove:
      detail::MovePiece<S, Us>(b, to, from);
      if (u.captured != Empty) PutPiece<S>(b, Them, to, u.captured, u.capturedSlot);
      break;
    case CastlingMove: {
      const int code = MoveExtra(m);
      detail::MovePiece<S, Us>(b, CastlingRookTo[code], CastlingRookFrom[code]);
      detail::MovePiece<S, Us>(b, to, from);
      break;
    }
    default:
      detail::MovePiece<S, Us>(b, to, from);
      PutPiece<S>(b, Them, Square(to - PawnPushStep[Us]), Pawn, u.capturedSlot);
      break;
  }
  b.epSquare = u.oldEpSquare;
  b.castlingRights = u.oldCastlingRights;
  QUARN_VERIFY_BOARD(b, S == Sums::Keep, "unmake");
}

// The evaluation sums before a make that keeps them: the take-back can then
// skip them (Sums::Skip) and put them back whole.
struct SumsRecord {
  ScorePair material[ColorCount];
  ScorePair placement[ColorCount];
};
inline SumsRecord SaveSums(const Board& b) {
  return SumsRecord{{b.materialSum[White], b.materialSum[Black]}, {b.placementSum[White], b.placementSum[Black]}};
}
inline void RestoreSums(Board& b, const SumsRecord& s) {
  b.materialSum[White] = s.material[White];
  b.materialSum[Black] = s.material[Black];
  b.placementSum[White] = s.placement[White];
  b.placementSum[Black] = s.placement[Black];
}

// A turn: a one-move turn is that move with the flip; otherwise the first
// move keeps the side and the second passes the turn.
template <Color Us, Sums S>
inline void MakePairT(Board& b, MovePair p, UndoRecord u[2]) {
  if (IsSingleTurn(p)) {
    MakeMoveT<Us, S, Flip::PassTurn>(b, FirstOf(p), u[0]);
  } else {
    MakeMoveT<Us, S, Flip::KeepSide>(b, FirstOf(p), u[0]);
    MakeMoveT<Us, S, Flip::PassTurn>(b, SecondOf(p), u[1]);
  }
}
template <Color Us, Sums S>
inline void UnmakePairT(Board& b, MovePair p, const UndoRecord u[2]) {
  if (IsSingleTurn(p)) {
    UnmakeMoveT<Us, S, Flip::PassTurn>(b, FirstOf(p), u[0]);
  } else {
    UnmakeMoveT<Us, S, Flip::PassTurn>(b, SecondOf(p), u[1]);
    UnmakeMoveT<Us, S, Flip::KeepSide>(b, FirstOf(p), u[0]);
  }
}

}  // namespace quarn
