// Move-tree counting in both kinds of game: perft counts the leaves below the
// current position; divide also hands the count below every root turn, in
// generation order, to the caller's reporter.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace quarn {

struct PerftResult {
  uint64_t leaves = 0;
  // Positions at which a list was generated (the root included; the last
  // ply is counted through its parent's list length and never generated).
  uint64_t nodes = 0;
};

template <class Turn>
class DivideReporter {
 public:
  virtual void Entry(Turn turn, uint64_t count) = 0;

 protected:
  ~DivideReporter() = default;
};

// Counts from the current position (side to move and check state taken from
// it); the first-turn rule applies at the root of a Marseillais count.
PerftResult PerftRoot(Position& pos, int depth);
PerftResult PerftRoot(MarseillaisPosition& pos, int depth);
PerftResult Divide(Position& pos, int depth, DivideReporter<Move>& report);
PerftResult Divide(MarseillaisPosition& pos, int depth, DivideReporter<MovePair>& report);

}  // namespace quarn
