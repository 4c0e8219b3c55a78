#!/usr/bin/env bash
# Checks that a commit's release files are reproducible: two fresh clones at
# different paths (one nested deeper, under another name), built one after
# the other by tools/release.sh, must give the same SHA256SUMS. Prints both
# and exits 1 when they differ (then diffoscope or cmp on the files in the
# two dist/ folders shows where).
#
#   tools/reproducible.sh [COMMIT] [DIR]   (default: HEAD, a new folder in /tmp)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
commit="$(git -C "$here" rev-parse "${1:-HEAD}")"
top="$(realpath -m "${2:-$(mktemp -d /tmp/quarn-reproducible.XXXXXX)}")"
mkdir -p "$top"
build() { # CLONE: clones the commit there and builds its release files
  rm -rf "$1"
  git clone -q --no-hardlinks "$here" "$1"
  git -C "$1" checkout -q --detach "$commit"
  echo "== $1: tools/release.sh, started $(date -u +%T)"
  local start=$SECONDS
  "$1/tools/release.sh" >"$1.log" 2>&1 || { tail -n 30 "$1.log"; exit 1; }
  echo "   $((SECONDS - start)) s"
}
build "$top/first/quarn"
build "$top/second/elsewhere/quarn-copy"
echo "== SHA256SUMS of $commit"
echo "first:  $top/first/quarn/dist"
sed 's/^/  /' "$top/first/quarn/dist/SHA256SUMS"
echo "second: $top/second/elsewhere/quarn-copy/dist"
sed 's/^/  /' "$top/second/elsewhere/quarn-copy/dist/SHA256SUMS"
if cmp -s "$top/first/quarn/dist/SHA256SUMS" "$top/second/elsewhere/quarn-copy/dist/SHA256SUMS"; then
  echo "reproducible: the two builds are byte for byte the same"
else
  echo "NOT reproducible: the SHA256SUMS differ"
  exit 1
fi
