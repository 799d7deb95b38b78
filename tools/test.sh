#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: a short run of each fuzz
# target, the Qt-free libraries and their tests again under the address and
# undefined-behaviour sanitizers, the player's tests under the thread sanitizer, and last
# the normal build's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh

echo "== Build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=ON -DQUILLON_BENCH=ON > /dev/null
cmake --build build -j2

echo "== Fuzz smoke run"
bash tools/fuzz.sh 10

echo "== Sanitizers (address, undefined behaviour)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON \
  -DQUILLON_CORE_ONLY=ON -DQUILLON_BENCH=OFF > /dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== Thread sanitizer (player)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DQUILLON_CORE_ONLY=ON -DQUILLON_BENCH=OFF > /dev/null
cmake --build build-tsan -j2 --target test_player
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -R '^(Player|Notify|Command)' \
  --output-on-failure -j2

echo "== Tests"
ctest --test-dir build --output-on-failure -j2
