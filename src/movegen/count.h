// Counting legal moves without listing them, for the last ply of perft. The
// answers are those of the legal list builders; only the work differs:
// - a piece that is not pinned, not the king and not capturing en passant
//   cannot expose its king, so its moves are counted as they are generated;
// - a pinned piece may only move along the ray from its king (towards and
//   onto the pinner), which is a geometric test;
// - a king step is legal when its destination is not attacked, a castling
//   when the squares the king passes and lands on are not; all the squares
//   around the king are tested together;
// - en passant is made and tested as the list builders do.
#pragma once

#include "movegen/generate.h"
#include "movegen/gives_check.h"
#include "movegen/legal.h"

namespace quarn {

namespace detail {

template <Color Us, int D>
inline int CountRay(const Board& b, Square s) {
  int n = 0;
  int t = s + D;
  while (!IsOffBoard(t) && b.colorAt[t] == NoColor) {
    ++n;
    t += D;
  }
  return n + (!IsOffBoard(t) && b.colorAt[t] == Opponent(Us));
}

template <Color Us, int... D>
inline int CountRays(const Board& b, Square s, StepPack<D...>) {
  return (CountRay<Us, D>(b, s) + ...);
}

template <Color Us, int... D>
inline int CountSteps(const Board& b, Square s, StepPack<D...>) {
  return ((!IsOffBoard(s + D) && b.colorAt[s + D] != Us) + ...);
}

// Moves of a non-king piece of a type known at compile time that is neither
// pinned nor capturing en passant.
template <Color Us, int Type>
inline int CountFreeMoves(const Board& b, Square s) {
  constexpr Color Them = Opponent(Us);
  if constexpr (Type == Pawn) {
    int n = 0;
    for (int c : PawnCaptureSteps[Us]) {
      const int t = s + c;
      if (!IsOffBoard(t) && b.colorAt[t] == Them) n += RankOf(t) == LastRank<Us> ? 4 : 1;
    }
    const int t = s + PawnPushStep[Us];
    if (IsOffBoard(t) || b.colorAt[t] != NoColor) return n;
    if (RankOf(t) == LastRank<Us>) return n + 4;
    ++n;
    if (RankOf(s) == PawnStartRank<Us> && b.colorAt[t + PawnPushStep[Us]] == NoColor) ++n;
    return n;
  } else if constexpr (Type == Knight) {
    return CountSteps<Us>(b, s, KnightPack{});
  } else if constexpr (Type == Bishop) {
    return CountRays<Us>(b, s, BishopPack{});
  } else if constexpr (Type == Rook) {
    return CountRays<Us>(b, s, RookPack{});
  } else {
    return CountRays<Us>(b, s, BishopPack{}) + CountRays<Us>(b, s, RookPack{});
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
  constexpr int home = RelativeSquare(Us, E1);
  constexpr uint8_t shortRight = CastlingRight(Us, ShortCastling);
  constexpr uint8_t longRight = CastlingRight(Us, LongCastling);
  uint16_t targets = 0;
  for (int j = 0; j < 8; ++j) {
    const int t = k + ZoneSteps[j];
    if (!IsOffBoard(t) && b.colorAt[t] != Us) targets |= uint16_t(1 << j);
  }
  const bool shortOpen =
      (b.castlingRights & shortRight) && k == home && b.colorAt[home + 1] == NoColor && b.colorAt[home + 2] == NoColor;
  const bool longOpen = (b.castlingRights & longRight) && k == home && b.colorAt[home - 1] == NoColor &&
                        b.colorAt[home - 2] == NoColor && b.colorAt[home - 3] == NoColor;
  if (shortOpen) targets |= ZoneShortTarget;
  if (longOpen) targets |= ZoneLongTarget;
  if (!targets) return 0;
  const uint16_t safe = uint16_t(targets & ~ZoneAttacks<Them>(b, k, targets));
  int n = BitCount8[safe & ZoneNeighbours];
  n += shortOpen && (safe & ZoneShortPassing) && (safe & ZoneShortTarget);
  n += longOpen && (safe & ZoneLongPassing) && (safe & ZoneLongTarget);
  return n;
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

// A slider of this type on s reads square c: c lies on one of its lines with
// nothing between.
template <int Type>
inline bool SliderReads(const Board& b, Square s, Square c) {
  return (AttackKinds[c - s + DifferenceOffset] & LinesOf<Type>) != 0 && IsPathEmpty(b, s, c);
}

// The squares a pawn of Us reads, as steps from it: push, double push,
// captures.
template <Color Us>
inline constexpr int PawnReadSteps[] = {PawnPushStep[Us], 2 * PawnPushStep[Us], PawnCaptureSteps[Us][0],
                                        PawnCaptureSteps[Us][1]};

// What a position holds for counting the moves of one side after each of
// several single moves: the free-move counts of that side's pieces other
// than the king by slot, the pawns' total and the pinned pieces.
struct MoveCountBase {
  uint8_t bySlot[SlotsPerSide];
  int pawns;
  uint64_t pinned;
  uint8_t pinLines;  // PinLines of that side
};

// The lines a piece of this type moves along (none for the others).
inline constexpr uint8_t SliderLinesByType[] = {0, 0, 0, LinesOf<Bishop>, LinesOf<Rook>, LinesOf<Queen>, 0};

template <Color Us>
inline void CountMoveBase(const Board& b, MoveCountBase& base) {
  base.pawns = 0;
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type>, Square s) {
    if constexpr (Type != King) {
      const int n = CountFreeMoves<Us, Type>(b, s);
      base.bySlot[b.slotAt[s]] = uint8_t(n);
      if constexpr (Type == Pawn) base.pawns += n;
    }
    return false;
  });
}

// The legal moves of Us after the move m of Mover (made; u its undo record;
// Us not in check), from the base of Us in the position before m. Mover is
// Us for the second move of a Marseillais turn (its en passant, which no
// second move has, left out), the opponent for the replies to a move. Only m
// changed the contents of squares, its from and to squares. A piece that
// reads neither keeps its count (on a line, the nearer of the two decides:
// the squares before it are unchanged); the pawns that may read them stand a
// read step behind either square. m's piece if it is Us's, the piece m took
// if it was a pawn of Us's, the pieces that read m's squares, the pinned
// pieces and the king are counted again, and the pins are found again when m
// touched a line from the king. Castling and en passant change more squares:
// counted afresh.
template <Color Us, Color Mover>
inline int CountMovesAfter(Board& b, Move m, const UndoRecord& u, const MoveCountBase& base) {
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
  // The pawns counted again (or, taken by m, no longer), by slot.
  uint16_t recount = 0;
  if constexpr (ownMove) {
    if (MoveKindOf(m) == PromotionMove || b.typeAt[to] == Pawn) recount |= uint16_t(1 << b.slotAt[to]);
  } else {
    if (u.captured == Pawn) recount |= uint16_t(1 << u.capturedSlot);
  }
  for (const Square c : {from, to}) {
    for (const int step : PawnReadSteps<Us>) {
      const int s = c - step;
      if (!IsOffBoard(s) && b.colorAt[s] == Us && b.typeAt[s] == Pawn) recount |= uint16_t(1 << b.slotAt[s]);
    }
  }
  for (uint64_t rest = pinMask; rest; rest &= rest - 1) {
    const Square s = SquareOf(__builtin_ctzll(rest));
    if (b.typeAt[s] == Pawn) recount |= uint16_t(1 << b.slotAt[s]);
  }
  n += base.pawns;
  for (uint16_t rest = recount; rest; rest &= uint16_t(rest - 1)) {
    const int slot = __builtin_ctz(rest);
    const Square s = pieces.squares[slot];
    n -= base.bySlot[slot];
    if (s == NoSquare || b.typeAt[s] != Pawn) continue;  // taken, or promoted by m: counted with the pieces
    n += isPinned(s) ? CountPinnedMoves<Us>(b, k, s, scratch) : CountFreeMoves<Us, Pawn>(b, s);
  }
  VisitPieces<PieceSet::Officers>(b, pieces, [&]<int Type>(TypeTag<Type>, Square s) {
    if (isPinned(s)) {
      n += CountPinnedMoves<Us>(b, k, s, scratch);
    } else {
      bool reads;
      if constexpr (Type == Knight)
        reads =
            ((AttackKinds[from - s + DifferenceOffset] | AttackKinds[to - s + DifferenceOffset]) & KnightAttack) != 0;
      else
        reads = SliderReads<Type>(b, s, from) || SliderReads<Type>(b, s, to);
      n += s == to || reads ? CountFreeMoves<Us, Type>(b, s) : base.bySlot[b.slotAt[s]];
    }
    return false;
  });
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
  detail::MoveCountBase base;
  detail::CountMoveBase<Us>(b, base);
  base.pinned = C == InCheck::Yes ? PinnedPieces<Us>(b) : pinMask;
  base.pinLines = PinLines<Us>(b);
  uint64_t n = 0;
  for (int i = 0; i < firsts.Count(); ++i) {
    const Move m1 = firsts.At(i).move;
    const bool needsTest = C == InCheck::Yes || NeedsLegalityTest(b, m1, pinMask);
    const bool check = GivesCheck<Us>(b, m1);
    UndoRecord u;
    MakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
    if (!needsTest || !IsSquareAttacked<Them>(b, b.KingSquare(Us))) {
      n += check ? 1 : detail::CountMovesAfter<Us, Us>(b, m1, u, base);
    }
    UnmakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
  }
  return n;
}

}  // namespace quarn
