// Attack, pin and line tests computed on demand from the 0x88 arrays.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>

#include "position/board.h"

namespace quarn {

// The first square from s along the step d (s itself not counted) that is
// off the board or holds a piece.
inline int FirstPieceAlong(const Board& b, int s, int d) {
  int t = s + d;
  while (!IsOffBoard(t) && b.colorAt[t] == NoColor) t += d;
  return t;
}

// Whether every square strictly between `from` and `to`, which lies along
// the step d from it, is empty.
inline bool IsRayEmpty(const Board& b, int from, int to, int d) {
  int t = from + d;
  while (t != to && b.colorAt[t] == NoColor) t += d;
  return t == to;
}

// A ray scan from s for the first piece of colour A that attacks it, in the
// order pawns, knights, king, diagonal sliders, orthogonal sliders (each in
// step-list order); true and the attacker's square, or false. The evasion
// generator uses it to name the checker.
template <Color A>
inline bool FindAttacker(const Board& b, Square s, Square& attacker) {
  // Whether `from` holds a piece of A of the type (or of `alsoType`), then
  // named the attacker.
  const auto holds = [&](int from, int type, int alsoType = Empty) {
    if (IsOffBoard(from) || b.colorAt[from] != A || (b.typeAt[from] != type && b.typeAt[from] != alsoType))
      return false;
    attacker = Square(from);
    return true;
  };
  for (int step : PawnCaptureSteps[A]) {
    if (holds(s - step, Pawn)) return true;
  }
  for (const int* d = KnightSteps; *d; ++d) {
    if (holds(s + *d, Knight)) return true;
  }
  for (const int* d = KingSteps; *d; ++d) {
    if (holds(s + *d, King)) return true;
  }
  for (const int* d = BishopSteps; *d; ++d) {
    if (holds(FirstPieceAlong(b, s, *d), Bishop, Queen)) return true;
  }
  for (const int* d = RookSteps; *d; ++d) {
    if (holds(FirstPieceAlong(b, s, *d), Rook, Queen)) return true;
  }
  return false;
}

// Which pieces can attack across a square difference (to - from +
// DifferenceOffset): the kinds by bit position, and as bits.
enum AttackKindIndex { KnightIndex, KingIndex, DiagonalIndex, StraightIndex, AttackKindCount };
enum AttackKind : uint8_t { KnightAttack = 1, KingAttack = 2, DiagonalLine = 4, StraightLine = 8 };
static_assert(KnightAttack == 1 << KnightIndex && KingAttack == 1 << KingIndex && DiagonalLine == 1 << DiagonalIndex &&
              StraightLine == 1 << StraightIndex);
inline constexpr std::array<uint8_t, DifferenceCount> AttackKinds = [] {
  std::array<uint8_t, DifferenceCount> t{};
  for (const int* d = KnightSteps; *d; ++d) t[DifferenceOffset + *d] |= KnightAttack;
  for (const int* d = KingSteps; *d; ++d) t[DifferenceOffset + *d] |= KingAttack;
  for (int i = 0; i < DifferenceCount; ++i) {
    for (const int* d = BishopSteps; *d; ++d) t[i] |= DirectionTable[i] == *d ? DiagonalLine : 0;
    for (const int* d = RookSteps; *d; ++d) t[i] |= DirectionTable[i] == *d ? StraightLine : 0;
  }
  return t;
}();

// Whether a piece of this type moves along the line of the queen step d.
inline bool SlidesAlong(int type, int d) {
  return type == Queen || type == (AttackKinds[d + DifferenceOffset] & DiagonalLine ? Bishop : Rook);
}

// The lines a slider of this type moves along.
template <int Type>
inline constexpr uint8_t LinesOf = Type == Bishop ? DiagonalLine
                                   : Type == Rook ? StraightLine
                                                  : DiagonalLine | StraightLine;

// The king's zone: its eight neighbours in KingSteps order (bits 0-7) and
// the two castling destinations two files away (bits 8 and 9).
inline constexpr int ZoneSteps[] = {15, 17, -15, -17, 16, 1, -16, -1, 2, -2};
constexpr int ZoneNeighbourCount = 8, ZoneSize = int(std::size(ZoneSteps));
static_assert(std::equal(ZoneSteps, ZoneSteps + ZoneNeighbourCount, KingSteps));
// The zone bit of the square one step of ZoneSteps from the king.
constexpr uint16_t ZoneBit(int step) {
  return uint16_t(1 << (std::find(std::begin(ZoneSteps), std::end(ZoneSteps), step) - std::begin(ZoneSteps)));
}
constexpr uint16_t ZoneNeighbours = (1 << ZoneNeighbourCount) - 1;
constexpr uint16_t ZoneShortPassing = ZoneBit(1), ZoneShortTarget = ZoneBit(2);
constexpr uint16_t ZoneLongPassing = ZoneBit(-1), ZoneLongTarget = ZoneBit(-2);

// Indexed by AttackKindIndex and by a piece's offset from a king (from - k +
// DifferenceOffset): the zone squares that a piece of that kind could reach,
// lines not yet checked for blockers.
inline constexpr std::array<std::array<uint16_t, DifferenceCount>, AttackKindCount> ZoneReach = [] {
  std::array<std::array<uint16_t, DifferenceCount>, AttackKindCount> t{};
  for (int offset = -DifferenceOffset; offset <= DifferenceOffset; ++offset) {
    for (int j = 0; j < ZoneSize; ++j) {
      const int difference = ZoneSteps[j] - offset;  // zone square minus the piece's square
      if (difference < -DifferenceOffset || difference > DifferenceOffset || difference == 0) continue;
      const uint8_t kinds = AttackKinds[difference + DifferenceOffset];
      for (int kind = 0; kind < AttackKindCount; ++kind) {
        if (kinds & (1 << kind)) t[kind][offset + DifferenceOffset] |= uint16_t(1 << j);
      }
    }
  }
  return t;
}();

// The zone squares among `targets` (all on the board) that A attacks, the
// king at k standing where it stands. Each attacker is looked at once for all
// the targets, rather than every target searching for attackers.
template <Color A>
inline uint16_t ZoneAttacks(const Board& b, Square k, uint16_t targets) {
  uint16_t attacked = 0;
  for (uint16_t rest = targets; rest; rest &= uint16_t(rest - 1)) {
    const int j = std::countr_zero(rest);
    const int s = k + ZoneSteps[j];
    for (int step : PawnCaptureSteps[A]) {
      const int from = s - step;
      if (!IsOffBoard(from) && b.typeAt[from] == Pawn && b.colorAt[from] == A) attacked |= uint16_t(1 << j);
    }
  }
  const PieceList& pieces = b.pieceLists[A];
  if (pieces.squares[0] != NoSquare) attacked |= ZoneReach[KingIndex][pieces.squares[0] - k + DifferenceOffset];
  VisitPieces<PieceSet::Officers>(b, pieces, [&]<int Type>(TypeTag<Type>, Square from) {
    const int offset = from - k + DifferenceOffset;
    if constexpr (Type == Knight) {
      attacked |= ZoneReach[KnightIndex][offset];
    } else {
      uint16_t lines = 0;
      if constexpr (Type != Rook) lines |= ZoneReach[DiagonalIndex][offset];
      if constexpr (Type != Bishop) lines |= ZoneReach[StraightIndex][offset];
      for (lines &= uint16_t(targets & ~attacked); lines; lines &= uint16_t(lines - 1)) {
        const int j = std::countr_zero(lines);
        const int s = k + ZoneSteps[j];
        if (IsRayEmpty(b, from, s, Direction(from, Square(s)))) attacked |= uint16_t(1 << j);
      }
    }
    return false;
  });
  return attacked & targets;
}

// Whether colour A attacks s, found from the attacker's side: pawns by
// their two squares, then the king and the pieces, each ruled out by one
// table lookup unless a slider shares a line with s.
template <Color A>
inline bool IsSquareAttacked(const Board& b, Square s) {
  for (int step : PawnCaptureSteps[A]) {
    const int from = s - step;
    if (!IsOffBoard(from) && b.typeAt[from] == Pawn && b.colorAt[from] == A) return true;
  }
  const PieceList& pieces = b.pieceLists[A];
  const Square king = pieces.squares[0];
  if (king != NoSquare && (AttackKinds[s - king + DifferenceOffset] & KingAttack)) return true;
  return VisitPieces<PieceSet::Officers>(b, pieces, [&]<int Type>(TypeTag<Type>, Square from) {
    const uint8_t kinds = AttackKinds[s - from + DifferenceOffset];
    if constexpr (Type == Knight) {
      return (kinds & KnightAttack) != 0;
    } else {
      return (kinds & LinesOf<Type>) != 0 && IsRayEmpty(b, from, s, Direction(from, s));
    }
  });
}

template <Color Us>
inline bool IsInCheck(const Board& b) {
  return IsSquareAttacked<Opponent(Us)>(b, b.KingSquare(Us));
}

// Run-time entries for callers outside the hot paths: the king of the side
// to move stands attacked; the side to move could take the other king.
inline bool SideToMoveInCheck(const Board& b) {
  return WithSideToMove(b, [&](auto us) { return IsInCheck<us>(b); });
}
inline bool SideNotToMoveInCheck(const Board& b) {
  return WithSideToMove(b, [&](auto us) { return IsInCheck<Opponent(us)>(b); });
}

// Bit rank * 8 + file for each piece of P that stands alone between P's king
// and an enemy slider moving along that line. Only the enemy sliders that
// share a suitable line with the king are walked: the set is the same as
// walking every ray from the king, found with far fewer steps.
template <Color P>
inline uint64_t PinnedPieces(const Board& b) {
  constexpr Color E = Opponent(P);
  const Square k = b.KingSquare(P);
  if (k == NoSquare) return 0;  // a king taken in a quiescence line pins nothing
  uint64_t pinned = 0;
  VisitPieces<PieceSet::Sliders>(b, b.pieceLists[E], [&]<int Type>(TypeTag<Type>, Square s) {
    if (!(AttackKinds[s - k + DifferenceOffset] & LinesOf<Type>)) return false;
    const int d = Direction(k, s);
    int p = k + d;
    while (b.colorAt[p] == NoColor) p += d;  // s lies on this ray, so the walk stops on the board
    if (p == s || b.colorAt[p] != P) return false;
    int q = p + d;
    while (b.colorAt[q] == NoColor) q += d;
    if (q == s) pinned |= uint64_t(1) << IndexOf(Square(p));
    return false;
  });
  return pinned;
}

// Whether the piece of P on s, on a line with P's king k (Direction(k, s) is
// not 0), is pinned: the same answer as PinnedPieces for that one piece.
template <Color P>
inline bool IsPinnedOnLine(const Board& b, Square k, Square s) {
  const int d = Direction(k, s);
  if (!IsRayEmpty(b, k, s, d)) return false;
  const int t = FirstPieceAlong(b, s, d);
  if (IsOffBoard(t) || b.colorAt[t] != Opponent(P)) return false;
  return SlidesAlong(b.typeAt[t], d);
}

// One bit for each of the eight queen steps from a square towards another
// (0 when the two share no line), indexed by to - from + DifferenceOffset.
inline constexpr std::array<uint8_t, DifferenceCount> LineBits = [] {
  std::array<uint8_t, DifferenceCount> t{};
  for (int i = 0; i < DifferenceCount; ++i) {
    for (int j = 0; j < 8; ++j) {
      if (DirectionTable[i] != 0 && DirectionTable[i] == KingSteps[j]) t[i] = uint8_t(1 << j);
    }
  }
  return t;
}();
inline uint8_t LineBit(Square from, Square to) { return LineBits[to - from + DifferenceOffset]; }

// The lines from P's king, as LineBit bits, on which an enemy slider that
// moves along them stands, whatever lies between: a pin of a piece of P can
// only begin or end through a change on one of them.
template <Color P>
inline uint8_t PinLines(const Board& b) {
  const Square k = b.KingSquare(P);
  if (k == NoSquare) return 0;
  uint8_t lines = 0;
  VisitPieces<PieceSet::Sliders>(b, b.pieceLists[Opponent(P)], [&]<int Type>(TypeTag<Type>, Square s) {
    if (AttackKinds[s - k + DifferenceOffset] & LinesOf<Type>) lines |= LineBit(k, s);
    return false;
  });
  return lines;
}

// Every square strictly between two aligned squares is empty.
inline bool IsPathEmpty(const Board& b, Square from, Square to) {
  const int d = Direction(from, to);
  return d != 0 && IsRayEmpty(b, from, to, d);  // not aligned (d 0): no line to walk
}

// As IsPathEmpty, with the square `except` counted as empty (0x80 for none).
inline bool IsPathEmptyExcept(const Board& b, Square from, Square to, Square except) {
  const int d = Direction(from, to);
  if (d == 0) return false;
  for (int s = from + d; s != to; s += d) {
    if (b.colorAt[s] != NoColor && s != except) return false;
  }
  return true;
}

}  // namespace quarn
