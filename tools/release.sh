#!/usr/bin/env bash
# Writes quarn's release files into DIR (default dist/), for the version in
# the file VERSION:
#   quarn_<version>_amd64.deb              Debian package: /usr/games/quarn (the
#                                          profile-guided, link-time optimised
#                                          engine for any x86-64), quarn(6), the
#                                          xboard plugin file, copyright, changelog
#   quarn-<version>-linux-x86_64.tar.gz    the same engine linked statically (runs
#                                          on any Linux), README.md, LICENSE
#   quarn-<version>-windows-x86_64.zip     quarn.exe (mingw-w64, runtime linked
#                                          in), README.txt, LICENSE
#   quarn-board-<version>.zip              the static site ./board.sh --static
#                                          writes (with LICENSE and THIRD-PARTY)
#   SHA256SUMS                             of the files above
#
#   tools/release.sh [DIR]           every file
#   tools/release.sh --board [DIR]   the board's zip only (the Pages workflow)
#
# The files are reproducible: the same commit gives the same bytes on another
# day and in another folder. Times come from SOURCE_DATE_EPOCH (by default
# the commit's time), paths of the checkout are mapped away, archives list
# their files sorted with fixed owners, modes and times, the profile-guided
# build trains on fixed counts, and the Windows build has no link time stamp.
# Builds go to build-release/. Run as root, it installs the Debian packages
# it lacks; otherwise it prints the apt-get line to run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

board_only=0
if [ "${1:-}" = --board ]; then
  board_only=1
  shift
fi
out="$(realpath -m "${1:-dist}")"
version="$(tr -d '\n' <VERSION)"
[[ "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "release: VERSION must be numbers and dots, not '$version'" >&2; exit 2; }

source tools/packages.sh
checks=(nodejs:node npm:npm emscripten:emcc cmake:cmake make:make zip:zip)
[ "$board_only" -eq 1 ] || checks+=(g++:g++ dpkg-dev:dpkg-shlibdeps binutils:strip
  'libc6-dev:/usr/lib/x86_64-linux-gnu/libc.a' g++-mingw-w64-x86-64-win32:x86_64-w64-mingw32-g++-win32)
mapfile -t missing < <(missing_packages "${checks[@]}")
mkdir -p build
apt_log=build/apt.log install_packages sudo "${missing[@]}" || exit 1

export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
export TZ=UTC LC_ALL=C.UTF-8
umask 022
work="$here/build-release"
log="$work/release.log"
mkdir -p "$work" "$out"
: >"$log"
say() { echo "release: $*" >&2; }
run() { # STEP COMMAND...: runs COMMAND with its output in the log
  local step=$1
  shift
  say "$step"
  if ! "$@" >>"$log" 2>&1; then
    echo "release: $step failed; the end of $log:" >&2
    tail -n 25 "$log" | sed 's/^/  /' >&2
    exit 1
  fi
}
# Compiler flags that keep the checkout's path out of the files.
prefix_maps="-ffile-prefix-map=$here=."

# stamp DIR: every file and folder below DIR gets the source date as its time.
stamp() { find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }
# zip_dir DIR ZIP: DIR's contents (its own name as the top folder) in ZIP,
# sorted, without owners or extra time fields.
zip_dir() {
  local parent name
  parent="$(dirname "$1")" name="$(basename "$1")"
  find "$1" -type d -exec chmod 755 {} + -o -type f -exec chmod a+r,go-w {} +
  stamp "$1"
  rm -f "$2"
  (cd "$parent" && find "$name" -print | LC_ALL=C sort | zip -q -X -D -@ "$2")
}
# tar_dir DIR TARGZ: the same as a gzip'd tar.
tar_dir() {
  find "$1" -type d -exec chmod 755 {} + -o -type f -exec chmod a+r,go-w {} +
  tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --format=gnu \
    -C "$(dirname "$1")" -cf - "$(basename "$1")" | gzip -9n >"$2"
}
release_date() { date -u -d "@$SOURCE_DATE_EPOCH" "$@"; }

# The board: the static site, zipped.
board_zip() {
  [ -d board/node_modules ] || run "npm ci (board)" bash -c "cd board && npm ci --no-audit --no-fund"
  run "WebAssembly build" tools/wasm_build.sh sudo
  local site="$work/quarn-board-$version"
  rm -rf "$site"
  run "static site" node board/static/write_site.mjs "$site" build-wasm/web
  zip_dir "$site" "$out/quarn-board-$version.zip"
}

if [ "$board_only" -eq 1 ]; then
  rm -f "$out/quarn-board-"*.zip
  board_zip
  (cd "$out" && sha256sum -- quarn-board-*.zip >SHA256SUMS)
  say "wrote $out: $(cd "$out" && ls | paste -sd' ')"
  exit 0
fi
rm -rf "${out:?}"/*

# The Linux engines: one profile-guided, link-time optimised build, linked
# dynamically (the package's) and statically (the tarball's).
run "Linux build (profile-guided: a few minutes)" cmake -S . -B "$work/linux" -DCMAKE_BUILD_TYPE=Release \
  -DQUARN_PGO=ON -DQUARN_TESTS=OFF "-DCMAKE_CXX_FLAGS=$prefix_maps -D_FORTIFY_SOURCE=2" "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro,-z,now"
run "Linux build: the engines" cmake --build "$work/linux" -j"$(nproc)" --target quarn quarn_static

# Windows: cross-compiled with mingw-w64 (no profile: its training run would
# have to run under wine).
run "Windows build" cmake -S . -B "$work/windows" -DCMAKE_BUILD_TYPE=Release -DQUARN_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$here/packaging/mingw-w64.cmake" "-DCMAKE_CXX_FLAGS=$prefix_maps"
run "Windows build: quarn.exe" cmake --build "$work/windows" -j"$(nproc)" --target quarn

# The Debian package.
deb_package() {
  local name="quarn_${version}_amd64" root="$work/deb/quarn_${version}_amd64"
  rm -rf "$work/deb"
  mkdir -p "$root/DEBIAN" "$root/usr/games" "$root/usr/share/man/man6" "$root/usr/share/doc/quarn" \
    "$root/usr/share/games/plugins/xboard"
  install -m 755 "$work/linux/quarn" "$root/usr/games/quarn"
  strip --remove-section=.comment --remove-section=.note "$root/usr/games/quarn"
  sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$(release_date +%Y-%m-%d)/g" packaging/quarn.6 |
    gzip -9n >"$root/usr/share/man/man6/quarn.6.gz"
  install -m 644 packaging/quarn.eng "$root/usr/share/games/plugins/xboard/quarn.eng"
  sed -e "s/@YEAR@/$(release_date +%Y)/g" packaging/copyright >"$root/usr/share/doc/quarn/copyright"
  {
    printf 'quarn (%s) unstable; urgency=medium\n\n' "$version"
    printf '  * Release %s: the engine, its manual page and its xboard plugin file.\n\n' "$version"
    printf ' -- %s  %s\n' "$(sed -n 's/^Maintainer: //p' packaging/control)" "$(release_date -R)"
  } | gzip -9n >"$root/usr/share/doc/quarn/changelog.gz"
  # dpkg-shlibdeps reads the libraries' symbols files; it wants a source
  # package's control file beside it.
  mkdir -p "$work/deb/src/debian"
  printf 'Source: quarn\n\nPackage: quarn\nArchitecture: amd64\n' >"$work/deb/src/debian/control"
  local depends
  depends="$(cd "$work/deb/src" && dpkg-shlibdeps -O -e"$root/usr/games/quarn" | sed -n 's/^shlibs:Depends=//p')"
  [ -n "$depends" ] || { echo "release: dpkg-shlibdeps gave no dependencies" >&2; exit 1; }
  {
    printf 'Package: quarn\nVersion: %s\nArchitecture: amd64\n' "$version"
    printf 'Installed-Size: %s\nDepends: %s\n' "$(du -sk --apparent-size "$root/usr" | cut -f1)" "$depends"
    cat packaging/control
  } >"$root/DEBIAN/control"
  (cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)
  find "$root" -type d -exec chmod 755 {} + -o -type f -exec chmod a+r,go-w {} +
  chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  stamp "$root"
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/$name.deb" >/dev/null
}
run "Debian package" deb_package

# The static engine for any Linux.
linux_tarball() {
  local dir="$work/quarn-$version-linux-x86_64"
  rm -rf "$dir"
  mkdir -p "$dir"
  install -m 755 "$work/linux/quarn_static" "$dir/quarn"
  strip --remove-section=.comment --remove-section=.note "$dir/quarn"
  install -m 644 README.md LICENSE "$dir/"
  tar_dir "$dir" "$out/quarn-$version-linux-x86_64.tar.gz"
}
run "Linux tarball" linux_tarball

windows_zip() {
  local dir="$work/quarn-$version-windows-x86_64"
  rm -rf "$dir"
  mkdir -p "$dir"
  install -m 755 "$work/windows/quarn.exe" "$dir/quarn.exe"
  x86_64-w64-mingw32-strip "$dir/quarn.exe"
  sed "s/@VERSION@/$version/g" packaging/windows-readme.txt | sed 's/$/\r/' >"$dir/README.txt"
  sed 's/$/\r/' LICENSE >"$dir/LICENSE.txt"
  zip_dir "$dir" "$out/quarn-$version-windows-x86_64.zip"
}
run "Windows zip" windows_zip

board_zip

(cd "$out" && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
say "wrote $out:"
(cd "$out" && ls -l --time-style=+ | tail -n +2 | awk '{printf "  %10d  %s\n", $5, $NF}') >&2
