// The FEN reader and writer, the initial-position test, and the stricter
// set-up applied by "setboard".
#include <gtest/gtest.h>

#include <string>

#include "position/attacks.h"
#include "position/fen.h"
#include "test_util.h"

namespace quarn {
namespace {

using test::BoardFromFen;
using test::BoardsEqual;
using test::Sq;

const std::string Kings = "4k3/8/8/8/8/8/8/4K3";
const std::string Rooks = "r3k2r/8/8/8/8/8/8/R3K2R";

TEST(FenReader, InitialPositionNeedsSideRightsAndNoEnPassantSquare) {
  const Board b = BoardFromFen(StartFen);
  EXPECT_EQ(b.pieceLists[White].total + b.pieceLists[Black].total, 32);
  EXPECT_EQ(b.castlingRights, 15);
  EXPECT_TRUE(BoardIsConsistent(b));
  EXPECT_TRUE(IsPieceAt(b, Sq("a8"), Black, Rook) && IsPieceAt(b, Sq("d1"), White, Queen));
  const std::string board = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR ";
  struct Case {
    std::string fen;
    bool initial;
  };
  const Case cases[] = {
      {StartFen, true},
      {board + "w KQkq e6 0 1", true},   // no pawn can use e6, so it is dropped
      {board + "w KQkq - 17 42", true},  // the counters are not part of it
      {board + "b KQkq - 0 1", false},
      {board + "w KQk - 0 1", false},
      {board + "w KQkq e3 0 1", false},  // kept: a white pawn on d2 could take there
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsInitialPosition(BoardFromFen(c.fen)), c.initial) << c.fen;
}

// The en-passant square stands only when a pawn of the side to move stands
// diagonally behind it; otherwise it is read as "-" without an error.
TEST(FenReader, EnPassantSquareNeedsAPawnThatCanTake) {
  struct Case {
    const char* fen;
    const char* kept;  // "-": dropped
  };
  const Case cases[] = {
      {"4k3/8/8/3P4/8/8/8/4K3 w - e6 0 1", "e6"},  // d5 is 17 below e6
      {"4k3/8/8/5P2/8/8/8/4K3 w - e6 0 1", "e6"},  // f5 is 15 below
      {"4k3/8/8/4P3/8/8/8/4K3 w - e6 0 1", "-"},
      {"4k3/8/8/3p4/8/8/8/4K3 w - e6 0 1", "-"},  // a pawn of the wrong colour
      {"4k3/8/8/3P4/8/8/8/4K3 b - e6 0 1", "-"},  // right pawn, wrong side to move
      {"4k3/8/8/8/3p4/8/8/4K3 b - e3 0 1", "e3"},
      {"4k3/8/8/8/5p2/8/8/4K3 b - e3 0 1", "e3"},
      {"4k3/8/8/8/3P4/8/8/4K3 b - e3 0 1", "-"},
      {"4k3/8/8/1P6/8/8/8/4K3 w - a6 0 1", "a6"},  // edge files: one capture step on the board
      {"4k3/8/8/6P1/8/8/8/4K3 w - h6 0 1", "h6"},
      {"4k3/8/8/8/8/8/3P4/4K3 w - e3 0 1", "e3"},  // the rank is not examined
  };
  for (const Case& c : cases) EXPECT_EQ(test::SquareName(BoardFromFen(c.fen).epSquare), c.kept) << c.fen;
}

TEST(FenReader, AcceptsOrRejectsByTheRulesOfEachField) {
  const std::string accepted[] = {Rooks + " w KQkq - 0 1", Rooks + " w Kq - 0 1", Rooks + " w Qk - 0 1",
                                  Rooks + " w  - 0 1",  // an empty castling field
                                  "4k3/8/8/8/44/8/8/4K3 w - - 0 1", "4k3/8/8/8/1111p111/8/8/4K3 w - - 0 1",
                                  "8/8/8/8/8/8/8/8 w - - 0 1",  // no kings: the reader does not mind
                                  Kings + " w - - 12 345",
                                  // The end of the text at a step boundary accepts what was read.
                                  "", "rnbqkbnr/pppp", Kings + " ", Kings + " w ", Kings + " w KQ", Kings + " w - ",
                                  Kings + " w - - ", Kings + " w - - 0 "};
  const std::string rejected[] = {
      // Castling letters: K, Q, k, q in this order, each at most once.
      Rooks + " w QK - 0 1", Rooks + " w KK - 0 1", Rooks + " w kQ - 0 1", Rooks + " w qk - 0 1", Rooks + " w Kx - 0 1",
      Rooks + " w -K - 0 1",
      // Piece limits: a ninth pawn, a second king.
      "rnbqkbnr/pppppppp/8/8/8/P7/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "rnbqkbnr/pppppppp/8/8/8/k7/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "4k3/8/8/8/8/8/8/4K2K w - - 0 1",
      // Rank lengths and board characters.
      "4k3/8/8/8/8/8/ppppppppp/4K3 w - - 0 1", "4k3/8/8/8/8/8/8p/4K3 w - - 0 1", "4k3/8/8/8/8/8/7pn",
      "4k3/8/8/8/54/8/8/4K3 w - - 0 1", "4k3/8/8/8/7/8/8/4K3 w - - 0 1", Kings + "/8 w - - 0 1", Kings + "/ w - - 0 1",
      "4k3/8/8/8/8/8/8/4K2 w - - 0 1", Kings + "w - - 0 1", "4k3/9/8/8/8/8/8/4K3 w - - 0 1",
      "4k3/0/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/3x4/8/8/4K3 w - - 0 1",
      // Side, en passant, counters, and what follows them.
      Kings + " x - - 0 1", Kings + " W - - 0 1", Kings + " wb - - 0 1", Kings + " w - e9 0 1", Kings + " w - i3 0 1",
      Kings + " w - e3e 0 1", Kings + " w - -- 0 1", Kings + " w - - x 1", Kings + " w - - 0 1x", Kings + " w - - 0 1 ",
      Kings + " w - - 0 1\n",
      // Texts of five, four or fewer fields.
      Kings + " w - - 0", Kings + " w - -", Kings + " w - e3", Kings + " w -", Kings + " w", Kings};
  Board b;
  for (const std::string& fen : accepted) EXPECT_TRUE(SetFromFen(b, fen.c_str())) << '"' << fen << '"';
  for (const std::string& fen : rejected) EXPECT_FALSE(SetFromFen(b, fen.c_str())) << '"' << fen << '"';
}

// Unread fields keep their reset values; a rejected text leaves what had
// been read (nothing is rolled back); every read starts from an empty board.
TEST(FenReader, TruncatedOrRejectedTextKeepsWhatWasRead) {
  Board b;
  ASSERT_TRUE(SetFromFen(b, (Kings + " ").c_str()));
  EXPECT_EQ(b.sideToMove, 2);
  EXPECT_EQ(PositionToFen(b), Kings + " b - - 0 1");  // any side but 0 prints as "b"
  ASSERT_TRUE(SetFromFen(b, (Rooks + " b Kq").c_str()));
  EXPECT_EQ(b.castlingRights, 9);
  EXPECT_EQ(b.epSquare, NoSquare);
  ASSERT_TRUE(SetFromFen(b, "rnbqkbnr/pp"));
  EXPECT_EQ(b.pieceLists[Black].total, 10);
  EXPECT_EQ(b.pieceLists[White].total, 0);
  ASSERT_FALSE(SetFromFen(b, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1"));
  EXPECT_EQ(b.pieceLists[White].total, 16);
  EXPECT_EQ(b.sideToMove, 2);
  EXPECT_TRUE(BoardIsConsistent(b));
  ASSERT_TRUE(SetFromFen(b, (Kings + " w - - 0 1").c_str()));
  EXPECT_EQ(b.pieceLists[White].total, 1);
  EXPECT_EQ(b.materialSum[White], 0u);
  EXPECT_EQ(b.colorAt[Sq("a1")], NoColor);
}

TEST(FenWriter, RoundTripsThroughTheReader) {
  for (const char* fen :
       {StartFen, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", "8/8/8/8/8/8/8/8 w - - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 1",
        "rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b Kq d3 0 1", "r6r/1b2k1bq/8/8/7B/8/8/R3K2R b Q - 0 1"}) {
    const Board b = BoardFromFen(fen);
    EXPECT_EQ(PositionToFen(b), fen);
    EXPECT_TRUE(BoardIsConsistent(b)) << fen;
    EXPECT_TRUE(BoardsEqual(b, BoardFromFen(PositionToFen(b)))) << fen;
  }
  // Counters are not kept; a dropped en-passant square prints as "-".
  EXPECT_EQ(PositionToFen(BoardFromFen(Kings + " b - e3 33 77")), Kings + " b - - 0 1");
}

// The set-up used by "setboard": the reader, then the checks that make the
// position playable. A rejected text leaves the board as it was.
TEST(PlayableFen, RejectsPositionsTheEngineCannotPlayFrom) {
  const std::string rejected[] = {
      "8/8/8/8/8/8/8/4K3 w - - 0 1",      // no black king
      "4k3/8/8/8/8/8/8/8 b - - 0 1",      // no white king
      "4k3/8/8/8/8/8/8/4K2K w - - 0 1",   // two white kings (the reader refuses)
      "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",   // white pawn on the first rank
      "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",   // white pawn on the last rank
      "4k3/8/8/8/8/8/8/4K2p b - - 0 1",   // black pawn on the first rank
      "3pk3/8/8/8/8/8/8/4K3 b - - 0 1",   // black pawn on the eighth rank
      Kings + " ",                        // side to move never read
      "4k3/8/8/8/8/8/8/4RK2 w - - 0 1",   // Black, not to move, is in check
      "4k3/8/8/8/8/8/3p4/4K3 b - - 0 1",  // White, not to move, is in check by a pawn
      Kings + " w - - 0 1\n",
      Kings + " w KK - 0 1",
  };
  for (const std::string& fen : rejected) {
    auto pos = ConstructPosition<Position>();
    ASSERT_TRUE(SetFromFen(*pos, "r3k3/1P6/8/3pP3/8/8/8/4K3 w q d6 0 1"));
    const Board before = *pos;
    EXPECT_FALSE(SetupPlayableFen(*pos, fen.c_str())) << fen;
    EXPECT_TRUE(BoardsEqual(*pos, before)) << fen;
  }
}

TEST(PlayableFen, DropsRightsAndEnPassantSquaresThatCannotBeReal) {
  struct Case {
    const char* fen;
    const char* result;
  };
  const Case cases[] = {
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"},
      {"r3k3/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "r3k3/8/8/8/8/8/8/R3K2R w KQq - 0 1"},
      {"4k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "4k2r/8/8/8/8/8/8/R3K2R w KQk - 0 1"},
      {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R4K1R w kq - 0 1"},
      {"r2k3r/8/8/8/8/8/8/1R2K2R b KQkq - 0 1", "r2k3r/8/8/8/8/8/8/1R2K2R b K - 0 1"},
      {"r3k2r/8/8/8/8/8/8/R3K2r w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R3K2r w Qkq - 0 1"},  // enemy rook on h1
      {"r3k2r/8/8/8/8/8/8/R3K2N w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R3K2N w Qkq - 0 1"},
      // En passant: kept when the enemy pawn that just advanced stands in front.
      {"4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1", "4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1"},
      {"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1"},
      {"4k3/8/8/3P4/8/8/8/4K3 w - e6 0 1", "4k3/8/8/3P4/8/8/8/4K3 w - - 0 1"},        // no pawn on e5
      {"4k3/8/4n3/3Pp3/8/8/8/4K3 w - e6 0 1", "4k3/8/4n3/3Pp3/8/8/8/4K3 w - - 0 1"},  // e6 occupied
      {"4k3/8/8/8/4p3/8/3P4/4K3 w - e3 0 1", "4k3/8/8/8/4p3/8/3P4/4K3 w - - 0 1"},    // wrong rank
      {"4k3/8/8/8/3pp3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3pp3/8/8/4K3 b - - 0 1"},      // own pawn on e4
      {"4k3/8/8/8/3pP3/4N3/8/4K3 b - e3 0 1", "4k3/8/8/8/3pP3/4N3/8/4K3 b - - 0 1"},  // e3 occupied
  };
  for (const Case& c : cases) {
    auto pos = ConstructPosition<Position>();
    ASSERT_TRUE(SetupPlayableFen(*pos, c.fen)) << c.fen;
    EXPECT_EQ(PositionToFen(*pos), c.result);
    EXPECT_TRUE(BoardIsConsistent(*pos)) << c.fen;
  }
  // The side to move may be in check; a successful set-up replaces the board completely.
  auto pos = ConstructPosition<Position>();
  ASSERT_TRUE(SetupPlayableFen(*pos, "4k3/8/8/8/8/8/8/4RK2 b - - 0 1"));
  EXPECT_TRUE(SideToMoveInCheck(*pos));
  ASSERT_TRUE(SetupPlayableFen(*pos, StartFen));
  EXPECT_TRUE(BoardsEqual(*pos, BoardFromFen(StartFen)));
}

}  // namespace
}  // namespace quarn
