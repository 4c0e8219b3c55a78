// The engine's clock and the time allotted to one move.
#include <gtest/gtest.h>

#include <climits>

#include "frontend/clock.h"

namespace quarn {
namespace {

TEST(AllotMoveTime, WorkedValuesOfTheDefaultLevel) {
  // White's first move at 40 moves in 5 minutes: (30000 - 10) * 0.9 / 40.
  EXPECT_EQ(AllotMoveTime(40, 0, 0, 0, 30000, 0), 674);
  // Black's first move (ply 1) is move 0 of the control as well.
  EXPECT_EQ(AllotMoveTime(40, 1, 1, 0, 30000, 0), 674);
  // 39 moves made, one left in the control, 3000 available.
  EXPECT_EQ(AllotMoveTime(40, 78, 0, 27000, 30000, 0), 2691);
}

TEST(AllotMoveTime, SecondControlCountsTwoBaseTimes) {
  // White has made 40 moves: the second control begins with 40 moves left.
  EXPECT_EQ(AllotMoveTime(40, 80, 0, 30000, 30000, 0), int((60000 - 30000 - 10) * 0.9 / 40));
}

TEST(AllotMoveTime, IncrementCountsForEveryMoveOfTheControl) {
  // 10 moves made: 11 increments have been or are about to be received.
  EXPECT_EQ(AllotMoveTime(40, 20, 0, 1000, 6000, 200), int((6000 + 11 * 200 - 1000 - 10) * 0.9 / 30));
}

TEST(AllotMoveTime, NoTimeLeftGivesZeroAndTinyTimeGoesNegative) {
  EXPECT_EQ(AllotMoveTime(40, 0, 0, 30000, 30000, 0), 0);
  EXPECT_EQ(AllotMoveTime(40, 0, 0, 40000, 30000, 0), 0);
  // 5 centiseconds available with one move left: (5 - 10) * 0.9 truncates to -4.
  EXPECT_EQ(AllotMoveTime(1, 0, 0, 0, 5, 0), -4);
}

TEST(AllotMoveTime, AllMovesInOneControlUseAFixedHorizon) {
  // level 0 5 0 does not divide by zero: every move gets a share as if the
  // horizon's number of moves remained.
  EXPECT_EQ(AllotMoveTime(0, 0, 0, 0, 30000, 0), int(29990 * 0.9 / SuddenDeathHorizon));
  EXPECT_EQ(AllotMoveTime(0, 301, 1, 20000, 30000, 0), int(9990 * 0.9 / SuddenDeathHorizon));
  EXPECT_EQ(AllotMoveTime(0, 2999, 1, 0, 0, 100), int((1500 * 100 - 10) * 0.9 / SuddenDeathHorizon));
}

TEST(AllotMoveTime, HugeLevelsNeitherOverflowNorGoNegative) {
  // 99999 minutes per move, many controls later: the arithmetic is wide.
  const int32_t base = 99999 * 6000;
  const int32_t budget = AllotMoveTime(1, 40, 0, 0, base, 999900);
  EXPECT_GT(budget, 0);
  EXPECT_LE(budget, INT32_MAX);
  EXPECT_EQ(AllotMoveTime(9999, 3000, 0, 0, base, 999900),
            int((int64_t(base) + 1501LL * 999900 - 10) * 0.9 / (9999 - 1500)));
}

TEST(Clock, StoppedClockReportsUsedTimeAndStartKeepsARunningStamp) {
  TimeControl tc;
  tc.usedTime = 1234;
  EXPECT_EQ(ClockUsed(tc), 1234);
  StartClock(tc);
  EXPECT_TRUE(tc.running);
  EXPECT_EQ(tc.moveStartUsed, 1234);
  const int32_t stamp = tc.startStamp;
  StartClock(tc);  // already running: only the snapshot is taken
  EXPECT_EQ(tc.startStamp, stamp);
  EXPECT_GE(ClockUsed(tc), 1234);
  StopClock(tc);
  EXPECT_FALSE(tc.running);
  EXPECT_GE(tc.usedTime, 1234);
  const int32_t used = tc.usedTime;
  StopClock(tc);  // a stopped clock banks nothing more
  EXPECT_EQ(tc.usedTime, used);
}

}  // namespace
}  // namespace quarn
