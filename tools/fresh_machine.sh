#!/usr/bin/env bash
# Tries the README's commands on a pristine Debian 12 root, as a new user
# would: nothing installed but what debootstrap's minbase variant brings.
#
#   tools/fresh_machine.sh [--engine-only] [DIR]
#
# Needs root and debootstrap. DIR (default build-fresh) receives the root
# and DIR-logs the logs; a clone of this checkout's HEAD goes to
# DIR/root/quarn. Then, inside the root, with /proc, /sys and /dev bound in:
#   1. ./quarn.sh --build-only at a terminal (it installs g++, cmake, make);
#   2. ./quarn.sh fed xboard, protover 2, new, go: the feature lines and a move;
#   3. bash .ci/run (it installs what the tests need), unless --engine-only.
# Each step's time is printed; the exit status is the first failure's.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

engine_only=0
if [ "${1:-}" = --engine-only ]; then
  engine_only=1
  shift
fi
root="$(realpath -m "${1:-$here/build-fresh}")"
mirror="$(sed -n 's/^URIs: *//p; s/^deb  *\(\[[^]]*\] *\)\?\(http[^ ]*\) .*/\2/p' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | head -1 || true)"
mirror="${mirror:-http://deb.debian.org/debian}"
logs="$root-logs"
mkdir -p "$logs"

timed() {
  local what=$1 start=$SECONDS
  shift
  echo "== $what" >&2
  "$@"
  echo "== $what: $((SECONDS - start)) s" >&2
}

if [ ! -x "$root/usr/bin/apt-get" ]; then
  timed "debootstrap minbase bookworm from $mirror" \
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
rm -rf "$root/root/quarn"
git clone -q --no-hardlinks "$here" "$root/root/quarn"

mounts=(proc sys dev)
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
cleanup() {
  local m
  for m in "${mounts[@]}"; do umount -R "$root/$m" 2>/dev/null || umount -lR "$root/$m" 2>/dev/null || true; done
}
trap cleanup EXIT

# A machine whose network needs its own certificate authority (as this
# sandbox's does) names it in NODE_EXTRA_CA_CERTS; npm inside the root gets it too.
extra_ca=()
if [ -n "${NODE_EXTRA_CA_CERTS:-}" ] && [ -f "$NODE_EXTRA_CA_CERTS" ]; then
  cp "$NODE_EXTRA_CA_CERTS" "$root/root/extra-ca.crt"
  extra_ca=(NODE_EXTRA_CA_CERTS=/root/extra-ca.crt)
fi
inside() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  TERM=dumb LANG=C.UTF-8 "${extra_ca[@]}" bash -c "cd /root/quarn && $1"; }

# script(1) gives quarn.sh a terminal, as a person at a shell has.
timed "./quarn.sh --build-only at a terminal" inside "script -qec './quarn.sh --build-only' /dev/null </dev/null"
timed "./quarn.sh answering a GUI" inside "printf 'xboard\nprotover 2\nnew\ngo\nquit\n' | ./quarn.sh" | tee "$logs/engine.out"
grep -q '^feature done=1$' "$logs/engine.out" && grep -Eq '^move [a-h][1-8][a-h][1-8]$' "$logs/engine.out"
[ "$engine_only" -eq 1 ] && exit 0
timed "bash .ci/run" inside "bash .ci/run" >"$logs/ci.log" 2>&1 || {
  tail -30 "$logs/ci.log" >&2
  exit 1
}
tail -3 "$logs/ci.log"
