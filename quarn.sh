#!/usr/bin/env bash
# Builds quarn (Release) if needed and starts it on this terminal or for a GUI:
#   ./quarn.sh                 play by typing commands
#   xboard -fcp "$PWD/quarn.sh"  play in xboard
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
{
  cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DQUARN_PGO=ON
  cmake --build "$here/build" -j"$(nproc)" --target quarn
} >&2
exec "$here/build/quarn"
