// Whether a pseudo-legal move of Us will attack the opponent's king, decided
// before the move is made: direct attacks, discovered attacks, promotions and
// castling by geometry, en passant by making the move.
#pragma once

#include "position/attacks.h"
#include "position/make_unmake.h"

namespace quarn {

namespace detail {

// A slider moving along `lines` (LinesOf its type) on `to` sees K; the square
// it leaves does not block its new line.
inline bool SliderChecks(const Board& b, Square from, Square to, Square k, uint8_t lines) {
  const int d = Direction(to, k);
  if (d == 0) return false;
  if (!(lines & AttackKinds[d + DifferenceOffset])) return false;
  const Square except = Direction(from, k) == d ? from : NoSquare;
  return IsPathEmptyExcept(b, to, k, except);
}

inline bool KnightChecks(Square to, Square k) { return (AttackKinds[k - to + DifferenceOffset] & KnightAttack) != 0; }

// The piece leaving `from` uncovers a slider of colour c aimed at K.
template <Color C>
inline bool DiscoveredCheck(const Board& b, Square from, Square to, Square k) {
  const int d = Direction(from, k);
  if (d == 0 || Direction(to, k) == d) return false;
  if (!IsPathEmpty(b, from, k)) return false;
  const int s = FirstPieceAlong(b, from, -d);
  if (IsOffBoard(s) || b.colorAt[s] != C) return false;
  return SlidesAlong(b.typeAt[s], d);
}

inline bool PromotedPieceChecks(const Board& b, Square from, Square to, Square k, int type) {
  return WithPieceType<PieceSet::Officers>(type, [&]<int Type>(TypeTag<Type>) {
    if constexpr (Type == Knight)
      return KnightChecks(to, k);
    else
      return SliderChecks(b, from, to, k, LinesOf<Type>);
  });
}

// The rook's landing square decides; the king's old square counts as empty.
inline bool CastlingChecks(const Board& b, Move m, Square k) {
  const int code = MoveExtra(m);
  const Square rookTo = CastlingRookTo[code];
  if (RankOf(k) == RankOf(CastlingKingFrom[code])) return IsPathEmpty(b, CastlingKingFrom[code], k);
  if (FileOf(k) == FileOf(rookTo)) return IsPathEmpty(b, rookTo, k);
  return false;
}

// The kinds of attack (AttackKinds) by which a piece of each type could
// check a king from the square it moves to: a pawn's capture steps are king
// steps; a king moving normally checks only by discovery.
inline constexpr uint8_t CheckKindsByType[PieceTypeCount] = {
    0, KingAttack, KnightAttack, DiagonalLine, StraightLine, DiagonalLine | StraightLine, 0};

// The whole test, by the type of the moving piece: a direct attack from its
// new square (or the rook's, castling), else a discovered one.
template <Color Us>
inline bool GivesCheckByType(Board& b, Move m, Square from, Square to, Square k) {
  const bool direct = WithPieceType(b.typeAt[from], [&]<int Type>(TypeTag<Type>) {
    if constexpr (Type == Pawn) {
      if (MoveKindOf(m) == PromotionMove) return PromotedPieceChecks(b, from, to, k, PromotedType(m));
      if (MoveKindOf(m) == EnPassantMove) {
        // Two pieces leave their squares: only making the move tells.
        UndoRecord u;
        MakeMoveT<Us, Sums::Skip, Flip::PassTurn>(b, m, u);
        const bool check = IsSquareAttacked<Us>(b, k);
        UnmakeMoveT<Us, Sums::Skip, Flip::PassTurn>(b, m, u);
        return check;
      }
      return to + PawnCaptureSteps[Us][0] == k || to + PawnCaptureSteps[Us][1] == k;
    } else if constexpr (Type == Knight) {
      return KnightChecks(to, k);
    } else if constexpr (Type == King) {
      return MoveKindOf(m) == CastlingMove && CastlingChecks(b, m, k);
    } else {
      return SliderChecks(b, from, to, k, LinesOf<Type>);
    }
  });
  return direct || DiscoveredCheck<Us>(b, from, to, k);
}

}  // namespace detail

// Most moves are ruled out by two lookups: a normal move whose piece cannot
// attack the king from its new square, from a square off every line to the
// king (so that it uncovers nothing), gives no check.
template <Color Us>
[[gnu::always_inline]] inline bool GivesCheck(Board& b, Move m) {
  const Square k = b.KingSquare(Opponent(Us));
  const Square from = MoveFrom(m), to = MoveTo(m);
  if (MoveKindOf(m) == NormalMove &&
      !(AttackKinds[k - to + DifferenceOffset] & detail::CheckKindsByType[b.typeAt[from]]) &&
      !(AttackKinds[k - from + DifferenceOffset] & (DiagonalLine | StraightLine)))
    return false;
  return detail::GivesCheckByType<Us>(b, m, from, to, k);
}

// The check-giving rule of a Marseillais turn: its first move checks, or its
// second move checks once the first has been made.
template <Color Us>
inline bool TurnGivesCheck(Board& b, MovePair p) {
  const Move first = FirstOf(p), second = SecondOf(p);
  if (GivesCheck<Us>(b, first)) return true;
  if (second == 0) return false;
  UndoRecord u;
  MakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, first, u);
  const bool check = GivesCheck<Us>(b, second);
  UnmakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, first, u);
  return check;
}

}  // namespace quarn
