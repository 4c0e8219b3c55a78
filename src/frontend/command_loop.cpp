#include "frontend/command_loop.h"

#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "frontend/game_flow.h"
#include "position/fen.h"

namespace quarn {

namespace {

constexpr const char* Version = "0.9-20140217";
// The longest line taken, in characters, its line end not counted. A longer
// line is refused whole (its rest read and dropped, no buffer grows), so no
// piece of it ever runs as a command of its own.
constexpr int MaxLineLength = 255;
constexpr int LineBufferSize = MaxLineLength + 1;
constexpr int MaxWords = 128;

// What follows a command: nothing, the after-command step (the game-over
// test, then the engine's turn when it is to move), or the end of the loop.
enum class Next { Nothing, GameStep, Quit };

struct Words {
  char* word[MaxWords];
  int count;
};

// A decimal integer with optional sign, as atoi reads it, but clamped to the
// 32-bit range instead of overflowing; 0 when the text holds no number.
long long ReadInteger(const char* text) {
  return std::clamp<long long>(std::strtoll(text, nullptr, 10), INT_MIN, INT_MAX);
}

// The word read as a whole number, or as a decimal number, when that is all
// it holds; false otherwise.
bool ReadWholeWord(const char* text, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0';
}
bool ReadDecimalWord(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

int32_t ClampNonNegative(long long value) { return int32_t(std::clamp<long long>(value, 0, INT_MAX)); }

constexpr time_t SecondsPerDay = 24 * 60 * 60;
constexpr uint32_t MillisecondsPerSecond = 1000;

// The seed mixes the time of day (UTC, to the millisecond) with the calendar
// time in seconds, in wrapping 32-bit arithmetic. Calendar time counts every
// day as SecondsPerDay, so the time of day is its remainder (what gmtime
// gives, without needing gmtime_r, which Windows lacks).
void SeedRandom() {
  timeval now{};
  gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  const uint32_t ms = uint32_t(now.tv_usec / 1000);
  const uint32_t dayMs = uint32_t(seconds % SecondsPerDay) * MillisecondsPerSecond + ms;
  std::srand(dayMs * uint32_t(uint64_t(std::time(nullptr))));
}

void Print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

// Outside xboard mode a person is typing: each read waits behind a prompt.
void PromptIfInteractive(const GameContext& ctx) {
  if (!ctx.xboardMode) Print("# Your move: ");
}

Next Xboard(GameContext& ctx, const Words&) {
  ctx.xboardMode = true;
  Print("\n");
  return Next::GameStep;
}

Next Protover(GameContext&, const Words& w) {
  if (std::strcmp(w.word[1], "2") != 0) return Next::GameStep;
  Print(
      "feature ping=1\nfeature setboard=1\nfeature playother=0\nfeature time=0\nfeature sigint=0\n"
      "feature sigterm=0\nfeature analyze=0\n");
  std::printf("feature myname=\"quarn-%s\"\n", Version);
  Print(
      "feature variants=\"normal,marseillais,multi\"\nfeature colors=0\nfeature name=0\nfeature nps=0\n"
      "feature debug=1\nfeature done=1\n");
  return Next::GameStep;
}

Next SetVariant(GameContext& ctx, const Words& w) {
  const char* name = w.word[1];
  Variant known;
  if (!ParseVariant(name, known)) {
    std::printf("Error (unknown variant): %s\n", name);
    std::fflush(stdout);
    return Next::Nothing;
  }
  SwitchVariant(ctx, name);
  return Next::GameStep;
}

Next Ping(GameContext&, const Words& w) {
  std::printf("pong %s\n", w.word[1]);
  std::fflush(stdout);
  return Next::GameStep;
}

// A new game also drops the limits of "sd" and "st".
Next New(GameContext& ctx, const Words&) {
  ctx.maxDepth = MaxSearchDepth;
  ctx.timeControl.fixedMoveTime = 0;
  ResetGame(ctx);
  PrintBoard(ctx);
  return Next::GameStep;
}

Next Force(GameContext& ctx, const Words&) {
  ctx.engineSide = NoColor;
  ctx.forceMode = true;
  return Next::GameStep;
}

// level MPS BASE INC: BASE in minutes or minutes:seconds, INC in whole
// seconds. Negative values count as 0; huge ones are clamped.
Next Level(GameContext& ctx, const Words& w) {
  TimeControl& tc = ctx.timeControl;
  tc.movesPerControl = ClampNonNegative(ReadInteger(w.word[1]));
  const char* colon = std::strchr(w.word[2], ':');
  const long long minutes = ReadInteger(w.word[2]), seconds = colon ? ReadInteger(colon + 1) : 0;
  tc.baseTime = ClampNonNegative((minutes * 60 + seconds) * 100);
  tc.increment = ClampNonNegative(ReadInteger(w.word[3]) * 100);
  tc.fixedMoveTime = 0;
  return Next::GameStep;
}

// sd DEPTH: the search deepens at most to DEPTH plies (turns in
// Marseillais) until "new"; 0, a negative or a malformed depth changes
// nothing, a depth past the search's own limit is that limit.
Next SearchDepth(GameContext& ctx, const Words& w) {
  long long depth = 0;
  if (ReadWholeWord(w.word[1], depth) && depth >= 1) ctx.maxDepth = int(std::min<long long>(depth, MaxSearchDepth));
  return Next::GameStep;
}

// st SECONDS: every move takes at most that long (fractions allowed), in
// place of the level's allotment until the next "level" or "new"; 0, a
// negative or a malformed time changes nothing.
Next SecondsPerMove(GameContext& ctx, const Words& w) {
  double seconds = 0;
  if (ReadDecimalWord(w.word[1], seconds) && seconds * 100 >= 1)
    ctx.timeControl.fixedMoveTime = SaturatedInt32(seconds * 100);
  return Next::GameStep;
}

Next Go(GameContext& ctx, const Words&) {
  if (!ctx.gameOver) {
    ctx.engineSide = CurrentBoard(ctx).sideToMove;
    ctx.forceMode = false;
  }
  return Next::GameStep;
}

Next Rand(GameContext& ctx, const Words&) {
  ctx.randomMode = true;
  return Next::GameStep;
}

Next NoRand(GameContext& ctx, const Words&) {
  ctx.randomMode = false;
  return Next::GameStep;
}

// undo takes back the last move (a GUI sends it in force mode), remove the
// last two, the engine keeping its side. With too few moves played the
// error line names the command and nothing changes.
Next TakeBackTurns(GameContext& ctx, const char* command, size_t turns) {
  if (TakeBack(ctx, turns)) return Next::GameStep;
  std::printf("Error (nothing to take back): %s\n", command);
  std::fflush(stdout);
  return Next::Nothing;
}

Next Undo(GameContext& ctx, const Words&) { return TakeBackTurns(ctx, "undo", 1); }

Next Remove(GameContext& ctx, const Words&) { return TakeBackTurns(ctx, "remove", 2); }

Next Result(GameContext& ctx, const Words&) {
  ctx.gameOver = true;
  ctx.engineSide = NoColor;
  return Next::GameStep;
}

// The FEN's words joined again by single spaces; a refused FEN keeps the game.
Next SetBoard(GameContext& ctx, const Words& w) {
  char fen[LineBufferSize] = "";
  for (int i = 1; i < w.count; ++i) {
    if (i > 1) std::strcat(fen, " ");
    std::strcat(fen, w.word[i]);
  }
  if (!SetupPlayableFen(CurrentBoard(ctx), fen)) {
    std::printf("Error (illegal FEN): setboard %s\n", fen);
    std::fflush(stdout);
    return Next::Nothing;
  }
  ctx.played.clear();  // no take-back past a set-up position
  PrintBoard(ctx);
  return Next::GameStep;
}

Next Perft(GameContext& ctx, const Words& w) {
  RunCount(ctx, ReadInteger(w.word[1]), false);
  return Next::GameStep;
}

Next Divide(GameContext& ctx, const Words& w) {
  RunCount(ctx, ReadInteger(w.word[1]), true);
  return Next::GameStep;
}

Next Quit(GameContext&, const Words&) { return Next::Quit; }

// Each command with the words it takes (its name included) and what follows
// when it is given another number of words. A one-word line that names no
// command is a move; any other line is ignored.
struct Command {
  const char* name;
  int minWords, maxWords;
  Next whenMiscounted;
  Next (*run)(GameContext&, const Words&);
};
constexpr Command Commands[] = {
    {"quit", 1, MaxWords, Next::Quit, Quit},
    {"xboard", 1, MaxWords, Next::GameStep, Xboard},
    {"protover", 2, MaxWords, Next::GameStep, Protover},
    {"variant", 2, 2, Next::GameStep, SetVariant},
    {"ping", 2, 2, Next::GameStep, Ping},
    {"new", 1, MaxWords, Next::GameStep, New},
    {"force", 1, MaxWords, Next::GameStep, Force},
    {"level", 4, 4, Next::GameStep, Level},
    {"go", 1, MaxWords, Next::GameStep, Go},
    {"rand", 1, MaxWords, Next::GameStep, Rand},
    {"norand", 1, MaxWords, Next::GameStep, NoRand},
    {"result", 1, MaxWords, Next::GameStep, Result},
    {"undo", 1, MaxWords, Next::GameStep, Undo},
    {"remove", 1, MaxWords, Next::GameStep, Remove},
    {"sd", 2, 2, Next::GameStep, SearchDepth},
    {"st", 2, 2, Next::GameStep, SecondsPerMove},
    {"setboard", 5, 7, Next::Nothing, SetBoard},
    {"perft", 2, 2, Next::Nothing, Perft},
    {"divide", 2, 2, Next::Nothing, Divide},
};

Next RunCommand(GameContext& ctx, const Words& w) {
  for (const Command& c : Commands) {
    if (std::strcmp(w.word[0], c.name) != 0) continue;
    if (w.count < c.minWords || w.count > c.maxWords) return c.whenMiscounted;
    return c.run(ctx, w);
  }
  if (w.count != 1) return Next::Nothing;
  HandleMoveWord(ctx, w.word[0]);
  return Next::GameStep;
}

// Trims the line's end of line and surrounding blanks and splits it at every
// single space (empty words count). Words after the 128th are dropped: no
// command needs more than seven. False for a blank line.
bool SplitWords(char* line, Words& w) {
  size_t n = std::strlen(line);
  if (n > 0 && line[n - 1] == '\n') line[--n] = '\0';
  if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
  while (n > 0 && line[n - 1] == ' ') line[--n] = '\0';
  char* word = line;
  while (*word == ' ') ++word;
  if (*word == '\0') return false;
  w.count = 0;
  for (;;) {
    char* space = std::strchr(word, ' ');
    if (w.count < MaxWords) w.word[w.count++] = word;
    if (!space) return true;
    *space = '\0';
    word = space + 1;
  }
}

enum class LineRead { Line, TooLong, End };

// Reads the next line into `line`, terminated, its '\n' kept when it came.
// A line of up to MaxLineLength characters is a Line; when it fills the
// buffer, its line end ("\n", "\r\n", or a '\r' at the end of input) is left
// to be read next as an empty line, as a line of that length always was. A
// longer line is TooLong: its first MaxLineLength characters in `line`, the
// rest read up to its '\n' or the end of input and dropped.
LineRead ReadLine(std::FILE* in, char (&line)[LineBufferSize]) {
  int n = 0, c = EOF;
  while (n < MaxLineLength && (c = std::getc(in)) != EOF) {
    line[n++] = char(c);
    if (c == '\n') break;
  }
  line[n] = '\0';
  if (n == 0) return LineRead::End;
  if (n < MaxLineLength || c == '\n') return LineRead::Line;
  c = std::getc(in);
  if (c == EOF) return LineRead::Line;
  if (c == '\r') {
    c = std::getc(in);
    if (c == EOF) c = '\n';  // "\r" at the end: its empty line as before
  }
  if (c == '\n') {
    std::ungetc(c, in);
    return LineRead::Line;
  }
  while (c != '\n' && c != EOF) c = std::getc(in);
  return LineRead::TooLong;
}

// Whether the line's first word (past leading blanks) is `name`.
bool FirstWordIs(const char* line, const char* name) {
  while (*line == ' ') ++line;
  const size_t n = std::strlen(name);
  return std::strncmp(line, name, n) == 0 && (line[n] == ' ' || line[n] == '\0');
}

}  // namespace

void BeginSession(GameContext& ctx) {
  Print("feature done=0\n");
  SeedRandom();
  PromptIfInteractive(ctx);
}

bool RunLines(GameContext& ctx, std::FILE* in) {
  char line[LineBufferSize];
  Words words;
  for (LineRead read; (read = ReadLine(in, line)) != LineRead::End;) {
    // An over-long "result" line is still the game's end: its comment, the
    // part that overflows, is not needed. Any other is refused without an
    // echo, so none of its text reaches the output.
    if (read == LineRead::TooLong && !FirstWordIs(line, "result")) {
      Print("Error (line too long)\n");
    } else if (SplitWords(line, words)) {
      switch (RunCommand(ctx, words)) {
        case Next::Quit:
          return true;
        case Next::GameStep:
          CheckGameOver(ctx);
          EngineTurn(ctx);
          break;
        case Next::Nothing:
          break;
      }
    }
    PromptIfInteractive(ctx);
  }
  return false;
}

int RunCommandLoop(GameContext& ctx, std::FILE* in) {
  if (in == stdin) std::setvbuf(stdin, nullptr, _IONBF, 0);
  BeginSession(ctx);
  RunLines(ctx, in);
  return 0;
}

}  // namespace quarn
