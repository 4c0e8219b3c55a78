// FEN set-up and output.
#pragma once

#include <string>

#include "position/position.h"

namespace quarn {

inline constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// The FEN reader: resets the board, then reads the text in one pass. On a
// false result the board is left as far as it was filled.
bool SetFromFen(Board& b, const char* text);

// The board as FEN, with the move counters written as " 0 1".
std::string PositionToFen(const Board& b);

// What "setboard" applies: reads the FEN into a scratch board and accepts it
// only when the engine can play from it: exactly one king a side, no pawn on
// the first or last rank, the side to move read, and the side not to move
// not in check. Castling rights whose king and rook are not at home, and an
// en-passant square on the wrong rank, occupied, or without the enemy pawn in
// front of it, are dropped. The board is changed only on success.
bool SetupPlayableFen(Board& b, const char* text);

}  // namespace quarn
