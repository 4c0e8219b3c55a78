#!/usr/bin/env bash
# Move-generator speed of quarn against Debian's stockfish, side by side:
# perft 6 from the initial position and perft 5 from "kiwipete", both engines
# driven through their own protocols (xboard "perft N" for quarn, UCI
# "go perft N" for stockfish). Prints leaves per second and the ratio; then
# quarn's Marseillais turns per second (perft 3 from the initial position with
# Black to move) against its own normal leaves per second at start depth 6.
#
#   bench/compare_perft.sh [path/to/quarn]      (default: the newest build*/quarn)
#   STOCKFISH=/path/to/stockfish bench/compare_perft.sh
#   ROUNDS=3 bench/compare_perft.sh             (default: 5 rounds)
#
# Every rate comes from the wall-clock time of one process per count, start-up
# included (a few milliseconds against seconds of counting); quarn's own
# "lps=" figure, timed inside the engine, is shown beside it. Each round runs
# every count once, the engines alternating, and each count keeps its fastest
# round, so that a moment of load on a shared machine does not decide a ratio.
set -euo pipefail

# shellcheck source=bench/compare_common.sh
source "$(dirname "$0")/compare_common.sh"
# shellcheck source=bench/calc.sh
source "$(dirname "$0")/calc.sh"
stockfish="${STOCKFISH:-$(command -v stockfish || echo /usr/games/stockfish)}"
[[ -x "$stockfish" ]] || { echo "stockfish not found (apt-get install stockfish, or set STOCKFISH)" >&2; exit 2; }

kiwipete="r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
black_start="rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"

now() { date +%s.%N; }

# quarn_perft VARIANT DEPTH [FEN]: prints "leaves seconds self-reported-lps"
quarn_perft() {
  local variant="$1" depth="$2" fen="${3:-}" input out start end
  input="xboard"$'\n'"protover 2"$'\n'"new"$'\n'"force"$'\n'"variant $variant"$'\n'
  [[ -n "$fen" ]] && input+="setboard $fen"$'\n'
  input+="perft $depth"$'\n'"quit"$'\n'
  start="$(now)"
  out="$(printf '%s' "$input" | "$quarn")"
  end="$(now)"
  local line
  line="$(grep -m1 "^# perft($depth) = " <<<"$out")" || { echo "quarn printed no perft line" >&2; exit 1; }
  local leaves lps seconds
  leaves="$(sed -E 's/^# perft\([0-9]+\) = ([0-9]+),.*/\1/' <<<"$line")"
  lps="$(sed -E 's/.*lps=([0-9]+).*/\1/' <<<"$line")"
  seconds="$(calc "$end" - "$start")"
  echo "$leaves $seconds $lps"
}

# stockfish_perft DEPTH [FEN]: prints "leaves seconds"
stockfish_perft() {
  local depth="$1" fen="${2:-}" position out start end
  if [[ -n "$fen" ]]; then position="position fen $fen"; else position="position startpos"; fi
  start="$(now)"
  out="$(printf 'uci\nsetoption name Threads value 1\nisready\n%s\ngo perft %s\nquit\n' "$position" "$depth" |
    "$stockfish")"
  end="$(now)"
  local leaves seconds
  leaves="$(grep -m1 '^Nodes searched:' <<<"$out" | awk '{print $3}')"
  [[ -n "$leaves" ]] || { echo "stockfish printed no node count" >&2; exit 1; }
  seconds="$(calc "$end" - "$start")"
  echo "$leaves $seconds 0"
}

# The counts of a round, in the order they run: name, engine, variant, depth, FEN.
jobs=(
  "start|quarn|normal|6|"
  "start|stockfish|normal|6|"
  "kiwipete|quarn|normal|5|$kiwipete"
  "kiwipete|stockfish|normal|5|$kiwipete"
  "marseillais|quarn|marseillais|3|$black_start"
)
declare -A leaves seconds lps
for ((round = 0; round < rounds; ++round)); do
  for job in "${jobs[@]}"; do
    IFS='|' read -r name engine variant depth fen <<<"$job"
    if [[ "$engine" == quarn ]]; then
      read -r l s r < <(quarn_perft "$variant" "$depth" "$fen")
    else
      read -r l s r < <(stockfish_perft "$depth" "$fen")
    fi
    key="$name/$engine"
    [[ -n "$l" && -n "$s" ]] || { echo "no figures from $engine for $name" >&2; exit 1; }
    if ((round == 0)) || [[ "$(calc "$s" "<" "${seconds[$key]}")" == 1 ]]; then
      leaves[$key]="$l" seconds[$key]="$s" lps[$key]="$r"
    fi
  done
done

declare -A rate
for key in "${!leaves[@]}"; do rate[$key]="$(calc "${leaves[$key]}" / "${seconds[$key]}")"; done

echo "best of $rounds rounds, the engines alternating"
printf '%-10s %5s  %-28s  %-18s  %s\n' "position" "depth" "quarn leaves/s (own lps)" "stockfish leaves/s" "quarn/stockfish"
for pair in "start 6" "kiwipete 5"; do
  read -r name depth <<<"$pair"
  q="$name/quarn" s="$name/stockfish"
  if [[ "${leaves[$q]}" != "${leaves[$s]}" ]]; then
    echo "COUNTS DIFFER for $name depth $depth: quarn ${leaves[$q]}, stockfish ${leaves[$s]}" >&2
    exit 1
  fi
  ratio="$(calc "${rate[$q]}" / "${rate[$s]}")"
  printf '%-10s %5d  %12.0f (%12d)  %18.0f  %10.2f   (%s leaves; %.2f s vs %.2f s)\n' "$name" "$depth" \
    "${rate[$q]}" "${lps[$q]}" "${rate[$s]}" "$ratio" "${leaves[$q]}" \
    "${seconds[$q]}" "${seconds[$s]}"
done
m="marseillais/quarn"
printf 'Marseillais, Black to move, depth 3: %.0f turns/s (own %d; %s turns in %.2f s)\n' "${rate[$m]}" \
  "${lps[$m]}" "${leaves[$m]}" "${seconds[$m]}"
ratio="$(calc "${rate[$m]}" / "${rate[start/quarn]}")"
printf 'Marseillais turns/s against normal leaves/s (start depth 6): %.2f\n' "$ratio"
