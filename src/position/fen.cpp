#include "position/fen.h"

#include "position/attacks.h"

namespace quarn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool PieceFromLetter(char c, Color& color, PieceType& type) {
  constexpr const char* letters = "pnbrqk";
  for (int i = 0; i < 6; ++i) {
    if (c == letters[i]) {
      color = Black;
      type = PieceType(i + 1);
      return true;
    }
    if (c == letters[i] - 'a' + 'A') {
      color = White;
      type = PieceType(i + 1);
      return true;
    }
  }
  return false;
}

}  // namespace

// One character per step; the end of the text at a step boundary accepts
// whatever has been read. A field's closing space is consumed by the step
// that completes the field.
bool SetFromFen(Board& b, const char* text) {
  ResetPosition(b);
  enum Field { Placement, SideToMove, Castling, EnPassantSquare, HalfMoveClock, FullMoveNumber };
  int rank = 7, file = 0;
  Field field = Placement;
  bool allowK = true, allowQ = true, allowk = true, allowq = true;
  const char* p = text;
  auto expectSpace = [&p] { return *p++ == ' '; };
  for (;;) {
    char c = *p++;
    if (c == '\0') return true;
    switch (field) {
      case Placement: {
        if (c == '/') {
          if (file != 8 || rank == 0) return false;
          file = 0;
          --rank;
          break;
        }
        if (file >= 8) return false;
        Color color;
        PieceType type;
        if (PieceFromLetter(c, color, type)) {
          if (!PlacePiece(b, color, MakeSquare(file, rank), type)) return false;
          ++file;
        } else if (c >= '1' && c <= '8') {
          file += c - '0';
          if (file > 8) return false;
        } else {
          return false;
        }
        if (file == 8 && rank == 0) {
          if (!expectSpace()) return false;
          field = SideToMove;
        }
        break;
      }
      case SideToMove:
        if (c == 'w')
          b.sideToMove = White;
        else if (c == 'b')
          b.sideToMove = Black;
        else
          return false;
        if (!expectSpace()) return false;
        field = Castling;
        break;
      case Castling:  // letters in the order K, Q, k, q, each at most once
        if (c == '-') {
          if (!expectSpace()) return false;
          field = EnPassantSquare;
        } else if (c == 'K' && allowK) {
          b.castlingRights |= CastlingRight(White, ShortCastling);
          allowK = false;
        } else if (c == 'Q' && allowQ) {
          b.castlingRights |= CastlingRight(White, LongCastling);
          allowK = allowQ = false;
        } else if (c == 'k' && allowk) {
          b.castlingRights |= CastlingRight(Black, ShortCastling);
          allowK = allowQ = allowk = false;
        } else if (c == 'q' && allowq) {
          b.castlingRights |= CastlingRight(Black, LongCastling);
          allowK = allowQ = allowk = allowq = false;
        } else if (c == ' ') {
          field = EnPassantSquare;
        } else {
          return false;
        }
        break;
      case EnPassantSquare:
        if (c == '-') {
          if (!expectSpace()) return false;
          field = HalfMoveClock;
        } else if (c >= 'a' && c <= 'h') {
          const char digit = *p++;
          if (digit < '1' || digit > '8') return false;
          b.epSquare = MakeSquare(c - 'a', digit - '1');
          // The square stands only when a pawn of the side to move can take on it.
          bool usable = false;
          for (int step : PawnCaptureSteps[b.sideToMove]) {
            const int from = b.epSquare - step;
            if (!IsOffBoard(from) && IsPieceAt(b, Square(from), b.sideToMove, Pawn)) usable = true;
          }
          if (!usable) b.epSquare = NoSquare;
          if (!expectSpace()) return false;
          field = HalfMoveClock;
        } else {
          return false;
        }
        break;
      case HalfMoveClock:  // not stored
        while (IsDigit(c)) c = *p++;
        if (c != ' ') return false;
        field = FullMoveNumber;
        break;
      case FullMoveNumber:  // not stored; the text must end after it
        while (IsDigit(c)) c = *p++;
        return c == '\0';
    }
  }
}

std::string PositionToFen(const Board& b) {
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int run = 0;
    for (int file = 0; file < 8; ++file) {
      const Square sq = MakeSquare(file, rank);
      if (b.colorAt[sq] == NoColor) {
        ++run;
        continue;
      }
      if (run) fen += char('0' + run);
      run = 0;
      const char letter = PieceLetters[b.typeAt[sq]];
      fen += b.colorAt[sq] == White ? char(letter - 'a' + 'A') : letter;
    }
    if (run) fen += char('0' + run);
    if (rank) fen += '/';
  }
  fen += b.sideToMove == White ? " w " : " b ";
  if (!b.castlingRights) fen += '-';
  constexpr const char* castleLetters = "KQkq";  // by castling code
  for (int code = 0; code < 4; ++code) {
    if (b.castlingRights & (1 << code)) fen += castleLetters[code];
  }
  fen += ' ';
  if (b.epSquare == NoSquare) {
    fen += '-';
  } else {
    fen += char('a' + FileOf(b.epSquare));
    fen += char('1' + RankOf(b.epSquare));
  }
  fen += " 0 1";
  return fen;
}

bool SetupPlayableFen(Board& b, const char* text) {
  Board scratch;
  if (!SetFromFen(scratch, text)) return false;
  if (scratch.sideToMove > Black) return false;
  for (Color c : {White, Black}) {
    if (scratch.pieceLists[c].countByType[King] != 1) return false;
  }
  for (int file = 0; file < 8; ++file) {
    if (scratch.typeAt[MakeSquare(file, 0)] == Pawn || scratch.typeAt[MakeSquare(file, 7)] == Pawn) return false;
  }
  // A castling right needs its king and rook on their home squares.
  for (int code = 0; code < 4; ++code) {
    const Color c = code < CastlingCode(Black, ShortCastling) ? White : Black;
    if (!IsPieceAt(scratch, CastlingKingFrom[code], c, King) || !IsPieceAt(scratch, CastlingRookFrom[code], c, Rook)) {
      scratch.castlingRights &= uint8_t(~(1 << code));
    }
  }
  // A real en-passant square lies behind an enemy pawn that has just made a
  // two-square advance: sixth rank with White to move, third with Black.
  if (scratch.epSquare != NoSquare) {
    const Color us = scratch.sideToMove;
    const int wantedRank = us == White ? 5 : 2;
    const Square pawnSquare = Square(scratch.epSquare - PawnPushStep[us]);
    if (RankOf(scratch.epSquare) != wantedRank || scratch.colorAt[scratch.epSquare] != NoColor ||
        !IsPieceAt(scratch, pawnSquare, Opponent(us), Pawn)) {
      scratch.epSquare = NoSquare;
    }
  }
  // The side to move must not be able to take the king.
  if (SideNotToMoveInCheck(scratch)) return false;
  b = scratch;
  return true;
}

}  // namespace quarn
