#!/usr/bin/env bash
# Search speed of quarn against Debian's hoichess: each engine thinks about
# the same position for about the same time (xboard protocol, one thread,
# hoichess without its opening book), and the nodes per second each reports
# are compared.
#
#   bench/compare_search.sh [path/to/quarn] [seconds-per-move]
#   FEN="<fen>" bench/compare_search.sh          (default: the initial position)
#   HOICHESS=/path/to/hoichess bench/compare_search.sh
#   ROUNDS=1 bench/compare_search.sh             (default: 5 turns each)
#
# Node counts are not alike across engines (hoichess counts its quiescence
# nodes and probes a hash table; quarn counts every node entered), so the
# ratio says how fast each walks its own tree, not which plays better.
set -euo pipefail

# shellcheck source=bench/compare_common.sh
source "$(dirname "$0")/compare_common.sh"
# shellcheck source=bench/calc.sh
source "$(dirname "$0")/calc.sh"
seconds="${2:-5}"
hoichess="${HOICHESS:-$(command -v hoichess || echo /usr/games/hoichess)}"
fen="${FEN:-}"
[[ -x "$hoichess" ]] || { echo "hoichess not found (apt-get install hoichess, or set HOICHESS)" >&2; exit 2; }
[[ "$seconds" =~ ^[0-9]+$ && "$seconds" -ge 1 && "$seconds" -le 59 ]] ||
  { echo "seconds per move: a whole number from 1 to 59" >&2; exit 2; }

# quarn gives a move (base - 0.1 s) * 0.9 of a one-move control: choose the
# base so that the move gets the seconds asked for.
base_cs=$(((seconds * 1000 + 8) / 9 + 10))
base_text="$((base_cs / 6000)):$(printf '%02d' $(((base_cs / 100) % 60)))"

setboard=""
[[ -n "$fen" ]] && setboard="setboard $fen"


# One search by each engine; the engines take turns ROUNDS times and each
# keeps the round with its highest rate, so that a moment of load on a
# shared machine does not decide the ratio.
for ((round = 0; round < rounds; ++round)); do
  # quarn reads no input while it thinks, so the whole script can be sent at once.
  out="$(printf 'xboard\nprotover 2\nnew\nforce\nlevel 1 %s 0\n%s\ngo\nquit\n' "$base_text" "$setboard" |
    "$quarn")"
  line="$(grep -m1 '^# nodes=' <<<"$out")" || { echo "quarn printed no nodes line" >&2; exit 1; }
  nps="$(sed -E 's/.*nps=([0-9]+).*/\1/' <<<"$line")"
  if ((round == 0 || nps > quarn_nps)); then
    quarn_nps="$nps"
    quarn_nodes="$(sed -E 's/^# nodes=([0-9]+),.*/\1/' <<<"$line")"
    quarn_cs="$(sed -E 's/.*time=([0-9]+),.*/\1/' <<<"$line")"
    quarn_depth="$(grep -E '^[0-9]+ -?[0-9]+ [0-9]+ [0-9]+' <<<"$out" | tail -n 1 | awk '{print $1}')"
    quarn_move="$(grep -m1 '^move ' <<<"$out" | awk '{print $2}')"
  fi

  # hoichess reads input while it thinks: hold "quit" back until it has moved.
  out="$({
    printf 'xboard\nprotover 2\nnew\nforce\nbook off\ncores 1\npost\nverbose 1\nst %s\n%s\ngo\n' "$seconds" "$setboard"
    sleep $((seconds + 3))
    printf 'quit\n'
  } | "$hoichess" 2>&1)"
  nps="$(grep -m1 -o ' nps=[0-9]*' <<<"$out" | cut -d= -f2)"
  [[ -n "$nps" ]] || { echo "hoichess printed no statistics" >&2; exit 1; }
  if ((round == 0 || nps > hoi_nps)); then
    hoi_nps="$nps"
    hoi_nodes="$(grep -m1 -o 'nodes_total=[0-9]*' <<<"$out" | cut -d= -f2)"
    hoi_time="$(grep -m1 -o 'searchtime=[0-9.]*' <<<"$out" | cut -d= -f2)"
    hoi_depth="$(grep -E '^ *[0-9]+ +-?[0-9]+ +[0-9]+ +[0-9]+ ' <<<"$out" | tail -n 1 | awk '{print $1}')"
    hoi_move="$(grep -m1 '^move ' <<<"$out" | awk '{print $2}')"
  fi
done

quarn_seconds="$(calc "$quarn_cs" / 100)"
ratio="$(calc "$quarn_nps" / "$hoi_nps")"
echo "position: ${fen:-initial position}, about $seconds s per move, one thread each, best of $rounds"
printf '%-9s %12s %9s %12s %6s  %s\n' engine nodes seconds nodes/s depth move
printf '%-9s %12s %9.2f %12s %6s  %s\n' quarn "$quarn_nodes" "$quarn_seconds" "$quarn_nps" \
  "$quarn_depth" "$quarn_move"
printf '%-9s %12s %9.2f %12s %6s  %s\n' hoichess "$hoi_nodes" "$hoi_time" "$hoi_nps" "$hoi_depth" "$hoi_move"
printf 'nps ratio quarn/hoichess: %.2f\n' "$ratio"
