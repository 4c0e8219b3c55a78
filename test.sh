#!/usr/bin/env bash
# Builds quarn and runs every test (each step below; README says what they
# cover). Any failure stops the run with a non-zero status. Run as root (as CI
# is), it first installs the Debian packages it lacks, in one line on the
# terminal (apt-get's output goes to build/apt.log); otherwise it prints the
# apt-get line to run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
source tools/packages.sh
mapfile -t missing < <(missing_packages git:git g++:g++ cmake:cmake make:make python3:python3 \
  clang-format:clang-format clang:clang++ valgrind:valgrind libgtest-dev:/usr/include/gtest/gtest.h \
  'libclang-rt-14-dev:/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' \
  nodejs:node npm:npm chromium:chromium emscripten:emcc parallel:parallel rsync:rsync openssh-server:/usr/sbin/sshd \
  slurm-wlm:/usr/sbin/slurmctld munge:/usr/sbin/munged procps:pgrep \
  dpkg-dev:dpkg-shlibdeps lintian:lintian file:file zip:zip unzip:unzip g++-mingw-w64-x86-64-win32:x86_64-w64-mingw32-g++-win32 \
  wine:/usr/bin/wine-stable wine64:/usr/lib/wine/wine64 xboard:/usr/games/xboard xvfb:xvfb-run xauth:xauth fairymax:/usr/games/fairymax \
  xdotool:xdotool)
mkdir -p build
apt_log=build/apt.log install_packages root "${missing[@]}" || exit 1
jobs="$(nproc)"
step() { printf '\n== %s\n' "$*"; }

step "format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

step "Release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUARN_PGO=ON -DQUARN_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

step "perft split into jobs: counts, stopped runs resumed, ssh hosts, hangs, a one-node Slurm array"
python3 tests/deep_perft_test.py build/quarn

step "self-play"
for variant in normal marseillais; do
  python3 tools/selfplay.py --engine build/quarn --variant "$variant" --games 2 --level "40 0:02 0" --max-plies 160
  python3 tools/selfplay.py --engine build/quarn --variant "$variant" --games 2 --random --max-plies 300
done

step "xboard: take-backs typed at its keyboard (Xvfb, xdotool)"
python3 tests/xboard_takeback.py build/quarn

step "WebAssembly build and tests (Node)"
tools/wasm_build.sh root --tests
ctest --test-dir build-wasm --output-on-failure

step "board: server tests, the page in chromium, served and as the static site"
./board.sh --static build-wasm/site >/dev/null
QUARN_SITE="$PWD/build-wasm/site" board/run_tests.sh

step "release files: built by tools/release.sh into dist/, used as their users use them"
tools/release.sh dist
tests/release_test.sh dist build-release

step "sanitizer build and tests"
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_SANITIZE=ON -DQUARN_CHECK_INVARIANTS=ON >/dev/null
cmake --build build-san -j"$jobs"
ctest --test-dir build-san --output-on-failure -LE deep

step "fuzzing"
fuzz/run_fuzz.sh 60

step "valgrind"
tools/valgrind_games.sh

printf '\nAll tests passed.\n'
