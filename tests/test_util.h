// The helpers the unit and deep tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "frontend/clock.h"
#include "frontend/move_text.h"
#include "movegen/legal.h"
#include "movegen/turns.h"
#include "position/fen.h"
#include "position/make_unmake.h"
#include "position/position.h"
#include "search/search.h"

namespace quarn::test {

inline constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

inline constexpr const char* Rooks = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";

// The four ways to make a move: with or without the evaluation sums, passing
// the turn or keeping it.
struct Flavour {
  bool full, flip;
  void (*make)(Board&, Move, UndoRecord&);
  void (*unmake)(Board&, Move, const UndoRecord&);
};
inline const Flavour Flavours[] = {{true, true, MakeMove, UnmakeMove},
                                   {true, false, MakeMoveKeepSide, UnmakeMoveKeepSide},
                                   {false, true, MakeMoveFast, UnmakeMoveFast},
                                   {false, false, MakeMoveFastKeepSide, UnmakeMoveFastKeepSide}};

inline Square Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }
inline std::string SquareName(int sq) {
  return IsOffBoard(sq) ? "-" : std::string{char('a' + FileOf(sq)), char('1' + RankOf(sq))};
}
// "e2e4" with an explicit kind and extra field.
inline Move Mv(const char* text, int kind = NormalMove, int extra = 0) {
  return MakeMoveWord(Sq(text), Sq(text + 2), kind, extra);
}
inline std::string Text(Move m) {
  char text[16] = {};
  FormatMove(m, text);
  return text;
}
inline std::string Text(MovePair p) {
  char text[32] = {};
  FormatMovePair(p, text);
  return text;
}
template <class T>
inline std::string Join(const std::vector<T>& words) {
  std::string out;
  for (T w : words) {
    if (!out.empty()) out += ' ';
    out += Text(w);
  }
  return out;
}

// A growable list with the interface the generators and turn builders expect.
template <class E>
struct VectorList {
  using value_type = E;
  std::vector<E> items;
  int Count() const { return int(items.size()); }
  E& At(int i) { return items[size_t(i)]; }
  const E& At(int i) const { return items[size_t(i)]; }
  void Append(const E& e) { items.push_back(e); }
  void Clear() { items.clear(); }
  void Truncate(int n) { items.resize(size_t(n)); }
  void RemoveAt(int i) { items.erase(items.begin() + i); }
};
inline Move Word(const ScoredMove& e) { return e.move; }
inline MovePair Word(const ScoredPair& e) { return e.pair; }
template <class List>
inline auto Words(const List& list) {
  std::vector<decltype(Word(list.At(0)))> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(Word(list.At(i)));
  return out;
}
// The legal moves, or the legal turns with the first-turn rule.
inline std::vector<Move> LegalMoves(Board& b) {
  VectorList<ScoredMove> list;
  GenerateLegalMovesForSideToMove(b, list);
  return Words(list);
}
inline std::vector<MovePair> LegalTurns(Board& b) {
  VectorList<ScoredPair> list;
  GenerateLegalTurnsForSideToMove(b, list);
  return Words(list);
}
inline std::vector<Move> Legal(Position& p) { return LegalMoves(p); }
inline std::vector<MovePair> Legal(MarseillaisPosition& p) { return LegalTurns(p); }
template <class P>
using BestOf = std::conditional_t<std::is_same_v<P, Position>, Move, MovePair>;

// The position objects are large: one of each serves a whole test binary.
template <class P = Position>
inline P& Shared() {
  static std::unique_ptr<P> pos = ConstructPosition<P>();
  return *pos;
}
// Sets the position as "setboard" would and empties frame 0.
template <class P>
inline ::testing::AssertionResult Load(P& pos, const std::string& fen) {
  if (!SetupPlayableFen(pos, fen.c_str())) return ::testing::AssertionFailure() << "rejected FEN: " << fen;
  pos.ResetPly();
  return ::testing::AssertionSuccess();
}
template <class P = Position>
inline P& Loaded(const std::string& fen) {
  EXPECT_TRUE(Load(Shared<P>(), fen));
  return Shared<P>();
}
inline Board BoardFromFen(const std::string& fen) {
  Board b;
  EXPECT_TRUE(SetFromFen(b, fen.c_str())) << "rejected: " << fen;
  return b;
}

// The same position with the colours exchanged and the board turned upside
// down: every count and every answer must be the same for it.
inline std::string MirrorFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling, ep, half = "0", full = "1", out, rank, rights;
  in >> board >> side >> castling >> ep >> half >> full;
  auto swapCase = [](char c) { return char(std::isalpha(c) ? c ^ 0x20 : c); };
  for (char c : board + "/") {
    if (c != '/') {
      rank += swapCase(c);
      continue;
    }
    out = rank + (out.empty() ? "" : "/") + out;
    rank.clear();
  }
  for (char want : {'K', 'Q', 'k', 'q'})
    if (castling.find(swapCase(want)) != std::string::npos) rights += want;
  if (ep != "-") ep[1] = char('1' + ('8' - ep[1]));
  return out + (side == "w" ? " b " : " w ") + (rights.empty() ? "-" : rights) + " " + ep + " " + half + " " + full;
}
template <class F>
inline void BothColours(const std::string& fen, F&& run) {
  run(fen, false);
  run(MirrorFen(fen), true);
}
template <Color C>
using ColorTag = std::integral_constant<Color, C>;
// Calls f with the side to move as a compile-time colour tag.
template <class F>
inline auto ForSide(const Board& b, F&& f) {
  return b.sideToMove == White ? f(ColorTag<White>{}) : f(ColorTag<Black>{});
}

// Bit-for-bit equality of the state fields; a difference names the fields.
inline ::testing::AssertionResult BoardsEqual(const Board& a, const Board& b) {
#define QUARN_FIELD(f) \
  { #f, offsetof(Board, f), sizeof(Board::f) }
  const struct {
    const char* name;
    std::size_t offset, size;
  } fields[] = {QUARN_FIELD(pieceLists), QUARN_FIELD(materialSum), QUARN_FIELD(placementSum),
                QUARN_FIELD(colorAt),    QUARN_FIELD(typeAt),      QUARN_FIELD(slotAt),
                QUARN_FIELD(sideToMove), QUARN_FIELD(epSquare),    QUARN_FIELD(castlingRights)};
#undef QUARN_FIELD
  std::string diff;
  for (const auto& f : fields)
    if (std::memcmp(reinterpret_cast<const char*>(&a) + f.offset, reinterpret_cast<const char*>(&b) + f.offset, f.size))
      diff += std::string(" ") + f.name;
  if (diff.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "boards differ in" << diff << ": " << PositionToFen(a) << " vs "
                                       << PositionToFen(b);
}

// The lines a call prints on standard output.
template <class F>
inline std::vector<std::string> Printed(F&& f) {
  testing::internal::CaptureStdout();
  f();
  std::istringstream in(testing::internal::GetCapturedStdout());
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// A search to a fixed depth with the clock idle, or (noTime) a timed search
// with nothing on the clock.
template <class P>
inline SearchResult SearchTo(P& pos, int depth, BestOf<P>& best, bool print = false, bool noTime = false) {
  TimeControl tc;
  if (noTime) {
    tc.baseTime = 0;
    StartClock(tc);
    tc.moveStartUsed = ClockUsed(tc);
  }
  best = 0;
  const SearchLimits limits{noTime ? MaxSearchDepth : depth, noTime, print};
  SearchResult r;
  if constexpr (std::is_same_v<P, Position>)
    r = SearchBestMove(pos, tc, best, limits);
  else
    r = SearchBestMovePair(pos, tc, best, limits);
  if (noTime) StopClock(tc);
  return r;
}

}  // namespace quarn::test
