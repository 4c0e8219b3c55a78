// Move text in coordinate notation (e2e4, e7e8q, pairs as e2e4,d2d4), the
// lookup of a typed move among the legal ones, and playing moves and turns
// on a position's ply stack.
#pragma once

#include "position/position.h"

namespace quarn {

struct ParsedMove {
  Square from = NoSquare;
  Square to = NoSquare;
  int promotion = 0;  // piece type, 0 for none
};

// Four characters (file letters case-folded) and an optional promotion
// letter b, n, q or r in either case.
bool ParseCoordinateMove(const char* text, ParsedMove& out);

// At least 6 bytes; a pair needs 12.
void FormatMove(Move m, char* text);
void FormatMovePair(MovePair p, char* text);

// The legal move (or turn, with the first-turn rule) that matches, or 0. The
// legal list is left in the current ply's list.
Move FindUserMove(Position& pos, const ParsedMove& typed);
MovePair FindUserMovePair(MarseillaisPosition& pos, const ParsedMove& first, const ParsedMove& second);

// Full make into the current frame, then open the next ply.
void PlayMove(Position& pos, Move m);
void PlayMovePair(MarseillaisPosition& pos, MovePair p);

}  // namespace quarn
