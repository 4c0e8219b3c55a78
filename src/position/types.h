// Shared encodings of the engine: squares, colours, pieces, moves, pairs,
// scored list elements and opening/endgame score pairs.
#pragma once

#include <cstdint>

namespace quarn {

// 0x88 square: rank in bits 4-6, file in bits 0-2. Any bit of 0x88 set means
// off the board; 0x80 is "no square".
using Square = uint8_t;
constexpr Square NoSquare = 0x80;
// Arrays indexed by square hold every 0x88 index, off-board ones included.
constexpr int SquareArraySize = 128;
// Tables indexed by a difference of squares, to - from + DifferenceOffset,
// hold every difference of two 0x88 squares, NoSquare as one side included.
constexpr int DifferenceOffset = 128;
constexpr int DifferenceCount = 2 * DifferenceOffset + 1;

enum Color : uint8_t { White = 0, Black = 1, NoColor = 2 };
constexpr int ColorCount = NoColor;
// The opponent is one bit away, and tables by colour hold exactly the sides.
static_assert(Black == (White ^ 1) && ColorCount == 2);

constexpr Color Opponent(Color c) { return Color(c ^ 1); }

// Compile-time switches of the generators, make/unmake and the searches,
// named where they are used.
enum class Sums : bool { Skip, Keep };          // make/unmake: keep the evaluation sums too
enum class Flip : bool { KeepSide, PassTurn };  // make/unmake: hand the move to the other side
enum class EnPassant : bool { Without, With };  // generators: include en-passant captures
enum class InCheck : bool { No, Yes };          // the side to move stands in check
enum class FirstTurnRule : bool { Off, On };    // Marseillais: a one-move turn from the initial position

enum PieceType : uint8_t { Empty = 0, Pawn = 1, Knight = 2, Bishop = 3, Rook = 4, Queen = 5, King = 6 };
constexpr int PieceTypeCount = King + 1;  // Empty included

constexpr const char* PieceLetters = ".pnbrqk";
// A piece's letter as FEN and the board display write it: upper case for White.
constexpr char PieceLetter(int color, int type) {
  return color == White ? char(PieceLetters[type] - 'a' + 'A') : PieceLetters[type];
}

constexpr bool IsOffBoard(int sq) { return (sq & 0x88) != 0; }
constexpr int RankOf(int sq) { return sq >> 4; }
constexpr int FileOf(int sq) { return sq & 7; }
constexpr Square MakeSquare(int file, int rank) { return Square((rank << 4) | file); }
// Index rank * 8 + file of a square on the board (or 64 for NoSquare), and
// back for an index 0-63: adding the file (or the rank's eight) once more is
// the shift between the two layouts.
constexpr int IndexOf(Square sq) { return (sq + (sq & 7)) >> 1; }
constexpr Square SquareOf(int index) { return Square(index + (index & 0x38)); }
constexpr bool IndexLayoutsAgree() {
  for (int i = 0; i < 64; ++i) {
    const Square sq = Square(((i >> 3) << 4) | (i & 7));
    if (IndexOf(sq) != i || SquareOf(i) != sq) return false;
  }
  return IndexOf(NoSquare) == 64;
}
static_assert(IndexLayoutsAgree());

// The squares the castling rules name; Black's are White's mirrored by rank.
constexpr Square A1 = MakeSquare(0, 0), B1 = MakeSquare(1, 0), C1 = MakeSquare(2, 0), D1 = MakeSquare(3, 0);
constexpr Square E1 = MakeSquare(4, 0), F1 = MakeSquare(5, 0), G1 = MakeSquare(6, 0), H1 = MakeSquare(7, 0);
constexpr Square RelativeSquare(Color c, Square whiteSquare) {
  return Square(c == White ? whiteSquare : whiteSquare ^ 0x70);
}

// Castling: code 0 White short, 1 White long, 2 Black short, 3 Black long;
// the right to castle is the bit 1 << code of Board::castlingRights.
enum CastlingSide : uint8_t { ShortCastling = 0, LongCastling = 1 };
constexpr int CastlingCode(Color c, CastlingSide side) { return 2 * c + side; }
constexpr uint8_t CastlingRight(Color c, CastlingSide side) { return uint8_t(1 << CastlingCode(c, side)); }
constexpr int CastlingCodeCount = 4;
constexpr uint8_t NoCastlingRights = 0;
constexpr const char* CastlingLetters = "KQkq";  // FEN's, by castling code
constexpr uint8_t AllCastlingRights = 15;
constexpr uint8_t CastlingRightsOf(Color c) {
  return uint8_t(CastlingRight(c, ShortCastling) | CastlingRight(c, LongCastling));
}
// Where king and rook start and land, by castling code.
constexpr Square CastlingKingFrom[] = {E1, E1, RelativeSquare(Black, E1), RelativeSquare(Black, E1)};
constexpr Square CastlingKingTo[] = {G1, C1, RelativeSquare(Black, G1), RelativeSquare(Black, C1)};
constexpr Square CastlingRookFrom[] = {H1, A1, RelativeSquare(Black, H1), RelativeSquare(Black, A1)};
constexpr Square CastlingRookTo[] = {F1, D1, RelativeSquare(Black, F1), RelativeSquare(Black, D1)};

// Move: from index bits 0-5, to index bits 6-11, kind bits 12-13, extra 14-15.
// The extra field marks a pawn's double push (normal moves), names the
// promotion piece (PromotionExtra) or the castling code. 0 is no move.
using Move = uint16_t;
constexpr Move NoMove = 0;
enum MoveKind : uint8_t { NormalMove = 0, PromotionMove = 1, CastlingMove = 2, EnPassantMove = 3 };
constexpr int DoublePushFlag = 1;
constexpr int PromotionExtra(PieceType promoted) { return promoted - Knight; }

constexpr Move MakeMoveWord(Square from, Square to, int kind = NormalMove, int extra = 0) {
  return Move(IndexOf(from) | (IndexOf(to) << 6) | (kind << 12) | (extra << 14));
}
// A move from a square to itself, from which moves from that square are
// made by adding the index step of their offset (StepWord): along a line
// on the board, an 0x88 step d is always the same step of the index.
constexpr int SelfMoveWord(Square from) { return IndexOf(from) * 65; }
constexpr int IndexStep(int d) {
  const int rankSteps = (d + 136) / 16 - 8;  // d rounded to the nearest multiple of 16, in ranks
  return 8 * rankSteps + (d - 16 * rankSteps);
}
constexpr int StepWord(int d) { return IndexStep(d) << 6; }
constexpr bool IndexStepsAgree() {
  for (int from = 0; from < SquareArraySize; ++from) {
    for (int to = 0; to < SquareArraySize; ++to) {
      if (IsOffBoard(from) || IsOffBoard(to)) continue;
      if (SelfMoveWord(Square(from)) + StepWord(to - from) != MakeMoveWord(Square(from), Square(to))) return false;
    }
  }
  return true;
}
static_assert(IndexStepsAgree());
constexpr Square MoveFrom(Move m) { return SquareOf(m & 63); }
constexpr Square MoveTo(Move m) { return SquareOf((m >> 6) & 63); }
constexpr int MoveKindOf(Move m) { return (m >> 12) & 3; }
constexpr int MoveExtra(Move m) { return m >> 14; }
constexpr int FromIndex(Move m) { return m & 63; }
// The piece a promotion makes; PromotionType is Empty for every other kind.
constexpr PieceType PromotedType(Move m) { return PieceType(MoveExtra(m) + Knight); }
constexpr PieceType PromotionType(Move m) { return MoveKindOf(m) == PromotionMove ? PromotedType(m) : Empty; }

constexpr Move CastlingMoveOf(Color c, CastlingSide side) {
  const int code = CastlingCode(c, side);
  return MakeMoveWord(CastlingKingFrom[code], CastlingKingTo[code], CastlingMove, code);
}
static_assert(CastlingMoveOf(White, ShortCastling) == 0x2184 && CastlingMoveOf(Black, LongCastling) == 0xEEBC);

// A Marseillais turn: first move low, second move high; a one-move turn keeps
// its move in the low half.
using MovePair = uint32_t;
constexpr MovePair MakePairWord(Move first, Move second) { return MovePair(first) | (MovePair(second) << 16); }
constexpr Move FirstOf(MovePair p) { return Move(p & 0xFFFF); }
constexpr Move SecondOf(MovePair p) { return Move(p >> 16); }
constexpr bool IsSingleTurn(MovePair p) { return (FirstOf(p) == 0) != (SecondOf(p) == 0); }

struct ScoredMove {
  Move move;
  int16_t score;
};
struct ScoredPair {
  MovePair pair;
  int32_t score;
};
static_assert(sizeof(ScoredMove) == 4 && sizeof(ScoredPair) == 8);

// Opening value in the low 16 bits, endgame value in the high 16 bits; the
// halves add and subtract on their own, each wrapping at 16 bits.
using ScorePair = uint32_t;
constexpr ScorePair MakeScorePair(int opening, int endgame) {
  return ScorePair(uint16_t(opening)) | (ScorePair(uint16_t(endgame)) << 16);
}
constexpr int16_t OpeningOf(ScorePair s) { return int16_t(uint16_t(s & 0xFFFF)); }
constexpr int16_t EndgameOf(ScorePair s) { return int16_t(uint16_t(s >> 16)); }
// Whole-word arithmetic, with the carry (or borrow) out of the low half
// taken back from the high half: each half wraps on its own.
constexpr ScorePair AddScores(ScorePair a, ScorePair b) { return (a + b) - (((a & 0xFFFF) + (b & 0xFFFF)) & 0x10000); }
constexpr ScorePair SubScores(ScorePair a, ScorePair b) { return (a - b) + (((a & 0xFFFF) - (b & 0xFFFF)) & 0x10000); }

}  // namespace quarn
