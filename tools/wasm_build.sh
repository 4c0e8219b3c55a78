#!/usr/bin/env bash
# Builds quarn for WebAssembly into build-wasm with Debian's emscripten,
# which it installs when missing (about 800 MB; as root, or through sudo
# without a password when HOW is "sudo"):
#   tools/wasm_build.sh HOW           the browser's engine: build-wasm/web/quarn.js, quarn.wasm
#   tools/wasm_build.sh HOW --tests   also the Node engine, tests and benchmark (ctest --test-dir build-wasm)
set -euo pipefail
here="$(dirname "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)")"
how="${1:?usage: tools/wasm_build.sh root|sudo [--tests]}"
source "$here/tools/packages.sh"
mapfile -t missing < <(missing_packages emscripten:emcc cmake:cmake make:make)
install_packages "$how" "${missing[@]}" || exit 1

# emcc's JavaScript optimizer finds its parser (Debian's node-acorn) only here.
export NODE_PATH=/usr/share/nodejs
build="$here/build-wasm"
if [ "${2:-}" = --tests ]; then
  emcmake cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARN_TESTS=ON >/dev/null
  cmake --build "$build" -j"$(nproc)"
else
  [ -f "$build/CMakeCache.txt" ] ||
    emcmake cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARN_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quarn_worker
fi
