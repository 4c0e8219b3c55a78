#include "search/search.h"

#ifdef QUARN_CHECK_INVARIANTS
#include <cstdio>
#include <cstdlib>
#endif

#include "eval/evaluate.h"
#include "search/ordering.h"
#include "search/search_context.h"

namespace quarn {

namespace {

using Context = SearchContext<NormalChess>;

#ifdef QUARN_CHECK_INVARIANTS
// Debug builds check each evaluation found before its move is made against
// the evaluation after making it.
template <Color Us>
void CheckEvaluateAfter(Position& pos, Move m, int found) {
  UndoRecord u;
  MakeMoveT<Us, Sums::Keep, Flip::PassTurn>(pos, m, u);
  const int after = Evaluate(pos);
  UnmakeMoveT<Us, Sums::Keep, Flip::PassTurn>(pos, m, u);
  if (after == found) return;
  std::fprintf(stderr, "quarn: evaluation before the move %d, after it %d\n", found, after);
  std::abort();
}
#endif

// standPat: a quiescence node's static evaluation, given by its parent
// (other nodes evaluate for themselves).
template <Color Us, Node Kind, InCheck C>
int SearchNode(Position& pos, Context& sc, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
               PvLine& pvOut, int standPat = 0);

// The child of a legal move that is not a quiescence node: in check it is
// searched whole (the check extension keeps at least one ply).
template <Color Them>
int SearchFullChild(Position& pos, Context& sc, bool check, int alpha, int beta, uint32_t ply, uint32_t depth,
                    bool followPv, PvLine& child) {
  if (check)
    return -SearchNode<Them, Node::Inner, InCheck::Yes>(pos, sc, alpha, beta, ply, depth > 1 ? depth - 1 : 1, followPv,
                                                        child);
  return -SearchNode<Them, Node::Inner, InCheck::No>(pos, sc, alpha, beta, ply, depth - 1, followPv, child);
}

// One node of any kind, and its move loop: make, test, recurse, take back.
// Quiescence stands pat on the static evaluation and tries captures only;
// the root searches every move (no cut-off; its window is the whole range)
// and reports every improvement and the closing line of its iteration.
//
// A quiescence child (every child of a quiescence node, and at the horizon
// the children of moves that do not check) is entered by its parent, which
// counts it, evaluates it and returns its stand-pat score itself; only a
// child that does not stand pat is searched, given that evaluation. A normal
// move that needs no legality test is evaluated before it is made, from the
// parent's evaluation terms, and made only if its child searches on.
template <Color Us, Node Kind, InCheck C>
int SearchNode(Position& pos, Context& sc, int alpha, int beta, uint32_t ply, uint32_t depth, bool followPv,
               PvLine& pvOut, int standPat) {
  constexpr Color Them = Opponent(Us);
  constexpr bool root = Kind == Node::Root, quiescence = Kind == Node::Quiescence;
  int best = -MateScore;
  if constexpr (quiescence) {
    best = standPat;
    // However long a chain of captures, the ply stack is never overrun.
    if (!pos.HasRoomForList()) return best;
  } else {
    if (sc.NodeEntryStops()) return MateScore;
    // Out of frames or stack (a long chain of checks): answer statically.
    if (!root && !pos.HasRoomForList()) return Evaluate(pos);
  }
  StackMoveList& list = pos.CurrentList();
  if constexpr (root) list.Clear();
  // Only a piece on a line with its king can be pinned: the pin set is
  // found when the first such piece moves (never in check, where every move
  // is tested).
  const Square king = pos.KingSquare(Us);
  uint64_t pinMask = 0;
  bool pinsFound = false;
  RankingList ranking{list};
  if constexpr (quiescence) {
    GenerateCaptures<Us>(pos, ranking);
    if (list.Count() == 0) return best;
  } else if constexpr (C == InCheck::Yes) {
    GenerateEvasions<Us>(pos, ranking);
    if (list.Count() == 0) return int(ply) - MateScore;
  } else {
    GenerateMoves<Us>(pos, ranking);
  }
  const Move preferred = sc.Preferred(followPv, ply);
  const int ranked = ranking.captures + RankPreferred(list, preferred);
  // In check every move is tested after it is made.
  const bool quiescentChildren = quiescence || depth == 1;
  EvalTerms terms{};
  if (C == InCheck::No && quiescentChildren) terms = EvalTermsOf(pos);
  // Every take-back leaves the sums alone and puts these back.
  const SumsRecord sums = SaveSums(pos);
  int legal = 0;
  for (int k = 0;; ++k) {
    const ScoredMove* picked = PickNextRanked(k, list, ranked);
    if (!picked) break;
    const Move m = picked->move;
    if constexpr (quiescence) {
      // Few captures leave a line with the king: each looks along its own.
      const Square from = MoveFrom(m);
      pinMask = king != NoSquare && Direction(king, from) != 0 && IsPinnedOnLine<Us>(pos, king, from)
                    ? uint64_t(1) << FromIndex(m)
                    : 0;
    } else if (C == InCheck::No && !pinsFound && Direction(king, MoveFrom(m)) != 0) {
      pinMask = PinnedPieces<Us>(pos);
      pinsFound = true;
    }
    const bool needsTest = C == InCheck::Yes || NeedsLegalityTest(pos, m, pinMask);
    const bool check = !quiescence && GivesCheck<Us>(pos, m);
    const bool quiescentChild = quiescentChildren && !check;
    UndoRecord& undo = pos.CurrentUndo()[0];
    bool made = false;
    const auto make = [&] {
      MakeMoveT<Us, Sums::Keep, Flip::PassTurn>(pos, m, undo);
      pos.OpenNextPly();
      made = true;
    };
    const auto takeBack = [&] {
      --pos.ply;
      UnmakeMoveT<Us, Sums::Skip, Flip::PassTurn>(pos, m, undo);
      RestoreSums(pos, sums);
    };
    if (!quiescentChild || needsTest || MoveKindOf(m) != NormalMove) {  // else evaluated first, made if need be
      make();
      if (needsTest && IsInCheck<Us>(pos)) {
        takeBack();
        continue;
      }
    }
    ++legal;
    PvLine child;
    child.count = 0;
    if (followPv && m != preferred) followPv = false;
    const int childBeta = -(best > alpha ? best : alpha);
    int score;
    if (!quiescentChild) {
      score = SearchFullChild<Them>(pos, sc, check, -beta, childBeta, ply + 1, depth, followPv, child);
    } else if (sc.NodeEntryStops()) {
      score = -MateScore;
    } else {
      const int childStandPat = made ? Evaluate(pos) : EvaluateAfter<Us>(pos, terms, m);
#ifdef QUARN_CHECK_INVARIANTS
      if (!made) CheckEvaluateAfter<Us>(pos, m, childStandPat);
#endif
      if (childStandPat >= childBeta) {
        score = -childStandPat;
      } else {
        if (!made) make();
        score = -SearchNode<Them, Node::Quiescence, InCheck::No>(pos, sc, -beta, childBeta, ply + 1, 0, followPv, child,
                                                                 childStandPat);
      }
    }
    if (made) takeBack();
    if (sc.stopped) {
      if constexpr (root) break;
      return MateScore;
    }
    if (score > best) {
      best = score;
      if constexpr (root) {
        CopyPv(pvOut, m, child);
        sc.Report(depth, best, pvOut);
      } else {
        if (score >= beta) break;
        if (score > alpha) CopyPv(pvOut, m, child);
      }
    }
  }
  if constexpr (root) {
    // An iteration stopped before its first root move completed found no
    // score: it reports no closing line.
    if (sc.stopped && !pvOut.count) return best;
    if (!legal) best = C == InCheck::Yes ? -MateScore : DrawScore;
    sc.Report(depth, best, pvOut);
    return best;
  }
  if constexpr (quiescence) return best;
  // No legal move: mated in check, else stalemated.
  if (legal) return best;
  return C == InCheck::Yes ? int(ply) - MateScore : DrawScore;
}

}  // namespace

SearchResult<Move> SearchBestMove(Position& pos, const SearchLimits& limits, SearchReporter<Move>* reporter) {
  Context sc{limits, reporter};
  return IterativeDeepening(pos, sc, [&](auto us, bool inCheck, uint32_t depth, bool followPv, PvLine& line) {
    return inCheck ? SearchNode<us, Node::Root, InCheck::Yes>(pos, sc, -MateScore, MateScore, 0, depth, followPv, line)
                   : SearchNode<us, Node::Root, InCheck::No>(pos, sc, -MateScore, MateScore, 0, depth, followPv, line);
  });
}

}  // namespace quarn
