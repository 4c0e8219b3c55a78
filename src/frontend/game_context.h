// The live game: the position of the variant in play, the engine's side, the
// clock and the protocol's modes. The variant is chosen here, in WithVariant,
// and nowhere else.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "frontend/clock.h"
#include "movegen/variants.h"
#include "search/search.h"

namespace quarn {

enum class Variant : uint8_t { Normal, Marseillais };

// Bounds a harness may lower (the fuzzer keeps every command short): the
// deepest count by variant and the longest move budget in centiseconds.
struct CommandLimits {
  int perftDepth[2] = {NormalChess::MaxPerftDepth, MarseillaisChess::MaxPerftDepth};
  int32_t moveBudget = INT32_MAX;
};

// What a turn of the game changed, kept to take it back ("undo", "remove"):
// the board before it, the game's move count and whether the game was over.
struct PlayedTurn {
  Board before;
  uint32_t movesMade;
  bool gameOver;
};

struct GameContext {
  std::unique_ptr<Position> normalPosition;                  // null while Marseillais is played
  std::unique_ptr<MarseillaisPosition> marseillaisPosition;  // null while normal chess is played
  Variant variant = Variant::Normal;
  Color engineSide = NoColor;  // NoColor: the engine waits ("force", or no "go" yet)
  TimeControl timeControl;
  CommandLimits limits;
  bool boardDirty = true;
  bool xboardMode = false;
  bool forceMode = false;
  bool randomMode = false;
  bool gameOver = false;
  int maxDepth = MaxSearchDepth;  // "sd": the deepest iteration, until "new"
  // The turns played since the game (or its set-up position) began, oldest first.
  std::vector<PlayedTurn> played;
};

// Calls f(description, position) with the description of the variant in
// play (NormalChess or MarseillaisChess) and its position.
template <class F>
decltype(auto) WithVariant(GameContext& ctx, F&& f) {
  if (ctx.variant == Variant::Normal) return f(NormalChess{}, *ctx.normalPosition);
  return f(MarseillaisChess{}, *ctx.marseillaisPosition);
}

inline Board& CurrentBoard(GameContext& ctx) {
  return WithVariant(ctx, [](auto, Board& pos) -> Board& { return pos; });
}

}  // namespace quarn
