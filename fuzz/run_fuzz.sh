#!/usr/bin/env bash
# Builds the command-loop fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer), replays every saved input in fuzz/regressions/,
# then fuzzes a copy of fuzz/corpus/ for SECONDS (default 60):
#   fuzz/run_fuzz.sh [SECONDS] [--invariants]
# --invariants checks the board after every make and unmake (in
# build-fuzz-invariants, with a 120 s timeout per input). Any crash,
# sanitizer report, leak, timeout or out-of-memory fails the run; findings
# are left in BUILD/artifacts/ (copy them to fuzz/regressions/ once fixed).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=60 build=build-fuzz timeout=10 extra=()
for arg in "$@"; do
  case "$arg" in
    --invariants) build=build-fuzz-invariants timeout=120 extra=(-DQUARN_CHECK_INVARIANTS=ON) ;;
    '' | *[!0-9]*) echo "usage: $0 [SECONDS] [--invariants]" >&2; exit 2 ;;
    *) seconds="$arg" ;;
  esac
done
# A build directory configured with another compiler cannot be reused.
if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
CXX=clang++ cmake -S . -B "$build" -DQUARN_FUZZ=ON -DCMAKE_BUILD_TYPE=Release "${extra[@]}" >/dev/null
cmake --build "$build" --target quarn_fuzz_commands -j2
fuzzer="$build/fuzz/quarn_fuzz_commands" artifacts="$build/artifacts" log="$build/fuzz.log"
rm -rf "$artifacts" "$build/corpus-run" && mkdir -p "$artifacts" "$build/corpus-run" && : >"$log"
cp fuzz/corpus/* "$build/corpus-run/"
flags=(-timeout="$timeout" -rss_limit_mb=2048 -artifact_prefix="$artifacts/")
status=0
for input in fuzz/regressions/*; do
  [[ "$(basename "$input")" == README* ]] && continue
  "$fuzzer" "${flags[@]}" "$input" >>"$log" 2>&1 || { echo "REGRESSION FAILED: $input (see $log)"; status=1; }
done
echo "fuzzing for ${seconds}s (log: $log)"
"$fuzzer" "$build/corpus-run" -max_len=4096 -max_total_time="$seconds" -print_final_stats=1 "${flags[@]}" >>"$log" 2>&1 ||
  { echo "FUZZER FOUND SOMETHING"; status=1; }
# Any sanitizer or libFuzzer report counts, even one that did not stop the run.
if grep -E -q 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|SUMMARY: ' "$log"; then
  grep -E 'runtime error:|ERROR: |SUMMARY: |Test unit written to' "$log" | head -20
  status=1
fi
grep -E '^stat::number_of_executed_units' "$log" || true
ls "$artifacts"
((status == 0)) && echo "fuzz: passed" || echo "fuzz: FAILED"
exit "$status"
