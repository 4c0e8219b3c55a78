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
// It is built with AddressSanitizer and UndefinedBehaviorSanitizer (see
// fuzz/CMakeLists.txt).
//
// The harness itself reads at most MaxLines lines of an input (the bytes
// after the last of them are dropped): a capped "go" still searches a few
// thousand nodes and a capped "perft 3" a few thousand positions, so an
// input of a thousand such lines would take longer than the fuzzer's
// timeout without any single command hanging. A command that takes that
// long on its own is still reported as a timeout.
//
// The engine's output is thrown away (standard output goes to /dev/null) so
// that printing does not slow the fuzzer down.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "frontend/command_loop.h"

namespace {

constexpr int MaxLines = 32;

// The length of the input's first MaxLines lines (all of it when shorter).
size_t CappedSize(const uint8_t* data, size_t size) {
  int lines = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && ++lines == MaxLines) return i + 1;
  }
  return size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!std::freopen("/dev/null", "w", stdout)) std::perror("freopen /dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size = CappedSize(data, size);
  quarn::GameContext ctx;
  if (!quarn::InitGameContext(ctx)) return 0;
  // Older C libraries refuse an empty memory stream: an empty input reads a
  // one-byte placeholder that is consumed before the loop starts.
  static char empty[1] = {0};
  std::FILE* in = size == 0 ? fmemopen(empty, 1, "r") : fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!in) return 0;
  if (size == 0) std::fgetc(in);  // consume the placeholder byte: end of input at once
  quarn::RunCommandLoop(ctx, in);
  std::fclose(in);
  return 0;
}
