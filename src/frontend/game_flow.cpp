#include "frontend/game_flow.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/move_text.h"
#include "perft/perft.h"
#include "position/fen.h"
#include "search/search.h"

namespace quarn {

namespace {

template <class V>
using TurnType = typename V::Turn;

// A played game turn leaves the ply frames: its frame is folded into the
// count of moves made, so a game of any length fits them, and the board
// before it is kept in the game's record for a take-back.
template <class V>
void CommitTurn(GameContext& ctx, typename V::PositionType& pos, TurnType<V> t) {
  ctx.played.push_back(PlayedTurn{pos, pos.movesMade, ctx.gameOver});
  pos.CurrentList().Clear();
  PlayTurn<V>(pos, t);
  pos.CommitGameMoves();
}

// The 15 bits every rand() provides.
constexpr int RandomBits = 0x7FFF;

// The legal turn at index (rand() & RandomBits) mod count; 0 when there is none.
template <class V>
TurnType<V> PickRandomTurn(typename V::PositionType& pos) {
  const auto& list = BuildLegalList<V>(pos);
  if (list.Count() == 0) return 0;
  return V::TurnOf(list.At((std::rand() & RandomBits) % list.Count()));
}

// A search stopped before it completed any root turn (no time left, or a
// first root turn drowned in a chain of checking turns) returns none; the
// engine then plays the first legal one, never the value 0.
template <class V>
TurnType<V> FirstLegal(typename V::PositionType& pos) {
  const auto& list = BuildLegalList<V>(pos);
  return list.Count() ? V::TurnOf(list.At(0)) : TurnType<V>(0);
}

void PrintMoveLines(Move m) {
  char text[MoveTextSize];
  FormatMove(m, text);
  std::printf("move %s\n", text);
}
// A two-move turn is sent as two lines, the first ending in a comma.
void PrintMoveLines(MovePair p) {
  if (IsSingleTurn(p)) return PrintMoveLines(FirstOf(p) ? FirstOf(p) : SecondOf(p));
  char text[MoveTextSize];
  FormatMove(FirstOf(p), text);
  std::printf("move %s,\n", text);
  FormatMove(SecondOf(p), text);
  std::printf("move %s\n", text);
}

// "depth score time nodes line" for every thinking line the search reports.
template <class Turn>
class ThinkingPrinter final : public SearchReporter<Turn> {
 public:
  explicit ThinkingPrinter(const TimeControl& tc) : tc_(tc) {}
  void Thinking(int depth, int score, uint64_t nodes, const BasicPvLine<Turn>& line) override {
    std::printf("%d %d %d %lld", depth, score, MoveElapsed(tc_), (long long)nodes);
    char text[TurnTextSize];
    for (uint32_t i = 0; i < line.count; ++i) {
      FormatTurn(line.moves[i], text);
      std::printf(" %s", text);
    }
    std::printf("\n");
    std::fflush(stdout);
  }

 private:
  const TimeControl& tc_;
};

}  // namespace

int32_t PerSecond(uint64_t count, int32_t elapsed) {
  if (elapsed <= 0) return 0;
  return SaturatedInt32(double(count) * 100.0 / double(elapsed));
}

namespace {

void PrintNodesLine(uint64_t nodes, int32_t elapsed) {
  std::printf("# nodes=%llu, time=%d, nps=%d\n", (unsigned long long)nodes, elapsed, PerSecond(nodes, elapsed));
}

template <class V>
void PlayTypedTurn(GameContext& ctx, typename V::PositionType& pos, const char* word) {
  ParsedMove first, second;
  TurnType<V> found = 0;
  if (ParseTypedTurn(word, V::MovesPerTurn, first, second)) {
    const auto& list = BuildLegalList<V>(pos);
    for (int i = 0; i < list.Count() && !found; ++i) {
      if (MatchesTyped(V::TurnOf(list.At(i)), first, second)) found = V::TurnOf(list.At(i));
    }
  }
  if (!found) {
    std::printf("Error (illegal move): %s\n", word);
    std::fflush(stdout);
    return;
  }
  CommitTurn<V>(ctx, pos, found);
  ctx.boardDirty = true;
  PrintBoard(ctx);
  if (ctx.engineSide == NoColor && !ctx.forceMode) ctx.engineSide = pos.sideToMove;
}

template <class V>
void PlayEngineTurn(GameContext& ctx, typename V::PositionType& pos) {
  if (ctx.gameOver || ctx.engineSide != pos.sideToMove) return;
  TimeControl& tc = ctx.timeControl;
  StartClock(tc);
  TurnType<V> t = 0;
  if (ctx.randomMode) {
    t = PickRandomTurn<V>(pos);
  } else {
    tc.moveBudget = std::min(ctx.limits.moveBudget, MoveBudget(tc, pos.GamePly(), pos.sideToMove));
    ThinkingPrinter<TurnType<V>> printer(tc);
    const auto result = SearchBestMove(pos, SearchLimits{ctx.maxDepth, true, tc.startStamp, tc.moveBudget}, &printer);
    PrintNodesLine(result.nodes, MoveElapsed(tc));
    t = result.best;
  }
  if (t == 0) t = FirstLegal<V>(pos);
  if (t != 0) {
    CommitTurn<V>(ctx, pos, t);
    PrintMoveLines(t);
  }
  std::fflush(stdout);
  ctx.boardDirty = true;
  PrintBoard(ctx);
  StopClock(tc);
}

// Divide's lines: "# e2e4 : 1" at depth 1, "e2e4  20" below it.
template <class Turn>
class DividePrinter final : public DivideReporter<Turn> {
 public:
  explicit DividePrinter(int depth) : depth_(depth) {}
  void Entry(Turn t, uint64_t count) override {
    char text[TurnTextSize];
    FormatTurn(t, text);
    if (depth_ == 1)
      std::printf("# %-5s: %llu\n", text, (unsigned long long)count);
    else
      std::printf("%-5s %llu\n", text, (unsigned long long)count);
  }

 private:
  int depth_;
};

template <class V>
void CountTurns(TimeControl& tc, typename V::PositionType& pos, int depth, bool divide) {
  StartClock(tc);
  PerftResult r;
  if (divide) {
    DividePrinter<TurnType<V>> printer(depth);
    r = Divide(pos, depth, printer);
  } else {
    r = PerftRoot(pos, depth);
  }
  StopClock(tc);
  const int32_t elapsed = MoveElapsed(tc);
  std::printf("# perft(%d) = %llu, nodesPerft=%llu, time=%d.%02d, lps=%d, nps=%d\n", depth,
              (unsigned long long)r.leaves, (unsigned long long)r.nodes, elapsed / 100, elapsed % 100,
              PerSecond(r.leaves, elapsed), PerSecond(r.nodes, elapsed));
  std::fflush(stdout);
}

}  // namespace

bool InitGameContext(GameContext& ctx) {
  ctx = GameContext{};
  ctx.normalPosition = ConstructPosition<Position>();
  return ctx.normalPosition != nullptr;
}

bool ParseVariant(const char* name, Variant& v) {
  const bool normal = std::strcmp(name, "normal") == 0;
  if (!normal && std::strcmp(name, "marseillais") != 0 && std::strcmp(name, "multi") != 0) return false;
  v = normal ? Variant::Normal : Variant::Marseillais;
  return true;
}

void SwitchVariant(GameContext& ctx, const char* name) {
  Variant target;
  if (!ParseVariant(name, target)) return;
  if (ctx.variant == target) return;
  const bool built = target == Variant::Normal
                         ? bool(ctx.normalPosition = ConstructPosition<Position>())
                         : bool(ctx.marseillaisPosition = ConstructPosition<MarseillaisPosition>());
  if (!built) {
    std::printf("Error (out of memory): variant %s\n", name);
    std::fflush(stdout);
    return;
  }
  if (target == Variant::Normal)
    ctx.marseillaisPosition.reset();
  else
    ctx.normalPosition.reset();
  ctx.variant = target;
  ResetGame(ctx);
}

void ResetGame(GameContext& ctx) {
  WithVariant(ctx, [](auto, auto& pos) {
    SetFromFen(pos, StartFen);
    pos.ResetPly();
  });
  ctx.engineSide = NoColor;
  TimeControl& tc = ctx.timeControl;
  tc.running = false;
  tc.usedTime = 0;
  tc.moveStartUsed = 0;
  tc.moveBudget = 0;
  ctx.forceMode = false;
  ctx.randomMode = false;
  ctx.gameOver = false;
  ctx.boardDirty = true;
  ctx.played.clear();
}

bool TakeBack(GameContext& ctx, size_t turns) {
  if (ctx.played.size() < turns) return false;
  const PlayedTurn& first = ctx.played[ctx.played.size() - turns];
  WithVariant(ctx, [&](auto, auto& pos) {
    static_cast<Board&>(pos) = first.before;
    pos.movesMade = first.movesMade;
    pos.CurrentList().Clear();
  });
  ctx.gameOver = first.gameOver;
  ctx.played.resize(ctx.played.size() - turns);
  ctx.boardDirty = true;
  PrintBoard(ctx);
  return true;
}

void PrintBoard(GameContext& ctx) {
  if (ctx.boardDirty) {
    ctx.boardDirty = false;
    const Board& b = CurrentBoard(ctx);
    for (int rank = 7; rank >= 0; --rank) {
      char line[11] = "# ";
      for (int file = 0; file < 8; ++file) {
        const Square sq = MakeSquare(file, rank);
        line[2 + file] = PieceLetter(b.colorAt[sq], b.typeAt[sq]);
      }
      line[10] = '\0';
      std::printf("%s\n", line);
    }
  }
  std::fflush(stdout);
}

void HandleMoveWord(GameContext& ctx, const char* word) {
  WithVariant(ctx, [&](auto v, auto& pos) { PlayTypedTurn<decltype(v)>(ctx, pos, word); });
}

void CheckGameOver(GameContext& ctx) {
  if (ctx.gameOver) return;
  WithVariant(ctx, [&](auto v, auto& pos) { ctx.gameOver = BuildLegalList<decltype(v)>(pos).Count() == 0; });
}

void EngineTurn(GameContext& ctx) {
  WithVariant(ctx, [&](auto v, auto& pos) { PlayEngineTurn<decltype(v)>(ctx, pos); });
}

void RunCount(GameContext& ctx, long long depth, bool divide) {
  WithVariant(ctx, [&](auto v, auto& pos) {
    if (depth > 0 && depth <= decltype(v)::MaxPerftDepth && depth <= ctx.limits.perftDepth[int(ctx.variant)])
      CountTurns<decltype(v)>(ctx.timeControl, pos, int(depth), divide);
  });
}

}  // namespace quarn
