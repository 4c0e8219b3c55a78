// The board: piece-list slot homes and limits, the reset state, the geometry
// tables, and the move-list containers with their per-ply windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "movegen/legal.h"
#include "position/board.h"
#include "position/fen.h"
#include "position/move_list.h"
#include "position/position.h"
#include "test_util.h"

namespace quarn {
namespace {

using test::BoardFromFen;
using test::BoardsEqual;
using test::Sq;

Board EmptyBoard() {
  Board b;
  ResetPosition(b);
  return b;
}

TEST(BoardSlots, InitialPositionPutsEveryPieceInItsHomeSlot) {
  const Board b = BoardFromFen(StartFen);
  struct Home {
    const char* square;
    int slot;
  };
  // Same homes for both colours; the second piece of a pair comes later in
  // reading order (a to h) and takes the second home slot.
  const Home white[] = {{"e1", 0}, {"d1", 1}, {"a1", 2},  {"h1", 3},  {"c1", 4},  {"f1", 5},  {"b1", 6},  {"g1", 7},
                        {"a2", 8}, {"b2", 9}, {"c2", 10}, {"d2", 11}, {"e2", 12}, {"f2", 13}, {"g2", 14}, {"h2", 15}};
  const Home black[] = {{"e8", 0}, {"d8", 1}, {"a8", 2},  {"h8", 3},  {"c8", 4},  {"f8", 5},  {"b8", 6},  {"g8", 7},
                        {"a7", 8}, {"b7", 9}, {"c7", 10}, {"d7", 11}, {"e7", 12}, {"f7", 13}, {"g7", 14}, {"h7", 15}};
  for (int c = 0; c < 2; ++c) {
    for (const Home& h : c == White ? white : black) {
      EXPECT_EQ(b.slotAt[Sq(h.square)], h.slot) << h.square;
      EXPECT_EQ(b.pieceLists[c].squares[h.slot], Sq(h.square)) << h.square;
    }
    EXPECT_EQ(b.pieceLists[c].total, 16);
    const int counts[7] = {0, 8, 2, 2, 2, 1, 1};
    for (int t = 0; t < 7; ++t) EXPECT_EQ(b.pieceLists[c].countByType[t], counts[t]) << "type " << t;
  }
  EXPECT_EQ(b.KingSquare(White), Sq("e1"));
  EXPECT_EQ(b.KingSquare(Black), Sq("e8"));
  EXPECT_TRUE(BoardIsConsistent(b));
}

TEST(BoardSlots, ResetLeavesAnEmptyBoardWithNoSideAndNoRights) {
  Board b;
  std::memset(&b, 0xAB, sizeof b);
  ResetPosition(b);
  for (int c = 0; c < 2; ++c) {
    for (int s = 0; s < 16; ++s) EXPECT_EQ(b.pieceLists[c].squares[s], NoSquare);
    for (int t = 0; t < 7; ++t) EXPECT_EQ(b.pieceLists[c].countByType[t], 0);
    EXPECT_EQ(b.pieceLists[c].total, 0);
    EXPECT_EQ(b.materialSum[c], 0u);
    EXPECT_EQ(b.placementSum[c], 0u);
    EXPECT_EQ(b.KingSquare(Color(c)), NoSquare);
  }
  for (int sq = 0; sq < 128; ++sq) {
    EXPECT_EQ(b.colorAt[sq], NoColor);
    EXPECT_EQ(b.typeAt[sq], Empty);
    EXPECT_EQ(b.slotAt[sq], EmptySlot);
  }
  EXPECT_EQ(b.sideToMove, 2);
  EXPECT_EQ(b.epSquare, NoSquare);
  EXPECT_EQ(b.castlingRights, 0);
}

TEST(BoardSlots, ResetDoesNotTouchTheMoveStackOrThePlyFrames) {
  auto pos = ConstructPosition<Position>();
  pos->moveStack[7] = ScoredMove{Move(1234), 56};
  pos->OpenNextPly();
  pos->CurrentList().Append(ScoredMove{Move(99), 3});
  ResetPosition(*pos);
  EXPECT_EQ(pos->ply, 1);
  EXPECT_EQ(pos->moveStack[7].move, 1234);
  EXPECT_EQ(pos->moveStack[7].score, 56);
  EXPECT_EQ(pos->CurrentList().Count(), 1);
  EXPECT_EQ(pos->CurrentList().At(0).move, 99);
}

TEST(BoardSlots, PlacePieceFillsTheListsAndTheSums) {
  Board b = EmptyBoard();
  ASSERT_TRUE(PlacePiece(b, White, Sq("b1"), Knight));
  EXPECT_EQ(b.colorAt[Sq("b1")], White);
  EXPECT_EQ(b.typeAt[Sq("b1")], Knight);
  EXPECT_EQ(b.slotAt[Sq("b1")], 6);
  EXPECT_EQ(b.pieceLists[White].squares[6], Sq("b1"));
  EXPECT_EQ(b.pieceLists[White].countByType[Knight], 1);
  EXPECT_EQ(b.pieceLists[White].total, 1);
  EXPECT_EQ(b.materialSum[White], MakeScorePair(325, 325));
  EXPECT_EQ(b.placementSum[White], MakeScorePair(-42, -16));
  EXPECT_EQ(b.materialSum[Black], 0u);
  EXPECT_TRUE(IsPieceAt(b, Sq("b1"), White, Knight));
  EXPECT_FALSE(IsPieceAt(b, Sq("b1"), Black, Knight));
  EXPECT_FALSE(IsPieceAt(b, Sq("b1"), White, Bishop));
}

// Pieces beyond their home slots move into 8-15, lowest free slot first.
TEST(BoardSlots, ExtraPiecesTakeTheLowestFreePawnSlot) {
  Board b = BoardFromFen("4k3/8/8/8/8/8/PPP5/1N2K1N1 w - - 0 1");  // pawns in slots 8-10
  EXPECT_EQ(FindFreeSlot(b, White, Knight), 11);
  ASSERT_TRUE(PlacePiece(b, White, Sq("d4"), Knight));
  EXPECT_EQ(b.slotAt[Sq("d4")], 11);
  EXPECT_EQ(FindFreeSlot(b, White, Pawn), 12);
  EXPECT_EQ(FindFreeSlot(b, White, Queen), 1);  // home slot still free
  ASSERT_TRUE(PlacePiece(b, White, Sq("d5"), Queen));
  EXPECT_EQ(FindFreeSlot(b, White, Queen), 12);
  EXPECT_EQ(FindFreeSlot(b, Black, Knight), 6);  // the other colour is unaffected
  EXPECT_TRUE(BoardIsConsistent(b));
}

TEST(BoardSlots, PiecesThatDoNotFitAreRefusedWithoutChangingTheBoard) {
  struct Case {
    const char* fen;
    Color color;
    PieceType type;
  };
  const Case cases[] = {
      {StartFen, White, Pawn},                                      // ninth pawn
      {StartFen, Black, King},                                      // second king
      {"4k3/8/8/8/8/8/PPPPPPPP/1N2K1N1 w - - 0 1", White, Knight},  // slots 8-15 hold pawns
      {"4k3/8/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1", White, Bishop},   // likewise for a bishop
      {"4k3/8/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1", White, Rook},      // and a rook
      {"NNNNNNNN/8/8/8/8/8/8/NN2K3 w - - 0 1", White, Knight},      // eleventh knight
      {"BBBBBBBB/8/8/8/8/8/8/BB2K3 w - - 0 1", White, Bishop},      // eleventh bishop
      {"RRRRRRRR/8/8/8/8/8/8/RR2K3 w - - 0 1", White, Rook},        // eleventh rook
      {"QQQQQQQQ/8/8/8/8/8/8/Q3K3 w - - 0 1", White, Queen},        // tenth queen
      {"qqqqqqqq/8/8/8/8/8/8/q3K3 w - - 0 1", Black, Pawn},         // no slot left for a pawn
  };
  for (const Case& c : cases) {
    Board b = BoardFromFen(c.fen);
    const Board before = b;
    EXPECT_EQ(FindFreeSlot(b, c.color, c.type), 16) << c.fen;
    EXPECT_FALSE(PlacePiece(b, c.color, Sq("e4"), c.type)) << c.fen;
    EXPECT_TRUE(BoardsEqual(b, before)) << c.fen;
  }
}

TEST(Geometry, DirectionTableExamples) {
  EXPECT_EQ(Direction(Sq("a1"), Sq("h8")), 17);
  EXPECT_EQ(Direction(Sq("h8"), Sq("a1")), -17);
  EXPECT_EQ(Direction(Sq("a1"), Sq("a8")), 16);
  EXPECT_EQ(Direction(Sq("a1"), Sq("b3")), 0);
  EXPECT_EQ(Direction(Sq("a1"), Sq("h1")), 1);
  EXPECT_EQ(Direction(Sq("h1"), Sq("a8")), 15);
  EXPECT_EQ(Direction(Sq("a8"), Sq("h1")), -15);
  EXPECT_EQ(Direction(Sq("e4"), Sq("e4")), 0);
}

// Every pair of squares: a queen step exactly when the squares share a line,
// and repeated steps from `from` land on `to`.
TEST(Geometry, DirectionTableAgreesWithFileAndRankDifferences) {
  auto sign = [](int x) { return (x > 0) - (x < 0); };
  for (int from = 0; from < 64; ++from) {
    for (int to = 0; to < 64; ++to) {
      const Square f = SquareOf(from), t = SquareOf(to);
      const int df = FileOf(t) - FileOf(f), dr = RankOf(t) - RankOf(f);
      const bool aligned = from != to && (df == 0 || dr == 0 || std::abs(df) == std::abs(dr));
      const int expected = aligned ? sign(dr) * 16 + sign(df) : 0;
      ASSERT_EQ(Direction(f, t), expected) << test::SquareName(f) << "->" << test::SquareName(t);
    }
  }
}

TEST(Geometry, CastlingMasksHaveEntriesOnlyOnKingAndRookHomes) {
  for (int sq = 0; sq < 128; ++sq) {
    int from = 0, to = 0;
    switch (sq) {
      case 0x00:
        from = 2, to = 2;
        break;
      case 0x04:
        from = 3;
        break;
      case 0x07:
        from = 1, to = 1;
        break;
      case 0x70:
        from = 8, to = 8;
        break;
      case 0x74:
        from = 12;
        break;
      case 0x77:
        from = 4, to = 4;
        break;
    }
    EXPECT_EQ(CastlingMaskFrom[sq], from) << test::SquareName(sq);
    EXPECT_EQ(CastlingMaskTo[sq], to) << test::SquareName(sq);
  }
}

// The three list flavours share one interface; run the same checks on each.
template <class L>
class MoveListTest : public ::testing::Test {
 protected:
  typename L::value_type storage[16]{};
  L list;
  void SetUp() override {
    if constexpr (requires { list.begin; }) list.begin = list.end = storage;
  }
  static typename L::value_type Element(int i) {
    if constexpr (sizeof(typename L::value_type) == sizeof(ScoredPair))
      return {MovePair(0x10000 * i + i), -i};
    else
      return {Move(100 + i), int16_t(-i)};
  }
  static uint32_t Key(const typename L::value_type& e) {
    if constexpr (sizeof(typename L::value_type) == sizeof(ScoredPair))
      return e.pair;
    else
      return e.move;
  }
  void Fill(int n) {
    list.Clear();
    for (int i = 0; i < n; ++i) list.Append(Element(i));
  }
};
using ListTypes = ::testing::Types<StackMoveList, StackPairList, FixedMoveList>;
TYPED_TEST_SUITE(MoveListTest, ListTypes);

TYPED_TEST(MoveListTest, AppendAndClear) {
  this->list.Clear();
  EXPECT_EQ(this->list.Count(), 0);
  this->list.Append(this->Element(5));
  ASSERT_EQ(this->list.Count(), 1);
  EXPECT_EQ(this->Key(this->list.At(0)), this->Key(this->Element(5)));
  EXPECT_EQ(this->list.At(0).score, -5);
  this->list.At(0).score = 77;  // scores are written in place
  const auto& constList = this->list;
  EXPECT_EQ(constList.At(0).score, 77);
  this->list.Clear();
  EXPECT_EQ(this->list.Count(), 0);
}

TYPED_TEST(MoveListTest, RemoveAtKeepsTheOrderOfTheRest) {
  this->Fill(3);
  this->list.RemoveAt(0);
  ASSERT_EQ(this->list.Count(), 2);
  EXPECT_EQ(this->Key(this->list.At(0)), this->Key(this->Element(1)));
  EXPECT_EQ(this->Key(this->list.At(1)), this->Key(this->Element(2)));
  EXPECT_EQ(this->list.At(1).score, -2);

  this->Fill(5);
  this->list.RemoveAt(2);
  ASSERT_EQ(this->list.Count(), 4);
  const int expected[] = {0, 1, 3, 4};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(this->Key(this->list.At(i)), this->Key(this->Element(expected[i])));

  this->list.RemoveAt(3);  // the last one: only the length changes
  ASSERT_EQ(this->list.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(this->Key(this->list.At(i)), this->Key(this->Element(expected[i])));

  this->Fill(1);
  this->list.RemoveAt(0);
  EXPECT_EQ(this->list.Count(), 0);
}

TEST(PlyFrames, ConstructionStartsAtPlyZeroWithAnEmptyWindow) {
  auto pos = ConstructPosition<Position>();
  ASSERT_TRUE(pos);
  EXPECT_EQ(pos->ply, 0);
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack);
  EXPECT_EQ(pos->CurrentList().Count(), 0);
  EXPECT_TRUE(IsInitialPosition(*pos));
  for (int i = 0; i < Position::MoveStackSize; i += 4099) EXPECT_EQ(pos->moveStack[i].move, 0);
}

TEST(PlyFrames, MarseillaisPositionIsBuiltTheSameWay) {
  auto pos = ConstructPosition<MarseillaisPosition>();
  ASSERT_TRUE(pos);
  EXPECT_EQ(pos->ply, 0);
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack);
  EXPECT_EQ(pos->CurrentList().Count(), 0);
  EXPECT_TRUE(IsInitialPosition(*pos));
  EXPECT_TRUE(BoardIsConsistent(*pos));
}

TEST(PlyFrames, NextPlyOpensDirectlyBehindThePreviousList) {
  auto pos = ConstructPosition<Position>();
  GenerateLegalMovesForSideToMove(*pos, pos->CurrentList());
  ASSERT_EQ(pos->CurrentList().Count(), 20);
  ScoredMove* const firstEnd = pos->CurrentList().end;
  pos->OpenNextPly();
  EXPECT_EQ(pos->ply, 1);
  EXPECT_EQ(pos->CurrentList().Count(), 0);
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack + 20);
  EXPECT_EQ(pos->CurrentList().begin, firstEnd);
  pos->CurrentList().Append(ScoredMove{Move(4242), 1});
  EXPECT_EQ(pos->moveStack[20].move, 4242);
  pos->OpenNextPly();
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack + 21);
  pos->ply -= 2;
  EXPECT_EQ(pos->CurrentList().Count(), 20);  // stepping back finds ply 0 intact
  // An emptied list opens the next ply at its own begin.
  pos->CurrentList().Clear();
  pos->OpenNextPly();
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack);
}

}  // namespace
}  // namespace quarn
