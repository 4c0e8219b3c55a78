// What both node searches share: one search's context (its counters, limits,
// reporter and the previous iteration's line), the node kinds, and the
// iterative-deepening driver written once over the kinds of game.
#pragma once

#include "movegen/variants.h"
#include "position/time_source.h"
#include "search/search.h"

namespace quarn {

// The kinds of node a move loop serves.
enum class Node { Root, Inner, Quiescence };

// The clock is read at every node whose count has these bits clear.
constexpr uint64_t ClockPollMask = 4096 - 1;

template <class V>
struct SearchContext {
  using Turn = typename V::Turn;
  using Line = BasicPvLine<Turn>;

  const SearchLimits& limits;
  SearchReporter<Turn>* reporter;
  uint64_t nodes = 0;
  bool stopped = false;
  Line previousPv{};

  // Every node is counted as it is entered (a quiescence node by its parent,
  // before the node searches); every 4096th looks at the clock.
  [[gnu::always_inline]] bool NodeEntryStops() {
    ++nodes;
    return (nodes & ClockPollMask) == 0 && ClockStops();
  }
  [[gnu::noinline]] bool ClockStops() {
    if (!limits.timed || CentisecondsSince(limits.start) < limits.budget) return false;
    stopped = true;
    return true;
  }
  // The previous line's turn at this ply while the search still follows it.
  Turn Preferred(bool& followPv, uint32_t ply) const {
    if (followPv && ply < previousPv.count) return previousPv.moves[ply];
    followPv = false;
    return 0;
  }
  void Report(uint32_t depth, int score, const Line& line) {
    if (reporter) reporter->Thinking(int(depth), score, nodes, line);
  }
};

template <class T>
inline void CopyPv(BasicPvLine<T>& out, T move, const BasicPvLine<T>& child) {
  out.moves[0] = move;
  const uint32_t n = child.count < MaxPvLength - 1 ? child.count : MaxPvLength - 1;
  for (uint32_t i = 0; i < n; ++i) out.moves[i + 1] = child.moves[i];
  out.count = n + 1;
}

// Deepens one ply at a time until the limits stop it; searchRoot(us, inCheck,
// depth, followPv, line) runs one iteration for the side to move.
template <class V, class RootSearch>
SearchResult<typename V::Turn> IterativeDeepening(typename V::PositionType& pos, SearchContext<V>& sc,
                                                  RootSearch&& searchRoot) {
  const bool inCheck = SideToMoveInCheck(pos);
  SearchResult<typename V::Turn> result;
  for (int depth = 1; depth <= sc.limits.maxDepth && !sc.stopped; ++depth) {
    typename SearchContext<V>::Line current;
    current.count = 0;
    const int score =
        WithSideToMove(pos, [&](auto us) { return searchRoot(us, inCheck, uint32_t(depth), depth > 1, current); });
    sc.previousPv = current;
    if (current.count) {
      result.best = current.moves[0];
      if (!sc.stopped) {
        result.score = score;
        result.depth = depth;
      }
    }
  }
  result.nodes = sc.nodes;
  return result;
}

}  // namespace quarn
