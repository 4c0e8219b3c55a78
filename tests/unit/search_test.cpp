// The search in both variants: mate and stalemate scores, quiescence,
// agreement with a plain minimax of the same tree, determinism, thinking
// output, the zero budget, and the ply-stack and move-stack guards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "eval/evaluate.h"
#include "movegen/generate.h"
#include "position/make_unmake.h"
#include "search_util.h"

namespace quarn {
namespace {

using namespace test;

constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
constexpr const char* Queens = "1k6/8/8/2q1q3/8/2Q1Q3/8/6K1 w - - 0 1";

// The board a search must leave exactly as it found it.
void ExpectSameBoard(const Board& a, const Board& b) {
  EXPECT_EQ(0, std::memcmp(&a, &b, offsetof(Board, castlingRights) + sizeof a.castlingRights))
      << PositionToFen(a) << " vs " << PositionToFen(b);
}

// ---------------------------------------------------------------------------
// A textbook fail-hard alpha-beta over the tree the search defines: every
// legal move at full nodes, a check extending the last ply, captures with
// stand-pat below the horizon (only flagged captures tested for legality).
// Its root value is the minimax value the engine's search must find too.

template <Color Us>
int ReferenceQuiesce(const Board& b, int alpha, int beta) {
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
    if (NeedsLegalityTest(b, m, pinMask) && IsSquareAttacked<Opponent(Us)>(child, child.KingSquare(Us))) continue;
    const int score = -ReferenceQuiesce<Opponent(Us)>(child, -beta, -alpha);
    if (score >= beta) return beta;
    alpha = std::max(alpha, score);
  }
  return alpha;
}

int ReferenceSearch(const Board& b, int depth, int ply, int alpha = -MateScore, int beta = MateScore);

// The value of the position after a move at `ply` - 1, from the mover's side.
int ReferenceChild(const Board& child, int depth, int ply, int alpha = -MateScore, int beta = MateScore) {
  if (SideToMoveInCheck(child)) return -ReferenceSearch(child, std::max(depth - 1, 1), ply, -beta, -alpha);
  if (depth > 1) return -ReferenceSearch(child, depth - 1, ply, -beta, -alpha);
  return child.sideToMove == White ? -ReferenceQuiesce<White>(child, -beta, -alpha)
                                   : -ReferenceQuiesce<Black>(child, -beta, -alpha);
}

int ReferenceSearch(const Board& b, int depth, int ply, int alpha, int beta) {
  Board scratch = b;
  const std::vector<Move> moves = LegalMoves(scratch);
  if (moves.empty()) return std::clamp(ply - MateScore, alpha, beta);
  for (Move m : moves) {
    Board child = b;
    UndoRecord u;
    MakeMove(child, m, u);
    const int score = ReferenceChild(child, depth, ply + 1, alpha, beta);
    if (score >= beta) return beta;
    alpha = std::max(alpha, score);
  }
  return alpha;
}

// The same for turns: the static score at the horizon, and a side in check
// without a turn drawn when it had a non-checking escape.
int ReferencePairSearch(const Board& b, int depth, int ply) {
  Board scratch = b;
  const std::vector<MovePair> turns = LegalTurns(scratch);
  if (turns.empty()) {
    bool quietEscape = false;
    for (Move m : LegalMoves(scratch)) {
      Board child = b;
      UndoRecord u;
      MakeMove(child, m, u);
      quietEscape |= !SideToMoveInCheck(child);
    }
    return SideToMoveInCheck(b) && quietEscape ? 0 : ply - MateScore;
  }
  int best = -MateScore;
  for (MovePair p : turns) {
    Board child = b;
    UndoRecord u[2];
    MakePair(child, p, u);
    if (SideToMoveInCheck(child))
      best = std::max(best, -ReferencePairSearch(child, std::max(depth - 1, 1), ply + 1));
    else
      best = std::max(best, depth == 1 ? -Evaluate(child) : -ReferencePairSearch(child, depth - 1, ply + 1));
  }
  return best;
}

// ---------------------------------------------------------------------------
// Mates, stalemates (scored like mates) and the score scale.

constexpr int Any = 1 << 20;

TEST(Search, KnownScoresAndMoves) {
  const struct {
    bool turns;
    const char* fen;
    int depth, score;
    const char* move;  // a pattern for the legal move or turn, "-" for none
  } cases[] = {
      {false, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 1, 31999, "a1a8"},  // mate in one
      {false, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 4, 31999, "a1a8"},
      {false, "r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", 2, 31999, "a8a1"},
      {false, "2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", 3, 31997, ".*"},   // mate in two
      {false, "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", 3, Any, "-"},    // mated root
      {false, "7k/5K2/6P1/8/8/8/8/8 b - - 0 1", 3, Any, "-"},       // stalemated root
      {false, "7k/5K2/8/6P1/8/8/8/8 w - - 0 1", 2, 31999, "g5g6"},  // stalemates at once
      // The stalemate by Qg6 beats the mate by Kf6 and Qg7 two moves away.
      {false, "7k/8/8/5K2/8/8/8/6Q1 w - - 0 1", 3, 31999, "g1g6"},
      // Black's only move lets White stalemate it: as if mated at ply 2.
      {false, "7k/5K2/6P1/p7/8/P7/8/8 b - - 0 1", 3, 2 - MateScore, "a5a4"},
      {false, "k7/8/8/4p3/8/8/8/4QK2 w - - 0 1", 1, Any, "e1e5"},  // a loose pawn
      // Rxa8 mates at once: a checking first move stands alone in its turn.
      {true, "r5k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 1, 31999, "a1a8"},
      // Whatever White does, Black mates on its first turn.
      {true, "7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 3, 2 - MateScore, ".*"},
      // The first turn of the game is a single move; later turns have two.
      {true, StartFen, 1, Any, "\\w{4}"},
      {true, StartFen, 3, Any, "\\w{4}"},
      {true, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", 2, Any, "\\w{4},\\w{4}"},
  };
  for (const auto& c : cases) {
    auto check = [&](auto& pos, auto best) {
      const SearchResult r = SearchTo(pos, c.depth, best);
      if (c.score != Any) {
        EXPECT_EQ(r.score, c.score) << c.fen;
      }
      if (*c.move == '-') {
        EXPECT_EQ(best, 0u) << c.fen;
        return;
      }
      EXPECT_EQ(r.depth, c.depth) << c.fen;
      EXPECT_TRUE(IsLegal(pos, best)) << c.fen;
      EXPECT_TRUE(std::regex_match(Text(best), std::regex(c.move))) << c.fen << " played " << Text(best);
    };
    if (c.turns)
      check(*PositionFromFen<MarseillaisPosition>(c.fen), MovePair(0));
    else
      check(*PositionFromFen(c.fen), Move(0));
  }
  auto pos = PositionFromFen("2k5/8/1K6/8/8/8/8/3R4 w - - 0 1");
  Move best;
  EXPECT_LT(SearchTo(*pos, 2, best).score, 31000) << "a mate in two cannot be seen at depth 2";
  // Stand pat: no capture or check for either side, so each root move is
  // answered by a single quiescence node (its score: the minimax test below).
  pos = PositionFromFen("8/8/4k3/8/8/4K3/3P4/8 w - - 0 1");
  SearchTo(*pos, 1, best);
  EXPECT_EQ(nodeCount, 1 + LegalMoves(*pos).size());
}

TEST(Search, AgreesWithPlainMinimax) {
  const struct {
    bool turns;
    const char* fen;
    int maxDepth;
  } cases[] = {
      {false, "8/8/4k3/8/8/4K3/3P4/8 w - - 0 1", 3},
      {false, "k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1", 3},  // Qxe5 loses the queen to dxe5
      {false, "k7/8/8/4p3/8/8/8/4QK2 w - - 0 1", 1},
      {false, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3},
      {false, "2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", 3},
      {false, "7k/8/8/5K2/8/8/8/6Q1 w - - 0 1", 3},
      {false, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 2},
      {false, "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", 2},
      {false, "4k3/8/8/3q4/4P3/2n5/1P6/R3K1NR w K - 0 1", 2},
      {false, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 3},
      {false, "r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", 2},
      {false, "8/P5k1/8/8/8/8/6K1/8 w - - 0 1", 3},
      {false, "4k3/8/8/8/8/8/4q3/R3K3 w Q - 0 1", 3},
      // A capture gives check and the side in check captures elsewhere.
      {false, "r5k1/8/5q2/8/8/8/5PPP/R5K1 w - - 0 1", 2},
      {false, Kiwipete, 1},
      // Turns: one side is bare (or cannot check within two turns), so no
      // endless chain of checking turns needs the engine's ply guard.
      {true, "7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 2},
      {true, "4k3/8/8/8/8/8/2NBP3/4K3 w - - 0 1", 2},
      {true, "6k1/8/8/8/8/8/8/R3K3 w - - 0 1", 2},
      {true, "8/8/4k3/8/8/4K3/3P4/8 w - - 0 1", 2},
      {true, "6k1/8/8/8/8/8/3q4/4K3 w - - 0 1", 2},
      {true, "7k/8/8/8/8/1r6/r7/7K b - - 0 1", 2},
      {true, "k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1", 1},  // the static horizon
  };
  for (const auto& c : cases) {
    for (int depth = 1; depth <= c.maxDepth; ++depth) {
      const std::string what = std::string(c.fen) + " depth " + std::to_string(depth);
      if (c.turns) {
        auto pos = PositionFromFen<MarseillaisPosition>(c.fen);
        MovePair best;
        EXPECT_EQ(SearchTo(*pos, depth, best).score, ReferencePairSearch(*pos, depth, 0)) << what;
        if (best != 0) {
          EXPECT_TRUE(IsLegal(*pos, best)) << what;
        }
        continue;
      }
      auto pos = PositionFromFen(c.fen);
      Move best;
      const SearchResult r = SearchTo(*pos, depth, best);
      EXPECT_EQ(r.score, ReferenceSearch(*pos, depth, 0)) << what;
      ASSERT_TRUE(IsLegal(*pos, best)) << what;
      Board child = *pos;  // the chosen move is worth the root score
      UndoRecord u;
      MakeMove(child, best, u);
      EXPECT_EQ(ReferenceChild(child, depth, 1), r.score) << what;
    }
  }
}

// ---------------------------------------------------------------------------
// Thinking output: "depth score time nodes line" lines, then the nodes line.

struct Thought {
  int depth, score;
  unsigned long long nodes;
  std::string line;  // the moves, each preceded by a space
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Prints an untimed search: the clock is idle, so time and nps are 0.
template <class P>
std::vector<Thought> SearchPrinted(P& pos, int depth, BestOf<P>& best, SearchResult* r = nullptr) {
  testing::internal::CaptureStdout();
  const SearchResult result = SearchTo(pos, depth, best, true);
  if (r) *r = result;
  const std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
  const std::string mv = "[a-h][1-8][a-h][1-8][nbrq]?", n = "(0|-?[1-9]\\d*)";
  const std::regex re(n + " " + n + " 0 " + n + "((?: " + mv + (std::is_same_v<P, Position> ? "" : "(?:," + mv + ")?") +
                      ")*)");
  std::vector<Thought> thoughts;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(lines[i], m, re)) << "bad thinking line: " << lines[i];
    if (!m.empty()) thoughts.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoull(m[3]), m[4]});
  }
  EXPECT_TRUE(!lines.empty() && lines.back() == "# nodes=" + std::to_string(nodeCount) + ", time=0, nps=0");
  return thoughts;
}

TEST(ThinkingOutput, LinesAndClosingNodesLine) {
  auto pos = PositionFromFen(StartFen);
  ASSERT_TRUE(pos);
  Move best;
  SearchResult r;
  const std::vector<Thought> thoughts = SearchPrinted(*pos, 2, best, &r);
  // Depths 1 then 2 with growing node counts; each iteration's improvements
  // rise strictly, and it closes by repeating the last of them.
  ASSERT_GE(thoughts.size(), 4u);
  EXPECT_EQ(thoughts.front().depth, 1);
  for (size_t i = 1; i < thoughts.size(); ++i) {
    const Thought &t = thoughts[i], &prev = thoughts[i - 1];
    EXPECT_TRUE(t.depth == prev.depth || t.depth == prev.depth + 1) << i;
    EXPECT_GE(t.nodes, prev.nodes);
    const bool closing = i + 1 == thoughts.size() || thoughts[i + 1].depth != t.depth;
    if (closing) {
      EXPECT_TRUE(t.depth == prev.depth && t.score == prev.score && t.line == prev.line) << i;
    }
    if (!closing && t.depth == prev.depth) {
      EXPECT_GT(t.score, prev.score) << i;
    }
  }
  EXPECT_TRUE(thoughts.back().depth == 2 && thoughts.back().score == r.score && thoughts.back().nodes == nodeCount);
  std::string first = " ";
  first += Text(best);
  EXPECT_EQ(thoughts.back().line.substr(0, first.size()), first);
}

TEST(ThinkingOutput, ExactLineText) {
  auto pos = PositionFromFen("8/4P2k/8/8/8/8/8/K7 w - - 0 1");
  ASSERT_TRUE(pos);
  Move best;
  SearchResult r;
  std::vector<Thought> thoughts = SearchPrinted(*pos, 1, best, &r);
  ASSERT_FALSE(thoughts.empty());
  EXPECT_TRUE(thoughts.back().depth == 1 && thoughts.back().score == r.score && thoughts.back().nodes == nodeCount);
  EXPECT_EQ(thoughts.back().line, " e7e8q");
  // White's turns push the a-pawn; either way Black mates at once by taking
  // on h7 with check, a one-move turn. Alike, the first searched stands.
  auto pairs = PositionFromFen<MarseillaisPosition>("7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1");
  ASSERT_TRUE(pairs);
  MovePair turn;
  thoughts = SearchPrinted(*pairs, 2, turn);
  ASSERT_FALSE(thoughts.empty());
  EXPECT_EQ(Text(turn), "a2a3,a3a4");
  EXPECT_TRUE(thoughts.back().depth == 2 && thoughts.back().score == -31998 && thoughts.back().nodes == nodeCount);
  EXPECT_EQ(thoughts.back().line, " a2a3,a3a4 h8h7");
}

// Every line printed is a sequence of legal moves (turns) that, played out,
// ends in the position whose static or mate score is the line's score.
template <class P>
void ExpectLinesEndWhereScoresComeFrom(const char* fen, int depth) {
  constexpr bool turns = std::is_same_v<P, MarseillaisPosition>;
  auto pos = PositionFromFen<P>(fen);
  ASSERT_TRUE(pos) << fen;
  BestOf<P> best;
  const std::vector<Thought> thoughts = SearchPrinted(*pos, depth, best);
  ASSERT_FALSE(thoughts.empty()) << fen;
  for (const Thought& t : thoughts) {
    ASSERT_TRUE(SetupPlayableFen(*pos, fen));
    pos->ResetPly();
    std::istringstream words(t.line);
    int n = 0;
    for (std::string w; words >> w; ++n) {
      const BestOf<P> m = Find(*pos, w);
      ASSERT_NE(m, 0u) << "illegal " << w << " in" << t.line << " from " << fen;
      EXPECT_EQ(Text(m), w);
      Play(*pos, m);
    }
    const int sign = n % 2 ? -1 : 1, fromEval = sign * Evaluate(*pos);
    const std::string what = std::string(fen) + ": " + std::to_string(t.score) + t.line;
    if (!Legal(*pos).empty())
      EXPECT_EQ(t.score, fromEval) << what;
    else  // mated, stalemated, or drawn by an escape with no second move
      EXPECT_TRUE(t.score == fromEval || t.score == sign * (n - MateScore) || (turns && t.score == 0)) << what;
  }
}

TEST(ThinkingOutput, EachLineEndsWhereItsScoreComesFrom) {
  for (const char* fen : {StartFen, Kiwipete, "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                          "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
                          "2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", "r5k1/8/5q2/8/8/8/5PPP/R5K1 w - - 0 1"})
    ExpectLinesEndWhereScoresComeFrom<Position>(fen, 4);
  ExpectLinesEndWhereScoresComeFrom<Position>("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6);
  ExpectLinesEndWhereScoresComeFrom<MarseillaisPosition>("7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 3);
  ExpectLinesEndWhereScoresComeFrom<MarseillaisPosition>("8/5pk1/6p1/8/8/6P1/5PK1/3R4 w - - 0 1", 3);
  ExpectLinesEndWhereScoresComeFrom<MarseillaisPosition>("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1",
                                                         2);
  ExpectLinesEndWhereScoresComeFrom<MarseillaisPosition>(Kiwipete, 2);
}

// ---------------------------------------------------------------------------
// Determinism: the same search, silent or printed, in the same or a fresh
// position, gives the same move, score and node count, and restores the board.

template <class P>
void ExpectDeterministic(const char* fen, int depth) {
  auto pos = PositionFromFen<P>(fen), other = PositionFromFen<P>(fen);
  const Board before = *pos;
  BestOf<P> a, b, c;
  testing::internal::CaptureStdout();
  const SearchResult ra = SearchTo(*pos, depth, a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a silent search printed";
  const uint64_t nodes = nodeCount;
  EXPECT_TRUE(ra.depth == depth && pos->ply == 0);
  ExpectSameBoard(*pos, before);
  SearchResult rb;
  SearchPrinted(*pos, depth, b, &rb);
  EXPECT_EQ(nodeCount, nodes) << fen;
  const SearchResult rc = SearchTo(*other, depth, c);
  EXPECT_EQ(nodeCount, nodes) << fen;
  EXPECT_TRUE(a == b && b == c && ra.score == rb.score && rb.score == rc.score) << fen;
}

TEST(Search, Deterministic) {
  for (const char* fen : {StartFen, Kiwipete, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"})
    ExpectDeterministic<Position>(fen, 4);
  ExpectDeterministic<MarseillaisPosition>(Kiwipete, 2);
}

// ---------------------------------------------------------------------------
// Timed searches with nothing on the clock.

TEST(Search, ZeroBudgetStillReturnsALegalMove) {
  for (const char* fen : {StartFen, Kiwipete, "4k3/8/8/8/8/8/4q3/R3K3 w Q - 0 1"}) {
    auto pos = PositionFromFen(fen);
    auto pairs = PositionFromFen<MarseillaisPosition>(fen);
    Move best;
    MovePair turn;
    SearchTo(*pos, 0, best, false, true);
    EXPECT_TRUE(stopSearch && pos->ply == 0 && IsLegal(*pos, best)) << fen << " played " << Text(best);
    SearchTo(*pairs, 0, turn, false, true);
    EXPECT_TRUE(stopSearch && pairs->ply == 0 && IsLegal(*pairs, turn)) << fen << " played " << Text(turn);
  }
}

TEST(Search, ZeroBudgetStopsInsideTheFirstRootMove) {
  // Sixteen queens: the first root move's quiescence alone needs far more
  // than 4096 nodes, so the clock stops the search at node 4096 before any
  // root move is done and the caller's move stays 0.
  const char* fen = "qqqqkqqq/8/8/8/8/8/8/QQQQKQQQ w - - 0 1";
  auto pos = PositionFromFen(fen);
  ASSERT_TRUE(pos);
  Move best;
  testing::internal::CaptureStdout();
  const SearchResult r = SearchTo(*pos, 0, best, true, true);
  const std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
  EXPECT_TRUE(best == 0 && r.depth == 0 && stopSearch && nodeCount == 4096u);
  EXPECT_EQ(PositionToFen(*pos), fen);
  // The stopped iteration found no score and prints no thinking line.
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("# nodes=4096, time=\\d+, nps=\\d+"))) << lines[0];
}

// ---------------------------------------------------------------------------
// The ply stack and the move stack are never overrun.

template <class P>
void ExpectGuardedSearch(P& pos, int depth, const std::string& what) {
  const Board before = pos;
  const int ply = pos.ply;
  BestOf<P> best;
  EXPECT_EQ(SearchTo(pos, depth, best).depth, depth) << what;
  EXPECT_TRUE(IsLegal(pos, best)) << what << " played " << Text(best);
  EXPECT_EQ(pos.ply, ply) << what;
  ExpectSameBoard(pos, before);
  for (const auto& frame : pos.plyFrames)
    if (frame.list.begin) {
      EXPECT_LE(frame.list.end, pos.moveStack + P::MoveStackSize) << what;
    }
}

// Knight moves out and back: after a multiple of four plies the board is
// the initial one again with that many frames in use.
template <class P>
std::unique_ptr<P> AfterKnightShuffle(int plies) {
  auto pos = PositionFromFen<P>(StartFen);
  const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (int i = 0; i < plies; ++i) {
    const char* t = cycle[i % 4];
    const Move m = MakeMoveWord(MakeSquare(t[0] - 'a', t[1] - '1'), MakeSquare(t[2] - 'a', t[3] - '1'));
    if constexpr (std::is_same_v<P, Position>)
      PlayMove(*pos, m);
    else
      PlayMovePair(*pos, MakePairWord(m, 0));  // only the frames matter
  }
  EXPECT_EQ(pos->ply, plies);
  EXPECT_EQ(PositionToFen(*pos), StartFen);
  return pos;
}

TEST(SearchGuard, DeepAndNearlyFullSearches) {
  // Queens against exposed kings: long chains of checks and cross-checks.
  for (auto [fen, depth] : {std::pair{Queens, 8},
                            {"7k/6p1/6Qp/8/8/6qP/6P1/7K w - - 0 1", 9},
                            {"6k1/5p1p/6p1/8/8/8/q4PPP/1Q4K1 w - - 0 1", 8},
                            {"k7/8/8/3q4/8/3Q4/8/6K1 b - - 0 1", 8}})
    ExpectGuardedSearch(*PositionFromFen(fen), depth, fen);
  // A game filling 1016 of the 1024 frames; then the same frames under a
  // position full of checks.
  auto pos = AfterKnightShuffle<Position>(1016);
  ExpectGuardedSearch(*pos, 7, "start");
  ASSERT_TRUE(SetupPlayableFen(*pos, Queens));
  pos->plyFrames[pos->ply].list.Clear();
  ExpectGuardedSearch(*pos, 6, "queens");
  ExpectGuardedSearch(*AfterKnightShuffle<MarseillaisPosition>(1020), 3, "turns");
  // The root's list starts just before the end of the move stack: deeper
  // plies must answer statically rather than generate past the end.
  pos = PositionFromFen(Kiwipete);
  pos->plyFrames[0].list.begin = pos->plyFrames[0].list.end = pos->moveStack + Position::MoveStackSize - 600;
  ExpectGuardedSearch(*pos, 5, "moves, stack nearly full");
  auto pairs = PositionFromFen<MarseillaisPosition>(Kiwipete);
  pairs->plyFrames[0].list.begin = pairs->plyFrames[0].list.end =
      pairs->moveStack + MarseillaisPosition::MoveStackSize - (MarseillaisPosition::WorstCaseListSize + 3000);
  ExpectGuardedSearch(*pairs, 3, "turns, stack nearly full");
}

}  // namespace
}  // namespace quarn
