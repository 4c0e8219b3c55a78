// The browser's engine (the WebAssembly worker build, which never runs main):
// quarn_init starts a session and quarn_handle_line runs one line of input,
// both through the native engine's command loop. The output goes to standard
// output, which the worker script passes on line by line.
#include <cstdio>
#include <string>

#include "frontend/command_loop.h"
#include "frontend/game_flow.h"

namespace {

// The worker's one session; built by quarn_init.
quarn::GameContext session;

}  // namespace

extern "C" {

// Starts the session: 0, or 1 (after an error line) when the start-up
// position cannot be allocated, as the native engine exits.
int quarn_init() {
  if (!quarn::InitGameContext(session)) {
    std::printf("Error (out of memory): start-up\n");
    std::fflush(stdout);
    return 1;
  }
  quarn::BeginSession(session);
  return 0;
}

// Runs one line of input (without its end of line) as the native engine
// reads it from standard input: 1 when it was "quit", which ends the
// session, else 0.
int quarn_handle_line(const char* text) {
  std::string input = std::string(text) + "\n";
  std::FILE* in = fmemopen(input.data(), input.size(), "r");
  if (!in) return 0;
  const bool quit = quarn::RunLines(session, in);
  std::fclose(in);
  return quit ? 1 : 0;
}

}  // extern "C"
