// Move ordering: capture scores, the preferred move, and the exact visiting
// order of the in-place selection step, for moves and for Marseillais pairs.
#include <gtest/gtest.h>

#include <vector>

#include "search/ordering.h"
#include "search_util.h"

namespace quarn {
namespace {

constexpr Square Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }
constexpr Move Mv(const char* from, const char* to, int kind = NormalMove, int extra = 0) {
  return MakeMoveWord(Sq(from), Sq(to), kind, extra);
}

// A pair list over a local array, as the search's stack lists are.
struct LocalPairList {
  ScoredPair items[64];
  StackPairList list;
  LocalPairList() { list.begin = list.end = items; }
};

std::vector<Move> VisitAll(FixedMoveList& list) {
  std::vector<Move> order;
  for (int k = 0;; ++k) {
    const ScoredMove* e = PickNextMove(k, list);
    if (!e) break;
    order.push_back(e->move);
  }
  return order;
}

std::vector<MovePair> VisitAll(StackPairList& list) {
  std::vector<MovePair> order;
  for (int k = 0;; ++k) {
    const ScoredPair* e = PickNextPair(k, list);
    if (!e) break;
    order.push_back(e->pair);
  }
  return order;
}

// Four distinct quiet moves standing for W, X, Y and Z.
constexpr Move W = Mv("a2", "a3"), X = Mv("b2", "b3"), Y = Mv("c2", "c3"), Z = Mv("d2", "d3");

TEST(PickNextMove, EmptyListGivesNothing) {
  FixedMoveList list{};
  EXPECT_EQ(PickNextMove(0, list), nullptr);
}

TEST(PickNextMove, IndexPastTheEndGivesNothing) {
  FixedMoveList list;
  list.Append({W, 0});
  EXPECT_NE(PickNextMove(0, list), nullptr);
  EXPECT_EQ(PickNextMove(1, list), nullptr);
}

TEST(PickNextMove, ExchangeDisplacesTheFrontEntry) {
  // W(0) X(0) Y(1) Z(0): picking Y swaps it with W, so W now follows X.
  FixedMoveList list;
  list.Append({W, 0});
  list.Append({X, 0});
  list.Append({Y, 1});
  list.Append({Z, 0});
  EXPECT_EQ(VisitAll(list), (std::vector<Move>{Y, X, W, Z}));
}

TEST(PickNextMove, EqualScoreDoesNotReplace) {
  // W(0) X(5) Y(5): X replaces W, Y does not replace X; then Y replaces W.
  FixedMoveList list;
  list.Append({W, 0});
  list.Append({X, 5});
  list.Append({Y, 5});
  EXPECT_EQ(VisitAll(list), (std::vector<Move>{X, Y, W}));
}

TEST(PickNextMove, EntriesTravelWithTheirScores) {
  FixedMoveList list;
  list.Append({W, 0});
  list.Append({X, 0});
  list.Append({Y, 1});
  list.Append({Z, 0});
  const ScoredMove* first = PickNextMove(0, list);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->move, Y);
  EXPECT_EQ(first->score, 1);
  // W went to Y's old index with its own score.
  EXPECT_EQ(list.At(2).move, W);
  EXPECT_EQ(list.At(2).score, 0);
}

TEST(PickNextMove, ComparisonIsSigned) {
  FixedMoveList list;
  list.Append({W, -5});
  list.Append({X, -3});
  list.Append({Y, -4});
  EXPECT_EQ(VisitAll(list), (std::vector<Move>{X, Y, W}));
}

TEST(PickNextMove, NoScoresKeepsGenerationOrder) {
  FixedMoveList list;
  for (Move m : {W, X, Y, Z}) list.Append({m, 0});
  EXPECT_EQ(VisitAll(list), (std::vector<Move>{W, X, Y, Z}));
}

// White to move with a pawn, queen, knight and king able to capture, a
// quiet promotion and an en-passant capture.
constexpr const char* CaptureFen = "7k/P7/8/3q2Pp/2P5/7r/3Q1p2/4K1N1 w - h6 0 1";

constexpr Move PawnTakesQueen = Mv("c4", "d5");
constexpr Move QueenTakesQueen = Mv("d2", "d5");
constexpr Move KnightTakesRook = Mv("g1", "h3");
constexpr Move KingTakesPawn = Mv("e1", "f2");
constexpr Move QuietKnight = Mv("g1", "f3");
constexpr Move QuietPromotion = Mv("a7", "a8", PromotionMove, Queen - 2);
constexpr Move EnPassant = Mv("g5", "h6", EnPassantMove);

FixedMoveList CaptureList() {
  FixedMoveList list;
  for (Move m :
       {QuietKnight, KingTakesPawn, KnightTakesRook, QueenTakesQueen, PawnTakesQueen, QuietPromotion, EnPassant})
    list.Append({m, 0});
  return list;
}

TEST(ScoreMoves, VictimFirstThenCheapestAttacker) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList list = CaptureList();
  ScoreMoves(list, *pos, 0);
  EXPECT_EQ(list.At(0).score, 0);    // quiet knight move
  EXPECT_EQ(list.At(1).score, 58);   // king takes pawn
  EXPECT_EQ(list.At(2).score, 254);  // knight takes rook
  EXPECT_EQ(list.At(3).score, 315);  // queen takes queen
  EXPECT_EQ(list.At(4).score, 319);  // pawn takes queen
  EXPECT_EQ(list.At(5).score, 0);    // promotion without capture
  EXPECT_EQ(list.At(6).score, 0);    // en passant: the target square is empty
}

TEST(ScoreMoves, CapturesComeBeforeQuietMoves) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList list = CaptureList();
  ScoreMoves(list, *pos, 0);
  const std::vector<Move> order = VisitAll(list);
  ASSERT_EQ(order.size(), 7u);
  EXPECT_EQ(order[0], PawnTakesQueen);
  EXPECT_EQ(order[1], QueenTakesQueen);
  EXPECT_EQ(order[2], KnightTakesRook);
  EXPECT_EQ(order[3], KingTakesPawn);
  // The quiet three follow, reordered only by the exchanges above.
  EXPECT_EQ(order[4], QuietKnight);
  EXPECT_EQ(order[5], QuietPromotion);
  EXPECT_EQ(order[6], EnPassant);
}

TEST(ScoreMoves, PreferredMoveComesFirst) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList list = CaptureList();
  ScoreMoves(list, *pos, QuietKnight);
  EXPECT_EQ(list.At(0).score, 32000);
  const ScoredMove* first = PickNextMove(0, list);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->move, QuietKnight);
  EXPECT_EQ(PickNextMove(1, list)->move, PawnTakesQueen);
}

TEST(ScoreMoves, PreferredCaptureScores32000) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList list = CaptureList();
  ScoreMoves(list, *pos, KingTakesPawn);
  EXPECT_EQ(list.At(1).score, 32000);
  EXPECT_EQ(PickNextMove(0, list)->move, KingTakesPawn);
}

TEST(ScoreMoves, PreferredMoveMissingFromTheList) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList plain = CaptureList(), withMissing = CaptureList();
  ScoreMoves(plain, *pos, 0);
  ScoreMoves(withMissing, *pos, Mv("h2", "h4"));
  for (int i = 0; i < plain.Count(); ++i) EXPECT_EQ(plain.At(i).score, withMissing.At(i).score) << i;
  EXPECT_EQ(VisitAll(plain), VisitAll(withMissing));
}

TEST(ScoreMoves, PreferredMoveMatchesAllSixteenBits) {
  // A knight promotion on the same squares is not the preferred queen promotion.
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList list;
  const Move knightPromotion = Mv("a7", "a8", PromotionMove, Knight - 2);
  list.Append({knightPromotion, 0});
  list.Append({QuietPromotion, 0});
  ScoreMoves(list, *pos, QuietPromotion);
  EXPECT_EQ(list.At(0).score, 0);
  EXPECT_EQ(list.At(1).score, 32000);
}

TEST(ScoreMoves, QuietEntriesKeepTheirScore) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  FixedMoveList list;
  list.Append({QuietKnight, 7});
  list.Append({PawnTakesQueen, 7});
  ScoreMoves(list, *pos, 0);
  EXPECT_EQ(list.At(0).score, 7);
  EXPECT_EQ(list.At(1).score, 319);
}

TEST(ScoreMoves, GeneratedListPutsCapturesFirst) {
  // Over a whole generated list, every capture is picked before every quiet move.
  auto pos = test::PositionFromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  ASSERT_TRUE(pos);
  FixedMoveList list;
  for (Move m : test::LegalMoves(*pos)) list.Append({m, 0});
  ScoreMoves(list, *pos, 0);
  bool seenQuiet = false;
  int lastScore = 32767;
  for (int k = 0;; ++k) {
    const ScoredMove* e = PickNextMove(k, list);
    if (!e) break;
    const bool capture = pos->colorAt[MoveTo(e->move)] != NoColor;
    if (capture) {
      EXPECT_FALSE(seenQuiet) << test::MoveText(e->move);
      EXPECT_GE(e->score, 58);
      EXPECT_LE(e->score, lastScore);
      lastScore = e->score;
    } else {
      seenQuiet = true;
      EXPECT_EQ(e->score, 0);
    }
  }
}

// Marseillais pairs, scored on the board before the turn.
constexpr const char* PairFen = "b3k3/8/8/r2q4/4P3/2n5/1P6/R3K1NR w - - 0 1";

TEST(ScorePairs, SingleTurnIsScoredByItsMoveAlone) {
  auto pos = test::PositionFromFen(PairFen);
  ASSERT_TRUE(pos);
  LocalPairList l;
  l.list.Append({MakePairWord(Mv("e4", "d5"), 0), 0});
  l.list.Append({MakePairWord(Mv("g1", "f3"), 0), 0});
  ScorePairs(*pos, 0, l.list);
  EXPECT_EQ(l.list.At(0).score, 256 * 5 - 1);
  EXPECT_EQ(l.list.At(1).score, 0);
}

TEST(ScorePairs, SecondCaptureWeighsOneSixteenth) {
  auto pos = test::PositionFromFen(PairFen);
  ASSERT_TRUE(pos);
  LocalPairList l;
  // Pawn takes queen, then the other pawn takes the knight.
  l.list.Append({MakePairWord(Mv("e4", "d5"), Mv("b2", "c3")), 0});
  // A quiet first move, then the pawn takes the knight.
  l.list.Append({MakePairWord(Mv("g1", "f3"), Mv("b2", "c3")), 0});
  ScorePairs(*pos, 0, l.list);
  EXPECT_EQ(l.list.At(0).score, 1279 + 16 * 2 - 1);
  EXPECT_EQ(l.list.At(1).score, 16 * 2 - 1);
}

TEST(ScorePairs, SamePieceTwiceHasNoSecondAttackerValue) {
  auto pos = test::PositionFromFen(PairFen);
  ASSERT_TRUE(pos);
  LocalPairList l;
  // The rook takes the rook on a5, then goes on to take the bishop on a8.
  l.list.Append({MakePairWord(Mv("a1", "a5"), Mv("a5", "a8")), 0});
  ScorePairs(*pos, 0, l.list);
  EXPECT_EQ(l.list.At(0).score, 256 * 4 - 4 + 16 * 3);
}

TEST(ScorePairs, SecondMoveReadsTheBoardBeforeTheTurn) {
  auto pos = test::PositionFromFen(PairFen);
  ASSERT_TRUE(pos);
  LocalPairList l;
  // The knight leaves g1 and the rook steps there: g1 still shows the knight.
  l.list.Append({MakePairWord(Mv("g1", "f3"), Mv("h1", "g1")), 0});
  ScorePairs(*pos, 0, l.list);
  EXPECT_EQ(l.list.At(0).score, 16 * 2 - 4);
}

TEST(ScorePairs, PreferredPairNeedsBothHalves) {
  auto pos = test::PositionFromFen(PairFen);
  ASSERT_TRUE(pos);
  LocalPairList l;
  const MovePair preferred = MakePairWord(Mv("g1", "f3"), Mv("h1", "g1"));
  l.list.Append({MakePairWord(Mv("e4", "d5"), Mv("b2", "c3")), 0});
  l.list.Append({MakePairWord(Mv("g1", "f3"), Mv("b2", "b3")), 0});  // first half only
  l.list.Append({MakePairWord(Mv("g1", "f3"), 0), 0});               // a single turn with that first half
  l.list.Append({preferred, 0});
  ScorePairs(*pos, preferred, l.list);
  EXPECT_EQ(l.list.At(1).score, 0);
  EXPECT_EQ(l.list.At(2).score, 0);
  EXPECT_EQ(l.list.At(3).score, 32000);
  const std::vector<MovePair> order = VisitAll(l.list);
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(order[0], preferred);
  EXPECT_EQ(order[1], MakePairWord(Mv("e4", "d5"), Mv("b2", "c3")));
}

TEST(ScorePairs, FirstMoveCapturesDominate) {
  auto pos = test::PositionFromFen(PairFen);
  ASSERT_TRUE(pos);
  LocalPairList l;
  const MovePair quietThenQueen = MakePairWord(Mv("g1", "f3"), Mv("e4", "d5"));  // 79
  const MovePair pawnTakesKnight = MakePairWord(Mv("b2", "c3"), 0);              // 511
  const MovePair rookTakesRook = MakePairWord(Mv("a1", "a5"), 0);                // 1020
  l.list.Append({quietThenQueen, 0});
  l.list.Append({pawnTakesKnight, 0});
  l.list.Append({rookTakesRook, 0});
  ScorePairs(*pos, 0, l.list);
  EXPECT_EQ(VisitAll(l.list), (std::vector<MovePair>{rookTakesRook, pawnTakesKnight, quietThenQueen}));
}

TEST(PickNextPair, SameExchangeRulesAsMoves) {
  LocalPairList a, b;
  const MovePair pw = MakePairWord(W, 0), px = MakePairWord(X, 0), py = MakePairWord(Y, 0), pz = MakePairWord(Z, 0);
  a.list.Append({pw, 0});
  a.list.Append({px, 0});
  a.list.Append({py, 1});
  a.list.Append({pz, 0});
  EXPECT_EQ(VisitAll(a.list), (std::vector<MovePair>{py, px, pw, pz}));
  b.list.Append({pw, 0});
  b.list.Append({px, 5});
  b.list.Append({py, 5});
  EXPECT_EQ(VisitAll(b.list), (std::vector<MovePair>{px, py, pw}));
}

TEST(PickNextPair, EmptyListGivesNothing) {
  LocalPairList l;
  EXPECT_EQ(PickNextPair(0, l.list), nullptr);
}

}  // namespace
}  // namespace quarn
