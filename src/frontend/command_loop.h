// The xboard command loop and the game context it drives.
#pragma once

#include <cstdio>
#include <memory>

#include "frontend/clock.h"
#include "position/position.h"

namespace quarn {

struct GameContext {
  std::unique_ptr<Position> normalPosition;                  // null while Marseillais is played
  std::unique_ptr<MarseillaisPosition> marseillaisPosition;  // null while normal chess is played
  int variant = 0;                                           // 0 normal chess, 1 Marseillais
  int engineSide = 2;                                        // 0 white, 1 black, 2 none
  TimeControl timeControl;
  bool boardDirty = true;
  bool xboardMode = false;
  bool forceMode = false;
  bool randomMode = false;
  bool gameOver = false;
};

// Builds the start-up context (normal chess at the initial position); false
// when the position cannot be allocated.
bool InitGameContext(GameContext& ctx);

// Reads and executes commands from `in` until "quit" or the end of input.
// Only the real standard input is switched to unbuffered reading.
int RunCommandLoop(GameContext& ctx, std::FILE* in);

void ResetGame(GameContext& ctx);
void PrintBoard(GameContext& ctx);

}  // namespace quarn
