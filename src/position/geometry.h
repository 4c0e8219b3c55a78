// Step lists, pawn steps, castling masks and the direction table. All are
// built at compile time, so they are ready before any position exists.
#pragma once

#include <array>

#include "position/types.h"

namespace quarn {

// Each list ends with a 0 entry; the order is the order in which generators
// and attack tests visit directions.
inline constexpr int KnightSteps[] = {31, 33, 14, 18, -31, -33, -14, -18, 0};
inline constexpr int BishopSteps[] = {15, 17, -15, -17, 0};
inline constexpr int RookSteps[] = {16, 1, -16, -1, 0};
inline constexpr int KingSteps[] = {15, 17, -15, -17, 16, 1, -16, -1, 0};
// The same step lists as compile-time packs, for loops the compiler unrolls.
template <int... D>
struct StepPack {
  static constexpr int steps[] = {D..., 0};
};
using KnightPack = StepPack<31, 33, 14, 18, -31, -33, -14, -18>;
using BishopPack = StepPack<15, 17, -15, -17>;
using RookPack = StepPack<16, 1, -16, -1>;
using KingPack = StepPack<15, 17, -15, -17, 16, 1, -16, -1>;

constexpr bool SameSteps(const int* a, const int* b) {
  for (; *a || *b; ++a, ++b) {
    if (*a != *b) return false;
  }
  return true;
}
static_assert(SameSteps(KnightPack::steps, KnightSteps) && SameSteps(BishopPack::steps, BishopSteps) &&
              SameSteps(RookPack::steps, RookSteps) && SameSteps(KingPack::steps, KingSteps));

inline constexpr const int* StepsByType[PieceTypeCount] = {nullptr,   nullptr,   KnightSteps, BishopSteps,
                                                           RookSteps, KingSteps, KingSteps};

// From the pawn to the square it captures on, in visiting order.
inline constexpr int PawnCaptureSteps[][2] = {{15, 17}, {-15, -17}};
inline constexpr int PawnPushStep[] = {16, -16};

// Castling rights a move gives up when it ends (To) or starts (From) on a
// rook's or a king's home square.
inline constexpr std::array<uint8_t, SquareArraySize> CastlingMaskTo = [] {
  std::array<uint8_t, SquareArraySize> t{};
  for (Color c : {White, Black}) {
    for (CastlingSide side : {ShortCastling, LongCastling})
      t[CastlingRookFrom[CastlingCode(c, side)]] = CastlingRight(c, side);
  }
  return t;
}();
inline constexpr std::array<uint8_t, SquareArraySize> CastlingMaskFrom = [] {
  std::array<uint8_t, SquareArraySize> t = CastlingMaskTo;
  for (Color c : {White, Black}) t[RelativeSquare(c, E1)] = CastlingRightsOf(c);
  return t;
}();

// Indexed by to - from + DifferenceOffset: the queen step from `from`
// towards `to` when the two squares share a rank, file or diagonal, else 0.
inline constexpr std::array<int8_t, DifferenceCount> DirectionTable = [] {
  std::array<int8_t, DifferenceCount> t{};
  for (const int* list : {BishopSteps, RookSteps}) {
    for (int from = 0; from < SquareArraySize; ++from) {
      if (IsOffBoard(from)) continue;
      for (const int* d = list; *d; ++d) {
        for (int to = from + *d; !IsOffBoard(to); to += *d) t[to - from + DifferenceOffset] = int8_t(*d);
      }
    }
  }
  return t;
}();

inline int Direction(Square from, Square to) { return DirectionTable[to - from + DifferenceOffset]; }

}  // namespace quarn
