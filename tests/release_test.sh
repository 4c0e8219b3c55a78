#!/usr/bin/env bash
# The release files (tools/release.sh) used as their users use them:
#   the checksums; lintian on the Debian package (no error or warning);
#   the package installed, used and removed: on CI (CI=true, as root) on the
#     machine itself with apt-get, elsewhere in a throw-away root with dpkg
#     --root; the installed engine answers the transcripts run as an ordinary
#     user, whose login shell finds it; xboard plays a game with it; with a
#     fresh home xboard's engine list offers it (installed on the machine
#     only: xboard reads its plugin folder from the system); removal leaves
#     none of its files;
#   quarn.exe under wine: no DLL beside it but Windows' own, the transcripts,
#     deep perft counts equal to the Linux engine's, a timed game in xboard
#     without a loss on time;
#   the static Linux engine: `file` says statically linked, the transcripts;
#   the board's zip: the release version in the page's footer, THIRD-PARTY,
#     no unused piece set;
#   the workflow files against the workflow schema (a locked npm validator).
#
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
# The static Linux engine from its tarball: tested below, and the opponent in
# xboard (fairymax, the GUI trial's default, ended its game after one move
# in three of about ten trials here, "Error writing to second chess program").
tar -xzf "$dist/quarn-$version-linux-x86_64.tar.gz" -C "$tmp"
static="$tmp/quarn-$version-linux-x86_64/quarn"
gui_game() { # ENGINE OUT [GUI_TRIAL OPTIONS]: one game in xboard against the static engine, 40 moves a minute
  "$here/tools/gui_trial.sh" -e "$1" -O "$static" -v normal -g 1 -t 1 -o "$2" "${@:3}" >"$2.log" 2>&1 ||
    { cat "$2.log"; fail "xboard's game with $1"; }
  grep -E '^  game 1:' "$2/summary.txt" | sed 's/^ */   /'
}

say "SHA256SUMS"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS)
for f in "quarn_${version}_amd64.deb" "quarn-$version-linux-x86_64.tar.gz" "quarn-$version-windows-x86_64.zip" \
  "quarn-board-$version.zip"; do
  grep -q "  $f\$" "$dist/SHA256SUMS" || fail "$f missing from SHA256SUMS"
done

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
    # With a fresh home xboard adds the engines of the plugin folder to its
    # list; -fe starts the list's engine of that name (an unknown name would
    # start xboard's default engine, fairymax).
    mkdir -p "$tmp/xboard-home"
    (cd "$tmp/xboard-home" && HOME="$tmp/xboard-home" PATH="/usr/games:$PATH" timeout 60 \
      xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'xboard -fe quarn -debug -nameOfDebugFile debug.txt &
        sleep 8; kill -TERM $!; wait' >/dev/null 2>&1 || true)
    grep -q '^[0-9]* <first : feature myname="quarn-' "$tmp/xboard-home/debug.txt" ||
      fail "xboard -fe quarn (fresh home) did not start quarn from its engine list"
    say "  xboard's engine list (fresh home) offers quarn: xboard -fe quarn started it"
    DEBIAN_FRONTEND=noninteractive dpkg -r quarn >"$tmp/remove.log" 2>&1 || { cat "$tmp/remove.log"; fail "dpkg -r"; }
  else
    dpkg --root="$root" -r quarn >"$tmp/remove.log" 2>&1 || { cat "$tmp/remove.log"; fail "dpkg -r"; }
  fi
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
# engine and of quarn.exe, equal, and the published counts among them.
perft_script() {
  local v fen depth
  printf 'xboard\nprotover 2\n'
  while read -r v depth fen; do printf 'new\nforce\nvariant %s\nsetboard %s\nperft %s\n' "$v" "$fen" "$depth"; done <<'EOF'
normal 6 rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1
normal 5 r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1
normal 6 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1
normal 5 r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1
normal 5 rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8
marseillais 3 rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1
marseillais 2 R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1
EOF
  printf 'quit\n'
}
counts() { perft_script | "$1" | grep '^# perft(' | sed 's/, time=.*//'; }
counts "$build/linux/quarn" >"$tmp/counts-linux"
counts "$tmp/quarn-wine" >"$tmp/counts-wine"
[ "$(wc -l <"$tmp/counts-linux")" -eq 7 ] || fail "the Linux engine printed $(wc -l <"$tmp/counts-linux") counts"
diff "$tmp/counts-linux" "$tmp/counts-wine" || fail "quarn.exe counts differently"
for n in 119060324 193690690 11030083 15833292 89941194 4866854 168214; do
  grep -q "= $n," "$tmp/counts-wine" || fail "no count $n"
done
say "  7 deep perft counts as the Linux engine's (perft 6 start: 119060324, Marseillais 3: 4866854)"
# The timed game: a minute and a second a move ("level 0 1 1"). In periods of 40 moves (one and two minutes) quarn.exe
# lost on time at its 40th move in two trials here, the machine loaded
# eight-fold: the engine times only its own thinking and ignores xboard's
# clock, and under wine about 0.1 s a move passed outside its timing, which the
# period's last move had no margin for; with an increment each move's share
# of what is left never runs out.
gui_game "$tmp/quarn-wine" "$tmp/gui-wine" -m inc -I 1

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
