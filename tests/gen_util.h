// Helpers for the move-generation, perft and Marseillais turn tests: shared
// positions, move text, colour dispatch, FEN mirroring, and slow reference
// computations (make every move and look at the kings) that the fast
// generators are checked against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "frontend/move_text.h"
#include "movegen/count.h"
#include "movegen/generate.h"
#include "movegen/gives_check.h"
#include "movegen/legal.h"
#include "movegen/turns.h"
#include "perft/perft.h"
#include "position/fen.h"
#include "position/make_unmake.h"
#include "position/position.h"

namespace gen {

using namespace quarn;

// The position objects are large: one of each serves a whole test binary.
inline Position& SharedPosition() {
  static std::unique_ptr<Position> pos = ConstructPosition<Position>();
  return *pos;
}
inline MarseillaisPosition& SharedMarseillais() {
  static std::unique_ptr<MarseillaisPosition> pos = ConstructPosition<MarseillaisPosition>();
  return *pos;
}

// Sets the position as "setboard" would and empties frame 0.
template <class P>
inline ::testing::AssertionResult Load(P& pos, const std::string& fen) {
  if (!SetupPlayableFen(pos, fen.c_str())) return ::testing::AssertionFailure() << "rejected FEN: " << fen;
  pos.ResetPly();
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------- text

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
inline Move Word(const ScoredMove& e) { return e.move; }
inline MovePair Word(const ScoredPair& e) { return e.pair; }

// The words of a move or turn list, and any such words as spaced text.
template <class List>
inline auto Words(const List& list) {
  std::vector<decltype(Word(list.At(0)))> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(Word(list.At(i)));
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

inline Square Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }

// ---------------------------------------------------------------- mirroring

// The same position with the colours exchanged and the board turned upside
// down: every count and every answer must be the same for it.
inline std::string MirrorFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling, ep, half = "0", full = "1";
  in >> board >> side >> castling >> ep >> half >> full;
  auto swapCase = [](char c) { return char(std::isalpha(c) ? c ^ 0x20 : c); };
  std::string out, rank;
  for (char c : board + "/") {
    if (c != '/') {
      rank += swapCase(c);
      continue;
    }
    out = rank + (out.empty() ? "" : "/") + out;
    rank.clear();
  }
  std::string rights;
  for (char want : {'K', 'Q', 'k', 'q'}) {
    if (castling.find(swapCase(want)) != std::string::npos) rights += want;
  }
  if (ep != "-") ep[1] = char('1' + ('8' - ep[1]));
  return out + (side == "w" ? " b " : " w ") + (rights.empty() ? "-" : rights) + " " + ep + " " + half + " " + full;
}

// Runs a case on the position and on its mirror image.
template <class F>
inline void BothColours(const std::string& fen, F&& run) {
  run(fen, false);
  run(MirrorFen(fen), true);
}

// Positions rich in checks, double checks, pins, en passant (also along
// the king's rank), castling, promotions, mate and stalemate, besides the
// published ones: the cross-checks run each of them and its mirror image.
inline constexpr const char* kVariedFens[] = {
    StartFen,
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "3k4/8/8/8/8/8/8/R3K3 w Q - 0 1",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
    "1r5k/8/8/8/7p/p7/P6P/K7 w - - 0 1",
    "3R4/8/7k/5B2/1N6/Q2n4/2P1P3/4K3 w - - 0 1",
    "k7/8/8/7B/4r2Q/3P3R/8/2N1K3 w - - 0 1",
    "4k3/2p5/3N4/8/1b6/8/8/4RK2 b - - 0 1",
    "4kr2/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1",
    "8/8/8/KPp4r/8/8/8/7k w - c6 0 1",
    "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1",
    "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "3k4/1P6/8/8/8/8/8/4K3 w - - 0 1",
    "4k3/8/8/8/8/8/8/4KB1R w K - 0 1",
    "r3k2r/8/8/8/8/8/8/RN2K1NR w KQkq - 0 1",
    "r3k2r/8/8/8/3q4/8/8/R3K2R w KQkq - 0 1",
    "8/8/8/8/8/8/4q3/R3K2k w - - 0 1",
    "4r3/1k6/8/8/4N3/8/8/4K3 w - - 0 1",
    "k3r3/8/8/8/4N3/8/3B4/4K3 w - - 0 1",
    "7k/8/8/7N/8/7N/8/K6R w - - 0 1",
    "r3k3/7p/2P5/8/B3N3/8/8/4R1K1 w - - 0 1",
    "4k3/8/8/8/8/8/7R/r3K3 w - - 0 1",
    "4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1",
    "k7/8/8/8/8/8/r7/K1r5 w - - 0 1",
    "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
    "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
    "4k3/8/8/8/8/3n4/8/R3K2R w KQ - 0 1",
    "r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1",
    "8/8/8/R2Pp2k/8/8/8/K7 w - e6 0 1",
    "7k/8/5b2/8/2pP4/8/8/K7 b - d3 0 1",
};

// ---------------------------------------------------------------- dispatch

template <Color C>
using ColorTag = std::integral_constant<Color, C>;
// Calls f with the side to move as a compile-time colour tag.
template <class F>
inline auto ForSide(const Board& b, F&& f) {
  return b.sideToMove == White ? f(ColorTag<White>{}) : f(ColorTag<Black>{});
}

inline bool InCheck(const Board& b) { return SideToMoveInCheck(b); }

enum class Gen { Moves, SecondMoves, Evasions, Captures, Legal };

template <class List>
inline void Generate(Gen g, Board& b, List& list) {
  ForSide(b, [&](auto us) {
    constexpr Color Us = decltype(us)::value;
    if (g == Gen::Moves) GenerateMoves<Us, true, true>(b, list);
    if (g == Gen::SecondMoves) GenerateMoves<Us, true, false>(b, list);
    if (g == Gen::Evasions) GenerateEvasions<Us>(b, list);
    if (g == Gen::Captures) GenerateCaptures<Us>(b, list);
    if (g == Gen::Legal && InCheck(b)) GenerateLegalEvasions<Us>(b, list);
    if (g == Gen::Legal && !InCheck(b)) GenerateLegalMoves<Us>(b, list);
  });
}
inline std::vector<Move> GenerateVector(Gen g, Board& b) {
  FixedMoveList list;
  Generate(g, b, list);
  return Words(list);
}

// Marseillais builders without the first-turn rule, chosen by the check test.
template <class PairList>
inline void LegalTurnsNoRule(Board& b, PairList& list) {
  ForSide(b, [&](auto us) {
    if (InCheck(b))
      GenerateLegalTurnsInCheck<decltype(us)::value, false>(b, list);
    else
      GenerateLegalTurns<decltype(us)::value, false>(b, list);
  });
}
inline bool GivesCheckAny(Board& b, Move m) {
  return ForSide(b, [&](auto us) { return GivesCheck<decltype(us)::value>(b, m); });
}
inline bool TurnGivesCheckAny(Board& b, MovePair p) {
  return ForSide(b, [&](auto us) { return TurnGivesCheck<decltype(us)::value>(b, p); });
}

// A growable list with the interface the turn builders expect.
struct VectorPairList {
  using value_type = ScoredPair;
  std::vector<ScoredPair> items;
  int Count() const { return int(items.size()); }
  ScoredPair& At(int i) { return items[size_t(i)]; }
  const ScoredPair& At(int i) const { return items[size_t(i)]; }
  void Append(const ScoredPair& e) { items.push_back(e); }
  void Clear() { items.clear(); }
  void Truncate(int n) { items.resize(size_t(n)); }
  void RemoveAt(int i) { items.erase(items.begin() + i); }
};
inline std::vector<MovePair> LegalTurnVector(Board& b) {
  VectorPairList list;
  LegalTurnsNoRule(b, list);
  return Words(list);
}

// ---------------------------------------------------------------- board state

inline bool SameBoard(const Board& a, const Board& b) {
  for (int c = 0; c < 2; ++c) {
    const auto &x = a.pieceLists[c], &y = b.pieceLists[c];
    if (std::memcmp(x.squares, y.squares, 16) || std::memcmp(x.countByType, y.countByType, 7) || x.total != y.total ||
        a.materialSum[c] != b.materialSum[c] || a.placementSum[c] != b.placementSum[c])
      return false;
  }
  return !std::memcmp(a.colorAt, b.colorAt, 128) && !std::memcmp(a.typeAt, b.typeAt, 128) &&
         !std::memcmp(a.slotAt, b.slotAt, 128) && a.sideToMove == b.sideToMove && a.epSquare == b.epSquare &&
         a.castlingRights == b.castlingRights;
}

// Collects failure messages of long walks, keeping only the first few.
struct Problems {
  std::vector<std::string> items;
  size_t total = 0;
  void Add(const std::string& s) {
    if (total++ < 20) items.push_back(s);
  }
  ::testing::AssertionResult Result() const {
    if (total == 0) return ::testing::AssertionSuccess();
    auto r = ::testing::AssertionFailure() << total << " problem(s):";
    for (const auto& s : items) r << "\n  " << s;
    return r;
  }
};

// ---------------------------------------------------------------- slow references

// Makes the move keeping the side to move, then asks about the kings.
struct MadeMove {
  Board& b;
  Move m;
  UndoRecord u;
  Color mover;
  MadeMove(Board& board, Move move) : b(board), m(move), mover(Color(board.sideToMove)) {
    MakeMoveFastKeepSide(b, m, u);
  }
  ~MadeMove() { UnmakeMoveFastKeepSide(b, m, u); }
  bool OwnKingAttacked() const { return IsSquareAttackedBy(b, b.KingSquare(mover), Opponent(mover)); }
  bool EnemyKingAttacked() const { return IsSquareAttackedBy(b, b.KingSquare(Opponent(mover)), mover); }
};
inline bool LeavesOwnKingAttacked(Board& b, Move m) { return MadeMove(b, m).OwnKingAttacked(); }

// The legal moves found by making every pseudo-legal move; castling is no
// answer to a check.
inline std::vector<Move> SlowLegalMoves(Board& b) {
  std::vector<Move> out;
  for (Move m : GenerateVector(Gen::Moves, b)) {
    if (!(InCheck(b) && MoveKindOf(m) == CastlingMove) && !LeavesOwnKingAttacked(b, m)) out.push_back(m);
  }
  return out;
}

// Leaf count by the slow legal lists: no bulk counting, no check prediction.
inline uint64_t SlowPerft(Board& b, int depth) {
  if (depth == 0) return 1;
  uint64_t sum = 0;
  for (Move m : SlowLegalMoves(b)) {
    UndoRecord u;
    MakeMoveFast(b, m, u);
    sum += SlowPerft(b, depth - 1);
    UnmakeMoveFast(b, m, u);
  }
  return sum;
}

// The legal turns the slow way: each legal first move; one that checks stands
// alone; otherwise every pseudo-legal second move (castling allowed, no en
// passant) that leaves the mover's king unattacked.
inline std::vector<MovePair> SlowTurns(Board& b) {
  std::vector<MovePair> out;
  for (Move m1 : GenerateVector(Gen::Legal, b)) {
    MadeMove first(b, m1);
    if (first.EnemyKingAttacked()) {
      out.push_back(MakePairWord(m1, 0));
      continue;
    }
    for (Move m2 : GenerateVector(Gen::SecondMoves, b)) {
      if (!LeavesOwnKingAttacked(b, m2)) out.push_back(MakePairWord(m1, m2));
    }
  }
  return out;
}

// Counts turns with the builders without the first-turn rule, checking at
// every made turn that TurnGivesCheck predicted the opponent's check.
inline uint64_t TurnTree(MarseillaisPosition& pos, int depth, Problems& problems) {
  StackPairList& list = pos.CurrentList();
  list.Clear();
  LegalTurnsNoRule(pos, list);
  if (depth == 1) return uint64_t(list.Count());
  uint64_t sum = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const MovePair t = list.At(i).pair;
    const bool predicted = TurnGivesCheckAny(pos, t);
    MakePairFast(pos, t, pos.CurrentUndo());
    if (predicted != InCheck(pos)) problems.Add(PositionToFen(pos) + " after " + Text(t) + ": TurnGivesCheck wrong");
    pos.OpenNextPly();
    sum += TurnTree(pos, depth - 1, problems);
    --pos.ply;
    UnmakePairFast(pos, t, pos.CurrentUndo());
  }
  return sum;
}

// Standard output of a perft or divide run.
template <class P>
inline std::string Capture(void (*run)(P&, TimeControl&, int), P& pos, int depth, TimeControl* used = nullptr) {
  TimeControl tc;
  testing::internal::CaptureStdout();
  run(pos, tc, depth);
  if (used) *used = tc;
  return testing::internal::GetCapturedStdout();
}
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  if (!text.empty() && text.back() != '\n') out.back() += "<no newline>";
  return out;
}

// ---------------------------------------------------------------- tree cross-check

// A generated move word is well formed for the position it came from.
inline std::string MoveWordProblem(const Board& b, Move m) {
  const Color us = Color(b.sideToMove);
  const Square from = MoveFrom(m), to = MoveTo(m);
  const int type = b.typeAt[from], lastRank = us == White ? 7 : 0;
  if (b.colorAt[from] != us) return "no piece of the mover on the from-square";
  if (b.colorAt[to] == us || b.typeAt[to] == King) return "captures an own piece or a king";
  switch (MoveKindOf(m)) {
    case CastlingMove:
      if (m != (us == White ? CastleWhiteShort : CastleBlackShort) &&
          m != (us == White ? CastleWhiteLong : CastleBlackLong))
        return "castling word of the wrong side";
      return type == King ? "" : "castling by a non-king";
    case EnPassantMove:
      return type == Pawn && to == b.epSquare && MoveExtra(m) == 0 ? "" : "bad en-passant word";
    case PromotionMove:
      return type == Pawn && RankOf(to) == lastRank ? "" : "bad promotion word";
    default:
      if (type == Pawn && RankOf(to) == lastRank) return "pawn reaches the last rank without promotion";
      return MoveExtra(m) == ((type == Pawn && (to - from == 32 || from - to == 32)) ? 1 : 0) ? "" : "bad extra field";
  }
}

// Walks the legal tree and, at every node, compares each generator with its
// slow counterpart and every candidate's GivesCheck with make-and-test.
struct TreeChecker {
  Problems problems;
  uint64_t movesChecked = 0;

  std::string Where(Board& b, Move m = 0) { return PositionToFen(b) + (m ? " move " + Text(m) : ""); }

  void Node(Board& b, int depth) {
    const bool inCheck = InCheck(b);
    const std::vector<Move> all = GenerateVector(Gen::Moves, b);
    const std::vector<Move> candidates = inCheck ? GenerateVector(Gen::Evasions, b) : all;
    const std::vector<Move> legal = GenerateVector(Gen::Legal, b), slow = SlowLegalMoves(b);
    std::vector<Move> filtered;  // the candidates that survive make-and-test, in generation order
    for (Move m : candidates) {
      if (!LeavesOwnKingAttacked(b, m)) filtered.push_back(m);
    }
    if (legal != filtered) problems.Add(Where(b) + ": legal list is not the filtered candidate list");
    std::vector<Move> sortedLegal = legal, sortedSlow = slow;  // the order differs only in check
    if (inCheck) std::sort(sortedLegal.begin(), sortedLegal.end()), std::sort(sortedSlow.begin(), sortedSlow.end());
    if (sortedLegal != sortedSlow) problems.Add(Where(b) + ": legal " + Join(legal) + " | slow " + Join(slow));

    // The leaf counters: the whole count, the count without en passant (the
    // second move of a turn), and the king-zone attack map they rest on,
    // square by square against the reporting attack test.
    if (!inCheck) {
      const auto withoutEnPassant =
          std::count_if(slow.begin(), slow.end(), [](Move m) { return MoveKindOf(m) != EnPassantMove; });
      ForSide(b, [&](auto us) {
        constexpr Color Us = decltype(us)::value;
        if (CountLegalMoves<Us>(b) != int(slow.size())) problems.Add(Where(b) + ": leaf count differs");
        if (CountLegalMoves<Us, false>(b) != withoutEnPassant)
          problems.Add(Where(b) + ": leaf count without en passant differs");
        const Square k = b.KingSquare(Us);
        uint16_t targets = 0, expected = 0;
        for (int j = 0; j < 10; ++j) {
          const int t = k + ZoneSteps[j];
          if (IsOffBoard(t)) continue;
          targets |= uint16_t(1 << j);
          Square attacker;
          if (IsSquareAttacked<Opponent(Us)>(b, Square(t), attacker)) expected |= uint16_t(1 << j);
        }
        if (ZoneAttacks<Opponent(Us)>(b, k, targets) != expected) problems.Add(Where(b) + ": king-zone attacks differ");
      });
    }

    // Captures: the capture subset of the full list, queen promotions only.
    std::vector<Move> captures;
    for (Move m : all) {
      const int kind = MoveKindOf(m);
      const bool capture = kind == EnPassantMove || (kind != CastlingMove && b.colorAt[MoveTo(m)] != NoColor);
      if (capture && (kind != PromotionMove || MoveExtra(m) == Queen - 2)) captures.push_back(m);
    }
    if (GenerateVector(Gen::Captures, b) != captures) problems.Add(Where(b) + ": capture list differs");

    const Square enemyKing = b.KingSquare(Opponent(Color(b.sideToMove)));
    for (Move m : candidates) {
      ++movesChecked;
      const std::string wordProblem = MoveWordProblem(b, m);
      if (!wordProblem.empty()) problems.Add(Where(b, m) + ": " + wordProblem);
      // A king stepping next to the other king is illegal and gives no check.
      const int dir = Direction(MoveTo(m), enemyKing);
      if (b.typeAt[MoveFrom(m)] == King && dir != 0 && MoveTo(m) + dir == enemyKing) continue;
      const Board before = b;
      const bool predicted = GivesCheckAny(b, m);
      if (!SameBoard(before, b)) problems.Add(Where(b, m) + ": GivesCheck changed the board");
      if (predicted != MadeMove(b, m).EnemyKingAttacked())
        problems.Add(Where(b, m) + ": GivesCheck says " + (predicted ? "check" : "no check"));
    }
    if (depth <= 1) return;
    for (Move m : legal) {
      UndoRecord u;
      const Board before = b;
      MakeMoveFast(b, m, u);
      Node(b, depth - 1);
      UnmakeMoveFast(b, m, u);
      if (!SameBoard(before, b)) problems.Add(Where(b, m) + ": make and unmake did not restore the board");
    }
  }
};

}  // namespace gen
