#include "frontend/move_text.h"

#include <cstring>

#include "movegen/legal.h"
#include "movegen/turns.h"
#include "position/make_unmake.h"

namespace quarn {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool Matches(Move m, const ParsedMove& typed) {
  return m != 0 && MoveFrom(m) == typed.from && MoveTo(m) == typed.to && PromotionType(m) == typed.promotion;
}

}  // namespace

bool ParseCoordinateMove(const char* text, ParsedMove& out) {
  const size_t n = std::strlen(text);
  if (n != 4 && n != 5) return false;
  const unsigned fromFile = unsigned(Lower(text[0]) - 'a'), fromRank = unsigned(text[1] - '1');
  const unsigned toFile = unsigned(Lower(text[2]) - 'a'), toRank = unsigned(text[3] - '1');
  if (fromFile > 7 || fromRank > 7 || toFile > 7 || toRank > 7) return false;
  out.from = MakeSquare(int(fromFile), int(fromRank));
  out.to = MakeSquare(int(toFile), int(toRank));
  out.promotion = 0;
  if (n == 5) {
    switch (Lower(text[4])) {
      case 'b':
        out.promotion = Bishop;
        break;
      case 'n':
        out.promotion = Knight;
        break;
      case 'q':
        out.promotion = Queen;
        break;
      case 'r':
        out.promotion = Rook;
        break;
      default:
        return false;
    }
  }
  return true;
}

namespace {

char* WriteMove(Move m, char* text) {
  *text++ = char('a' + (m & 7));
  *text++ = char('1' + ((m >> 3) & 7));
  *text++ = char('a' + ((m >> 6) & 7));
  *text++ = char('1' + ((m >> 9) & 7));
  if (MoveKindOf(m) == PromotionMove) *text++ = PieceLetters[(m >> 14) + 2];
  return text;
}

}  // namespace

void FormatMove(Move m, char* text) { *WriteMove(m, text) = '\0'; }

void FormatMovePair(MovePair p, char* text) {
  const Move first = FirstOf(p), second = SecondOf(p);
  if (first != 0) {
    text = WriteMove(first, text);
    if (second == 0) {
      *text = '\0';
      return;
    }
    *text++ = ',';
  }
  if (second == 0) {
    *text = '\0';
    return;
  }
  *WriteMove(second, text) = '\0';
}

Move FindUserMove(Position& pos, const ParsedMove& typed) {
  StackMoveList& list = pos.CurrentList();
  GenerateLegalMovesForSideToMove(pos, list);
  for (int i = 0; i < list.Count(); ++i) {
    if (Matches(list.At(i).move, typed)) return list.At(i).move;
  }
  return 0;
}

MovePair FindUserMovePair(MarseillaisPosition& pos, const ParsedMove& first, const ParsedMove& second) {
  StackPairList& list = pos.CurrentList();
  GenerateLegalTurnsForSideToMove(pos, list);
  for (int i = 0; i < list.Count(); ++i) {
    const MovePair p = list.At(i).pair;
    const bool bothHalves = FirstOf(p) != 0 && SecondOf(p) != 0;
    if (bothHalves ? Matches(FirstOf(p), first) && Matches(SecondOf(p), second) : Matches(FirstOf(p), first)) {
      return p;
    }
  }
  return 0;
}

void PlayMove(Position& pos, Move m) {
  MakeMove(pos, m, pos.CurrentUndo()[0]);
  pos.OpenNextPly();
}

void PlayMovePair(MarseillaisPosition& pos, MovePair p) {
  MakePair(pos, p, pos.CurrentUndo());
  pos.OpenNextPly();
}

}  // namespace quarn
