// Long counts: the full published perft table, the generator cross-checks
// one ply deeper than the fast suite, deeper counts of own positions, and
// Marseillais counts with huge turn lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen_util.h"
#include "perft/perft.h"

namespace {

using namespace gen;

struct PerftCase {
  const char* fen;
  std::vector<uint64_t> counts;  // depth 1, 2, ...
};

const PerftCase kPublished[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {20, 400, 8902, 197281, 4865609, 119060324}},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", {48, 2039, 97862, 4085603, 193690690}},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238, 674624, 11030083}},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", {6, 264, 9467, 422333, 15833292}},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", {44, 1486, 62379, 2103487, 89941194}},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", {46, 2079, 89890, 3894594, 164075551}},
};

// Counted independently with a reference engine.
const PerftCase kOwnDeep[] = {
    {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", {4, 56, 259, 4225}},
    {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", {24, 496, 9483, 182838}},
    {"r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", {21, 943, 17226, 735942}},
    {"r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", {25, 242, 6518, 80904}},
    {"8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", {6, 136, 863, 20471}},
    {"r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", {32, 769, 20056, 499134}},
    {"rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1", {87, 6807, 573813}},
    {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", {88, 6723, 560101}},
    {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", {218, 99, 19073, 85043}},
};

TEST(PerftDeep, PublishedTableFullDepth) {
  Position& pos = SharedPosition();
  for (const PerftCase& c : kPublished) {
    ASSERT_TRUE(Load(pos, c.fen));
    const int d = int(c.counts.size());
    EXPECT_EQ(PerftRoot(pos, d), c.counts.back()) << c.fen << " depth " << d;
  }
}

TEST(PerftDeep, PublishedTableMirrored) {
  Position& pos = SharedPosition();
  for (const PerftCase& c : kPublished) {
    const std::string fen = MirrorFen(c.fen);
    ASSERT_TRUE(Load(pos, fen));
    const int d = int(c.counts.size());
    EXPECT_EQ(PerftRoot(pos, d), c.counts.back()) << fen << " depth " << d;
  }
}

TEST(PerftDeep, OwnPositionsBothColours) {
  Position& pos = SharedPosition();
  for (const PerftCase& c : kOwnDeep) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
      ASSERT_TRUE(Load(pos, fen));
      const int d = int(c.counts.size());
      EXPECT_EQ(PerftRoot(pos, d), c.counts.back()) << fen << " depth " << d;
    }
  }
}

TEST(PerftDeep, GeneratorsAndGivesCheckToDepthThree) {
  Position& pos = SharedPosition();
  for (const PerftCase& c : kPublished) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
      ASSERT_TRUE(Load(pos, fen));
      TreeChecker checker;
      checker.Node(pos, 3);
      EXPECT_TRUE(checker.problems.Result()) << fen;
    }
  }
}

TEST(PerftDeep, GeneratorsAndGivesCheckToDepthFour) {
  Position& pos = SharedPosition();
  std::vector<std::string> fens;
  for (const PerftCase& c : kPublished) fens.push_back(c.fen);
  for (const char* f : {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1",
                        "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", "r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1"})
    fens.push_back(f);
  for (const std::string& fen : fens) {
    ASSERT_TRUE(Load(pos, fen));
    TreeChecker checker;
    checker.Node(pos, 4);
    EXPECT_TRUE(checker.problems.Result()) << fen;
  }
}

// ---------------------------------------------------------------- Marseillais

// Turn counts by the builders without the first-turn rule, with every
// made turn's check state compared with TurnGivesCheck.
uint64_t TurnTree(MarseillaisPosition& pos, int depth, Problems& problems) {
  StackPairList& list = pos.CurrentList();
  list.Clear();
  LegalTurnsNoRule(pos, list);
  if (depth == 1) return uint64_t(list.Count());
  uint64_t sum = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const MovePair t = list.At(i).pair;
    const bool predicted = TurnGivesCheckAny(pos, t);
    MakePairFast(pos, t, pos.CurrentUndo());
    if (predicted != InCheck(pos)) problems.Add(PositionToFen(pos) + " after " + PairText(t));
    pos.OpenNextPly();
    sum += TurnTree(pos, depth - 1, problems);
    --pos.ply;
    UnmakePairFast(pos, t, pos.CurrentUndo());
  }
  return sum;
}

TEST(MarseillaisDeep, InitialDepthThreeWithFirstTurnRule) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  EXPECT_EQ(PerftRoot(pos, 3), 4866854u);
  EXPECT_EQ(nodesPerft, 1u + 20u + 8902u);
}

TEST(MarseillaisDeep, PerftAgreesWithTurnTreeAtDepthThree) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (const char* f :
       {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "8/8/8/KPp4r/8/8/8/7k w - c6 0 1",
        "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1"}) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(f) : f;
      ASSERT_TRUE(Load(pos, fen));
      Problems problems;
      const uint64_t expected = TurnTree(pos, 3, problems);
      EXPECT_TRUE(problems.Result()) << fen;
      EXPECT_EQ(PerftRoot(pos, 3), expected) << fen;
    }
  }
}

TEST(MarseillaisDeep, TwoHundredEighteenMovesDepthTwoBothColours) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (bool mirrored : {false, true}) {
    const std::string f = "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1";
    const std::string fen = mirrored ? MirrorFen(f) : f;
    ASSERT_TRUE(Load(pos, fen));
    Problems problems;
    EXPECT_EQ(TurnTree(pos, 2, problems), 168214u) << fen;
    EXPECT_TRUE(problems.Result()) << fen;
    EXPECT_EQ(PerftRoot(pos, 2), 168214u) << fen;
  }
}

TEST(MarseillaisDeep, WorstCaseDepthTwo) {
  // Nine queens and two rooks a side, open lines: thousands of turns at
  // every ply.
  MarseillaisPosition& pos = SharedMarseillais();
  const std::string fen = "r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1";
  ASSERT_TRUE(Load(pos, fen));
  Problems problems;
  const uint64_t expected = TurnTree(pos, 2, problems);
  EXPECT_TRUE(problems.Result());
  EXPECT_EQ(PerftRoot(pos, 2), expected);
  EXPECT_GT(expected, 1000000u);
  EXPECT_EQ(pos.ply, 0);
}

}  // namespace
