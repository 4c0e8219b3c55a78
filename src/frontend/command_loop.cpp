#include "frontend/command_loop.h"

#include <sys/time.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "frontend/game_flow.h"
#include "perft/perft.h"
#include "position/fen.h"

namespace quarn {

namespace {

constexpr const char* Version = "0.9-20140217";
constexpr int LineBufferSize = 256;
constexpr int MaxWords = 128;

Board& CurrentBoard(GameContext& ctx) {
  if (ctx.variant == 0) return *ctx.normalPosition;
  return *ctx.marseillaisPosition;
}

// A decimal integer with optional sign, as atoi reads it, but clamped to the
// 32-bit range instead of overflowing; 0 when the text holds no number.
long long ReadInteger(const char* text) {
  const long long value = std::strtoll(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return value;
}

int32_t ClampNonNegative(long long value) {
  if (value < 0) return 0;
  if (value > INT_MAX) return INT_MAX;
  return int32_t(value);
}

// level MPS BASE INC: BASE in minutes or minutes:seconds, INC in whole
// seconds. Negative values count as 0; huge ones are clamped.
void SetLevel(TimeControl& tc, char** words) {
  tc.movesPerControl = ClampNonNegative(ReadInteger(words[1]));
  const char* colon = std::strchr(words[2], ':');
  long long base;
  if (colon) {
    base = (ReadInteger(words[2]) * 60 + ReadInteger(colon + 1)) * 100;
  } else {
    base = ReadInteger(words[2]) * 60 * 100;
  }
  tc.baseTime = ClampNonNegative(base);
  tc.increment = ClampNonNegative(ReadInteger(words[3]) * 100);
}

// The seed mixes the time of day (UTC, to the millisecond) with the calendar
// time in seconds, in wrapping 32-bit arithmetic.
void SeedRandom() {
  timeval now{};
  gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  const uint32_t ms = uint32_t(now.tv_usec / 1000);
  const uint32_t dayMs = ((uint32_t(utc.tm_hour) * 60 + uint32_t(utc.tm_min)) * 60 + uint32_t(utc.tm_sec)) * 1000 + ms;
  std::srand(dayMs * uint32_t(uint64_t(std::time(nullptr))));
}

void PrintFeatures() {
  std::printf("feature ping=1\n");
  std::printf("feature setboard=1\n");
  std::printf("feature playother=0\n");
  std::printf("feature time=0\n");
  std::printf("feature sigint=0\n");
  std::printf("feature sigterm=0\n");
  std::printf("feature analyze=0\n");
  std::printf("feature myname=\"quarn-%s\"\n", Version);
  std::printf("feature variants=\"normal,marseillais,multi\"\n");
  std::printf("feature colors=0\n");
  std::printf("feature name=0\n");
  std::printf("feature nps=0\n");
  std::printf("feature debug=1\n");
  std::printf("feature done=1\n");
  std::fflush(stdout);
}

// The new position is built before the old one is freed, so a failed
// allocation leaves the game as it was.
void SwitchVariant(GameContext& ctx, const char* name) {
  if (std::strcmp(name, "normal") == 0) {
    if (ctx.normalPosition) return;
    auto pos = ConstructPosition<Position>();
    if (!pos) {
      std::printf("Error (out of memory): variant %s\n", name);
      std::fflush(stdout);
      return;
    }
    ctx.marseillaisPosition.reset();
    ctx.normalPosition = std::move(pos);
    ctx.variant = 0;
  } else {
    if (ctx.marseillaisPosition) return;
    auto pos = ConstructPosition<MarseillaisPosition>();
    if (!pos) {
      std::printf("Error (out of memory): variant %s\n", name);
      std::fflush(stdout);
      return;
    }
    ctx.normalPosition.reset();
    ctx.marseillaisPosition = std::move(pos);
    ctx.variant = 1;
  }
  ResetGame(ctx);
}

void RunCountCommand(GameContext& ctx, const char* depthText, bool divide) {
  const long long depth = ReadInteger(depthText);
  if (depth <= 0) return;
  if (ctx.variant == 0) {
    if (depth > MaxPerftDepth) return;
    if (divide)
      RunDivide(*ctx.normalPosition, ctx.timeControl, int(depth));
    else
      RunPerft(*ctx.normalPosition, ctx.timeControl, int(depth));
  } else {
    if (depth > MaxMarseillaisPerftDepth) return;
    if (divide)
      RunDivide(*ctx.marseillaisPosition, ctx.timeControl, int(depth));
    else
      RunPerft(*ctx.marseillaisPosition, ctx.timeControl, int(depth));
  }
}

void AfterCommand(GameContext& ctx) {
  CheckGameOver(ctx);
  EngineTurn(ctx);
}

}  // namespace

bool InitGameContext(GameContext& ctx) {
  ctx = GameContext{};
  ctx.normalPosition = ConstructPosition<Position>();
  return ctx.normalPosition != nullptr;
}

void ResetGame(GameContext& ctx) {
  Board& b = CurrentBoard(ctx);
  SetFromFen(b, StartFen);
  if (ctx.variant == 0)
    ctx.normalPosition->ResetPly();
  else
    ctx.marseillaisPosition->ResetPly();
  ctx.engineSide = 2;
  TimeControl& tc = ctx.timeControl;
  tc.running = false;
  tc.usedTime = 0;
  tc.startStamp = 0;
  tc.moveStartUsed = 0;
  tc.moveBudget = 0;
  ctx.forceMode = false;
  ctx.randomMode = false;
  ctx.gameOver = false;
  ctx.boardDirty = true;
}

void PrintBoard(GameContext& ctx) {
  if (ctx.boardDirty) {
    ctx.boardDirty = false;
    const Board& b = CurrentBoard(ctx);
    for (int rank = 7; rank >= 0; --rank) {
      char line[11] = "# ";
      for (int file = 0; file < 8; ++file) {
        const Square sq = MakeSquare(file, rank);
        const char letter = PieceLetters[b.typeAt[sq]];
        line[2 + file] = b.colorAt[sq] == White ? char(letter - 'a' + 'A') : letter;
      }
      line[10] = '\0';
      std::printf("%s\n", line);
    }
  }
  std::fflush(stdout);
}

int RunCommandLoop(GameContext& ctx, std::FILE* in) {
  std::printf("feature done=0\n");
  std::fflush(stdout);
  if (in == stdin) std::setvbuf(stdin, nullptr, _IONBF, 0);
  BuildEvalTables();
  SeedRandom();

  char line[LineBufferSize];
  char fen[LineBufferSize];
  char* words[MaxWords];
  for (;;) {
    if (!ctx.xboardMode) {
      std::printf("# Your move: ");
      std::fflush(stdout);
    }
    if (!std::fgets(line, LineBufferSize, in)) return 0;
    line[LineBufferSize - 1] = '\0';
    size_t n = std::strlen(line);
    if (n > 0 && line[n - 1] == '\n') line[--n] = '\0';
    if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
    while (n > 0 && line[n - 1] == ' ') line[--n] = '\0';
    char* start = line;
    while (*start == ' ') ++start;
    if (*start == '\0') continue;

    // Split at every single space; empty words count. Words after the 128th
    // are dropped: no command needs more than seven.
    int count = 0;
    char* word = start;
    for (;;) {
      char* space = std::strchr(word, ' ');
      if (count < MaxWords) words[count++] = word;
      if (!space) break;
      *space = '\0';
      word = space + 1;
    }
    const char* cmd = words[0];

    if (std::strcmp(cmd, "quit") == 0) return 0;
    if (std::strcmp(cmd, "xboard") == 0) {
      ctx.xboardMode = true;
      std::printf("\n");
      std::fflush(stdout);
    } else if (std::strcmp(cmd, "protover") == 0) {
      if (count >= 2 && std::strcmp(words[1], "2") == 0) PrintFeatures();
    } else if (std::strcmp(cmd, "variant") == 0) {
      if (count == 2) {
        if (std::strcmp(words[1], "normal") != 0 && std::strcmp(words[1], "marseillais") != 0 &&
            std::strcmp(words[1], "multi") != 0) {
          std::printf("Error (unknown variant): %s\n", words[1]);
          std::fflush(stdout);
          continue;
        }
        SwitchVariant(ctx, words[1]);
      }
    } else if (std::strcmp(cmd, "ping") == 0) {
      if (count == 2) {
        std::printf("pong %s\n", words[1]);
        std::fflush(stdout);
      }
    } else if (std::strcmp(cmd, "new") == 0) {
      ResetGame(ctx);
      PrintBoard(ctx);
    } else if (std::strcmp(cmd, "force") == 0) {
      ctx.engineSide = 2;
      ctx.forceMode = true;
    } else if (std::strcmp(cmd, "level") == 0) {
      if (count == 4) SetLevel(ctx.timeControl, words);
    } else if (std::strcmp(cmd, "go") == 0) {
      if (!ctx.gameOver) {
        ctx.engineSide = CurrentBoard(ctx).sideToMove;
        ctx.forceMode = false;
      }
    } else if (std::strcmp(cmd, "rand") == 0) {
      ctx.randomMode = true;
    } else if (std::strcmp(cmd, "norand") == 0) {
      ctx.randomMode = false;
    } else if (std::strcmp(cmd, "result") == 0) {
      ctx.gameOver = true;
      ctx.engineSide = 2;
    } else if (std::strcmp(cmd, "setboard") == 0) {
      if (count < 5 || count > 7) continue;
      fen[0] = '\0';
      for (int i = 1; i < count; ++i) {
        if (i > 1) std::strcat(fen, " ");
        std::strcat(fen, words[i]);
      }
      if (!SetupPlayableFen(CurrentBoard(ctx), fen)) {
        std::printf("Error (illegal FEN): setboard %s\n", fen);
        std::fflush(stdout);
        continue;
      }
      PrintBoard(ctx);
    } else if (std::strcmp(cmd, "perft") == 0 || std::strcmp(cmd, "divide") == 0) {
      if (count != 2) continue;
      RunCountCommand(ctx, words[1], cmd[0] == 'd');
    } else if (count == 1) {
      HandleMoveWord(ctx, cmd);
    } else {
      continue;
    }
    AfterCommand(ctx);
  }
}

}  // namespace quarn
