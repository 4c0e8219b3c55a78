// The search in both variants: mate and stalemate (draw) scores, agreement with a
// plain minimax of the same tree, thinking output, determinism, and the
// ply-stack and move-stack guards.
#include "eval/evaluate.h"
#include "position/time_source.h"
#include "search/ordering.h"
#include "search/search_context.h"
#include "test_util.h"

namespace quarn::test {
namespace {

constexpr const char* Queens = "1k6/8/8/2q1q3/8/2Q1Q3/8/6K1 w - - 0 1";

template <class P>
bool IsLegal(P& pos, BestOf<P> m) {
  const auto all = Legal(pos);
  return m != 0 && std::find(all.begin(), all.end(), m) != all.end();
}

// ---------------------------------------------------------------------------
// A textbook fail-hard alpha-beta over the tree the search defines: every
// legal move at full nodes, a check extending the last ply, captures with
// stand-pat below the horizon.
// Its root value is the minimax value the engine's search must find too.

template <Color Us>
int ReferenceQuiesce(const Board& b, int alpha, int beta) {
  const int stand = Evaluate(b);
  if (stand >= beta) return beta;
  alpha = std::max(alpha, stand);
  Board scratch = b;
  FixedMoveList captures;
  GenerateCaptures<Us>(scratch, captures);
  for (int i = 0; i < captures.Count(); ++i) {
    Board child = b;
    UndoRecord u;
    MakeMove(child, captures.At(i).move, u);
    if (IsSquareAttackedBy(child, child.KingSquare(Us), Opponent(Us))) continue;
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
  if (moves.empty()) return std::clamp(SideToMoveInCheck(b) ? ply - MateScore : DrawScore, alpha, beta);
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

// The same for turns: the static score at the horizon, and a side without a
// turn drawn unless it is in check with no non-checking escape.
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
    return SideToMoveInCheck(b) && !quietEscape ? ply - MateScore : DrawScore;
  }
  int best = -MateScore;
  for (MovePair p : turns) {
    Board child = b;
    UndoRecord u[2];
    MakeTurn(child, p, u);
    if (SideToMoveInCheck(child))
      best = std::max(best, -ReferencePairSearch(child, std::max(depth - 1, 1), ply + 1));
    else
      best = std::max(best, depth == 1 ? -Evaluate(child) : -ReferencePairSearch(child, depth - 1, ply + 1));
  }
  return best;
}

// ---------------------------------------------------------------------------
// Mates, stalemates (draws) and the score scale.

constexpr int Any = 1 << 20;

// "*" matches any text, "!" followed by a text any other; otherwise the
// lengths agree and "?" matches any character.
bool Like(const std::string& text, const std::string& pattern) {
  if (pattern == "*") return true;
  if (pattern[0] == '!') return text != pattern.substr(1);
  return text.size() == pattern.size() &&
         std::equal(text.begin(), text.end(), pattern.begin(), [](char t, char p) { return p == '?' || p == t; });
}

// Each row is searched at every depth up to its last. Up to `minimax` the score is the
// reference's and the chosen move is worth it; at `depth` (by default the last) the score
// is `score` unless Any, and the move or turn matches `move` (see Like; "-" for none).
TEST(Search, ScoresMovesAndMinimax) {
  const struct {
    bool turns;
    const char* fen;
    int minimax, depth = 0, score = Any;
    const char* move = "*";
  } cases[] = {
      {false, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3, 1, 31999, "a1a8"},  // mate in one
      {false, "r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", 2, 2, 31999, "a8a1"},
      {false, "2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", 3, 3, 31997},            // mate in two
      {false, "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", 0, 3, Any, "-"},       // mated root
      {false, "7k/5K2/6P1/8/8/8/8/8 b - - 0 1", 0, 3, Any, "-"},          // stalemated root
      {false, "6rk/6pp/8/6N1/8/8/8/6K1 w - - 0 1", 2, 1, 31999, "g5f7"},  // smothered: no evasion at all
      {false, "7k/5K2/8/6P1/8/8/8/8 w - - 0 1", 0, 2, Any, "!g5g6"},      // g6 would stalemate
      // The mate by Kf6 and Qg7 two moves away, not the stalemate by Qg6.
      {false, "7k/8/8/5K2/8/8/8/6Q1 w - - 0 1", 3, 3, 31997, "!g1g6"},
      // Black's only move lets White stalemate it: a draw at best for White.
      {false, "7k/5K2/6P1/p7/8/P7/8/8 b - - 0 1", 0, 3, Any, "a5a4"},
      // Rxb2 would stalemate; the rook keeps its distance and the win.
      {false, "8/8/8/8/8/2k5/6r1/K7 b - - 0 1", 0, 4, Any, "!g2b2"},
      {false, "8/8/4k3/8/8/4K3/3P4/8 w - - 0 1", 3},
      {false, "k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1", 3},                // Qxe5 loses the queen to dxe5
      {false, "k7/8/8/4p3/8/8/8/4QK2 w - - 0 1", 1, 1, Any, "e1e5"},  // a loose pawn
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
      // Turns (in the minimax rows one side is bare or cannot check within two turns: no endless
      // chain of checks needs the ply guard). Rxa8 mates at once: a checking first move stands alone.
      {true, "r5k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 0, 1, 31999, "a1a8"},
      // Qc6 and Qc8 would stalemate at once (scored as a mate before).
      {true, "8/k7/8/1K6/8/8/6Q1/8 w - - 0 1", 0, 2, Any, "!g2c6,c6c8"},
      // Whatever White does, Black mates on its first turn.
      {true, "7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 2, 3, 2 - MateScore},
      // The first turn of the game is a single move; later turns have two.
      {true, StartFen, 0, 3, Any, "????"},
      {true, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", 0, 2, Any, "????,????"},
      {true, "4k3/8/8/8/8/8/2NBP3/4K3 w - - 0 1", 2},
      {true, "6k1/8/8/8/8/8/8/R3K3 w - - 0 1", 2},
      {true, "8/8/4k3/8/8/4K3/3P4/8 w - - 0 1", 2},
      {true, "6k1/8/8/8/8/8/3q4/4K3 w - - 0 1", 2},
      {true, "7k/8/8/8/8/1r6/r7/7K b - - 0 1", 2},
      {true, "k7/8/3p4/4p3/8/8/8/4QK2 w - - 0 1", 1},  // the static horizon
  };
  for (const auto& c : cases) {
    auto check = [&](auto& pos, auto reference) {
      const int last = std::max(c.minimax, c.depth), given = c.depth ? c.depth : last;
      for (int depth = 1; depth <= last; ++depth) {
        const std::string what = Cat(c.fen, " depth ", std::to_string(depth));
        const auto r = SearchTo(pos, depth);
        if (depth <= c.minimax) {
          EXPECT_EQ(r.score, reference(pos, depth)) << what;
        }
        if (depth == given) {
          EXPECT_TRUE(c.score == Any || r.score == c.score) << what << " scored " << r.score;
        }
        if (*c.move == '-') {
          EXPECT_EQ(r.best, 0u) << what;
          continue;
        }
        ASSERT_TRUE(IsLegal(pos, r.best)) << what << " played " << Text(r.best);
        EXPECT_EQ(r.depth, depth) << what;
        if constexpr (std::is_same_v<std::decay_t<decltype(pos)>, Position>) {
          Board child = pos;  // the chosen move is worth the root score
          UndoRecord u;
          MakeMove(child, r.best, u);
          EXPECT_TRUE(depth > c.minimax || ReferenceChild(child, depth, 1) == r.score) << what;
        }
        if (depth == given) {
          EXPECT_TRUE(Like(Text(r.best), c.move)) << what << " played " << Text(r.best);
        }
      }
    };
    if (c.turns)
      check(*PositionFromFen<MarseillaisPosition>(c.fen),
            [](const Board& b, int d) { return ReferencePairSearch(b, d, 0); });
    else
      check(*PositionFromFen(c.fen), [](const Board& b, int d) { return ReferenceSearch(b, d, 0); });
  }
  // Stand pat: no capture or check for either side, so each root move is
  // answered by a single quiescence node (its score: the minimax rows).
  auto pos = PositionFromFen("8/8/4k3/8/8/4K3/3P4/8 w - - 0 1");
  EXPECT_EQ(SearchTo(*pos, 1).nodes, 1 + LegalMoves(*pos).size());
}

// ---------------------------------------------------------------------------
// Thinking: within an iteration the scores rise strictly and the iteration
// closes by repeating its last line; every line is a sequence of legal moves
// (turns) that, played out, ends where its static or mate score comes from.
// The same search silent or in a fresh position gives the same result.

template <class P>
void ExpectThinkingLines(const char* fen, int depth) {
  constexpr bool turns = std::is_same_v<P, MarseillaisPosition>;
  auto pos = PositionFromFen<P>(fen), other = PositionFromFen<P>(fen);
  const Board before = *pos;
  ThinkingRecorder<BestOf<P>> recorder;
  const auto r = SearchTo(*pos, depth, &recorder);
  EXPECT_TRUE(BoardsEqual(*pos, before));
  const auto& lines = recorder.lines;
  ASSERT_FALSE(lines.empty()) << fen;
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto& t = lines[i];
    const bool closing = i + 1 == lines.size() || lines[i + 1].depth != t.depth;
    if (i > 0 && t.depth == lines[i - 1].depth) {
      EXPECT_TRUE(closing ? t.score == lines[i - 1].score && t.line == lines[i - 1].line : t.score > lines[i - 1].score)
          << fen << " depth " << t.depth;
    }
    EXPECT_TRUE(i == 0 ? t.depth == 1 : t.depth - lines[i - 1].depth <= 1) << fen;
    EXPECT_LE(t.nodes, r.nodes);
    ASSERT_TRUE(Load(*other, fen));
    for (auto m : t.line) {
      ASSERT_TRUE(IsLegal(*other, m)) << "illegal " << Text(m) << " from " << fen;
      Play(*other, m);
    }
    const int ply = int(t.line.size()), sign = ply % 2 ? -1 : 1, fromEval = sign * Evaluate(*other);
    if (!Legal(*other).empty())
      EXPECT_EQ(t.score, fromEval) << fen;
    else if (SideToMoveInCheck(*other))  // mated, or drawn by an escape with no second move
      EXPECT_TRUE(t.score == fromEval || t.score == sign * (ply - MateScore) || (turns && t.score == DrawScore)) << fen;
    else  // stalemated
      EXPECT_TRUE(t.score == fromEval || t.score == DrawScore) << fen;
  }
  EXPECT_TRUE(lines.back().depth == r.depth && lines.back().score == r.score && lines.back().line.at(0) == r.best);
  ASSERT_TRUE(Load(*other, fen));
  const auto again = SearchTo(*other, depth);
  EXPECT_TRUE(again.best == r.best && again.nodes == r.nodes) << fen;
}

TEST(Thinking, LinesScoresAndDeterminism) {
  for (const char* fen : {StartFen, Kiwipete, "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                          "2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", "r5k1/8/5q2/8/8/8/5PPP/R5K1 w - - 0 1"})
    ExpectThinkingLines<Position>(fen, 4);
  ExpectThinkingLines<Position>("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6);
  ExpectThinkingLines<MarseillaisPosition>("7r/7P/8/8/8/5n2/P4k2/7K w - - 0 1", 3);
  ExpectThinkingLines<MarseillaisPosition>("8/5pk1/6p1/8/8/6P1/5PK1/3R4 w - - 0 1", 3);
  ExpectThinkingLines<MarseillaisPosition>(Kiwipete, 2);
}

// ---------------------------------------------------------------------------
// The clock: a timed search looks at it every ClockPollMask + 1 nodes. With
// no time left it stops at the first look, keeping the score and depth of
// its last completed iteration and the best turn found so far; with time to
// spare it ends at its depth limit exactly as an untimed search does.

template <class P>
void ExpectClockStops(const char* fen, bool completesARootTurn = false) {
  auto pos = PositionFromFen<P>(fen);
  ThinkingRecorder<BestOf<P>> recorder;
  const auto r = SearchBestMove(*pos, SearchLimits{MaxSearchDepth, true, ClockNow(), 0}, &recorder);
  EXPECT_EQ(r.nodes, ClockPollMask + 1) << fen;
  ASSERT_GE(r.depth, 1) << fen;
  const auto completed = SearchTo(*pos, r.depth), next = SearchTo(*pos, r.depth + 1);
  EXPECT_TRUE(r.score == completed.score && completed.nodes < r.nodes && r.nodes < next.nodes) << fen;
  EXPECT_EQ(r.best, recorder.lines.back().line.at(0)) << fen;
  // The stopped iteration, if it completed a root turn, closes with its best
  // so far: the improvement is told again.
  const auto& lines = recorder.lines;
  const auto stopped = std::count_if(lines.begin(), lines.end(), [&](const auto& t) { return t.depth > r.depth; });
  if (stopped || completesARootTurn) {
    ASSERT_GE(stopped, 2) << fen;
    const auto &closing = lines.back(), &improved = lines[lines.size() - 2];
    EXPECT_TRUE(closing.score == improved.score && closing.line == improved.line) << fen;
  }
  const auto spare = SearchBestMove(*pos, SearchLimits{r.depth + 1, true, ClockNow(), 360000});
  EXPECT_TRUE(spare.nodes == next.nodes && spare.depth == r.depth + 1 && spare.best == next.best) << fen;
}

TEST(Search, ClockStopsAtTheFirstLookWithNoTime) {
  ExpectClockStops<Position>(StartFen);
  ExpectClockStops<Position>(Kiwipete);
  ExpectClockStops<MarseillaisPosition>(StartFen);
  ExpectClockStops<MarseillaisPosition>("8/5pk1/6p1/8/8/6P1/5PK1/3R4 w - - 0 1");
  // Few replies: the stopped iteration completes root moves and turns.
  ExpectClockStops<Position>("2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", true);
  ExpectClockStops<MarseillaisPosition>("2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", true);
  // Queens everywhere: the first root move's captures outlast the first look,
  // and the search has no move, score or depth to give.
  const auto none = SearchBestMove(*PositionFromFen("qqqqkqqq/8/8/8/8/8/8/QQQQKQQQ w - - 0 1"),
                                   SearchLimits{MaxSearchDepth, true, ClockNow(), 0});
  EXPECT_TRUE(none.best == NoMove && none.score == 0 && none.depth == 0 && none.nodes == ClockPollMask + 1);
}

// ---------------------------------------------------------------------------
// Ordering: the previous line's move or turn first, then captures (a first
// move's capture above any second move's, a bigger victim above a smaller,
// then a smaller attacker), everything else at 0 in generation order. The
// ranked count is exactly the entries a selection pass must sort.

template <class E>
void ExpectOrdering(const Board& b, StackList<E>& list, decltype(Word(E{})) preferred, int ranked) {
  const std::string what = Cat(PositionToFen(b), " preferring ", Text(preferred));
  auto capturesSecond = [&](MovePair p) { return SecondOf(p) && b.colorAt[MoveTo(SecondOf(p))] != NoColor; };
  int positive = 0;
  bool listed = false;
  for (int i = 0; i < list.Count(); ++i) {
    const E& e = list.At(i);
    listed |= Word(e) == preferred;
    const Move first = FirstOf(MovePair(Word(e)));
    const bool captures = b.colorAt[MoveTo(first)] != NoColor || capturesSecond(MovePair(Word(e)));
    EXPECT_EQ(e.score, Word(e) == preferred ? PreferredScore : captures ? e.score : 0) << what << Text(Word(e));
    EXPECT_EQ(e.score > 0, captures || Word(e) == preferred) << what << Text(Word(e));
    positive += e.score > 0;
    if (Word(e) == preferred) continue;
    for (int j = 0; j < list.Count(); ++j) {  // first captures, victims, attackers
      const E& o = list.At(j);
      const Move f = FirstOf(MovePair(Word(o)));
      if (Word(o) == preferred || MoveTo(f) == MoveTo(first) || b.colorAt[MoveTo(first)] == NoColor) continue;
      const int victims = b.typeAt[MoveTo(first)] - (b.colorAt[MoveTo(f)] != NoColor ? b.typeAt[MoveTo(f)] : 0);
      const int attackers = b.typeAt[MoveFrom(f)] - b.typeAt[MoveFrom(first)];
      const bool firstOnly = !capturesSecond(Word(e)) && !capturesSecond(Word(o));
      if (victims > 0 || (victims == 0 && attackers > 0 && firstOnly)) {
        EXPECT_GT(e.score, o.score) << what << Text(Word(e)) << " over " << Text(Word(o));
      }
    }
  }
  EXPECT_EQ(ranked, positive) << what;
  int previous = PreferredScore;
  for (int k = 0; k < list.Count(); ++k) {
    const E* e = PickNextRanked(k, list, ranked);
    ASSERT_NE(e, nullptr);
    EXPECT_LE(e->score, previous) << what;
    previous = e->score;
    if (k == 0 && listed) {
      EXPECT_EQ(Word(*e), preferred) << what;
    }
  }
  EXPECT_EQ(PickNextRanked(list.Count(), list, ranked), nullptr);
}

TEST(Ordering, PreferredThenCapturesByVictimAndAttacker) {
  for (const char* fen : {Kiwipete, "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10"}) {
    Board b = BoardFromFen(fen);
    std::vector<ScoredMove> moves(MaxMovesPerPosition);
    std::vector<ScoredPair> turns;
    for (MovePair p : LegalTurns(b)) turns.push_back({p, 0});
    // The turns are scored after generation, and never past the list's end,
    // where a capture stands.
    const auto capture = std::find_if(
        turns.begin(), turns.end(), [&](const ScoredPair& e) { return b.colorAt[MoveTo(FirstOf(e.pair))] != NoColor; });
    ASSERT_NE(capture, turns.end());
    std::rotate(capture, capture + 1, turns.end());
    for (const size_t pick : {size_t(0), turns.size() / 2}) {
      StackMoveList list{moves.data(), moves.data()};
      RankingList ranking{list};
      GenerateMoves<White>(b, ranking);
      const Move m = list.At(int(pick * list.Count() / turns.size())).move;
      ExpectOrdering(b, list, m, ranking.captures + RankPreferred(list, m));
      for (auto& e : turns) e.score = 0;
      StackPairList pairs{turns.data(), turns.data() + turns.size() - 1};
      const MovePair p = turns[pick].pair;
      ExpectOrdering(b, pairs, p, ScorePairsRanked(b, p, pairs));
      EXPECT_EQ(turns.back().score, 0);
    }
  }
}

// ---------------------------------------------------------------------------
// The ply stack and the move stack are never overrun.

template <class P>
void ExpectGuardedSearch(P& pos, int depth, const std::string& what) {
  const Board before = pos;
  const int ply = pos.ply;
  const auto r = SearchTo(pos, depth);
  EXPECT_EQ(r.depth, depth) << what;
  EXPECT_TRUE(IsLegal(pos, r.best)) << what << " played " << Text(r.best);
  EXPECT_EQ(pos.ply, ply) << what;
  EXPECT_TRUE(BoardsEqual(pos, before));
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
  for (int i = 0; i < plies; ++i) Play(*pos, Mv(cycle[i % 4]));  // as turns, only the frames matter
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
}  // namespace quarn::test
