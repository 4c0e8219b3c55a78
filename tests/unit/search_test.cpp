// The search in both variants: mate and stalemate scores, quiescence,
// agreement with a plain minimax of the same tree, determinism, thinking
// output, the zero budget, and the ply-stack and move-stack guards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "eval/evaluate.h"
#include "movegen/generate.h"
#include "position/make_unmake.h"
#include "search_util.h"

namespace quarn {
namespace {

using test::FindMove;
using test::FindPair;
using test::LegalMoves;
using test::LegalTurns;
using test::MoveText;
using test::PairText;
using test::PositionFromFen;
using test::SearchPairToDepth;
using test::SearchToDepth;

constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

bool IsLegal(Board& b, Move m) {
  const std::vector<Move> moves = LegalMoves(b);
  return m != 0 && std::find(moves.begin(), moves.end(), m) != moves.end();
}

bool IsLegalTurn(Board& b, MovePair p) {
  const std::vector<MovePair> turns = LegalTurns(b);
  return p != 0 && std::find(turns.begin(), turns.end(), p) != turns.end();
}

// The board fields a search must leave exactly as it found them.
void ExpectSameBoard(const Board& a, const Board& b) {
  EXPECT_EQ(PositionToFen(a), PositionToFen(b));
  EXPECT_EQ(a.materialSum[White], b.materialSum[White]);
  EXPECT_EQ(a.materialSum[Black], b.materialSum[Black]);
  EXPECT_EQ(a.placementSum[White], b.placementSum[White]);
  EXPECT_EQ(a.placementSum[Black], b.placementSum[Black]);
  EXPECT_EQ(0, std::memcmp(a.pieceLists, b.pieceLists, sizeof a.pieceLists));
}

// ---------------------------------------------------------------------------
// A textbook fail-hard alpha-beta over the tree the search defines: every
// legal move at full nodes, a check extending the last ply, captures with
// stand-pat below the horizon. Called with the full window its root value is
// the minimax value, which the engine's fail-soft search must find too.

template <Color Us>
int ReferenceQuiesceT(const Board& b, int alpha, int beta) {
  constexpr Color Them = Opponent(Us);
  const int stand = Evaluate(b);
  if (stand >= beta) return beta;
  alpha = std::max(alpha, stand);
  Board scratch = b;
  FixedMoveList captures;
  GenerateCaptures<Us>(scratch, captures);
  const uint64_t pinMask = PinnedPieces<Us>(b);
  for (int i = 0; i < captures.Count(); ++i) {
    const Move m = captures.At(i).move;
    Board child = b;
    UndoRecord u;
    MakeMove(child, m, u);
    // Quiescence tests only the moves the cheap test flags.
    if (NeedsLegalityTest(b, m, pinMask) && IsSquareAttacked<Them>(child, child.KingSquare(Us))) continue;
    const int score = -ReferenceQuiesceT<Them>(child, -beta, -alpha);
    if (score >= beta) return beta;
    alpha = std::max(alpha, score);
  }
  return alpha;
}

int ReferenceQuiesce(const Board& b, int alpha = -MateScore, int beta = MateScore) {
  return b.sideToMove == White ? ReferenceQuiesceT<White>(b, alpha, beta) : ReferenceQuiesceT<Black>(b, alpha, beta);
}

int ReferenceSearch(const Board& b, int depth, int ply, int alpha = -MateScore, int beta = MateScore) {
  Board scratch = b;
  const std::vector<Move> moves = LegalMoves(scratch);
  if (moves.empty()) return std::clamp(ply - MateScore, alpha, beta);
  for (Move m : moves) {
    Board child = b;
    UndoRecord u;
    MakeMove(child, m, u);
    int score;
    if (SideToMoveInCheck(child))
      score = -ReferenceSearch(child, depth > 1 ? depth - 1 : 1, ply + 1, -beta, -alpha);
    else if (depth == 1)
      score = -ReferenceQuiesce(child, -beta, -alpha);
    else
      score = -ReferenceSearch(child, depth - 1, ply + 1, -beta, -alpha);
    if (score >= beta) return beta;
    alpha = std::max(alpha, score);
  }
  return alpha;
}

// The same for turns: a plain evaluation at the horizon, and a side in check
// without a turn drawn when it had a non-checking escape.
bool HasQuietEscape(const Board& b) {
  Board scratch = b;
  for (Move m : LegalMoves(scratch)) {
    Board child = b;
    UndoRecord u;
    MakeMove(child, m, u);
    if (!SideToMoveInCheck(child)) return true;
  }
  return false;
}

int ReferencePairSearch(const Board& b, int depth, int ply) {
  Board scratch = b;
  const std::vector<MovePair> turns = LegalTurns(scratch);
  if (turns.empty()) return (SideToMoveInCheck(b) && HasQuietEscape(b)) ? 0 : ply - MateScore;
  int best = -MateScore;
  for (MovePair p : turns) {
    Board child = b;
    UndoRecord u[2];
    MakePair(child, p, u);
    int score;
    if (SideToMoveInCheck(child))
      score = -ReferencePairSearch(child, depth > 1 ? depth - 1 : 1, ply + 1);
    else if (depth == 1)
      score = -Evaluate(child);
    else
      score = -ReferencePairSearch(child, depth - 1, ply + 1);
    best = std::max(best, score);
  }
  return best;
}

// ---------------------------------------------------------------------------
// Mates, stalemates and the score scale.

TEST(Search, MateInOneScores31999AtDepthOne) {
  auto pos = PositionFromFen("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  const SearchResult r = SearchToDepth(*pos, 1, best);
  EXPECT_EQ(r.score, 31999);
  EXPECT_EQ(r.depth, 1);
  EXPECT_EQ(MoveText(best), "a1a8");
}

TEST(Search, MateInOneStaysChosenWhenDeeper) {
  auto pos = PositionFromFen("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  const SearchResult r = SearchToDepth(*pos, 4, best);
  EXPECT_EQ(r.score, 31999);
  EXPECT_EQ(r.depth, 4);
  EXPECT_EQ(MoveText(best), "a1a8");
}

TEST(Search, MateInOneForBlack) {
  auto pos = PositionFromFen("r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  const SearchResult r = SearchToDepth(*pos, 2, best);
  EXPECT_EQ(r.score, 31999);
  EXPECT_EQ(MoveText(best), "a8a1");
}

TEST(Search, MateInTwoScores31997) {
  // Rd2, and after the only king move Rd8 mates.
  auto pos = PositionFromFen("2k5/8/1K6/8/8/8/8/3R4 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  SearchResult r = SearchToDepth(*pos, 2, best);
  EXPECT_LT(r.score, 31000) << "a mate in two cannot be seen at depth 2";
  r = SearchToDepth(*pos, 3, best);
  EXPECT_EQ(r.score, 31997);
  ASSERT_TRUE(IsLegal(*pos, best));
  // After the chosen move Black is mated on White's next move whatever it
  // does: from Black's side that is a mate at ply 2.
  PlayMove(*pos, best);
  pos->CommitGameMoves();
  Move reply;
  const SearchResult black = SearchToDepth(*pos, 2, reply);
  EXPECT_EQ(black.score, 2 - MateScore);
}

TEST(Search, MatedRootHasNoMove) {
  // Black is mated: the root has no legal move and the best move stays 0.
  auto pos = PositionFromFen("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  ASSERT_TRUE(pos);
  Move best = 0;
  TimeControl tc;
  SearchBestMove(*pos, tc, best, SearchLimits{3, false, false});
  EXPECT_EQ(best, 0);
}

TEST(Search, StalematedRootHasNoMove) {
  auto pos = PositionFromFen("7k/5K2/6P1/8/8/8/8/8 b - - 0 1");
  ASSERT_TRUE(pos);
  Move best = 0;
  TimeControl tc;
  SearchBestMove(*pos, tc, best, SearchLimits{3, false, false});
  EXPECT_EQ(best, 0);
}

TEST(Search, StalematingMoveScoresLikeMate) {
  // g5g6 leaves Black without a move: that side scores 1 - 32000, so the
  // move is worth 31999 at the root, exactly a mate in one.
  auto pos = PositionFromFen("7k/5K2/8/6P1/8/8/8/8 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  const SearchResult r = SearchToDepth(*pos, 2, best);
  EXPECT_EQ(r.score, 31999);
  EXPECT_EQ(MoveText(best), "g5g6");
}

TEST(Search, StalemateIsPreferredToASlowerMate) {
  // Qg6 stalemates at once (31999); the mate by Kf6 and Qg7 is two moves
  // away (31997), so the search plays the stalemate.
  auto pos = PositionFromFen("7k/8/8/5K2/8/8/8/6Q1 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  const SearchResult r = SearchToDepth(*pos, 3, best);
  EXPECT_EQ(r.score, 31999);
  EXPECT_EQ(MoveText(best), "g1g6");
}

TEST(Search, StalemateAtPlyTwoScoresLikeMateAtPlyTwo) {
  // Black's only move is a5a4, after which White leaves it without a move:
  // Black scores 2 - 32000 at the root, as if mated at ply 2.
  auto pos = PositionFromFen("7k/5K2/6P1/p7/8/P7/8/8 b - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  const SearchResult r = SearchToDepth(*pos, 3, best);
  EXPECT_EQ(MoveText(best), "a5a4");
  EXPECT_EQ(r.score, 2 - MateScore);
}

// ---------------------------------------------------------------------------
// Quiescence.

TEST(Search, QuietHorizonStandsPat) {
  // No capture and no check is possible for either side: every root move is
  // answered by a quiescence node that stands pat, so the depth-1 score is
  // the best of the negated static scores, and each child is one node.
  auto pos = PositionFromFen("8/8/4k3/8/8/4K3/3P4/8 w - - 0 1");
  ASSERT_TRUE(pos);
  const std::vector<Move> moves = LegalMoves(*pos);
  int expected = -MateScore;
  for (Move m : moves) {
    Board child = *pos;
    UndoRecord u;
    MakeMove(child, m, u);
    ASSERT_FALSE(SideToMoveInCheck(child));
    expected = std::max(expected, -Evaluate(child));
  }
  Move best;
  const SearchResult r = SearchToDepth(*pos, 1, best);
  EXPECT_EQ(r.score, expected);
  EXPECT_EQ(nodeCount, 1 + moves.size());
  const int bestScore = [&] {
    Board child = *pos;
    UndoRecord u;
    MakeMove(child, best, u);
    return -Evaluate(child);
  }();
  EXPECT_EQ(bestScore, expected);
}

TEST(Search, QuiescenceSeesTheRecapture) {
  // Qxe5 wins a pawn but loses the queen to dxe5: the quiescence search
  // answers the capture and the queen stays home.
  auto defended = PositionFromFen("k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1");
  ASSERT_TRUE(defended);
  Move best;
  SearchResult r = SearchToDepth(*defended, 1, best);
  EXPECT_NE(MoveText(best), "e1e5");
  EXPECT_LT(r.score, 975);
  EXPECT_EQ(r.score, ReferenceSearch(*defended, 1, 0));

  auto loose = PositionFromFen("k7/8/8/4p3/8/8/8/4QK2 w - - 0 1");
  ASSERT_TRUE(loose);
  r = SearchToDepth(*loose, 1, best);
  EXPECT_EQ(MoveText(best), "e1e5");
  EXPECT_EQ(r.score, ReferenceSearch(*loose, 1, 0));
}

// ---------------------------------------------------------------------------
// Agreement with the plain minimax.

struct MinimaxCase {
  const char* fen;
  int maxDepth;
};

TEST(Search, AgreesWithPlainMinimax) {
  const MinimaxCase cases[] = {
      {"8/8/4k3/8/8/4K3/3P4/8 w - - 0 1", 3},
      {"k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1", 3},
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3},
      {"2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", 3},
      {"7k/8/8/5K2/8/8/8/6Q1 w - - 0 1", 3},
      {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 2},
      {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", 2},
      {"4k3/8/8/3q4/4P3/2n5/1P6/R3K1NR w K - 0 1", 2},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 3},
      {"r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", 2},
      {"8/P5k1/8/8/8/8/6K1/8 w - - 0 1", 3},
      {"4k3/8/8/8/8/8/4q3/R3K3 w Q - 0 1", 3},
      // Quiescence lines where a capture gives check and the side in check
      // captures elsewhere (quiescence never tests for check).
      {"r5k1/8/5q2/8/8/8/5PPP/R5K1 w - - 0 1", 2},
      {Kiwipete, 1},
  };
  for (const MinimaxCase& c : cases) {
    auto pos = PositionFromFen(c.fen);
    ASSERT_TRUE(pos) << c.fen;
    for (int depth = 1; depth <= c.maxDepth; ++depth) {
      Move best;
      const SearchResult r = SearchToDepth(*pos, depth, best);
      EXPECT_EQ(r.score, ReferenceSearch(*pos, depth, 0)) << c.fen << " depth " << depth;
      EXPECT_TRUE(IsLegal(*pos, best)) << c.fen << " depth " << depth;
      // The chosen move is worth the root score.
      Board child = *pos;
      UndoRecord u;
      MakeMove(child, best, u);
      const int moveScore = SideToMoveInCheck(child)
                                ? -ReferenceSearch(child, depth > 1 ? depth - 1 : 1, 1)
                                : (depth == 1 ? -ReferenceQuiesce(child) : -ReferenceSearch(child, depth - 1, 1));
      EXPECT_EQ(moveScore, r.score) << c.fen << " depth " << depth;
    }
  }
}

TEST(MarseillaisSearch, AgreesWithPlainMinimax) {
  // In these one side has a bare king (or, in the first, no way to check
  // within two turns), so the minimax needs no guard against endless chains
  // of checking turns: an evasion followed by a checking second move can go
  // on for ever, and only the engine's ply guard would end it.
  const MinimaxCase cases[] = {
      {"7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 2}, {"4k3/8/8/8/8/8/2NBP3/4K3 w - - 0 1", 2},
      {"6k1/8/8/8/8/8/8/R3K3 w - - 0 1", 2},    {"8/8/4k3/8/8/4K3/3P4/8 w - - 0 1", 2},
      {"6k1/8/8/8/8/8/3q4/4K3 w - - 0 1", 2},   {"7k/8/8/8/8/1r6/r7/7K b - - 0 1", 2},
  };
  for (const MinimaxCase& c : cases) {
    auto pos = PositionFromFen<MarseillaisPosition>(c.fen);
    ASSERT_TRUE(pos) << c.fen;
    for (int depth = 1; depth <= c.maxDepth; ++depth) {
      MovePair best;
      const SearchResult r = SearchPairToDepth(*pos, depth, best);
      EXPECT_EQ(r.score, ReferencePairSearch(*pos, depth, 0)) << c.fen << " depth " << depth;
      if (best != 0) {
        EXPECT_TRUE(IsLegalTurn(*pos, best)) << c.fen << " depth " << depth;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Determinism.

TEST(Search, SameSearchGivesSameMoveScoreAndNodes) {
  for (const char* fen : {StartFen, Kiwipete, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"}) {
    auto pos = PositionFromFen(fen);
    ASSERT_TRUE(pos);
    Move first, second;
    const SearchResult a = SearchToDepth(*pos, 4, first);
    const uint64_t nodesA = nodeCount;
    const SearchResult b = SearchToDepth(*pos, 4, second);
    const uint64_t nodesB = nodeCount;
    EXPECT_EQ(first, second) << fen;
    EXPECT_EQ(a.score, b.score) << fen;
    EXPECT_EQ(a.depth, 4);
    EXPECT_EQ(nodesA, nodesB) << fen;
    // A separately built position gives the same again.
    auto other = PositionFromFen(fen);
    Move third;
    const SearchResult c = SearchToDepth(*other, 4, third);
    EXPECT_EQ(third, first);
    EXPECT_EQ(c.score, a.score);
    EXPECT_EQ(nodeCount, nodesA);
  }
}

TEST(Search, PositionIsRestoredAfterSearch) {
  auto pos = PositionFromFen(Kiwipete);
  ASSERT_TRUE(pos);
  const Board before = *pos;
  Move best;
  SearchToDepth(*pos, 4, best);
  ExpectSameBoard(*pos, before);
  EXPECT_EQ(pos->ply, 0);
}

TEST(MarseillaisSearch, SameSearchGivesSameTurnScoreAndNodes) {
  auto pos = PositionFromFen<MarseillaisPosition>(Kiwipete);
  ASSERT_TRUE(pos);
  const Board before = *pos;
  MovePair first, second;
  const SearchResult a = SearchPairToDepth(*pos, 2, first);
  const uint64_t nodesA = nodeCount;
  const SearchResult b = SearchPairToDepth(*pos, 2, second);
  EXPECT_EQ(first, second);
  EXPECT_EQ(a.score, b.score);
  EXPECT_EQ(nodesA, nodeCount);
  ExpectSameBoard(*pos, before);
  EXPECT_EQ(pos->ply, 0);
}

// ---------------------------------------------------------------------------
// Thinking output.

struct Thought {
  int depth;
  int score;
  int time;
  unsigned long long nodes;
  std::string line;  // the moves, each preceded by a space
};

enum class LineForm { Moves, Turns };

bool IsNumber(const std::string& w, bool mayBeNegative) {
  size_t i = mayBeNegative && !w.empty() && w[0] == '-' ? 1 : 0;
  if (i == w.size()) return false;
  for (; i < w.size(); ++i)
    if (w[i] < '0' || w[i] > '9') return false;
  return true;
}

// Coordinate text at text[i]: e2e4 or e7e8q. Advances i past it.
bool ReadMoveText(const std::string& text, size_t& i) {
  if (i + 4 > text.size()) return false;
  for (int k = 0; k < 4; ++k) {
    const char c = text[i + k];
    const bool ok = k % 2 == 0 ? (c >= 'a' && c <= 'h') : (c >= '1' && c <= '8');
    if (!ok) return false;
  }
  i += 4;
  if (i < text.size() && std::string("nbrq").find(text[i]) != std::string::npos) ++i;
  return true;
}

bool IsMoveWord(const std::string& w, LineForm form) {
  size_t i = 0;
  if (!ReadMoveText(w, i)) return false;
  if (form == LineForm::Turns && i < w.size() && w[i] == ',') {
    ++i;
    if (!ReadMoveText(w, i)) return false;
  }
  return i == w.size();
}

// "%d %d %d %lld" and then " %s" for each move or turn of the line.
bool ParseThinkingLine(const std::string& text, LineForm form, Thought& t) {
  const std::vector<std::string> words = test::SplitWords(text);
  if (words.size() < 4) return false;
  if (!IsNumber(words[0], false) || !IsNumber(words[1], true) || !IsNumber(words[2], true) ||
      !IsNumber(words[3], false))
    return false;
  t = {std::stoi(words[0]), std::stoi(words[1]), std::stoi(words[2]), std::stoull(words[3]), ""};
  for (size_t i = 4; i < words.size(); ++i) {
    if (!IsMoveWord(words[i], form)) return false;
    t.line += " " + words[i];
  }
  return true;
}

// "# nodes=%llu, time=%d, nps=%d", exactly.
bool ParseNodesLine(const std::string& text, unsigned long long& nodes, int& time, int& nps) {
  if (std::sscanf(text.c_str(), "# nodes=%llu, time=%d, nps=%d", &nodes, &time, &nps) != 3) return false;
  char again[96];
  std::snprintf(again, sizeof again, "# nodes=%llu, time=%d, nps=%d", nodes, time, nps);
  return text == again;
}

// Parses the captured output of an untimed search: thinking lines, then the
// nodes line last.
std::vector<Thought> ParseThinking(const std::string& out, LineForm form, unsigned long long& nodes) {
  std::vector<Thought> thoughts;
  const std::vector<std::string> lines = test::SplitLines(out);
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return thoughts;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    Thought t;
    const bool ok = ParseThinkingLine(lines[i], form, t);
    EXPECT_TRUE(ok) << "bad thinking line: " << lines[i];
    if (ok) thoughts.push_back(t);
  }
  int time = -1, nps = -1;
  nodes = 0;
  EXPECT_TRUE(ParseNodesLine(lines.back(), nodes, time, nps)) << "bad nodes line: " << lines.back();
  // The clock is idle in an untimed search: no time passes, nps is 0.
  EXPECT_EQ(time, 0);
  EXPECT_EQ(nps, 0);
  return thoughts;
}

TEST(ThinkingOutput, LineParserAcceptsOnlyTheFormat) {
  Thought t;
  EXPECT_TRUE(ParseThinkingLine("3 25 104 512 e2e4 e7e5 g1f3", LineForm::Moves, t));
  EXPECT_EQ(t.depth, 3);
  EXPECT_EQ(t.score, 25);
  EXPECT_EQ(t.time, 104);
  EXPECT_EQ(t.nodes, 512u);
  EXPECT_EQ(t.line, " e2e4 e7e5 g1f3");
  EXPECT_TRUE(ParseThinkingLine("1 -32000 0 7", LineForm::Moves, t));
  EXPECT_EQ(t.line, "");
  EXPECT_TRUE(ParseThinkingLine("2 5 0 9 e2e4,f2f4 d8h4", LineForm::Turns, t));
  EXPECT_FALSE(ParseThinkingLine("2 5 0 9 e2e4,f2f4 d8h4", LineForm::Moves, t));
  EXPECT_FALSE(ParseThinkingLine("3 25 104 512 e2e4  e7e5", LineForm::Moves, t));
  EXPECT_FALSE(ParseThinkingLine("3 25 104 512 e2e4 ", LineForm::Moves, t));
  EXPECT_FALSE(ParseThinkingLine("# 3 25 104 512", LineForm::Moves, t));
  unsigned long long nodes;
  int time, nps;
  EXPECT_TRUE(ParseNodesLine("# nodes=900, time=250, nps=360", nodes, time, nps));
  EXPECT_FALSE(ParseNodesLine("# nodes=900, time=250, nps=360 ", nodes, time, nps));
}

TEST(ThinkingOutput, LinesAndClosingNodesLine) {
  auto pos = PositionFromFen(StartFen);
  ASSERT_TRUE(pos);
  Move best;
  testing::internal::CaptureStdout();
  const SearchResult r = SearchToDepth(*pos, 2, best, true);
  const std::string out = testing::internal::GetCapturedStdout();
  unsigned long long nodes = 0;
  const std::vector<Thought> thoughts = ParseThinking(out, LineForm::Moves, nodes);
  EXPECT_EQ(nodes, nodeCount);
  ASSERT_GE(thoughts.size(), 4u);
  // Depths 1 then 2, node counts growing over the whole search.
  for (size_t i = 1; i < thoughts.size(); ++i) {
    EXPECT_GE(thoughts[i].depth, thoughts[i - 1].depth);
    EXPECT_GE(thoughts[i].nodes, thoughts[i - 1].nodes);
  }
  EXPECT_EQ(thoughts.front().depth, 1);
  EXPECT_EQ(thoughts.back().depth, 2);
  // Each iteration closes with a line repeating the last improvement's score
  // and line; the improvements within it rise strictly.
  for (int depth = 1; depth <= 2; ++depth) {
    std::vector<Thought> it;
    for (const Thought& t : thoughts)
      if (t.depth == depth) it.push_back(t);
    ASSERT_GE(it.size(), 2u) << depth;
    EXPECT_EQ(it.back().score, it[it.size() - 2].score);
    EXPECT_EQ(it.back().line, it[it.size() - 2].line);
    for (size_t i = 1; i + 1 < it.size(); ++i) EXPECT_GT(it[i].score, it[i - 1].score);
  }
  EXPECT_EQ(thoughts.back().score, r.score);
  EXPECT_EQ(thoughts.back().nodes, nodes);
  const std::string first = MoveText(best);
  EXPECT_EQ(thoughts.back().line.substr(1, first.size()), first);
}

TEST(ThinkingOutput, PromotionIsWrittenWithItsLetter) {
  auto pos = PositionFromFen("8/4P2k/8/8/8/8/8/K7 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  testing::internal::CaptureStdout();
  const SearchResult r = SearchToDepth(*pos, 1, best, true);
  const std::string out = testing::internal::GetCapturedStdout();
  unsigned long long nodes = 0;
  const std::vector<Thought> thoughts = ParseThinking(out, LineForm::Moves, nodes);
  ASSERT_FALSE(thoughts.empty());
  EXPECT_EQ(MoveText(best), "e7e8q");
  const std::string closing = test::SplitLines(out)[thoughts.size() - 1];
  EXPECT_EQ(closing, "1 " + std::to_string(r.score) + " 0 " + std::to_string(nodeCount) + " e7e8q");
}

TEST(ThinkingOutput, SilentSearchPrintsNothing) {
  auto pos = PositionFromFen(Kiwipete);
  ASSERT_TRUE(pos);
  Move best;
  testing::internal::CaptureStdout();
  SearchToDepth(*pos, 2, best, false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ThinkingOutput, PrintingDoesNotChangeTheSearch) {
  auto pos = PositionFromFen(Kiwipete);
  ASSERT_TRUE(pos);
  Move quiet, loud;
  const SearchResult a = SearchToDepth(*pos, 3, quiet, false);
  const uint64_t nodes = nodeCount;
  testing::internal::CaptureStdout();
  const SearchResult b = SearchToDepth(*pos, 3, loud, true);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(quiet, loud);
  EXPECT_EQ(a.score, b.score);
  EXPECT_EQ(nodes, nodeCount);
}

// Every line printed at an improvement is exact: played out, it ends in the
// position whose static score (or mate score) is the line's score.
TEST(ThinkingOutput, EachLineEndsWhereItsScoreComesFrom) {
  const MinimaxCase cases[] = {
      {StartFen, 4},
      {Kiwipete, 4},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4},
      {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 4},
      {"2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", 4},
      {"r5k1/8/5q2/8/8/8/5PPP/R5K1 w - - 0 1", 4},
  };
  for (const MinimaxCase& c : cases) {
    auto pos = PositionFromFen(c.fen);
    ASSERT_TRUE(pos) << c.fen;
    Move best;
    testing::internal::CaptureStdout();
    SearchToDepth(*pos, c.maxDepth, best, true);
    const std::string out = testing::internal::GetCapturedStdout();
    unsigned long long nodes = 0;
    const std::vector<Thought> thoughts = ParseThinking(out, LineForm::Moves, nodes);
    ASSERT_FALSE(thoughts.empty()) << c.fen;
    for (const Thought& t : thoughts) {
      auto replay = PositionFromFen(c.fen);
      const std::vector<std::string> words = test::SplitWords(t.line.substr(t.line.empty() ? 0 : 1));
      int n = 0;
      for (const std::string& w : words) {
        if (w.empty()) continue;
        const Move m = FindMove(*replay, w.c_str());
        ASSERT_NE(m, 0) << "illegal move " << w << " in" << t.line << " from " << c.fen;
        PlayMove(*replay, m);
        ++n;
      }
      const int sign = n % 2 == 0 ? 1 : -1;
      const int fromEval = sign * Evaluate(*replay);
      if (LegalMoves(*replay).empty()) {
        const int fromMate = sign * (n - MateScore);
        EXPECT_TRUE(t.score == fromEval || t.score == fromMate)
            << c.fen << ": " << t.depth << " " << t.score << t.line << " ends without a move";
      } else {
        EXPECT_EQ(t.score, fromEval) << c.fen << ": " << t.depth << " " << t.score << t.line;
      }
    }
  }
}

TEST(ThinkingOutput, EachPairLineEndsWhereItsScoreComesFrom) {
  const MinimaxCase cases[] = {
      {"7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 3},
      {"rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1", 2},
      {"8/5pk1/6p1/8/8/6P1/5PK1/3R4 w - - 0 1", 3},
      {Kiwipete, 2},
  };
  for (const MinimaxCase& c : cases) {
    auto pos = PositionFromFen<MarseillaisPosition>(c.fen);
    ASSERT_TRUE(pos) << c.fen;
    MovePair best;
    testing::internal::CaptureStdout();
    SearchPairToDepth(*pos, c.maxDepth, best, true);
    const std::string out = testing::internal::GetCapturedStdout();
    unsigned long long nodes = 0;
    const std::vector<Thought> thoughts = ParseThinking(out, LineForm::Turns, nodes);
    ASSERT_FALSE(thoughts.empty()) << c.fen;
    auto replay = PositionFromFen<MarseillaisPosition>(c.fen);
    for (const Thought& t : thoughts) {
      SetupPlayableFen(*replay, c.fen);
      replay->ResetPly();
      const std::vector<std::string> words = test::SplitWords(t.line.substr(t.line.empty() ? 0 : 1));
      int n = 0;
      for (const std::string& w : words) {
        if (w.empty()) continue;
        const MovePair p = FindPair(*replay, w);
        ASSERT_NE(p, 0u) << "illegal turn " << w << " in" << t.line << " from " << c.fen;
        PlayMovePair(*replay, p);
        ++n;
      }
      const int sign = n % 2 == 0 ? 1 : -1;
      const int fromEval = sign * Evaluate(*replay);
      if (LegalTurns(*replay).empty()) {
        // Mated, or drawn by an escape without a second move.
        const int fromMate = sign * (n - MateScore);
        EXPECT_TRUE(t.score == fromEval || t.score == fromMate || t.score == 0)
            << c.fen << ": " << t.depth << " " << t.score << t.line << " ends without a turn";
      } else {
        EXPECT_EQ(t.score, fromEval) << c.fen << ": " << t.depth << " " << t.score << t.line;
      }
    }
  }
}

TEST(ThinkingOutput, PairLineJoinsTurnsWithCommas) {
  // White's only turns push the a-pawn twice; whichever it plays, Black
  // mates at once by taking on h7 with check, a one-move turn. Both white
  // turns score alike (mated at ply 2), so the first searched stands.
  auto pos = PositionFromFen<MarseillaisPosition>("7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1");
  ASSERT_TRUE(pos);
  MovePair best;
  testing::internal::CaptureStdout();
  const SearchResult r = SearchPairToDepth(*pos, 2, best, true);
  const std::string out = testing::internal::GetCapturedStdout();
  unsigned long long nodes = 0;
  const std::vector<Thought> thoughts = ParseThinking(out, LineForm::Turns, nodes);
  EXPECT_EQ(nodes, nodeCount);
  EXPECT_EQ(r.score, 2 - MateScore);
  EXPECT_EQ(PairText(best), "a2a3,a3a4");
  ASSERT_FALSE(thoughts.empty());
  EXPECT_EQ(thoughts.back().depth, 2);
  EXPECT_EQ(thoughts.back().score, 2 - MateScore);
  EXPECT_EQ(thoughts.back().line, " a2a3,a3a4 h8h7");
  const std::vector<std::string> lines = test::SplitLines(out);
  EXPECT_EQ(lines[lines.size() - 2], "2 -31998 0 " + std::to_string(nodeCount) + " a2a3,a3a4 h8h7");
}

TEST(ThinkingOutput, PairLineReplaysAsLegalTurns) {
  // Every line printed is a sequence of legal turns, and a turn whose first
  // move gives check has no second move.
  auto pos = PositionFromFen<MarseillaisPosition>(Kiwipete);
  ASSERT_TRUE(pos);
  MovePair best;
  testing::internal::CaptureStdout();
  SearchPairToDepth(*pos, 2, best, true);
  const std::string out = testing::internal::GetCapturedStdout();
  unsigned long long nodes = 0;
  const std::vector<Thought> thoughts = ParseThinking(out, LineForm::Turns, nodes);
  ASSERT_FALSE(thoughts.empty());
  EXPECT_EQ(thoughts.back().line.substr(1, PairText(best).size()), PairText(best));
  for (const Thought& t : thoughts) {
    auto replay = PositionFromFen<MarseillaisPosition>(Kiwipete);
    const std::vector<std::string> words = test::SplitWords(t.line.substr(t.line.empty() ? 0 : 1));
    for (const std::string& w : words) {
      if (w.empty()) continue;
      const MovePair p = FindPair(*replay, w);
      ASSERT_NE(p, 0u) << "illegal turn " << w << " in" << t.line;
      EXPECT_EQ(PairText(p), w);
      Board after = *replay;
      UndoRecord u[2];
      MakeMoveKeepSide(after, FirstOf(p), u[0]);
      const bool firstChecks =
          IsSquareAttackedBy(after, after.KingSquare(Opponent(Color(replay->sideToMove))), Color(replay->sideToMove));
      if (firstChecks) {
        EXPECT_EQ(SecondOf(p), 0) << w;
      }
      PlayMovePair(*replay, p);
    }
  }
}

// ---------------------------------------------------------------------------
// Timed searches with nothing on the clock.

TEST(Search, ZeroBudgetStillReturnsALegalMove) {
  for (const char* fen : {StartFen, Kiwipete, "4k3/8/8/8/8/8/4q3/R3K3 w Q - 0 1"}) {
    auto pos = PositionFromFen(fen);
    ASSERT_TRUE(pos);
    TimeControl tc;
    tc.baseTime = 0;
    StartClock(tc);
    tc.moveStartUsed = ClockUsed(tc);
    Move best = 0;
    SearchBestMove(*pos, tc, best, SearchLimits{MaxSearchDepth, true, false});
    StopClock(tc);
    EXPECT_EQ(tc.moveBudget, 0) << fen;
    EXPECT_TRUE(IsLegal(*pos, best)) << fen << " played " << MoveText(best);
    EXPECT_TRUE(stopSearch) << fen;
    EXPECT_EQ(pos->ply, 0);
  }
}

TEST(Search, ZeroBudgetStopsInsideTheFirstRootMove) {
  // Sixteen queens: the first root move's quiescence alone needs far more
  // than 4096 nodes, so the clock stops the search at node 4096 before any
  // root move is done and the caller's move stays 0 (the engine's turn then
  // falls back on the first legal move).
  auto pos = PositionFromFen("qqqqkqqq/8/8/8/8/8/8/QQQQKQQQ w - - 0 1");
  ASSERT_TRUE(pos);
  TimeControl tc;
  tc.baseTime = 0;
  StartClock(tc);
  tc.moveStartUsed = ClockUsed(tc);
  Move best = 0;
  testing::internal::CaptureStdout();
  const SearchResult r = SearchBestMove(*pos, tc, best, SearchLimits{});
  const std::string out = testing::internal::GetCapturedStdout();
  StopClock(tc);
  EXPECT_EQ(best, 0);
  EXPECT_EQ(r.depth, 0);
  EXPECT_TRUE(stopSearch);
  EXPECT_EQ(nodeCount, 4096u);
  // The stopped iteration closes with score -32000 and an empty line.
  const std::vector<std::string> lines = test::SplitLines(out);
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_EQ(lines[0].substr(0, 9), "1 -32000 ");
  EXPECT_EQ(lines[0].substr(lines[0].size() - 5), " 4096");
  EXPECT_EQ(lines[1].substr(0, 13), "# nodes=4096,");
  EXPECT_EQ(pos->ply, 0);
  EXPECT_EQ(PositionToFen(*pos), "qqqqkqqq/8/8/8/8/8/8/QQQQKQQQ w - - 0 1");
}

TEST(Search, ZeroBudgetPrintsNodesLine) {
  auto pos = PositionFromFen(StartFen);
  ASSERT_TRUE(pos);
  TimeControl tc;
  tc.baseTime = 0;
  StartClock(tc);
  tc.moveStartUsed = ClockUsed(tc);
  Move best = 0;
  testing::internal::CaptureStdout();
  SearchBestMove(*pos, tc, best, SearchLimits{});
  const std::string out = testing::internal::GetCapturedStdout();
  StopClock(tc);
  const std::vector<std::string> lines = test::SplitLines(out);
  ASSERT_FALSE(lines.empty());
  unsigned long long nodes = 0;
  int time = -1, nps = -1;
  EXPECT_TRUE(ParseNodesLine(lines.back(), nodes, time, nps)) << lines.back();
  EXPECT_EQ(nodes, nodeCount);
  EXPECT_GE(time, 0);
  EXPECT_TRUE(IsLegal(*pos, best));
}

TEST(MarseillaisSearch, ZeroBudgetStillReturnsALegalTurn) {
  for (const char* fen : {StartFen, Kiwipete}) {
    auto pos = PositionFromFen<MarseillaisPosition>(fen);
    ASSERT_TRUE(pos);
    TimeControl tc;
    tc.baseTime = 0;
    StartClock(tc);
    tc.moveStartUsed = ClockUsed(tc);
    MovePair best = 0;
    SearchBestMovePair(*pos, tc, best, SearchLimits{MaxSearchDepth, true, false});
    StopClock(tc);
    EXPECT_TRUE(IsLegalTurn(*pos, best)) << fen << " played " << PairText(best);
    EXPECT_EQ(pos->ply, 0);
  }
}

// ---------------------------------------------------------------------------
// Marseillais turns.

TEST(MarseillaisSearch, FirstTurnOfTheGameIsOneMove) {
  auto pos = PositionFromFen<MarseillaisPosition>(StartFen);
  ASSERT_TRUE(pos);
  ASSERT_EQ(LegalTurns(*pos).size(), 20u);
  for (int depth = 1; depth <= 3; ++depth) {
    MovePair best;
    SearchPairToDepth(*pos, depth, best);
    EXPECT_NE(FirstOf(best), 0) << depth;
    EXPECT_EQ(SecondOf(best), 0) << depth << " " << PairText(best);
    EXPECT_TRUE(IsLegalTurn(*pos, best)) << depth;
  }
}

TEST(MarseillaisSearch, RootOfTheInitialPositionListsTwentyTurns) {
  // Depth 1 visits the root and one leaf per single move.
  auto pos = PositionFromFen<MarseillaisPosition>(StartFen);
  ASSERT_TRUE(pos);
  MovePair best;
  SearchPairToDepth(*pos, 1, best);
  EXPECT_EQ(nodeCount, 21u);
}

TEST(MarseillaisSearch, LaterTurnsHaveTwoMoves) {
  // After 1. e4 Black plays two moves.
  auto pos = PositionFromFen<MarseillaisPosition>("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  ASSERT_TRUE(pos);
  MovePair best;
  SearchPairToDepth(*pos, 2, best);
  EXPECT_NE(SecondOf(best), 0) << PairText(best);
  EXPECT_TRUE(IsLegalTurn(*pos, best));
}

TEST(MarseillaisSearch, CheckingFirstMoveStandsAlone) {
  // Rxa8 mates at once: a one-move turn, ordered first as a capture, worth 31999.
  auto pos = PositionFromFen<MarseillaisPosition>("r5k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  ASSERT_TRUE(pos);
  MovePair best;
  const SearchResult r = SearchPairToDepth(*pos, 1, best);
  EXPECT_EQ(PairText(best), "a1a8");
  EXPECT_EQ(SecondOf(best), 0);
  EXPECT_EQ(r.score, 31999);
}

TEST(MarseillaisSearch, MatedSideScoresByPly) {
  // Whatever White does, Black mates on its first turn: -(32000 - 2).
  auto pos = PositionFromFen<MarseillaisPosition>("7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1");
  ASSERT_TRUE(pos);
  MovePair best;
  const SearchResult r = SearchPairToDepth(*pos, 3, best);
  EXPECT_EQ(r.score, 2 - MateScore);
  EXPECT_TRUE(IsLegalTurn(*pos, best));
}

TEST(MarseillaisSearch, HorizonIsTheStaticScore) {
  // At depth 1 every non-checking turn is answered by the static score of
  // the position after it; captures are not followed.
  auto pos = PositionFromFen<MarseillaisPosition>("k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1");
  ASSERT_TRUE(pos);
  int expected = -MateScore;
  for (MovePair p : LegalTurns(*pos)) {
    Board child = *pos;
    UndoRecord u[2];
    MakePair(child, p, u);
    if (SideToMoveInCheck(child)) continue;
    expected = std::max(expected, -Evaluate(child));
  }
  EXPECT_EQ(ReferencePairSearch(*pos, 1, 0), expected) << "no checking turn should win here";
  MovePair best;
  const SearchResult r = SearchPairToDepth(*pos, 1, best);
  EXPECT_EQ(r.score, ReferencePairSearch(*pos, 1, 0));
}

// ---------------------------------------------------------------------------
// The ply stack and the move stack are never overrun.

TEST(SearchGuard, PerpetualCheckPositionsSearchedDeep) {
  // Queens against exposed kings: long chains of checks and cross-checks.
  const MinimaxCase cases[] = {
      {"1k6/8/8/2q1q3/8/2Q1Q3/8/6K1 w - - 0 1", 8},
      {"7k/6p1/6Qp/8/8/6qP/6P1/7K w - - 0 1", 9},
      {"6k1/5p1p/6p1/8/8/8/q4PPP/1Q4K1 w - - 0 1", 8},
      {"k7/8/8/3q4/8/3Q4/8/6K1 b - - 0 1", 8},
  };
  for (const MinimaxCase& c : cases) {
    auto pos = PositionFromFen(c.fen);
    ASSERT_TRUE(pos) << c.fen;
    const Board before = *pos;
    Move best;
    const SearchResult r = SearchToDepth(*pos, c.maxDepth, best);
    EXPECT_EQ(r.depth, c.maxDepth);
    EXPECT_TRUE(IsLegal(*pos, best)) << c.fen;
    EXPECT_EQ(pos->ply, 0);
    ExpectSameBoard(*pos, before);
  }
}

// Plays knight moves out and back: after a multiple of four plies the board
// is the initial one again, White to move, with that many frames in use.
template <class P>
void ShuffleKnights(P& pos, int plies) {
  const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (int i = 0; i < plies; ++i) {
    ParsedMove parsed;
    ASSERT_TRUE(ParseCoordinateMove(cycle[i % 4], parsed));
    if constexpr (std::is_same_v<P, Position>) {
      const Move m = FindUserMove(pos, parsed);
      pos.CurrentList().Clear();
      ASSERT_NE(m, 0);
      PlayMove(pos, m);
    } else {
      // One-move turns, made directly: only the frames matter here.
      const Move m = MakeMoveWord(parsed.from, parsed.to);
      PlayMovePair(pos, MakePairWord(m, 0));
    }
  }
}

TEST(SearchGuard, SearchNearTheLastPlyFrame) {
  // A game whose moves fill 1016 frames: the search from there would run
  // past the 1024 frames without its guard.
  auto pos = PositionFromFen(StartFen);
  ASSERT_TRUE(pos);
  ShuffleKnights(*pos, 1016);
  ASSERT_EQ(pos->ply, 1016);
  ASSERT_EQ(PositionToFen(*pos), StartFen);
  const Board before = *pos;
  Move best;
  const SearchResult r = SearchToDepth(*pos, 7, best);
  EXPECT_EQ(r.depth, 7);
  EXPECT_TRUE(IsLegal(*pos, best)) << MoveText(best);
  EXPECT_EQ(pos->ply, 1016);
  ExpectSameBoard(*pos, before);
}

TEST(SearchGuard, ChecksNearTheLastPlyFrame) {
  // The same with a position full of checks, its game at frame 1018.
  auto pos = PositionFromFen(StartFen);
  ASSERT_TRUE(pos);
  ShuffleKnights(*pos, 1016);
  // Keep the frames but put the check-rich position on the board.
  ASSERT_TRUE(SetupPlayableFen(*pos, "1k6/8/8/2q1q3/8/2Q1Q3/8/6K1 w - - 0 1"));
  pos->plyFrames[pos->ply].list.Clear();
  const Board before = *pos;
  Move best;
  const SearchResult r = SearchToDepth(*pos, 6, best);
  EXPECT_EQ(r.depth, 6);
  EXPECT_TRUE(IsLegal(*pos, best));
  EXPECT_EQ(pos->ply, 1016);
  ExpectSameBoard(*pos, before);
}

TEST(SearchGuard, SearchWithTheMoveStackNearlyFull) {
  // The root's list starts 600 entries before the end of the move stack:
  // deeper plies must answer statically rather than generate past the end.
  auto pos = PositionFromFen(Kiwipete);
  ASSERT_TRUE(pos);
  ScoredMove* const stackEnd = pos->moveStack + Position::MoveStackSize;
  pos->plyFrames[0].list.begin = pos->plyFrames[0].list.end = stackEnd - 600;
  const Board before = *pos;
  Move best;
  const SearchResult r = SearchToDepth(*pos, 5, best);
  EXPECT_EQ(r.depth, 5);
  EXPECT_TRUE(IsLegal(*pos, best));
  for (const auto& frame : pos->plyFrames) {
    if (frame.list.begin == nullptr) continue;
    EXPECT_LE(frame.list.end, stackEnd);
  }
  EXPECT_EQ(pos->ply, 0);
  ExpectSameBoard(*pos, before);
}

TEST(SearchGuard, MarseillaisSearchNearTheLastPlyFrame) {
  auto pos = PositionFromFen<MarseillaisPosition>(StartFen);
  ASSERT_TRUE(pos);
  ShuffleKnights(*pos, 1020);
  ASSERT_EQ(pos->ply, 1020);
  ASSERT_EQ(PositionToFen(*pos), StartFen);
  const Board before = *pos;
  MovePair best;
  const SearchResult r = SearchPairToDepth(*pos, 3, best);
  EXPECT_EQ(r.depth, 3);
  EXPECT_TRUE(IsLegalTurn(*pos, best)) << PairText(best);
  EXPECT_EQ(pos->ply, 1020);
  ExpectSameBoard(*pos, before);
}

TEST(SearchGuard, MarseillaisSearchWithTheMoveStackNearlyFull) {
  auto pos = PositionFromFen<MarseillaisPosition>(Kiwipete);
  ASSERT_TRUE(pos);
  ScoredPair* const stackEnd = pos->moveStack + MarseillaisPosition::MoveStackSize;
  pos->plyFrames[0].list.begin = pos->plyFrames[0].list.end =
      stackEnd - (MarseillaisPosition::WorstCaseListSize + 3000);
  const Board before = *pos;
  MovePair best;
  const SearchResult r = SearchPairToDepth(*pos, 3, best);
  EXPECT_EQ(r.depth, 3);
  EXPECT_TRUE(IsLegalTurn(*pos, best));
  for (const auto& frame : pos->plyFrames) {
    if (frame.list.begin == nullptr) continue;
    EXPECT_LE(frame.list.end, stackEnd);
  }
  ExpectSameBoard(*pos, before);
}

}  // namespace
}  // namespace quarn
