// Perft and divide in normal chess: leaf counts of published and own
// positions (each also mirrored), the nodesPerft counter, the exact divide
// and statistics lines, and the state perft leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "gen_util.h"
#include "perft/perft.h"

namespace {

using namespace gen;

struct PerftCase {
  const char* name;
  const char* fen;
  std::vector<uint64_t> counts;  // depth 1, 2, ...
};

// The published table, at the depths the fast suite affords; the deep suite
// runs the full table.
const PerftCase kPublished[] = {
    {"Initial", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {20, 400, 8902, 197281}},
    {"Kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", {48, 2039, 97862}},
    {"RookEndgame", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238, 674624}},
    {"Promotions", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", {6, 264, 9467}},
    {"Position5", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", {44, 1486, 62379}},
    {"Position6", "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", {46, 2079, 89890}},
};

// Own positions, counted independently with a reference engine.
const PerftCase kOwn[] = {
    {"EnPassantAlongRank", "8/8/8/KPp4r/8/8/8/7k w - c6 0 1", {4, 56, 259, 4225}},
    {"EnPassantExposesKingToQueen", "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", {6, 136, 863, 20471}},
    {"EnPassantTakesCheckingPawn", "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", {9, 50, 379, 2369}},
    {"EnPassantDiscoversRookCheck", "8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1", {13, 71, 1105, 7407}},
    {"EnPassantDiscoversBishopCheck", "7k/8/5b2/8/2pP4/8/8/K7 b - d3 0 1", {12, 39, 478, 2490}},
    {"EnPassantEvasionAndRookOnFile", "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", {7, 94, 1160, 18399}},
    {"PromotionsBothSides", "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", {24, 496, 9483, 182838}},
    {"CastlingBothSides", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {26, 568, 13744, 314346}},
    {"PromotionCapturesCastlingRook", "r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", {32, 769, 20056, 499134}},
    {"CastlingThroughAttackedSquares", "r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", {21, 943, 17226}},
    {"DiscoveredAndDoubleChecks", "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", {25, 242, 6518, 80904}},
    {"DoubleCheckAtRoot", "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", {3, 69, 828, 17343}},
    {"NineQueensEach", "rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1", {87, 6807}},
    {"NineQueensOpen", "r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", {88, 6723}},
    {"TwoHundredEighteenMoves", "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", {218, 99, 19073}},
};

void ExpectCounts(const PerftCase& c) {
  Position& pos = SharedPosition();
  for (bool mirrored : {false, true}) {
    const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
    ASSERT_TRUE(Load(pos, fen));
    const Board before = pos;
    uint64_t interior = 0;  // positions above the last ply: what nodesPerft counts
    for (size_t d = 1; d <= c.counts.size(); ++d) {
      interior += d == 1 ? 1 : c.counts[d - 2];
      EXPECT_EQ(PerftRoot(pos, int(d)), c.counts[d - 1]) << fen << " depth " << d;
      EXPECT_EQ(nodesPerft, interior) << fen << " depth " << d;
      EXPECT_EQ(pos.ply, 0);
      EXPECT_TRUE(SameBoard(before, pos)) << fen;
    }
  }
}

TEST(Perft, PublishedPositionsShallow) {
  for (const PerftCase& c : kPublished) ExpectCounts(c);
}

TEST(Perft, OwnPositions) {
  for (const PerftCase& c : kOwn) ExpectCounts(c);
}

TEST(Perft, InitialNodesPerft) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  const uint64_t nodes[] = {1, 21, 421};
  const uint64_t leaves[] = {20, 400, 8902};
  for (int d = 1; d <= 3; ++d) {
    EXPECT_EQ(PerftRoot(pos, d), leaves[d - 1]);
    EXPECT_EQ(nodesPerft, nodes[d - 1]) << "depth " << d;
  }
}

TEST(Perft, AgreesWithSlowCount) {
  // A count that makes every move and filters every pseudo-legal move, with
  // no bulk counting and no check prediction.
  Position& pos = SharedPosition();
  const char* fens[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "8/8/8/8/8/8/4q3/R3K2k w - - 0 1",
      "4k3/8/8/8/8/8/8/q3K2R w K - 0 1",
  };
  for (const char* f : fens) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(f) : f;
      ASSERT_TRUE(Load(pos, fen));
      for (int d = 1; d <= 2; ++d) EXPECT_EQ(PerftRoot(pos, d), SlowPerft(pos, d)) << fen << " depth " << d;
    }
  }
}

TEST(Perft, NoLegalMoveGivesZeroAtEveryDepth) {
  Position& pos = SharedPosition();
  for (const char* fen :
       {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"}) {
    ASSERT_TRUE(Load(pos, fen));
    for (int d = 1; d <= 4; ++d) {
      EXPECT_EQ(PerftRoot(pos, d), 0u) << fen << " depth " << d;
      EXPECT_EQ(nodesPerft, 1u) << fen;
    }
  }
}

TEST(Perft, FromAPlyAboveZero) {
  // Moves played in the game stay on the ply stack; perft works above them
  // and returns to the same ply.
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  PlayMove(pos, MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1));
  PlayMove(pos, MakeMoveWord(Sq("d7"), Sq("d5"), NormalMove, 1));
  ASSERT_EQ(pos.ply, 2);
  const Board before = pos;
  const uint64_t expected = SlowPerft(pos, 3);
  EXPECT_EQ(PerftRoot(pos, 3), expected);
  EXPECT_EQ(pos.ply, 2);
  EXPECT_TRUE(SameBoard(before, pos));
}

// ---------------------------------------------------------------- text output

std::string Capture(void (*run)(Position&, TimeControl&, int), Position& pos, TimeControl& tc, int depth) {
  testing::internal::CaptureStdout();
  run(pos, tc, depth);
  return testing::internal::GetCapturedStdout();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      out.push_back(text.substr(start) + "<no newline>");
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// Checks the statistics line: its fixed part exactly, and a sane timing tail
// (a run under one centisecond reports no rates).
void ExpectStatistics(const std::string& line, int depth, uint64_t result, uint64_t nodes) {
  const std::string prefix = "# perft(" + std::to_string(depth) + ") = " + std::to_string(result) +
                             ", nodesPerft=" + std::to_string(nodes) + ", time=";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix) << line;
  std::smatch m;
  const std::string tail = line.substr(prefix.size());
  ASSERT_TRUE(std::regex_match(tail, m, std::regex(R"((\d+)\.(\d\d), lps=(\d+), nps=(\d+))"))) << line;
  if (m[1] == "0" && m[2] == "00") {
    EXPECT_EQ(m[3], "0") << line;
    EXPECT_EQ(m[4], "0") << line;
  }
}

// The divide lines expected from the legal root list, each count made
// independently by the slow count.
std::vector<std::string> ExpectedDivideLines(Position& pos, int depth, uint64_t& total) {
  std::vector<std::string> out;
  total = 0;
  for (Move m : GenerateVector(Gen::Legal, pos)) {
    char line[64];
    uint64_t n = 1;
    if (depth == 1) {
      std::snprintf(line, sizeof line, "# %-5s: %llu", MoveText(m).c_str(), 1ULL);
    } else {
      UndoRecord u;
      MakeMoveFast(pos, m, u);
      n = SlowPerft(pos, depth - 1);
      UnmakeMoveFast(pos, m, u);
      std::snprintf(line, sizeof line, "%-5s %llu", MoveText(m).c_str(), (unsigned long long)n);
    }
    total += n;
    out.push_back(line);
  }
  return out;
}

TEST(Divide, InitialDepthOneExactLines) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  TimeControl tc;
  const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, tc, 1));
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "# b1a3 : 1");
  EXPECT_EQ(lines[1], "# b1c3 : 1");
  EXPECT_EQ(lines[2], "# g1f3 : 1");
  EXPECT_EQ(lines[5], "# a2a4 : 1");
  EXPECT_EQ(lines[19], "# h2h4 : 1");
  ExpectStatistics(lines[20], 1, 20, 1);
  EXPECT_FALSE(tc.running);
}

TEST(Divide, InitialDepthTwoExactLines) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  TimeControl tc;
  const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, tc, 2));
  ASSERT_EQ(lines.size(), 21u);
  const char* order[] = {"b1a3", "b1c3", "g1f3", "g1h3", "a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4",
                         "d2d3", "d2d4", "e2e3", "e2e4", "f2f3", "f2f4", "g2g3", "g2g4", "h2h3", "h2h4"};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(lines[size_t(i)], std::string(order[i]) + "  20");
  ExpectStatistics(lines[20], 2, 400, 21);
  EXPECT_EQ(pos.ply, 0);
}

TEST(Divide, PromotionFillsTheColumns) {
  Position& pos = SharedPosition();
  const char* fen = "k7/4P3/8/8/8/8/8/4K3 w - - 0 1";
  for (int depth = 1; depth <= 3; ++depth) {
    ASSERT_TRUE(Load(pos, fen));
    TimeControl tc;
    const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, tc, depth));
    uint64_t total = 0;
    const std::vector<std::string> expected = ExpectedDivideLines(pos, depth, total);
    ASSERT_EQ(lines.size(), expected.size() + 1) << "depth " << depth;
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "depth " << depth;
    if (depth == 1) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), "# e7e8q: 1"), lines.end());
      EXPECT_NE(std::find(lines.begin(), lines.end(), "# e7e8n: 1"), lines.end());
      EXPECT_NE(std::find(lines.begin(), lines.end(), "# e1d2 : 1"), lines.end());
    }
    uint64_t nodes = 1;  // the root, then every position above the last ply
    if (depth >= 2) nodes += SlowPerft(pos, 1);
    if (depth >= 3) nodes += SlowPerft(pos, 2);
    ExpectStatistics(lines.back(), depth, total, nodes);
  }
}

TEST(Divide, CountsAndOrderOnPublishedPositions) {
  Position& pos = SharedPosition();
  for (const char* fen :
       {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1"}) {
    for (bool mirrored : {false, true}) {
      const std::string f = mirrored ? MirrorFen(fen) : fen;
      ASSERT_TRUE(Load(pos, f));
      TimeControl tc;
      const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, tc, 2));
      uint64_t total = 0;
      const std::vector<std::string> expected = ExpectedDivideLines(pos, 2, total);
      ASSERT_EQ(lines.size(), expected.size() + 1) << f;
      for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << f;
      ExpectStatistics(lines.back(), 2, total, 1 + expected.size());
    }
  }
}

TEST(RunPerft, PrintsOneStatisticsLine) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, StartFen));
  const uint64_t nodes[] = {1, 21, 421};
  const uint64_t leaves[] = {20, 400, 8902};
  for (int d = 1; d <= 3; ++d) {
    TimeControl tc;
    const std::vector<std::string> lines = Lines(Capture(RunPerft, pos, tc, d));
    ASSERT_EQ(lines.size(), 1u);
    ExpectStatistics(lines[0], d, leaves[d - 1], nodes[d - 1]);
    EXPECT_FALSE(tc.running);
    EXPECT_GE(tc.usedTime, 0);
  }
  ASSERT_TRUE(Load(pos, "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
  TimeControl tc;
  const std::vector<std::string> lines = Lines(Capture(RunPerft, pos, tc, 3));
  ASSERT_EQ(lines.size(), 1u);
  ExpectStatistics(lines[0], 3, 0, 1);
}

TEST(RunPerft, InCheckRootUsesEvasions) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1"));
  TimeControl tc;
  const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, tc, 1));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "# e8d7 : 1");
  EXPECT_EQ(lines[1], "# e8f8 : 1");
  EXPECT_EQ(lines[2], "# e8d8 : 1");
  ExpectStatistics(lines[3], 1, 3, 1);
}

}  // namespace
