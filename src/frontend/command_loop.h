// The xboard command loop: reads lines, splits them into words and runs the
// command table.
#pragma once

#include <cstdio>

#include "frontend/game_context.h"

namespace quarn {

// Reads and executes commands from `in` until "quit" or the end of input.
// Only the real standard input is switched to unbuffered reading.
int RunCommandLoop(GameContext& ctx, std::FILE* in);

}  // namespace quarn
