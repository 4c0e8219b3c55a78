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

const char* const Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

TEST(FenReader, StartFenGivesTheInitialPosition) {
  Board b;
  ASSERT_TRUE(SetFromFen(b, StartFen));
  EXPECT_EQ(b.pieceLists[White].total, 16);
  EXPECT_EQ(b.pieceLists[Black].total, 16);
  EXPECT_EQ(b.sideToMove, White);
  EXPECT_EQ(b.castlingRights, 15);
  EXPECT_EQ(b.epSquare, NoSquare);
  EXPECT_TRUE(IsInitialPosition(b));
  EXPECT_TRUE(BoardIsConsistent(b));
  EXPECT_TRUE(IsPieceAt(b, Sq("a8"), Black, Rook));
  EXPECT_TRUE(IsPieceAt(b, Sq("d1"), White, Queen));
  EXPECT_TRUE(IsPieceAt(b, Sq("h7"), Black, Pawn));
}

TEST(FenReader, IsInitialPositionNeedsSideRightsAndNoEnPassantSquare) {
  const char* const notInitial[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQk - 0 1",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",
      // The reader keeps e3: a white pawn on d2 could take there.
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e3 0 1",
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1",
  };
  for (const char* fen : notInitial) EXPECT_FALSE(IsInitialPosition(BoardFromFen(fen))) << fen;
  // No pawn can use e6, so it is dropped and the position is the initial one;
  // the move counters are not part of it.
  EXPECT_TRUE(IsInitialPosition(BoardFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e6 0 1")));
  EXPECT_TRUE(IsInitialPosition(BoardFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 17 42")));
}

// The en-passant square stands only when a pawn of the side to move stands
// diagonally behind it; otherwise it is read as "-" without an error.
TEST(FenReader, EnPassantSquareNeedsAPawnThatCanTake) {
  struct Case {
    const char* fen;
    const char* kept;  // nullptr: dropped
  };
  const Case cases[] = {
      {"4k3/8/8/3P4/8/8/8/4K3 w - e6 0 1", "e6"},  // d5 is 17 below e6
      {"4k3/8/8/5P2/8/8/8/4K3 w - e6 0 1", "e6"},  // f5 is 15 below
      {"4k3/8/8/4P3/8/8/8/4K3 w - e6 0 1", nullptr},
      {"4k3/8/8/3p4/8/8/8/4K3 w - e6 0 1", nullptr},  // a pawn of the wrong colour
      {"4k3/8/8/3P4/8/8/8/4K3 b - e6 0 1", nullptr},  // right pawn, wrong side to move
      {"4k3/8/8/8/3p4/8/8/4K3 b - e3 0 1", "e3"},
      {"4k3/8/8/8/5p2/8/8/4K3 b - e3 0 1", "e3"},
      {"4k3/8/8/8/3P4/8/8/4K3 b - e3 0 1", nullptr},
      {"4k3/8/8/8/8/8/8/4K3 w - a6 0 1", nullptr},
      {"4k3/8/8/1P6/8/8/8/4K3 w - a6 0 1", "a6"},  // edge file: only one capture step is on the board
      {"4k3/8/8/6P1/8/8/8/4K3 w - h6 0 1", "h6"},
      {"4k3/8/8/8/8/8/3P4/4K3 w - e3 0 1", "e3"},  // the rank is not examined
  };
  for (const Case& c : cases) {
    const Board b = BoardFromFen(c.fen);
    EXPECT_EQ(b.epSquare, c.kept ? Sq(c.kept) : NoSquare) << c.fen;
  }
}

TEST(FenReader, AcceptsOrRejectsByTheRulesOfEachField) {
  struct Case {
    const char* fen;
    bool accepted;
  };
  const Case cases[] = {
      // Castling letters: K, Q, k, q in this order, each at most once.
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", true},
      {"r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1", true},
      {"r3k2r/8/8/8/8/8/8/R3K2R w Qk - 0 1", true},
      {"r3k2r/8/8/8/8/8/8/R3K2R w QK - 0 1", false},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KK - 0 1", false},
      {"r3k2r/8/8/8/8/8/8/R3K2R w kQ - 0 1", false},
      {"r3k2r/8/8/8/8/8/8/R3K2R w qk - 0 1", false},
      {"r3k2r/8/8/8/8/8/8/R3K2R w Kx - 0 1", false},
      {"r3k2r/8/8/8/8/8/8/R3K2R w -K - 0 1", false},
      {"r3k2r/8/8/8/8/8/8/R3K2R w  - 0 1", true},  // an empty castling field
      // Piece counts and rank lengths.
      {"rnbqkbnr/pppppppp/8/8/8/P7/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false},  // ninth white pawn
      {"rnbqkbnr/pppppppp/8/8/8/k7/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false},  // second black king
      {"4k3/8/8/8/8/8/8/4K2K w - - 0 1", false},
      {"4k3/8/8/8/8/8/ppppppppp/4K3 w - - 0 1", false},  // nine files
      {"4k3/8/8/8/8/8/8p/4K3 w - - 0 1", false},
      {"4k3/8/8/8/8/8/7pn", false},  // a ninth file even where the text ends
      {"4k3/8/8/8/54/8/8/4K3 w - - 0 1", false},
      {"4k3/8/8/8/44/8/8/4K3 w - - 0 1", true},  // two 4s are eight squares
      {"4k3/8/8/8/1111p111/8/8/4K3 w - - 0 1", true},
      {"4k3/8/8/8/7/8/8/4K3 w - - 0 1", false},    // "/" after seven files
      {"4k3/8/8/8/8/8/8/4K3/8 w - - 0 1", false},  // a ninth rank
      {"4k3/8/8/8/8/8/8/4K3/ w - - 0 1", false},
      {"4k3/8/8/8/8/8/8/4K2 w - - 0 1", false},  // first rank too short
      {"4k3/8/8/8/8/8/8/4K3w - - 0 1", false},   // no space after the board
      {"4k3/9/8/8/8/8/8/4K3 w - - 0 1", false},
      {"4k3/0/8/8/8/8/8/4K3 w - - 0 1", false},
      {"4k3/8/8/8/3x4/8/8/4K3 w - - 0 1", false},
      {"8/8/8/8/8/8/8/8 w - - 0 1", true},  // no kings: the reader does not mind
      // Side, en passant and counters.
      {"4k3/8/8/8/8/8/8/4K3 x - - 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 W - - 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 wb - - 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 w - e9 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 w - i3 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 w - e3e 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 w - -- 0 1", false},
      {"4k3/8/8/8/8/8/8/4K3 w - - 12 345", true},
      {"4k3/8/8/8/8/8/8/4K3 w - - x 1", false},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 1x", false},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 1 ", false},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 1\n", false},  // a trailing newline
      {"4k3/8/8/8/8/8/8/4K3 w - - 0", false},      // five fields
      {"4k3/8/8/8/8/8/8/4K3 w - -", false},        // four fields
      {"4k3/8/8/8/8/8/8/4K3 w - e3", false},
      {"4k3/8/8/8/8/8/8/4K3 w -", false},
      {"4k3/8/8/8/8/8/8/4K3 w", false},
      {"4k3/8/8/8/8/8/8/4K3", false},
      // The end of the text at a step boundary accepts what was read.
      {"", true},
      {"rnbqkbnr/pppp", true},
      {"4k3/8/8/8/8/8/8/4K3 ", true},
      {"4k3/8/8/8/8/8/8/4K3 w ", true},
      {"4k3/8/8/8/8/8/8/4K3 w KQ", true},
      {"4k3/8/8/8/8/8/8/4K3 w - ", true},
      {"4k3/8/8/8/8/8/8/4K3 w - - ", true},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 ", true},
  };
  for (const Case& c : cases) {
    Board b;
    EXPECT_EQ(SetFromFen(b, c.fen), c.accepted) << '"' << c.fen << '"';
  }
}

TEST(FenReader, TruncatedTextKeepsTheResetValuesOfTheUnreadFields) {
  Board b;
  ASSERT_TRUE(SetFromFen(b, "4k3/8/8/8/8/8/8/4K3 "));
  EXPECT_EQ(b.sideToMove, 2);
  EXPECT_EQ(b.pieceLists[White].total, 1);
  EXPECT_EQ(PositionToFen(b), "4k3/8/8/8/8/8/8/4K3 b - - 0 1");  // any side but 0 prints as "b"

  ASSERT_TRUE(SetFromFen(b, "r3k2r/8/8/8/8/8/8/R3K2R b Kq"));
  EXPECT_EQ(b.sideToMove, Black);
  EXPECT_EQ(b.castlingRights, 9);
  EXPECT_EQ(b.epSquare, NoSquare);

  ASSERT_TRUE(SetFromFen(b, "rnbqkbnr/pp"));
  EXPECT_EQ(b.pieceLists[Black].total, 10);
  EXPECT_EQ(b.pieceLists[White].total, 0);
}

// A rejected text leaves what had been read; nothing is rolled back.
TEST(FenReader, RejectionLeavesThePartlyReadBoard) {
  Board b;
  ASSERT_FALSE(SetFromFen(b, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1"));
  EXPECT_EQ(b.pieceLists[White].total, 16);
  EXPECT_EQ(b.sideToMove, 2);
  EXPECT_TRUE(BoardIsConsistent(b));
  // A second read starts from an empty board.
  ASSERT_TRUE(SetFromFen(b, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"));
  EXPECT_EQ(b.pieceLists[White].total, 1);
  EXPECT_EQ(b.pieceLists[Black].total, 1);
  EXPECT_EQ(b.materialSum[White], 0u);
  EXPECT_EQ(b.colorAt[Sq("a1")], NoColor);
}

TEST(FenReader, DoesNotTouchTheMoveStackOrPly) {
  auto pos = ConstructPosition<Position>();
  pos->OpenNextPly();
  pos->CurrentList().Append(ScoredMove{Move(321), 9});
  ASSERT_TRUE(SetFromFen(*pos, Kiwipete));
  EXPECT_EQ(pos->ply, 1);
  EXPECT_EQ(pos->CurrentList().Count(), 1);
  EXPECT_EQ(pos->CurrentList().At(0).move, 321);
}

TEST(FenWriter, RoundTripsThroughTheReader) {
  const char* const fens[] = {
      StartFen,
      Kiwipete,
      "8/8/8/8/8/8/8/8 w - - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 1",
      "rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b Kq d3 0 1",
      "1k6/8/8/8/8/8/8/6K1 b - - 0 1",
      "r6r/1b2k1bq/8/8/7B/8/8/R3K2R b Q - 0 1",
  };
  for (const char* fen : fens) {
    const Board b = BoardFromFen(fen);
    EXPECT_EQ(PositionToFen(b), fen);
    EXPECT_TRUE(BoardIsConsistent(b)) << fen;
    // Reading the written text again gives the same board, bit for bit.
    const Board again = BoardFromFen(PositionToFen(b));
    EXPECT_TRUE(BoardsEqual(b, again)) << fen;
  }
  // Counters are not kept; a dropped en-passant square prints as "-".
  EXPECT_EQ(PositionToFen(BoardFromFen("4k3/8/8/8/8/8/8/4K3 b - e3 33 77")), "4k3/8/8/8/8/8/8/4K3 b - - 0 1");
}

// The set-up used by "setboard": the reader, then the checks that make the
// position playable. A rejected text leaves the board as it was.
TEST(PlayableFen, RejectsPositionsTheEngineCannotPlayFrom) {
  const char* const rejected[] = {
      "8/8/8/8/8/8/8/4K3 w - - 0 1",      // no black king
      "4k3/8/8/8/8/8/8/8 b - - 0 1",      // no white king
      "8/8/8/8/8/8/8/8 w - - 0 1",        // no kings
      "4k3/8/8/8/8/8/8/4K2K w - - 0 1",   // two white kings (the reader refuses)
      "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",   // white pawn on the first rank
      "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",   // white pawn on the last rank
      "4k3/8/8/8/8/8/8/4K2p b - - 0 1",   // black pawn on the first rank
      "3pk3/8/8/8/8/8/8/4K3 b - - 0 1",   // black pawn on the eighth rank
      "4k3/8/8/8/8/8/8/4K3 ",             // side to move never read
      "4k3/8/8/8/8/8/8/4RK2 w - - 0 1",   // Black, not to move, is in check
      "4k3/8/8/8/8/8/3p4/4K3 b - - 0 1",  // White, not to move, is in check by a pawn
      "4k3/8/8/8/8/8/8/4K3 w - - 0 1\n",  // syntax
      "4k3/8/8/8/8/8/8/4K3 w KK - 0 1",
  };
  for (const char* fen : rejected) {
    auto pos = ConstructPosition<Position>();
    const Board before = *pos;
    EXPECT_FALSE(SetupPlayableFen(*pos, fen)) << fen;
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
      {"4k3/8/8/8/3p4/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3p4/8/8/4K3 b - - 0 1"},        // no pawn on e4
      {"4k3/8/8/8/3pp3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3pp3/8/8/4K3 b - - 0 1"},      // own pawn on e4
      {"4k3/8/8/8/3pP3/4N3/8/4K3 b - e3 0 1", "4k3/8/8/8/3pP3/4N3/8/4K3 b - - 0 1"},  // e3 occupied
  };
  for (const Case& c : cases) {
    auto pos = ConstructPosition<Position>();
    ASSERT_TRUE(SetupPlayableFen(*pos, c.fen)) << c.fen;
    EXPECT_EQ(PositionToFen(*pos), c.result);
    EXPECT_TRUE(BoardIsConsistent(*pos)) << c.fen;
  }
}

TEST(PlayableFen, TheSideToMoveMayBeInCheck) {
  auto pos = ConstructPosition<Position>();
  ASSERT_TRUE(SetupPlayableFen(*pos, "4k3/8/8/8/8/8/8/4RK2 b - - 0 1"));
  EXPECT_TRUE(SideToMoveInCheck(*pos));
  EXPECT_EQ(pos->ply, 0);
  // A successful set-up replaces the board completely.
  ASSERT_TRUE(SetupPlayableFen(*pos, StartFen));
  EXPECT_TRUE(IsInitialPosition(*pos));
  EXPECT_TRUE(BoardsEqual(*pos, BoardFromFen(StartFen)));
}

}  // namespace
}  // namespace quarn
