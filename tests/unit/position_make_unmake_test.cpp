// Making and taking back moves: every move kind in every flavour must give
// the expected board and restore the old one bit for bit; the full flavour
// must keep the evaluation sums equal to a recomputation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "movegen/legal.h"
#include "position/attacks.h"
#include "position/make_unmake.h"
#include "test_util.h"

namespace quarn {
namespace {

using test::BoardFromFen;
using test::BoardsEqual;
using test::Mv;
using test::Sq;

struct Flavour {
  const char* name;
  bool full;  // keeps the evaluation sums
  bool flip;  // passes the turn
  void (*make)(Board&, Move, UndoRecord&);
  void (*unmake)(Board&, Move, const UndoRecord&);
};
const Flavour Flavours[] = {
    {"MakeMove", true, true, MakeMove, UnmakeMove},
    {"MakeMoveKeepSide", true, false, MakeMoveKeepSide, UnmakeMoveKeepSide},
    {"MakeMoveFast", false, true, MakeMoveFast, UnmakeMoveFast},
    {"MakeMoveFastKeepSide", false, false, MakeMoveFastKeepSide, UnmakeMoveFastKeepSide},
};

std::string MoveName(Move m) {
  return test::SquareName(MoveFrom(m)) + test::SquareName(MoveTo(m)) + "/k" + std::to_string(MoveKindOf(m)) + "x" +
         std::to_string(MoveExtra(m));
}

// Makes the move with one flavour and checks the result and the way back.
void CheckFlavour(const Flavour& f, const Board& start, Move m, int captured, std::string after) {
  SCOPED_TRACE(std::string(f.name) + " " + MoveName(m) + " from " + PositionToFen(start));
  Board b = start;
  UndoRecord u{0xEE, 0xEE, 0xEE, 0xEE};
  f.make(b, m, u);
  if (!f.flip) after[after.find(' ') + 1] = start.sideToMove == White ? 'w' : 'b';
  EXPECT_EQ(PositionToFen(b), after);
  EXPECT_TRUE(BoardIsConsistent(b, f.full));
  EXPECT_EQ(u.captured, captured);
  EXPECT_EQ(u.oldCastlingRights, start.castlingRights);
  EXPECT_EQ(u.oldEpSquare, start.epSquare);
  // The mover keeps its slot (a promoted piece the pawn's, a castling rook its own).
  const Square from = MoveFrom(m), to = MoveTo(m);
  EXPECT_EQ(b.slotAt[to], start.slotAt[from]);
  if (MoveKindOf(m) == CastlingMove) {
    EXPECT_EQ(b.slotAt[(from + to) / 2], start.slotAt[MakeSquare(to > from ? 7 : 0, RankOf(from))]);
  }
  const bool ep = MoveKindOf(m) == EnPassantMove;
  EXPECT_EQ(u.capturedSlot, start.slotAt[ep ? MakeSquare(FileOf(to), RankOf(from)) : to]);
  for (int c = 0; c < 2 && !f.full; ++c)  // the fast flavours leave the sums alone
    EXPECT_TRUE(b.materialSum[c] == start.materialSum[c] && b.placementSum[c] == start.placementSum[c]) << c;
  f.unmake(b, m, u);
  EXPECT_TRUE(BoardsEqual(b, start));
}

struct MoveCase {
  const char* fen;
  Move move;
  int captured;
  const char* after;  // with the side passed to the opponent
};

const char* const Castles = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
const char* const CastlesBlack = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1";
const char* const Rooks = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
const char* const RooksBlack = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
const char* const WhitePromotes = "r1n1k3/1P6/8/8/8/8/8/4K3 w q - 0 1";
const char* const BlackPromotes = "4k3/8/8/8/8/8/6p1/R3K2R b KQ - 0 1";

const MoveCase MoveCases[] = {
    // Quiet moves, pushes and captures.
    {StartFen, Mv("g1f3"), 0, "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - 0 1"},
    {StartFen, Mv("e2e4", NormalMove, 1), 0, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", Mv("d7d5", NormalMove, 1), 0,
     "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 1"},
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", Mv("e1e2"), 0, "4k3/8/8/3pP3/8/8/4K3/8 b - - 0 1"},
    {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1", Mv("e4d5"), Pawn,
     "rnbqkbnr/ppp1pppp/8/3P4/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"},
    {"rnbqkbnr/ppp1pppp/8/3p4/4Q3/8/PPPP1PPP/RNB1KBNR b KQkq - 0 1", Mv("d5e4"), Queen,
     "rnbqkbnr/ppp1pppp/8/8/4p3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 1"},
    // Castling rights lost by moving from or capturing on a home square.
    {Rooks, Mv("e1f1"), 0, "r3k2r/8/8/8/8/8/8/R4K1R b kq - 0 1"},
    {Rooks, Mv("h1h5"), 0, "r3k2r/8/8/7R/8/8/8/R3K3 b Qkq - 0 1"},
    {Rooks, Mv("a1a5"), 0, "r3k2r/8/8/R7/8/8/8/4K2R b Kkq - 0 1"},
    {Rooks, Mv("a1a8"), Rook, "R3k2r/8/8/8/8/8/8/4K2R b Kk - 0 1"},
    {RooksBlack, Mv("e8d8"), 0, "r2k3r/8/8/8/8/8/8/R3K2R w KQ - 0 1"},
    {RooksBlack, Mv("h8h1"), Rook, "r3k3/8/8/8/8/8/8/R3K2r w Qq - 0 1"},
    {"4k3/8/8/8/8/8/6b1/R3K2R b KQ - 0 1", Mv("g2h1"), Rook, "4k3/8/8/8/8/8/8/R3K2b w Q - 0 1"},
    // Promotions: each piece, onto an empty square and with a capture.
    {WhitePromotes, Mv("b7b8", PromotionMove, 0), 0, "rNn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
    {WhitePromotes, Mv("b7b8", PromotionMove, 1), 0, "rBn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
    {WhitePromotes, Mv("b7b8", PromotionMove, 2), 0, "rRn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
    {WhitePromotes, Mv("b7b8", PromotionMove, 3), 0, "rQn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
    {WhitePromotes, Mv("b7a8", PromotionMove, 0), Rook, "N1n1k3/8/8/8/8/8/8/4K3 b - - 0 1"},
    {WhitePromotes, Mv("b7a8", PromotionMove, 2), Rook, "R1n1k3/8/8/8/8/8/8/4K3 b - - 0 1"},
    {WhitePromotes, Mv("b7c8", PromotionMove, 3), Knight, "r1Q1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
    {BlackPromotes, Mv("g2g1", PromotionMove, 3), 0, "4k3/8/8/8/8/8/8/R3K1qR w KQ - 0 1"},
    {BlackPromotes, Mv("g2h1", PromotionMove, 1), Rook, "4k3/8/8/8/8/8/8/R3K2b w Q - 0 1"},
    // The four castlings.
    {Castles, CastleWhiteShort, 0, "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R4RK1 b kq - 0 1"},
    {Castles, CastleWhiteLong, 0, "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/2KR3R b kq - 0 1"},
    {CastlesBlack, CastleBlackShort, 0, "r4rk1/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQ - 0 1"},
    {CastlesBlack, CastleBlackLong, 0, "2kr3r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQ - 0 1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1", CastleWhiteShort, 0, "r3k2r/8/8/8/8/8/8/R4RK1 b q - 0 1"},
    // En passant for both colours; the rights are left alone.
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", Mv("e5d6", EnPassantMove), Pawn, "4k3/8/3P4/8/8/8/8/4K3 b - - 0 1"},
    {"4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", Mv("e4d3", EnPassantMove), Pawn, "4k3/8/8/8/8/3p4/8/4K3 w - - 0 1"},
    {"r3k2r/8/8/pP6/8/8/8/R3K2R w KQkq a6 0 1", Mv("b5a6", EnPassantMove), Pawn,
     "r3k2r/8/P7/8/8/8/8/R3K2R b KQkq - 0 1"},
};

TEST(MakeUnmake, EveryMoveKindInEveryFlavour) {
  for (const MoveCase& c : MoveCases) {
    const Board start = BoardFromFen(c.fen);
    ASSERT_EQ(PositionToFen(start).substr(0, 20), std::string(c.fen).substr(0, 20)) << c.fen;
    for (const Flavour& f : Flavours) CheckFlavour(f, start, c.move, c.captured, c.after);
  }
}

// Captured pieces go back into their own slots even when a lower slot of the
// same colour has been freed in the meantime.
TEST(MakeUnmake, CapturedPiecesReturnToTheirOwnSlots) {
  struct Sequence {
    const char* fen;
    std::vector<Move> moves;
  };
  const Sequence sequences[] = {
      {"4k3/p2p4/1B6/4P3/8/8/8/4K3 w - - 0 1", {Mv("b6a7"), Mv("d7d5", NormalMove, 1), Mv("e5d6", EnPassantMove)}},
      {"4k3/p2p4/1B6/2P5/8/8/8/4K3 w - - 0 1", {Mv("b6a7"), Mv("e8e7"), Mv("a7b8"), Mv("d7d6"), Mv("c5d6")}},
      {"1n2k3/P1P5/8/8/8/8/8/4K3 w - - 0 1",
       {Mv("a7a8", PromotionMove, 3), Mv("b8a6"), Mv("a8a6"), Mv("e8d7"), Mv("c7c8", PromotionMove, 3), Mv("d7c8")}},
  };
  for (bool full : {true, false}) {
    for (const Sequence& s : sequences) {
      SCOPED_TRACE(std::string(s.fen) + (full ? " full" : " fast"));
      Board b = BoardFromFen(s.fen);
      std::vector<Board> snapshots;
      std::vector<UndoRecord> undo(s.moves.size());
      for (size_t i = 0; i < s.moves.size(); ++i) {
        snapshots.push_back(b);
        (full ? MakeMove : MakeMoveFast)(b, s.moves[i], undo[i]);
        ASSERT_TRUE(BoardIsConsistent(b, full)) << MoveName(s.moves[i]);
      }
      for (size_t i = s.moves.size(); i-- > 0;) {
        (full ? UnmakeMove : UnmakeMoveFast)(b, s.moves[i], undo[i]);
        ASSERT_TRUE(BoardsEqual(b, snapshots[i])) << "undoing " << MoveName(s.moves[i]);
      }
    }
  }
}

// Marseillais turns: a one-move turn is an ordinary move; a two-move turn
// keeps the side after the first move and passes it after the second.
TEST(MakeUnmakePair, TurnsInBothFlavours) {
  struct PairCase {
    const char* fen;
    MovePair pair;
    const char* after;
  };
  const Move e4 = Mv("e2e4", NormalMove, 1), nf3 = Mv("g1f3");
  const PairCase cases[] = {
      {StartFen, MakePairWord(e4, 0), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
      {StartFen, MakePairWord(e4, nf3), "rnbqkbnr/pppppppp/8/8/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 0 1"},
      {StartFen, MakePairWord(nf3, e4), "rnbqkbnr/pppppppp/8/8/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq e3 0 1"},
      {"r3k2r/ppp2ppp/8/3pp3/3PP3/8/PPP2PPP/R3K2R b KQkq - 0 1", MakePairWord(Mv("d5e4"), CastleBlackShort),
       "r4rk1/ppp2ppp/8/4p3/3Pp3/8/PPP2PPP/R3K2R w KQ - 0 1"},
      {"r3k3/1P6/8/3pP3/8/8/8/4K3 w q d6 0 1", MakePairWord(Mv("e5d6", EnPassantMove), Mv("b7a8", PromotionMove, 0)),
       "N3k3/8/3P4/8/8/8/8/4K3 b - - 0 1"},
      {"4k3/8/8/8/8/8/6p1/R3K2R b KQ - 0 1", MakePairWord(Mv("g2g1", PromotionMove, 0), Mv("g1f3")),
       "4k3/8/8/8/8/5n2/8/R3K2R w KQ - 0 1"},
  };
  for (const PairCase& c : cases) {
    const Board start = BoardFromFen(c.fen);
    for (bool full : {true, false}) {
      SCOPED_TRACE(std::string(c.fen) + (full ? " full" : " fast"));
      Board b = start;
      UndoRecord u[2];
      (full ? MakePair : MakePairFast)(b, c.pair, u);
      EXPECT_EQ(PositionToFen(b), c.after);
      EXPECT_TRUE(BoardIsConsistent(b, full));
      EXPECT_TRUE(full || b.placementSum[White] == start.placementSum[White]);
      // The same turn played move by move gives the same board.
      Board manual = start;
      UndoRecord v[2];
      if (IsSingleTurn(c.pair)) {
        (full ? MakeMove : MakeMoveFast)(manual, FirstOf(c.pair), v[0]);
      } else {
        (full ? MakeMoveKeepSide : MakeMoveFastKeepSide)(manual, FirstOf(c.pair), v[0]);
        EXPECT_EQ(manual.sideToMove, start.sideToMove);
        (full ? MakeMove : MakeMoveFast)(manual, SecondOf(c.pair), v[1]);
      }
      EXPECT_TRUE(BoardsEqual(b, manual));
      (full ? UnmakePair : UnmakePairFast)(b, c.pair, u);
      EXPECT_TRUE(BoardsEqual(b, start));
    }
  }
}

// Every legal move three plies deep with the full make and unmake on a real
// position object (its ply frames hold the lists and undo records); at every
// node the other flavours are also tried once per move and must restore the
// board. Returns the number of leaves.
uint64_t Walk(Position& pos, int depth, std::vector<Move>& path) {
  uint64_t leaves = 0;
  StackMoveList& list = pos.CurrentList();
  list.Clear();
  GenerateLegalMovesForSideToMove(pos, list);
  for (int i = 0; i < list.Count() && !::testing::Test::HasFailure(); ++i) {
    const Move m = list.At(i).move;
    const Board before = pos;
    path.push_back(m);
    std::string where = " after";
    for (Move p : path) {
      where += ' ';
      where += MoveName(p);
    }
    for (const Flavour& f : Flavours) {
      UndoRecord u;
      f.make(pos, m, u);
      EXPECT_TRUE(BoardIsConsistent(pos, f.full)) << f.name << where;
      f.unmake(pos, m, u);
      EXPECT_TRUE(BoardsEqual(pos, before)) << f.name << where;
    }
    UndoRecord& u = pos.CurrentUndo()[0];
    MakeMove(pos, m, u);
    const Color mover = Color(before.sideToMove);
    EXPECT_EQ(pos.sideToMove, Opponent(mover)) << where;
    EXPECT_FALSE(IsSquareAttackedBy(pos, pos.KingSquare(mover), Opponent(mover))) << where;
    if (depth > 1) {
      pos.OpenNextPly();
      leaves += Walk(pos, depth - 1, path);
      --pos.ply;
    } else {
      ++leaves;
    }
    UnmakeMove(pos, m, u);
    EXPECT_TRUE(BoardsEqual(pos, before)) << where;
    path.pop_back();
  }
  return leaves;
}

TEST(MakeUnmake, WalkThreePliesRestoresEveryPosition) {
  struct Case {
    const char* fen;
    uint64_t leaves;  // legal move paths of length three
  };
  const Case cases[] = {
      {StartFen, 8902},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 97862},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 2812},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 9467},
      {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 62379},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 9483},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    auto pos = ConstructPosition<Position>();
    ASSERT_TRUE(SetFromFen(*pos, c.fen));
    const Board start = *pos;
    std::vector<Move> path;
    EXPECT_EQ(Walk(*pos, 3, path), c.leaves);
    EXPECT_EQ(pos->ply, 0);
    EXPECT_TRUE(BoardsEqual(*pos, start));
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace quarn
