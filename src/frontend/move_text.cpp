#include "frontend/move_text.h"

#include <cstring>

namespace quarn {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool Matches(Move m, const ParsedMove& typed) {
  return m != NoMove && MoveFrom(m) == typed.from && MoveTo(m) == typed.to && PromotionType(m) == typed.promotion;
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
  out.promotion = Empty;
  if (n == 5) {  // the promotion piece's letter, in either case
    const char* letter = std::strchr(PieceLetters, Lower(text[4]));
    const int type = letter ? int(letter - PieceLetters) : Empty;
    if (type < Knight || type > Queen) return false;
    out.promotion = PieceType(type);
  }
  return true;
}

namespace {

char* WriteSquare(Square s, char* text) {
  *text++ = char('a' + FileOf(s));
  *text++ = char('1' + RankOf(s));
  return text;
}

char* WriteMove(Move m, char* text) {
  text = WriteSquare(MoveTo(m), WriteSquare(MoveFrom(m), text));
  if (MoveKindOf(m) == PromotionMove) *text++ = PieceLetters[PromotedType(m)];
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

bool ParseTypedTurn(const char* word, int maxMoves, ParsedMove& first, ParsedMove& second) {
  const char* comma = maxMoves > 1 ? std::strchr(word, ',') : nullptr;
  if (!comma) return ParseCoordinateMove(word, first);
  char firstText[256];
  const size_t n = size_t(comma - word);
  if (n >= sizeof firstText) return false;
  std::memcpy(firstText, word, n);
  firstText[n] = '\0';
  return ParseCoordinateMove(firstText, first) && ParseCoordinateMove(comma + 1, second);
}

bool MatchesTyped(Move m, const ParsedMove& first, const ParsedMove&) { return Matches(m, first); }

bool MatchesTyped(MovePair p, const ParsedMove& first, const ParsedMove& second) {
  if (FirstOf(p) != NoMove && SecondOf(p) != NoMove) return Matches(FirstOf(p), first) && Matches(SecondOf(p), second);
  return Matches(FirstOf(p), first);
}

}  // namespace quarn
