#!/usr/bin/env bash
# quarn's WebAssembly build against its native build on this machine, side by
# side: perft leaves per second (quarn_bench perft: start position depth 6,
# "kiwipete" depth 5, Marseillais turns from the start position depth 3) and
# the search's nodes per second over the benchmark's positions (quarn_bench
# search), the WebAssembly one run by Node. Then the most memory the browser's
# engine (the worker's module) takes in a game of each variant.
#
#   bench/compare_wasm.sh [NATIVE_BUILD_DIR [WASM_BUILD_DIR]]   (default: build, build-wasm)
#   ROUNDS=1 bench/compare_wasm.sh                             (default: 3 turns each)
#
# The two builds take turns ROUNDS times and each keeps its best figure, so
# that a moment of load on a shared machine does not decide the ratio.
set -euo pipefail
root="$(dirname "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)")"
# shellcheck source=bench/calc.sh
source "$root/bench/calc.sh"
native="${1:-$root/build}/bench/quarn_bench"
wasm_dir="$(realpath -m "${2:-$root/build-wasm}")"
wasm="$wasm_dir/bench/quarn_bench.js"
rounds="${ROUNDS:-3}"
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS: a whole number from 1" >&2; exit 2; }
[[ -x "$native" ]] || { echo "no native benchmark at $native (cmake --build build --target quarn_bench)" >&2; exit 2; }
[[ -f "$wasm" && -f "$wasm_dir/web/quarn.wasm" ]] ||
  { echo "no WebAssembly build in $wasm_dir (see README: the WebAssembly build)" >&2; exit 2; }

# figures KIND: one line per figure, "name value", from one run of each build.
figures() {
  local out
  out="$("$@" perft)"
  awk '$2 ~ /^[0-9]+$/ && NF == 7 { printf "perft %s d%s leaves/s %s\n", ($1 == "marseillais" ? "marseillais" : $1), $2, $6 }
       $1 == "marseillais" && $2 == "start" { printf "perft marseillais d%s turns/s %s\n", $3, $7 }' <<<"$out"
  out="$("$@" search)"
  sed -n 's/^nodes per second \([0-9]*\)$/search nodes\/s \1/p' <<<"$out"
}

declare -A best_native best_wasm
order=()
keep_best() { # ARRAY < figures
  local -n into="$1"
  local line name value
  while read -r line; do
    name="${line% *}" value="${line##* }"
    [[ -v "into[$name]" ]] || { [[ "$1" == best_native ]] && order+=("$name"); }
    if [[ ! -v "into[$name]" ]] || ((value > into[$name])); then into[$name]="$value"; fi
  done
}
for ((round = 0; round < rounds; ++round)); do
  keep_best best_native < <(figures "$native")
  keep_best best_wasm < <(figures node "$wasm")
done

((${#order[@]} > 0)) || { echo "the native benchmark printed no figures" >&2; exit 1; }
echo "best of $rounds, one thread each ($(node --version) for WebAssembly)"
printf '%-36s %14s %14s %8s\n' figure native WebAssembly ratio
for name in "${order[@]}"; do
  [[ -v "best_wasm[$name]" ]] || { echo "the WebAssembly build printed no figure for $name" >&2; exit 1; }
  ratio="$(calc "${best_wasm[$name]}" / "${best_native[$name]}")"
  printf '%-36s %14s %14s %8.2f\n' "$name" "${best_native[$name]}" "${best_wasm[$name]}" "$ratio"
done

# The worker's module in Node: its memory after a search and a perft in each
# variant (WebAssembly memory grows but never shrinks: the peak).
node --input-type=module - "$wasm_dir/web" <<'JS'
import fs from "node:fs"
import {createRequire} from "node:module"
const createQuarn = createRequire(import.meta.url)(`${process.argv[2]}/quarn.js`)
const wasmBinary = fs.readFileSync(`${process.argv[2]}/quarn.wasm`)
for (const variant of ["normal", "marseillais"]) {
    const engine = await createQuarn({print: () => {}, wasmBinary})
    engine._quarn_init()
    for (const line of ["xboard", "protover 2", `variant ${variant}`, "new", "force", "level 1 0:03 0", "go",
                        `perft ${variant === "normal" ? 5 : 3}`]) {
        const bytes = engine._malloc(line.length + 1)
        engine.stringToUTF8(line, bytes, line.length + 1)
        engine._quarn_handle_line(bytes)
        engine._free(bytes)
    }
    console.log(`WebAssembly memory at its peak, ${variant}: ${(engine.HEAP8.length / 2 ** 20).toFixed(1)} MiB`)
}
JS
