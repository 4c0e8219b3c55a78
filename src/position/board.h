// The board shared by both position objects: piece lists with fixed slot
// homes, the three per-square arrays, the evaluation sums, side to move,
// en-passant square and castling rights.
#pragma once

#include <cstring>
#include <type_traits>
#include <utility>

#include "position/geometry.h"
#include "position/piece_values.h"
#include "position/types.h"

namespace quarn {

constexpr int SlotsPerSide = 16;
// Slots 0-7 are each the home of one officer type; the shared slots 8-15
// hold pawns and the pieces beyond their type's home slots.
constexpr int HomeSlotCount = 8;

// Slot 0 king, 1 queen, 2-3 rooks, 4-5 bishops, 6-7 knights, 8-15 pawns and
// any extra pieces.
struct PieceList {
  Square squares[SlotsPerSide];
  uint8_t countByType[PieceTypeCount];
  uint8_t total;
};

inline constexpr uint8_t FirstSlotByType[] = {16, 8, 6, 4, 2, 1, 0};
inline constexpr uint8_t SlotCountByType[] = {0, 8, 2, 2, 2, 1, 1};

// The type every piece in slots 0-7 has (FindFreeSlot sends a piece beyond
// its type's home slots to 8-15, and a promoted pawn keeps its slot).
inline constexpr uint8_t HomeTypeOfSlot[HomeSlotCount] = {King, Queen, Rook, Rook, Bishop, Bishop, Knight, Knight};

constexpr bool HomeSlotsAgree() {
  for (int type = Knight; type <= King; ++type) {
    for (int slot = FirstSlotByType[type]; slot < FirstSlotByType[type] + SlotCountByType[type]; ++slot) {
      if (HomeTypeOfSlot[slot] != type) return false;
    }
  }
  return true;
}
static_assert(HomeSlotsAgree());

constexpr uint8_t EmptySlot = SlotsPerSide;
// A slot's bit in a set of slots; EmptySlot has none.
constexpr uint16_t SlotBit(int slot) { return slot < SlotsPerSide ? uint16_t(1u << slot) : 0; }

struct Board {
  PieceList pieceLists[ColorCount];
  uint8_t colorAt[SquareArraySize];
  uint8_t typeAt[SquareArraySize];
  uint8_t slotAt[SquareArraySize];
  ScorePair materialSum[ColorCount];
  ScorePair placementSum[ColorCount];
  Color sideToMove;
  Square epSquare;
  uint8_t castlingRights;

  Square KingSquare(Color c) const { return pieceLists[c].squares[0]; }
};

inline void ResetPosition(Board& b) {
  for (auto& list : b.pieceLists) {
    std::memset(list.squares, NoSquare, sizeof list.squares);
    std::memset(list.countByType, 0, sizeof list.countByType);
    list.total = 0;
  }
  std::memset(b.colorAt, NoColor, sizeof b.colorAt);
  std::memset(b.typeAt, Empty, sizeof b.typeAt);
  std::memset(b.slotAt, EmptySlot, sizeof b.slotAt);
  b.materialSum[0] = b.materialSum[1] = 0;
  b.placementSum[0] = b.placementSum[1] = 0;
  b.sideToMove = NoColor;
  b.epSquare = NoSquare;
  b.castlingRights = NoCastlingRights;
}

// The slot a new piece of this colour and type would take, or 16 for none:
// its type's home slots, then for the pieces a pawn promotes to the shared
// slots 8-15. A type has no more pieces than it has slots.
inline int FindFreeSlot(const Board& b, Color c, PieceType type) {
  const PieceList& list = b.pieceLists[c];
  const int first = FirstSlotByType[type];
  for (int slot = first; slot < first + SlotCountByType[type]; ++slot) {
    if (list.squares[slot] == NoSquare) return slot;
  }
  if (type >= Knight && type <= Queen) {
    for (int slot = HomeSlotCount; slot < SlotsPerSide; ++slot) {
      if (list.squares[slot] == NoSquare) return slot;
    }
  }
  return EmptySlot;
}

// Puts a piece on an empty square into the list slot given (a captured piece
// back into its old slot), keeping the sums with Sums::Keep.
template <Sums S>
inline void PutPiece(Board& b, Color c, Square sq, int type, int slot) {
  b.colorAt[sq] = uint8_t(c);
  b.typeAt[sq] = uint8_t(type);
  b.slotAt[sq] = uint8_t(slot);
  PieceList& list = b.pieceLists[c];
  list.squares[slot] = sq;
  ++list.countByType[type];
  ++list.total;
  if constexpr (S == Sums::Keep) {
    b.materialSum[c] = AddScores(b.materialSum[c], MaterialValue[type]);
    b.placementSum[c] = AddScores(b.placementSum[c], PieceSquareTable[c][type][sq]);
  }
}

// Places a piece on an empty square in a free slot, keeping the lists and
// sums; false and no change when the colour has no room for it.
inline bool PlacePiece(Board& b, Color c, Square sq, PieceType type) {
  const int slot = FindFreeSlot(b, c, type);
  if (slot == EmptySlot) return false;
  PutPiece<Sums::Keep>(b, c, sq, type, slot);
  return true;
}

template <int Type>
using TypeTag = std::integral_constant<int, Type>;

// The pieces a walk over a piece list visits: all of them, the knights,
// bishops, rooks and queens, or only the bishops, rooks and queens.
enum class PieceSet { All, Officers, Sliders };
template <PieceSet Set>
constexpr bool InPieceSet(int type) {
  return Set == PieceSet::All || (type >= (Set == PieceSet::Sliders ? Bishop : Knight) && type <= Queen);
}

// The run-time choice of piece type, as WithSideToMove is of colour: calls
// f(TypeTag<type>{}) for a type of the set; the set's last type (the king in
// All, else the queen) takes every value outside it. The pawn, the commonest
// piece, is tested on its own first: a switch over five types compiles to an
// indirect jump through a table, which the processor predicts worse (counting
// Marseillais turns took about a tenth longer with it).
template <PieceSet Set = PieceSet::All, class F>
[[gnu::always_inline]] inline decltype(auto) WithPieceType(int type, F&& f) {
  constexpr int last = Set == PieceSet::All ? King : Queen;
  if constexpr (InPieceSet<Set>(Pawn)) {
    if (type == Pawn) return f(TypeTag<Pawn>{});
  }
  switch (type) {
    case Knight:
      if constexpr (InPieceSet<Set>(Knight)) return f(TypeTag<Knight>{});
      break;
    case Bishop:
      return f(TypeTag<Bishop>{});
    case Rook:
      return f(TypeTag<Rook>{});
    case Queen:
      if constexpr (last != Queen) return f(TypeTag<Queen>{});
      break;
  }
  return f(TypeTag<last>{});
}

// Calls visit(TypeTag<type>{}, square) for the pieces of the set in slot
// order. Slots 0-7 hold the type they are the home of, so that type is known
// at compile time; slots 8-15 hold pawns and the pieces promoted from them,
// told apart at run time (and, for the smaller sets, looked at only while the
// counts say such pieces are left). A visit that returns true ends the walk,
// and the walk then returns true.
template <PieceSet Set, class Visit>
[[gnu::always_inline]] inline bool VisitPieces(const Board& b, const PieceList& pieces, Visit&& visit) {
  int atHome = 0;
  const bool stopped = [&]<int... Slot>(std::integer_sequence<int, Slot...>) {
    return ([&] {
      constexpr int type = HomeTypeOfSlot[Slot];
      if constexpr (!InPieceSet<Set>(type)) {
        return false;
      } else {
        const Square s = pieces.squares[Slot];
        if (s == NoSquare) return false;
        ++atHome;
        return bool(visit(TypeTag<type>{}, s));
      }
    }() || ...);
  }
  (std::make_integer_sequence<int, HomeSlotCount>{});
  if (stopped) return true;
  int left = SlotsPerSide - HomeSlotCount;
  if constexpr (Set != PieceSet::All) {
    left = pieces.countByType[Bishop] + pieces.countByType[Rook] + pieces.countByType[Queen] - atHome;
    if constexpr (Set == PieceSet::Officers) left += pieces.countByType[Knight];
  }
  for (int slot = HomeSlotCount; slot < SlotsPerSide && left > 0; ++slot) {
    const Square s = pieces.squares[slot];
    if (s == NoSquare) continue;
    const int type = b.typeAt[s];
    if constexpr (Set != PieceSet::All) {
      if (!InPieceSet<Set>(type)) continue;
      --left;
    }
    const bool stop = WithPieceType<Set>(type, [&]<int Type>(TypeTag<Type> tag) {
      if constexpr (Type == King)
        return false;  // no king stands there
      else
        return bool(visit(tag, s));
    });
    if (stop) return true;
  }
  return false;
}

template <Color C>
using ColorTag = std::integral_constant<Color, C>;

// The run-time choice of colour: calls f with the side to move as a
// compile-time tag, so that f can instantiate its template <Color Us> work.
template <class F>
[[gnu::always_inline]] inline decltype(auto) WithSideToMove(const Board& b, F&& f) {
  if (b.sideToMove == White) return f(ColorTag<White>{});
  return f(ColorTag<Black>{});
}

inline bool IsPieceAt(const Board& b, Square sq, Color c, PieceType type) {
  return b.colorAt[sq] == c && b.typeAt[sq] == type;
}

// The initial position of a game: its pieces, White to move, every castling
// right and no en-passant square. With both home ranks full each side has
// used all sixteen slots, so the middle of the board needs no look.
bool IsInitialPosition(const Board& b);

// Slow full check of every board invariant, for tests and debug builds.
bool BoardIsConsistent(const Board& b, bool checkSums = true);
// Prints what was being done and aborts when BoardIsConsistent fails.
void AbortOnInconsistentBoard(const Board& b, bool checkSums, const char* where);

}  // namespace quarn
