// Helpers for the move-generation, perft and Marseillais turn tests: shared
// position objects, move text, colour dispatch of the generators, and slow
// reference computations (make every move and look at the kings) that the
// fast generators are checked against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/move_text.h"
#include "movegen/generate.h"
#include "movegen/gives_check.h"
#include "movegen/legal.h"
#include "movegen/turns.h"
#include "position/fen.h"
#include "position/make_unmake.h"
#include "position/position.h"

namespace gen {

using namespace quarn;

// The position objects are large (the Marseillais one holds two million
// pairs): one of each serves a whole test binary.
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

inline std::string MoveText(Move m) {
  char text[16] = {};
  FormatMove(m, text);
  return text;
}
inline std::string PairText(MovePair p) {
  char text[32] = {};
  FormatMovePair(p, text);
  return text;
}
inline std::string ElementText(const ScoredMove& e) { return MoveText(e.move); }
inline std::string ElementText(const ScoredPair& e) { return PairText(e.pair); }

// The list as space-separated move (or turn) texts, in list order.
template <class List>
inline std::string ListText(const List& list, int start = 0) {
  std::string out;
  for (int i = start; i < list.Count(); ++i) {
    if (!out.empty()) out += ' ';
    out += ElementText(list.At(i));
  }
  return out;
}
inline std::string MovesText(const std::vector<Move>& moves) {
  std::string out;
  for (Move m : moves) {
    if (!out.empty()) out += ' ';
    out += MoveText(m);
  }
  return out;
}

template <class List>
inline std::vector<Move> MovesOf(const List& list) {
  std::vector<Move> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.At(i).move);
  return out;
}
template <class List>
inline std::vector<MovePair> PairsOf(const List& list) {
  std::vector<MovePair> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.At(i).pair);
  return out;
}

inline Square Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }

// ---------------------------------------------------------------- FEN mirroring

// The same position with the colours exchanged and the board turned upside
// down: every count and every answer must be the same for it.
inline std::string MirrorFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling, ep, half = "0", full = "1";
  in >> board >> side >> castling >> ep >> half >> full;
  auto swapCase = [](char c) {
    if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return char(c - 'A' + 'a');
    return c;
  };
  std::vector<std::string> ranks;
  std::string rank;
  for (char c : board) {
    if (c == '/') {
      ranks.push_back(rank);
      rank.clear();
    } else {
      rank += swapCase(c);
    }
  }
  ranks.push_back(rank);
  std::string outBoard;
  for (auto it = ranks.rbegin(); it != ranks.rend(); ++it) {
    if (!outBoard.empty()) outBoard += '/';
    outBoard += *it;
  }
  std::string outCastling;
  for (char want : {'K', 'Q', 'k', 'q'}) {
    if (castling.find(swapCase(want)) != std::string::npos) outCastling += want;
  }
  if (outCastling.empty()) outCastling = "-";
  std::string outEp = ep;
  if (ep != "-") outEp = std::string(1, ep[0]) + char('1' + ('8' - ep[1]));
  return outBoard + (side == "w" ? " b " : " w ") + outCastling + " " + outEp + " " + half + " " + full;
}

// ---------------------------------------------------------------- board state

inline bool SameBoard(const Board& a, const Board& b) {
  for (int c = 0; c < 2; ++c) {
    if (std::memcmp(a.pieceLists[c].squares, b.pieceLists[c].squares, 16) != 0) return false;
    if (std::memcmp(a.pieceLists[c].countByType, b.pieceLists[c].countByType, 7) != 0) return false;
    if (a.pieceLists[c].total != b.pieceLists[c].total) return false;
    if (a.materialSum[c] != b.materialSum[c] || a.placementSum[c] != b.placementSum[c]) return false;
  }
  return std::memcmp(a.colorAt, b.colorAt, 128) == 0 && std::memcmp(a.typeAt, b.typeAt, 128) == 0 &&
         std::memcmp(a.slotAt, b.slotAt, 128) == 0 && a.sideToMove == b.sideToMove && a.epSquare == b.epSquare &&
         a.castlingRights == b.castlingRights;
}

inline bool InCheck(const Board& b) { return SideToMoveInCheck(b); }

// ---------------------------------------------------------------- generator dispatch

enum class Gen {
  Moves,          // GenerateMoves with castling and en passant
  SecondMoves,    // GenerateMoves with castling, without en passant
  Evasions,       // GenerateEvasions
  Captures,       // GenerateCaptures
  LegalMoves,     // GenerateLegalMoves
  LegalEvasions,  // GenerateLegalEvasions
  Legal,          // the legal builder chosen by the check test
};

template <Color Us, class List>
inline void GenerateAs(Gen g, Board& b, List& list) {
  switch (g) {
    case Gen::Moves:
      GenerateMoves<Us, true, true>(b, list);
      break;
    case Gen::SecondMoves:
      GenerateMoves<Us, true, false>(b, list);
      break;
    case Gen::Evasions:
      GenerateEvasions<Us>(b, list);
      break;
    case Gen::Captures:
      GenerateCaptures<Us>(b, list);
      break;
    case Gen::LegalMoves:
      GenerateLegalMoves<Us>(b, list);
      break;
    case Gen::LegalEvasions:
      GenerateLegalEvasions<Us>(b, list);
      break;
    case Gen::Legal:
      if (InCheck(b))
        GenerateLegalEvasions<Us>(b, list);
      else
        GenerateLegalMoves<Us>(b, list);
      break;
  }
}
template <class List>
inline void Generate(Gen g, Board& b, List& list) {
  if (b.sideToMove == White)
    GenerateAs<White>(g, b, list);
  else
    GenerateAs<Black>(g, b, list);
}
inline std::vector<Move> GenerateVector(Gen g, Board& b) {
  FixedMoveList list;
  Generate(g, b, list);
  return MovesOf(list);
}

// Marseillais builders without the first-turn rule, chosen by the check test.
template <Color Us, class PairList>
inline void LegalTurnsNoRuleAs(Board& b, PairList& list) {
  if (InCheck(b))
    GenerateLegalTurnsInCheck<Us, false>(b, list);
  else
    GenerateLegalTurns<Us, false>(b, list);
}
template <class PairList>
inline void LegalTurnsNoRule(Board& b, PairList& list) {
  if (b.sideToMove == White)
    LegalTurnsNoRuleAs<White>(b, list);
  else
    LegalTurnsNoRuleAs<Black>(b, list);
}

inline bool GivesCheckAny(Board& b, Move m) {
  return b.sideToMove == White ? GivesCheck<White>(b, m) : GivesCheck<Black>(b, m);
}
inline bool TurnGivesCheckAny(Board& b, MovePair p) {
  return b.sideToMove == White ? TurnGivesCheck<White>(b, p) : TurnGivesCheck<Black>(b, p);
}

// ---------------------------------------------------------------- slow references

// Make the move keeping the side to move, then ask about the kings.
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
inline bool AttacksEnemyKingAfter(Board& b, Move m) { return MadeMove(b, m).EnemyKingAttacked(); }

// The legal moves found the slow way: every pseudo-legal move is made and
// the mover's king looked at; castling is no answer to a check.
inline std::vector<Move> SlowLegalMoves(Board& b) {
  const bool inCheck = InCheck(b);
  std::vector<Move> out;
  for (Move m : GenerateVector(Gen::Moves, b)) {
    if (inCheck && MoveKindOf(m) == CastlingMove) continue;
    if (!LeavesOwnKingAttacked(b, m)) out.push_back(m);
  }
  return out;
}

// Leaf count by the slow legal lists, with no bulk counting and no check
// prediction: an independent count to compare perft with.
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

// The legal turns of the side to move computed the slow way: each legal
// first move; a first move that checks stands alone; otherwise every
// pseudo-legal second move (castling allowed, no en passant) that leaves the
// mover's king unattacked.
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

template <class T>
inline std::vector<T> Sorted(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// True when `sub` appears in `all` in the same relative order.
template <class T>
inline bool IsOrderedSubsequence(const std::vector<T>& sub, const std::vector<T>& all) {
  size_t j = 0;
  for (const T& x : all) {
    if (j < sub.size() && sub[j] == x) ++j;
  }
  return j == sub.size();
}

// A growable list with the interface the turn builders expect, for lists
// that are compared outside a position's move stack.
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

// Collects failure messages of long walks and stops adding after a few, so
// that one fault does not flood the output.
struct Problems {
  std::vector<std::string> items;
  size_t total = 0;
  void Add(const std::string& s) {
    ++total;
    if (items.size() < 20) items.push_back(s);
  }
  ::testing::AssertionResult Result() const {
    if (total == 0) return ::testing::AssertionSuccess();
    auto r = ::testing::AssertionFailure();
    r << total << " problem(s):";
    for (const auto& s : items) r << "\n  " << s;
    return r;
  }
};

// ---------------------------------------------------------------- tree cross-check

// A generated move word is well formed for the position it came from.
inline std::string MoveWordProblem(const Board& b, Move m) {
  const Color us = Color(b.sideToMove);
  const Square from = MoveFrom(m), to = MoveTo(m);
  if (b.colorAt[from] != us) return "no piece of the mover on the from-square";
  if (b.colorAt[to] == us) return "captures an own piece";
  if (b.typeAt[to] == King) return "captures a king";
  const int type = b.typeAt[from];
  const int lastRank = us == White ? 7 : 0;
  switch (MoveKindOf(m)) {
    case CastlingMove:
      if (type != King) return "castling by a non-king";
      if (m != (us == White ? CastleWhiteShort : CastleBlackShort) &&
          m != (us == White ? CastleWhiteLong : CastleBlackLong))
        return "castling word of the wrong side";
      return "";
    case EnPassantMove:
      if (type != Pawn || to != b.epSquare || MoveExtra(m) != 0) return "bad en-passant word";
      return "";
    case PromotionMove:
      if (type != Pawn || RankOf(to) != lastRank) return "bad promotion word";
      return "";
    default:
      if (type == Pawn && RankOf(to) == lastRank) return "pawn reaches the last rank without promotion";
      if (MoveExtra(m) != ((type == Pawn && (to - from == 32 || from - to == 32)) ? 1 : 0)) return "bad extra field";
      return "";
  }
}

// Walks the legal tree and, at every node, compares each generator with its
// slow counterpart; every candidate move's GivesCheck with make-and-test.
struct TreeChecker {
  Problems problems;
  uint64_t movesChecked = 0;

  std::string Where(Board& b, Move m = 0) {
    std::string s = PositionToFen(b);
    if (m) s += " move " + MoveText(m);
    return s;
  }

  void Node(Board& b, int depth) {
    // Every castling right still held has its king and rook at home.
    static constexpr struct {
      uint8_t right;
      Color color;
      Square king, rook;
    } homes[4] = {{1, White, 0x04, 0x07}, {2, White, 0x04, 0x00}, {4, Black, 0x74, 0x77}, {8, Black, 0x74, 0x70}};
    for (const auto& h : homes) {
      if ((b.castlingRights & h.right) &&
          (!IsPieceAt(b, h.king, h.color, King) || !IsPieceAt(b, h.rook, h.color, Rook)))
        problems.Add(Where(b) + ": castling right " + std::to_string(h.right) + " without its king and rook");
    }
    const bool inCheck = InCheck(b);
    const std::vector<Move> all = GenerateVector(Gen::Moves, b);
    const std::vector<Move> candidates = inCheck ? GenerateVector(Gen::Evasions, b) : all;
    const std::vector<Move> legal = GenerateVector(Gen::Legal, b);
    std::vector<Move> filtered;  // the candidates that survive make-and-test
    for (Move m : candidates) {
      if (!LeavesOwnKingAttacked(b, m)) filtered.push_back(m);
    }
    const std::vector<Move> slow = SlowLegalMoves(b);
    if (legal != filtered) problems.Add(Where(b) + ": legal list is not the filtered candidate list");
    if (Sorted(legal) != Sorted(slow))
      problems.Add(Where(b) + ": legal list differs from full filtering: " + MovesText(legal) + " | " +
                   MovesText(slow));
    if (!inCheck && legal != slow) problems.Add(Where(b) + ": legal list order differs from generation order");
    if (inCheck && !IsOrderedSubsequence(legal, GenerateVector(Gen::Evasions, b)))
      problems.Add(Where(b) + ": evasions not in generation order");

    // Captures: the capture subset of the full list, queen promotions only.
    std::vector<Move> captures;
    for (Move m : all) {
      const bool capture =
          MoveKindOf(m) == EnPassantMove || (MoveKindOf(m) != CastlingMove && b.colorAt[MoveTo(m)] != NoColor);
      if (capture && (MoveKindOf(m) != PromotionMove || MoveExtra(m) == Queen - 2)) captures.push_back(m);
    }
    if (GenerateVector(Gen::Captures, b) != captures) problems.Add(Where(b) + ": capture list differs");

    const Square enemyKing = b.KingSquare(Opponent(Color(b.sideToMove)));
    for (Move m : candidates) {
      ++movesChecked;
      const std::string wordProblem = MoveWordProblem(b, m);
      if (!wordProblem.empty()) problems.Add(Where(b, m) + ": " + wordProblem);
      // A king stepping next to the other king "attacks" it, but the move is
      // illegal and no king ever gives check.
      if (b.typeAt[MoveFrom(m)] == King && Direction(MoveTo(m), enemyKing) != 0 &&
          MoveTo(m) + Direction(MoveTo(m), enemyKing) == enemyKing)
        continue;
      const Board before = b;
      const bool predicted = GivesCheckAny(b, m);
      if (!SameBoard(before, b)) problems.Add(Where(b, m) + ": GivesCheck changed the board");
      if (predicted != AttacksEnemyKingAfter(b, m))
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
