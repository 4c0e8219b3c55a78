#!/usr/bin/env bash
# Plays whole games in both variants under valgrind's memcheck and fails on
# any memory error or leak.
#
#   tools/valgrind_games.sh [PLIES]
#
# Builds a RelWithDebInfo engine in build-valgrind, then feeds it four
# transcripts, each a game that the engine plays against itself (every
# "force" + "go" pair makes it play one move for the side to move), for
# normal chess and Marseillais:
#   - a random-move game of up to PLIES plies (default 200);
#   - a short searched game (level 40 0:01 0, a budget of about 2 cs a move)
#     of 30 plies, with a few typed moves, perft, divide, ping and, in
#     normal chess, setboard around it.
# The game stops early when the side to move has no legal move; "go" is then
# refused and the remaining lines do nothing. Transcripts, engine output and
# valgrind logs are left in build-valgrind/games/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

plies="${1:-200}"
if [[ ! "$plies" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [PLIES]" >&2
  exit 2
fi

build=build-valgrind
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target quarn -j2
engine="$build/quarn"

out="$build/games"
rm -rf "$out"
mkdir -p "$out"

# One engine move for the side to move, N times.
self_play() {
  local n="$1" i
  for ((i = 0; i < n; ++i)); do
    printf 'force\ngo\n'
  done
}

{
  printf 'xboard\nprotover 2\naccepted ping\nvariant normal\nnew\nrand\n'
  self_play "$plies"
  printf 'ping 1\nquit\n'
} >"$out/normal_random.in"

{
  printf 'xboard\nprotover 2\nnew\nlevel 40 0:01 0\n'
  printf 'perft 3\ndivide 2\n'
  printf 'force\ne2e4\ne7e5\ng1f3\nb8c6\n'
  self_play 30
  printf 'ping 2\nnew\nsetboard r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\n'
  printf 'perft 2\nforce\ne1g1\ngo\nresult 1/2-1/2 {stop}\nquit\n'
} >"$out/normal_search.in"

{
  printf 'xboard\nprotover 2\nvariant marseillais\nnew\nrand\n'
  self_play "$plies"
  printf 'ping 3\nquit\n'
} >"$out/marseillais_random.in"

{
  printf 'xboard\nprotover 2\nvariant marseillais\nnew\nlevel 40 0:01 0\n'
  printf 'perft 2\ndivide 1\n'
  printf 'force\ne2e4\ne7e5,d7d5\n'
  self_play 30
  printf 'ping 4\nvariant normal\ne2e4\nvariant multi\nquit\n'
} >"$out/marseillais_search.in"

status=0
for game in normal_random normal_search marseillais_random marseillais_search; do
  log="$out/$game.vg.log"
  if valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,possible \
       --errors-for-leak-kinds=definite,possible --track-origins=yes --num-callers=30 --log-file="$log" \
       "$engine" <"$out/$game.in" >"$out/$game.out"; then
    result=clean
  else
    result="MEMCHECK ERRORS (see $log)"
    status=1
  fi
  moves=$(grep -c '^move ' "$out/$game.out" || true)
  summary=$(grep -E 'ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== //')
  printf '%-20s %3s move lines  %s  [%s]\n' "$game" "$moves" "$result" "$summary"
  # A game in which the engine never moved would prove nothing.
  if ((moves == 0)); then
    echo "  the engine played no move in $game"
    status=1
  fi
done

if ((status)); then
  echo "valgrind games: FAILED"
else
  echo "valgrind games: passed"
fi
exit "$status"
