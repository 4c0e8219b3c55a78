#include "eval/evaluate.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/search_context.h"

namespace quarn {

namespace {

using Context = SearchContext<MarseillaisChess>;

template <Color Us, Node Kind, InCheck C>
int PairSearchNode(MarseillaisPosition& pos, Context& sc, int alpha, int beta, uint32_t ply, uint32_t depth,
                   bool followPv, PairPvLine& pvOut);

// The horizon: the static evaluation, counted as a node.
int PairLeaf(MarseillaisPosition& pos, Context& sc) {
  if (sc.NodeEntryStops()) return MateScore;
  return Evaluate(pos);
}

// Searches the turns of the current list (already generated). Returns the
// best score, or -MateScore when none was legal.
template <Color Us, Node Kind>
int SearchTurns(MarseillaisPosition& pos, Context& sc, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
                MovePair preferred, PairPvLine& pvOut, int& legal) {
  constexpr Color Them = Opponent(Us);
  constexpr bool root = Kind == Node::Root;
  StackPairList& list = pos.CurrentList();
  const int ranked = ScorePairsRanked(pos, preferred, list);
  int best = -MateScore;
  for (int k = 0;; ++k) {
    const ScoredPair* picked = PickNextRanked(k, list, ranked);
    if (!picked) break;
    const MovePair p = picked->pair;
    const bool check = TurnGivesCheck<Us>(pos, p);
    UndoRecord* undo = pos.CurrentUndo();
    MakePairT<Us, Sums::Keep>(pos, p, undo);
    pos.OpenNextPly();
    // Every turn is tested: the generators test neither second moves nor
    // checking one-move turns.
    if (IsInCheck<Us>(pos)) {
      --pos.ply;
      UnmakePairT<Us, Sums::Keep>(pos, p, undo);
      continue;
    }
    ++legal;
    PairPvLine child;
    child.count = 0;
    if (followPv && p != preferred) followPv = false;
    const int childAlpha = root ? -MateScore : -beta;
    const int childBeta = root ? -best : -(best > alpha ? best : alpha);
    int score;
    if (check)
      score = -PairSearchNode<Them, Node::Inner, InCheck::Yes>(pos, sc, childAlpha, childBeta, ply + 1,
                                                               depth > 1 ? depth - 1 : 1, followPv, child);
    else if (depth == 1)
      score = -PairLeaf(pos, sc);
    else
      score = -PairSearchNode<Them, Node::Inner, InCheck::No>(pos, sc, childAlpha, childBeta, ply + 1, depth - 1,
                                                              followPv, child);
    --pos.ply;
    UnmakePairT<Us, Sums::Keep>(pos, p, undo);
    // A stopped child's score is never used; the root keeps what it has.
    if (sc.stopped) return root ? best : MateScore;
    if (score > best) {
      best = score;
      if constexpr (root) {
        CopyPv(pvOut, p, child);
        sc.Report(depth, best, pvOut);
      } else {
        if (score >= beta) break;
        if (score > alpha) CopyPv(pvOut, p, child);
      }
    }
  }
  return best;
}

// A node or the root. With no legal turn a side not in check is stalemated
// (a draw); a side in check is mated, unless a king step out of check was
// possible but left no second move: that counts as a draw too. White's first
// turn of the game is a single move.
template <Color Us, Node Kind, InCheck C>
int PairSearchNode(MarseillaisPosition& pos, Context& sc, int alpha, int beta, uint32_t ply, uint32_t depth,
                   bool followPv, PairPvLine& pvOut) {
  constexpr bool root = Kind == Node::Root;
  if (sc.NodeEntryStops()) return MateScore;
  if (!root && !pos.HasRoomForList()) return Evaluate(pos);
  StackPairList& list = pos.CurrentList();
  if constexpr (root) list.Clear();
  bool escapeFound = false;
  if (root && IsInitialPosition(pos))
    GenerateSingleTurns<Us, C>(pos, list);
  else
    GenerateTurns<Us, C>(pos, list, escapeFound);
  const int noTurn = C == InCheck::No || escapeFound ? DrawScore : int(ply) - MateScore;
  if (C == InCheck::Yes && list.Count() == 0) return noTurn;
  const MovePair preferred = sc.Preferred(followPv, ply);
  int legal = 0;
  int best = SearchTurns<Us, Kind>(pos, sc, alpha, beta, ply, depth, followPv, preferred, pvOut, legal);
  if constexpr (root) {
    // An iteration stopped before its first root turn completed found no
    // score: it reports no closing line.
    if (sc.stopped && !pvOut.count) return best;
    if (!legal) best = noTurn;
    sc.Report(depth, best, pvOut);
    return best;
  }
  if (sc.stopped) return MateScore;
  return legal ? best : noTurn;
}

}  // namespace

SearchResult<MovePair> SearchBestMove(MarseillaisPosition& pos, const SearchLimits& limits,
                                      SearchReporter<MovePair>* reporter) {
  Context sc{limits, reporter};
  return IterativeDeepening(pos, sc, [&](auto us, bool inCheck, uint32_t depth, bool followPv, PairPvLine& line) {
    return inCheck
               ? PairSearchNode<us, Node::Root, InCheck::Yes>(pos, sc, -MateScore, MateScore, 0, depth, followPv, line)
               : PairSearchNode<us, Node::Root, InCheck::No>(pos, sc, -MateScore, MateScore, 0, depth, followPv, line);
  });
}

}  // namespace quarn
