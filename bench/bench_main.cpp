// quarn_bench: speed figures for the move generator and the search.
//
//   quarn_bench perft [RUNS]       leaves per second (start position depth 6,
//                                  "kiwipete" depth 5) and Marseillais turns
//                                  per second (start position depth 3); each
//                                  count repeated until a second has passed,
//                                  or exactly RUNS times (the profile-guided
//                                  build's training run, which must do the
//                                  same work on every machine to give the
//                                  same engine)
//   quarn_bench search             about thirty positions searched to fixed
//                                  depths: nodes, nodes per second, signature
//   quarn_bench search DEPTH [FEN]  one normal-chess position (the initial
//                                  one by default) to that depth, for profiling
//   quarn_bench signature [FILE]   a quick subset of the search run; prints
//                                  the node total and, given FILE, fails
//                                  when the total differs from the number in it
//   quarn_bench calibrate [MAX]    nodes per depth for every search position,
//                                  to choose the depths of the table below
//
// The signature is the total node count of fixed-depth searches. It changes
// exactly when the search's behaviour changes (ordering, pruning, scores,
// evaluation, move generation order), never with the machine or its load.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "frontend/move_text.h"
#include "perft/perft.h"
#include "position/fen.h"
#include "position/position.h"
#include "search/search.h"

namespace {

using namespace quarn;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr const char* KiwipeteFen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

template <class P>
std::unique_ptr<P> PositionFrom(const char* fen) {
  std::unique_ptr<P> pos = PositionFromFen<P>(fen);
  if (!pos) {
    std::fprintf(stderr, "out of memory or bad position: %s\n", fen);
    std::exit(2);
  }
  return pos;
}

// ---------------------------------------------------------------------------
// perft

struct PerftCase {
  const char* name;
  const char* fen;
  int depth;
  bool marseillais;
  uint64_t expected;  // 0 when there is no published count to check against
};

const PerftCase PerftCases[] = {
    {"start", StartFen, 6, false, 119060324ULL},
    {"kiwipete", KiwipeteFen, 5, false, 193690690ULL},
    {"marseillais start", StartFen, 3, true, 0},
};

// Repeat each count until this much time has passed, unless a run count is given.
constexpr double MinTimedSeconds = 1.0;
constexpr int UntilTimed = 0;

// Counts the tree, `fixedRuns` times, or (UntilTimed) repeating a short count
// until MinTimedSeconds have passed so that the rate is measured over a
// useful stretch; reports the time of one count.
template <class P>
void TimePerft(const PerftCase& c, int fixedRuns, uint64_t& leaves, uint64_t& nodes, double& seconds, int& runs) {
  auto pos = PositionFrom<P>(c.fen);
  runs = 0;
  const Clock::time_point start = Clock::now();
  do {
    const PerftResult r = PerftRoot(*pos, c.depth);
    leaves = r.leaves;
    nodes = r.nodes;
    ++runs;
  } while (fixedRuns == UntilTimed ? SecondsSince(start) < MinTimedSeconds : runs < fixedRuns);
  seconds = SecondsSince(start) / runs;
}

int RunPerftBench(int fixedRuns) {
  int failures = 0;
  std::printf("%-18s %5s %14s %5s %9s %14s %14s\n", "position", "depth", "leaves", "runs", "seconds", "leaves/s",
              "nodes/s");
  for (const PerftCase& c : PerftCases) {
    uint64_t leaves = 0, nodes = 0;
    double seconds = 0;
    int runs = 0;
    if (c.marseillais)
      TimePerft<MarseillaisPosition>(c, fixedRuns, leaves, nodes, seconds, runs);
    else
      TimePerft<Position>(c, fixedRuns, leaves, nodes, seconds, runs);
    const double rate = seconds > 0 ? double(leaves) / seconds : 0;
    const double nodeRate = seconds > 0 ? double(nodes) / seconds : 0;
    std::printf("%-18s %5d %14" PRIu64 " %5d %9.4f %14.0f %14.0f", c.name, c.depth, leaves, runs, seconds, rate,
                nodeRate);
    if (c.expected != 0 && leaves != c.expected) {
      std::printf("  WRONG, expected %" PRIu64, c.expected);
      ++failures;
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf(
      "(leaves/s counts the leaves of the tree, turns in Marseillais; nodes/s the positions whose\n"
      " moves were listed, the last ply being counted from its parent's list)\n");
  return failures ? 1 : 0;
}

// ---------------------------------------------------------------------------
// search

struct SearchCase {
  const char* fen;
  int depth;       // for the full benchmark
  int quickDepth;  // for the signature run; 0 leaves the position out
  bool marseillais;
};

// Openings, middlegames with tactics and quiet manoeuvring, both sides to
// move, endgames of every kind, and Marseillais positions searched by turns.
const SearchCase SearchCases[] = {
    // Openings and early middlegames.
    {StartFen, 7, 5, false},
    {"r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 6, 5, false},
    {"rnbqkb1r/pp2pppp/3p1n2/8/3NP3/8/PPP2PPP/RNBQKB1R w KQkq - 1 5", 6, 0, false},
    {"rnbqkb1r/ppp2ppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR b KQkq - 3 4", 6, 5, false},
    {"rnbqkbnr/ppp2ppp/4p3/3pP3/3P4/8/PPP2PPP/RNBQKBNR b KQkq - 0 3", 5, 0, false},
    {"r1bq1rk1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQ1RK1 w - - 0 7", 5, 0, false},
    // Middlegames.
    {KiwipeteFen, 7, 5, false},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 8, 6, false},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 7, 0, false},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 6, 4, false},
    {"r2q1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9", 6, 0, false},
    {"2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PNBPN2/PB3PPP/2RQ1RK1 w - - 0 11", 7, 0, false},
    {"r1b2rk1/2q1bppp/p2ppn2/1p6/3BPP2/2NB4/PPP1Q1PP/2KR3R w - - 0 13", 5, 0, false},
    {"3r1rk1/p4ppp/1pq1pn2/2b5/2P5/1P2PN2/PB2QPPP/3R1RK1 w - - 0 17", 6, 5, false},
    {"r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/2KR1B1R b - - 4 9", 6, 0, false},
    {"r2qkb1r/pp1n1ppp/2p1pn2/3p1b2/2PP4/1QN1PN2/PP3PPP/R1B1KB1R w KQkq - 0 7", 7, 0, false},
    {"4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19", 7, 0, false},
    {"r3r1k1/2p2ppp/p1p1bn2/8/1q2P3/2NPQN2/PPP3PP/R4RK1 b - - 2 15", 5, 4, false},
    // Endgames.
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 9, 7, false},
    {"8/5pk1/6p1/7p/7P/6P1/r4PK1/2R5 w - - 0 40", 8, 0, false},
    {"8/8/1p3k2/p1p5/P1P5/1P3K2/8/8 w - - 0 1", 12, 9, false},
    {"8/5pk1/6p1/8/1q6/6P1/5PK1/3Q4 w - - 0 1", 7, 0, false},
    {"8/5k2/3b1p2/p3p3/P3P1N1/5K2/8/8 w - - 0 1", 8, 7, false},
    {"8/8/8/4k3/8/8/4P3/4K3 w - - 0 1", 11, 9, false},
    {"8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1", 15, 12, false},
    {"8/P7/8/8/8/8/5k1p/K7 w - - 0 1", 9, 7, false},
    {"1k6/8/8/2q1q3/8/2Q1Q3/8/6K1 w - - 0 1", 8, 7, false},
    // Marseillais.
    {StartFen, 4, 3, true},
    {"rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1", 3, 2, true},
    {"8/5pk1/6p1/8/8/6P1/5PK1/3R4 w - - 0 1", 3, 3, true},
};

struct SearchOutcome {
  uint64_t nodes;
  double seconds;
  std::string move;
  int score;
};

template <class P>
SearchOutcome SearchFrom(const char* fen, int depth) {
  auto pos = PositionFrom<P>(fen);
  const Clock::time_point start = Clock::now();
  SearchLimits limits;
  limits.maxDepth = depth;
  const auto r = SearchBestMove(*pos, limits);
  char text[16];
  FormatTurn(r.best, text);
  return {r.nodes, SecondsSince(start), text, r.score};
}

SearchOutcome SearchOne(const SearchCase& c, int depth) {
  return c.marseillais ? SearchFrom<MarseillaisPosition>(c.fen, depth) : SearchFrom<Position>(c.fen, depth);
}

// Runs the table at full or quick depths; returns the node total.
uint64_t RunSearchTable(bool quick, bool verbose) {
  uint64_t total = 0;
  double seconds = 0;
  int index = 0;
  if (verbose)
    std::printf("%3s %-2s %5s %12s %8s %12s %-10s %7s  %s\n", "#", "v", "depth", "nodes", "seconds", "nodes/s", "move",
                "score", "position");
  for (const SearchCase& c : SearchCases) {
    ++index;
    const int depth = quick ? c.quickDepth : c.depth;
    if (depth == 0) continue;
    const SearchOutcome o = SearchOne(c, depth);
    total += o.nodes;
    seconds += o.seconds;
    if (verbose) {
      std::printf("%3d %-2s %5d %12" PRIu64 " %8.2f %12.0f %-10s %7d  %s\n", index, c.marseillais ? "M" : "N", depth,
                  o.nodes, o.seconds, o.seconds > 0 ? double(o.nodes) / o.seconds : 0, o.move.c_str(), o.score, c.fen);
      std::fflush(stdout);
    }
  }
  std::printf("total nodes %" PRIu64 "\n", total);
  std::printf("seconds %.2f\n", seconds);
  std::printf("nodes per second %.0f\n", seconds > 0 ? double(total) / seconds : 0);
  std::printf("signature %" PRIu64 "\n", total);
  std::fflush(stdout);
  return total;
}

int RunSignature(const char* expectedFile) {
  const uint64_t total = RunSearchTable(true, false);
  if (!expectedFile) return 0;
  std::ifstream in(expectedFile);
  unsigned long long expected = 0;
  if (!(in >> expected)) {
    std::printf("cannot read the expected signature from %s\n", expectedFile);
    return 1;
  }
  if (total != expected) {
    std::printf("SIGNATURE CHANGED: expected %llu, got %" PRIu64
                "\n(if the search was changed on purpose, put the new number in %s and say why in the commit)\n",
                expected, total, expectedFile);
    return 1;
  }
  std::printf("signature matches\n");
  return 0;
}

int RunCalibrate(double maxSeconds) {
  int index = 0;
  for (const SearchCase& c : SearchCases) {
    ++index;
    std::printf("%2d %s %s\n", index, c.marseillais ? "M" : "N", c.fen);
    for (int depth = 1; depth <= MaxSearchDepth; ++depth) {
      const SearchOutcome o = SearchOne(c, depth);
      std::printf("   depth %2d nodes %12" PRIu64 " seconds %7.2f\n", depth, o.nodes, o.seconds);
      std::fflush(stdout);
      if (o.seconds > maxSeconds) break;
    }
  }
  return 0;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: quarn_bench perft [runs] | search [depth [fen]] | signature [expected-file] | calibrate [max-seconds]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* mode = argv[1];
  if (std::strcmp(mode, "perft") == 0) {
    const int runs = argc > 2 ? std::atoi(argv[2]) : UntilTimed;
    if (runs < 0 || (argc > 2 && runs == UntilTimed)) return Usage();
    return RunPerftBench(runs);
  }
  if (std::strcmp(mode, "search") == 0 && argc > 2) {
    const int depth = std::atoi(argv[2]);
    if (depth < 1 || depth > MaxSearchDepth) return Usage();
    const SearchOutcome o = SearchOne(SearchCase{argc > 3 ? argv[3] : StartFen, depth, 0, false}, depth);
    std::printf("depth %d nodes %" PRIu64 " seconds %.2f nodes/s %.0f move %s score %d\n", depth, o.nodes, o.seconds,
                o.seconds > 0 ? double(o.nodes) / o.seconds : 0, o.move.c_str(), o.score);
    return 0;
  }
  if (std::strcmp(mode, "search") == 0) {
    RunSearchTable(false, true);
    return 0;
  }
  if (std::strcmp(mode, "signature") == 0) return RunSignature(argc > 2 ? argv[2] : nullptr);
  if (std::strcmp(mode, "calibrate") == 0) return RunCalibrate(argc > 2 ? std::atof(argv[2]) : 1.0);
  return Usage();
}
