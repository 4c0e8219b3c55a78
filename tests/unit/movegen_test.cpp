// Move generation and perft in normal chess: the exact order of each
// generator's list on hand-worked positions, every generator and the
// check-giving test against make-and-test over whole move trees, and leaf
// counts of published positions.
#include "movegen/count.h"
#include "movegen/gives_check.h"
#include "movegen/variants.h"
#include "perft/perft.h"
#include "test_util.h"

namespace quarn::test {
namespace {

enum class Gen { Moves, Evasions, Captures, Legal };

std::vector<Move> Generate(Gen g, Board& b) {
  FixedMoveList list;
  WithSideToMove(b, [&](auto us) {
    constexpr Color Us = decltype(us)::value;
    if (g == Gen::Moves) GenerateMoves<Us>(b, list);
    if (g == Gen::Evasions) GenerateEvasions<Us>(b, list);
    if (g == Gen::Captures) GenerateCaptures<Us>(b, list);
    if (g == Gen::Legal) GenerateLegalFor<NormalChess>(b, list);
  });
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i).score, 0);
  return Words(list);
}

// Worked out by hand, in the order divide and the search see: pieces by slot (king, queen,
// rooks, bishops, knights, then pawns and extra pieces), steps in list order, slides nearest
// first, promotions queen-knight-rook-bishop, en passant first, castling next; evasions: king
// steps, captures of the checker, en passant, then interpositions from the checker towards the
// king. More lists are the cross-check's (below); second moves (no en passant) the turn tests'.
TEST(Generation, HandWorkedLists) {
  const struct {
    const char* fen;
    Gen generator;
    const char* expected;
    const char* legal = nullptr;  // the legal list too, when given
  } cases[] = {
      {StartFen, Gen::Moves,
       "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4"},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Moves,
       "e1d2 e1f2 e1e2 e1f1 e1d1 b7a8q b7a8n b7a8r b7a8b b7c8q b7c8n b7c8r b7c8b b7b8q b7b8n b7b8r b7b8b"},
      {"r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1", Gen::Moves,
       "e5d6 e1g1 e1c1 e1d2 e1f2 e1e2 e1f1 e1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 a1b1 a1c1 a1d1 "
       "h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 h1g1 h1f1 e5e6"},
      {"3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1", Gen::Evasions, "e1d2 e1f2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3",
       "e1d2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3"},
      {Kiwipete, Gen::Captures, "f3f6 f3h3 e2a6 e5d7 e5f7 e5g6 d5e6 g2h3"},
  };
  for (const auto& c : cases) {
    Position& pos = Loaded(c.fen);
    const Board before = pos;
    EXPECT_EQ(Join(Generate(c.generator, pos)), c.expected) << c.fen;
    if (c.legal) {
      EXPECT_EQ(Join(Generate(Gen::Legal, pos)), c.legal) << c.fen;
    }
    EXPECT_TRUE(BoardsEqual(before, pos)) << c.fen;
  }
}

// ---------------------------------------------------------------- tree cross-check

// Positions rich in checks, pins, en passant, castling, promotions, mate and
// stalemate: the cross-checks run each and its mirror image.
const char* const VariedFens[] = {
    StartFen, Kiwipete, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1",
    "1r5k/8/8/8/7p/p7/P6P/K7 w - - 0 1", "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1",
    "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", "8/8/8/KPp4r/8/8/8/7k w - c6 0 1", "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", "r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1",
    "r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", "4r3/1k6/8/8/4N3/8/8/4K3 w - - 0 1", "7k/8/8/7N/8/7N/8/K6R w - - 0 1",
    "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1",
    "7k/8/5b2/8/2pP4/8/8/K7 b - d3 0 1",
    // Checks through the vacated square, by promotions, discovered by a
    // pawn, by en passant, castling or a king step, and near misses.
    "3r4/4P3/4k3/8/8/8/8/K7 w - - 0 1", "nk6/1P6/8/8/8/8/8/1R5K w - - 0 1", "8/RP5k/8/8/8/8/8/K7 w - - 0 1",
    "8/4P3/3k4/8/8/8/8/K7 w - - 0 1", "8/5k2/8/8/n1n5/1P6/B7/K7 w - - 0 1", "4k3/8/8/8/8/4P3/8/K3R3 w - - 0 1",
    "8/3k4/8/3Pp3/8/8/8/K7 w - e6 0 1", "8/8/5k2/3Pp3/8/8/8/K7 w - e6 0 1", "8/8/8/5k2/8/8/8/4K2R w K - 0 1",
    "8/8/8/8/8/8/8/R3K2k w Q - 0 1", "8/8/8/8/8/2k5/8/R3K3 w Q - 0 1", "8/8/8/8/R2K3k/8/8/8 w - - 0 1",
    "7k/8/8/8/3K4/8/1B6/8 w - - 0 1", "k7/8/8/N7/8/8/7K/7R w - - 0 1", "8/4P3/8/8/8/8/8/K3k3 w - - 0 1",
    "4k3/8/8/8/4N3/8/8/K3R3 w - - 0 1",
    "4k3/8/8/8/8/3n4/8/R3K2R w KQ - 0 1",  // no castling out of check
    // En passant both ways; edges and blocks; evasions by every piece, double
    // push, promotion and en passant; captures promoting; a pinned rook; mate.
    "4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1", "4k3/8/8/8/8/2p5/1Q6/K7 w - - 0 1", "4k3/8/8/8/8/8/P7/NN2K1N1 w - - 0 1",
    "4k3/8/8/8/4p3/3p4/3PP3/4K3 w - - 0 1", "k7/8/8/7B/4r2Q/3P3R/8/2N1K3 w - - 0 1",
    "4k3/8/8/8/r6K/3P4/2P5/8 w - - 0 1", "r6K/2P5/8/8/8/8/8/k7 w - - 0 1", "8/8/8/1np1k3/3Pp3/8/8/4KR2 b - d3 0 1",
    "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", "k3r3/8/8/8/6p1/8/4K3/8 w - - 0 1", "n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1",
    "k7/8/8/3Pp3/5K2/8/8/8 w - e6 0 1", "7k/3p4/1p3p2/8/n2Q2n1/8/1p3p2/3n3K w - - 0 1",
    "k3r3/8/8/8/4R3/8/8/4K3 w - - 0 1", "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"};

bool OwnKingAttackedAfter(Board& b, Move m) {
  const Color us = b.sideToMove;
  UndoRecord u;
  MakeAs<Sums::Skip, Flip::PassTurn>(b, m, u);
  const bool attacked = IsSquareAttackedBy(b, b.KingSquare(us), Opponent(us));
  UnmakeAs<Sums::Skip, Flip::PassTurn>(b, m, u);
  return attacked;
}

// At every node of the legal tree: each generator against make-and-test, the
// leaf counters and king-zone attacks against the attack test, GivesCheck
// against making the move, and every make flavour restoring the board.
void CheckTree(Board& b, int depth, std::vector<std::string>& problems) {
  auto problem = [&](const std::string& what, Move m = 0) {
    if (problems.size() < 20) problems.push_back(Cat(PositionToFen(b), " ", m ? Cat(Text(m), " ") : "", what));
  };
  const bool inCheck = SideToMoveInCheck(b);
  const Color us = b.sideToMove;
  const std::vector<Move> all = Generate(Gen::Moves, b), legal = Generate(Gen::Legal, b);
  std::vector<Move> filtered, slow;
  for (Move m : inCheck ? Generate(Gen::Evasions, b) : all)
    if (!OwnKingAttackedAfter(b, m)) filtered.push_back(m);
  for (Move m : all)
    if (!(inCheck && MoveKindOf(m) == CastlingMove) && !OwnKingAttackedAfter(b, m)) slow.push_back(m);
  if (legal != filtered) problem("legal list is not the filtered candidates");
  std::vector<Move> sortedLegal = legal;
  std::sort(sortedLegal.begin(), sortedLegal.end()), std::sort(slow.begin(), slow.end());
  if (sortedLegal != slow) problem(Cat("legal ", Join(legal), " | make-and-test ", Join(slow)));
  if (!inCheck)
    WithSideToMove(b, [&](auto tag) {
      constexpr Color Us = decltype(tag)::value;
      const auto noEp = std::count_if(slow.begin(), slow.end(), [](Move m) { return MoveKindOf(m) != EnPassantMove; });
      if (CountLegalMoves<Us>(b) != int(slow.size()) || CountLegalMoves<Us, EnPassant::Without>(b) != noEp)
        problem("leaf count");
      const Square k = b.KingSquare(Us);
      uint16_t targets = 0, expected = 0;
      for (int j = 0; j < 10; ++j) {
        if (IsOffBoard(k + ZoneSteps[j])) continue;
        targets |= uint16_t(1 << j);
        if (IsSquareAttackedBy(b, Square(k + ZoneSteps[j]), Opponent(Us))) expected |= uint16_t(1 << j);
      }
      if (ZoneAttacks<Opponent(Us)>(b, k, targets) != expected) problem("king-zone attacks");
    });
  std::vector<Move> captures;  // the capture subset of the full list, queen promotions only
  for (Move m : all) {
    const int kind = MoveKindOf(m);
    if ((kind == EnPassantMove || (kind != CastlingMove && b.colorAt[MoveTo(m)] != NoColor)) &&
        (kind != PromotionMove || PromotionType(m) == Queen))
      captures.push_back(m);
  }
  if (Generate(Gen::Captures, b) != captures) problem("capture list");
  NormalChess::ReplyBase replies;
  WithSideToMove(b, [&](auto us) { NormalChess::PrepareReplies<us>(b, replies); });
  for (Move m : legal) {
    const Board before = b;
    const bool predicted = WithSideToMove(b, [&](auto tag) { return GivesCheck<decltype(tag)::value>(b, m); });
    if (!predicted) {  // the replies counted from the position's base, against a count of their own
      UndoRecord u;
      MakeAs<Sums::Skip, Flip::PassTurn>(b, m, u);
      WithSideToMove(b, [&](auto them) {
        if (NormalChess::CountReplies<them>(b, m, &u, replies) != uint64_t(CountLegalMoves<them>(b)))
          problem("replies counted from the base", m);
      });
      UnmakeAs<Sums::Skip, Flip::PassTurn>(b, m, u);
    }
    for (const Flavour& f : Flavours) {
      UndoRecord u;
      f.make(b, m, u);
      if (!BoardIsConsistent(b, f.full)) problem("inconsistent after make", m);
      if (f.flip && predicted != SideToMoveInCheck(b)) problem("GivesCheck wrong", m);
      if (!f.flip && predicted != IsSquareAttackedBy(b, b.KingSquare(Opponent(us)), us)) problem("GivesCheck", m);
      if (f.flip && f.full && depth > 1) CheckTree(b, depth - 1, problems);
      f.unmake(b, m, u);
      if (!BoardsEqual(b, before)) problem("unmake did not restore the board", m);
    }
  }
}

TEST(CrossCheck, GeneratorsAgainstMakeAndTest) {
  for (const char* start : VariedFens)
    BothColours(start, [](const std::string& fen, bool) {
      std::vector<std::string> problems;
      Board b = BoardFromFen(fen);
      CheckTree(b, std::count_if(fen.begin(), fen.begin() + fen.find(' '), ::isalpha) > 12 ? 2 : 3, problems);
      EXPECT_TRUE(problems.empty()) << fen << "\n" << ::testing::PrintToString(problems);
    });
}

// ---------------------------------------------------------------- perft and divide

// Two published positions (the others: the transcripts and the deep suite),
// then own positions counted with a reference engine.
TEST(Perft, CountsBothColours) {
  const std::pair<const char*, std::vector<uint64_t>> cases[] = {
      {StartFen, {20, 400, 8902, 197281}},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238, 674624}},
      {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", {4, 56, 259, 4225}},
      {"8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", {6, 136, 863, 20471}},
      {"8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", {9, 50, 379, 2369}},
      {"8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1", {13, 71, 1105, 7407}},
      {"4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", {7, 94, 1160, 18399}},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", {24, 496, 9483, 182838}},
      {"r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", {32, 769, 20056, 499134}},
      {"r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", {25, 242, 6518, 80904}},
      {"4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", {3, 69, 828, 17343}},
      {"R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1", {218, 99, 19073}},
      // Castling with attacked, blocked or missing squares, counted by tests/referee.py.
      {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", {23, 271, 6617}},
      {"4k1r1/8/8/8/8/8/6p1/R3K2R w KQ - 0 1", {24, 410, 8938}},
      {"2r1k3/8/8/8/8/2n5/8/R3K2R w Q - 0 1", {22, 409, 10088}},
      {"1r2k3/8/8/8/8/8/8/RN2K1NR w KQ - 0 1", {25, 350, 9597}},
      {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", {0, 0}},  // mate
      {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", {0, 0}},                                 // stalemate
  };
  for (const auto& [f, counts] : cases)
    BothColours(f, [&, &counts = counts](const std::string& fen, bool) {
      Position& pos = Loaded(fen);
      const Board before = pos;
      uint64_t interior = 0;  // positions above the last ply: what nodesPerft counts
      for (size_t d = 1; d <= counts.size(); ++d) {
        interior += d == 1 ? 1 : counts[d - 2];
        const PerftResult r = PerftRoot(pos, int(d));
        EXPECT_EQ(r.leaves, counts[d - 1]) << fen << " depth " << d;
        EXPECT_EQ(r.nodes, interior) << fen << " depth " << d;
      }
      EXPECT_TRUE(pos.ply == 0 && BoardsEqual(before, pos)) << fen;
    });
  // Moves played in the game stay on the ply stack; perft works above them.
  Position& pos = Loaded(StartFen);
  Play(pos, Mv("e2e4", NormalMove, 1));
  EXPECT_EQ(PerftRoot(pos, 3).leaves, 13160u);
  EXPECT_EQ(pos.ply, 1);
}

}  // namespace
}  // namespace quarn::test
