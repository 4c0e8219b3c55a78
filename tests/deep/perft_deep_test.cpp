// Long counts: the full published perft table and deeper own counts (both
// colours), the generator cross-checks one ply deeper than the fast suite,
// and Marseillais counts with huge turn lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen_util.h"

namespace {

using namespace gen;

struct PerftCase {
  const char* fen;
  std::vector<uint64_t> counts;  // depth 1, 2, ...
};

const std::vector<PerftCase> kPublished = {
    {StartFen, {20, 400, 8902, 197281, 4865609, 119060324}},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", {48, 2039, 97862, 4085603, 193690690}},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238, 674624, 11030083}},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", {6, 264, 9467, 422333, 15833292}},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", {44, 1486, 62379, 2103487, 89941194}},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", {46, 2079, 89890, 3894594, 164075551}},
};

// Counted independently with a reference engine.
const std::vector<PerftCase> kOwnDeep = {
    {"r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", {21, 943, 17226, 735942}},
    {"rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1", {87, 6807, 573813}},
    {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", {88, 6723, 560101}},
    {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", {218, 99, 19073, 85043}},
};

TEST(PerftDeep, FullTablesBothColours) {
  for (const auto* table : {&kPublished, &kOwnDeep}) {
    for (const PerftCase& c : *table) {
      BothColours(c.fen, [&](const std::string& fen, bool) {
        Position& pos = SharedPosition();
        ASSERT_TRUE(Load(pos, fen));
        const int d = int(c.counts.size());
        EXPECT_EQ(PerftRoot(pos, d), c.counts.back()) << fen << " depth " << d;
      });
    }
  }
}

TEST(PerftDeep, GeneratorsAndGivesCheckThreeAndFourPlies) {
  std::vector<std::pair<std::string, int>> trees;
  for (const PerftCase& c : kPublished) {
    trees.emplace_back(c.fen, 3);
    trees.emplace_back(MirrorFen(c.fen), 3);
    trees.emplace_back(c.fen, 4);
  }
  for (const char* f : {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1",
                        "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", "r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1"})
    trees.emplace_back(f, 4);
  Position& pos = SharedPosition();
  for (const auto& [fen, depth] : trees) {
    ASSERT_TRUE(Load(pos, fen));
    TreeChecker checker;
    checker.Node(pos, depth);
    EXPECT_TRUE(checker.problems.Result()) << fen << " depth " << depth;
  }
}

// ---------------------------------------------------------------- Marseillais

TEST(MarseillaisDeep, InitialDepthThreeWithFirstTurnRule) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  EXPECT_EQ(PerftRoot(pos, 3), 4866854u);
  EXPECT_EQ(nodesPerft, 1u + 20u + 8902u);
}

TEST(MarseillaisDeep, PerftAgreesWithTurnTree) {
  const std::pair<const char*, int> cases[] = {
      {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", 3},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 3},
      {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", 3},
      {"4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", 3},
      {"r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", 3},
      {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", 2},  // 168214
      {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", 2},
  };
  MarseillaisPosition& pos = SharedMarseillais();
  for (const auto& [f, depth] : cases) {
    BothColours(f, [&, f = f, depth = depth](const std::string& fen, bool) {
      ASSERT_TRUE(Load(pos, fen));
      Problems problems;
      const uint64_t expected = TurnTree(pos, depth, problems);
      EXPECT_TRUE(problems.Result()) << fen;
      EXPECT_EQ(PerftRoot(pos, depth), expected) << fen;
      if (f[1] == '6') {
        EXPECT_EQ(expected, 168214u) << fen;
      }
      if (f[1] == '2') {
        EXPECT_GT(expected, 1000000u) << fen;
      }
      EXPECT_EQ(pos.ply, 0);
    });
  }
}

}  // namespace
