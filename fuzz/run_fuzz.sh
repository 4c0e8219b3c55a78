#!/usr/bin/env bash
# Builds the command-loop fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer), replays every saved input in fuzz/regressions/,
# then fuzzes for a bounded time on a copy of the seed corpus.
#
#   fuzz/run_fuzz.sh [SECONDS] [--invariants]
#
# SECONDS (default 60) bounds the fuzzing run. --invariants builds in
# build-fuzz-invariants with the board checked after every make and unmake
# (much slower, so the per-input timeout is raised to 120 s there).
# Exits non-zero on any finding: crash, sanitizer report, leak, timeout or
# out-of-memory, in the regressions or in the fuzzing run. What libFuzzer
# found is left in BUILD/artifacts/; new corpus entries in BUILD/corpus-run/
# (the committed fuzz/corpus/ is never modified).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

seconds=60
build=build-fuzz
timeout=10
extra_cmake=()
for arg in "$@"; do
  case "$arg" in
    --invariants)
      build=build-fuzz-invariants
      timeout=120
      extra_cmake=(-DQUARN_CHECK_INVARIANTS=ON)
      ;;
    ''|*[!0-9]*)
      echo "usage: $0 [SECONDS] [--invariants]" >&2
      exit 2
      ;;
    *) seconds="$arg" ;;
  esac
done

# A build directory configured with another compiler cannot be reused.
if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
CXX=clang++ cmake -S . -B "$build" -DQUARN_FUZZ=ON -DCMAKE_BUILD_TYPE=Release "${extra_cmake[@]}" >/dev/null
cmake --build "$build" --target quarn_fuzz_commands -j2
fuzzer="$build/fuzz/quarn_fuzz_commands"

artifacts="$build/artifacts"
rm -rf "$artifacts"
mkdir -p "$artifacts"
log="$build/fuzz.log"
: >"$log"
status=0
replayed=0

# 1. Saved inputs that once went wrong must run cleanly.
shopt -s nullglob
regressions=(fuzz/regressions/*)
shopt -u nullglob
for input in "${regressions[@]}"; do
  [[ -f "$input" && "$(basename "$input")" != README* ]] || continue
  replayed=$((replayed + 1))
  if "$fuzzer" -timeout="$timeout" -rss_limit_mb=2048 -artifact_prefix="$artifacts/regression-" "$input" \
       >>"$log" 2>&1; then
    echo "regression ok:     $input"
  else
    echo "REGRESSION FAILED: $input (see $log)"
    status=1
  fi
done

# 2. Fuzz for a bounded time on a copy of the committed corpus.
run_corpus="$build/corpus-run"
rm -rf "$run_corpus"
mkdir -p "$run_corpus"
cp fuzz/corpus/* "$run_corpus"/
echo "fuzzing for ${seconds}s (log: $log)"
if ! "$fuzzer" "$run_corpus" -max_len=4096 -timeout="$timeout" -max_total_time="$seconds" \
     -rss_limit_mb=2048 -artifact_prefix="$artifacts/" -print_final_stats=1 >>"$log" 2>&1; then
  echo "FUZZER FOUND SOMETHING: exit status non-zero"
  status=1
fi

# Any sanitizer or libFuzzer report counts, even one that did not stop the run.
if grep -E -q 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|SUMMARY: ' "$log"; then
  echo "REPORTS in $log:"
  grep -E 'runtime error:|ERROR: |SUMMARY: |Test unit written to' "$log" | head -20
  status=1
fi
grep -E '^stat::number_of_executed_units|^Done ' "$log" | tail -2 || true

shopt -s nullglob
found=("$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-* "$artifacts"/slow-unit-*)
shopt -u nullglob
if ((${#found[@]})); then
  echo "artifacts (copy the input into fuzz/regressions/ once understood):"
  printf '  %s\n' "${found[@]}"
fi

if ((status)); then
  echo "fuzz: FAILED"
else
  echo "fuzz: passed ($replayed regressions replayed, ${seconds}s of fuzzing)"
fi
exit "$status"
