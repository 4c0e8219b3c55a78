// Helpers shared by the unit tests: positions from FEN text, square and move
// names, and a board comparison that names the fields that differ.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>

#include "position/fen.h"
#include "position/position.h"

namespace quarn::test {

// "e4" -> 0x34.
inline Square Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }

inline std::string SquareName(int sq) {
  if (sq == NoSquare) return "-";
  if (IsOffBoard(sq)) return "off(" + std::to_string(sq) + ")";
  return std::string{char('a' + FileOf(sq)), char('1' + RankOf(sq))};
}

// "e2e4" with an explicit kind and extra field.
inline Move Mv(const char* text, int kind = NormalMove, int extra = 0) {
  return MakeMoveWord(Sq(text), Sq(text + 2), kind, extra);
}

inline Board BoardFromFen(const std::string& fen) {
  Board b;
  EXPECT_TRUE(SetFromFen(b, fen.c_str())) << "rejected: " << fen;
  return b;
}

// Bit-for-bit equality of the state bytes (the struct may end in padding);
// on a difference the message names every field that differs.
inline ::testing::AssertionResult BoardsEqual(const Board& a, const Board& b) {
#define QUARN_FIELD(f) \
  { #f, offsetof(Board, f), sizeof(Board::f) }
  struct Field {
    const char* name;
    std::size_t offset, size;
  };
  const Field fields[] = {QUARN_FIELD(pieceLists), QUARN_FIELD(materialSum), QUARN_FIELD(placementSum),
                          QUARN_FIELD(colorAt),    QUARN_FIELD(typeAt),      QUARN_FIELD(slotAt),
                          QUARN_FIELD(sideToMove), QUARN_FIELD(epSquare),    QUARN_FIELD(castlingRights)};
#undef QUARN_FIELD
  const auto* pa = reinterpret_cast<const unsigned char*>(&a);
  const auto* pb = reinterpret_cast<const unsigned char*>(&b);
  std::ostringstream diff;
  for (const Field& f : fields) {
    if (std::memcmp(pa + f.offset, pb + f.offset, f.size) == 0) continue;
    diff << " " << f.name << "[byte";
    for (std::size_t i = 0; i < f.size; ++i)
      if (pa[f.offset + i] != pb[f.offset + i]) diff << " " << i;
    diff << "]";
  }
  if (diff.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "boards differ:" << diff.str() << " [" << PositionToFen(a) << "] vs ["
                                       << PositionToFen(b) << "]";
}

}  // namespace quarn::test
