// The board: slots and sums; the FEN reader, writer and "setboard" set-up;
// making and taking back every kind of move; attacks, pins and paths.
#include <cstdlib>

#include "position/attacks.h"
#include "position/make_unmake.h"
#include "test_util.h"

namespace quarn::test {
namespace {

// Slots 0-15 hold, for White, e1 d1 a1 h1 c1 f1 b1 g1 and the pawns a2-h2;
// Black mirrors the ranks. Extra pieces take the lowest free slot of 8-15.
TEST(Board, SlotsAndSums) {
  const Board b = BoardFromFen(StartFen);
  const char* const homes = "e1d1a1h1c1f1b1g1a2b2c2d2e2f2g2h2";
  for (int c = 0; c < 2; ++c)
    for (int slot = 0; slot < 16; ++slot) {
      const Square sq = MakeSquare(homes[2 * slot] - 'a', c ? '8' - homes[2 * slot + 1] : homes[2 * slot + 1] - '1');
      EXPECT_EQ(b.slotAt[sq], slot);
      EXPECT_EQ(b.pieceLists[c].squares[slot], sq);
    }
  EXPECT_EQ(b.materialSum[White], MakeScorePair(4075, 4075));
  EXPECT_EQ(b.placementSum[White], b.placementSum[Black]);
  Board e = BoardFromFen("4k3/8/8/8/8/8/PPP5/1N2K1N1 w - - 0 1");
  ASSERT_TRUE(PlacePiece(e, White, Sq("d4"), Knight));
  EXPECT_EQ(e.slotAt[Sq("d4")], 11);
  EXPECT_EQ(FindFreeSlot(e, White, Queen), 1);
  EXPECT_EQ(FindFreeSlot(e, Black, Knight), 6);
  EXPECT_TRUE(IsPieceAt(e, Sq("d4"), White, Knight) && BoardIsConsistent(e));
  // Pieces that do not fit are refused and change nothing.
  for (auto [fen, color, type] : {std::tuple{StartFen, White, Pawn},
                                  {StartFen, Black, King},
                                  {"4k3/8/8/8/8/8/PPPPPPPP/1N2K1N1 w - - 0 1", White, Knight},
                                  {"QQQQQQQQ/8/8/8/8/8/8/Q3K3 w - - 0 1", White, Queen},
                                  {"qqqqqqqq/8/8/8/8/8/8/q3K3 w - - 0 1", Black, Pawn}}) {
    Board f = BoardFromFen(fen);
    const Board before = f;
    EXPECT_EQ(FindFreeSlot(f, color, type), 16) << fen;
    EXPECT_FALSE(PlacePiece(f, color, Sq("e4"), type)) << fen;
    EXPECT_TRUE(BoardsEqual(f, before));
  }
}

// The slow checker notices each kind of damage to a consistent board.
TEST(Board, ConsistencyCheckerNoticesDamage) {
  void (*const damages[])(Board&) = {
      [](Board& b) { ++b.pieceLists[White].countByType[Pawn]; },
      [](Board& b) { ++b.pieceLists[Black].countByType[Knight], --b.pieceLists[Black].countByType[Bishop]; },
      [](Board& b) { --b.pieceLists[Black].total; },
      [](Board& b) { b.slotAt[Sq("e2")] = 9; },
      [](Board& b) { b.typeAt[Sq("d1")] = Rook, b.typeAt[Sq("a1")] = Queen; },
      [](Board& b) { b.colorAt[Sq("e4")] = White; },
      [](Board& b) { b.colorAt[Sq("e2")] = NoColor + 1; },
      [](Board& b) {  // a second king, counted and summed, in a pawn's slot
        const Square e2 = Sq("e2");
        b.typeAt[e2] = King, --b.pieceLists[White].countByType[Pawn], ++b.pieceLists[White].countByType[King];
        b.materialSum[White] = AddScores(SubScores(b.materialSum[White], MaterialValue[Pawn]), MaterialValue[King]);
        b.placementSum[White] = AddScores(SubScores(b.placementSum[White], PieceSquareTable[White][Pawn][e2]),
                                          PieceSquareTable[White][King][e2]);
      },
      [](Board& b) { b.slotAt[Sq("e4")] = 3; },
      [](Board& b) { b.placementSum[Black] = AddScores(b.placementSum[Black], 1); },
  };
  for (auto damage : damages) {
    Board b = BoardFromFen(StartFen);
    damage(b);
    EXPECT_FALSE(BoardIsConsistent(b));
  }
}

// ---------------------------------------------------------------- FEN

const std::string Kings = "4k3/8/8/8/8/8/8/4K3", RookBoard = "r3k2r/8/8/8/8/8/8/R3K2R";

TEST(Fen, ReaderAcceptsAndRejects) {
  // Texts after a board (the bare kings, the rooks) or followed by a tail;
  // those "setboard" reaches the same way: transcripts/setboard-malformed-*.
  const struct {
    bool accepted;
    std::string board, tail;
    std::vector<const char*> texts;
  } groups[] = {
      {true, "", " w - - 0 1", {"4k3/8/8/8/44/8/8/4K3", "4k3/8/8/8/1111p111/8/8/4K3", "8/8/8/8/8/8/8/8"}},
      {true, "", "", {"", "rnbqkbnr/pppp"}},
      {true, RookBoard, "", {" w Kq - 0 1", " w  - 0 1"}},
      {true, Kings, "", {" w - - 12 345", " w - a1 0 1", " b - h8 0 1", " ", " w KQ", " w - - 0 "}},
      {false, RookBoard, " - 0 1", {" w kQ", " w qk"}},
      {false, "", " w - - 0 1", {"4k3/8/8/8/8/8/8/4K2K", "4k3/8/8/8/8/8/ppppppppp/4K3"}},
      {false, Kings, "", {" w - e0 0 1", " w - - 0 1 ", " w - - 0", " w - e3", " w", ""}},
  };
  Board b;
  for (const auto& g : groups)
    for (const char* text : g.texts) {
      const std::string fen = Cat(g.board, text, g.tail);
      EXPECT_EQ(SetFromFen(b, fen.c_str()), g.accepted) << '"' << fen << '"';
    }
  // Unread fields keep their reset values; a rejected text keeps what was read.
  ASSERT_TRUE(SetFromFen(b, (RookBoard + " b Kq").c_str()));
  EXPECT_TRUE(b.castlingRights == 9 && b.epSquare == NoSquare);
  ASSERT_FALSE(SetFromFen(b, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1"));
  EXPECT_TRUE(b.pieceLists[White].total == 16 && b.sideToMove == NoColor && BoardIsConsistent(b));
}

// The en-passant square stands only when a pawn of the side to move can take
// there; the writer prints what was kept and no counters.
TEST(Fen, EnPassantInitialPositionAndWriter) {
  for (auto [fen, kept] : {std::pair{"4k3/8/8/3P4/8/8/8/4K3 w - e6 0 1", "e6"},
                           {"4k3/8/8/5P2/8/8/8/4K3 w - e6 0 1", "e6"},
                           {"4k3/8/8/4P3/8/8/8/4K3 w - e6 0 1", "-"},
                           {"4k3/8/8/3p4/8/8/8/4K3 w - e6 0 1", "-"},
                           {"4k3/8/8/3P4/8/8/8/4K3 b - e6 0 1", "-"},
                           {"4k3/8/8/8/3p4/8/8/4K3 b - e3 0 1", "e3"},
                           {"4k3/8/8/8/5p2/8/8/4K3 b - e3 0 1", "e3"},
                           {"4k3/8/8/1P6/8/8/8/4K3 w - a6 0 1", "a6"},
                           {"4k3/8/8/6P1/8/8/8/4K3 w - h6 0 1", "h6"}})
    EXPECT_EQ(SquareName(BoardFromFen(fen).epSquare), kept) << fen;
  const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR ";
  for (auto [fen, initial] : {std::pair{start + "w KQkq e6 0 1", true},
                              {start + "w KQkq - 17 42", true},
                              {start + "b KQkq - 0 1", false},
                              {start + "w KQk - 0 1", false},
                              {start + "w KQkq e3 0 1", false},
                              {std::string("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1"), false}})
    EXPECT_EQ(IsInitialPosition(BoardFromFen(fen)), initial) << fen;
  for (const char* fen : {StartFen, Kiwipete, "8/8/8/8/8/8/8/8 w - - 0 1",
                          "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 1",
                          "rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b Kq d3 0 1"}) {
    EXPECT_EQ(PositionToFen(BoardFromFen(fen)), fen);
    EXPECT_TRUE(BoardIsConsistent(BoardFromFen(fen))) << fen;
  }
  EXPECT_EQ(PositionToFen(BoardFromFen(Kings + " b - e3 33 77")), Kings + " b - - 0 1");
}

// "setboard" refuses what cannot be played, keeping the old board, and drops
// unreal castling rights and en-passant squares. Here what the setboard-*
// transcripts lack: no side to move, wrong-coloured rook or pawn, mover in check.
TEST(Fen, PlayableSetUp) {
  Board b = BoardFromFen("r3k3/1P6/8/3pP3/8/8/8/4K3 w q d6 0 1");
  const Board before = b;
  EXPECT_FALSE(SetupPlayableFen(b, "4k3/8/8/8/8/8/8/4K3 "));
  EXPECT_TRUE(BoardsEqual(b, before));
  for (auto [fen, result] : {std::pair{"r3k3/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "r3k3/8/8/8/8/8/8/R3K2R w KQq - 0 1"},
                             {"r3k2r/8/8/8/8/8/8/R3K2r w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R3K2r w Qkq - 0 1"},
                             {"4k3/8/8/8/3pp3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/3pp3/8/8/4K3 b - - 0 1"},
                             {"4k3/8/8/8/8/8/8/4RK2 b - - 0 1", "4k3/8/8/8/8/8/8/4RK2 b - - 0 1"}}) {
    ASSERT_TRUE(SetupPlayableFen(b, fen)) << fen;
    EXPECT_EQ(PositionToFen(b), result);
  }
}

// ---------------------------------------------------------------- make and unmake

TEST(MakeUnmake, EveryMoveKindInEveryFlavour) {
  const char *Castles = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1",
             *CastlesB = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1",
             *RooksB = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", *Promotes = "r1n1k3/1P6/8/8/8/8/8/4K3 w q - 0 1",
             *BlackPromotes = "4k3/8/8/8/8/8/6p1/R3K2R b KQ - 0 1";
  const struct {
    const char* fen;
    Move move;
    int captured;
    const char* after;  // with the side passed to the opponent
  } cases[] = {
      {StartFen, Mv("g1f3"), 0, "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - 0 1"},
      {StartFen, Mv("e2e4", NormalMove, 1), 0, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", Mv("d7d5", NormalMove, 1), 0,
       "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 1"},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", Mv("e1e2"), 0, "4k3/8/8/3pP3/8/8/4K3/8 b - - 0 1"},
      {"rnbqkbnr/ppp1pppp/8/3p4/4Q3/8/PPPP1PPP/RNB1KBNR b KQkq - 0 1", Mv("d5e4"), Queen,
       "rnbqkbnr/ppp1pppp/8/8/4p3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 1"},
      {Rooks, Mv("e1f1"), 0, "r3k2r/8/8/8/8/8/8/R4K1R b kq - 0 1"},
      {Rooks, Mv("h1h5"), 0, "r3k2r/8/8/7R/8/8/8/R3K3 b Qkq - 0 1"},
      {Rooks, Mv("a1a8"), Rook, "R3k2r/8/8/8/8/8/8/4K2R b Kk - 0 1"},
      {RooksB, Mv("e8d8"), 0, "r2k3r/8/8/8/8/8/8/R3K2R w KQ - 0 1"},
      {RooksB, Mv("h8h1"), Rook, "r3k3/8/8/8/8/8/8/R3K2r w Qq - 0 1"},
      {Promotes, Mv("b7b8", PromotionMove, 0), 0, "rNn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
      {Promotes, Mv("b7b8", PromotionMove, 1), 0, "rBn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
      {Promotes, Mv("b7b8", PromotionMove, 2), 0, "rRn1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
      {Promotes, Mv("b7a8", PromotionMove, 3), Rook, "Q1n1k3/8/8/8/8/8/8/4K3 b - - 0 1"},
      {Promotes, Mv("b7c8", PromotionMove, 3), Knight, "r1Q1k3/8/8/8/8/8/8/4K3 b q - 0 1"},
      {BlackPromotes, Mv("g2g1", PromotionMove, 3), 0, "4k3/8/8/8/8/8/8/R3K1qR w KQ - 0 1"},
      {BlackPromotes, Mv("g2h1", PromotionMove, 1), Rook, "4k3/8/8/8/8/8/8/R3K2b w Q - 0 1"},
      {Castles, CastlingMoveOf(White, ShortCastling), 0, "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R4RK1 b kq - 0 1"},
      {Castles, CastlingMoveOf(White, LongCastling), 0, "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/2KR3R b kq - 0 1"},
      {CastlesB, CastlingMoveOf(Black, ShortCastling), 0, "r4rk1/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQ - 0 1"},
      {CastlesB, CastlingMoveOf(Black, LongCastling), 0, "2kr3r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQ - 0 1"},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", Mv("e5d6", EnPassantMove), Pawn, "4k3/8/3P4/8/8/8/8/4K3 b - - 0 1"},
      {"4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", Mv("e4d3", EnPassantMove), Pawn, "4k3/8/8/8/8/3p4/8/4K3 w - - 0 1"},
  };
  for (const auto& c : cases)
    for (const Flavour& f : Flavours) {
      SCOPED_TRACE(Cat(c.fen, " ", Text(c.move), f.full ? " full" : " fast", f.flip ? "" : " keep"));
      const Board start = BoardFromFen(c.fen);
      Board b = start;
      UndoRecord u{0xEE, 0xEE, 0xEE, 0xEE};
      f.make(b, c.move, u);
      std::string after = c.after;
      if (!f.flip) after[after.find(' ') + 1] = start.sideToMove == White ? 'w' : 'b';
      EXPECT_EQ(PositionToFen(b), after);
      EXPECT_TRUE(BoardIsConsistent(b, f.full));
      EXPECT_TRUE(u.captured == c.captured && u.oldCastlingRights == start.castlingRights &&
                  u.oldEpSquare == start.epSquare);
      const Square from = MoveFrom(c.move), to = MoveTo(c.move);
      EXPECT_EQ(b.slotAt[to], start.slotAt[from]);  // the mover keeps its slot
      if (MoveKindOf(c.move) == CastlingMove) {
        EXPECT_EQ(b.slotAt[(from + to) / 2], start.slotAt[MakeSquare(to > from ? 7 : 0, RankOf(from))]);
      }
      if (!f.full) {
        EXPECT_TRUE(b.materialSum[Black] == start.materialSum[Black] &&
                    b.placementSum[White] == start.placementSum[White]);
      }
      f.unmake(b, c.move, u);
      EXPECT_TRUE(BoardsEqual(b, start));
    }
}

// A turn makes and unmakes as its two moves.
TEST(MakeUnmake, Turns) {
  for (auto [fen, pair, after] :
       {std::tuple{StartFen, MakePairWord(Mv("e2e4", NormalMove, 1), 0),
                   "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
        {StartFen, MakePairWord(Mv("e2e4", NormalMove, 1), Mv("g1f3")),
         "rnbqkbnr/pppppppp/8/8/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 0 1"},
        {StartFen, MakePairWord(Mv("g1f3"), Mv("e2e4", NormalMove, 1)),
         "rnbqkbnr/pppppppp/8/8/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq e3 0 1"},
        {"r3k2r/ppp2ppp/8/3pp3/3PP3/8/PPP2PPP/R3K2R b KQkq - 0 1",
         MakePairWord(Mv("d5e4"), CastlingMoveOf(Black, ShortCastling)),
         "r4rk1/ppp2ppp/8/4p3/3Pp3/8/PPP2PPP/R3K2R w KQ - 0 1"},
        {"r3k3/1P6/8/3pP3/8/8/8/4K3 w q d6 0 1", MakePairWord(Mv("e5d6", EnPassantMove), Mv("b7a8", PromotionMove, 0)),
         "N3k3/8/3P4/8/8/8/8/4K3 b - - 0 1"}})
    for (bool full : {true, false}) {
      const Board start = BoardFromFen(fen);
      Board b = start;
      UndoRecord u[2];
      (full ? MakeTurn<Sums::Keep> : MakeTurn<Sums::Skip>)(b, pair, u);
      EXPECT_EQ(PositionToFen(b), after);
      EXPECT_TRUE(BoardIsConsistent(b, full)) << after;
      (full ? UnmakeTurn<Sums::Keep> : UnmakeTurn<Sums::Skip>)(b, pair, u);
      EXPECT_TRUE(BoardsEqual(b, start));
    }
}

// ---------------------------------------------------------------- attacks

// A naive attack test from the rules of movement.
bool NaiveAttacked(const Board& b, Square s, Color a) {
  for (int from = 0; from < 128; ++from) {
    if (IsOffBoard(from) || b.colorAt[from] != a || from == s) continue;
    const int df = FileOf(s) - FileOf(from), dr = RankOf(s) - RankOf(from), t = b.typeAt[from];
    const int adf = std::abs(df), adr = std::abs(dr);
    if ((t == Pawn && adf == 1 && dr == (a == White ? 1 : -1)) || (t == Knight && adf * adr == 2) ||
        (t == King && adf <= 1 && adr <= 1))
      return true;
    const bool diag = adf == adr, straight = df == 0 || dr == 0;
    if (!((t == Bishop && diag) || (t == Rook && straight) || (t == Queen && (diag || straight)))) continue;
    bool clear = true;
    for (int f = FileOf(from) + (df > 0) - (df < 0), r = RankOf(from) + (dr > 0) - (dr < 0);
         f != FileOf(s) || r != RankOf(s); f += (df > 0) - (df < 0), r += (dr > 0) - (dr < 0))
      clear = clear && b.colorAt[MakeSquare(f, r)] == NoColor;
    if (clear) return true;
  }
  return false;
}

Square AttackerOf(const Board& b, Square s, Color a) {
  Square attacker = NoSquare;
  const bool hit = a == White ? FindAttacker<White>(b, s, attacker) : FindAttacker<Black>(b, s, attacker);
  EXPECT_EQ(hit, IsSquareAttackedBy(b, s, a));
  return hit ? attacker : NoSquare;
}

// Every square against the naive test; the first attacker found is reported:
// pawns, knights, king, diagonal then straight sliders, in step-list order.
TEST(Attacks, EverySquareAndTheReportedAttacker) {
  for (const char* fen : {StartFen, Kiwipete, "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", "7Q/1q4B1/8/3N4/8/1b6/5r2/R6K w - - 0 1"}) {
    const Board b = BoardFromFen(fen);
    for (int i = 0; i < 64; ++i)
      for (Color a : {White, Black}) {
        const Square attacker = AttackerOf(b, SquareOf(i), a);
        ASSERT_EQ(attacker != NoSquare, NaiveAttacked(b, SquareOf(i), a)) << fen << " " << SquareName(SquareOf(i));
        EXPECT_TRUE(attacker == NoSquare || b.colorAt[attacker] == a);
      }
  }
  for (auto [fen, sq, by, attacker] : {std::tuple{StartFen, "f3", White, "g2"},
                                       {StartFen, "f6", Black, "e7"},
                                       {"4k3/8/8/8/Q7/8/8/R3K3 w - - 0 1", "a5", White, "a4"},
                                       {"4k3/8/3N1N2/8/8/8/8/4K3 w - - 0 1", "e4", White, "d6"},
                                       {"4k3/8/8/3N4/8/8/3P4/4K3 w - - 0 1", "e3", White, "d2"},
                                       {"4k3/8/8/8/8/3B4/8/2N1K3 w - - 0 1", "e2", White, "c1"},
                                       {"4k3/8/8/8/8/3B4/8/4K3 w - - 0 1", "e2", White, "e1"},
                                       {"4k3/8/8/8/8/8/6B1/4R3 w - - 0 1", "e4", White, "g2"}})
    EXPECT_EQ(SquareName(AttackerOf(BoardFromFen(fen), Sq(sq), by)), attacker) << fen << " " << sq;
}

uint64_t Bits(std::initializer_list<const char*> squares) {
  uint64_t set = 0;
  for (const char* s : squares) set |= uint64_t(1) << IndexOf(Sq(s));
  return set;
}

TEST(Attacks, PinsAndPaths) {
  for (auto [fen, side, pinned] : {std::tuple{"4k3/4n3/8/8/8/8/8/4R1K1 w - - 0 1", Black, Bits({"e7"})},
                                   {"4k3/4n3/4p3/8/8/8/8/4R1K1 w - - 0 1", Black, 0ull},
                                   {"4k3/4n3/4P3/8/8/8/8/4R1K1 w - - 0 1", Black, 0ull},
                                   {"4k3/5p2/8/7Q/8/8/8/4K3 w - - 0 1", Black, Bits({"f7"})},
                                   {"4k3/4n3/8/8/8/8/8/4B1K1 w - - 0 1", Black, 0ull},
                                   {"4k3/5p2/8/7R/8/8/8/4K3 w - - 0 1", Black, 0ull},
                                   {"4k3/4n3/8/8/8/8/8/4r1K1 w - - 0 1", Black, 0ull},
                                   {"8/4r3/8/q7/8/4B3/3N4/r2RK2r w - - 0 1", White, Bits({"d1", "d2", "e3"})},
                                   {"8/4b3/8/b7/8/4B3/3N4/r2RK2r w - - 0 1", White, Bits({"d1", "d2"})},
                                   {"k7/8/8/q2B3K/8/8/8/8 w - - 0 1", White, Bits({"d5"})},
                                   {"k7/8/8/q2B2nK/8/8/8/8 w - - 0 1", White, 0ull},
                                   {"8/8/8/KPp4r/8/8/8/7k w - c6 0 1", White, 0ull}}) {
    const Board b = BoardFromFen(fen);
    EXPECT_EQ(side == White ? PinnedPieces<White>(b) : PinnedPieces<Black>(b), pinned) << fen;
    // Each piece on a line with its king, looked at alone, agrees.
    const Square k = b.KingSquare(side);
    for (int sq = 0; sq < SquareArraySize; ++sq) {
      if (IsOffBoard(sq) || b.colorAt[sq] != side || sq == k || Direction(k, Square(sq)) == 0) continue;
      const bool alone =
          side == White ? IsPinnedOnLine<White>(b, k, Square(sq)) : IsPinnedOnLine<Black>(b, k, Square(sq));
      EXPECT_EQ(alone, ((pinned >> IndexOf(Square(sq))) & 1) != 0) << fen << " " << sq;
    }
  }
  Board b = BoardFromFen("7k/8/8/8/3n4/8/8/K7 w - - 0 1");
  EXPECT_TRUE(IsPathEmpty(b, Sq("a1"), Sq("c3")) && IsPathEmpty(b, Sq("a1"), Sq("b2")));
  // Blocked both ways, and no path at all between squares on no common line.
  EXPECT_FALSE(IsPathEmpty(b, Sq("a1"), Sq("h8")) || IsPathEmpty(b, Sq("h8"), Sq("a1")) ||
               IsPathEmpty(b, Sq("a1"), Sq("b3")));
  EXPECT_TRUE(IsPathEmptyExcept(b, Sq("a1"), Sq("h8"), Sq("d4")));
  EXPECT_FALSE(IsPathEmptyExcept(b, Sq("a1"), Sq("h8"), Sq("c3")));
}

}  // namespace
}  // namespace quarn::test
