// Marseillais turns: counts with and without the first-turn rule, turn
// order, escapeFound, en passant across the two moves, TurnGivesCheck,
// divide text, the turn builders against a slow construction on many
// positions, and huge turn lists.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gen_util.h"

namespace {

using namespace gen;

TEST(MarseillaisPerft, CountsWithAndWithoutFirstTurnRule) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  EXPECT_EQ(PerftRoot(pos, 1), 20u);
  EXPECT_EQ(nodesPerft, 1u);
  EXPECT_EQ(PerftRoot(pos, 2), 8902u);
  EXPECT_EQ(nodesPerft, 21u);
  Problems problems;
  EXPECT_EQ(TurnTree(pos, 1, problems), 445u);
  EXPECT_EQ(TurnTree(pos, 2, problems), 196646u);
  EXPECT_TRUE(problems.Result());
  EXPECT_EQ(pos.ply, 0);
  const std::pair<const char*, std::vector<uint64_t>> cases[] = {
      {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", {243, 6292}},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", {51, 1740}},
      {"1r5k/8/8/8/7p/p7/P6P/K7 w - - 0 1", {0, 0}},
      {"kr6/8/8/8/8/7r/8/K1r5 w - - 0 1", {0, 0, 0}},  // an escape without a legal second move
  };
  for (const auto& [f, counts] : cases) {
    BothColours(f, [&, &counts = counts](const std::string& fen, bool) {
      ASSERT_TRUE(Load(pos, fen));
      const Board before = pos;
      for (size_t d = 1; d <= counts.size(); ++d) {
        EXPECT_EQ(PerftRoot(pos, int(d)), counts[d - 1]) << fen << " depth " << d;
        EXPECT_EQ(TurnTree(pos, int(d), problems), counts[d - 1]) << fen << " depth " << d;
      }
      EXPECT_TRUE(problems.Result()) << fen;
      EXPECT_TRUE(SameBoard(before, pos)) << fen;
    });
  }
}

// ---------------------------------------------------------------- order

TEST(TurnOrder, InitialPositionWithAndWithoutRule) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  VectorPairList withRule;
  GenerateLegalTurnsForSideToMove(pos, withRule);
  EXPECT_EQ(Join(Words(withRule)),
            "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4");
  const std::vector<MovePair> turns = LegalTurnVector(pos);
  ASSERT_EQ(turns.size(), 445u);
  EXPECT_EQ(Join(std::vector<MovePair>(turns.begin(), turns.begin() + 21)),
            "b1a3,a1b1 b1a3,a3b5 b1a3,a3c4 b1a3,a3b1 b1a3,g1f3 b1a3,g1h3 b1a3,b2b3 b1a3,b2b4 b1a3,c2c3 "
            "b1a3,c2c4 b1a3,d2d3 b1a3,d2d4 b1a3,e2e3 b1a3,e2e4 b1a3,f2f3 b1a3,f2f4 b1a3,g2g3 b1a3,g2g4 "
            "b1a3,h2h3 b1a3,h2h4 b1c3,a1b1");
  // Black moves twice after White's single first move.
  PlayMovePair(pos, MakePairWord(MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1), 0));
  VectorPairList black;
  GenerateLegalTurnsForSideToMove(pos, black);
  ASSERT_GT(black.Count(), 20);
  EXPECT_EQ(Text(black.At(0).pair), "b8c6,a8b8");
  for (MovePair p : Words(black)) EXPECT_NE(SecondOf(p), 0) << Text(p);
}

TEST(TurnOrder, InCheckAndCheckingFirstMoves) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "4k3/8/8/8/8/8/7R/r3K3 w - - 0 1"));
  VectorPairList list;
  GenerateLegalTurnsInCheck<White, true>(pos, list);
  EXPECT_EQ(Join(Words(list)),
            "e1d2,d2c3 e1d2,d2e3 e1d2,d2d3 e1d2,d2e2 e1d2,d2c2 e1d2,h2h3 e1d2,h2h4 e1d2,h2h5 e1d2,h2h6 "
            "e1d2,h2h7 e1d2,h2h8 e1d2,h2h1 e1d2,h2g2 e1d2,h2f2 e1d2,h2e2 "
            "e1f2,f2e3 e1f2,f2g3 e1f2,f2f3 e1f2,f2g2 e1f2,f2e2 e1f2,h2h3 e1f2,h2h4 e1f2,h2h5 e1f2,h2h6 "
            "e1f2,h2h7 e1f2,h2h8 e1f2,h2h1 e1f2,h2g2 "
            "e1e2,e2d3 e1e2,e2f3 e1e2,e2e3 e1e2,e2f2 e1e2,e2d2 e1e2,h2h3 e1e2,h2h4 e1e2,h2h5 e1e2,h2h6 "
            "e1e2,h2h7 e1e2,h2h8 e1e2,h2h1 e1e2,h2g2 e1e2,h2f2");
  // A first move that checks, castling or promotion included, stands alone.
  ASSERT_TRUE(Load(pos, "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1"));
  std::string singles;
  for (MovePair p : LegalTurnVector(pos)) singles += SecondOf(p) ? "" : Text(p) + " ";
  EXPECT_EQ(singles, "e1c1 a1a8 a1d1 ");
  EXPECT_EQ(Text(LegalTurnVector(pos)[1]), "e1d2,d2c3");
  ASSERT_TRUE(Load(pos, "3k4/1P6/8/8/8/8/8/4K3 w - - 0 1"));
  singles.clear();
  for (MovePair p : LegalTurnVector(pos)) singles += SecondOf(p) ? "" : Text(p) + " ";
  EXPECT_EQ(singles, "b7b8q b7b8r ");
}

// ---------------------------------------------------------------- raw generators

TEST(RawTurns, EscapeFoundAndFilter) {
  const struct {
    const char* fen;
    bool escapeFound;
    const char* raw;    // the unfiltered list, when given
    const char* legal;  // the legal list, when given
  } cases[] = {
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", false, nullptr, nullptr},            // not in check: cleared
      {"8/8/8/8/8/8/4q3/R3K2k w - - 0 1", false, "e1d2 e1f2 e1e2", "e1e2"},  // only checking evasions
      {"kr6/8/8/8/8/7r/8/K1r5 w - - 0 1", true, "a1a2,a2b3 a1a2,a2b1 a1a2,a2a3 a1a2,a2b2 a1a2,a2a1", ""},
      {"4k3/8/8/8/8/8/7R/r3K3 w - - 0 1", true, nullptr, nullptr},
  };
  MarseillaisPosition& pos = SharedMarseillais();
  for (const auto& c : cases) {
    BothColours(c.fen, [&](const std::string& fen, bool mirrored) {
      ASSERT_TRUE(Load(pos, fen));
      VectorPairList raw;
      bool escapeFound = !c.escapeFound;
      ForSide(pos, [&](auto us) {
        if (InCheck(pos))
          GenerateTurnsInCheck<decltype(us)::value>(pos, raw, escapeFound);
        else
          GenerateTurns<decltype(us)::value>(pos, raw, escapeFound);
      });
      EXPECT_EQ(escapeFound, c.escapeFound) << fen;
      if (!mirrored && c.raw) {
        EXPECT_EQ(Join(Words(raw)), c.raw);
      }
      if (!mirrored && c.legal) {
        EXPECT_EQ(Join(LegalTurnVector(pos)), c.legal);
      }
    });
  }
  // A pinned knight's checking moves are generated, then filtered away.
  ASSERT_TRUE(Load(pos, "4r3/1k6/8/8/4N3/8/8/4K3 w - - 0 1"));
  VectorPairList raw;
  bool escapeFound = true;
  GenerateTurns<White>(pos, raw, escapeFound);
  std::string knight;
  for (MovePair p : Words(raw)) knight += MoveFrom(FirstOf(p)) == Sq("e4") ? Text(p) + " " : "";
  EXPECT_EQ(knight, "e4d6 e4c5 ");
  for (MovePair p : LegalTurnVector(pos)) EXPECT_NE(MoveFrom(FirstOf(p)), Sq("e4")) << Text(p);
  // The single-turn generators of the first turn.
  ASSERT_TRUE(Load(pos, "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1"));
  VectorPairList singles;
  GenerateSingleTurnsInCheck<White>(pos, singles);
  EXPECT_EQ(Join(Words(singles)), "e1d2 e1f2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3");
  ASSERT_TRUE(Load(pos, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  singles.Clear();
  GenerateSingleTurns<White>(pos, singles);
  EXPECT_EQ(singles.Count(), 26);
  EXPECT_EQ(Text(singles.At(0).pair), "e1g1");
}

// ---------------------------------------------------------------- rules across the turn

TEST(TurnRules, DoubleAdvanceOnlyAsSecondMoveLeavesEnPassant) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1"));
  const Move e2e4 = MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1), e1d1 = MakeMoveWord(Sq("e1"), Sq("d1"));
  for (MovePair turn : {MakePairWord(e1d1, e2e4), MakePairWord(e2e4, e1d1)}) {
    const std::vector<MovePair> white = LegalTurnVector(pos);
    EXPECT_NE(std::find(white.begin(), white.end(), turn), white.end()) << Text(turn);
    UndoRecord u[2];
    MakePairFast(pos, turn, u);
    bool enPassant = false;
    for (MovePair p : LegalTurnVector(pos)) enPassant |= MoveKindOf(FirstOf(p)) == EnPassantMove;
    const bool second = SecondOf(turn) == e2e4;
    EXPECT_EQ(enPassant, second) << Text(turn);
    EXPECT_EQ(pos.epSquare, second ? Sq("e3") : NoSquare) << Text(turn);
    UnmakePairFast(pos, turn, u);
  }
}

TEST(TurnRules, TurnGivesCheckWithDiscoveredSecondMoveCheck) {
  MarseillaisPosition& pos = SharedMarseillais();
  auto mv = [](const char* t) { return MakeMoveWord(Sq(t), Sq(t + 2)); };
  ASSERT_TRUE(Load(pos, "7k/8/8/N7/8/8/8/R5K1 w - - 0 1"));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("a5c6"), mv("a1a8"))));  // first move clears the file
  EXPECT_FALSE(TurnGivesCheck<White>(pos, MakePairWord(mv("a5b3"), mv("a1a2"))));
  ASSERT_TRUE(Load(pos, "7k/8/8/7N/8/7N/8/K6R w - - 0 1"));
  const Board before = pos;
  EXPECT_FALSE(GivesCheck<White>(pos, mv("h3g1")));
  EXPECT_FALSE(GivesCheck<White>(pos, mv("h5f6")));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("h3g1"), mv("h5f6"))));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("h3f4"), mv("h5g7"))));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("h5f6"), mv("h3g1"))));
  EXPECT_FALSE(TurnGivesCheck<White>(pos, MakePairWord(mv("h3g1"), mv("a1b1"))));
  EXPECT_FALSE(TurnGivesCheck<White>(pos, MakePairWord(mv("a1b1"), 0)));
  EXPECT_TRUE(SameBoard(before, pos));
}

// ---------------------------------------------------------------- divide text

TEST(MarseillaisDivide, PairTextsAndCounts) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  const std::string initial = Capture(RunDivide, pos, 1);
  EXPECT_EQ(initial.substr(0, 22), "# b1a3 : 1\n# b1c3 : 1\n");
  EXPECT_NE(initial.find("# h2h4 : 1\n# perft(1) = 20, nodesPerft=1, time="), std::string::npos) << initial;
  ASSERT_TRUE(Load(pos, "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1"));
  const std::vector<MovePair> turns = LegalTurnVector(pos);
  for (int depth = 1; depth <= 2; ++depth) {
    const std::vector<std::string> lines = Lines(Capture(RunDivide, pos, depth));
    ASSERT_EQ(lines.size(), turns.size() + 1);
    uint64_t total = 0;
    for (size_t i = 0; i < turns.size(); ++i) {
      MakePairFast(pos, turns[i], pos.CurrentUndo());
      pos.OpenNextPly();
      Problems problems;
      const uint64_t n = depth == 1 ? 1 : TurnTree(pos, 1, problems);
      --pos.ply;
      UnmakePairFast(pos, turns[i], pos.CurrentUndo());
      char expected[64];
      if (depth == 1)
        std::snprintf(expected, sizeof expected, "# %-5s: 1", Text(turns[i]).c_str());
      else
        std::snprintf(expected, sizeof expected, "%-5s %llu", Text(turns[i]).c_str(), (unsigned long long)n);
      EXPECT_EQ(lines[i], expected);
      total += n;
    }
    EXPECT_EQ(total, depth == 1 ? 243u : 6292u);
    const std::string prefix = "# perft(" + std::to_string(depth) + ") = " + std::to_string(total) +
                               ", nodesPerft=" + std::to_string(depth == 1 ? 1 : 244) + ", time=";
    EXPECT_EQ(lines.back().substr(0, prefix.size()), prefix);
    EXPECT_EQ(lines[depth == 1 ? 0 : 1], depth == 1 ? "# e1c1 : 1" : "e1d2,d2c3 " + lines[1].substr(10));
  }
}

// ---------------------------------------------------------------- slow cross-check

// The builders' list equals the slow construction, order included, and every
// turn's TurnGivesCheck agrees with making it.
void CheckTurns(MarseillaisPosition& pos, Problems& problems) {
  const Board before = pos;
  const std::vector<MovePair> fast = LegalTurnVector(pos);
  if (fast != SlowTurns(pos)) problems.Add(PositionToFen(pos) + ": builders differ from slow construction");
  for (MovePair p : fast) {
    UndoRecord u[2];
    const bool predicted = TurnGivesCheckAny(pos, p);
    MakePairFast(pos, p, u);
    if (predicted != InCheck(pos)) problems.Add(PositionToFen(pos) + " after " + Text(p) + ": TurnGivesCheck");
    UnmakePairFast(pos, p, u);
  }
  if (!SameBoard(before, pos)) problems.Add(PositionToFen(pos) + ": board changed");
}

TEST(TurnCrossCheck, BuildersEqualSlowConstruction) {
  MarseillaisPosition& pos = SharedMarseillais();
  Problems problems;
  for (const char* f : kVariedFens) {
    BothColours(f, [&](const std::string& fen, bool) {
      ASSERT_TRUE(Load(pos, fen));
      CheckTurns(pos, problems);
    });
  }
  // Positions along games of pseudo-randomly chosen turns.
  uint32_t seed = 12345;
  for (const char* start : {StartFen, kVariedFens[1], "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1"}) {
    ASSERT_TRUE(Load(pos, start));
    for (int turn = 0; turn < 14; ++turn) {
      CheckTurns(pos, problems);
      const std::vector<MovePair> turns = LegalTurnVector(pos);
      if (turns.empty()) break;
      seed = seed * 1103515245u + 12345u;
      PlayMovePair(pos, turns[((seed >> 8) & 0xFFFFFF) % turns.size()]);
    }
  }
  EXPECT_TRUE(problems.Result());
}

TEST(TurnCrossCheck, ManyQueensWorstCases) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (const char* f : {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1",
                        "rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1",
                        "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1"}) {
    ASSERT_TRUE(Load(pos, f));
    const std::vector<MovePair> fast = LegalTurnVector(pos);
    EXPECT_EQ(fast, SlowTurns(pos)) << f;
    EXPECT_GT(fast.size(), 5000u) << f;
    EXPECT_EQ(PerftRoot(pos, 1), fast.size()) << f;
    StackPairList& list = pos.CurrentList();  // the ply's list in the move stack holds the same
    list.Clear();
    LegalTurnsNoRule(pos, list);
    EXPECT_EQ(Words(list), fast) << f;
    list.Clear();
  }
  EXPECT_EQ(PerftRoot(pos, 2), 168214u);  // the 218-move position
  EXPECT_EQ(nodesPerft, 1u + 43189u);
  EXPECT_EQ(pos.ply, 0);
}

}  // namespace
