// Move-tree counting: perft prints one statistics line, divide first prints
// the count below every root move (or turn) in generation order.
#pragma once

#include <cstdint>

#include "frontend/clock.h"
#include "position/position.h"

namespace quarn {

// Positions at which perft generated a list (the root included; the last
// ply is counted through its parent's list length and never generated).
extern uint64_t nodesPerft;

// Deepest counts the commands accept: beyond them the tree would outgrow the
// ply frames or the move stack, and could never finish anyway.
#ifdef QUARN_FUZZING
// The fuzzing build keeps every command short: counts deeper than this are
// ignored like any other out-of-range depth.
constexpr int MaxPerftDepth = 3;
constexpr int MaxMarseillaisPerftDepth = 1;
#else
constexpr int MaxPerftDepth = 64;
constexpr int MaxMarseillaisPerftDepth = 10;
#endif

// Leaf counts from the current position (side to move and check state taken
// from the position); they set nodesPerft as the commands do.
uint64_t PerftRoot(Position& pos, int depth);
uint64_t PerftRoot(MarseillaisPosition& pos, int depth);

void RunPerft(Position& pos, TimeControl& tc, int depth);
void RunPerft(MarseillaisPosition& pos, TimeControl& tc, int depth);
void RunDivide(Position& pos, TimeControl& tc, int depth);
void RunDivide(MarseillaisPosition& pos, TimeControl& tc, int depth);

}  // namespace quarn
