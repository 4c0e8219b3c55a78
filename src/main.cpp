#include <cstdio>

#include "frontend/command_loop.h"
#include "frontend/game_flow.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main() {
#ifdef _WIN32
  // Windows' C runtime would turn CRLF into LF on input and LF into CRLF on
  // output; in binary mode the engine reads and writes the same bytes there
  // as everywhere else.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  quarn::GameContext ctx;
  if (!quarn::InitGameContext(ctx)) {
    std::printf("Error (out of memory): start-up\n");
    return 1;
  }
  return quarn::RunCommandLoop(ctx, stdin);
}
