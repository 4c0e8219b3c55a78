// libFuzzer entry for the xboard command loop: every input is a whole
// session's worth of standard input, fed to RunCommandLoop through a memory
// stream, with a fresh game context each time.
//
// This target is compiled with QUARN_FUZZING, which caps the depth-heavy
// commands so that every input finishes quickly:
//   - "perft" and "divide" accept depths up to 3 in normal chess and 2 in
//     Marseillais; deeper counts are ignored like any out-of-range depth;
//   - every move budget is at most 1 centisecond whatever the "level", so
//     "go" (and every engine reply) answers at once.
// It is also compiled with QUARN_CHECK_INVARIANTS, so the board is verified
// after every make and unmake, and with AddressSanitizer and
// UndefinedBehaviorSanitizer (see fuzz/CMakeLists.txt).
//
// The engine's output is thrown away (standard output goes to /dev/null) so
// that printing does not slow the fuzzer down.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "frontend/command_loop.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!std::freopen("/dev/null", "w", stdout)) std::perror("freopen /dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::GameContext ctx;
  if (!quarn::InitGameContext(ctx)) return 0;
  // fmemopen refuses an empty buffer; an empty input is an empty stream.
  static char empty[1] = {0};
  std::FILE* in = size == 0 ? fmemopen(empty, 1, "r") : fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!in) return 0;
  if (size == 0) std::fgetc(in);  // consume the placeholder byte: end of input at once
  quarn::RunCommandLoop(ctx, in);
  std::fclose(in);
  return 0;
}
