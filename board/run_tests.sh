#!/usr/bin/env bash
# Tests of quarn board against the real engine: the server (also in a process
# of its own, against hostile requests and clients) and the page's FEN (Node's
# test runner), then the page in Debian's chromium (puppeteer-core).
# A screenshot of each finished browser test goes to build/board-screenshots/.
#   QUARN_ENGINE   the engine (default: build/quarn under the project root)
#   CHROMIUM       the browser (default: /usr/bin/chromium)
# Needs Debian's nodejs, npm and chromium.
set -euo pipefail
board="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$board")"
QUARN_ENGINE="$(realpath -m "${QUARN_ENGINE:-$root/build/quarn}")"
export QUARN_ENGINE
chromium="${CHROMIUM:-/usr/bin/chromium}"
[ -x "$QUARN_ENGINE" ] || { echo "run_tests.sh: no engine at $QUARN_ENGINE; build it first" >&2; exit 1; }
[ -x "$chromium" ] || { echo "run_tests.sh: no browser at $chromium (apt-get install chromium)" >&2; exit 1; }
command -v npm >/dev/null || { echo "run_tests.sh: needs node and npm (apt-get install nodejs npm)" >&2; exit 1; }

cd "$board"
[ -d node_modules ] || npm ci --no-audit --no-fund
rm -rf "$root/build/board-screenshots"
# One test file at a time where Node has the option (the help is read whole:
# a pipe into grep -q can end node with EPIPE).
serial=()
help="$(node --help)"
if [[ $help == *--test-concurrency* ]]; then serial=(--test-concurrency=1); fi
# The static site's tests need a site written by ./board.sh --static (test.sh
# writes one after the WebAssembly build and names it in QUARN_SITE).
files=(test/*.test.js e2e/board.test.js)
if [ -n "${QUARN_SITE:-}" ]; then files+=(e2e/static.test.js); else echo "run_tests.sh: no QUARN_SITE, so the static site's tests do not run" >&2; fi
node --test "${serial[@]}" "${files[@]}"
