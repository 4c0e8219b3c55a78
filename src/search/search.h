// Iterative-deepening alpha-beta search for both variants: fail-soft
// negamax, quiescence on captures (normal chess), a check extension at the
// horizon, the previous principal variation searched first, and the clock
// polled every 4096 nodes.
#pragma once

#include <cstdint>

#include "frontend/clock.h"
#include "position/position.h"

namespace quarn {

extern uint64_t nodeCount;
extern bool stopSearch;

constexpr int MateScore = 32000;
constexpr int MaxSearchDepth = 64;

template <class T>
struct BasicPvLine {
  T moves[64];
  uint32_t count;
};
using PvLine = BasicPvLine<Move>;
using PairPvLine = BasicPvLine<MovePair>;

// The protocol searches by time and prints thinking lines; tests and the
// benchmark search to a fixed depth, silently if they wish.
struct SearchLimits {
  int maxDepth = MaxSearchDepth;
  bool timed = true;
  bool print = true;
};

// What a search found: the move played and the last iteration's score.
struct SearchResult {
  int score = 0;
  int depth = 0;
};

// best is the caller's variable (set to 0 before the call); it receives the
// first move of the last principal variation found. A search stopped before
// it completed any root move leaves it at 0: the caller then plays the first
// legal move (a long chain of checking turns can keep the first root move
// busy far beyond any budget, so the clock is honoured from the first node).
SearchResult SearchBestMove(Position& pos, TimeControl& tc, Move& best, const SearchLimits& limits = {});
SearchResult SearchBestMovePair(MarseillaisPosition& pos, TimeControl& tc, MovePair& best,
                                const SearchLimits& limits = {});

namespace detail {

// Shared by both searches: node entry with the periodic clock check.
struct SearchClock {
  TimeControl* tc = nullptr;
  bool timed = true;  // fixed-depth searches never look at the clock
  bool print = true;
};
extern SearchClock searchClock;

inline bool NodeEntryStops() {
  ++nodeCount;
  if ((nodeCount & 4095) == 0 && searchClock.timed) {
    const int32_t elapsed = ClockUsed(*searchClock.tc) - searchClock.tc->moveStartUsed;
    if (elapsed >= searchClock.tc->moveBudget) {
      stopSearch = true;
      return true;
    }
  }
  return false;
}

void PrintNodesLine(const TimeControl& tc);
int32_t Elapsed(const TimeControl& tc);

template <class T>
inline void CopyPv(BasicPvLine<T>& out, T move, const BasicPvLine<T>& child) {
  out.moves[0] = move;
  const uint32_t n = child.count < 63 ? child.count : 63;
  for (uint32_t i = 0; i < n; ++i) out.moves[i + 1] = child.moves[i];
  out.count = n + 1;
}

}  // namespace detail

}  // namespace quarn
