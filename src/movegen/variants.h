// The two kinds of game, each described once: what a turn is, how the legal
// turns of a side are listed, how a turn is made and taken back, and how the
// turns of the last ply of a count are counted without listing them. Perft,
// the search driver and the front end are written once over a description;
// the front end's GameContext chooses the one in play.
#pragma once

#include "movegen/count.h"
#include "movegen/turns.h"

namespace quarn {

// Normal chess: a turn is one move.
struct NormalChess {
  using Turn = Move;
  using PositionType = Position;
  static constexpr int MovesPerTurn = 1;
  // The deepest count the commands accept: beyond it the tree would outgrow
  // the ply frames or the move stack, and could never finish anyway.
  static constexpr int MaxPerftDepth = 64;
  static Turn TurnOf(const ScoredMove& e) { return e.move; }

  template <Color Us, InCheck C, FirstTurnRule, class List>
  static void GenerateLegal(Board& b, List& list) {
    quarn::GenerateLegal<Us, C>(b, list);
  }
  template <Color Us>
  static bool GivesCheck(Board& b, Turn t) {
    return quarn::GivesCheck<Us>(b, t);
  }
  template <Color Us, Sums S>
  static void Make(Board& b, Turn t, UndoRecord* u) {
    MakeMoveT<Us, S, Flip::PassTurn>(b, t, u[0]);
  }
  template <Color Us, Sums S>
  static void Unmake(Board& b, Turn t, const UndoRecord* u) {
    UnmakeMoveT<Us, S, Flip::PassTurn>(b, t, u[0]);
  }
  // The replies to each move of a position, counted from what the position
  // holds for the side that replies (Us moving), and after a move (made;
  // Us now replying, not in check).
  using ReplyBase = detail::MoveCountBase;
  template <Color Us>
  static void PrepareReplies(Board& b, ReplyBase& base) {
    detail::CountMoveBase<Opponent(Us)>(b, PinnedPieces<Opponent(Us)>(b), base);
  }
  template <Color Us>
  [[gnu::always_inline]] static uint64_t CountReplies(Board& b, Turn t, const UndoRecord* u, const ReplyBase& base) {
    return uint64_t(detail::CountMovesAfter<Us, Opponent(Us)>(b, t, u[0], base));
  }
  template <Color Us, InCheck C>
  static uint64_t CountLegal(Position& pos) {
    if constexpr (C == InCheck::Yes) {
      GenerateLegalEvasions<Us>(pos, pos.CurrentList());
      return uint64_t(pos.CurrentList().Count());
    } else {
      return uint64_t(CountLegalMoves<Us>(pos));
    }
  }
};

// Marseillais: a turn is one move or two (MovePair).
struct MarseillaisChess {
  using Turn = MovePair;
  using PositionType = MarseillaisPosition;
  static constexpr int MovesPerTurn = 2;
  static constexpr int MaxPerftDepth = 10;
  static Turn TurnOf(const ScoredPair& e) { return e.pair; }

  template <Color Us, InCheck C, FirstTurnRule R, class List>
  static void GenerateLegal(Board& b, List& list) {
    GenerateLegalTurns<Us, C, R>(b, list);
  }
  template <Color Us>
  static bool GivesCheck(Board& b, Turn t) {
    return TurnGivesCheck<Us>(b, t);
  }
  template <Color Us, Sums S>
  static void Make(Board& b, Turn t, UndoRecord* u) {
    MakePairT<Us, S>(b, t, u);
  }
  template <Color Us, Sums S>
  static void Unmake(Board& b, Turn t, const UndoRecord* u) {
    UnmakePairT<Us, S>(b, t, u);
  }
  // A turn changes too much for its replies to reuse anything.
  struct ReplyBase {};
  template <Color Us>
  static void PrepareReplies(Board&, ReplyBase&) {}
  template <Color Us>
  static uint64_t CountReplies(Board& b, Turn, const UndoRecord*, const ReplyBase&) {
    return CountLegalTurns<Us, InCheck::No>(b);
  }
  template <Color Us, InCheck C>
  static uint64_t CountLegal(MarseillaisPosition& pos) {
    return CountLegalTurns<Us, C>(pos);
  }
};

// The legal turns of the side to move (with the first-turn rule), built
// afresh in the current ply's list, which may still hold an earlier list.
template <class V>
inline auto& BuildLegalList(typename V::PositionType& pos) {
  auto& list = pos.CurrentList();
  list.Clear();
  const bool inCheck = SideToMoveInCheck(pos);
  WithSideToMove(pos, [&](auto us) {
    if (inCheck)
      V::template GenerateLegal<us, InCheck::Yes, FirstTurnRule::On>(pos, list);
    else
      V::template GenerateLegal<us, InCheck::No, FirstTurnRule::On>(pos, list);
  });
  return list;
}

// Full make of a game turn by the side to move into the current frame, then
// the next ply opened.
template <class V>
inline void PlayTurn(typename V::PositionType& pos, typename V::Turn t) {
  WithSideToMove(pos, [&](auto us) { V::template Make<us, Sums::Keep>(pos, t, pos.CurrentUndo()); });
  pos.OpenNextPly();
}

}  // namespace quarn
