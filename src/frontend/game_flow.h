// What happens around a move: the typed move word, the game-over test, the
// engine's own turn (search or random pick) and the random picks themselves.
#pragma once

#include "frontend/command_loop.h"

namespace quarn {

// Plays the typed move or turn, or prints "Error (illegal move): <word>".
void HandleMoveWord(GameContext& ctx, const char* word);

// Sets gameOver when the side to move has no legal move (or turn).
void CheckGameOver(GameContext& ctx);

// Moves when the engine is to move and the game is not over.
void EngineTurn(GameContext& ctx);

// A legal move (turn) of the side to move at index (rand() & 0x7FFF) mod count;
// 0 when there is none.
Move PickRandomMove(Position& pos);
MovePair PickRandomMovePair(MarseillaisPosition& pos);

}  // namespace quarn
