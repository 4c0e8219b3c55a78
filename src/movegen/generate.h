// Pseudo-legal move generation in a fixed order: en-passant captures, then
// castling, then the pieces by slot (king, queen, rooks, bishops, knights,
// pawns and extra pieces). Legality is settled by the callers.
#pragma once

#include <iterator>

#include "position/attacks.h"
#include "position/board.h"
#include "position/move_list.h"

namespace quarn {

template <Color Us>
constexpr int LastRank = Us == White ? 7 : 0;
template <Color Us>
constexpr int PawnStartRank = Us == White ? 1 : 6;
template <Color Us>
constexpr int DoublePushRank = Us == White ? 3 : 4;

// Whether steps and slides list quiet moves too, or captures only.
enum class Reach : bool { CapturesOnly, QuietToo };

// The pieces a pawn may become, in the order every generator lists them.
inline constexpr PieceType PromotionPieces[] = {Queen, Knight, Rook, Bishop};
constexpr int PromotionCount = int(std::size(PromotionPieces));

// `victim` is the type taken on `to` (Empty for a push).
template <class List>
inline void AppendPromotions(List& list, Square from, Square to, int victim) {
  for (PieceType type : PromotionPieces) {
    const Move m = MakeMoveWord(from, to, PromotionMove, PromotionExtra(type));
    if (victim == Empty)
      AppendMove(list, m);
    else
      AppendCapture(list, m, victim, Pawn);
  }
}

// Steps and slides over compile-time step packs, unrolled, visiting the
// directions in pack order. A slide yields its quiet moves nearest first,
// then its capture if any. Type is the moving piece's. The move word of a
// quiet slide follows its square a step at a time.
template <Color Us, Reach R, int Type, int D, class List>
inline void SlideAlong(const Board& b, Square s, List& list) {
  int t = s + D;
  int word = SelfMoveWord(s) + StepWord(D);
  while (!IsOffBoard(t) && b.colorAt[t] == NoColor) {
    if constexpr (R == Reach::QuietToo) AppendMove(list, Move(word));
    t += D;
    if constexpr (R == Reach::QuietToo) word += StepWord(D);
  }
  if (!IsOffBoard(t) && b.colorAt[t] == Opponent(Us)) {
    // A capture-only slide finds the word at its end.
    if constexpr (R == Reach::CapturesOnly) word = MakeMoveWord(s, Square(t));
    AppendCapture(list, Move(word), b.typeAt[t], Type);
  }
}
template <Color Us, Reach R, int Type, class List, int... D>
inline void SlideAll(const Board& b, Square s, List& list, StepPack<D...>) {
  (SlideAlong<Us, R, Type, D>(b, s, list), ...);
}

// Single steps to squares not holding a piece of Us (only enemy-held ones
// for captures).
template <Color Us, Reach R, int Type, int D, class List>
inline void StepTo(const Board& b, Square s, List& list) {
  const int t = s + D;
  if (IsOffBoard(t)) return;
  if (R == Reach::QuietToo ? b.colorAt[t] != Us : b.colorAt[t] == Opponent(Us)) {
    const Move m = Move(SelfMoveWord(s) + StepWord(D));
    if (R == Reach::QuietToo && (!RanksCaptures<List> || b.colorAt[t] == NoColor))
      AppendMove(list, m);
    else
      AppendCapture(list, m, b.typeAt[t], Type);
  }
}
template <Color Us, Reach R, int Type, class List, int... D>
inline void StepAll(const Board& b, Square s, List& list, StepPack<D...>) {
  (StepTo<Us, R, Type, D>(b, s, list), ...);
}

template <Color Us, class List>
inline void GenerateKingSteps(const Board& b, Square s, List& list) {
  StepAll<Us, Reach::QuietToo, King>(b, s, list, KingPack{});
}

// Whether a pawn of Us on s can take on t = s + a capture step. No pawn
// stands on its last rank, so t lies within the squares of the arrays, but
// for -1 (Black's a2 pawn taking leftwards), which the mask turns into the
// off-board last index; off-board squares hold no colour, so no test for
// them is needed.
template <Color Us>
inline bool PawnCanTake(const Board& b, int t) {
  return b.colorAt[t & (SquareArraySize - 1)] == Opponent(Us);
}

// What a pawn of Us on s may do, for the generator and the counters alike:
// take on a square the opponent holds, step onto the empty square ahead and,
// from its start rank, on beyond; visit(target, step) for each (onto the last
// rank: the PromotionCount promotions).
enum class PawnStep { Capture, Push, DoublePush };
template <Color Us, class Visit>
[[gnu::always_inline]] inline void VisitPawnMoves(const Board& b, Square s, Visit&& visit) {
  for (int c : PawnCaptureSteps[Us]) {
    if (PawnCanTake<Us>(b, s + c)) visit(Square(s + c), PawnStep::Capture);
  }
  const int t = s + PawnPushStep[Us];
  if (IsOffBoard(t) || b.colorAt[t] != NoColor) return;
  visit(Square(t), PawnStep::Push);
  const int t2 = t + PawnPushStep[Us];
  if (RankOf(s) == PawnStartRank<Us> && b.colorAt[t2] == NoColor) visit(Square(t2), PawnStep::DoublePush);
}

template <Color Us, class List>
inline void GeneratePawnMoves(const Board& b, Square s, List& list) {
  VisitPawnMoves<Us>(
      b, s, [&](Square t, PawnStep step) __attribute__((always_inline)) {
        const int victim = step == PawnStep::Capture ? int(b.typeAt[t]) : int(Empty);
        if (RankOf(t) == LastRank<Us>)
          AppendPromotions(list, s, t, victim);
        else if (victim != Empty)
          AppendCapture(list, MakeMoveWord(s, t), victim, Pawn);
        else
          AppendMove(list, MakeMoveWord(s, t, NormalMove, step == PawnStep::DoublePush ? DoublePushFlag : 0));
      });
}

// Every pawn of Us beside the en-passant square; nothing else is tested.
template <Color Us, class List>
inline void GenerateEnPassant(const Board& b, List& list) {
  if (b.epSquare == NoSquare) return;
  for (int c : PawnCaptureSteps[Us]) {
    const int p = b.epSquare - c;
    if (!IsOffBoard(p) && IsPieceAt(b, Square(p), Us, Pawn)) {
      AppendMove(list, MakeMoveWord(Square(p), b.epSquare, EnPassantMove));
    }
  }
}

// Only for a side not in check: the king's square is not tested, and the
// destination is left to the legality test that every king move gets.
template <Color Us, class List>
inline void GenerateCastling(const Board& b, List& list) {
  constexpr Color Them = Opponent(Us);
  constexpr auto at = [](Square whiteSquare) { return RelativeSquare(Us, whiteSquare); };
  if ((b.castlingRights & CastlingRight(Us, ShortCastling)) && b.colorAt[at(F1)] == NoColor &&
      b.colorAt[at(G1)] == NoColor && !IsSquareAttacked<Them>(b, at(F1))) {
    AppendMove(list, CastlingMoveOf(Us, ShortCastling));
  }
  if ((b.castlingRights & CastlingRight(Us, LongCastling)) && b.colorAt[at(D1)] == NoColor &&
      b.colorAt[at(C1)] == NoColor && b.colorAt[at(B1)] == NoColor && !IsSquareAttacked<Them>(b, at(D1))) {
    AppendMove(list, CastlingMoveOf(Us, LongCastling));
  }
}

// The moves of a piece of Us of a type known at compile time.
template <Color Us, int Type, class List>
inline void GenerateTypedMoves(const Board& b, Square s, List& list) {
  if constexpr (Type == Pawn)
    GeneratePawnMoves<Us>(b, s, list);
  else if constexpr (Type == Knight)
    StepAll<Us, Reach::QuietToo, Knight>(b, s, list, KnightPack{});
  else if constexpr (Type == Bishop)
    SlideAll<Us, Reach::QuietToo, Bishop>(b, s, list, BishopPack{});
  else if constexpr (Type == Rook)
    SlideAll<Us, Reach::QuietToo, Rook>(b, s, list, RookPack{});
  else if constexpr (Type == Queen) {
    SlideAll<Us, Reach::QuietToo, Queen>(b, s, list, BishopPack{});
    SlideAll<Us, Reach::QuietToo, Queen>(b, s, list, RookPack{});
  } else
    GenerateKingSteps<Us>(b, s, list);
}

// The same with the type read from the board; any value but pawn to queen
// takes king steps. Used only for pinned pieces: kept out of line.
template <Color Us, class List>
[[gnu::noinline]] void GeneratePieceMoves(const Board& b, Square s, List& list) {
  WithPieceType(b.typeAt[s], [&]<int Type>(TypeTag<Type>) { GenerateTypedMoves<Us, Type>(b, s, list); });
}

// Every pseudo-legal move; without en passant for the second move of a
// Marseillais turn.
template <Color Us, EnPassant E = EnPassant::With, class List>
inline void GenerateMoves(const Board& b, List& list) {
  if constexpr (E == EnPassant::With) GenerateEnPassant<Us>(b, list);
  GenerateCastling<Us>(b, list);
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type>, Square s) {
    GenerateTypedMoves<Us, Type>(b, s, list);
    return false;
  });
}

// Moves of Us's pieces other than the king that end on t: pawns first, then
// knights, then diagonal and orthogonal sliders.
template <Color Us, class List>
inline void GenerateMovesOnto(const Board& b, List& list, Square t) {
  constexpr int push = PawnPushStep[Us];
  if (b.colorAt[t] == NoColor) {
    const int from = t - push;
    if (!IsOffBoard(from) && IsPieceAt(b, Square(from), Us, Pawn)) {
      if (RankOf(t) == LastRank<Us>)
        AppendPromotions(list, Square(from), t, Empty);
      else
        AppendMove(list, MakeMoveWord(Square(from), t));
    } else if (!IsOffBoard(from) && b.colorAt[from] == NoColor && RankOf(t) == DoublePushRank<Us> &&
               IsPieceAt(b, Square(t - 2 * push), Us, Pawn)) {
      AppendMove(list, MakeMoveWord(Square(t - 2 * push), t, NormalMove, DoublePushFlag));
    }
  } else {
    for (int c : PawnCaptureSteps[Us]) {
      const int from = t - c;
      if (IsOffBoard(from) || !IsPieceAt(b, Square(from), Us, Pawn)) continue;
      if (RankOf(t) == LastRank<Us>)
        AppendPromotions(list, Square(from), t, b.typeAt[t]);
      else
        AppendCapture(list, MakeMoveWord(Square(from), t), b.typeAt[t], Pawn);
    }
  }
  // A piece's move onto t: a capture when t is held.
  const auto append = [&](int from) {
    const Move m = MakeMoveWord(Square(from), t);
    if (b.colorAt[t] == NoColor)
      AppendMove(list, m);
    else
      AppendCapture(list, m, b.typeAt[t], b.typeAt[from]);
  };
  for (const int* d = KnightSteps; *d; ++d) {
    const int from = t - *d;
    if (!IsOffBoard(from) && IsPieceAt(b, Square(from), Us, Knight)) append(from);
  }
  for (PieceType slider : {Bishop, Rook}) {
    for (const int* d = StepsByType[slider]; *d; ++d) {
      const int from = FirstPieceAlong(b, t, -*d);
      if (!IsOffBoard(from) && b.colorAt[from] == Us && (b.typeAt[from] == slider || b.typeAt[from] == Queen)) {
        append(from);
      }
    }
  }
}

// Candidates that may answer a check: king steps, captures of the (first
// reported) checker, en passant when a pawn checks, interpositions from the
// checker towards the king. Never castling.
template <Color Us, class List>
inline void GenerateEvasions(const Board& b, List& list) {
  constexpr Color Them = Opponent(Us);
  const Square k = b.KingSquare(Us);
  Square checker = NoSquare;
  FindAttacker<Them>(b, k, checker);
  GenerateKingSteps<Us>(b, k, list);
  if (checker == NoSquare) return;  // not in check: only king steps are safe to list
  GenerateMovesOnto<Us>(b, list, checker);
  if (IsPieceAt(b, checker, Them, Pawn)) GenerateEnPassant<Us>(b, list);
  const int d = Direction(checker, k);
  if (d != 0) {
    for (int s = checker + d; s != k; s += d) GenerateMovesOnto<Us>(b, list, Square(s));
  }
}

// Captures only, queen promotions only: en passant first, then the pieces by slot.
template <Color Us, class List>
inline void GenerateCaptures(const Board& b, List& list) {
  GenerateEnPassant<Us>(b, list);
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type>, Square s) {
    if constexpr (Type == Pawn) {
      for (int c : PawnCaptureSteps[Us]) {
        const int t = s + c;
        if (!PawnCanTake<Us>(b, t)) continue;
        const Move m = RankOf(t) == LastRank<Us> ? MakeMoveWord(s, Square(t), PromotionMove, PromotionExtra(Queen))
                                                 : MakeMoveWord(s, Square(t));
        AppendCapture(list, m, b.typeAt[t], Pawn);
      }
    } else if constexpr (Type == Knight || Type == King) {
      StepAll<Us, Reach::CapturesOnly, Type>(b, s, list, std::conditional_t<Type == Knight, KnightPack, KingPack>{});
    } else {
      if constexpr (Type != Rook) SlideAll<Us, Reach::CapturesOnly, Type>(b, s, list, BishopPack{});
      if constexpr (Type != Bishop) SlideAll<Us, Reach::CapturesOnly, Type>(b, s, list, RookPack{});
    }
    return false;
  });
}

}  // namespace quarn
