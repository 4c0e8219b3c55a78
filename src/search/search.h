// Iterative-deepening alpha-beta search for both kinds of game: fail-soft
// negamax, quiescence on captures (normal chess), a check extension at the
// horizon, the previous principal variation searched first, and the clock
// polled every 4096 nodes. The search prints nothing: it hands its thinking
// to the caller's reporter and returns what it found.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace quarn {

constexpr int MateScore = 32000;
// A side to move with no legal move (or turn) that is not in check is
// stalemated: a draw.
constexpr int DrawScore = 0;
constexpr int MaxSearchDepth = 64;
constexpr uint32_t MaxPvLength = 64;

template <class T>
struct BasicPvLine {
  T moves[MaxPvLength];
  uint32_t count;
};
using PvLine = BasicPvLine<Move>;
using PairPvLine = BasicPvLine<MovePair>;

// The protocol searches by time; tests and the benchmark to a fixed depth.
struct SearchLimits {
  int maxDepth = MaxSearchDepth;
  bool timed = false;
  int32_t start = 0;   // ClockNow() when the move's time began
  int32_t budget = 0;  // centiseconds from start before the search stops
};

// Told of every improvement of an iteration's best root turn, and once more
// when the iteration closes (not for an iteration stopped before its first
// root turn completed).
template <class Turn>
class SearchReporter {
 public:
  virtual void Thinking(int depth, int score, uint64_t nodes, const BasicPvLine<Turn>& line) = 0;

 protected:
  ~SearchReporter() = default;
};

// best is the first turn of the last principal variation found; a search
// stopped before it completed any root turn leaves it at 0, and the caller
// then plays the first legal turn (a long chain of checking turns can keep
// the first root turn busy far beyond any budget, so the clock is honoured
// from the first node). score and depth are the last completed iteration's.
template <class Turn>
struct SearchResult {
  Turn best = 0;
  int score = 0;
  int depth = 0;
  uint64_t nodes = 0;
};

SearchResult<Move> SearchBestMove(Position& pos, const SearchLimits& limits, SearchReporter<Move>* reporter = nullptr);
SearchResult<MovePair> SearchBestMove(MarseillaisPosition& pos, const SearchLimits& limits,
                                      SearchReporter<MovePair>* reporter = nullptr);

}  // namespace quarn
