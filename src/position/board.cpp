#include "position/board.h"

#include <cstdio>
#include <cstdlib>

namespace quarn {

bool BoardIsConsistent(const Board& b, bool checkSums) {
  ScorePair material[ColorCount] = {0, 0}, placement[ColorCount] = {0, 0};
  int counts[ColorCount][PieceTypeCount] = {};
  for (int sq = 0; sq < SquareArraySize; ++sq) {
    // Off-board squares hold no colour: some generators read them untested.
    if (IsOffBoard(sq)) {
      if (b.colorAt[sq] != NoColor) return false;
      continue;
    }
    const int c = b.colorAt[sq];
    if (c == NoColor) {
      if (b.typeAt[sq] != Empty || b.slotAt[sq] != EmptySlot) return false;
      continue;
    }
    if (c > Black) return false;
    const int type = b.typeAt[sq];
    const int slot = b.slotAt[sq];
    if (type < Pawn || type > King || slot >= SlotsPerSide) return false;
    if (type == Pawn && (RankOf(sq) == 0 || RankOf(sq) == 7)) return false;
    if (b.pieceLists[c].squares[slot] != sq) return false;
    ++counts[c][type];
    material[c] = AddScores(material[c], MaterialValue[type]);
    placement[c] = AddScores(placement[c], PieceSquareTable[c][type][sq]);
  }
  for (int c = 0; c < 2; ++c) {
    const PieceList& list = b.pieceLists[c];
    int total = 0;
    for (int slot = 0; slot < SlotsPerSide; ++slot) {
      const Square sq = list.squares[slot];
      if (sq == NoSquare) continue;
      if (IsOffBoard(sq) || b.colorAt[sq] != c || b.slotAt[sq] != slot) return false;
      // Slots 0-7 hold only the type they are the home of; promoted pieces
      // keep their pawn's slot among 8-15, where no king stands. So no type
      // has more pieces than slots: one king, eight pawns.
      if (slot < HomeSlotCount ? b.typeAt[sq] != HomeTypeOfSlot[slot] : b.typeAt[sq] == King) return false;
      ++total;
    }
    if (total != list.total || list.countByType[0] != 0) return false;
    for (int type = Pawn; type < PieceTypeCount; ++type) {
      if (counts[c][type] != list.countByType[type]) return false;
    }
    if (checkSums && (material[c] != b.materialSum[c] || placement[c] != b.placementSum[c])) return false;
  }
  return true;
}

bool IsInitialPosition(const Board& b) {
  constexpr PieceType backRank[] = {Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook};
  if (b.sideToMove != White || b.castlingRights != AllCastlingRights || b.epSquare != NoSquare) return false;
  for (int file = 0; file < 8; ++file) {
    for (Color c : {White, Black}) {
      const Square piece = RelativeSquare(c, MakeSquare(file, 0)), pawn = RelativeSquare(c, MakeSquare(file, 1));
      if (!IsPieceAt(b, piece, c, backRank[file]) || !IsPieceAt(b, pawn, c, Pawn)) return false;
    }
  }
  return true;
}

void AbortOnInconsistentBoard(const Board& b, bool checkSums, const char* where) {
  if (BoardIsConsistent(b, checkSums)) return;
  std::fprintf(stderr, "quarn: board invariants broken after %s\n", where);
  std::abort();
}

}  // namespace quarn
