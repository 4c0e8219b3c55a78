// Search and ordering test helpers, overloaded on the variant: a Position
// plays moves, a MarseillaisPosition turns (move pairs).
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "frontend/clock.h"
#include "frontend/move_text.h"
#include "movegen/legal.h"
#include "movegen/turns.h"
#include "position/fen.h"
#include "position/position.h"
#include "search/search.h"

namespace quarn::test {

// Set up as "setboard" would, with an empty ply stack; null when refused.
template <class P = Position>
inline std::unique_ptr<P> PositionFromFen(const char* fen) {
  std::unique_ptr<P> pos = ConstructPosition<P>();
  if (!pos || !SetupPlayableFen(*pos, fen)) return nullptr;
  pos->ResetPly();
  return pos;
}

template <class P>
using BestOf = std::conditional_t<std::is_same_v<P, Position>, Move, MovePair>;

inline std::string Text(Move m) {
  char text[8];
  FormatMove(m, text);
  return text;
}
inline std::string Text(MovePair p) {
  char text[16];
  FormatMovePair(p, text);
  return text;
}

inline std::vector<Move> LegalMoves(Board& b) {
  FixedMoveList list;
  GenerateLegalMovesForSideToMove(b, list);
  std::vector<Move> moves;
  for (int i = 0; i < list.Count(); ++i) moves.push_back(list.At(i).move);
  return moves;
}

// The legal turns, first-turn rule included.
inline std::vector<MovePair> LegalTurns(Board& b) {
  struct List {
    std::vector<ScoredPair> items;
    int Count() const { return int(items.size()); }
    ScoredPair& At(int i) { return items[size_t(i)]; }
    void Append(const ScoredPair& e) { items.push_back(e); }
    void Clear() { items.clear(); }
    void Truncate(int n) { items.resize(size_t(n)); }
    void RemoveAt(int i) { items.erase(items.begin() + i); }
  } list;
  GenerateLegalTurnsForSideToMove(b, list);
  std::vector<MovePair> turns;
  for (const ScoredPair& e : list.items) turns.push_back(e.pair);
  return turns;
}

inline std::vector<Move> Legal(Position& p) { return LegalMoves(p); }
inline std::vector<MovePair> Legal(MarseillaisPosition& p) { return LegalTurns(p); }

template <class P>
inline bool IsLegal(P& pos, BestOf<P> m) {
  const auto all = Legal(pos);
  return m != 0 && std::find(all.begin(), all.end(), m) != all.end();
}

// The legal move ("e7e8q") or turn ("e2e4,d2d4") written as text, or 0.
inline Move Find(Position& pos, const std::string& text) {
  ParsedMove parsed;
  if (!ParseCoordinateMove(text.c_str(), parsed)) return 0;
  const Move m = FindUserMove(pos, parsed);
  pos.CurrentList().Clear();
  return m;
}
inline MovePair Find(MarseillaisPosition& pos, const std::string& text) {
  const size_t comma = text.find(',');
  ParsedMove first, second;
  if (!ParseCoordinateMove(text.substr(0, comma).c_str(), first)) return 0;
  if (comma != std::string::npos && !ParseCoordinateMove(text.substr(comma + 1).c_str(), second)) return 0;
  const MovePair p = FindUserMovePair(pos, first, second);
  pos.CurrentList().Clear();
  return p;
}

inline void Play(Position& pos, Move m) { PlayMove(pos, m); }
inline void Play(MarseillaisPosition& pos, MovePair p) { PlayMovePair(pos, p); }

// A search to a fixed depth with the clock idle, or a timed search with
// nothing on the clock.
template <class P>
inline SearchResult SearchTo(P& pos, int depth, BestOf<P>& best, bool print = false, bool noTime = false) {
  TimeControl tc;
  if (noTime) {
    tc.baseTime = 0;
    StartClock(tc);
    tc.moveStartUsed = ClockUsed(tc);
  }
  const SearchLimits limits{noTime ? MaxSearchDepth : depth, noTime, print};
  best = 0;
  SearchResult r;
  if constexpr (std::is_same_v<P, Position>)
    r = SearchBestMove(pos, tc, best, limits);
  else
    r = SearchBestMovePair(pos, tc, best, limits);
  if (noTime) StopClock(tc);
  return r;
}

}  // namespace quarn::test
