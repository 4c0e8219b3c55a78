# Shared by the comparison scripts (sourced, not run): finds the quarn binary
# and reads ROUNDS.
#   quarn  the first argument, else $QUARN, else the newest build*/quarn,
#          else build/quarn built by ./quarn.sh --build-only
#   rounds $ROUNDS (default 5): how many turns each engine takes

root="$(dirname "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)")"
quarn="${1:-${QUARN:-}}"
if [[ -z "$quarn" ]]; then
  quarn="$(ls -t "$root"/build*/quarn 2>/dev/null | head -n 1 || true)"
  if [[ -z "$quarn" ]]; then
    "$root/quarn.sh" --build-only
    quarn="$root/build/quarn"
  fi
fi
[[ -x "$quarn" ]] || { echo "quarn binary not found (give its path as the first argument)" >&2; exit 2; }
rounds="${ROUNDS:-5}"
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS: a whole number from 1" >&2; exit 2; }
