// Shared encodings of the engine: squares, colours, pieces, moves, pairs,
// scored list elements and opening/endgame score pairs.
#pragma once

#include <cstdint>

namespace quarn {

// 0x88 square: rank in bits 4-6, file in bits 0-2. Any bit of 0x88 set means
// off the board; 0x80 is "no square".
using Square = uint8_t;
constexpr Square NoSquare = 0x80;

enum Color : uint8_t { White = 0, Black = 1, NoColor = 2 };

constexpr Color Opponent(Color c) { return Color(c ^ 1); }

enum PieceType : uint8_t { Empty = 0, Pawn = 1, Knight = 2, Bishop = 3, Rook = 4, Queen = 5, King = 6 };

constexpr const char* PieceLetters = ".pnbrqk";

constexpr bool IsOffBoard(int sq) { return (sq & 0x88) != 0; }
constexpr int RankOf(int sq) { return sq >> 4; }
constexpr int FileOf(int sq) { return sq & 7; }
constexpr Square MakeSquare(int file, int rank) { return Square((rank << 4) | file); }
constexpr int IndexOf(Square sq) { return (sq >> 4) * 8 + (sq & 7); }
constexpr Square SquareOf(int index) { return Square(((index & 0x38) << 1) | (index & 7)); }

// Move: from index bits 0-5, to index bits 6-11, kind bits 12-13, extra 14-15.
using Move = uint16_t;
enum MoveKind : uint8_t { NormalMove = 0, PromotionMove = 1, CastlingMove = 2, EnPassantMove = 3 };

constexpr Move MakeMoveWord(Square from, Square to, int kind = NormalMove, int extra = 0) {
  return Move(IndexOf(from) | (IndexOf(to) << 6) | (kind << 12) | (extra << 14));
}
constexpr Square MoveFrom(Move m) { return SquareOf(m & 63); }
constexpr Square MoveTo(Move m) { return SquareOf((m >> 6) & 63); }
constexpr int MoveKindOf(Move m) { return (m >> 12) & 3; }
constexpr int MoveExtra(Move m) { return m >> 14; }
// Promotion code as a piece type (knight..queen), 0 for every other kind.
constexpr int PromotionType(Move m) { return MoveKindOf(m) == PromotionMove ? MoveExtra(m) + 2 : 0; }

// The four castling moves, by castling code.
constexpr Move CastleWhiteShort = 0x2184;
constexpr Move CastleWhiteLong = 0x6084;
constexpr Move CastleBlackShort = 0xAFBC;
constexpr Move CastleBlackLong = 0xEEBC;

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
