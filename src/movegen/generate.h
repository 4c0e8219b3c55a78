// Pseudo-legal move generation in a fixed order: en-passant captures, then
// castling, then the pieces by slot (king, queen, rooks, bishops, knights,
// pawns and extra pieces). Legality is settled by the callers.
#pragma once

#include "position/attacks.h"
#include "position/board.h"
#include "position/move_list.h"

namespace quarn {

template <Color Us>
constexpr int LastRank = Us == White ? 7 : 0;
template <Color Us>
constexpr int PawnStartRank = Us == White ? 1 : 6;

// Queen, knight, rook, bishop: the order every generator uses.
template <class List>
inline void AppendPromotions(List& list, Square from, Square to) {
  AppendMove(list, MakeMoveWord(from, to, PromotionMove, Queen - 2));
  AppendMove(list, MakeMoveWord(from, to, PromotionMove, Knight - 2));
  AppendMove(list, MakeMoveWord(from, to, PromotionMove, Rook - 2));
  AppendMove(list, MakeMoveWord(from, to, PromotionMove, Bishop - 2));
}

// Steps and slides over compile-time step packs, unrolled, visiting the
// directions in pack order. A slide yields its quiet moves nearest first,
// then its capture if any; with Quiet off only captures are appended.
template <Color Us, bool Quiet, int D, class List>
inline void SlideAlong(const Board& b, Square s, List& list) {
  int t = s + D;
  while (!IsOffBoard(t) && b.colorAt[t] == NoColor) {
    if constexpr (Quiet) AppendMove(list, MakeMoveWord(s, Square(t)));
    t += D;
  }
  if (!IsOffBoard(t) && b.colorAt[t] == Opponent(Us)) AppendMove(list, MakeMoveWord(s, Square(t)));
}
template <Color Us, bool Quiet = true, class List, int... D>
inline void SlideAll(const Board& b, Square s, List& list, StepPack<D...>) {
  (SlideAlong<Us, Quiet, D>(b, s, list), ...);
}

// Single steps to squares not holding a piece of Us (only enemy-held ones
// with Quiet off).
template <Color Us, bool Quiet, int D, class List>
inline void StepTo(const Board& b, Square s, List& list) {
  const int t = s + D;
  if (IsOffBoard(t)) return;
  if (Quiet ? b.colorAt[t] != Us : b.colorAt[t] == Opponent(Us)) AppendMove(list, MakeMoveWord(s, Square(t)));
}
template <Color Us, bool Quiet = true, class List, int... D>
inline void StepAll(const Board& b, Square s, List& list, StepPack<D...>) {
  (StepTo<Us, Quiet, D>(b, s, list), ...);
}

template <Color Us, class List>
inline void GenerateKingSteps(const Board& b, Square s, List& list) {
  StepAll<Us>(b, s, list, KingPack{});
}

template <Color Us, class List>
inline void GeneratePawnMoves(const Board& b, Square s, List& list) {
  constexpr Color Them = Opponent(Us);
  for (int c : PawnCaptureSteps[Us]) {
    const int t = s + c;
    if (IsOffBoard(t) || b.colorAt[t] != Them) continue;
    if (RankOf(t) == LastRank<Us>)
      AppendPromotions(list, s, Square(t));
    else
      AppendMove(list, MakeMoveWord(s, Square(t)));
  }
  const int t = s + PawnPushStep[Us];
  if (IsOffBoard(t) || b.colorAt[t] != NoColor) return;
  if (RankOf(t) == LastRank<Us>) {
    AppendPromotions(list, s, Square(t));
    return;
  }
  AppendMove(list, MakeMoveWord(s, Square(t)));
  const int t2 = t + PawnPushStep[Us];
  if (RankOf(s) == PawnStartRank<Us> && b.colorAt[t2] == NoColor) {
    AppendMove(list, MakeMoveWord(s, Square(t2), NormalMove, 1));
  }
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
  constexpr int base = Us == White ? 0x00 : 0x70;
  constexpr uint8_t shortRight = Us == White ? 1 : 4;
  constexpr uint8_t longRight = Us == White ? 2 : 8;
  if ((b.castlingRights & shortRight) && b.colorAt[base + 5] == NoColor && b.colorAt[base + 6] == NoColor &&
      !IsSquareAttacked<Them>(b, Square(base + 5))) {
    AppendMove(list, Us == White ? CastleWhiteShort : CastleBlackShort);
  }
  if ((b.castlingRights & longRight) && b.colorAt[base + 3] == NoColor && b.colorAt[base + 2] == NoColor &&
      b.colorAt[base + 1] == NoColor && !IsSquareAttacked<Them>(b, Square(base + 3))) {
    AppendMove(list, Us == White ? CastleWhiteLong : CastleBlackLong);
  }
}

// The moves of a piece of Us of a type known at compile time.
template <Color Us, int Type, class List>
inline void GenerateTypedMoves(const Board& b, Square s, List& list) {
  if constexpr (Type == Pawn)
    GeneratePawnMoves<Us>(b, s, list);
  else if constexpr (Type == Knight)
    StepAll<Us>(b, s, list, KnightPack{});
  else if constexpr (Type == Bishop)
    SlideAll<Us>(b, s, list, BishopPack{});
  else if constexpr (Type == Rook)
    SlideAll<Us>(b, s, list, RookPack{});
  else if constexpr (Type == Queen) {
    SlideAll<Us>(b, s, list, BishopPack{});
    SlideAll<Us>(b, s, list, RookPack{});
  } else
    GenerateKingSteps<Us>(b, s, list);
}

// The same with the type read from the board; king and any other value take
// king steps.
template <Color Us, class List>
inline void GeneratePieceMoves(const Board& b, Square s, List& list) {
  switch (b.typeAt[s]) {
    case Pawn:
      GenerateTypedMoves<Us, Pawn>(b, s, list);
      break;
    case Knight:
      GenerateTypedMoves<Us, Knight>(b, s, list);
      break;
    case Bishop:
      GenerateTypedMoves<Us, Bishop>(b, s, list);
      break;
    case Rook:
      GenerateTypedMoves<Us, Rook>(b, s, list);
      break;
    case Queen:
      GenerateTypedMoves<Us, Queen>(b, s, list);
      break;
    default:
      GenerateTypedMoves<Us, King>(b, s, list);
      break;
  }
}

template <Color Us, bool withCastling, bool withEnPassant, class List>
inline void GenerateMoves(const Board& b, List& list) {
  if constexpr (withEnPassant) GenerateEnPassant<Us>(b, list);
  if constexpr (withCastling) GenerateCastling<Us>(b, list);
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
        AppendPromotions(list, Square(from), t);
      else
        AppendMove(list, MakeMoveWord(Square(from), t));
    } else if (!IsOffBoard(from) && b.colorAt[from] == NoColor && RankOf(t) == (Us == White ? 3 : 4) &&
               IsPieceAt(b, Square(t - 2 * push), Us, Pawn)) {
      AppendMove(list, MakeMoveWord(Square(t - 2 * push), t, NormalMove, 1));
    }
  } else {
    for (int c : PawnCaptureSteps[Us]) {
      const int from = t - c;
      if (IsOffBoard(from) || !IsPieceAt(b, Square(from), Us, Pawn)) continue;
      if (RankOf(t) == LastRank<Us>)
        AppendPromotions(list, Square(from), t);
      else
        AppendMove(list, MakeMoveWord(Square(from), t));
    }
  }
  for (const int* d = KnightSteps; *d; ++d) {
    const int from = t - *d;
    if (!IsOffBoard(from) && IsPieceAt(b, Square(from), Us, Knight)) AppendMove(list, MakeMoveWord(Square(from), t));
  }
  for (PieceType slider : {Bishop, Rook}) {
    for (const int* d = StepsByType[slider]; *d; ++d) {
      int from = t - *d;
      while (!IsOffBoard(from) && b.colorAt[from] == NoColor) from -= *d;
      if (!IsOffBoard(from) && b.colorAt[from] == Us && (b.typeAt[from] == slider || b.typeAt[from] == Queen)) {
        AppendMove(list, MakeMoveWord(Square(from), t));
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
  IsSquareAttacked<Them>(b, k, checker);
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
  constexpr Color Them = Opponent(Us);
  GenerateEnPassant<Us>(b, list);
  VisitPieces<PieceSet::All>(b, b.pieceLists[Us], [&]<int Type>(TypeTag<Type>, Square s) {
    if constexpr (Type == Pawn) {
      for (int c : PawnCaptureSteps[Us]) {
        const int t = s + c;
        if (IsOffBoard(t) || b.colorAt[t] != Them) continue;
        if (RankOf(t) == LastRank<Us>)
          AppendMove(list, MakeMoveWord(s, Square(t), PromotionMove, Queen - 2));
        else
          AppendMove(list, MakeMoveWord(s, Square(t)));
      }
    } else if constexpr (Type == Knight) {
      StepAll<Us, false>(b, s, list, KnightPack{});
    } else if constexpr (Type == Bishop) {
      SlideAll<Us, false>(b, s, list, BishopPack{});
    } else if constexpr (Type == Rook) {
      SlideAll<Us, false>(b, s, list, RookPack{});
    } else if constexpr (Type == Queen) {
      SlideAll<Us, false>(b, s, list, BishopPack{});
      SlideAll<Us, false>(b, s, list, RookPack{});
    } else {
      StepAll<Us, false>(b, s, list, KingPack{});
    }
    return false;
  });
}

}  // namespace quarn
