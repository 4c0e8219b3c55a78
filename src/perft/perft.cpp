#include "perft/perft.h"

#include <cstdio>

#include "frontend/move_text.h"
#include "movegen/count.h"
#include "movegen/gives_check.h"
#include "movegen/legal.h"
#include "movegen/turns.h"

namespace quarn {

uint64_t nodesPerft = 0;

namespace {

// A child count: listed and recursed above the last ply, counted at it.
template <Color Us, bool InCheck, class P>
uint64_t CountChild(P& pos, int depth);

// Normal chess: the entry (colour, check state) decides the generator; the
// child's check state comes from GivesCheck before the move is made.
template <Color Us, bool InCheck>
void GenerateFor(Position& pos) {
  if constexpr (InCheck)
    GenerateLegalEvasions<Us>(pos, pos.CurrentList());
  else
    GenerateLegalMoves<Us>(pos, pos.CurrentList());
}

// The last ply below the root is counted, never listed.
template <Color Us, bool InCheck>
uint64_t LeafCount(Position& pos) {
  ++nodesPerft;
  if constexpr (InCheck) {
    GenerateLegalEvasions<Us>(pos, pos.CurrentList());
    return uint64_t(pos.CurrentList().Count());
  } else {
    return uint64_t(CountLegalMoves<Us>(pos));
  }
}

template <Color Us, bool InCheck>
uint64_t PerftCount(Position& pos, int depth) {
  constexpr Color Them = Opponent(Us);
  ++nodesPerft;
  GenerateFor<Us, InCheck>(pos);
  StackMoveList& list = pos.CurrentList();
  if (depth == 1) return uint64_t(list.Count());
  uint64_t sum = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const Move m = list.At(i).move;
    const bool check = GivesCheck<Us>(pos, m);
    MakeMoveT<Us, false, true>(pos, m, pos.CurrentUndo()[0]);
    pos.OpenNextPly();
    sum += check ? CountChild<Them, true>(pos, depth - 1) : CountChild<Them, false>(pos, depth - 1);
    --pos.ply;
    UnmakeMoveT<Us, false, true>(pos, m, pos.CurrentUndo()[0]);
  }
  return sum;
}

// Marseillais: one level is one turn; the first-turn rule applies at the root only.
template <Color Us, bool InCheck, bool FirstTurnRule>
void GenerateTurnsFor(MarseillaisPosition& pos) {
  if constexpr (InCheck)
    GenerateLegalTurnsInCheck<Us, FirstTurnRule>(pos, pos.CurrentList());
  else
    GenerateLegalTurns<Us, FirstTurnRule>(pos, pos.CurrentList());
}

template <Color Us, bool InCheck>
uint64_t LeafCount(MarseillaisPosition& pos) {
  ++nodesPerft;
  return CountLegalTurns<Us, InCheck>(pos);
}

template <Color Us, bool InCheck, bool FirstTurnRule = false>
uint64_t PerftCount(MarseillaisPosition& pos, int depth) {
  constexpr Color Them = Opponent(Us);
  ++nodesPerft;
  GenerateTurnsFor<Us, InCheck, FirstTurnRule>(pos);
  StackPairList& list = pos.CurrentList();
  if (depth == 1) return uint64_t(list.Count());
  uint64_t sum = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const MovePair p = list.At(i).pair;
    const bool check = TurnGivesCheck<Us>(pos, p);
    MakePairT<Us, false>(pos, p, pos.CurrentUndo());
    pos.OpenNextPly();
    sum += check ? CountChild<Them, true>(pos, depth - 1) : CountChild<Them, false>(pos, depth - 1);
    --pos.ply;
    UnmakePairT<Us, false>(pos, p, pos.CurrentUndo());
  }
  return sum;
}

template <Color Us, bool InCheck, class P>
uint64_t CountChild(P& pos, int depth) {
  return depth == 1 ? LeafCount<Us, InCheck>(pos) : PerftCount<Us, InCheck>(pos, depth);
}

template <class P>
uint64_t RootDispatch(P& pos, int depth) {
  constexpr bool marseillais = sizeof(typename P::ElementType) == sizeof(ScoredPair);
  const bool inCheck = SideToMoveInCheck(pos);
  nodesPerft = 0;
  pos.CurrentList().Clear();  // the game-over test may have left its list here
  if (pos.sideToMove == White) {
    if constexpr (marseillais)
      return inCheck ? PerftCount<White, true, true>(pos, depth) : PerftCount<White, false, true>(pos, depth);
    else
      return inCheck ? PerftCount<White, true>(pos, depth) : PerftCount<White, false>(pos, depth);
  }
  if constexpr (marseillais)
    return inCheck ? PerftCount<Black, true, true>(pos, depth) : PerftCount<Black, false, true>(pos, depth);
  else
    return inCheck ? PerftCount<Black, true>(pos, depth) : PerftCount<Black, false>(pos, depth);
}

// Elapsed centiseconds of a run that began with StartClock; the clock is left stopped.
int32_t FinishTiming(TimeControl& tc) {
  if (tc.running) StopClock(tc);
  return ClockUsed(tc) - tc.moveStartUsed;
}

int32_t PerSecond(uint64_t count, int32_t elapsed) {
  if (elapsed <= 0) return 0;
  const double rate = double(count) * 100.0 / double(elapsed);
  return rate >= 2147483647.0 ? INT32_MAX : int32_t(rate);
}

void PrintStatistics(int depth, uint64_t result, int32_t elapsed) {
  std::printf("# perft(%d) = %llu, nodesPerft=%llu, time=%d.%02d, lps=%d, nps=%d\n", depth, (unsigned long long)result,
              (unsigned long long)nodesPerft, elapsed / 100, elapsed % 100, PerSecond(result, elapsed),
              PerSecond(nodesPerft, elapsed));
  std::fflush(stdout);
}

template <class P>
void RunPerftImpl(P& pos, TimeControl& tc, int depth) {
  StartClock(tc);
  const uint64_t result = RootDispatch(pos, depth);
  PrintStatistics(depth, result, FinishTiming(tc));
}

// Counts below one root entry: the entry is made, the child counted with the
// check state the entry gives, the entry taken back.
template <Color Us>
uint64_t CountBelow(Position& pos, Move m, int depth) {
  const bool check = GivesCheck<Us>(pos, m);
  MakeMoveT<Us, false, true>(pos, m, pos.CurrentUndo()[0]);
  pos.OpenNextPly();
  const uint64_t n = check ? CountChild<Opponent(Us), true>(pos, depth) : CountChild<Opponent(Us), false>(pos, depth);
  --pos.ply;
  UnmakeMoveT<Us, false, true>(pos, m, pos.CurrentUndo()[0]);
  return n;
}
template <Color Us>
uint64_t CountBelow(MarseillaisPosition& pos, MovePair p, int depth) {
  const bool check = TurnGivesCheck<Us>(pos, p);
  MakePairT<Us, false>(pos, p, pos.CurrentUndo());
  pos.OpenNextPly();
  const uint64_t n = check ? CountChild<Opponent(Us), true>(pos, depth) : CountChild<Opponent(Us), false>(pos, depth);
  --pos.ply;
  UnmakePairT<Us, false>(pos, p, pos.CurrentUndo());
  return n;
}

void EntryText(const ScoredMove& e, char* text) { FormatMove(e.move, text); }
void EntryText(const ScoredPair& e, char* text) { FormatMovePair(e.pair, text); }
Move EntryValue(const ScoredMove& e) { return e.move; }
MovePair EntryValue(const ScoredPair& e) { return e.pair; }

template <class P>
void RunDivideImpl(P& pos, TimeControl& tc, int depth) {
  StartClock(tc);
  // The root list is generated the way a count of depth 1 does it.
  RootDispatch(pos, 1);
  nodesPerft = 1;
  auto& list = pos.CurrentList();
  uint64_t total = 0;
  char text[16];
  for (int i = 0; i < list.Count(); ++i) {
    EntryText(list.At(i), text);
    if (depth == 1) {
      std::printf("# %-5s: %llu\n", text, 1ULL);
      total += 1;
      continue;
    }
    const auto value = EntryValue(list.At(i));
    const uint64_t n =
        pos.sideToMove == White ? CountBelow<White>(pos, value, depth - 1) : CountBelow<Black>(pos, value, depth - 1);
    total += n;
    std::printf("%-5s %llu\n", text, (unsigned long long)n);
  }
  PrintStatistics(depth, total, FinishTiming(tc));
}

}  // namespace

uint64_t PerftRoot(Position& pos, int depth) { return RootDispatch(pos, depth); }
uint64_t PerftRoot(MarseillaisPosition& pos, int depth) { return RootDispatch(pos, depth); }

void RunPerft(Position& pos, TimeControl& tc, int depth) { RunPerftImpl(pos, tc, depth); }
void RunPerft(MarseillaisPosition& pos, TimeControl& tc, int depth) { RunPerftImpl(pos, tc, depth); }
void RunDivide(Position& pos, TimeControl& tc, int depth) { RunDivideImpl(pos, tc, depth); }
void RunDivide(MarseillaisPosition& pos, TimeControl& tc, int depth) { RunDivideImpl(pos, tc, depth); }

}  // namespace quarn
