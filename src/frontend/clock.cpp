#include "frontend/clock.h"

#include <cstdint>

namespace quarn {

int32_t ClockUsed(const TimeControl& tc) {
  if (!tc.running) return tc.usedTime;
  return int32_t(uint32_t(tc.usedTime) + (uint32_t(ClockNow()) - uint32_t(tc.startStamp)));
}

void StartClock(TimeControl& tc) {
  tc.moveStartUsed = ClockUsed(tc);
  if (!tc.running) {
    tc.running = true;
    tc.startStamp = ClockNow();
  }
}

void StopClock(TimeControl& tc) {
  if (!tc.running) return;
  tc.running = false;
  tc.usedTime = int32_t(uint32_t(tc.usedTime) + (uint32_t(ClockNow()) - uint32_t(tc.startStamp)));
}

int32_t AllotMoveTime(uint32_t movesPerControl, uint32_t ply, Color sideToMove, int32_t usedTime, int32_t baseTime,
                      int32_t increment) {
  const uint32_t made = sideToMove == White ? (ply + 1) / 2 : ply / 2;
  int64_t controls, inControl, left;
  if (movesPerControl == 0) {
    controls = 0;
    inControl = made;
    left = SuddenDeathHorizon;
  } else {
    controls = made / movesPerControl;
    inControl = made % movesPerControl;
    left = int64_t(movesPerControl) - inControl;
  }
  const int64_t available = (controls + 1) * int64_t(baseTime) + (inControl + 1) * int64_t(increment) - usedTime;
  if (available <= 0) return 0;
  return SaturatedInt32(double(available - ClockReserve) * MoveShare / double(left));
}

int32_t MoveBudget(const TimeControl& tc, uint32_t ply, Color sideToMove) {
  if (tc.fixedMoveTime <= 0)
    return AllotMoveTime(uint32_t(tc.movesPerControl), ply, sideToMove, ClockUsed(tc), tc.baseTime, tc.increment);
  return tc.fixedMoveTime > FixedTimeMargin ? tc.fixedMoveTime - FixedTimeMargin : 1;
}

}  // namespace quarn
