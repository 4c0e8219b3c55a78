// Marseillais turns: the turn lists in order, escapeFound, the first-turn
// rule, en passant and castling across the two moves of a turn,
// TurnGivesCheck, the turn counts, divide text, the comparison of the turn
// builders with a slow construction on many positions, and positions with
// huge turn lists.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gen_util.h"
#include "perft/perft.h"

namespace {

using namespace gen;

// Counts turns below the position with the builders without the first-turn
// rule, checking at every made turn that TurnGivesCheck predicted the check
// the opponent then stands in.
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
    if (predicted != InCheck(pos)) problems.Add(PairText(t) + ": TurnGivesCheck wrong");
    pos.OpenNextPly();
    sum += TurnTree(pos, depth - 1, problems);
    --pos.ply;
    UnmakePairFast(pos, t, pos.CurrentUndo());
  }
  return sum;
}

std::vector<MovePair> LegalTurnVector(Board& b) {
  VectorPairList list;
  LegalTurnsNoRule(b, list);
  return PairsOf(list);
}

std::string TurnsText(const std::vector<MovePair>& turns) {
  std::string out;
  for (MovePair p : turns) {
    if (!out.empty()) out += ' ';
    out += PairText(p);
  }
  return out;
}

// ---------------------------------------------------------------- counts

TEST(MarseillaisPerft, InitialWithFirstTurnRule) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  EXPECT_EQ(PerftRoot(pos, 1), 20u);
  EXPECT_EQ(nodesPerft, 1u);
  EXPECT_EQ(PerftRoot(pos, 2), 8902u);
  EXPECT_EQ(nodesPerft, 21u);
  EXPECT_EQ(pos.ply, 0);
}

TEST(MarseillaisPerft, InitialWithoutFirstTurnRule) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  Problems problems;
  EXPECT_EQ(TurnTree(pos, 1, problems), 445u);
  EXPECT_EQ(TurnTree(pos, 2, problems), 196646u);
  EXPECT_TRUE(problems.Result());
  EXPECT_EQ(pos.ply, 0);
}

struct TurnCountCase {
  const char* fen;
  std::vector<uint64_t> counts;
};

const TurnCountCase kTurnCounts[] = {
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", {243, 6292}},
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", {51, 1740}},
    {"1r5k/8/8/8/7p/p7/P6P/K7 w - - 0 1", {0, 0}},
};

TEST(MarseillaisPerft, PublishedPositionsBothColours) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (const TurnCountCase& c : kTurnCounts) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
      ASSERT_TRUE(Load(pos, fen));
      const Board before = pos;
      for (size_t d = 1; d <= c.counts.size(); ++d) {
        EXPECT_EQ(PerftRoot(pos, int(d)), c.counts[d - 1]) << fen << " depth " << d;
        Problems problems;
        EXPECT_EQ(TurnTree(pos, int(d), problems), c.counts[d - 1]) << fen << " depth " << d;
        EXPECT_TRUE(problems.Result()) << fen;
        EXPECT_TRUE(SameBoard(before, pos)) << fen;
      }
    }
  }
}

// ---------------------------------------------------------------- order

TEST(TurnOrder, InitialWithRuleIsTwentySingleMoves) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  VectorPairList list;
  GenerateLegalTurns<White, true>(pos, list);
  EXPECT_EQ(TurnsText(PairsOf(list)),
            "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4");
  for (MovePair p : PairsOf(list)) EXPECT_EQ(SecondOf(p), 0) << PairText(p);
  // The front end's entry picks the same builder.
  VectorPairList viaFrontEnd;
  GenerateLegalTurnsForSideToMove(pos, viaFrontEnd);
  EXPECT_EQ(PairsOf(viaFrontEnd), PairsOf(list));
}

TEST(TurnOrder, InitialWithoutRuleFirstMovesThenSecondMoves) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  const std::vector<MovePair> turns = LegalTurnVector(pos);
  ASSERT_EQ(turns.size(), 445u);
  const std::vector<MovePair> head(turns.begin(), turns.begin() + 21);
  EXPECT_EQ(TurnsText(head),
            "b1a3,a1b1 b1a3,a3b5 b1a3,a3c4 b1a3,a3b1 b1a3,g1f3 b1a3,g1h3 b1a3,b2b3 b1a3,b2b4 b1a3,c2c3 "
            "b1a3,c2c4 b1a3,d2d3 b1a3,d2d4 b1a3,e2e3 b1a3,e2e4 b1a3,f2f3 b1a3,f2f4 b1a3,g2g3 b1a3,g2g4 "
            "b1a3,h2h3 b1a3,h2h4 b1c3,a1b1");
  for (MovePair p : turns) EXPECT_NE(SecondOf(p), 0) << "no check is possible yet: " << PairText(p);
}

TEST(TurnOrder, BlackMovesTwiceAfterWhitesSingleFirstMove) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  PlayMovePair(pos, MakePairWord(MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1), 0));
  ASSERT_EQ(pos.sideToMove, Black);
  VectorPairList list;
  GenerateLegalTurnsForSideToMove(pos, list);
  ASSERT_GT(list.Count(), 20);
  for (MovePair p : PairsOf(list)) EXPECT_NE(SecondOf(p), 0) << PairText(p);
  EXPECT_EQ(PairText(list.At(0).pair), "b8c6,a8b8");
}

TEST(TurnOrder, InCheckEvasionOrderAndLegalSecondMoves) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "4k3/8/8/8/8/8/7R/r3K3 w - - 0 1"));
  ASSERT_TRUE(InCheck(pos));
  VectorPairList raw;
  bool escapeFound = false;
  GenerateTurnsInCheck<White>(pos, raw, escapeFound);
  EXPECT_TRUE(escapeFound);
  VectorPairList list;
  GenerateLegalTurnsInCheck<White, true>(pos, list);
  EXPECT_EQ(TurnsText(PairsOf(list)),
            "e1d2,d2c3 e1d2,d2e3 e1d2,d2d3 e1d2,d2e2 e1d2,d2c2 e1d2,h2h3 e1d2,h2h4 e1d2,h2h5 e1d2,h2h6 "
            "e1d2,h2h7 e1d2,h2h8 e1d2,h2h1 e1d2,h2g2 e1d2,h2f2 e1d2,h2e2 "
            "e1f2,f2e3 e1f2,f2g3 e1f2,f2f3 e1f2,f2g2 e1f2,f2e2 e1f2,h2h3 e1f2,h2h4 e1f2,h2h5 e1f2,h2h6 "
            "e1f2,h2h7 e1f2,h2h8 e1f2,h2h1 e1f2,h2g2 "
            "e1e2,e2d3 e1e2,e2f3 e1e2,e2e3 e1e2,e2f2 e1e2,e2d2 e1e2,h2h3 e1e2,h2h4 e1e2,h2h5 e1e2,h2h6 "
            "e1e2,h2h7 e1e2,h2h8 e1e2,h2h1 e1e2,h2g2 e1e2,h2f2");
  // The raw list already holds only expanded, king-safe first moves.
  EXPECT_TRUE(IsOrderedSubsequence(PairsOf(list), PairsOf(raw)));
}

TEST(TurnOrder, CheckingFirstMoveStandsAlone) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1"));
  const std::vector<MovePair> turns = LegalTurnVector(pos);
  ASSERT_FALSE(turns.empty());
  EXPECT_EQ(PairText(turns[0]), "e1c1");
  EXPECT_EQ(PairText(turns[1]), "e1d2,d2c3");
  int singles = 0;
  for (MovePair p : turns) {
    if (SecondOf(p) != 0) continue;
    ++singles;
    const std::string t = PairText(p);
    EXPECT_TRUE(t == "e1c1" || t == "a1a8" || t == "a1d1") << t;
  }
  EXPECT_EQ(singles, 3);
  // A promotion that checks is a whole turn, too.
  ASSERT_TRUE(Load(pos, "3k4/1P6/8/8/8/8/8/4K3 w - - 0 1"));
  int b8Turns = 0;
  for (MovePair p : LegalTurnVector(pos)) {
    if (MoveText(FirstOf(p)).substr(0, 4) != "b7b8") continue;
    ++b8Turns;
    const bool checks = MoveText(FirstOf(p)) == "b7b8q" || MoveText(FirstOf(p)) == "b7b8r";
    EXPECT_EQ(SecondOf(p) == 0, checks) << PairText(p);
  }
  EXPECT_GT(b8Turns, 4);
}

// ---------------------------------------------------------------- raw generators

TEST(RawTurns, PinnedPieceCheckingOffItsLineIsRemovedByTheFilter) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "4r3/1k6/8/8/4N3/8/8/4K3 w - - 0 1"));
  VectorPairList raw;
  bool escapeFound = true;
  GenerateTurns<White>(pos, raw, escapeFound);
  EXPECT_FALSE(escapeFound);
  std::vector<std::string> knightTurns;
  for (MovePair p : PairsOf(raw)) {
    if (MoveFrom(FirstOf(p)) == Sq("e4")) knightTurns.push_back(PairText(p));
  }
  EXPECT_EQ(knightTurns, (std::vector<std::string>{"e4d6", "e4c5"}));
  for (MovePair p : LegalTurnVector(pos)) EXPECT_NE(MoveFrom(FirstOf(p)), Sq("e4")) << PairText(p);
}

TEST(RawTurns, OnlyCheckingEvasionsMeansNoEscape) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (bool mirrored : {false, true}) {
    const std::string fen = mirrored ? MirrorFen("8/8/8/8/8/8/4q3/R3K2k w - - 0 1") : "8/8/8/8/8/8/4q3/R3K2k w - - 0 1";
    ASSERT_TRUE(Load(pos, fen));
    ASSERT_TRUE(InCheck(pos));
    VectorPairList raw;
    bool escapeFound = true;
    if (mirrored)
      GenerateTurnsInCheck<Black>(pos, raw, escapeFound);
    else
      GenerateTurnsInCheck<White>(pos, raw, escapeFound);
    EXPECT_FALSE(escapeFound) << fen;
    EXPECT_EQ(TurnsText(PairsOf(raw)), mirrored ? "e8f7 e8d7 e8e7" : "e1d2 e1f2 e1e2");
    EXPECT_EQ(TurnsText(LegalTurnVector(pos)), mirrored ? "e8e7" : "e1e2");
  }
}

TEST(RawTurns, EscapeFoundEvenWithoutLegalSecondMove) {
  // The king steps out of check to a2, from where every second move is
  // illegal: an escape was found, yet no turn remains.
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "kr6/8/8/8/8/7r/8/K1r5 w - - 0 1"));
  ASSERT_TRUE(InCheck(pos));
  VectorPairList raw;
  bool escapeFound = false;
  GenerateTurnsInCheck<White>(pos, raw, escapeFound);
  EXPECT_TRUE(escapeFound);
  EXPECT_EQ(TurnsText(PairsOf(raw)), "a1a2,a2b3 a1a2,a2b1 a1a2,a2a3 a1a2,a2b2 a1a2,a2a1");
  EXPECT_TRUE(LegalTurnVector(pos).empty());
  EXPECT_TRUE(SlowTurns(pos).empty());
  EXPECT_EQ(PerftRoot(pos, 1), 0u);
  EXPECT_EQ(PerftRoot(pos, 3), 0u);
}

TEST(RawTurns, NotInCheckClearsEscapeFound) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"));
  VectorPairList raw;
  bool escapeFound = true;
  GenerateTurns<White>(pos, raw, escapeFound);
  EXPECT_FALSE(escapeFound);
  EXPECT_EQ(raw.Count(), 8 + 8 + 8 + 5 + 5) << TurnsText(PairsOf(raw));
}

TEST(RawTurns, SingleTurnGenerators) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  VectorPairList singles;
  GenerateSingleTurns<White>(pos, singles);
  EXPECT_EQ(PairsOf(singles).size(), 26u);
  for (int i = 0; i < singles.Count(); ++i) {
    EXPECT_EQ(SecondOf(singles.At(i).pair), 0);
    EXPECT_EQ(singles.At(i).score, 0);
  }
  EXPECT_EQ(PairText(singles.At(0).pair), "e1g1");
  ASSERT_TRUE(Load(pos, "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1"));
  singles.Clear();
  GenerateSingleTurnsInCheck<White>(pos, singles);
  EXPECT_EQ(TurnsText(PairsOf(singles)), "e1d2 e1f2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3");
}

// ---------------------------------------------------------------- en passant and castling

TEST(TurnRules, EnPassantOnlyAsFirstMove) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (bool mirrored : {false, true}) {
    const std::string fen =
        mirrored ? MirrorFen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1") : "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1";
    ASSERT_TRUE(Load(pos, fen));
    int epFirst = 0;
    for (MovePair p : LegalTurnVector(pos)) {
      EXPECT_NE(MoveKindOf(SecondOf(p)), EnPassantMove) << PairText(p);
      epFirst += MoveKindOf(FirstOf(p)) == EnPassantMove;
    }
    EXPECT_GT(epFirst, 0) << fen;
  }
}

TEST(TurnRules, DoubleAdvanceAsSecondMoveLeavesEnPassantSquare) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1"));
  const Move e2e4 = MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1);
  const Move e1d1 = MakeMoveWord(Sq("e1"), Sq("d1"));
  auto blackHasEnPassant = [&](MovePair whiteTurn) {
    UndoRecord u[2];
    MakePairFast(pos, whiteTurn, u);
    bool found = false;
    for (MovePair p : LegalTurnVector(pos)) found |= MoveKindOf(FirstOf(p)) == EnPassantMove;
    const Square ep = pos.epSquare;
    UnmakePairFast(pos, whiteTurn, u);
    return std::make_pair(found, ep);
  };
  const auto second = blackHasEnPassant(MakePairWord(e1d1, e2e4));
  EXPECT_TRUE(second.first);
  EXPECT_EQ(second.second, Sq("e3"));
  const auto first = blackHasEnPassant(MakePairWord(e2e4, e1d1));
  EXPECT_FALSE(first.first);
  EXPECT_EQ(first.second, NoSquare);
  // Both pairs are in White's list.
  const std::vector<MovePair> white = LegalTurnVector(pos);
  EXPECT_NE(std::find(white.begin(), white.end(), MakePairWord(e1d1, e2e4)), white.end());
  EXPECT_NE(std::find(white.begin(), white.end(), MakePairWord(e2e4, e1d1)), white.end());
}

TEST(TurnRules, CastlingAfterTheFirstMoveClearsTheWay) {
  MarseillaisPosition& pos = SharedMarseillais();
  for (bool mirrored : {false, true}) {
    const std::string fen = mirrored ? MirrorFen("4k3/8/8/8/8/8/8/4KB1R w K - 0 1") : "4k3/8/8/8/8/8/8/4KB1R w K - 0 1";
    ASSERT_TRUE(Load(pos, fen));
    std::vector<std::string> castlingTurns;
    bool b5Single = false;
    for (MovePair p : LegalTurnVector(pos)) {
      if (MoveKindOf(SecondOf(p)) == CastlingMove) castlingTurns.push_back(PairText(p));
      if (MoveKindOf(FirstOf(p)) == CastlingMove) ADD_FAILURE() << "f1 is occupied: " << PairText(p);
      b5Single |= PairText(p) == (mirrored ? "f8b4" : "f1b5");
    }
    const std::vector<std::string> expected =
        mirrored
            ? std::vector<std::string>{"f8g7,e8g8", "f8h6,e8g8", "f8e7,e8g8", "f8d6,e8g8", "f8c5,e8g8", "f8a3,e8g8"}
            : std::vector<std::string>{"f1e2,e1g1", "f1d3,e1g1", "f1c4,e1g1", "f1a6,e1g1", "f1g2,e1g1", "f1h3,e1g1"};
    EXPECT_EQ(castlingTurns, expected) << fen;
    EXPECT_TRUE(b5Single) << "the checking bishop move stands alone";
  }
}

// ---------------------------------------------------------------- TurnGivesCheck

TEST(TurnGivesCheck, SecondMoveDiscoversCheckOpenedByTheFirst) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "7k/8/8/7N/8/7N/8/K6R w - - 0 1"));
  auto mv = [](const char* t) { return MakeMoveWord(Sq(t), Sq(t + 2)); };
  const Board before = pos;
  EXPECT_FALSE(GivesCheck<White>(pos, mv("h3g1")));
  EXPECT_FALSE(GivesCheck<White>(pos, mv("h5f6")));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("h3g1"), mv("h5f6"))));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("h3f4"), mv("h5g7"))));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(mv("h5f6"), mv("h3g1"))));
  EXPECT_FALSE(TurnGivesCheck<White>(pos, MakePairWord(mv("h3g1"), mv("a1b1"))));
  EXPECT_FALSE(TurnGivesCheck<White>(pos, MakePairWord(mv("a1b1"), 0)));
  EXPECT_TRUE(SameBoard(before, pos));
  // The turns in the list agree with making them.
  for (MovePair p : LegalTurnVector(pos)) {
    UndoRecord u[2];
    const bool predicted = TurnGivesCheck<White>(pos, p);
    MakePairFast(pos, p, u);
    EXPECT_EQ(predicted, InCheck(pos)) << PairText(p);
    UnmakePairFast(pos, p, u);
  }
  EXPECT_TRUE(SameBoard(before, pos));
}

TEST(TurnGivesCheck, SecondMoveChecksOnlyAfterFirstMoveClearsTheLine) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "7k/8/8/N7/8/8/8/R5K1 w - - 0 1"));
  const Move a5c6 = MakeMoveWord(Sq("a5"), Sq("c6"));
  const Move a5b3 = MakeMoveWord(Sq("a5"), Sq("b3"));
  const Move a1a8 = MakeMoveWord(Sq("a1"), Sq("a8"));
  EXPECT_TRUE(TurnGivesCheck<White>(pos, MakePairWord(a5c6, a1a8)));
  // After a5b3 the rook's second move reaches no line to the king.
  const Move a1a2 = MakeMoveWord(Sq("a1"), Sq("a2"));
  EXPECT_FALSE(TurnGivesCheck<White>(pos, MakePairWord(a5b3, a1a2)));
}

// ---------------------------------------------------------------- divide text

std::string CaptureDivide(MarseillaisPosition& pos, int depth) {
  TimeControl tc;
  testing::internal::CaptureStdout();
  RunDivide(pos, tc, depth);
  return testing::internal::GetCapturedStdout();
}

TEST(MarseillaisDivide, PairTextsAndCounts) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1"));
  for (int depth = 1; depth <= 2; ++depth) {
    const std::string out = CaptureDivide(pos, depth);
    std::vector<std::string> lines;
    for (size_t start = 0; start < out.size();) {
      const size_t end = out.find('\n', start);
      ASSERT_NE(end, std::string::npos);
      lines.push_back(out.substr(start, end - start));
      start = end + 1;
    }
    const std::vector<MovePair> turns = LegalTurnVector(pos);
    ASSERT_EQ(lines.size(), turns.size() + 1);
    uint64_t total = 0;
    for (size_t i = 0; i < turns.size(); ++i) {
      char expected[64];
      uint64_t n = 1;
      if (depth == 1) {
        std::snprintf(expected, sizeof expected, "# %-5s: 1", PairText(turns[i]).c_str());
      } else {
        MakePairFast(pos, turns[i], pos.CurrentUndo());
        pos.OpenNextPly();
        Problems problems;
        n = TurnTree(pos, 1, problems);
        --pos.ply;
        UnmakePairFast(pos, turns[i], pos.CurrentUndo());
        std::snprintf(expected, sizeof expected, "%-5s %llu", PairText(turns[i]).c_str(), (unsigned long long)n);
      }
      total += n;
      EXPECT_EQ(lines[i], expected);
    }
    EXPECT_EQ(total, depth == 1 ? 243u : 6292u);
    const std::string prefix = "# perft(" + std::to_string(depth) + ") = " + std::to_string(total) +
                               ", nodesPerft=" + std::to_string(depth == 1 ? 1 : 244) + ", time=";
    EXPECT_EQ(lines.back().substr(0, prefix.size()), prefix);
    if (depth == 1) {
      EXPECT_EQ(lines[0], "# e1c1 : 1");
      EXPECT_EQ(lines[1], "# e1d2,d2c3: 1");
    } else {
      EXPECT_EQ(lines[1].substr(0, 10), "e1d2,d2c3 ");
    }
  }
}

TEST(MarseillaisDivide, InitialRootIsSingleMoves) {
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, StartFen));
  const std::string out = CaptureDivide(pos, 1);
  EXPECT_EQ(out.substr(0, 22), "# b1a3 : 1\n# b1c3 : 1\n");
  EXPECT_NE(out.find("# h2h4 : 1\n# perft(1) = 20, nodesPerft=1, time="), std::string::npos) << out;
}

// ---------------------------------------------------------------- slow cross-check

// Positions rich in checks, double checks, pins, en passant, castling made
// possible by the first move, and promotions; each is also run mirrored.
const char* const kTurnPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
    "1r5k/8/8/8/7p/p7/P6P/K7 w - - 0 1",
    "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1",
    "k7/8/8/7B/4r2Q/3P3R/8/2N1K3 w - - 0 1",
    "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1",
    "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1",
    "8/8/8/KPp4r/8/8/8/7k w - c6 0 1",
    "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1",
    "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "3k4/1P6/8/8/8/8/8/4K3 w - - 0 1",
    "4k3/8/8/8/8/8/8/4KB1R w K - 0 1",
    "r3k2r/8/8/8/8/8/8/RN2K1NR w KQkq - 0 1",
    "r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1",
    "8/8/8/8/8/8/4q3/R3K2k w - - 0 1",
    "4r3/1k6/8/8/4N3/8/8/4K3 w - - 0 1",
    "k3r3/8/8/8/4N3/8/3B4/4K3 w - - 0 1",
    "7k/8/8/7N/8/7N/8/K6R w - - 0 1",
    "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1",
    "4k3/8/8/8/8/8/7R/r3K3 w - - 0 1",
    "4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1",
    "k7/8/8/8/8/8/r7/K1r5 w - - 0 1",
    "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
    "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
    "4k3/8/8/8/8/3n4/8/R3K2R w KQ - 0 1",
    "r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1",
    "8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1",
    "7k/8/5b2/8/2pP4/8/8/K7 b - d3 0 1",
};

TEST(TurnCrossCheck, BuildersEqualSlowConstruction) {
  MarseillaisPosition& pos = SharedMarseillais();
  int positions = 0;
  for (const char* f : kTurnPositions) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(f) : f;
      ASSERT_TRUE(Load(pos, fen));
      const Board before = pos;
      const std::vector<MovePair> fast = LegalTurnVector(pos);
      const std::vector<MovePair> slow = SlowTurns(pos);
      EXPECT_TRUE(SameBoard(before, pos)) << fen;
      EXPECT_EQ(Sorted(fast), Sorted(slow)) << fen;
      // Same order too: first moves in generation order, each followed by
      // its second moves in generation order.
      EXPECT_EQ(fast, slow) << fen;
      for (MovePair p : fast) EXPECT_NE(FirstOf(p), 0) << fen;
      ++positions;
    }
  }
  EXPECT_GE(positions, 60);
}

// Positions reached by playing turns chosen by a fixed pseudo-random
// sequence: many ordinary middle-game and end-game situations.
TEST(TurnCrossCheck, AlongPlayedGames) {
  MarseillaisPosition& pos = SharedMarseillais();
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFFFF;
  };
  Problems problems;
  int checked = 0;
  for (const char* start : {StartFen, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                            "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1"}) {
    ASSERT_TRUE(Load(pos, start));
    for (int turn = 0; turn < 14; ++turn) {
      const std::vector<MovePair> fast = LegalTurnVector(pos);
      const std::vector<MovePair> slow = SlowTurns(pos);
      ++checked;
      if (fast != slow) problems.Add(PositionToFen(pos) + ": builders differ from slow construction");
      for (MovePair p : fast) {
        UndoRecord u[2];
        const bool predicted = TurnGivesCheckAny(pos, p);
        MakePairFast(pos, p, u);
        const bool actual = InCheck(pos);
        UnmakePairFast(pos, p, u);
        if (predicted != actual) problems.Add(PositionToFen(pos) + " " + PairText(p) + ": TurnGivesCheck wrong");
      }
      if (fast.empty()) break;
      PlayMovePair(pos, fast[next() % fast.size()]);
    }
  }
  EXPECT_TRUE(problems.Result());
  EXPECT_GE(checked, 30);
}

// ---------------------------------------------------------------- huge lists

TEST(HugeTurnLists, ManyQueensAndRooks) {
  MarseillaisPosition& pos = SharedMarseillais();
  struct Heavy {
    const char* fen;
    bool alsoMirrored;
  };
  const Heavy heavy[] = {
      {"r2qk2r/8/q1q1q1q1/1q1q1q1q/Q1Q1Q1Q1/1Q1Q1Q1Q/3Q4/R3K2R w - - 0 1", false},
      {"rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1", false},
      {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", true},
  };
  for (const Heavy& h : heavy) {
    for (bool mirrored : {false, true}) {
      if (mirrored && !h.alsoMirrored) continue;
      const std::string fen = mirrored ? MirrorFen(h.fen) : h.fen;
      ASSERT_TRUE(Load(pos, fen));
      const Board before = pos;
      const std::vector<MovePair> fast = LegalTurnVector(pos);
      EXPECT_EQ(fast, SlowTurns(pos)) << fen;
      EXPECT_GT(fast.size(), 5000u) << fen;
      EXPECT_EQ(PerftRoot(pos, 1), fast.size()) << fen;
      // The ply's list in the move stack holds the same turns.
      StackPairList& list = pos.CurrentList();
      list.Clear();
      LegalTurnsNoRule(pos, list);
      EXPECT_EQ(PairsOf(list), fast) << fen;
      list.Clear();
      EXPECT_TRUE(SameBoard(before, pos)) << fen;
    }
  }
}

TEST(HugeTurnLists, DepthTwoBelowTwoHundredEighteenMoves) {
  // Over forty thousand White turns, each counted below; the deep suite
  // compares this count with the turn builders.
  MarseillaisPosition& pos = SharedMarseillais();
  ASSERT_TRUE(Load(pos, "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1"));
  EXPECT_EQ(PerftRoot(pos, 1), 43189u);
  EXPECT_EQ(PerftRoot(pos, 2), 168214u);
  EXPECT_EQ(nodesPerft, 1u + 43189u);
  EXPECT_EQ(pos.ply, 0);
}

}  // namespace
