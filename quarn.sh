#!/usr/bin/env bash
# Builds quarn (Release) if needed and starts it on this terminal:
#   ./quarn.sh               build, then play by typing commands
#   ./quarn.sh --build-only  build and stop (board.sh uses this)
# At a terminal it installs what the build lacks (g++, cmake, make) when it
# can (as root, or through sudo without a password); otherwise it prints the
# apt-get line to run. Started by a GUI (standard input not a terminal) it
# installs nothing, writes the build log to build/build.log and says on
# standard error only what is missing or where the log is, so that nothing
# but the engine's own lines reaches the GUI.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/tools/packages.sh"

build_only=0
case "${1:-}" in
  --build-only) build_only=1 ;;
  "") ;;
  *)
    echo "usage: $0 [--build-only]" >&2
    exit 2
    ;;
esac

mapfile -t missing < <(missing_packages g++:g++ cmake:cmake make:make)
if [ ${#missing[@]} -gt 0 ]; then
  if [ -t 0 ]; then
    install_packages sudo "${missing[@]}" || exit 1
  else
    echo "quarn: cannot build, missing: ${missing[*]} (sudo apt-get install -y ${missing[*]})" >&2
    exit 1
  fi
fi

build() {
  cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DQUARN_PGO=ON -DQUARN_TESTS=OFF &&
    cmake --build "$here/build" -j"$(nproc)" --target quarn
}
if [ -t 0 ]; then
  build >&2
else
  mkdir -p "$here/build"
  log="$here/build/build.log"
  if ! build >"$log" 2>&1; then
    echo "quarn: the build failed; see $log" >&2
    exit 1
  fi
fi
[ "$build_only" -eq 1 ] && exit 0
exec "$here/build/quarn"
