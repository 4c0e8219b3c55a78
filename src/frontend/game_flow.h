// What happens in the game around the commands: a new game, the board print,
// the typed move word, the game-over test, the engine's own turn (search or
// random pick) and the perft and divide counts, each written once over the
// variant in play.
#pragma once

#include <cstddef>

#include "frontend/game_context.h"

namespace quarn {

// Builds the start-up context (normal chess at the initial position); false
// when the position cannot be allocated.
bool InitGameContext(GameContext& ctx);

// The variant a name stands for ("normal"; "marseillais" or "multi"), the
// one place that knows the names; false for any other.
bool ParseVariant(const char* name, Variant& v);
// Switches to the variant named and starts a new game, unless it is in play.
// The new position is built before the old one is freed, so a failed
// allocation leaves the game as it was.
void SwitchVariant(GameContext& ctx, const char* name);

void ResetGame(GameContext& ctx);

// Takes back the game's last turns (one for "undo", two for "remove"; in
// Marseillais a turn is one or two moves): the board, the count of moves
// made and the game-over state become what they were before them, and the
// board is printed. False, and nothing changes, when fewer were played
// since the game or its set-up position began.
bool TakeBack(GameContext& ctx, size_t turns);
// Prints the board when it changed since the last print; flushes the output.
void PrintBoard(GameContext& ctx);

// Plays the typed move or turn, or prints "Error (illegal move): <word>".
void HandleMoveWord(GameContext& ctx, const char* word);

// Sets gameOver when the side to move has no legal move (or turn).
void CheckGameOver(GameContext& ctx);

// Moves when the engine is to move and the game is not over.
void EngineTurn(GameContext& ctx);

// The rate per second of a count over the centiseconds it took (the perft
// line's and the nodes line's), 0 when no time was measured and saturated
// at INT32_MAX.
int32_t PerSecond(uint64_t count, int32_t elapsed);

// "perft DEPTH" and "divide DEPTH": depths outside 1..the variant's maximum
// are ignored.
void RunCount(GameContext& ctx, long long depth, bool divide);

}  // namespace quarn
