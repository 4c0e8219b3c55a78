#include "perft/perft.h"

#include "movegen/variants.h"

namespace quarn {

namespace {

// One count: the tree below a position of game V, listed above the last ply
// and counted at it.
template <class V>
struct TreeCounter {
  using P = typename V::PositionType;
  uint64_t nodes = 0;

  template <Color Us, InCheck C, FirstTurnRule R = FirstTurnRule::Off>
  uint64_t Count(P& pos, int depth) {
    ++nodes;
    auto& list = pos.CurrentList();
    V::template GenerateLegal<Us, C, R>(pos, list);
    if (depth == 1) return uint64_t(list.Count());
    // Above the last ply, what the replies share is found once.
    typename V::ReplyBase base;
    const bool aboveLast = depth == 2;
    if (aboveLast) V::template PrepareReplies<Us>(pos, base);
    uint64_t sum = 0;
    for (int i = 0; i < list.Count(); ++i)
      sum += Below<Us>(pos, V::TurnOf(list.At(i)), depth - 1, aboveLast ? &base : nullptr);
    return sum;
  }

  // The count below one turn of Us: the turn is made, the child counted with
  // the check state the turn gives (from the replies' base when one is given
  // and the turn gives no check), the turn taken back.
  template <Color Us>
  [[gnu::always_inline]] uint64_t Below(P& pos, typename V::Turn t, int depth,
                                        const typename V::ReplyBase* replies = nullptr) {
    const bool check = V::template GivesCheck<Us>(pos, t);
    UndoRecord* u = pos.CurrentUndo();
    V::template Make<Us, Sums::Skip>(pos, t, u);
    pos.OpenNextPly();
    uint64_t n;
    if (check) {
      n = Child<Opponent(Us), InCheck::Yes>(pos, depth);
    } else if (replies) {
      ++nodes;
      n = V::template CountReplies<Opponent(Us)>(pos, t, u, *replies);
    } else {
      n = Child<Opponent(Us), InCheck::No>(pos, depth);
    }
    --pos.ply;
    V::template Unmake<Us, Sums::Skip>(pos, t, pos.CurrentUndo());
    return n;
  }

  template <Color Us, InCheck C>
  uint64_t Child(P& pos, int depth) {
    if (depth > 1) return Count<Us, C>(pos, depth);
    ++nodes;
    return V::template CountLegal<Us, C>(pos);
  }
};

template <class V>
PerftResult CountTree(typename V::PositionType& pos, int depth) {
  TreeCounter<V> counter;
  pos.CurrentList().Clear();  // the game-over test may have left its list here
  const bool inCheck = SideToMoveInCheck(pos);
  const uint64_t leaves = WithSideToMove(pos, [&](auto us) {
    return inCheck ? counter.template Count<us, InCheck::Yes, FirstTurnRule::On>(pos, depth)
                   : counter.template Count<us, InCheck::No, FirstTurnRule::On>(pos, depth);
  });
  return {leaves, counter.nodes};
}

// The root list is generated the way a count of depth 1 does it.
template <class V>
PerftResult DivideTree(typename V::PositionType& pos, int depth, DivideReporter<typename V::Turn>& report) {
  CountTree<V>(pos, 1);
  TreeCounter<V> counter{1};
  const auto& list = pos.CurrentList();
  uint64_t total = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const typename V::Turn t = V::TurnOf(list.At(i));
    const uint64_t n =
        depth == 1 ? 1 : WithSideToMove(pos, [&](auto us) { return counter.template Below<us>(pos, t, depth - 1); });
    total += n;
    report.Entry(t, n);
  }
  return {total, counter.nodes};
}

}  // namespace

PerftResult PerftRoot(Position& pos, int depth) { return CountTree<NormalChess>(pos, depth); }
PerftResult PerftRoot(MarseillaisPosition& pos, int depth) { return CountTree<MarseillaisChess>(pos, depth); }
PerftResult Divide(Position& pos, int depth, DivideReporter<Move>& report) {
  return DivideTree<NormalChess>(pos, depth, report);
}
PerftResult Divide(MarseillaisPosition& pos, int depth, DivideReporter<MovePair>& report) {
  return DivideTree<MarseillaisChess>(pos, depth, report);
}

}  // namespace quarn
