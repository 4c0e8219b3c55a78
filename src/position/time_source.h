// The monotonic clock every timing in the engine reads: the search polls it
// against its budget, the front end's game clocks are built on it.
#pragma once

#include <chrono>
#include <cstdint>

namespace quarn {

// Monotonic centiseconds, wrapping at 32 bits; only differences are used.
inline int32_t ClockNow() {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  return int32_t(uint32_t(uint64_t(ms) / 10));
}

// Centiseconds from `start` (a ClockNow reading) to now.
inline int32_t CentisecondsSince(int32_t start) { return int32_t(uint32_t(ClockNow()) - uint32_t(start)); }

}  // namespace quarn
