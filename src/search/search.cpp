#include "search/search.h"

#include <cstdio>

#include "eval/evaluate.h"
#include "frontend/move_text.h"
#include "movegen/gives_check.h"
#include "movegen/legal.h"
#include "search/ordering.h"

namespace quarn {

uint64_t nodeCount = 0;
bool stopSearch = false;

namespace detail {

SearchClock searchClock;

int32_t Elapsed(const TimeControl& tc) { return ClockUsed(tc) - tc.moveStartUsed; }

void PrintNodesLine(const TimeControl& tc) {
  if (!searchClock.print) return;
  const int32_t elapsed = Elapsed(tc);
  int32_t nps = 0;
  if (elapsed > 0) {
    const uint64_t rate = nodeCount * 100 / uint64_t(elapsed);
    nps = rate > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(rate);
  }
  std::printf("# nodes=%llu, time=%d, nps=%d\n", (unsigned long long)nodeCount, elapsed, nps);
}

}  // namespace detail

namespace {

using detail::CopyPv;
using detail::NodeEntryStops;

void PrintThinking(int32_t elapsed, const PvLine& line, int depth, int score) {
  if (!detail::searchClock.print) return;
  std::printf("%d %d %d %lld", depth, score, elapsed, (long long)nodeCount);
  char text[8];
  for (uint32_t i = 0; i < line.count; ++i) {
    FormatMove(line.moves[i], text);
    std::printf(" %s", text);
  }
  std::printf("\n");
  std::fflush(stdout);
}

Move PreferredMove(bool& followPv, const PvLine& previousPv, uint32_t ply) {
  if (followPv && ply < previousPv.count) return previousPv.moves[ply];
  followPv = false;
  return 0;
}

template <Color Us>
int SearchInCheck(Position& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
                  const PvLine& previousPv, PvLine& pvOut);
template <Color Us>
int SearchFull(Position& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
               const PvLine& previousPv, PvLine& pvOut);

template <Color Us>
int Quiesce(Position& pos, int alpha, int beta, uint32_t ply, bool followPv, const PvLine& previousPv, PvLine& pvOut) {
  constexpr Color Them = Opponent(Us);
  if (NodeEntryStops()) return MateScore;
  const int stand = Evaluate(pos);
  if (stand >= beta) return stand;
  // However long a chain of captures, the ply stack is never overrun.
  if (!pos.HasRoomForList()) return stand;
  int best = stand;
  StackMoveList& list = pos.CurrentList();
  GenerateCaptures<Us>(pos, list);
  if (list.Count() == 0) return best;  // nothing to try: the pin set is not needed
  const uint64_t pinMask = PinnedPieces<Us>(pos);
  const Move preferred = PreferredMove(followPv, previousPv, ply);
  const int ranked = ScoreMovesRanked(list, pos, preferred);
  for (int k = 0;; ++k) {
    const ScoredMove* picked = PickNextRanked(k, list, ranked);
    if (!picked) break;
    const Move m = picked->move;
    const bool needsTest = NeedsLegalityTest(pos, m, pinMask);
    UndoRecord& undo = pos.CurrentUndo()[0];
    MakeMoveT<Us, true, true>(pos, m, undo);
    pos.OpenNextPly();
    if (needsTest && IsSquareAttacked<Them>(pos, pos.KingSquare(Us))) {
      --pos.ply;
      UnmakeMoveT<Us, true, true>(pos, m, undo);
      continue;
    }
    PvLine child;
    child.count = 0;
    if (followPv && m != preferred) followPv = false;
    const int score = -Quiesce<Them>(pos, -beta, -(best > alpha ? best : alpha), ply + 1, followPv, previousPv, child);
    --pos.ply;
    UnmakeMoveT<Us, true, true>(pos, m, undo);
    if (stopSearch) return MateScore;
    if (score > best) {
      best = score;
      if (score >= beta) break;
      if (score > alpha) CopyPv(pvOut, m, child);
    }
  }
  return best;
}

// The child of a legal move: in check it is searched whole (the check
// extension keeps at least one ply), else quiescence at the horizon.
template <Color Them>
int SearchChild(Position& pos, bool check, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
                const PvLine& previousPv, PvLine& child) {
  if (check) return -SearchInCheck<Them>(pos, alpha, beta, ply, depth > 1 ? depth - 1 : 1, followPv, previousPv, child);
  if (depth == 1) return -Quiesce<Them>(pos, alpha, beta, ply, followPv, previousPv, child);
  return -SearchFull<Them>(pos, alpha, beta, ply, depth - 1, followPv, previousPv, child);
}

template <Color Us, bool InCheck>
int SearchNode(Position& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
               const PvLine& previousPv, PvLine& pvOut) {
  constexpr Color Them = Opponent(Us);
  if (NodeEntryStops()) return MateScore;
  // Out of frames or stack (a long chain of checks): answer statically.
  if (!pos.HasRoomForList()) return Evaluate(pos);
  StackMoveList& list = pos.CurrentList();
  uint64_t pinMask = 0;
  if constexpr (InCheck) {
    GenerateEvasions<Us>(pos, list);
    if (list.Count() == 0) return int(ply) - MateScore;
  } else {
    pinMask = PinnedPieces<Us>(pos);
    GenerateMoves<Us, true, true>(pos, list);
  }
  const Move preferred = PreferredMove(followPv, previousPv, ply);
  const int ranked = ScoreMovesRanked(list, pos, preferred);
  int best = -MateScore;
  int legal = 0;
  for (int k = 0;; ++k) {
    const ScoredMove* picked = PickNextRanked(k, list, ranked);
    if (!picked) break;
    const Move m = picked->move;
    const bool needsTest = InCheck || NeedsLegalityTest(pos, m, pinMask);
    const bool check = GivesCheck<Us>(pos, m);
    UndoRecord& undo = pos.CurrentUndo()[0];
    MakeMoveT<Us, true, true>(pos, m, undo);
    pos.OpenNextPly();
    if (needsTest && IsSquareAttacked<Them>(pos, pos.KingSquare(Us))) {
      --pos.ply;
      UnmakeMoveT<Us, true, true>(pos, m, undo);
      continue;
    }
    ++legal;
    PvLine child;
    child.count = 0;
    if (followPv && m != preferred) followPv = false;
    const int score = SearchChild<Them>(pos, check, -beta, -(best > alpha ? best : alpha), ply + 1, depth, followPv,
                                        previousPv, child);
    --pos.ply;
    UnmakeMoveT<Us, true, true>(pos, m, undo);
    if (stopSearch) return MateScore;
    if (score > best) {
      best = score;
      if (score >= beta) break;
      if (score > alpha) CopyPv(pvOut, m, child);
    }
  }
  // Stalemate scores like mate.
  return legal ? best : int(ply) - MateScore;
}

template <Color Us>
int SearchInCheck(Position& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
                  const PvLine& previousPv, PvLine& pvOut) {
  return SearchNode<Us, true>(pos, alpha, beta, ply, depth, followPv, previousPv, pvOut);
}

template <Color Us>
int SearchFull(Position& pos, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
               const PvLine& previousPv, PvLine& pvOut) {
  return SearchNode<Us, false>(pos, alpha, beta, ply, depth, followPv, previousPv, pvOut);
}

// The root searches every move (no cut-off) and prints a thinking line at
// every improvement and once at the end.
template <Color Us, bool InCheck>
int SearchRoot(Position& pos, TimeControl& tc, uint32_t depth, bool followPv, const PvLine& previousPv, PvLine& pvOut) {
  constexpr Color Them = Opponent(Us);
  if (NodeEntryStops()) return MateScore;
  StackMoveList& list = pos.CurrentList();
  list.Clear();
  uint64_t pinMask = 0;
  if constexpr (InCheck) {
    GenerateEvasions<Us>(pos, list);
    if (list.Count() == 0) return -MateScore;
  } else {
    pinMask = PinnedPieces<Us>(pos);
    GenerateMoves<Us, true, true>(pos, list);
  }
  const Move preferred = PreferredMove(followPv, previousPv, 0);
  const int ranked = ScoreMovesRanked(list, pos, preferred);
  int best = -MateScore;
  int legal = 0;
  for (int k = 0;; ++k) {
    const ScoredMove* picked = PickNextRanked(k, list, ranked);
    if (!picked) break;
    const Move m = picked->move;
    const bool needsTest = InCheck || NeedsLegalityTest(pos, m, pinMask);
    const bool check = GivesCheck<Us>(pos, m);
    UndoRecord& undo = pos.CurrentUndo()[0];
    MakeMoveT<Us, true, true>(pos, m, undo);
    pos.OpenNextPly();
    if (needsTest && IsSquareAttacked<Them>(pos, pos.KingSquare(Us))) {
      --pos.ply;
      UnmakeMoveT<Us, true, true>(pos, m, undo);
      continue;
    }
    ++legal;
    PvLine child;
    child.count = 0;
    if (followPv && m != preferred) followPv = false;
    const int score = SearchChild<Them>(pos, check, -MateScore, -best, 1, depth, followPv, previousPv, child);
    --pos.ply;
    UnmakeMoveT<Us, true, true>(pos, m, undo);
    if (stopSearch) break;
    if (score > best) {
      best = score;
      CopyPv(pvOut, m, child);
      PrintThinking(detail::Elapsed(tc), pvOut, int(depth), best);
    }
  }
  // An iteration stopped before its first root move completed found no
  // score: it prints no closing line.
  if (stopSearch && !pvOut.count) return best;
  if (!legal) best = -MateScore;
  PrintThinking(detail::Elapsed(tc), pvOut, int(depth), best);
  return best;
}

template <Color Us>
SearchResult SearchBestMoveT(Position& pos, TimeControl& tc, Move& best, const SearchLimits& limits) {
  stopSearch = false;
  nodeCount = 0;
  detail::searchClock = {&tc, limits.timed, limits.print};
  PvLine previousPv;
  previousPv.count = 0;
  tc.moveBudget =
      AllotMoveTime(uint32_t(tc.movesPerControl), pos.GamePly(), Us, ClockUsed(tc), tc.baseTime, tc.increment);
  const bool inCheck = IsSquareAttacked<Opponent(Us)>(pos, pos.KingSquare(Us));
  SearchResult result;
  for (int depth = 1; depth <= limits.maxDepth && !stopSearch; ++depth) {
    PvLine current;
    current.count = 0;
    const int score = inCheck ? SearchRoot<Us, true>(pos, tc, uint32_t(depth), depth > 1, previousPv, current)
                              : SearchRoot<Us, false>(pos, tc, uint32_t(depth), depth > 1, previousPv, current);
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

SearchResult SearchBestMove(Position& pos, TimeControl& tc, Move& best, const SearchLimits& limits) {
  return pos.sideToMove == White ? SearchBestMoveT<White>(pos, tc, best, limits)
                                 : SearchBestMoveT<Black>(pos, tc, best, limits);
}

}  // namespace quarn
