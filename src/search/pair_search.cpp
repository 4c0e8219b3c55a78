#include <cstdio>

#include "eval/evaluate.h"
#include "frontend/move_text.h"
#include "movegen/gives_check.h"
#include "movegen/turns.h"
#include "search/ordering.h"
#include "search/search.h"

namespace quarn {

namespace {

using detail::CopyPv;
using detail::NodeEntryStops;

void PrintPairThinking(int32_t elapsed, const PairPvLine& line, int depth, int score) {
  if (!detail::searchClock.print) return;
  std::printf("%d %d %d %lld", depth, score, elapsed, (long long)nodeCount);
  char text[16];
  for (uint32_t i = 0; i < line.count; ++i) {
    FormatMovePair(line.moves[i], text);
    std::printf(" %s", text);
  }
  std::printf("\n");
  std::fflush(stdout);
}

MovePair PreferredPair(bool& followPv, const PairPvLine& previousPv, uint32_t ply) {
  if (followPv && ply < previousPv.count) return previousPv.moves[ply];
  followPv = false;
  return 0;
}

template <Color Us>
int PairLeaf(MarseillaisPosition& pos) {
  if (NodeEntryStops()) return MateScore;
  return Evaluate(pos);
}

template <Color Us, bool InCheck>
int PairSearchNode(MarseillaisPosition& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
                   const PairPvLine& previousPv, PairPvLine& pvOut);

// Searches the turns of the current list (already generated). Returns the
// best score, or the no-legal-turn value when none was legal.
template <Color Us, bool IsRoot>
int SearchTurns(MarseillaisPosition& pos, TimeControl* tc, int alpha, int beta, uint32_t ply, uint32_t depth,
                bool followPv, MovePair preferred, const PairPvLine& previousPv, PairPvLine& pvOut, int& legal) {
  constexpr Color Them = Opponent(Us);
  StackPairList& list = pos.CurrentList();
  const int ranked = ScorePairsRanked(pos, preferred, list);
  int best = -MateScore;
  for (int k = 0;; ++k) {
    const ScoredPair* picked = PickNextRanked(k, list, ranked);
    if (!picked) break;
    const MovePair p = picked->pair;
    const bool check = TurnGivesCheck<Us>(pos, p);
    UndoRecord* undo = pos.CurrentUndo();
    MakePairT<Us, true>(pos, p, undo);
    pos.OpenNextPly();
    // Every turn is tested: the generators test neither second moves nor
    // checking one-move turns.
    if (IsSquareAttacked<Them>(pos, pos.KingSquare(Us))) {
      --pos.ply;
      UnmakePairT<Us, true>(pos, p, undo);
      continue;
    }
    ++legal;
    PairPvLine child;
    child.count = 0;
    if (followPv && p != preferred) followPv = false;
    const int childAlpha = IsRoot ? -MateScore : -beta;
    const int childBeta = IsRoot ? -best : -(best > alpha ? best : alpha);
    int score;
    if (check)
      score = -PairSearchNode<Them, true>(pos, childAlpha, childBeta, ply + 1, depth > 1 ? depth - 1 : 1, followPv,
                                          previousPv, child);
    else if (depth == 1)
      score = -PairLeaf<Them>(pos);
    else
      score = -PairSearchNode<Them, false>(pos, childAlpha, childBeta, ply + 1, depth - 1, followPv, previousPv, child);
    --pos.ply;
    UnmakePairT<Us, true>(pos, p, undo);
    // A stopped child's score is never used; the root keeps what it has.
    if (stopSearch) return IsRoot ? best : MateScore;
    if constexpr (IsRoot) {
      if (score > best) {
        best = score;
        CopyPv(pvOut, p, child);
        PrintPairThinking(detail::Elapsed(*tc), pvOut, int(depth), best);
      }
    } else {
      if (score > best) {
        best = score;
        if (score >= beta) break;
        if (score > alpha) CopyPv(pvOut, p, child);
      }
    }
  }
  return best;
}

template <Color Us, bool InCheck>
int PairSearchNode(MarseillaisPosition& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
                   const PairPvLine& previousPv, PairPvLine& pvOut) {
  if (NodeEntryStops()) return MateScore;
  if (!pos.HasRoomForList()) return Evaluate(pos);
  bool escapeFound = false;
  if constexpr (InCheck) {
    GenerateTurnsInCheck<Us>(pos, pos.CurrentList(), escapeFound);
    if (pos.CurrentList().Count() == 0) return escapeFound ? 0 : int(ply) - MateScore;
  } else {
    GenerateTurns<Us>(pos, pos.CurrentList(), escapeFound);
  }
  const MovePair preferred = PreferredPair(followPv, previousPv, ply);
  int legal = 0;
  const int best =
      SearchTurns<Us, false>(pos, nullptr, alpha, beta, ply, depth, followPv, preferred, previousPv, pvOut, legal);
  if (stopSearch) return MateScore;
  // In check, a king that can step out of check but then has no second move
  // counts as a draw.
  if (!legal) return escapeFound ? 0 : int(ply) - MateScore;
  return best;
}

template <Color Us, bool InCheck>
int PairRoot(MarseillaisPosition& pos, TimeControl& tc, uint32_t depth, bool followPv, const PairPvLine& previousPv,
             PairPvLine& pvOut) {
  if (NodeEntryStops()) return MateScore;
  StackPairList& list = pos.CurrentList();
  list.Clear();
  bool escapeFound = false;
  // White's first turn of the game is a single move.
  const bool firstTurn = IsInitialPosition(pos);
  if constexpr (InCheck) {
    if (firstTurn)
      GenerateSingleTurnsInCheck<Us>(pos, list);
    else
      GenerateTurnsInCheck<Us>(pos, list, escapeFound);
    if (list.Count() == 0) return escapeFound ? 0 : -MateScore;
  } else {
    if (firstTurn)
      GenerateSingleTurns<Us>(pos, list);
    else
      GenerateTurns<Us>(pos, list, escapeFound);
  }
  const MovePair preferred = PreferredPair(followPv, previousPv, 0);
  int legal = 0;
  int best =
      SearchTurns<Us, true>(pos, &tc, -MateScore, MateScore, 0, depth, followPv, preferred, previousPv, pvOut, legal);
  // An iteration stopped before its first root move completed found no
  // score: it prints no closing line.
  if (stopSearch && !pvOut.count) return best;
  if (!legal) best = (InCheck && escapeFound) ? 0 : -MateScore;
  PrintPairThinking(detail::Elapsed(tc), pvOut, int(depth), best);
  return best;
}

template <Color Us>
SearchResult SearchBestMovePairT(MarseillaisPosition& pos, TimeControl& tc, MovePair& best,
                                 const SearchLimits& limits) {
  stopSearch = false;
  nodeCount = 0;
  detail::searchClock = {&tc, limits.timed, limits.print};
  PairPvLine previousPv;
  previousPv.count = 0;
  tc.moveBudget =
      AllotMoveTime(uint32_t(tc.movesPerControl), pos.GamePly(), Us, ClockUsed(tc), tc.baseTime, tc.increment);
  const bool inCheck = IsSquareAttacked<Opponent(Us)>(pos, pos.KingSquare(Us));
  SearchResult result;
  for (int depth = 1; depth <= limits.maxDepth && !stopSearch; ++depth) {
    PairPvLine current;
    current.count = 0;
    const int score = inCheck ? PairRoot<Us, true>(pos, tc, uint32_t(depth), depth > 1, previousPv, current)
                              : PairRoot<Us, false>(pos, tc, uint32_t(depth), depth > 1, previousPv, current);
    for (uint32_t i = 0; i < current.count; ++i) previousPv.moves[i] = current.moves[i];
    previousPv.count = current.count;
    if (current.count) {
      best = current.moves[0];
      if (!stopSearch) result = {score, depth};
    }
  }
  detail::PrintNodesLine(tc);
  return result;
}

}  // namespace

SearchResult SearchBestMovePair(MarseillaisPosition& pos, TimeControl& tc, MovePair& best, const SearchLimits& limits) {
  return pos.sideToMove == White ? SearchBestMovePairT<White>(pos, tc, best, limits)
                                 : SearchBestMovePairT<Black>(pos, tc, best, limits);
}

}  // namespace quarn
