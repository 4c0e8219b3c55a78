// Move ordering: capture scores, the preferred move, and the exact visiting
// order of the in-place selection step, for moves and for Marseillais pairs.
#include <gtest/gtest.h>

#include <map>
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

inline Move Key(const ScoredMove& e) { return e.move; }
inline MovePair Key(const ScoredPair& e) { return e.pair; }

// Picks k = 0, 1, ... until nothing is left; each entry must come out with
// the score it went in with.
template <class List>
auto VisitAll(List& list) {
  std::map<MovePair, int> scores;
  for (int i = 0; i < list.Count(); ++i) scores[Key(list.At(i))] = list.At(i).score;
  std::vector<decltype(Key(list.At(0)))> order;
  for (int k = 0;; ++k) {
    const auto* e = [&] {
      if constexpr (std::is_same_v<typename List::value_type, ScoredMove>)
        return PickNextMove(k, list);
      else
        return PickNextPair(k, list);
    }();
    if (!e) break;
    EXPECT_EQ(e->score, scores[Key(*e)]) << "entry " << k << " lost its score";
    order.push_back(Key(*e));
  }
  return order;
}

// Four distinct quiet moves standing for W, X, Y and Z.
constexpr Move W = Mv("a2", "a3"), X = Mv("b2", "b3"), Y = Mv("c2", "c3"), Z = Mv("d2", "d3");

TEST(PickNext, ExchangeOrderForMovesAndPairs) {
  // W0 X0 Y1 Z0: picking Y swaps it with W, so W now follows X. W0 X5 Y5:
  // an equal score does not replace. Scores compare signed; no scores keep
  // the generation order; an empty list gives nothing.
  const struct {
    std::vector<int> scores;
    std::vector<Move> order;
  } cases[] = {{{0, 0, 1, 0}, {Y, X, W, Z}},
               {{0, 5, 5}, {X, Y, W}},
               {{-5, -3, -4}, {X, Y, W}},
               {{0, 0, 0, 0}, {W, X, Y, Z}},
               {{}, {}}};
  for (const auto& c : cases) {
    FixedMoveList moves;
    LocalPairList pairs;
    std::vector<MovePair> pairOrder;
    for (size_t i = 0; i < c.scores.size(); ++i) {
      moves.Append({std::vector<Move>{W, X, Y, Z}[i], int16_t(c.scores[i])});
      pairs.list.Append({MakePairWord(moves.At(int(i)).move, 0), c.scores[i]});
    }
    for (Move m : c.order) pairOrder.push_back(MakePairWord(m, 0));
    EXPECT_EQ(VisitAll(moves), c.order);
    EXPECT_EQ(VisitAll(pairs.list), pairOrder);
  }
}

// White to move with a pawn, queen, knight and king able to capture, a
// quiet promotion and an en-passant capture.
constexpr const char* CaptureFen = "7k/P7/8/3q2Pp/2P5/7r/3Q1p2/4K1N1 w - h6 0 1";
constexpr Move QuietKnight = Mv("g1", "f3"), KingTakesPawn = Mv("e1", "f2"), KnightTakesRook = Mv("g1", "h3"),
               QueenTakesQueen = Mv("d2", "d5"), PawnTakesQueen = Mv("c4", "d5"),
               QuietPromotion = Mv("a7", "a8", PromotionMove, Queen - 2), EnPassant = Mv("g5", "h6", EnPassantMove);

// The ranked count of a list with scores set by hand, as the search's
// scorers compute it.
template <class List>
inline int RankedEntries(List& list) {
  RankTally tally;
  for (int i = 0; i < list.Count(); ++i) tally.Add(list.At(i).score);
  return tally.Ranked(list.Count());
}

// The search skips the pass over the rest once only zero scores remain; the
// visiting order must be the plain picker's on every list, including lists
// with negative scores (which turn the shortcut off).
TEST(PickNext, RankedPickerKeepsTheExchangeOrder) {
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int trial = 0; trial < 2000; ++trial) {
    FixedMoveList plain;
    plain.count = 0;
    const int count = int(next() % 48);
    for (int i = 0; i < count; ++i) {
      const uint32_t r = next() % 10;
      const int score = r < 6 ? 0 : r < 9 ? int(next() % 8) + 1 : (trial % 4 == 0 ? -int(next() % 3) : 32000);
      plain.Append({Move(i + 1), int16_t(score)});
    }
    FixedMoveList ranked = plain;
    const int rankedCount = RankedEntries(ranked);
    std::vector<Move> plainOrder, rankedOrder;
    for (int k = 0; const ScoredMove* e = PickNextMove(k, plain); ++k) plainOrder.push_back(e->move);
    for (int k = 0; const ScoredMove* e = PickNextRanked(k, ranked, rankedCount); ++k) rankedOrder.push_back(e->move);
    ASSERT_EQ(plainOrder, rankedOrder) << "trial " << trial;
  }
}

TEST(ScoreMoves, VictimFirstThenCheapestAttackerAndPreferredMove) {
  auto pos = test::PositionFromFen(CaptureFen);
  ASSERT_TRUE(pos);
  const Move KnightPromotion = Mv("a7", "a8", PromotionMove, Knight - 2), Missing = Mv("h2", "h4");
  const std::vector<Move> moves = {QuietKnight,    KingTakesPawn,  KnightTakesRook, QueenTakesQueen,
                                   PawnTakesQueen, QuietPromotion, EnPassant,       KnightPromotion};
  // Quiet entries keep their score (7); en passant's target square is empty.
  const std::vector<int> scores = {7, 58, 254, 315, 319, 7, 7, 7};
  // A preferred move scores 32000 and is visited first (matched on all its
  // bits: the knight promotion is not the queen one); one missing from the
  // list changes nothing.
  for (Move preferred : {Move(0), QuietKnight, KingTakesPawn, QuietPromotion, Missing}) {
    FixedMoveList list;
    for (Move m : moves) list.Append({m, 7});
    // All eight entries stay ranked: the quiet ones keep their positive 7.
    EXPECT_EQ(ScoreMovesRanked(list, *pos, preferred), 8);
    for (int i = 0; i < list.Count(); ++i)
      EXPECT_EQ(list.At(i).score, moves[size_t(i)] == preferred ? 32000 : scores[size_t(i)]) << i;
    const std::vector<Move> visited = VisitAll(list);
    if (preferred == 0 || preferred == Missing) {
      EXPECT_EQ(visited, (std::vector<Move>{PawnTakesQueen, QueenTakesQueen, KnightTakesRook, KingTakesPawn,
                                            QuietKnight, QuietPromotion, EnPassant, KnightPromotion}));
    } else {
      EXPECT_EQ(visited[0], preferred);
      EXPECT_EQ(visited[1], PawnTakesQueen);
    }
  }
}

TEST(ScoreMoves, GeneratedListPutsCapturesFirst) {
  auto pos = test::PositionFromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  ASSERT_TRUE(pos);
  FixedMoveList list;
  for (Move m : test::LegalMoves(*pos)) list.Append({m, 0});
  ScoreMoves(list, *pos, 0);
  EXPECT_EQ(RankedEntries(list), 8);  // the eight captures
  FixedMoveList again;
  for (Move m : test::LegalMoves(*pos)) again.Append({m, 0});
  EXPECT_EQ(ScoreMovesRanked(again, *pos, 0), 8);
  VisitAll(list);  // leaves the list in visiting order
  for (int k = 0; k < list.Count(); ++k) {
    const ScoredMove &e = list.At(k), &prev = list.At(std::max(k - 1, 0));
    const bool capture = pos->colorAt[MoveTo(e.move)] != NoColor;
    EXPECT_TRUE(capture ? e.score >= 58 && e.score <= prev.score : e.score == 0) << test::Text(e.move);
  }
}

TEST(ScorePairs, CaptureWeightsAndPreferredPair) {
  // Scored on the board before the turn: the second move's capture weighs a
  // sixteenth, without attacker value when the same piece moves twice, and
  // reads the board before the turn (g1 still shows the knight).
  auto pos = test::PositionFromFen("b3k3/8/8/r2q4/4P3/2n5/1P6/R3K1NR w - - 0 1");
  ASSERT_TRUE(pos);
  const MovePair preferred = MakePairWord(Mv("g1", "f3"), Mv("h1", "g1"));
  const struct {
    MovePair pair;
    int score;
  } cases[] = {
      {MakePairWord(Mv("e4", "d5"), 0), 256 * 5 - 1},
      {MakePairWord(Mv("g1", "f3"), 0), 0},  // a single turn with the preferred first half
      {MakePairWord(Mv("e4", "d5"), Mv("b2", "c3")), 1279 + 16 * 2 - 1},
      {MakePairWord(Mv("g1", "f3"), Mv("b2", "c3")), 16 * 2 - 1},
      {MakePairWord(Mv("a1", "a5"), Mv("a5", "a8")), 256 * 4 - 4 + 16 * 3},
      {preferred, 16 * 2 - 4},
      {MakePairWord(Mv("g1", "f3"), Mv("b2", "b3")), 0},  // the preferred first half only
      {MakePairWord(Mv("b2", "c3"), 0), 511},
      {MakePairWord(Mv("a1", "a5"), 0), 1020},
      {MakePairWord(Mv("g1", "f3"), Mv("e4", "d5")), 79},
  };
  for (MovePair pref : {MovePair(0), preferred}) {
    LocalPairList l;
    for (const auto& c : cases) l.list.Append({c.pair, 0});
    ScorePairs(*pos, pref, l.list);
    for (int i = 0; i < l.list.Count(); ++i)
      EXPECT_EQ(l.list.At(i).score, cases[i].pair == pref ? 32000 : cases[i].score) << i << " " << pref;
    if (pref == 0) continue;
    const std::vector<MovePair> order = VisitAll(l.list);
    const std::vector<MovePair> expected = {preferred,     cases[2].pair, cases[0].pair, cases[4].pair,
                                            cases[8].pair, cases[7].pair, cases[9].pair, cases[3].pair};
    EXPECT_EQ(std::vector<MovePair>(order.begin(), order.begin() + 8), expected);
  }
}

}  // namespace
}  // namespace quarn
