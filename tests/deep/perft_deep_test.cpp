// Long counts: the published perft table at full depth and deeper own counts,
// both colours, and Marseillais counts with huge turn lists.
#include "perft/perft.h"
#include "test_util.h"

namespace quarn::test {
namespace {

TEST(PerftDeep, PublishedAndOwnCountsBothColours) {
  for (auto [fen, depth, count] :
       {std::tuple{StartFen, 6, 119060324ull},
        {Kiwipete, 5, 193690690ull},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6, 11030083ull},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 5, 15833292ull},
        {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 5, 89941194ull},
        {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 5, 164075551ull},
        // Counted with a reference engine.
        {"r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", 4, 735942ull},
        {"rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1", 3, 573813ull},
        {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", 3, 560101ull},
        {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", 4, 85043ull}})
    BothColours(fen, [depth = depth, count = count](const std::string& f, bool) {
      EXPECT_EQ(PerftRoot(Loaded(f), depth).leaves, count) << f << " depth " << depth;
    });
}

TEST(PerftDeep, Marseillais) {
  MarseillaisPosition& pos = Loaded<MarseillaisPosition>(StartFen);
  const PerftResult r = PerftRoot(pos, 3);
  EXPECT_EQ(r.leaves, 4866854u);
  EXPECT_EQ(r.nodes, 1u + 20u + 8902u);
  for (auto [fen, count] : {std::pair{"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", 168214ull},
                            {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", 0ull}})
    BothColours(fen, [&, count = count](const std::string& f, bool) {
      const uint64_t n = PerftRoot(Loaded<MarseillaisPosition>(f), 2).leaves;
      EXPECT_TRUE(count ? n == count : n > 1000000u) << f << " " << n;
      EXPECT_EQ(pos.ply, 0);
    });
}

}  // namespace
}  // namespace quarn::test
