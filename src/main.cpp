#include <cstdio>

#include "frontend/command_loop.h"
#include "frontend/game_flow.h"

int main() {
  quarn::GameContext ctx;
  if (!quarn::InitGameContext(ctx)) {
    std::printf("Error (out of memory): start-up\n");
    return 1;
  }
  return quarn::RunCommandLoop(ctx, stdin);
}
