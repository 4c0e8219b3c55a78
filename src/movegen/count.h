// Counting legal moves without listing them, for the last ply of perft: the
// answers of the legal list builders, found with less work. How, and the
// rule the counts after a move rest on: docs/ARCHITECTURE.md, "Counting
// without listing".
#pragma once

#include <bit>

#include "movegen/generate.h"
#include "movegen/gives_check.h"
#include "movegen/legal.h"

namespace quarn {

namespace detail {

// Marks for the squares a count reads: none while counting at a leaf, or
// the counted piece's slot bit in each square's readers (MoveCountBase).
struct NoReadMarks {
  void operator()(int) const {}
};
struct SlotReadMarks {
  uint16_t* readers;
  uint16_t slotBit;
  void operator()(int t) const { readers[t] |= slotBit; }
};

// The squares along D up to the first piece, which counts if the opponent's.
template <Color Us, int D, class Mark>
inline int CountRay(const Board& b, Square s, Mark mark) {
  int n = 0;
  for (int t = s + D; !IsOffBoard(t); t += D) {
    mark(t);
    if (b.colorAt[t] != NoColor) return n + (b.colorAt[t] == Opponent(Us));
    ++n;
  }
  return n;
}

template <Color Us, class Mark, int... D>
inline int CountRays(const Board& b, Square s, Mark mark, StepPack<D...>) {
  return (CountRay<Us, D>(b, s, mark) + ...);
}

template <Color Us, int D, class Mark>
inline int CountStep(const Board& b, Square s, Mark mark) {
  if (IsOffBoard(s + D)) return 0;
  mark(s + D);
  return b.colorAt[s + D] != Us;
}

template <Color Us, class Mark, int... D>
inline int CountSteps(const Board& b, Square s, Mark mark, StepPack<D...>) {
  return (CountStep<Us, D>(b, s, mark) + ...);
}

// The squares a pawn of Us reads, as steps from it: push, double push,
// captures.
template <Color Us>
inline constexpr int PawnReadSteps[] = {PawnPushStep[Us], 2 * PawnPushStep[Us], PawnCaptureSteps[Us][0],
                                        PawnCaptureSteps[Us][1]};

// Moves of a non-king piece of a type known at compile time that is neither
// pinned nor capturing en passant. `mark` is given each square the count
// reads: a pawn's push and capture squares, a knight's targets, and a
// slider's squares along each line up to the first piece.
template <Color Us, int Type, class Mark = NoReadMarks>
inline int CountFreeMoves(const Board& b, Square s, Mark mark = {}) {
  if constexpr (Type == Pawn) {
    for (const int step : PawnReadSteps<Us>) {
      if (!IsOffBoard(s + step)) mark(s + step);
    }
    int n = 0;
    VisitPawnMoves<Us>(b, s, [&](Square t, PawnStep) { n += RankOf(t) == LastRank<Us> ? PromotionCount : 1; });
    return n;
  } else if constexpr (Type == Knight) {
    return CountSteps<Us>(b, s, mark, KnightPack{});
  } else if constexpr (Type == Bishop) {
    return CountRays<Us>(b, s, mark, BishopPack{});
  } else if constexpr (Type == Rook) {
    return CountRays<Us>(b, s, mark, RookPack{});
  } else {
    return CountRays<Us>(b, s, mark, BishopPack{}) + CountRays<Us>(b, s, mark, RookPack{});
  }
}

// A pinned piece keeps only its moves along the ray from its king (a pinned
// knight has none).
template <Color Us>
inline int CountPinnedMoves(const Board& b, Square k, Square s, FixedMoveList& scratch) {
  scratch.count = 0;
  GeneratePieceMoves<Us>(b, s, scratch);
  const int ray = Direction(k, s);
  int n = 0;
  for (int i = 0; i < scratch.Count(); ++i) n += Direction(k, MoveTo(scratch.At(i).move)) == ray;
  return n;
}

// The number of bits set in a byte: faster here than std::popcount, which on
// baseline x86-64 (no popcnt instruction) is a call into the runtime library.
inline constexpr std::array<uint8_t, 256> BitCount8 = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 1; i < 256; ++i) t[i] = uint8_t(t[i >> 1] + (i & 1));
  return t;
}();

// King steps onto unattacked squares and castlings whose two squares are not
// attacked. Us is not in check, so no slider sees through the king's own
// square, and the rook's move changes no attack on the castling squares: the
// attack tests on the board as it stands give the make-and-test answers.
template <Color Us>
inline int CountKingMoves(const Board& b, Square k) {
  constexpr Color Them = Opponent(Us);
  constexpr auto at = [](Square whiteSquare) { return RelativeSquare(Us, whiteSquare); };
  constexpr int home = at(E1);
  constexpr uint8_t shortRight = CastlingRight(Us, ShortCastling);
  constexpr uint8_t longRight = CastlingRight(Us, LongCastling);
  uint16_t targets = 0;
  for (int j = 0; j < ZoneNeighbourCount; ++j) {
    const int t = k + ZoneSteps[j];
    if (!IsOffBoard(t) && b.colorAt[t] != Us) targets |= uint16_t(1 << j);
  }
  const bool shortOpen =
      (b.castlingRights & shortRight) && k == home && b.colorAt[at(F1)] == NoColor && b.colorAt[at(G1)] == NoColor;
  const bool longOpen = (b.castlingRights & longRight) && k == home && b.colorAt[at(D1)] == NoColor &&
                        b.colorAt[at(C1)] == NoColor && b.colorAt[at(B1)] == NoColor;
  if (shortOpen) targets |= ZoneShortTarget;
  if (longOpen) targets |= ZoneLongTarget;
  if (!targets) return 0;
  const uint16_t safe = uint16_t(targets & ~ZoneAttacks<Them>(b, k, targets));
  int n = BitCount8[safe & ZoneNeighbours];
  n += shortOpen && (safe & ZoneShortPassing) && (safe & ZoneShortTarget);
  n += longOpen && (safe & ZoneLongPassing) && (safe & ZoneLongTarget);
  return n;
}

// The lines a piece of this type moves along (none for the others).
inline constexpr uint8_t SliderLinesByType[] = {0, 0, 0, LinesOf<Bishop>, LinesOf<Rook>, LinesOf<Queen>, 0};

// The squares whose contents the king's count reads: each square the king
// may step or castle to, the squares between it and an enemy slider that
// reaches it, the piece of Us that alone shields it from one, and the
// squares castling needs empty or its rook stands on. A move of Us that
// takes nothing and touches none of them leaves the count as it was: the
// opponent's pieces stand where they stood, no line from one of its sliders
// to those squares opened or closed, and the castling rights are kept.
template <Color Us>
inline uint64_t KingCountReads(const Board& b, Square k) {
  constexpr Color Them = Opponent(Us);
  constexpr auto at = [](Square whiteSquare) { return RelativeSquare(Us, whiteSquare); };
  uint64_t reads = 0;
  const auto mark = [&](int s) { reads |= uint64_t(1) << IndexOf(Square(s)); };
  const auto slidesTo = [&](int s, int z) {
    return !IsOffBoard(s) && b.colorAt[s] == Them &&
           (SliderLinesByType[b.typeAt[s]] & AttackKinds[z - s + DifferenceOffset]) != 0;
  };
  const auto walk = [&](int z) {
    if (IsOffBoard(z)) return;
    mark(z);
    if (b.colorAt[z] == Us) return;  // no target while Us holds it
    for (const int* d = KingSteps; *d; ++d) {
      const int t = FirstPieceAlong(b, z, *d);
      if (IsOffBoard(t)) continue;
      if (b.colorAt[t] == Us) {
        if (slidesTo(FirstPieceAlong(b, t, *d), z)) mark(t);
      } else if (slidesTo(t, z)) {
        for (int s = z + *d; s != t; s += *d) mark(s);
      }
    }
  };
  for (const int* d = KingSteps; *d; ++d) walk(k + *d);
  if (k == at(E1) && (b.castlingRights & CastlingRight(Us, ShortCastling))) {
    walk(at(G1));
    mark(at(H1));
  }
  if (k == at(E1) && (b.castlingRights & CastlingRight(Us, LongCastling))) {
    walk(at(C1));
    mark(at(B1));
    mark(at(A1));
  }
  return reads;
}

// The legal moves of Us's pieces, en passant aside: the king's, the pinned
// pieces' along their rays, and free(TypeTag<type>, square) for every other.
template <Color Us, class Free>
[[gnu::always_inline]] inline int CountPieceMoves(const Board& b, uint64_t pinMask, Free&& free) {
  const Square k = b.KingSquare(Us);
  int n = 0;
  FixedMoveList scratch;
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type> type, Square s) {
    if constexpr (Type == King)
      n += CountKingMoves<Us>(b, s);
    else if (pinMask && ((pinMask >> IndexOf(s)) & 1))
      n += CountPinnedMoves<Us>(b, k, s, scratch);
    else
      n += free(type, s);
    return false;
  });
  return n;
}

}  // namespace detail

// The number of legal moves of Us, which is not in check. Without en passant
// it counts the second moves of a Marseillais turn.
template <Color Us, EnPassant E = EnPassant::With>
inline int CountLegalMoves(Board& b) {
  int n = 0;
  if constexpr (E == EnPassant::With) {
    FixedMoveList special;  // en passant: rare, made and tested one by one
    GenerateEnPassant<Us>(b, special);
    for (int i = 0; i < special.Count(); ++i) n += !LeavesKingAttacked<Us>(b, special.At(i).move);
  }
  return n + detail::CountPieceMoves<Us>(b, PinnedPieces<Us>(b), [&]<int Type>(TypeTag<Type>, Square s) {
           return detail::CountFreeMoves<Us, Type>(b, s);
         });
}

namespace detail {

// What a position holds for counting the moves of one side after each of
// several single moves: its non-king pieces' counts by slot, their total and
// slots, each square's readers (slots), and the pins with their PinLines.
struct MoveCountBase {
  uint8_t bySlot[SlotsPerSide];
  int total;
  uint16_t countedSlots;
  uint16_t readers[SquareArraySize];
  uint64_t pinned;
  uint8_t pinLines;  // PinLines of that side
};

// The whole base of Us, given Us's pinned pieces.
template <Color Us>
inline void CountMoveBase(const Board& b, uint64_t pinned, MoveCountBase& base) {
  base.total = 0;
  base.countedSlots = 0;
  std::memset(base.readers, 0, sizeof base.readers);
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type>, Square s) {
    if constexpr (Type != King) {
      const int slot = b.slotAt[s];
      const int n = CountFreeMoves<Us, Type>(b, s, SlotReadMarks{base.readers, SlotBit(slot)});
      base.bySlot[slot] = uint8_t(n);
      base.total += n;
      base.countedSlots |= SlotBit(slot);
    }
    return false;
  });
  base.pinned = pinned;
  base.pinLines = PinLines<Us>(b);
}

// The king's count and the squares it reads (KingCountReads), kept for the
// second moves of a turn that begins out of check.
struct KingCount {
  int moves;
  uint64_t reads;
};

// The free moves of Us's piece on s (not the king), its type read from the
// board.
template <Color Us>
inline int CountFreeMovesOf(const Board& b, Square s) {
  return WithPieceType(b.typeAt[s], [&]<int Type>(TypeTag<Type>) {
    if constexpr (Type == King)
      return 0;  // counted on its own
    else
      return CountFreeMoves<Us, Type>(b, s);
  });
}

// The legal moves of Us after the move m of Mover (made; u its undo record;
// Us not in check), from the base of Us before m: Mover is Us for the second
// move of a Marseillais turn (no en passant; `king` given when the turn began
// out of check), the opponent for the replies to a move. Only the pieces
// whose count read m's squares, the piece m took, the pinned pieces and the
// king are counted again; castling and en passant are counted afresh.
template <Color Us, Color Mover>
[[gnu::always_inline]] inline int CountMovesAfter(Board& b, Move m, const UndoRecord& u, const MoveCountBase& base,
                                                  const KingCount* king = nullptr) {
  constexpr bool ownMove = Mover == Us;
  constexpr EnPassant E = ownMove ? EnPassant::Without : EnPassant::With;
  if (MoveKindOf(m) == CastlingMove || MoveKindOf(m) == EnPassantMove) return CountLegalMoves<Us, E>(b);
  const PieceList& pieces = b.pieceLists[Us];
  const Square from = MoveFrom(m), to = MoveTo(m), k = b.KingSquare(Us);
  // The pins stand unless m changed a square on a line from the king that
  // holds an enemy slider, moved the king, or brought an enemy slider onto
  // a line it moves along.
  bool pinsKept = !(base.pinLines & (LineBit(k, from) | LineBit(k, to)));
  if constexpr (ownMove)
    pinsKept = pinsKept && to != k;
  else
    pinsKept = pinsKept && !(AttackKinds[to - k + DifferenceOffset] & SliderLinesByType[b.typeAt[to]]);
  const uint64_t pinMask = pinsKept ? base.pinned : PinnedPieces<Us>(b);
  auto isPinned = [&](Square s) { return pinMask && ((pinMask >> IndexOf(s)) & 1); };
  FixedMoveList scratch;
  int n = 0;
  if constexpr (!ownMove) {  // a pawn double step may have opened en passant
    if (b.epSquare != NoSquare) {
      GenerateEnPassant<Us>(b, scratch);
      for (int i = 0; i < scratch.Count(); ++i) n += !LeavesKingAttacked<Us>(b, scratch.At(i).move);
    }
  }
  // Counted again: the pieces that read m's squares (m's piece, if Us's,
  // read its destination), the piece m took (no longer counted) and the
  // pinned pieces.
  uint16_t redo = uint16_t(base.readers[from] | base.readers[to]);
  if constexpr (!ownMove) redo |= SlotBit(u.capturedSlot);
  for (uint64_t rest = pinMask; rest; rest &= rest - 1) redo |= SlotBit(b.slotAt[SquareOf(std::countr_zero(rest))]);
  n += base.total;
  for (redo &= base.countedSlots; redo; redo &= uint16_t(redo - 1)) {
    const int slot = std::countr_zero(redo);
    const Square s = pieces.squares[slot];
    n -= base.bySlot[slot];
    if (s == NoSquare) continue;
    n += isPinned(s) ? CountPinnedMoves<Us>(b, k, s, scratch) : CountFreeMovesOf<Us>(b, s);
  }
  if constexpr (ownMove) {
    const uint64_t touched = (uint64_t(1) << IndexOf(from)) | (uint64_t(1) << IndexOf(to));
    if (king && u.captured == Empty && !(king->reads & touched)) return n + king->moves;
  }
  return n + CountKingMoves<Us>(b, k);
}

}  // namespace detail

// The number of legal turns of Us below the root (no first-turn rule): every
// legal first move that gives check is one turn; every other legal first
// move brings as many turns as Us then has legal second moves.
template <Color Us, InCheck C>
inline uint64_t CountLegalTurns(Board& b) {
  constexpr Color Them = Opponent(Us);
  FixedMoveList firsts;
  const uint64_t pinMask = GenerateCandidates<Us, C>(b, firsts);
  const Square k = b.KingSquare(Us);
  detail::MoveCountBase base;
  detail::CountMoveBase<Us>(b, C == InCheck::Yes ? PinnedPieces<Us>(b) : pinMask, base);
  // Kept out of check only: in check no legal first move that takes nothing
  // leaves the squares the king's count reads alone (KingCountReads).
  detail::KingCount king{};
  if constexpr (C == InCheck::No) king = {detail::CountKingMoves<Us>(b, k), detail::KingCountReads<Us>(b, k)};
  uint64_t n = 0;
  for (int i = 0; i < firsts.Count(); ++i) {
    const Move m1 = firsts.At(i).move;
    const bool needsTest = C == InCheck::Yes || NeedsLegalityTest(b, m1, pinMask);
    const bool check = GivesCheck<Us>(b, m1);
    UndoRecord u;
    MakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
    if (!needsTest || !IsSquareAttacked<Them>(b, b.KingSquare(Us))) {
      n += check ? 1 : detail::CountMovesAfter<Us, Us>(b, m1, u, base, C == InCheck::No ? &king : nullptr);
    }
    UnmakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
  }
  return n;
}

}  // namespace quarn
