#!/usr/bin/env bash
# Plays whole games in both variants under valgrind's memcheck and fails on
# any memory error or leak: tools/valgrind_games.sh [PLIES]
# Per variant, a random-move game of up to PLIES plies (default 200) that the
# engine plays against itself ("force" + "go" moves the side to move), and a
# searched game of 30 plies with typed moves, perft, divide, ping and
# setboard around it. Inputs, outputs and logs stay in build-valgrind/games/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
plies="${1:-200}"
[[ "$plies" =~ ^[0-9]+$ ]] || { echo "usage: $0 [PLIES]" >&2; exit 2; }
cmake -S . -B build-valgrind -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_WERROR=ON >/dev/null
cmake --build build-valgrind --target quarn -j2
out=build-valgrind/games
rm -rf "$out" && mkdir -p "$out"
moves() { for ((i = 0; i < $1; ++i)); do printf 'force\ngo\n'; done; }
kiwipete='r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1'
{ printf 'xboard\nprotover 2\naccepted ping\nnew\nrand\n'; moves "$plies"; printf 'ping 1\nquit\n'; } >"$out/normal_random.in"
{ printf 'xboard\nnew\nlevel 40 0:01 0\nperft 3\ndivide 2\nforce\ne2e4\ne7e5\ng1f3\nb8c6\n'; moves 30
  printf 'ping 2\nnew\nsetboard %s\nperft 2\nforce\ne1g1\ngo\nresult 1/2-1/2 {stop}\nquit\n' "$kiwipete"; } >"$out/normal_search.in"
{ printf 'xboard\nvariant marseillais\nnew\nrand\n'; moves "$plies"; printf 'ping 3\nquit\n'; } >"$out/marseillais_random.in"
{ printf 'xboard\nvariant marseillais\nnew\nlevel 40 0:01 0\nperft 2\ndivide 1\nforce\ne2e4\ne7e5,d7d5\n'; moves 30
  printf 'ping 4\nvariant normal\ne2e4\nvariant multi\nquit\n'; } >"$out/marseillais_search.in"
status=0
for game in normal_random normal_search marseillais_random marseillais_search; do
  if ! valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,possible \
      --errors-for-leak-kinds=definite,possible --track-origins=yes --log-file="$out/$game.log" \
      build-valgrind/quarn <"$out/$game.in" >"$out/$game.out"; then
    echo "$game: MEMCHECK ERRORS (see $out/$game.log)"; status=1
  fi
  moved=$(grep -c '^move ' "$out/$game.out" || true)  # a game without moves would prove nothing
  ((moved > 0)) || { echo "$game: the engine played no move"; status=1; }
  echo "$game: $moved move lines, $(grep -o 'ERROR SUMMARY: [0-9]* errors' "$out/$game.log")"
done
((status == 0)) && echo "valgrind games: passed" || echo "valgrind games: FAILED"
exit "$status"
