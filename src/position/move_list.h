// Move-list containers. Two are windows on a position's shared move stack
// (one per ply, each opened behind the previous ply's list); one owns a small
// fixed array and serves as a temporary inside generators. The interface is
// static: Count, At, Append, Clear, Truncate.
#pragma once

#include "position/types.h"

namespace quarn {

template <class Element>
struct StackList {
  using value_type = Element;
  Element* begin = nullptr;
  Element* end = nullptr;

  int Count() const { return int(end - begin); }
  Element& At(int i) { return begin[i]; }
  const Element& At(int i) const { return begin[i]; }
  void Append(const Element& e) { *end++ = e; }
  void Clear() { end = begin; }
  void Truncate(int n) { end = begin + n; }
};

using StackMoveList = StackList<ScoredMove>;
using StackPairList = StackList<ScoredPair>;

// A position has at most 8 + 2 + 2 + 15 * 27 = 417 pseudo-legal moves (a
// king, both castlings, two en-passant captures, fifteen queens at best),
// so a work list of this size can never overflow.
constexpr int MaxMovesPerPosition = 512;

struct FixedMoveList {
  using value_type = ScoredMove;
  ScoredMove items[MaxMovesPerPosition];
  int count = 0;

  int Count() const { return count; }
  ScoredMove& At(int i) { return items[i]; }
  const ScoredMove& At(int i) const { return items[i]; }
  void Append(const ScoredMove& e) { items[count++] = e; }
  void Clear() { count = 0; }
  void Truncate(int n) { count = n; }
};

// Removes, from index `start` on, the elements for which `drop` holds,
// keeping the order of the rest, in one pass (turn lists can be huge).
template <class List, class Pred>
inline void RemoveIf(List& list, int start, Pred drop) {
  const int n = list.Count();
  int kept = start;
  for (int i = start; i < n; ++i) {
    const auto e = list.At(i);
    if (!drop(e)) list.At(kept++) = e;
  }
  list.Truncate(kept);
}

// Appends a freshly generated move (score 0) to any move list.
template <class List>
inline void AppendMove(List& list, Move m) {
  list.Append(ScoredMove{m, 0});
}

// A list that ranks captures as they are generated (the search's) takes each
// with the types of the piece taken and of the taker; the generators tell
// captures from other moves only for such a list.
template <class List>
concept RanksCaptures = requires(List& list) {
  list.AppendCapture(Move{}, 0, 0);
};

// Appends a move onto a square holding `victim`, a piece of the other colour.
template <class List>
inline void AppendCapture(List& list, Move m, int victim, int attacker) {
  if constexpr (RanksCaptures<List>)
    list.AppendCapture(m, victim, attacker);
  else
    AppendMove(list, m);
}

}  // namespace quarn
