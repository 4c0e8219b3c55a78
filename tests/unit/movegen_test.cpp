// Move generation: the exact order of the pseudo-legal, evasion, capture and
// legal lists on hand-checked positions, the move words they produce, the
// check-giving test on its corner cases, and cross-checks of every generator
// against make-and-test over whole move trees.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "gen_util.h"

namespace {

using namespace gen;

struct OrderCase {
  const char* name;
  const char* fen;
  Gen generator;
  const char* expected;
};

// Expected lists worked out by hand from the generation rules: pieces by
// slot (king, queen, rooks, bishops, knights, then pawns and extra pieces in
// set-up order), steps in list order, slides nearest first then the capture,
// promotions queen-knight-rook-bishop, en passant first, castling next.
const OrderCase kOrderCases[] = {
    {"InitialWhite", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", Gen::Moves,
     "b1a3 b1c3 g1f3 g1h3 a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4"},
    {"InitialBlackKnightStepsNotMirrored", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1", Gen::Moves,
     "b8c6 b8a6 g8h6 g8f6 a7a6 a7a5 b7b6 b7b5 c7c6 c7c5 d7d6 d7d5 e7e6 e7e5 f7f6 f7f5 g7g6 g7g5 h7h6 h7h5"},
    {"TwelvePromotionsWhite", "n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 b7a8q b7a8n b7a8r b7a8b b7c8q b7c8n b7c8r b7c8b b7b8q b7b8n b7b8r b7b8b"},
    {"TwelvePromotionsBlackHSideFirst", "4k3/8/8/8/8/8/1p6/N1N1K3 b - - 0 1", Gen::Moves,
     "e8f7 e8d7 e8f8 e8e7 e8d8 b2c1q b2c1n b2c1r b2c1b b2a1q b2a1n b2a1r b2a1b b2b1q b2b1n b2b1r b2b1b"},
    {"EnPassantWhiteHSidePawnFirst", "4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1", Gen::Moves,
     "f5e6 d5e6 e1d2 e1f2 e1e2 e1f1 e1d1 d5d6 f5f6"},
    {"EnPassantBlackASidePawnFirst", "4k3/8/8/8/3pPp2/8/8/4K3 b - e3 0 1", Gen::Moves,
     "d4e3 f4e3 e8f7 e8d7 e8f8 e8e7 e8d8 d4d3 f4f3"},
    {"CastlingWhiteBeforePieces", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", Gen::Moves,
     "e1g1 e1c1 e1d2 e1f2 e1e2 e1f1 e1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 a1b1 a1c1 a1d1 "
     "h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 h1g1 h1f1"},
    {"CastlingBlackBeforePieces", "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", Gen::Moves,
     "e8g8 e8c8 e8f7 e8d7 e8f8 e8e7 e8d8 a8b8 a8c8 a8d8 a8a7 a8a6 a8a5 a8a4 a8a3 a8a2 a8a1 "
     "h8h7 h8h6 h8h5 h8h4 h8h3 h8h2 h8h1 h8g8 h8f8"},
    {"EnPassantBeforeCastlingWhite", "r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1", Gen::Moves,
     "e5d6 e1g1 e1c1 e1d2 e1f2 e1e2 e1f1 e1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 a1b1 a1c1 a1d1 "
     "h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 h1g1 h1f1 e5e6"},
    {"EnPassantBeforeCastlingBlack", "r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", Gen::Moves,
     "d4e3 e8g8 e8c8 e8f7 e8d7 e8f8 e8e7 e8d8 a8b8 a8c8 a8d8 a8a7 a8a6 a8a5 a8a4 a8a3 a8a2 a8a1 "
     "h8h7 h8h6 h8h5 h8h4 h8h3 h8h2 h8h1 h8g8 h8f8 d4d3"},
    {"RookSlidesNearestFirstThenCapture", "4k3/3p4/8/8/3R2P1/8/8/4K3 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 d4d5 d4d6 d4d7 d4e4 d4f4 d4d3 d4d2 d4d1 d4c4 d4b4 d4a4 g4g5"},
    {"QueenDiagonalsThenLines", "4k3/8/8/8/8/2p5/1Q6/K7 w - - 0 1", Gen::Moves,
     "a1a2 a1b1 b2a3 b2c3 b2c1 b2b3 b2b4 b2b5 b2b6 b2b7 b2b8 b2c2 b2d2 b2e2 b2f2 b2g2 b2h2 b2b1 b2a2"},
    {"KnightSlotBeforePawnReadEarlier", "4k3/8/8/8/8/8/P7/N3K3 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 a1b3 a1c2 a2a3 a2a4"},
    {"ThirdKnightInExtraSlotAfterPawn", "4k3/8/8/8/8/8/P7/NN2K1N1 w - - 0 1", Gen::Moves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 a1b3 a1c2 b1a3 b1c3 b1d2 a2a3 a2a4 g1f3 g1h3 g1e2"},
    {"BlockedPawnsAndCapture", "4k3/8/8/8/4p3/3p4/3PP3/4K3 w - - 0 1", Gen::Moves, "e1f2 e1f1 e1d1 e2d3 e2e3"},
    {"CornerKingBoxedIn", "4k3/8/8/8/8/8/PP6/KR6 w - - 0 1", Gen::Moves,
     "b1c1 b1d1 b1e1 b1f1 b1g1 b1h1 a2a3 a2a4 b2b3 b2b4"},

    // Evasions: king steps, captures of the checker (pawns, knights,
    // diagonal then orthogonal sliders), en passant, interpositions from the
    // checker towards the king.
    {"KnightCheckEvasions", "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1", Gen::Evasions,
     "e1d2 e1f2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3"},
    {"KnightCheckLegal", "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1", Gen::LegalEvasions,
     "e1d2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3"},
    {"RookCheckInterpositionsFromCheckerTowardsKing", "k7/8/8/7B/4r2Q/3P3R/8/2N1K3 w - - 0 1", Gen::Evasions,
     "e1d2 e1f2 e1e2 e1f1 e1d1 d3e4 h4e4 h3e3 c1e2 h5e2"},
    {"RookCheckLegal", "k7/8/8/7B/4r2Q/3P3R/8/2N1K3 w - - 0 1", Gen::LegalEvasions,
     "e1d2 e1f2 e1f1 e1d1 d3e4 h4e4 h3e3 c1e2 h5e2"},
    {"InterpositionByDoubleAdvance", "4k3/8/8/8/r6K/3P4/2P5/8 w - - 0 1", Gen::Evasions,
     "h4g5 h4g3 h4h5 h4h3 h4g4 c2c4 d3d4"},
    {"InterpositionByDoubleAdvanceLegal", "4k3/8/8/8/r6K/3P4/2P5/8 w - - 0 1", Gen::LegalEvasions,
     "h4g5 h4g3 h4h5 h4h3 c2c4 d3d4"},
    {"InterpositionByPromotion", "r6K/2P5/8/8/8/8/8/k7 w - - 0 1", Gen::Evasions,
     "h8g7 h8h7 h8g8 c7c8q c7c8n c7c8r c7c8b"},
    {"InterpositionByPromotionLegal", "r6K/2P5/8/8/8/8/8/k7 w - - 0 1", Gen::LegalEvasions,
     "h8g7 h8h7 c7c8q c7c8n c7c8r c7c8b"},
    {"PawnCheckEnPassantAfterCapturesWhite", "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", Gen::Evasions,
     "e4d5 e4f5 e4f3 e4d3 e4f4 e4e3 e4d4 c4d5 b4d5 e5d6"},
    {"PawnCheckEnPassantLegalWhite", "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", Gen::LegalEvasions,
     "e4d5 e4d3 e4e3 e4d4 c4d5 b4d5 e5d6"},
    {"PawnCheckEnPassantAfterCapturesBlack", "8/8/8/1np1k3/3Pp3/8/8/4KR2 b - d3 0 1", Gen::Evasions,
     "e5d6 e5f6 e5f4 e5d4 e5e6 e5f5 e5d5 c5d4 b5d4 e4d3"},
    {"PawnCheckEnPassantLegalBlack", "8/8/8/1np1k3/3Pp3/8/8/4KR2 b - d3 0 1", Gen::LegalEvasions,
     "e5d6 e5d4 e5e6 e5d5 c5d4 b5d4 e4d3"},
    {"DoubleCheckOnlyFirstCheckerAnswered", "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", Gen::Evasions,
     "e8f7 e8d7 e8f8 e8e7 e8d8 c7d6 b4d6"},
    {"DoubleCheckOnlyKingMovesLegal", "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", Gen::LegalEvasions, "e8d7 e8f8 e8d8"},
    {"BackRankCheckNeverCastles", "4k3/8/8/8/8/8/8/q3K2R w K - 0 1", Gen::Evasions, "e1d2 e1f2 e1e2 e1f1 e1d1"},
    {"BackRankCheckLegal", "4k3/8/8/8/8/8/8/q3K2R w K - 0 1", Gen::Legal, "e1d2 e1f2 e1e2"},
    {"KingCannotStepBackAlongCheckingFile", "k3r3/8/8/8/6p1/8/4K3/8 w - - 0 1", Gen::Evasions,
     "e2d3 e2f3 e2f1 e2d1 e2e3 e2f2 e2e1 e2d2"},
    {"KingCannotStepBackAlongCheckingFileLegal", "k3r3/8/8/8/6p1/8/4K3/8 w - - 0 1", Gen::Legal,
     "e2d3 e2f1 e2d1 e2f2 e2d2"},

    // Captures: en passant first, then the pieces by slot; queen promotion only.
    {"CapturesTwoQueenPromotions", "n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Captures, "b7a8q b7c8q"},
    {"CapturesBlackQueenPromotions", "4k3/8/8/8/8/8/1p6/N1N1K3 b - - 0 1", Gen::Captures, "b2c1q b2a1q"},
    {"CapturesNoneForPushingPawn", "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", Gen::Captures, ""},
    {"CapturesEnPassantBeforeKing", "k7/8/8/3Pp3/5K2/8/8/8 w - e6 0 1", Gen::Captures, "d5e6 f4e5"},
    {"CapturesBishopBlockedByOwnPiece", "4k3/8/5p2/8/3B4/2P5/1p6/4K3 w - - 0 1", Gen::Captures, "d4f6"},
    {"CapturesQueenEightDirections", "7k/3p4/1p3p2/8/n2Q2n1/8/1p3p2/3n3K w - - 0 1", Gen::Captures,
     "d4b6 d4f6 d4f2 d4b2 d4d7 d4g4 d4d1 d4a4"},
    {"CapturesKiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", Gen::Captures,
     "f3f6 f3h3 e2a6 e5d7 e5f7 e5g6 d5e6 g2h3"},
    {"CapturesNoneAtStart", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", Gen::Captures, ""},

    // Legal lists.
    {"Checkmate", "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", Gen::Legal, ""},
    {"Stalemate", "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", Gen::Legal, ""},
    {"PinnedRookStaysOnFile", "k3r3/8/8/8/4R3/8/8/4K3 w - - 0 1", Gen::LegalMoves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 e4e5 e4e6 e4e7 e4e8 e4e3 e4e2"},
    {"EnPassantAlongRankGenerated", "8/8/8/KPp4r/8/8/8/7k w - c6 0 1", Gen::Moves, "b5c6 a5b6 a5b4 a5a6 a5a4 b5b6"},
    {"EnPassantAlongRankRemoved", "8/8/8/KPp4r/8/8/8/7k w - c6 0 1", Gen::LegalMoves, "a5b6 a5a6 a5a4 b5b6"},
    {"CastlingIntoAttackGeneratedThenRemoved", "4k1r1/8/8/8/8/8/8/4K2R w K - 0 1", Gen::LegalMoves,
     "e1d2 e1f2 e1e2 e1f1 e1d1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 h1g1 h1f1"},
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class GenerationOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(GenerationOrder, MatchesHandWorkedList) {
  const OrderCase& c = GetParam();
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, c.fen));
  const Board before = pos;
  FixedMoveList list;
  Generate(c.generator, pos, list);
  EXPECT_EQ(ListText(list), c.expected) << c.fen;
  EXPECT_TRUE(SameBoard(before, pos)) << "the generator changed the position";
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i).score, 0) << "index " << i;
}

INSTANTIATE_TEST_SUITE_P(Lists, GenerationOrder, ::testing::ValuesIn(kOrderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- move words

TEST(MoveWords, CastlingEnPassantPromotionWords) {
  Position& pos = SharedPosition();
  struct Want {
    const char* fen;
    const char* text;
    Move word;
  };
  const Want wants[] = {
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", 0x2184},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1c1", 0x6084},
      {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8g8", 0xAFBC},
      {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8c8", 0xEEBC},
      {StartFen, "e2e4", MakeMoveWord(Sq("e2"), Sq("e4"), NormalMove, 1)},
      {StartFen, "e2e3", MakeMoveWord(Sq("e2"), Sq("e3"), NormalMove, 0)},
      {"4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1", "f5e6", MakeMoveWord(Sq("f5"), Sq("e6"), EnPassantMove, 0)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8q", MakeMoveWord(Sq("b7"), Sq("a8"), PromotionMove, 3)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8n", MakeMoveWord(Sq("b7"), Sq("a8"), PromotionMove, 0)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8r", MakeMoveWord(Sq("b7"), Sq("b8"), PromotionMove, 2)},
      {"n1n1k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7c8b", MakeMoveWord(Sq("b7"), Sq("c8"), PromotionMove, 1)},
      {"4k3/8/8/8/r6K/3P4/2P5/8 w - - 0 1", "c2c4", MakeMoveWord(Sq("c2"), Sq("c4"), NormalMove, 1)},
  };
  for (const Want& w : wants) {
    ASSERT_TRUE(Load(pos, w.fen));
    const Gen g = InCheck(pos) ? Gen::Evasions : Gen::Moves;
    bool found = false;
    for (Move m : GenerateVector(g, pos)) {
      if (MoveText(m) == w.text) {
        found = true;
        EXPECT_EQ(m, w.word) << w.text << " in " << w.fen;
      }
    }
    EXPECT_TRUE(found) << w.text << " not generated in " << w.fen;
  }
}

// ---------------------------------------------------------------- castling

struct CastlingCase {
  const char* name;
  const char* fen;  // White to move; the mirrored position checks Black
  bool shortGenerated, longGenerated;
  bool shortLegal, longLegal;
};

const CastlingCase kCastlingCases[] = {
    {"BothFree", "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, true, true, true},
    {"F1Attacked", "4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", false, true, false, true},
    {"D1Attacked", "3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, false, true, false},
    {"B1AttackedDoesNotMatter", "1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, true, true, true},
    {"G1AttackedGeneratedNotLegal", "4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, true, false, true},
    {"C1AttackedGeneratedNotLegal", "2r1k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, true, true, false},
    {"B1Occupied", "4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1", true, false, true, false},
    {"G1Occupied", "4k3/8/8/8/8/8/8/R3K1NR w KQ - 0 1", false, true, false, true},
    {"NoRights", "4k3/8/8/8/8/8/8/R3K2R w - - 0 1", false, false, false, false},
    {"OnlyQueenSideRight", "4k3/8/8/8/8/8/8/R3K2R w Q - 0 1", false, true, false, true},
    {"AttackedByPawnOnF1", "4k3/8/8/8/8/8/6p1/R3K2R w KQ - 0 1", false, true, false, true},
    {"AttackedByKnightOnD1", "4k3/8/8/8/8/2n5/8/R3K2R w KQ - 0 1", true, false, true, false},
};

void PrintTo(const CastlingCase& c, std::ostream* os) { *os << c.name; }

class Castling : public ::testing::TestWithParam<CastlingCase> {};

TEST_P(Castling, GeneratedAndLegalPerSide) {
  const CastlingCase& c = GetParam();
  Position& pos = SharedPosition();
  for (bool mirrored : {false, true}) {
    const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
    ASSERT_TRUE(Load(pos, fen));
    const Move shortCastle = mirrored ? CastleBlackShort : CastleWhiteShort;
    const Move longCastle = mirrored ? CastleBlackLong : CastleWhiteLong;
    const std::vector<Move> pseudo = GenerateVector(Gen::Moves, pos);
    const std::vector<Move> legal = GenerateVector(Gen::Legal, pos);
    auto has = [](const std::vector<Move>& v, Move m) { return std::find(v.begin(), v.end(), m) != v.end(); };
    EXPECT_EQ(has(pseudo, shortCastle), c.shortGenerated) << fen;
    EXPECT_EQ(has(pseudo, longCastle), c.longGenerated) << fen;
    EXPECT_EQ(has(legal, shortCastle), c.shortLegal) << fen;
    EXPECT_EQ(has(legal, longCastle), c.longLegal) << fen;
    // Castling comes before every piece move, king side first.
    int expectedIndex = 0;
    if (c.shortGenerated) {
      EXPECT_EQ(pseudo[size_t(expectedIndex++)], shortCastle) << fen;
    }
    if (c.longGenerated) {
      EXPECT_EQ(pseudo[size_t(expectedIndex++)], longCastle) << fen;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, Castling, ::testing::ValuesIn(kCastlingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Castling, NeverAnEvasion) {
  Position& pos = SharedPosition();
  // Checked by a knight and by a pawn: the passing squares are free, the
  // rights exist, but a side in check cannot castle.
  for (const char* fen : {"4k3/8/8/8/8/3n4/8/R3K2R w KQ - 0 1", "4k3/8/8/8/8/8/3p4/R3K2R w KQ - 0 1"}) {
    for (bool mirrored : {false, true}) {
      const std::string f = mirrored ? MirrorFen(fen) : fen;
      ASSERT_TRUE(Load(pos, f));
      ASSERT_TRUE(InCheck(pos)) << f;
      int castlings = 0;
      for (Move m : GenerateVector(Gen::Moves, pos)) castlings += MoveKindOf(m) == CastlingMove;
      EXPECT_EQ(castlings, 2) << "the full generator would castle here: " << f;
      for (Gen g : {Gen::Evasions, Gen::Legal}) {
        for (Move m : GenerateVector(g, pos)) EXPECT_NE(MoveKindOf(m), CastlingMove) << f << " " << MoveText(m);
      }
    }
  }
}

// ---------------------------------------------------------------- legal lists

TEST(LegalLists, EnPassantAlongRankIsNotAPin) {
  Position& pos = SharedPosition();
  for (bool mirrored : {false, true}) {
    const std::string fen = mirrored ? MirrorFen("8/8/8/KPp4r/8/8/8/7k w - c6 0 1") : "8/8/8/KPp4r/8/8/8/7k w - c6 0 1";
    ASSERT_TRUE(Load(pos, fen));
    const uint64_t pins = mirrored ? PinnedPieces<Black>(pos) : PinnedPieces<White>(pos);
    EXPECT_EQ(pins, 0u) << fen;
    const std::vector<Move> legal = GenerateVector(Gen::Legal, pos);
    EXPECT_EQ(legal.size(), 4u) << fen;
    for (Move m : legal) EXPECT_NE(MoveKindOf(m), EnPassantMove) << fen;
  }
}

TEST(LegalLists, SameListEveryTimeAndOrderKept) {
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"));
  const std::vector<Move> first = GenerateVector(Gen::Legal, pos);
  const std::vector<Move> second = GenerateVector(Gen::Legal, pos);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.size(), 48u);
  EXPECT_TRUE(IsOrderedSubsequence(first, GenerateVector(Gen::Moves, pos)));
}

TEST(LegalLists, AppendBehindExistingEntries) {
  // The builders append and filter only their own part of the list.
  Position& pos = SharedPosition();
  ASSERT_TRUE(Load(pos, "8/8/8/KPp4r/8/8/8/7k w - c6 0 1"));
  FixedMoveList list;
  AppendMove(list, 0x1234);
  GenerateLegalMoves<White>(pos, list);
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list.At(0).move, 0x1234);
  EXPECT_EQ(ListText(list, 1), "a5b6 a5a6 a5a4 b5b6");
  ASSERT_TRUE(Load(pos, "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1"));
  list.Clear();
  AppendMove(list, 0x0042);
  GenerateLegalEvasions<White>(pos, list);
  EXPECT_EQ(list.At(0).move, 0x0042);
  EXPECT_EQ(ListText(list, 1), "e1d2 e1f1 e1d1 e2d3 c2d3 b4d3 f5d3 a3d3 d8d3");
}

// ---------------------------------------------------------------- GivesCheck

struct CheckCase {
  const char* name;
  const char* fen;
  const char* move;
  bool gives;
};

const CheckCase kCheckCases[] = {
    {"QueenPromotionThroughVacatedSquare", "8/4P3/8/8/8/8/8/K3k3 w - - 0 1", "e7e8q", true},
    {"KnightPromotionFarKing", "8/4P3/8/8/8/8/8/K3k3 w - - 0 1", "e7e8n", false},
    {"KnightPromotionKingD6", "8/4P3/3k4/8/8/8/8/K7 w - - 0 1", "e7e8n", true},
    {"KnightPromotionKingF6", "8/4P3/5k2/8/8/8/8/K7 w - - 0 1", "e7e8n", true},
    {"KnightPromotionKingE6", "8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8n", false},
    {"QueenPromotionKingE6", "8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8q", true},
    {"RookPromotionKingE6", "8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8r", true},
    {"BishopPromotionKingE6", "8/4P3/4k3/8/8/8/8/K7 w - - 0 1", "e7e8b", false},
    {"BishopPromotionCaptureThroughVacatedSquare", "3r4/4P3/8/8/7k/8/8/K7 w - - 0 1", "e7d8b", true},
    {"PromotionAdvanceDiscoversRook", "8/RP5k/8/8/8/8/8/K7 w - - 0 1", "b7b8n", true},
    {"PromotionCaptureDiscoversRook", "nk6/1P6/8/8/8/8/8/1R5K w - - 0 1", "b7a8n", true},
    {"PawnAdvanceUncoversBishop", "8/5k2/8/8/n7/1P6/B7/K7 w - - 0 1", "b3b4", true},
    {"PawnCaptureLeavesDiagonal", "8/5k2/8/8/n7/1P6/B7/K7 w - - 0 1", "b3a4", true},
    {"PawnCaptureStaysOnDiagonal", "8/5k2/8/8/2n5/1P6/B7/K7 w - - 0 1", "b3c4", false},
    {"PawnAdvanceAlongOwnRookFile", "4k3/8/8/8/8/4P3/8/K3R3 w - - 0 1", "e3e4", false},
    {"PawnDirectCheck", "8/8/3k4/8/4P3/8/8/K7 w - - 0 1", "e4e5", true},
    {"EnPassantOpensRank", "8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1", "d5e6", true},
    {"EnPassantDirectCheck", "8/8/5k2/3Pp3/8/8/8/K7 w - e6 0 1", "d5e6", false},
    {"EnPassantDirectCheckFromE6", "8/3k4/8/3Pp3/8/8/8/K7 w - e6 0 1", "d5e6", true},
    {"CastlingShortRookOnFFile", "8/8/8/5k2/8/8/8/4K2R w K - 0 1", "e1g1", true},
    {"CastlingShortBlockedFFile", "8/8/8/5k2/8/5N2/8/4K2R w K - 0 1", "e1g1", false},
    {"CastlingLongAlongFirstRank", "8/8/8/8/8/8/8/R3K2k w Q - 0 1", "e1c1", true},
    {"CastlingLongRookOnDFile", "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "e1c1", true},
    {"CastlingLongKingElsewhere", "8/8/8/8/8/2k5/8/R3K3 w Q - 0 1", "e1c1", false},
    {"KingStepUncoversRook", "8/8/8/8/R2K3k/8/8/8 w - - 0 1", "d4d5", true},
    {"KingStepAlongRookLine", "8/8/8/8/R2K3k/8/8/8 w - - 0 1", "d4e4", false},
    {"KingStepUncoversBishop", "7k/8/8/8/3K4/8/1B6/8 w - - 0 1", "d4d5", true},
    {"KnightDiscoversAndChecks", "4k3/8/8/8/4N3/8/8/K3R3 w - - 0 1", "e4d6", true},
    {"KnightDiscoversOnly", "4k3/8/8/8/4N3/8/8/K3R3 w - - 0 1", "e4c3", true},
    {"KnightQuiet", "4k3/8/8/8/8/4N3/8/K7 w - - 0 1", "e3c2", false},
    {"RookDirectCheck", "k7/8/8/8/8/8/8/2R4K w - - 0 1", "c1c8", true},
    {"RookLineBlockedByOwnPiece", "k7/8/8/N7/8/8/7K/7R w - - 0 1", "h1a1", false},
    {"BishopDirectCheck", "8/8/8/8/3k4/8/8/K1B5 w - - 0 1", "c1b2", true},
    {"QueenDiagonalAdjacent", "4k3/8/8/8/8/8/8/K2Q4 w - - 0 1", "d1d7", true},
    {"QueenQuiet", "4k3/8/8/8/8/8/8/K2Q4 w - - 0 1", "d1c2", false},
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class GivesCheckCase : public ::testing::TestWithParam<CheckCase> {};

TEST_P(GivesCheckCase, AnswerAndBoardUnchanged) {
  const CheckCase& c = GetParam();
  Position& pos = SharedPosition();
  for (bool mirrored : {false, true}) {
    const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
    std::string text = c.move;
    if (mirrored) {
      text[1] = char('1' + ('8' - text[1]));
      text[3] = char('1' + ('8' - text[3]));
    }
    ASSERT_TRUE(Load(pos, fen));
    bool found = false;
    for (Move m : GenerateVector(InCheck(pos) ? Gen::Evasions : Gen::Moves, pos)) {
      if (MoveText(m) != text) continue;
      found = true;
      const Board before = pos;
      EXPECT_EQ(GivesCheckAny(pos, m), c.gives) << fen << " " << text;
      EXPECT_TRUE(SameBoard(before, pos)) << fen << " " << text;
      EXPECT_EQ(AttacksEnemyKingAfter(pos, m), c.gives) << "the case itself is wrong: " << fen << " " << text;
    }
    EXPECT_TRUE(found) << text << " not generated in " << fen;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GivesCheckCase, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- cross-checks

struct TreeCase {
  const char* fen;
  int depth;
};

// Shallow trees of the published positions and of positions rich in pins,
// checks, en passant, castling and promotions; the deep suite walks the
// published ones to depths three and four.
const TreeCase kTreeCases[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 3},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 3},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 2},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 2},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 2},
    {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", 3},
    {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 3},
    {"r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1", 3},
    {"r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1", 3},
    {"4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1", 3},
    {"4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1", 3},
    {"8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1", 3},
    {"7k/8/5b2/8/2pP4/8/8/K7 b - d3 0 1", 3},
    {"r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", 3},
};

TEST(CrossCheck, GeneratorsAgainstMakeAndTest) {
  Position& pos = SharedPosition();
  for (const TreeCase& c : kTreeCases) {
    for (bool mirrored : {false, true}) {
      const std::string fen = mirrored ? MirrorFen(c.fen) : c.fen;
      ASSERT_TRUE(Load(pos, fen));
      TreeChecker checker;
      checker.Node(pos, c.depth);
      EXPECT_TRUE(checker.problems.Result()) << fen;
      EXPECT_GT(checker.movesChecked, 0u);
    }
  }
}

TEST(CrossCheck, MirrorFenIsAnInvolution) {
  for (const TreeCase& c : kTreeCases) EXPECT_EQ(MirrorFen(MirrorFen(c.fen)), c.fen);
  EXPECT_EQ(MirrorFen("4k3/8/8/3pP3/8/8/8/4K3 w Kq d6 0 1"), "4k3/8/8/8/3Pp3/8/8/4K3 b Qk d3 0 1");
}

}  // namespace
