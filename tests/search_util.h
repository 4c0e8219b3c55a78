// Helpers for the search and ordering tests: positions from FEN, move text,
// legal-move lookups and depth-limited searches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "frontend/clock.h"
#include "frontend/move_text.h"
#include "movegen/legal.h"
#include "movegen/turns.h"
#include "position/attacks.h"
#include "position/fen.h"
#include "position/position.h"
#include "search/search.h"

namespace quarn::test {

// A fresh position object set up from the FEN, with an empty ply stack.
// Null when the FEN is not one the engine can play from.
template <class P = Position>
inline std::unique_ptr<P> PositionFromFen(const char* fen) {
  std::unique_ptr<P> pos = ConstructPosition<P>();
  if (!pos) return pos;
  if (!SetupPlayableFen(*pos, fen)) return nullptr;
  pos->ResetPly();
  return pos;
}

inline std::string MoveText(Move m) {
  char text[8];
  FormatMove(m, text);
  return text;
}

inline std::string PairText(MovePair p) {
  char text[16];
  FormatMovePair(p, text);
  return text;
}

// A growable move list with the interface the generators use.
template <class Element>
struct VectorList {
  using value_type = Element;
  std::vector<Element> items;
  int Count() const { return int(items.size()); }
  Element& At(int i) { return items[size_t(i)]; }
  const Element& At(int i) const { return items[size_t(i)]; }
  void Append(const Element& e) { items.push_back(e); }
  void Clear() { items.clear(); }
  void Truncate(int n) { items.resize(size_t(n)); }
  void RemoveAt(int i) { items.erase(items.begin() + i); }
};

// The legal moves of the side to move on any board.
inline std::vector<Move> LegalMoves(Board& b) {
  FixedMoveList list;
  GenerateLegalMovesForSideToMove(b, list);
  std::vector<Move> moves;
  for (int i = 0; i < list.Count(); ++i) moves.push_back(list.At(i).move);
  return moves;
}

// The legal turns of the side to move (first-turn rule included).
inline std::vector<MovePair> LegalTurns(Board& b) {
  VectorList<ScoredPair> list;
  GenerateLegalTurnsForSideToMove(b, list);
  std::vector<MovePair> turns;
  for (const ScoredPair& e : list.items) turns.push_back(e.pair);
  return turns;
}

// The legal move written as text ("e2e4", "e7e8q"), or 0.
inline Move FindMove(Position& pos, const char* text) {
  ParsedMove parsed;
  if (!ParseCoordinateMove(text, parsed)) return 0;
  const Move m = FindUserMove(pos, parsed);
  pos.CurrentList().Clear();
  return m;
}

// The legal turn written as "e2e4" or "e2e4,d2d4", or 0.
inline MovePair FindPair(MarseillaisPosition& pos, const std::string& text) {
  const size_t comma = text.find(',');
  ParsedMove first, second;
  if (!ParseCoordinateMove(text.substr(0, comma).c_str(), first)) return 0;
  if (comma != std::string::npos && !ParseCoordinateMove(text.substr(comma + 1).c_str(), second)) return 0;
  const MovePair p = FindUserMovePair(pos, first, second);
  pos.CurrentList().Clear();
  return p;
}

// An untimed search to a fixed depth with the clock idle.
inline SearchResult SearchToDepth(Position& pos, int depth, Move& best, bool print = false) {
  TimeControl tc;
  best = 0;
  return SearchBestMove(pos, tc, best, SearchLimits{depth, false, print});
}

inline SearchResult SearchPairToDepth(MarseillaisPosition& pos, int depth, MovePair& best, bool print = false) {
  TimeControl tc;
  best = 0;
  return SearchBestMovePair(pos, tc, best, SearchLimits{depth, false, print});
}

// Splits text into lines (without their newlines).
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Splits a line at single spaces.
inline std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

}  // namespace quarn::test
