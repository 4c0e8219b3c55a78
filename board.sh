#!/usr/bin/env bash
# Starts quarn board, the web page for playing quarn (normal and Marseillais
# chess) with the mouse: builds the engine if needed, installs the board's
# locked npm dependencies if missing, and serves it on 127.0.0.1.
#   ./board.sh             http://127.0.0.1:8080/
#   ./board.sh --port N    another port
#   ./board.sh --static DIR
#                          writes the board as a static site into DIR instead
#                          (no server: quarn runs in the browser, built for
#                          WebAssembly with Debian's emscripten, about 800 MB,
#                          installed if missing); DIR must be new, empty or a
#                          site written before
# Ctrl-C stops the server and every engine it started.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
port=8080
static=""
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port="${2:?--port needs a number}"; shift 2 ;;
    --port=*) port="${1#--port=}"; shift ;;
    --static) static="${2:?--static needs a folder}"; shift 2 ;;
    --static=*) static="${1#--static=}"; shift ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "board.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
done
case "$port" in ''|*[!0-9]*) echo "board.sh: --port needs a number, not '$port'" >&2; exit 2 ;; esac

source "$here/tools/packages.sh"
mapfile -t missing < <(missing_packages nodejs:node npm:npm)
install_packages sudo "${missing[@]}" || exit 1
if ! node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 18 ? 0 : 1)'; then
  echo "quarn board needs Node.js 18 or later; this is $(node --version)." >&2
  exit 1
fi

if [ -n "$static" ]; then
  "$here/tools/wasm_build.sh" sudo
else
  "$here/quarn.sh" --build-only
fi
if [ ! -d "$here/board/node_modules" ]; then
  (cd "$here/board" && npm ci --no-audit --no-fund)
fi
if [ -n "$static" ]; then
  node "$here/board/static/write_site.mjs" "$static" "$here/build-wasm/web"
  echo "try it: python3 -m http.server --bind 127.0.0.1 -d '$static' 8000, then open http://127.0.0.1:8000/"
  exit 0
fi
exec node "$here/board/server.js" --port "$port" --engine "$here/build/quarn"
