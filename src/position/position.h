// The two position objects: the board plus a shared move stack and one frame
// per ply. A frame holds its ply's move list (a window on the move stack) and
// the undo record(s) of the move or turn made from it. One generic type
// serves both: normal chess keeps 4-byte moves and one undo record per ply,
// Marseillais play 8-byte pairs and two records per ply.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

#include "position/board.h"
#include "position/move_list.h"

namespace quarn {

struct UndoRecord {
  uint8_t captured;
  uint8_t capturedSlot;
  uint8_t oldCastlingRights;
  uint8_t oldEpSquare;
};
static_assert(sizeof(UndoRecord) == 4);

constexpr int MaxPlyFrames = 1024;

template <class Element, int UndoCount, int StackSize, int PlyReserve>
struct BasicPosition : Board {
  using ElementType = Element;
  using List = StackList<Element>;
  struct PlyFrame {
    List list;
    UndoRecord undo[UndoCount];
  };
  static constexpr int MoveStackSize = StackSize;
  // Room that one ply's list may need at worst; a search refuses to go a ply
  // deeper unless this much of the stack (and a frame) is left.
  static constexpr int WorstCaseListSize = PlyReserve;

  Element moveStack[StackSize];
  PlyFrame plyFrames[MaxPlyFrames];
  int ply;
  // Moves (or turns) made in the game before the current frame 0. The game's
  // moves are never taken back, so their frames are reused; the clock counts
  // movesMade + ply as the moves of the game.
  uint32_t movesMade;

  List& CurrentList() { return plyFrames[ply].list; }
  UndoRecord* CurrentUndo() { return plyFrames[ply].undo; }

  // Frame 0 empty at the start of the move stack, as after a new game.
  void ResetPly() {
    ply = 0;
    movesMade = 0;
    plyFrames[0].list.begin = plyFrames[0].list.end = moveStack;
  }
  // Steps one ply deeper: the new window starts where the previous one ends.
  void OpenNextPly() {
    ++ply;
    plyFrames[ply].list.begin = plyFrames[ply].list.end = plyFrames[ply - 1].list.end;
  }
  // True when the current ply can generate its largest possible list and
  // still leave a frame for the ply below it.
  bool HasRoomForList() const {
    return ply + 1 < MaxPlyFrames && (moveStack + StackSize) - plyFrames[ply].list.begin >= std::ptrdiff_t(PlyReserve);
  }
  // The game moves made so far count as history only: fold them into
  // movesMade and start the frames afresh.
  void CommitGameMoves() {
    movesMade += uint32_t(ply);
    ply = 0;
    plyFrames[0].list.begin = plyFrames[0].list.end = moveStack;
  }
  uint32_t GamePly() const { return movesMade + uint32_t(ply); }
};

// At most 417 pseudo-legal moves stand in any position, and a turn list
// holds at most first moves times second moves: a ply keeps room for these.
constexpr int NormalListReserve = 512, MarseillaisListReserve = 420 * 420;
// The move stacks: 128 worst-case move lists; eleven worst-case turn lists.
constexpr int NormalStackSize = 1 << 16, MarseillaisStackSize = 1 << 21;
using Position = BasicPosition<ScoredMove, 1, NormalStackSize, NormalListReserve>;
using MarseillaisPosition = BasicPosition<ScoredPair, 2, MarseillaisStackSize, MarseillaisListReserve>;

// Builds a position object at the initial position (ply 0, frame 0 empty at
// the start of the move stack); null when memory is short.
template <class P>
std::unique_ptr<P> ConstructPosition();
// The same at a FEN that "setboard" accepts; null when it refuses it too.
template <class P = Position>
std::unique_ptr<P> PositionFromFen(const char* fen);

}  // namespace quarn
