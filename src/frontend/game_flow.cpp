#include "frontend/game_flow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/move_text.h"
#include "movegen/legal.h"
#include "movegen/turns.h"
#include "search/search.h"

namespace quarn {

namespace {

// The legal moves or turns of the side to move, built afresh in the current
// ply's list (which may still hold an earlier command's list).
void BuildLegalList(Position& pos) {
  pos.CurrentList().Clear();
  GenerateLegalMovesForSideToMove(pos, pos.CurrentList());
}
void BuildLegalList(MarseillaisPosition& pos) {
  pos.CurrentList().Clear();
  GenerateLegalTurnsForSideToMove(pos, pos.CurrentList());
}

// A played game move is never taken back: its frame is folded into the
// count of moves made, so a game of any length fits the ply frames.
void CommitMove(Position& pos, Move m) {
  pos.CurrentList().Clear();
  PlayMove(pos, m);
  pos.CommitGameMoves();
}
void CommitMove(MarseillaisPosition& pos, MovePair p) {
  pos.CurrentList().Clear();
  PlayMovePair(pos, p);
  pos.CommitGameMoves();
}

void AfterAcceptedMove(GameContext& ctx, int sideToMove) {
  ctx.boardDirty = true;
  PrintBoard(ctx);
  if (ctx.engineSide == 2 && !ctx.forceMode) ctx.engineSide = sideToMove;
}

void RejectMove(const char* word) {
  std::printf("Error (illegal move): %s\n", word);
  std::fflush(stdout);
}

}  // namespace

void HandleMoveWord(GameContext& ctx, const char* word) {
  if (ctx.variant == 0) {
    Position& pos = *ctx.normalPosition;
    ParsedMove typed;
    const Move m = ParseCoordinateMove(word, typed) ? FindUserMove(pos, typed) : 0;
    if (m == 0) return RejectMove(word);
    CommitMove(pos, m);
    AfterAcceptedMove(ctx, pos.sideToMove);
    return;
  }
  MarseillaisPosition& pos = *ctx.marseillaisPosition;
  ParsedMove first, second;  // a single typed move leaves the second at 0x80, 0x80
  bool parsed;
  const char* comma = std::strchr(word, ',');
  if (comma) {
    char firstText[256];
    const size_t n = size_t(comma - word);
    std::memcpy(firstText, word, n);
    firstText[n] = '\0';
    parsed = ParseCoordinateMove(firstText, first) && ParseCoordinateMove(comma + 1, second);
  } else {
    parsed = ParseCoordinateMove(word, first);
  }
  const MovePair p = parsed ? FindUserMovePair(pos, first, second) : 0;
  if (p == 0) return RejectMove(word);
  CommitMove(pos, p);
  AfterAcceptedMove(ctx, pos.sideToMove);
}

void CheckGameOver(GameContext& ctx) {
  if (ctx.gameOver) return;
  if (ctx.variant == 0) {
    BuildLegalList(*ctx.normalPosition);
    if (ctx.normalPosition->CurrentList().Count() == 0) ctx.gameOver = true;
  } else {
    BuildLegalList(*ctx.marseillaisPosition);
    if (ctx.marseillaisPosition->CurrentList().Count() == 0) ctx.gameOver = true;
  }
}

Move PickRandomMove(Position& pos) {
  BuildLegalList(pos);
  const StackMoveList& list = pos.CurrentList();
  if (list.Count() == 0) return 0;
  return list.At((std::rand() & 0x7FFF) % list.Count()).move;
}

MovePair PickRandomMovePair(MarseillaisPosition& pos) {
  BuildLegalList(pos);
  const StackPairList& list = pos.CurrentList();
  if (list.Count() == 0) return 0;
  return list.At((std::rand() & 0x7FFF) % list.Count()).pair;
}

namespace {

// A search stopped before it completed any root move (no time left, or a
// first root move drowned in a chain of checking turns) returns no move; the
// engine then plays the first legal one, never the value 0.
Move FirstLegal(Position& pos) {
  BuildLegalList(pos);
  return pos.CurrentList().Count() ? pos.CurrentList().At(0).move : Move(0);
}
MovePair FirstLegal(MarseillaisPosition& pos) {
  BuildLegalList(pos);
  return pos.CurrentList().Count() ? pos.CurrentList().At(0).pair : MovePair(0);
}

}  // namespace

void EngineTurn(GameContext& ctx) {
  if (ctx.gameOver ||
      ctx.engineSide != (ctx.variant == 0 ? ctx.normalPosition->sideToMove : ctx.marseillaisPosition->sideToMove)) {
    return;
  }
  StartClock(ctx.timeControl);
  char text[16];
  if (ctx.variant == 0) {
    Position& pos = *ctx.normalPosition;
    Move m = 0;
    if (ctx.randomMode)
      m = PickRandomMove(pos);
    else
      SearchBestMove(pos, ctx.timeControl, m);
    if (m == 0) m = FirstLegal(pos);
    if (m != 0) {
      CommitMove(pos, m);
      FormatMove(m, text);
      std::printf("move %s\n", text);
    }
  } else {
    MarseillaisPosition& pos = *ctx.marseillaisPosition;
    MovePair p = 0;
    if (ctx.randomMode)
      p = PickRandomMovePair(pos);
    else
      SearchBestMovePair(pos, ctx.timeControl, p);
    if (p == 0) p = FirstLegal(pos);
    if (p != 0) {
      CommitMove(pos, p);
      if (IsSingleTurn(p)) {
        FormatMovePair(p, text);
        std::printf("move %s\n", text);
      } else {
        FormatMove(FirstOf(p), text);
        std::printf("move %s,\n", text);
        FormatMove(SecondOf(p), text);
        std::printf("move %s\n", text);
      }
    }
  }
  std::fflush(stdout);
  ctx.boardDirty = true;
  PrintBoard(ctx);
  StopClock(ctx.timeControl);
}

}  // namespace quarn
