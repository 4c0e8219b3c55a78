// Move ordering: the preferred move from the previous principal variation,
// then captures by victim and attacker, everything else at 0. Entries are
// picked one at a time by a selection step that exchanges them in place.
#pragma once

#include "position/board.h"
#include "position/move_list.h"

namespace quarn {

// Above every capture's score: the previous line's move is searched first.
constexpr int PreferredScore = 32000;

// The search's move list while it is generated: each capture is scored by
// victim and attacker as it is appended (every other move stays at 0), and
// the captures are counted, which is the list's ranked count.
static_assert(64 * Pawn - King > 0);
struct RankingList {
  StackMoveList& list;
  int captures = 0;

  void Append(const ScoredMove& e) { list.Append(e); }
  void AppendCapture(Move m, int victim, int attacker) {
    list.Append(ScoredMove{m, int16_t(64 * victim - attacker)});
    ++captures;
  }
};

// Puts the preferred move first in the ranking, wherever it stands; returns
// what it adds to the ranked count (1 when it was not ranked already).
template <class List>
inline int RankPreferred(List& list, Move preferred) {
  if (preferred == NoMove) return 0;
  for (int i = 0; i < list.Count(); ++i) {
    ScoredMove& e = list.At(i);
    if (e.move != preferred) continue;
    const int added = e.score == 0;
    e.score = PreferredScore;
    return added;
  }
  return 0;
}

// Scores a freshly generated turn list and returns its ranked count: the
// number of picks that can exchange entries. No score is negative, so once
// the positive entries have been picked the rest are all 0 and each later
// pick takes the entry at k as it stands. The second move's capture is read
// on the board before the turn: a square the first move empties or fills
// still shows its old contents.
static_assert(16 * Pawn - King > 0);
template <class List>
inline int ScorePairsRanked(const Board& b, MovePair preferred, List& list) {
  int positive = 0;
  for (int i = 0; i < list.Count(); ++i) {
    ScoredPair& e = list.At(i);
    if (e.pair == preferred) {
      e.score = PreferredScore;
      ++positive;
      continue;
    }
    const Move first = FirstOf(e.pair), second = SecondOf(e.pair);
    int32_t score = 0;
    const Square firstTo = MoveTo(first);
    if (b.colorAt[firstTo] != NoColor) score += 256 * b.typeAt[firstTo] - b.typeAt[MoveFrom(first)];
    if (second != 0) {
      const Square secondTo = MoveTo(second), secondFrom = MoveFrom(second);
      if (b.colorAt[secondTo] != NoColor) {
        score += 16 * b.typeAt[secondTo];
        if (secondFrom != firstTo) score -= b.typeAt[secondFrom];
      }
    }
    e.score = score;
    positive += score > 0;
  }
  return positive;
}

// Brings the best-scored entry of k and above to k (an exchange whenever a
// strictly greater score is seen) and returns it; null when k is past the end.
template <class List>
inline const typename List::value_type* PickNext(int k, List& list) {
  const int count = list.Count();
  if (k >= count) return nullptr;
  auto bestScore = list.At(k).score;
  for (int j = k + 1; j < count; ++j) {
    if (list.At(j).score > bestScore) {
      const auto tmp = list.At(k);
      list.At(k) = list.At(j);
      list.At(j) = tmp;
      bestScore = list.At(k).score;
    }
  }
  return &list.At(k);
}

// PickNext with the pass over the rest skipped where it cannot exchange
// anything: the same entries in the same order.
template <class List>
inline const typename List::value_type* PickNextRanked(int k, List& list, int ranked) {
  if (k < ranked) return PickNext(k, list);
  return k < list.Count() ? &list.At(k) : nullptr;
}

}  // namespace quarn
