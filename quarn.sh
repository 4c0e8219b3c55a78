#!/usr/bin/env bash
# Builds quarn (Release) if needed and starts it on this terminal:
#   ./quarn.sh               build, then play by typing commands
#   ./quarn.sh --build-only  build and stop (board.sh uses this)
#   ./quarn.sh --bench       build the engine and build/bench/quarn_bench, and stop
# The output of apt-get and of the build goes to build/build.log. At a
# terminal it says one line a step on standard error and installs what the
# build lacks (g++, cmake, make) when it can (as root, or through sudo
# without a password); otherwise it prints the apt-get line to run. Started
# by a GUI (standard input not a terminal) it installs nothing and says on
# standard error only what is missing or where the log is, so that nothing
# but the engine's own lines reaches the GUI.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/tools/packages.sh"

targets=(quarn)
run=1
case "${1:-}" in
  --build-only) run=0 ;;
  --bench)
    run=0
    targets+=(quarn_bench)
    ;;
  "") ;;
  *)
    echo "usage: $0 [--build-only | --bench]" >&2
    exit 2
    ;;
esac

mkdir -p "$here/build"
log="$here/build/build.log"
: >"$log"
terminal=0
[ -t 0 ] && terminal=1
say() { [ "$terminal" -eq 0 ] || echo "quarn: $*" >&2; }
# Shows the end of the log after a failed step.
failed() {
  echo "quarn: $1; the end of $log:" >&2
  tail -n 20 "$log" | sed 's/^/  /' >&2
  exit 1
}

mapfile -t missing < <(missing_packages g++:g++ cmake:cmake make:make)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$terminal" -eq 1 ]; then
    say "installing ${missing[*]} ..."
    install_packages sudo "${missing[@]}" >>"$log" 2>&1 || failed "cannot install ${missing[*]}"
  else
    echo "quarn: cannot build, missing: ${missing[*]} (sudo apt-get install -y ${missing[*]})" >&2
    exit 1
  fi
fi

say "building ${targets[*]} (Release; a few minutes the first time; log: build/build.log) ..."
if ! { cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DQUARN_PGO=ON -DQUARN_TESTS=OFF &&
  cmake --build "$here/build" -j"$(nproc)" --target "${targets[@]}"; } >>"$log" 2>&1; then
  if [ "$terminal" -eq 1 ]; then failed "the build failed"; fi
  echo "quarn: the build failed; see $log" >&2
  exit 1
fi
[ "$run" -eq 1 ] || exit 0
exec "$here/build/quarn"
