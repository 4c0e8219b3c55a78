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

// Slots 0-15 hold, for White, e1 d1 a1 h1 c1 f1 b1 g1 and the pawns a2-h2 (the
// second piece of a pair comes later in reading order); Black mirrors the ranks.
TEST(BoardSlots, InitialPositionPutsEveryPieceInItsHomeSlot) {
  const Board b = BoardFromFen(StartFen);
  const char* const homes = "e1d1a1h1c1f1b1g1a2b2c2d2e2f2g2h2";
  for (int c = 0; c < 2; ++c) {
    for (int slot = 0; slot < 16; ++slot) {
      const Square sq =
          MakeSquare(homes[2 * slot] - 'a', c == White ? homes[2 * slot + 1] - '1' : '8' - homes[2 * slot + 1]);
      EXPECT_EQ(b.slotAt[sq], slot) << test::SquareName(sq);
      EXPECT_EQ(b.pieceLists[c].squares[slot], sq) << slot;
    }
    const int counts[7] = {0, 8, 2, 2, 2, 1, 1};
    for (int t = 0; t < 7; ++t) EXPECT_EQ(b.pieceLists[c].countByType[t], counts[t]) << "type " << t;
    EXPECT_EQ(b.pieceLists[c].total, 16);
  }
  EXPECT_EQ(b.KingSquare(Black), Sq("e8"));
}

TEST(BoardSlots, ResetEmptiesTheBoardButNotTheMoveStackOrPly) {
  auto pos = ConstructPosition<Position>();
  std::memset(static_cast<Board*>(pos.get()), 0xAB, sizeof(Board));
  pos->moveStack[7] = ScoredMove{Move(1234), 56};
  pos->OpenNextPly();
  pos->CurrentList().Append(ScoredMove{Move(99), 3});
  ResetPosition(*pos);
  Board empty;  // every field spelled out, compared bit for bit
  std::memset(empty.pieceLists, NoSquare, sizeof empty.pieceLists);
  for (auto& l : empty.pieceLists) std::memset(l.countByType, 0, sizeof l.countByType + sizeof l.total);
  std::memset(empty.colorAt, NoColor, sizeof empty.colorAt);
  std::memset(empty.typeAt, Empty, sizeof empty.typeAt);
  std::memset(empty.slotAt, EmptySlot, sizeof empty.slotAt);
  empty.materialSum[0] = empty.materialSum[1] = empty.placementSum[0] = empty.placementSum[1] = 0;
  empty.sideToMove = 2, empty.epSquare = NoSquare, empty.castlingRights = 0;
  EXPECT_TRUE(BoardsEqual(*pos, empty));
  ASSERT_TRUE(SetFromFen(*pos, StartFen));  // neither the reset nor the reader touch the stack
  EXPECT_EQ(pos->ply, 1);
  EXPECT_EQ(pos->moveStack[7].move, 1234);
  EXPECT_EQ(pos->moveStack[7].score, 56);
  ASSERT_EQ(pos->CurrentList().Count(), 1);
  EXPECT_EQ(pos->CurrentList().At(0).move, 99);
}

TEST(BoardSlots, PlacePieceFillsTheListsAndTheSums) {
  Board b;
  ResetPosition(b);
  ASSERT_TRUE(PlacePiece(b, White, Sq("b1"), Knight));
  EXPECT_TRUE(IsPieceAt(b, Sq("b1"), White, Knight) && BoardIsConsistent(b));
  EXPECT_FALSE(IsPieceAt(b, Sq("b1"), Black, Knight) || IsPieceAt(b, Sq("b1"), White, Bishop));
  EXPECT_EQ(b.pieceLists[White].squares[6], Sq("b1"));
  EXPECT_EQ(b.materialSum[White], MakeScorePair(325, 325));
  EXPECT_EQ(b.placementSum[White], MakeScorePair(-42, -16));
  EXPECT_EQ(b.materialSum[Black], 0u);
}

// Pieces beyond their home slots move into 8-15, lowest free slot first.
TEST(BoardSlots, ExtraPiecesTakeTheLowestFreePawnSlot) {
  Board b = BoardFromFen("4k3/8/8/8/8/8/PPP5/1N2K1N1 w - - 0 1");  // pawns in slots 8-10
  EXPECT_EQ(FindFreeSlot(b, White, Knight), 11);
  ASSERT_TRUE(PlacePiece(b, White, Sq("d4"), Knight));  // a third knight
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
      {"4k3/8/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1", White, Rook},
      {"NNNNNNNN/8/8/8/8/8/8/NN2K3 w - - 0 1", White, Knight},  // eleventh knight
      {"QQQQQQQQ/8/8/8/8/8/8/Q3K3 w - - 0 1", White, Queen},    // tenth queen
      {"qqqqqqqq/8/8/8/8/8/8/q3K3 w - - 0 1", Black, Pawn},     // no slot left for a pawn
  };
  for (const Case& c : cases) {
    Board b = BoardFromFen(c.fen);
    const Board before = b;
    EXPECT_EQ(FindFreeSlot(b, c.color, c.type), 16) << c.fen;
    EXPECT_FALSE(PlacePiece(b, c.color, Sq("e4"), c.type)) << c.fen;
    EXPECT_TRUE(BoardsEqual(b, before)) << c.fen;
  }
}

// Examples, then every pair of squares: a queen step exactly when the squares share a line.
TEST(Geometry, DirectionTable) {
  const std::pair<const char*, int> examples[] = {{"a1h8", 17}, {"h8a1", -17}, {"a1a8", 16},  {"a1b3", 0},
                                                  {"a1h1", 1},  {"h1a8", 15},  {"a8h1", -15}, {"e4e4", 0}};
  for (auto [ft, d] : examples) EXPECT_EQ(Direction(Sq(ft), Sq(ft + 2)), d) << ft;
  auto sign = [](int x) { return (x > 0) - (x < 0); };
  for (int from = 0; from < 64; ++from) {
    for (int to = 0; to < 64; ++to) {
      const Square f = SquareOf(from), t = SquareOf(to);
      const int df = FileOf(t) - FileOf(f), dr = RankOf(t) - RankOf(f);
      const bool aligned = from != to && (df == 0 || dr == 0 || std::abs(df) == std::abs(dr));
      ASSERT_EQ(Direction(f, t), aligned ? sign(dr) * 16 + sign(df) : 0)
          << test::SquareName(f) << "->" << test::SquareName(t);
    }
  }
}

TEST(Geometry, CastlingMasksHaveEntriesOnlyOnKingAndRookHomes) {
  struct Entry {
    const char* square;
    int from, to;
  };
  const Entry entries[] = {{"a1", 2, 2}, {"e1", 3, 0}, {"h1", 1, 1}, {"a8", 8, 8}, {"e8", 12, 0}, {"h8", 4, 4}};
  int from[128] = {}, to[128] = {};
  for (const Entry& e : entries) from[Sq(e.square)] = e.from, to[Sq(e.square)] = e.to;
  for (int sq = 0; sq < 128; ++sq) {
    EXPECT_EQ(CastlingMaskFrom[sq], from[sq]) << test::SquareName(sq);
    EXPECT_EQ(CastlingMaskTo[sq], to[sq]) << test::SquareName(sq);
  }
}

// The three list flavours share one interface; run the same checks on each.
template <class L>
class MoveListTest : public ::testing::Test {
 protected:
  using E = typename L::value_type;
  E storage[16]{};
  L list;
  void SetUp() override {
    if constexpr (requires { list.begin; }) list.begin = list.end = storage;
  }
  static E Element(int i) {
    if constexpr (sizeof(E) == sizeof(ScoredPair))
      return {MovePair(0x10000 * i + i), -i};
    else
      return {Move(100 + i), int16_t(-i)};
  }
  static uint32_t Key(const E& e) {
    if constexpr (sizeof(E) == sizeof(ScoredPair))
      return e.pair;
    else
      return e.move;
  }
  void Fill(int n) {
    list.Clear();
    for (int i = 0; i < n; ++i) list.Append(Element(i));
  }
  // The list holds exactly these elements, in this order, with their scores.
  void Expect(std::initializer_list<int> elements) {
    ASSERT_EQ(list.Count(), int(elements.size()));
    int i = 0;
    for (int e : elements) {
      EXPECT_EQ(Key(list.At(i)), Key(Element(e))) << i;
      EXPECT_EQ(list.At(i++).score, -e);
    }
  }
};
using ListTypes = ::testing::Types<StackMoveList, StackPairList, FixedMoveList>;
TYPED_TEST_SUITE(MoveListTest, ListTypes);

TYPED_TEST(MoveListTest, AppendClearAndRemoveAtKeepingTheOrder) {
  this->Fill(1);
  this->list.At(0).score = 77;  // scores are written in place
  EXPECT_EQ(std::as_const(this->list).At(0).score, 77);
  this->list.Clear();
  this->Expect({});
  this->Fill(3);
  this->list.RemoveAt(0);
  this->Expect({1, 2});
  this->Fill(5);
  this->list.RemoveAt(2);
  this->Expect({0, 1, 3, 4});
  this->list.RemoveAt(3);  // the last one
  this->Expect({0, 1, 3});
  this->Fill(1);
  this->list.RemoveAt(0);
  this->Expect({});
}

TEST(PlyFrames, ConstructionStartsAtPlyZeroWithAnEmptyWindow) {
  auto check = [](const auto& pos) {
    ASSERT_TRUE(pos);
    EXPECT_EQ(pos->ply, 0);
    EXPECT_EQ(pos->CurrentList().begin, pos->moveStack);
    EXPECT_EQ(pos->CurrentList().Count(), 0);
    EXPECT_TRUE(IsInitialPosition(*pos) && BoardIsConsistent(*pos));
  };
  check(ConstructPosition<Position>());
  check(ConstructPosition<MarseillaisPosition>());
}

TEST(PlyFrames, NextPlyOpensDirectlyBehindThePreviousList) {
  auto pos = ConstructPosition<Position>();
  GenerateLegalMovesForSideToMove(*pos, pos->CurrentList());
  ASSERT_EQ(pos->CurrentList().Count(), 20);
  pos->OpenNextPly();
  EXPECT_EQ(pos->ply, 1);
  EXPECT_EQ(pos->CurrentList().Count(), 0);
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack + 20);
  pos->CurrentList().Append(ScoredMove{Move(4242), 1});
  EXPECT_EQ(pos->moveStack[20].move, 4242);
  pos->OpenNextPly();
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack + 21);
  pos->ply -= 2;
  EXPECT_EQ(pos->CurrentList().Count(), 20);  // stepping back finds ply 0 intact
  pos->CurrentList().Clear();                 // an emptied list opens the next ply at its own begin
  pos->OpenNextPly();
  EXPECT_EQ(pos->CurrentList().begin, pos->moveStack);
}

}  // namespace
}  // namespace quarn
