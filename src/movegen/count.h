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

}  // namespace detail

// The number of legal moves of Us, which is not in check. Without en passant
// it counts the second moves of a Marseillais turn.
template <Color Us, EnPassant E = EnPassant::With>
inline int CountLegalMoves(Board& b) {
  const uint64_t pinMask = PinnedPieces<Us>(b);
  const Square k = b.KingSquare(Us);
  int n = 0;
  FixedMoveList special;  // en passant and the moves of a pinned piece: few, tested one by one
  if constexpr (E == EnPassant::With) {
    special.count = 0;
    GenerateEnPassant<Us>(b, special);
    for (int i = 0; i < special.Count(); ++i) n += !LeavesKingAttacked<Us>(b, special.At(i).move);
  }
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type>, Square s) {
    if constexpr (Type == King)
      n += detail::CountKingMoves<Us>(b, s);
    else if ((pinMask >> IndexOf(s)) & 1)
      n += detail::CountPinnedMoves<Us>(b, k, s, special);
    else
      n += detail::CountFreeMoves<Us, Type>(b, s);
    return false;
  });
  return n;
}

// The number of legal turns of Us below the root (no first-turn rule): every
// legal first move that gives check is one turn; every other legal first
// move brings as many turns as Us then has legal second moves.
template <Color Us, InCheck C>
inline uint64_t CountLegalTurns(Board& b) {
  constexpr Color Them = Opponent(Us);
  FixedMoveList firsts;
  const uint64_t pinMask = GenerateCandidates<Us, C>(b, firsts);
  uint64_t n = 0;
  for (int i = 0; i < firsts.Count(); ++i) {
    const Move m1 = firsts.At(i).move;
    const bool needsTest = C == InCheck::Yes || NeedsLegalityTest(b, m1, pinMask);
    const bool check = GivesCheck<Us>(b, m1);
    UndoRecord u;
    MakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
    if (!needsTest || !IsSquareAttacked<Them>(b, b.KingSquare(Us))) {
      n += check ? 1 : CountLegalMoves<Us, EnPassant::Without>(b);
    }
    UnmakeMoveT<Us, Sums::Skip, Flip::KeepSide>(b, m1, u);
  }
  return n;
}

}  // namespace quarn
