// Helpers shared by the unit tests: positions from FEN text, square and move
// names, and a board comparison that names the fields that differ.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
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

// A whole position object (move stack and ply frames included), set from the
// text with the raw reader. Adds a test failure when the reader rejects it.
template <class P = Position>
std::unique_ptr<P> PositionFromFen(const std::string& fen) {
  std::unique_ptr<P> pos = ConstructPosition<P>();
  EXPECT_TRUE(pos != nullptr);
  if (pos) {
    EXPECT_TRUE(SetFromFen(*pos, fen.c_str())) << "rejected: " << fen;
  }
  return pos;
}

// Just the board part, for tests that need no move stack.
inline Board BoardFromFen(const std::string& fen) {
  Board b;
  EXPECT_TRUE(SetFromFen(b, fen.c_str())) << "rejected: " << fen;
  return b;
}

// Bytes of the board that carry state (the struct may end in padding).
constexpr std::size_t BoardStateBytes = offsetof(Board, castlingRights) + sizeof(Board::castlingRights);

// Bit-for-bit equality of the board parts; on a difference the message lists
// every field that differs, so a failing make/unmake says what it broke.
inline ::testing::AssertionResult BoardsEqual(const Board& a, const Board& b) {
  if (std::memcmp(&a, &b, BoardStateBytes) == 0) return ::testing::AssertionSuccess();
  std::ostringstream out;
  for (int c = 0; c < 2; ++c) {
    const PieceList& la = a.pieceLists[c];
    const PieceList& lb = b.pieceLists[c];
    for (int s = 0; s < 16; ++s) {
      if (la.squares[s] != lb.squares[s])
        out << " pieceLists[" << c << "].squares[" << s << "]: " << SquareName(la.squares[s]) << " vs "
            << SquareName(lb.squares[s]) << ";";
    }
    for (int t = 0; t < 7; ++t) {
      if (la.countByType[t] != lb.countByType[t])
        out << " pieceLists[" << c << "].countByType[" << t << "]: " << int(la.countByType[t]) << " vs "
            << int(lb.countByType[t]) << ";";
    }
    if (la.total != lb.total)
      out << " pieceLists[" << c << "].total: " << int(la.total) << " vs " << int(lb.total) << ";";
    if (a.materialSum[c] != b.materialSum[c])
      out << " materialSum[" << c << "]: (" << OpeningOf(a.materialSum[c]) << "," << EndgameOf(a.materialSum[c])
          << ") vs (" << OpeningOf(b.materialSum[c]) << "," << EndgameOf(b.materialSum[c]) << ");";
    if (a.placementSum[c] != b.placementSum[c])
      out << " placementSum[" << c << "]: (" << OpeningOf(a.placementSum[c]) << "," << EndgameOf(a.placementSum[c])
          << ") vs (" << OpeningOf(b.placementSum[c]) << "," << EndgameOf(b.placementSum[c]) << ");";
  }
  for (int sq = 0; sq < 128; ++sq) {
    if (a.colorAt[sq] != b.colorAt[sq])
      out << " colorAt[" << SquareName(sq) << "]: " << int(a.colorAt[sq]) << " vs " << int(b.colorAt[sq]) << ";";
    if (a.typeAt[sq] != b.typeAt[sq])
      out << " typeAt[" << SquareName(sq) << "]: " << int(a.typeAt[sq]) << " vs " << int(b.typeAt[sq]) << ";";
    if (a.slotAt[sq] != b.slotAt[sq])
      out << " slotAt[" << SquareName(sq) << "]: " << int(a.slotAt[sq]) << " vs " << int(b.slotAt[sq]) << ";";
  }
  if (a.sideToMove != b.sideToMove) out << " sideToMove: " << int(a.sideToMove) << " vs " << int(b.sideToMove) << ";";
  if (a.epSquare != b.epSquare)
    out << " epSquare: " << SquareName(a.epSquare) << " vs " << SquareName(b.epSquare) << ";";
  if (a.castlingRights != b.castlingRights)
    out << " castlingRights: " << int(a.castlingRights) << " vs " << int(b.castlingRights) << ";";
  return ::testing::AssertionFailure() << "boards differ:" << out.str() << " [" << PositionToFen(a) << "] vs ["
                                       << PositionToFen(b) << "]";
}

}  // namespace quarn::test
