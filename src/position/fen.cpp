#include "position/fen.h"

#include <cstring>

#include "position/attacks.h"

namespace quarn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A piece's letter (c is not '\0'): its colour and type.
bool PieceFromLetter(char c, Color& color, PieceType& type) {
  const bool white = c >= 'A' && c <= 'Z';
  const char* letter = std::strchr(PieceLetters + 1, white ? c - 'A' + 'a' : c);
  if (!letter) return false;
  color = white ? White : Black;
  type = PieceType(letter - PieceLetters);
  return true;
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
  int nextCastlingCode = 0;  // the letters come in CastlingLetters' order, each at most once
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
      case Castling: {
        const char* letter = std::strchr(CastlingLetters, c);
        if (c == '-') {
          if (!expectSpace()) return false;
          field = EnPassantSquare;
        } else if (c == ' ') {
          field = EnPassantSquare;
        } else if (letter && letter - CastlingLetters >= nextCastlingCode) {
          const int code = int(letter - CastlingLetters);
          b.castlingRights |= uint8_t(1 << code);
          nextCastlingCode = code + 1;
        } else {
          return false;
        }
        break;
      }
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
      fen += PieceLetter(b.colorAt[sq], b.typeAt[sq]);
    }
    if (run) fen += char('0' + run);
    if (rank) fen += '/';
  }
  fen += b.sideToMove == White ? " w " : " b ";
  if (!b.castlingRights) fen += '-';
  for (int code = 0; code < CastlingCodeCount; ++code) {
    if (b.castlingRights & (1 << code)) fen += CastlingLetters[code];
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
  for (int code = 0; code < CastlingCodeCount; ++code) {
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
