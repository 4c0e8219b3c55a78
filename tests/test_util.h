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

#include "frontend/move_text.h"
#include "movegen/variants.h"
#include "position/fen.h"
#include "search/search.h"

namespace quarn::test {

inline constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

inline constexpr const char* Rooks = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";

// Run-time colour forms of make and unmake (the engine's own are chosen at
// compile time); unmake's mover is the side to move again once a passed turn
// is handed back.
template <Sums S, Flip F>
inline void MakeAs(Board& b, Move m, UndoRecord& u) {
  WithSideToMove(b, [&](auto us) { MakeMoveT<us, S, F>(b, m, u); });
}
template <Sums S, Flip F>
inline void UnmakeAs(Board& b, Move m, const UndoRecord& u) {
  WithSideToMove(b, [&](auto side) {
    constexpr Color mover = F == Flip::PassTurn ? Opponent(side) : Color(side);
    UnmakeMoveT<mover, S, F>(b, m, u);
  });
}
inline void MakeMove(Board& b, Move m, UndoRecord& u) { MakeAs<Sums::Keep, Flip::PassTurn>(b, m, u); }
template <Sums S = Sums::Keep>
inline void MakeTurn(Board& b, MovePair p, UndoRecord u[2]) {
  WithSideToMove(b, [&](auto us) { MakePairT<us, S>(b, p, u); });
}
template <Sums S = Sums::Keep>
inline void UnmakeTurn(Board& b, MovePair p, const UndoRecord u[2]) {
  WithSideToMove(b, [&](auto side) { UnmakePairT<Opponent(side), S>(b, p, u); });
}
// The four ways to make a move: with or without the evaluation sums, passing
// the turn or keeping it.
struct Flavour {
  bool full, flip;
  void (*make)(Board&, Move, UndoRecord&);
  void (*unmake)(Board&, Move, const UndoRecord&);
};
inline const Flavour Flavours[] = {
    {true, true, MakeAs<Sums::Keep, Flip::PassTurn>, UnmakeAs<Sums::Keep, Flip::PassTurn>},
    {true, false, MakeAs<Sums::Keep, Flip::KeepSide>, UnmakeAs<Sums::Keep, Flip::KeepSide>},
    {false, true, MakeAs<Sums::Skip, Flip::PassTurn>, UnmakeAs<Sums::Skip, Flip::PassTurn>},
    {false, false, MakeAs<Sums::Skip, Flip::KeepSide>, UnmakeAs<Sums::Skip, Flip::KeepSide>}};
inline bool IsSquareAttackedBy(const Board& b, Square s, Color a) {
  return a == White ? IsSquareAttacked<White>(b, s) : IsSquareAttacked<Black>(b, s);
}
inline void Play(Position& pos, Move m) { PlayTurn<NormalChess>(pos, m); }
inline void Play(MarseillaisPosition& pos, MovePair p) { PlayTurn<MarseillaisChess>(pos, p); }

inline Square Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }
inline std::string SquareName(int sq) {
  return IsOffBoard(sq) ? "-" : std::string{char('a' + FileOf(sq)), char('1' + RankOf(sq))};
}
// "e2e4" with an explicit kind and extra field.
inline Move Mv(const char* text, int kind = NormalMove, int extra = 0) {
  return MakeMoveWord(Sq(text), Sq(text + 2), kind, extra);
}
template <class Turn>
inline std::string Text(Turn t) {
  char text[32] = {};
  FormatTurn(t, text);
  return text;
}
// Texts joined by appending each to one string. Tests build their messages
// with it rather than with + on temporary strings: GCC 12, once link-time
// optimisation and a profile inline std::string's operator+ (which may
// insert the left part in front of a temporary right part), warns falsely
// about those insertions (-Wstringop-overflow, -Wfree-nonheap-object).
template <class... Parts>
inline std::string Cat(const Parts&... parts) {
  std::string out;
  (out += ... += parts);
  return out;
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
};
inline Move Word(const ScoredMove& e) { return e.move; }
inline MovePair Word(const ScoredPair& e) { return e.pair; }
template <class List>
inline auto Words(const List& list) {
  std::vector<decltype(Word(list.At(0)))> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(Word(list.At(i)));
  return out;
}
// The legal moves, or the legal turns (by default with the first-turn rule).
template <class V, FirstTurnRule R = FirstTurnRule::On, class List>
inline void GenerateLegalFor(Board& b, List& list) {
  const bool inCheck = SideToMoveInCheck(b);
  WithSideToMove(b, [&](auto us) {
    if (inCheck)
      V::template GenerateLegal<us, InCheck::Yes, R>(b, list);
    else
      V::template GenerateLegal<us, InCheck::No, R>(b, list);
  });
}
inline std::vector<Move> LegalMoves(Board& b) {
  VectorList<ScoredMove> list;
  GenerateLegalFor<NormalChess>(b, list);
  return Words(list);
}
template <FirstTurnRule R = FirstTurnRule::On>
inline std::vector<MovePair> LegalTurns(Board& b) {
  VectorList<ScoredPair> list;
  GenerateLegalFor<MarseillaisChess, R>(b, list);
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
  return Cat(out, side == "w" ? " b " : " w ", rights.empty() ? "-" : rights.c_str(), " ", ep, " ", half, " ", full);
}
template <class F>
inline void BothColours(const std::string& fen, F&& run) {
  run(fen, false);
  run(MirrorFen(fen), true);
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

// What a search reported: its thinking lines as values.
template <class Turn>
struct ThinkingLine {
  int depth, score;
  uint64_t nodes;
  std::vector<Turn> line;
};
template <class Turn>
struct ThinkingRecorder final : SearchReporter<Turn> {
  std::vector<ThinkingLine<Turn>> lines;
  void Thinking(int depth, int score, uint64_t nodes, const BasicPvLine<Turn>& line) override {
    lines.push_back({depth, score, nodes, std::vector<Turn>(line.moves, line.moves + line.count)});
  }
};

template <class P>
inline auto SearchTo(P& pos, int depth, SearchReporter<BestOf<P>>* reporter = nullptr) {
  SearchLimits limits;
  limits.maxDepth = depth;
  return SearchBestMove(pos, limits, reporter);
}

}  // namespace quarn::test
