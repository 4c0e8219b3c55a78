// The engine's clock and the time allotted to one move.
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "frontend/clock.h"
#include "frontend/game_flow.h"
#include "test_util.h"

namespace quarn::test {
namespace {

// The cases live in one table that the board's own copy of this formula is
// tested against too (board/test/page.test.js), each with the answer written
// as a number: a change on either side fails a test.
TEST(Clock, AllotMoveTime) {
  std::ifstream file(QUARN_TEST_DATA_DIR "/clock_budget_cases.json");
  ASSERT_TRUE(file) << "no " QUARN_TEST_DATA_DIR "/clock_budget_cases.json";
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // One row a case: [movesPerControl, ply, "side", usedTime, baseTime, increment, budget]
  int count = 0;
  for (size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1)) {
    long long moves, ply, used, base, increment, budget;
    char side;
    if (std::sscanf(text.c_str() + at, "[%lld, %lld, \"%c\", %lld, %lld, %lld, %lld]", &moves, &ply, &side, &used,
                    &base, &increment, &budget) != 7)
      continue;
    ++count;
    EXPECT_EQ(AllotMoveTime(uint32_t(moves), uint32_t(ply), side == 'w' ? White : Black, int32_t(used), int32_t(base),
                            int32_t(increment)),
              budget)
        << text.substr(at, text.find(']', at) + 1 - at);
  }
  EXPECT_GE(count, 12);
  const TimeControl fresh;  // before any level: 40 moves in 5 minutes, no increment
  EXPECT_EQ(AllotMoveTime(fresh.movesPerControl, 78, White, 0, fresh.baseTime, fresh.increment), 26991);
}

// "st" fixes each move's time, less the margin but never below a centisecond; without it the
// level allots it. A move's time counts from the time used when the clock starts.
TEST(Clock, MoveBudgetAndStart) {
  const struct {
    int32_t fixed, budget;
  } cases[] = {{100, 100 - FixedTimeMargin}, {FixedTimeMargin + 1, 1}, {FixedTimeMargin, 1}, {1, 1}, {0, 674}};
  for (const auto& c : cases) {
    TimeControl tc;
    tc.fixedMoveTime = c.fixed;
    EXPECT_EQ(MoveBudget(tc, 0, White), c.budget) << c.fixed;
  }
  TimeControl tc;
  tc.usedTime = 1234;
  StartClock(tc);
  EXPECT_TRUE(tc.running && tc.moveStartUsed == 1234);
}

// The clock counts the game's moves (turns in Marseillais) to allot the
// time; a take-back counts them back with the board.
TEST(Clock, TakeBackCountsMovesBack) {
  for (const char* variant : {"normal", "marseillais"}) {
    GameContext ctx;
    ASSERT_TRUE(InitGameContext(ctx));
    SwitchVariant(ctx, variant);
    ctx.forceMode = true;
    const Board start = CurrentBoard(ctx);
    HandleMoveWord(ctx, "e2e4");
    const Board afterOne = CurrentBoard(ctx);
    HandleMoveWord(ctx, ctx.variant == Variant::Normal ? "e7e5" : "e7e5,d7d5");
    HandleMoveWord(ctx, ctx.variant == Variant::Normal ? "g1f3" : "g1f3,b1c3");
    const auto gamePly = [&] { return WithVariant(ctx, [](auto, auto& pos) { return pos.GamePly(); }); };
    ASSERT_EQ(gamePly(), 3u) << variant;
    ASSERT_TRUE(TakeBack(ctx, 2));
    EXPECT_TRUE(gamePly() == 1 && BoardsEqual(CurrentBoard(ctx), afterOne)) << variant;
    EXPECT_FALSE(TakeBack(ctx, 2));
    ASSERT_TRUE(TakeBack(ctx, 1));
    EXPECT_TRUE(gamePly() == 0 && BoardsEqual(CurrentBoard(ctx), start)) << variant;
  }
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

}  // namespace
}  // namespace quarn::test
