// Perft and divide in normal chess: leaf counts of published and own
// positions (each also mirrored) with the nodesPerft counter, agreement with
// a slow count, and the exact divide and statistics lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "gen_util.h"

namespace {

using namespace gen;

struct PerftCase {
  const char* fen;
  std::vector<uint64_t> counts;  // depth 1, 2, ...
};

// The published table at the depths the fast suite affords (the deep suite
// runs it in full), then own positions counted with a reference engine.
const PerftCase kCounts[] = {
    {StartFen, {20, 400, 8902, 197281}},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", {48, 2039, 97862}},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238, 674624}},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", {6, 264, 9467}},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", {44, 1486, 62379}},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", {46, 2079, 89890}},
    {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", {4, 56, 259, 4225}},
    {"8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", {6, 136, 863, 20471}},
    {"8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", {9, 50, 379, 2369}},
    {"8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1", {13, 71, 1105, 7407}},
    {"7k/8/5b2/8/2pP4/8/8/K7 b - d3 0 1", {12, 39, 478, 2490}},
    {"4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", {7, 94, 1160, 18399}},
    {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", {24, 496, 9483, 182838}},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {26, 568, 13744, 314346}},
    {"r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", {32, 769, 20056, 499134}},
    {"r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", {21, 943, 17226}},
    {"r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", {25, 242, 6518, 80904}},
    {"4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", {3, 69, 828, 17343}},
    {"rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1", {87, 6807}},
    {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", {88, 6723}},
    {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", {218, 99, 19073}},
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", {0, 0, 0}},  // mate
    {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", {0, 0, 0}},                                 // stalemate
};

TEST(Perft, CountsAndNodesPerftBothColours) {
  for (const PerftCase& c : kCounts) {
    BothColours(c.fen, [&](const std::string& fen, bool) {
      Position& pos = SharedPosition();
      ASSERT_TRUE(Load(pos, fen));
      const Board before = pos;
      uint64_t interior = 0;  // positions above the last ply: what nodesPerft counts
      for (size_t d = 1; d <= c.counts.size(); ++d) {
        interior += d == 1 ? 1 : c.counts[d - 2];
        EXPECT_EQ(PerftRoot(pos, int(d)), c.counts[d - 1]) << fen << " depth " << d;
        EXPECT_EQ(nodesPerft, interior) << fen << " depth " << d;
        EXPECT_EQ(pos.ply, 0);
      }
      EXPECT_TRUE(SameBoard(before, pos)) << fen;
    });
  }
}

TEST(Perft, AgreesWithSlowCountAlsoAbovePlyZero) {
  for (const char* f : kVariedFens) {
    BothColours(f, [](const std::string& fen, bool) {
      Position& pos = SharedPosition();
      ASSERT_TRUE(Load(pos, fen));
      for (int d = 1; d <= 2; ++d) EXPECT_EQ(PerftRoot(pos, d), SlowPerft(pos, d)) << fen << " depth " << d;
    });
  }
  // Moves played in the game stay on the ply stack; perft works above them.
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  PlayMove(pos, MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1));
  PlayMove(pos, MakeMoveWord(Sq("d7"), Sq("d5"), NormalMove, 1));
  const Board before = pos;
  EXPECT_EQ(PerftRoot(pos, 3), SlowPerft(pos, 3));
  EXPECT_EQ(pos.ply, 2);
  EXPECT_TRUE(SameBoard(before, pos));
}

// ---------------------------------------------------------------- text output

// The statistics line: its fixed part exactly and a sane timing tail (a run
// under one centisecond reports no rates).
void ExpectStatistics(const std::string& line, int depth, uint64_t result, uint64_t nodes) {
  const std::string prefix = "# perft(" + std::to_string(depth) + ") = " + std::to_string(result) +
                             ", nodesPerft=" + std::to_string(nodes) + ", time=";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix) << line;
  std::smatch m;
  const std::string tail = line.substr(prefix.size());
  ASSERT_TRUE(std::regex_match(tail, m, std::regex(R"((\d+)\.(\d\d), lps=(\d+), nps=(\d+))"))) << line;
  if (m[1] == "0" && m[2] == "00") {
    EXPECT_TRUE(m[3] == "0" && m[4] == "0") << line;
  }
}

TEST(Divide, InitialExactLinesAndRunPerft) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  const std::string order =
      "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4";
  const uint64_t nodes[] = {1, 21, 421}, leaves[] = {20, 400, 8902};
  for (int d = 1; d <= 3; ++d) {
    TimeControl tc;
    std::vector<std::string> lines = Lines(Capture(RunDivide, pos, d, &tc));
    ASSERT_EQ(lines.size(), 21u);
    for (size_t i = 0; i < 20 && d < 3; ++i)
      EXPECT_EQ(lines[i], d == 1 ? "# " + order.substr(5 * i, 4) + " : 1" : order.substr(5 * i, 4) + "  20");
    ExpectStatistics(lines[20], d, leaves[d - 1], nodes[d - 1]);
    EXPECT_FALSE(tc.running);
    lines = Lines(Capture(RunPerft, pos, d, &tc));
    ASSERT_EQ(lines.size(), 1u);
    ExpectStatistics(lines[0], d, leaves[d - 1], nodes[d - 1]);
    EXPECT_FALSE(tc.running);
    EXPECT_GE(tc.usedTime, 0);
  }
  ASSERT_TRUE(Load(pos, "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
  ExpectStatistics(Lines(Capture(RunPerft, pos, 3)).at(0), 3, 0, 1);
}

TEST(Divide, LinesMatchLegalOrderAndSlowCounts) {
  const std::pair<const char*, int> cases[] = {
      {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", 1},  // promotions fill the move column
      {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", 2},
      {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", 3},
      {"4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", 1},  // in check at the root
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 2},
      {"4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", 2},
  };
  for (const auto& [f, depth] : cases) {
    BothColours(f, [depth = depth](const std::string& fen, bool) {
      Position& pos = SharedPosition();
      ASSERT_TRUE(Load(pos, fen));
      const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, depth));
      const std::vector<Move> root = GenerateVector(Gen::Legal, pos);
      ASSERT_EQ(lines.size(), root.size() + 1) << fen;
      uint64_t total = 0, nodes = 1;  // nodes: the root and every position above the last ply
      for (int d = 1; d < depth; ++d) nodes += SlowPerft(pos, d);
      for (size_t i = 0; i < root.size(); ++i) {
        UndoRecord u;
        MakeMoveFast(pos, root[i], u);
        const uint64_t n = SlowPerft(pos, depth - 1);
        UnmakeMoveFast(pos, root[i], u);
        char line[64];
        if (depth == 1)
          std::snprintf(line, sizeof line, "# %-5s: 1", Text(root[i]).c_str());
        else
          std::snprintf(line, sizeof line, "%-5s %llu", Text(root[i]).c_str(), (unsigned long long)n);
        EXPECT_EQ(lines[i], line) << fen;
        total += n;
      }
      ExpectStatistics(lines.back(), depth, total, nodes);
      if (depth == 1 && fen[0] == 'k') {
        EXPECT_EQ(lines[5], "# e7e8q: 1");
      }
    });
  }
}

}  // namespace
