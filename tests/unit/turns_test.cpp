// Marseillais turns: counts with and without the first-turn rule, the order of the turn lists,
// single turns, and the builders (and TurnGivesCheck) against a slow construction.
#include "movegen/count.h"
#include "movegen/gives_check.h"
#include "perft/perft.h"
#include "test_util.h"

namespace quarn::test {
namespace {

// The legal turns without the first-turn rule.
std::vector<MovePair> TurnVector(Board& b) { return LegalTurns<FirstTurnRule::Off>(b); }

// The legal turns the slow way: each legal first move; one that checks stands
// alone; otherwise every second move (castling allowed, no en passant) that
// leaves the mover's king unattacked.
std::vector<MovePair> SlowTurns(Board& b) {
  std::vector<MovePair> out;
  const Color us = b.sideToMove;
  for (Move m1 : LegalMoves(b)) {
    UndoRecord u1;
    MakeAs<Sums::Skip, Flip::KeepSide>(b, m1, u1);
    if (IsSquareAttackedBy(b, b.KingSquare(Opponent(us)), us)) {
      out.push_back(MakePairWord(m1, 0));
    } else {
      FixedMoveList seconds;
      WithSideToMove(b, [&](auto tag) { GenerateMoves<decltype(tag)::value, EnPassant::Without>(b, seconds); });
      for (Move m2 : Words(seconds)) {
        UndoRecord u2;
        MakeAs<Sums::Skip, Flip::KeepSide>(b, m2, u2);
        if (!IsSquareAttackedBy(b, b.KingSquare(us), Opponent(us))) out.push_back(MakePairWord(m1, m2));
        UnmakeAs<Sums::Skip, Flip::KeepSide>(b, m2, u2);
      }
    }
    UnmakeAs<Sums::Skip, Flip::KeepSide>(b, m1, u1);
  }
  return out;
}

// Counts turns with the builders without the rule, checking that every list
// equals the slow construction and TurnGivesCheck foresees every check.
uint64_t TurnTree(MarseillaisPosition& pos, int depth, std::vector<std::string>& problems, bool slow = false) {
  const std::vector<MovePair> turns = TurnVector(pos);
  if (slow && turns != SlowTurns(pos)) problems.push_back(PositionToFen(pos) + ": builders differ from slow turns");
  if (depth == 1) return turns.size();
  uint64_t sum = 0;
  for (MovePair t : turns) {
    const bool predicted = WithSideToMove(pos, [&](auto us) { return TurnGivesCheck<decltype(us)::value>(pos, t); });
    MakeTurn<Sums::Skip>(pos, t, pos.CurrentUndo());
    if (predicted != SideToMoveInCheck(pos)) problems.push_back(Cat(PositionToFen(pos), " after ", Text(t)));
    pos.OpenNextPly();
    sum += TurnTree(pos, depth - 1, problems, slow);
    --pos.ply;
    UnmakeTurn<Sums::Skip>(pos, t, pos.CurrentUndo());
  }
  return sum;
}

TEST(Turns, CountsWithAndWithoutFirstTurnRule) {
  MarseillaisPosition& pos = Loaded<MarseillaisPosition>(StartFen);
  std::vector<std::string> problems;
  EXPECT_EQ(TurnTree(pos, 2, problems), 196646u);
  for (auto [f, counts] : {std::pair<const char*, std::vector<uint64_t>>{"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", {243, 6292}},
                           {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", {51, 1740}},
                           {"1r5k/8/8/8/7p/p7/P6P/K7 w - - 0 1", {0, 0}},
                           {"kr6/8/8/8/8/7r/8/K1r5 w - - 0 1", {0, 0}},  // an escape without a second move
                           // below the root: castling moves a rook the bishop reads; a knight's
                           // check is taken while the bishop stays pinned
                           {"4k3/8/8/8/8/3B4/8/4K2R b K - 0 1", {33, 20316}},
                           {"k3r3/8/8/8/1n3N2/8/4B3/4K3 b - - 0 1", {387, 91776}},
                           // the first move decides the castlings of the second: a rook
                           // leaves its corner; a knight blocks the line to c1 or g1
                           {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {677}},
                           {"4k3/8/8/8/8/b2N4/8/R3K3 w Q - 0 1", {318, 38018}},
                           {"k5r1/8/8/4N3/8/8/8/4K2R w K - 0 1", {518, 105490}}})
    BothColours(f, [&, counts = counts](const std::string& fen, bool) {
      Load(pos, fen);
      for (size_t d = 1; d <= counts.size(); ++d) {
        EXPECT_EQ(PerftRoot(pos, int(d)).leaves, counts[d - 1]) << fen << " depth " << d;
        EXPECT_EQ(TurnTree(pos, int(d), problems, true), counts[d - 1]) << fen << " depth " << d;
      }
    });
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
  EXPECT_EQ(pos.ply, 0);
}

TEST(Turns, Order) {
  MarseillaisPosition& pos = Loaded<MarseillaisPosition>(StartFen);
  EXPECT_EQ(Join(LegalTurns(pos)),
            "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4");
  const std::vector<MovePair> turns = TurnVector(pos);
  ASSERT_EQ(turns.size(), 445u);
  EXPECT_EQ(Join(std::vector<MovePair>(turns.begin(), turns.begin() + 21)),
            "b1a3,a1b1 b1a3,a3b5 b1a3,a3c4 b1a3,a3b1 b1a3,g1f3 b1a3,g1h3 b1a3,b2b3 b1a3,b2b4 b1a3,c2c3 "
            "b1a3,c2c4 b1a3,d2d3 b1a3,d2d4 b1a3,e2e3 b1a3,e2e4 b1a3,f2f3 b1a3,f2f4 b1a3,g2g3 b1a3,g2g4 "
            "b1a3,h2h3 b1a3,h2h4 b1c3,a1b1");
  Play(pos, MakePairWord(Mv("e2e4", NormalMove, 1), 0));  // Black moves twice
  EXPECT_EQ(Text(LegalTurns(pos).at(0)), "b8c6,a8b8");
  Load(pos, "4k3/8/8/8/8/8/7R/r3K3 w - - 0 1");
  EXPECT_EQ(Join(LegalTurns(pos)),
            "e1d2,d2c3 e1d2,d2e3 e1d2,d2d3 e1d2,d2e2 e1d2,d2c2 e1d2,h2h3 e1d2,h2h4 e1d2,h2h5 e1d2,h2h6 "
            "e1d2,h2h7 e1d2,h2h8 e1d2,h2h1 e1d2,h2g2 e1d2,h2f2 e1d2,h2e2 "
            "e1f2,f2e3 e1f2,f2g3 e1f2,f2f3 e1f2,f2g2 e1f2,f2e2 e1f2,h2h3 e1f2,h2h4 e1f2,h2h5 e1f2,h2h6 "
            "e1f2,h2h7 e1f2,h2h8 e1f2,h2h1 e1f2,h2g2 "
            "e1e2,e2d3 e1e2,e2f3 e1e2,e2e3 e1e2,e2f2 e1e2,e2d2 e1e2,h2h3 e1e2,h2h4 e1e2,h2h5 e1e2,h2h6 "
            "e1e2,h2h7 e1e2,h2h8 e1e2,h2h1 e1e2,h2g2 e1e2,h2f2");
  // A first move that checks, castling or promotion included, stands alone.
  for (auto [fen, singles] : {std::pair{"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "e1c1 a1a8 a1d1 "},
                              {"3k4/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q b7b8r "}}) {
    Load(pos, fen);
    std::string found;
    for (MovePair p : TurnVector(pos)) found += SecondOf(p) ? "" : Cat(Text(p), " ");
    EXPECT_EQ(found, singles);
  }
}

// White's first turn of the game: each move (evasion) alone, in the
// generators' order. An escape from check counts without a second move.
TEST(Turns, SingleTurnsAndEscapes) {
  MarseillaisPosition& pos = Shared<MarseillaisPosition>();
  for (const char* f : {"kr6/8/8/8/8/7r/8/K1r5 w - - 0 1", "4k3/8/8/8/8/8/7R/r3K3 w - - 0 1"})
    BothColours(f, [&](const std::string& fen, bool) {
      Load(pos, fen);
      VectorList<ScoredPair> list;
      bool found = false;
      WithSideToMove(pos, [&](auto us) { GenerateTurns<us, InCheck::Yes>(pos, list, found); });
      EXPECT_TRUE(found) << fen;
    });
  VectorList<ScoredPair> singles;
  GenerateSingleTurns<White, InCheck::Yes>(Loaded<MarseillaisPosition>("3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1"),
                                           singles);
  EXPECT_EQ(Join(Words(singles)), "e1d2 e1f2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3");
  singles.Clear();
  GenerateSingleTurns<White, InCheck::No>(Loaded<MarseillaisPosition>(Rooks), singles);
  EXPECT_TRUE(singles.Count() == 26 && Text(singles.At(0).pair) == "e1g1");
}

// Positions along games of pseudo-randomly chosen turns, and huge lists.
TEST(Turns, BuildersEqualSlowConstruction) {
  MarseillaisPosition& pos = Shared<MarseillaisPosition>();
  std::vector<std::string> problems;
  uint32_t seed = 12345;
  for (const char* start : {StartFen, Kiwipete, "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
                            "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"}) {
    Load(pos, start);
    for (int turn = 0; turn < 14; ++turn) {
      TurnTree(pos, 1, problems, true);
      const std::vector<MovePair> turns = TurnVector(pos);
      if (turns.empty()) break;
      seed = seed * 1103515245u + 12345u;
      Play(pos, turns[((seed >> 8) & 0xFFFFFF) % turns.size()]);
    }
  }
  for (const char* f : {"rnbqkbnr/qqqqqqqq/8/8/8/8/QQQQQQQQ/RNBQKBNR w - - 0 1",
                        "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1"}) {
    Load(pos, f);
    const std::vector<MovePair> fast = TurnVector(pos);
    EXPECT_EQ(fast, SlowTurns(pos)) << f;
    EXPECT_EQ(PerftRoot(pos, 1).leaves, fast.size()) << f;
    StackPairList& list = pos.CurrentList();  // the ply's list in the move stack holds the same
    list.Clear();
    GenerateLegalFor<MarseillaisChess, FirstTurnRule::Off>(pos, list);
    EXPECT_EQ(Words(list), fast) << f;
    list.Clear();
  }
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

}  // namespace
}  // namespace quarn::test
