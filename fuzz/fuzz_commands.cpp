// libFuzzer entry for the xboard command loop: every input is a whole
// session's standard input, fed to RunCommandLoop through a memory stream
// with a fresh game context whose limits cap perft and divide at depth 3 (1
// in Marseillais) and every move budget at 1 cs. Only
// the first MaxLines lines of an input are read, so that a thousand capped
// searches cannot add up past the timeout; the output goes to /dev/null.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "frontend/command_loop.h"
#include "frontend/game_flow.h"

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
  ctx.limits = {{3, 1}, 1};
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
