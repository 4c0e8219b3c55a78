#!/usr/bin/env bash
# The release files (tools/release.sh) used as their users use them: the
# checksums; lintian on the Debian package (no error or warning); the package
# installed (CI=true as root: on this machine with apt-get, so that an ordinary
# user's login shell finds it and a fresh home's xboard lists it from its
# plugin folder; else as root in a throw-away root with dpkg --root), its
# engine running the transcripts as an ordinary user and a game in xboard, then
# removed without a file left; quarn.exe under wine: only Windows' own DLLs,
# the transcripts, deep perft counts equal to the Linux engine's and the
# published ones, a timed game in xboard; the static Linux engine: statically
# linked, the transcripts; the board's zip: the version in the footer,
# THIRD-PARTY, no unused piece set; the workflow files against their schema.
#   tests/release_test.sh [DIST] [BUILD]   (defaults: dist, build-release)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dist="$(realpath "${1:-$here/dist}")"
build="$(realpath "${2:-$here/build-release}")"
version="$(tr -d '\n' <"$here/VERSION")"
deb="$dist/quarn_${version}_amd64.deb"
tmp="$(mktemp -d /tmp/quarn-release-test.XXXXXX)"
chmod 755 "$tmp"
trap 'rm -rf "$tmp"' EXIT
say() { printf -- '-- %s\n' "$*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# The transcripts, where an ordinary user can read them.
cp -r "$here/tests/transcripts" "$here/tests/run_transcripts.py" "$tmp/"
chmod -R a+rX "$tmp/transcripts" "$tmp/run_transcripts.py"
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(runuser -u nobody --)
transcripts() { # ENGINE [RUNNER...]: the protocol transcripts, one line unless one fails
  local out
  out="$("${as_user[@]}" python3 "$tmp/run_transcripts.py" "$1" "$tmp/transcripts" 2>&1)" || { echo "$out"; fail "transcripts of $1"; }
  echo "   $(tail -n 1 <<<"$out")"
}
# The static Linux engine: tested below, and the opponent in xboard (fairymax, the GUI
# trial's default, ended its game after one move in three of ten trials here).
tar -xzf "$dist/quarn-$version-linux-x86_64.tar.gz" -C "$tmp"
static="$tmp/quarn-$version-linux-x86_64/quarn"
# A game in xboard against it: a minute and a second a move ("level 0 1 1"). In periods of 40 moves
# quarn.exe, and the Debian package's engine on a machine loaded 14-fold, lost on time at the 40th
# move (time passes outside the engine's own timing: wine's, the load's); an increment leaves a margin.
gui_game() { # ENGINE OUT
  "$here/tools/gui_trial.sh" -e "$1" -O "$static" -v normal -g 1 -t 1 -m inc -I 1 -o "$2" >"$2.log" 2>&1 ||
    { cat "$2.log"; fail "xboard's game with $1"; }
  grep -E '^  game 1:' "$2/summary.txt" | sed 's/^ */   /'
}

say "SHA256SUMS"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS)
diff <(cd "$dist" && ls -I SHA256SUMS) <(awk '{print $2}' "$dist/SHA256SUMS" | sort) || fail "SHA256SUMS is not dist's"

say "lintian --fail-on error,warning"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian"

say "Debian package: installed, used, removed"
listed=("/usr/games/quarn" "/usr/share/man/man6/quarn.6.gz" "/usr/share/games/plugins/xboard/quarn.eng"
  "/usr/share/doc/quarn/copyright" "/usr/share/doc/quarn/changelog.gz")
contents="$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\.||')"
for f in "${listed[@]}"; do grep -qx "$f" <<<"$contents" || fail "the package lacks $f"; done
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  root=""
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "apt-get install"; }
  found="$(runuser -l nobody -s /bin/bash -c 'command -v quarn' 2>/dev/null)"
  [ "$found" = /usr/games/quarn ] || fail "an ordinary user's login shell finds '$found', not /usr/games/quarn"
  say "  an ordinary user's login shell finds $found"
  ! command -v man >/dev/null || man -w quarn >/dev/null || fail "man quarn finds no page"
elif [ "$(id -u)" -eq 0 ]; then
  root="$tmp/root"
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  : >"$root/var/lib/dpkg/status"
  dpkg --root="$root" --force-depends -i "$deb" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "dpkg -i"; }
  say "  (throw-away root $root; CI=true installs it on the machine)"
else
  root=""
  say "  skipped: installing needs root"
fi
if [ "${CI:-}" = true ] || [ -n "$root" ]; then
  engine="$root/usr/games/quarn"
  transcripts "$engine"
  gui_game "$engine" "$tmp/gui-deb"
  if [ -z "$root" ]; then
    # With a fresh home xboard lists the plugin folder's engines; -fe starts the one of
    # that name (an unknown name would start xboard's default engine, fairymax).
    mkdir -p "$tmp/xboard-home"
    (cd "$tmp/xboard-home" && HOME="$tmp/xboard-home" PATH="/usr/games:$PATH" timeout 60 \
      xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'xboard -fe quarn -debug -nameOfDebugFile debug.txt &
        sleep 8; kill -TERM $!; wait' >/dev/null 2>&1 || true)
    grep -q '^[0-9]* <first : feature myname="quarn-' "$tmp/xboard-home/debug.txt" ||
      fail "xboard -fe quarn (fresh home) did not start quarn from its engine list"
    say "  xboard's engine list (fresh home) offers quarn: xboard -fe quarn started it"
  fi
  DEBIAN_FRONTEND=noninteractive dpkg ${root:+--root="$root"} -r quarn >"$tmp/remove.log" 2>&1 ||
    { cat "$tmp/remove.log"; fail "dpkg -r"; }
  for f in "${listed[@]}" /usr/share/doc/quarn; do [ ! -e "$root$f" ] || fail "dpkg -r left $f"; done
  say "  dpkg -r quarn left none of its files"
fi

say "static Linux engine"
file -b "$static" | grep -q 'statically linked' || fail "file: $(file -b "$static")"
say "  file: $(file -b "$static" | cut -d, -f1-5)"
ls "$tmp/quarn-$version-linux-x86_64/LICENSE" "$tmp/quarn-$version-linux-x86_64/README.md" >/dev/null
transcripts "$static"

say "quarn.exe under $(wine --version 2>/dev/null)"
unzip -q "$dist/quarn-$version-windows-x86_64.zip" -d "$tmp"
exe_dir="$tmp/quarn-$version-windows-x86_64"
[ "$(cd "$exe_dir" && ls | paste -sd' ')" = "LICENSE.txt README.txt quarn.exe" ] || fail "zip holds $(ls "$exe_dir")"
dlls="$(x86_64-w64-mingw32-objdump -p "$exe_dir/quarn.exe" | sed -n 's/^\tDLL Name: //p' | sort | paste -sd' ')"
say "  imports: $dlls"
grep -qiE 'libstdc|libgcc|winpthread' <<<"$dlls" && fail "quarn.exe needs a DLL of the compiler's"
export WINEPREFIX="$tmp/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || true
printf '#!/bin/sh\nWINEPREFIX=%s WINEDEBUG=-all exec wine %s "$@"\n' "$WINEPREFIX" "$exe_dir/quarn.exe" >"$tmp/quarn-wine"
chmod 755 "$tmp/quarn-wine"
as_user=() # wine keeps its prefix for the user who made it
transcripts "$tmp/quarn-wine"
# Deep counts: the statistics lines (time and rates removed) of the Linux
# engine and of quarn.exe, equal, and the published leaf counts.
positions='normal 6 119060324 rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1
normal 5 193690690 r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1
normal 6 11030083 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1
normal 5 15833292 r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1
normal 5 89941194 rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8
marseillais 3 4866854 rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1
marseillais 2 168214 R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1'
counts() {
  awk 'BEGIN { print "xboard\nprotover 2" } { printf "new\nforce\nvariant %s\nsetboard %s %s %s %s %s %s\nperft %s\n",
    $1, $4, $5, $6, $7, $8, $9, $2 } END { print "quit" }' <<<"$positions" | "$1" | grep '^# perft(' |
    sed 's/, time=.*//'
}
counts "$build/linux/quarn" >"$tmp/counts-linux"
counts "$tmp/quarn-wine" >"$tmp/counts-wine"
diff "$tmp/counts-linux" "$tmp/counts-wine" || fail "quarn.exe counts differently"
diff <(awk '{print "= " $3 ","}' <<<"$positions") <(grep -o '= [0-9]*,' "$tmp/counts-wine") ||
  fail "not the published counts"
say "  7 deep perft counts as the Linux engine's and the published ones"
gui_game "$tmp/quarn-wine" "$tmp/gui-wine"

say "board zip"
unzip -q "$dist/quarn-board-$version.zip" -d "$tmp"
site="$tmp/quarn-board-$version"
grep -q "<footer id=\"footer\">quarn $version · " "$site/index.html" || fail "no version in the page's footer"
grep -q 'CC BY-SA 3.0' "$site/THIRD-PARTY" || fail "THIRD-PARTY"
[ -f "$site/LICENSE" ] && [ -f "$site/vendor/cm-chessboard/assets/pieces/standard.svg" ] || fail "site files"
[ ! -e "$site/vendor/cm-chessboard/assets/pieces/staunty.svg" ] || fail "the site ships the unused staunty.svg"
say "  $(find "$site" -type f | wc -l) files, $(find "$site" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s / 1024 }') KiB"

say "workflow files against the schema"
(cd "$here/tools/workflow_check" && { [ -d node_modules ] || npm ci --no-audit --no-fund >/dev/null; } &&
  for f in "$here"/.github/workflows/*.yml; do
    node_modules/.bin/action-validator "$f" || fail "$f"
    echo "   $(basename "$f"): valid"
  done)
say "release files: all checks passed"
