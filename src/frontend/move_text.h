// Move text in coordinate notation: e2e4, e7e8q, and a Marseillais turn as
// e2e4,d2d4.
#pragma once

#include "position/types.h"

namespace quarn {

struct ParsedMove {
  Square from = NoSquare;
  Square to = NoSquare;
  PieceType promotion = Empty;
};

// Four characters (file letters case-folded) and an optional promotion
// letter b, n, q or r in either case.
bool ParseCoordinateMove(const char* text, ParsedMove& out);

// A typed word as up to `maxMoves` moves separated by a comma; a second move
// not typed stays at the no-square value, which matches no move.
bool ParseTypedTurn(const char* word, int maxMoves, ParsedMove& first, ParsedMove& second);

// Whether a legal turn is the one typed: both halves of a two-move turn, the
// move of a one-move turn.
bool MatchesTyped(Move m, const ParsedMove& first, const ParsedMove& second);
bool MatchesTyped(MovePair p, const ParsedMove& first, const ParsedMove& second);

// Text buffers: a move takes up to 6 bytes ("e7e8q" and its end), a pair
// up to 12; both with room to spare.
constexpr int MoveTextSize = 8;
constexpr int TurnTextSize = 16;
void FormatMove(Move m, char* text);
void FormatMovePair(MovePair p, char* text);
inline void FormatTurn(Move m, char* text) { FormatMove(m, text); }
inline void FormatTurn(MovePair p, char* text) { FormatMovePair(p, text); }

}  // namespace quarn
