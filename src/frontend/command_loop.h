// The xboard command loop: reads lines, splits them into words and runs the
// command table. A session is BeginSession followed by RunLines over any
// number of inputs: the native engine reads standard input in one RunLines,
// the browser's engine hands over one line at a time.
#pragma once

#include <cstdio>

#include "frontend/game_context.h"

namespace quarn {

// Starts a session: announces "feature done=0", seeds the random moves and
// prompts for the first line.
void BeginSession(GameContext& ctx);

// Runs the commands of `in` up to its end, prompting after each line; true
// when "quit" ended them (the rest of `in` is not read).
bool RunLines(GameContext& ctx, std::FILE* in);

// A whole session over `in`, until "quit" or the end of input. Only the real
// standard input is switched to unbuffered reading.
int RunCommandLoop(GameContext& ctx, std::FILE* in);

}  // namespace quarn
