// The engine's clock and the time allotted to one move.
#include <climits>

#include "frontend/clock.h"
#include "frontend/game_flow.h"
#include "test_util.h"

namespace quarn::test {
namespace {

TEST(Clock, AllotMoveTime) {
  const int32_t base = 99999 * 6000;  // 99999 minutes: the arithmetic must be wide
  const struct {
    int moves, ply;
    Color side;
    int used, base, increment, budget;
  } cases[] = {
      {40, 0, White, 0, 30000, 0, 674},                                   // (30000 - 10) * 0.9 / 40
      {40, 1, Black, 0, 30000, 0, 674},                                   // Black's first move is move 0 too
      {40, 78, White, 27000, 30000, 0, 2691},                             // one move left in the control
      {40, 80, White, 30000, 30000, 0, int(29990 * 0.9 / 40)},            // the second control: two base times
      {40, 20, White, 1000, 6000, 200, int(7190 * 0.9 / 30)},             // 11 increments, 30 moves left
      {40, 0, White, 30000, 30000, 0, 0},                                 // nothing left
      {40, 0, White, 40000, 30000, 0, 0},                                 // overdrawn
      {1, 0, White, 0, 5, 0, -4},                                         // (5 - 10) * 0.9 truncates to -4
      {0, 0, White, 0, 30000, 0, int(29990 * 0.9 / SuddenDeathHorizon)},  // all moves in one control
      {0, 301, Black, 20000, 30000, 0, int(9990 * 0.9 / SuddenDeathHorizon)},
      {0, 2999, Black, 0, 0, 100, int((1500 * 100 - 10) * 0.9 / SuddenDeathHorizon)},
      {9999, 3000, White, 0, base, 999900, int((int64_t(base) + 1501LL * 999900 - 10) * 0.9 / (9999 - 1500))},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AllotMoveTime(c.moves, c.ply, c.side, c.used, c.base, c.increment), c.budget)
        << c.moves << " " << c.ply << " " << c.used;
  EXPECT_GT(AllotMoveTime(1, 40, White, 0, base, 999900), 0);
  const TimeControl fresh;  // before any level: 40 moves in 5 minutes, no increment
  EXPECT_EQ(AllotMoveTime(fresh.movesPerControl, 78, White, 0, fresh.baseTime, fresh.increment), int(29990 * 0.9));
}

TEST(Clock, RatesPerSecond) {
  const struct {
    uint64_t count;
    int32_t elapsed, rate;
  } cases[] = {
      {1000, 100, 1000},
      {1, 3, 33},  // truncated
      {5, 0, 0},
      {5, -1, 0},  // no time measured
      {21474836, 1, 2147483600},
      {21474837, 1, INT32_MAX},
      {uint64_t(1) << 40, 1, INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(PerSecond(c.count, c.elapsed), c.rate) << c.count << " " << c.elapsed;
}

TEST(Clock, StartAndStop) {
  TimeControl tc;
  tc.usedTime = 1234;
  EXPECT_EQ(ClockUsed(tc), 1234);
  StartClock(tc);
  EXPECT_TRUE(tc.running && tc.moveStartUsed == 1234);
  const int32_t stamp = tc.startStamp;
  StartClock(tc);  // already running: only the snapshot is taken
  EXPECT_EQ(tc.startStamp, stamp);
  StopClock(tc);
  EXPECT_TRUE(!tc.running && tc.usedTime >= 1234);
  const int32_t used = tc.usedTime;
  StopClock(tc);  // a stopped clock banks nothing more
  EXPECT_EQ(tc.usedTime, used);
}

}  // namespace
}  // namespace quarn::test
