#!/usr/bin/env bash
# Move-generator speed of quarn against Debian's stockfish, side by side:
# perft 6 from the initial position and perft 5 from "kiwipete", both engines
# driven through their own protocols (xboard "perft N" for quarn, UCI
# "go perft N" for stockfish). Prints leaves per second and the ratio.
#
#   bench/compare_perft.sh [path/to/quarn]      (default: the newest build*/quarn)
#   STOCKFISH=/path/to/stockfish bench/compare_perft.sh
#   ROUNDS=5 bench/compare_perft.sh
#
# Both rates come from the wall-clock time of one process per count, start-up
# included (a few milliseconds against seconds of counting); quarn's own
# "lps=" figure, timed inside the engine, is shown beside it. The two engines
# take turns ROUNDS times (default 3) and each keeps its fastest count, so
# that a moment of load on a shared machine does not decide the ratio.
set -euo pipefail

# shellcheck source=bench/compare_common.sh
source "$(dirname "$0")/compare_common.sh"
stockfish="${STOCKFISH:-$(command -v stockfish || echo /usr/games/stockfish)}"
[[ -x "$stockfish" ]] || { echo "stockfish not found (apt-get install stockfish, or set STOCKFISH)" >&2; exit 2; }

kiwipete="r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"

now() { date +%s.%N; }

# quarn_perft DEPTH [FEN]: prints "leaves seconds self-reported-lps"
quarn_perft() {
  local depth="$1" fen="${2:-}" input out start end
  input="xboard"$'\n'"protover 2"$'\n'"new"$'\n'"force"$'\n'
  [[ -n "$fen" ]] && input+="setboard $fen"$'\n'
  input+="perft $depth"$'\n'"quit"$'\n'
  start="$(now)"
  out="$(printf '%s' "$input" | "$quarn")"
  end="$(now)"
  local line
  line="$(grep -m1 "^# perft($depth) = " <<<"$out")" || { echo "quarn printed no perft line" >&2; exit 1; }
  local leaves lps
  leaves="$(sed -E 's/^# perft\([0-9]+\) = ([0-9]+),.*/\1/' <<<"$line")"
  lps="$(sed -E 's/.*lps=([0-9]+).*/\1/' <<<"$line")"
  echo "$leaves $(echo "$end - $start" | bc -l) $lps"
}

# stockfish_perft DEPTH [FEN]: prints "leaves seconds"
stockfish_perft() {
  local depth="$1" fen="${2:-}" position out start end
  if [[ -n "$fen" ]]; then position="position fen $fen"; else position="position startpos"; fi
  start="$(now)"
  out="$(printf 'uci\nsetoption name Threads value 1\nisready\n%s\ngo perft %s\nquit\n' "$position" "$depth" |
    "$stockfish")"
  end="$(now)"
  local leaves
  leaves="$(grep -m1 '^Nodes searched:' <<<"$out" | awk '{print $3}')"
  [[ -n "$leaves" ]] || { echo "stockfish printed no node count" >&2; exit 1; }
  echo "$leaves $(echo "$end - $start" | bc -l)"
}

printf '%-10s %5s  %-28s  %-28s  %s\n' "position" "depth" "quarn leaves/s (own lps)" "stockfish leaves/s" "quarn/stockfish"
compare() {
  local name="$1" depth="$2" fen="${3:-}"
  local ql qs qlps sl ss round q1 q2 q3 s1 s2
  for ((round = 0; round < rounds; ++round)); do
    read -r q1 q2 q3 < <(quarn_perft "$depth" "$fen")
    read -r s1 s2 < <(stockfish_perft "$depth" "$fen")
    if ((round == 0)) || (($(echo "$q2 < $qs" | bc -l))); then ql="$q1" qs="$q2" qlps="$q3"; fi
    if ((round == 0)) || (($(echo "$s2 < $ss" | bc -l))); then sl="$s1" ss="$s2"; fi
  done
  if [[ "$ql" != "$sl" ]]; then
    echo "COUNTS DIFFER for $name depth $depth: quarn $ql, stockfish $sl" >&2
    exit 1
  fi
  local qrate srate ratio
  qrate="$(echo "$ql / $qs" | bc -l)"
  srate="$(echo "$sl / $ss" | bc -l)"
  ratio="$(echo "$qrate / $srate" | bc -l)"
  printf '%-10s %5d  %12.0f (%12d)  %18.0f  %10.2f   (%s leaves; %.2f s vs %.2f s)\n' \
    "$name" "$depth" "$qrate" "$qlps" "$srate" "$ratio" "$ql" "$qs" "$ss"
}

compare start 6
compare kiwipete 5 "$kiwipete"
