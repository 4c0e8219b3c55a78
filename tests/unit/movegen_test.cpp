// Move generation: the exact order of the pseudo-legal, evasion, capture and
// legal lists on hand-worked positions, the move words, castling rules, the
// check-giving test on its corner cases, and cross-checks of every generator
// against make-and-test over whole move trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "gen_util.h"

namespace {

using namespace gen;

struct OrderCase {
  const char* fen;
  Gen generator;
  const char* expected;
  const char* legal = nullptr;  // the legal list too, when given
};

// Worked out by hand from the generation rules: pieces by slot (king, queen,
// rooks, bishops, knights, then pawns and extra pieces in set-up order),
// steps in list order, slides nearest first then the capture, promotions
// queen-knight-rook-bishop, en passant first, castling next. Evasions: king
// steps, captures of the checker, en passant, then interpositions from the
// checker towards the king.
const OrderCase kOrderCases[] = {
    {StartFen, Gen::Moves,
     "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4"},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1", Gen::Moves,
     "b8c6 b8a6 g8h6 g8f6 a7a6 a7a5 b7b6 b7b5 c7c6 c7c5 d7d6 d7d5 e7e6 e7e5 f7f6 f7f5 g7g6 g7g5 h7h6 h7h5"},
    {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 b7a8q b7a8n b7a8r b7a8b b7c8q b7c8n b7c8r b7c8b b7b8q b7b8n b7b8r b7b8b"},
    {"4k3/8/8/8/8/8/1p6/N1N1K3 b - - 0 1", Gen::Moves,
     "e8f7 e8d7 e8f8 e8e7 e8d8 b2c1q b2c1n b2c1r b2c1b b2a1q b2a1n b2a1r b2a1b b2b1q b2b1n b2b1r b2b1b"},
    {"4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1", Gen::Moves, "f5e6 d5e6 e1d2 e1f2 e1e2 e1f1 e1d1 d5d6 f5f6"},
    {"4k3/8/8/8/3pPp2/8/8/4K3 b - e3 0 1", Gen::Moves, "d4e3 f4e3 e8f7 e8d7 e8f8 e8e7 e8d8 d4d3 f4f3"},
    {"r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1", Gen::Moves,
     "e5d6 e1g1 e1c1 e1d2 e1f2 e1e2 e1f1 e1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 a1b1 a1c1 a1d1 "
     "h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 h1g1 h1f1 e5e6"},
    {"r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", Gen::Moves,
     "d4e3 e8g8 e8c8 e8f7 e8d7 e8f8 e8e7 e8d8 a8b8 a8c8 a8d8 a8a7 a8a6 a8a5 a8a4 a8a3 a8a2 a8a1 "
     "h8h7 h8h6 h8h5 h8h4 h8h3 h8h2 h8h1 h8g8 h8f8 d4d3"},
    {"4k3/3p4/8/8/3R2P1/8/8/4K3 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 d4d5 d4d6 d4d7 d4e4 d4f4 d4d3 d4d2 d4d1 d4c4 d4b4 d4a4 g4g5"},
    {"4k3/8/8/8/8/2p5/1Q6/K7 w - - 0 1", Gen::Moves,
     "a1a2 a1b1 b2a3 b2c3 b2c1 b2b3 b2b4 b2b5 b2b6 b2b7 b2b8 b2c2 b2d2 b2e2 b2f2 b2g2 b2h2 b2b1 b2a2"},
    {"4k3/8/8/8/8/8/P7/NN2K1N1 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 a1b3 a1c2 b1a3 b1c3 b1d2 a2a3 a2a4 g1f3 g1h3 g1e2"},
    {"4k3/8/8/8/4p3/3p4/3PP3/4K3 w - - 0 1", Gen::Moves, "e1f2 e1f1 e1d1 e2d3 e2e3"},
    {"3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1", Gen::Evasions, "e1d2 e1f2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3",
     "e1d2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3"},
    {"k7/8/8/7B/4r2Q/3P3R/8/2N1K3 w - - 0 1", Gen::Evasions, "e1d2 e1f2 e1e2 e1f1 e1d1 d3e4 h4e4 h3e3 c1e2 h5e2",
     "e1d2 e1f2 e1f1 e1d1 d3e4 h4e4 h3e3 c1e2 h5e2"},
    {"4k3/8/8/8/r6K/3P4/2P5/8 w - - 0 1", Gen::Evasions, "h4g5 h4g3 h4h5 h4h3 h4g4 c2c4 d3d4",
     "h4g5 h4g3 h4h5 h4h3 c2c4 d3d4"},
    {"r6K/2P5/8/8/8/8/8/k7 w - - 0 1", Gen::Evasions, "h8g7 h8h7 h8g8 c7c8q c7c8n c7c8r c7c8b",
     "h8g7 h8h7 c7c8q c7c8n c7c8r c7c8b"},
    {"4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", Gen::Evasions, "e4d5 e4f5 e4f3 e4d3 e4f4 e4e3 e4d4 c4d5 b4d5 e5d6",
     "e4d5 e4d3 e4e3 e4d4 c4d5 b4d5 e5d6"},
    {"8/8/8/1np1k3/3Pp3/8/8/4KR2 b - d3 0 1", Gen::Evasions, "e5d6 e5f6 e5f4 e5d4 e5e6 e5f5 e5d5 c5d4 b5d4 e4d3",
     "e5d6 e5d4 e5e6 e5d5 c5d4 b5d4 e4d3"},
    {"4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", Gen::Evasions, "e8f7 e8d7 e8f8 e8e7 e8d8 c7d6 b4d6", "e8d7 e8f8 e8d8"},
    {"4k3/8/8/8/8/8/8/q3K2R w K - 0 1", Gen::Evasions, "e1d2 e1f2 e1e2 e1f1 e1d1", "e1d2 e1f2 e1e2"},
    {"k3r3/8/8/8/6p1/8/4K3/8 w - - 0 1", Gen::Evasions, "e2d3 e2f3 e2f1 e2d1 e2e3 e2f2 e2e1 e2d2",
     "e2d3 e2f1 e2d1 e2f2 e2d2"},
    // Captures: en passant first, then the pieces by slot; queen promotion only.
    {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Captures, "b7a8q b7c8q"},
    {"4k3/8/8/8/8/8/1p6/N1N1K3 b - - 0 1", Gen::Captures, "b2c1q b2a1q"},
    {"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Captures, ""},
    {"k7/8/8/3Pp3/5K2/8/8/8 w - e6 0 1", Gen::Captures, "d5e6 f4e5"},
    {"7k/3p4/1p3p2/8/n2Q2n1/8/1p3p2/3n3K w - - 0 1", Gen::Captures, "d4b6 d4f6 d4f2 d4b2 d4d7 d4g4 d4d1 d4a4"},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", Gen::Captures,
     "f3f6 f3h3 e2a6 e5d7 e5f7 e5g6 d5e6 g2h3"},
    // Legal lists: mate, stalemate, a pin, the en passant along the rank.
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", Gen::Legal, ""},
    {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", Gen::Legal, ""},
    {"k3r3/8/8/8/4R3/8/8/4K3 w - - 0 1", Gen::Legal, "e1d2 e1f2 e1e2 e1f1 e1d1 e4e5 e4e6 e4e7 e4e8 e4e3 e4e2"},
    {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", Gen::Moves, "b5c6 a5b6 a5b4 a5a6 a5a4 b5b6", "a5b6 a5a6 a5a4 b5b6"},
};

TEST(GenerationOrder, MatchesHandWorkedLists) {
  Position& pos = SharedPosition();
  for (const OrderCase& c : kOrderCases) {
    ASSERT_TRUE(Load(pos, c.fen));
    const Board before = pos;
    FixedMoveList list;
    Generate(c.generator, pos, list);
    EXPECT_EQ(Join(Words(list)), c.expected) << c.fen;
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i).score, 0) << c.fen;
    if (c.legal) {
      EXPECT_EQ(Join(GenerateVector(Gen::Legal, pos)), c.legal) << c.fen;
    }
    EXPECT_TRUE(SameBoard(before, pos)) << "a generator changed the position " << c.fen;
  }
}

TEST(GenerationOrder, LegalBuildersAppendBehindExistingEntries) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, "8/8/8/KPp4r/8/8/8/7k w - c6 0 1"));
  FixedMoveList list;
  AppendMove(list, 0x1234);
  GenerateLegalMoves<White>(pos, list);
  EXPECT_EQ(list.At(0).move, 0x1234);
  EXPECT_EQ(Join(Words(list)), Text(Move(0x1234)) + " a5b6 a5a6 a5a4 b5b6");
  ASSERT_TRUE(Load(pos, "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1"));
  list.Clear();
  AppendMove(list, 0x0042);
  GenerateLegalEvasions<White>(pos, list);
  EXPECT_EQ(Join(Words(list)), Text(Move(0x0042)) + " e1d2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3");
}

TEST(GenerationOrder, EnPassantAlongRankIsNoPin) {
  // a5 king, b5 pawn, c5 pawn just advanced, h5 rook: en passant would bare
  // the king, though no piece is pinned.
  BothColours("8/8/8/KPp4r/8/8/8/7k w - c6 0 1", [](const std::string& fen, bool mirrored) {
    Position& pos = SharedPosition();
    ASSERT_TRUE(Load(pos, fen));
    EXPECT_EQ(mirrored ? PinnedPieces<Black>(pos) : PinnedPieces<White>(pos), 0u) << fen;
    const std::vector<Move> legal = GenerateVector(Gen::Legal, pos);
    EXPECT_EQ(legal.size(), 4u) << fen;
    for (Move m : legal) EXPECT_NE(MoveKindOf(m), EnPassantMove) << fen;
  });
}

TEST(MoveWords, CastlingEnPassantPromotionAndDoubleAdvance) {
  Position& pos = SharedPosition();
  const struct {
    const char* fen;
    const char* text;
    Move word;
  } wants[] = {
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", 0x2184},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1c1", 0x6084},
      {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8g8", 0xAFBC},
      {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8c8", 0xEEBC},
      {StartFen, "e2e4", MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1)},
      {"4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1", "f5e6", MakeMoveWord(Sq("f5"), Sq("e6"), EnPassantMove, 0)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8q", MakeMoveWord(Sq("b7"), Sq("a8"), PromotionMove, 3)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8n", MakeMoveWord(Sq("b7"), Sq("a8"), PromotionMove, 0)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7c8b", MakeMoveWord(Sq("b7"), Sq("c8"), PromotionMove, 1)},
  };
  for (const auto& w : wants) {
    ASSERT_TRUE(Load(pos, w.fen));
    int found = 0;
    for (Move m : GenerateVector(InCheck(pos) ? Gen::Evasions : Gen::Moves, pos)) {
      if (Text(m) != w.text) continue;
      ++found;
      EXPECT_EQ(m, w.word) << w.text << " in " << w.fen;
    }
    EXPECT_EQ(found, 1) << w.text << " in " << w.fen;
  }
}

// ---------------------------------------------------------------- castling

TEST(Castling, GeneratedFirstAndLegalPerSide) {
  const struct {
    const char* fen;  // White to move; the mirror checks Black
    const char* generated;
    const char* legal;
  } cases[] = {
      {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1 e1c1", "e1g1 e1c1"},
      {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1c1", "e1c1"},             // f1 attacked
      {"3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1", "e1g1"},             // d1 attacked
      {"1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1 e1c1", "e1g1 e1c1"},  // b1 attacked does not matter
      {"4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1 e1c1", "e1c1"},       // g1, c1: generated, not legal
      {"2r1k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1 e1c1", "e1g1"},
      {"4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1", "e1g1", "e1g1"},
      {"4k3/8/8/8/8/8/8/R3K1NR w KQ - 0 1", "e1c1", "e1c1"},
      {"4k3/8/8/8/8/8/8/R3K2R w - - 0 1", "", ""},
      {"4k3/8/8/8/8/8/8/R3K2R w Q - 0 1", "e1c1", "e1c1"},
      {"4k3/8/8/8/8/8/6p1/R3K2R w KQ - 0 1", "e1c1", "e1c1"},   // pawn attacks f1
      {"4k3/8/8/8/8/2n5/8/R3K2R w KQ - 0 1", "e1g1", "e1g1"},   // knight attacks d1
      {"4k3/8/8/8/8/3n4/8/R3K2R w KQ - 0 1", "e1g1 e1c1", ""},  // in check: never an evasion
      {"4k3/8/8/8/8/8/3p4/R3K2R w KQ - 0 1", "e1g1 e1c1", ""},
  };
  for (const auto& c : cases) {
    BothColours(c.fen, [&](const std::string& fen, bool mirrored) {
      Position& pos = SharedPosition();
      ASSERT_TRUE(Load(pos, fen));
      auto castlings = [&](Gen g) {
        std::vector<Move> out;
        for (Move m : GenerateVector(g, pos)) {
          if (MoveKindOf(m) == CastlingMove) out.push_back(m);
        }
        return Join(out);
      };
      std::string generated = c.generated, legal = c.legal;
      if (mirrored) std::replace(generated.begin(), generated.end(), '1', '8');
      if (mirrored) std::replace(legal.begin(), legal.end(), '1', '8');
      EXPECT_EQ(castlings(Gen::Moves), generated) << fen;
      // Castling comes right after en passant (none here), king side first.
      EXPECT_EQ(Join(GenerateVector(Gen::Moves, pos)).substr(0, generated.size()), generated) << fen;
      EXPECT_EQ(castlings(Gen::Legal), legal) << fen;
      if (InCheck(pos)) {
        EXPECT_EQ(castlings(Gen::Evasions), "") << fen;
      }
    });
  }
}

// ---------------------------------------------------------------- GivesCheck

TEST(GivesCheck, CornerCasesBothColours) {
  const struct {
    const char* fen;
    const char* move;
    bool gives;
  } cases[] = {
      {"8/4P3/8/8/8/8/8/K3k3 w - - 0 1", "e7e8q", true},  // through the vacated square
      {"8/4P3/8/8/8/8/8/K3k3 w - - 0 1", "e7e8n", false},
      {"8/4P3/3k4/8/8/8/8/K7 w - - 0 1", "e7e8n", true},
      {"8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8n", false},
      {"8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8r", true},
      {"8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8b", false},
      {"3r4/4P3/8/8/7k/8/8/K7 w - - 0 1", "e7d8b", true},
      {"8/RP5k/8/8/8/8/8/K7 w - - 0 1", "b7b8n", true},  // promotion discovers the rook
      {"nk6/1P6/8/8/8/8/8/1R5K w - - 0 1", "b7a8n", true},
      {"8/5k2/8/8/n7/1P6/B7/K7 w - - 0 1", "b3a4", true},
      {"8/5k2/8/8/2n5/1P6/B7/K7 w - - 0 1", "b3c4", false},  // stays on the diagonal
      {"4k3/8/8/8/8/4P3/8/K3R3 w - - 0 1", "e3e4", false},
      {"8/8/3k4/8/4P3/8/8/K7 w - - 0 1", "e4e5", true},
      {"8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1", "d5e6", true},  // en passant opens the rank
      {"8/8/5k2/3Pp3/8/8/8/K7 w - e6 0 1", "d5e6", false},
      {"8/3k4/8/3Pp3/8/8/8/K7 w - e6 0 1", "d5e6", true},
      {"8/8/8/5k2/8/8/8/4K2R w K - 0 1", "e1g1", true},
      {"8/8/8/5k2/8/5N2/8/4K2R w K - 0 1", "e1g1", false},
      {"8/8/8/8/8/8/8/R3K2k w Q - 0 1", "e1c1", true},
      {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "e1c1", true},
      {"8/8/8/8/8/2k5/8/R3K3 w Q - 0 1", "e1c1", false},
      {"8/8/8/8/R2K3k/8/8/8 w - - 0 1", "d4d5", true},  // king step uncovers
      {"8/8/8/8/R2K3k/8/8/8 w - - 0 1", "d4e4", false},
      {"7k/8/8/8/3K4/8/1B6/8 w - - 0 1", "d4d5", true},
      {"4k3/8/8/8/4N3/8/8/K3R3 w - - 0 1", "e4d6", true},
      {"4k3/8/8/8/4N3/8/8/K3R3 w - - 0 1", "e4c3", true},
      {"k7/8/8/N7/8/8/7K/7R w - - 0 1", "h1a1", false},
      {"4k3/8/8/8/8/8/8/K2Q4 w - - 0 1", "d1d7", true},
  };
  for (const auto& c : cases) {
    BothColours(c.fen, [&](const std::string& fen, bool mirrored) {
      std::string text = c.move;
      if (mirrored) text[1] = char('9' - text[1] + '0'), text[3] = char('9' - text[3] + '0');
      Position& pos = SharedPosition();
      ASSERT_TRUE(Load(pos, fen));
      int found = 0;
      for (Move m : GenerateVector(Gen::Moves, pos)) {
        if (Text(m) != text) continue;
        ++found;
        const Board before = pos;
        EXPECT_EQ(GivesCheckAny(pos, m), c.gives) << fen << " " << text;
        EXPECT_TRUE(SameBoard(before, pos)) << fen << " " << text;
        EXPECT_EQ(MadeMove(pos, m).EnemyKingAttacked(), c.gives) << "the case itself is wrong: " << fen;
      }
      EXPECT_EQ(found, 1) << text << " in " << fen;
    });
  }
}

// ---------------------------------------------------------------- cross-checks

TEST(CrossCheck, GeneratorsAndGivesCheckAgainstMakeAndTest) {
  for (const char* start : kVariedFens) {
    EXPECT_EQ(MirrorFen(MirrorFen(start)), start);
    // Three plies, two for positions with many pieces; the deep suite walks further.
    const int depth = std::count_if(start, start + std::strcspn(start, " "), ::isalpha) > 12 ? 2 : 3;
    BothColours(start, [depth](const std::string& fen, bool) {
      Position& pos = SharedPosition();
      ASSERT_TRUE(Load(pos, fen));
      TreeChecker checker;
      checker.Node(pos, depth);
      EXPECT_TRUE(checker.problems.Result()) << fen;
      EXPECT_GT(checker.movesChecked, 0u);
    });
  }
  EXPECT_EQ(MirrorFen("4k3/8/8/3pP3/8/8/8/4K3 w Kq d6 0 1"), "4k3/8/8/8/3Pp3/8/8/4K3 b Qk d3 0 1");
}

}  // namespace
