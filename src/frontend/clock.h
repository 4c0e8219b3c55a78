// The engine's own clock and the time allotted to one move. All times are in
// centiseconds, read from the monotonic ClockNow, so an elapsed time is never
// negative. The clock runs only while the engine takes its turn or counts a
// tree; between commands it is stopped.
#pragma once

#include <algorithm>
#include <cstdint>

#include "position/time_source.h"
#include "position/types.h"

namespace quarn {

struct TimeControl {
  bool running = false;
  int32_t usedTime = 0;    // completed intervals since the last new game
  int32_t startStamp = 0;  // ClockNow when the clock was last started
  int32_t movesPerControl = 40;
  int32_t baseTime = 30000;  // five minutes
  int32_t increment = 0;
  int32_t moveStartUsed = 0;  // ClockUsed when the current move (or count) began
  int32_t moveBudget = 0;     // time allotted to the current move
  int32_t fixedMoveTime = 0;  // "st": the time of every move; 0 allots by the level
};

// A time or rate computed in floating point, as an int32_t saturated at
// INT32_MAX.
inline int32_t SaturatedInt32(double value) { return int32_t(std::min(value, double(INT32_MAX))); }

int32_t ClockUsed(const TimeControl& tc);
void StartClock(TimeControl& tc);
void StopClock(TimeControl& tc);
// Time since the current move (or count) began.
inline int32_t MoveElapsed(const TimeControl& tc) { return ClockUsed(tc) - tc.moveStartUsed; }

// Moves left in the control when the level has no moves per control (all
// moves in one control): each move is given a share as if this many moves
// remained.
constexpr uint32_t SuddenDeathHorizon = 30;

// The time kept back from what is available (centiseconds) and the share of
// the rest one move may take, spread over the moves left.
constexpr int32_t ClockReserve = 10;
constexpr double MoveShare = 0.9;
// The time for this move: (available - ClockReserve) * MoveShare / moves
// left, or 0 when no time is available. Computed wide and clamped, so no level overflows it.
int32_t AllotMoveTime(uint32_t movesPerControl, uint32_t ply, Color sideToMove, int32_t usedTime, int32_t baseTime,
                      int32_t increment);

// Taken off a fixed time per move, so that the move, its unwinding search
// and its output come within that time.
constexpr int32_t FixedTimeMargin = 10;

// The budget of the engine's next move: "st"'s fixed time less the margin
// (at least a centisecond) when one is set, else AllotMoveTime of the level.
int32_t MoveBudget(const TimeControl& tc, uint32_t ply, Color sideToMove);

}  // namespace quarn
