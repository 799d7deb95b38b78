#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds everything (warnings are errors)
# and runs every test: a short run of each fuzz target, the Qt-free libraries and their
# tests again under the address and undefined-behaviour sanitizers, the player's and the
# emulator's tests under the thread sanitizer, then the replay tests (player, driver and
# emulator with Qt) under it too, then the Debian package, and last the normal build's
# tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh

echo "== Formatting"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== Build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=ON -DQUILLON_BENCH=ON \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON > /dev/null
cmake --build build -j2

# tools/fuzz.sh configures build-fuzz with these same options; the cache keeps this
# setting, so the fuzz targets are built with warnings as errors too.
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLON_FUZZ=ON -DQUILLON_CORE_ONLY=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON > /dev/null

echo "== Fuzz smoke run"
bash tools/fuzz.sh 10

echo "== Sanitizers (address, undefined behaviour)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON \
  -DQUILLON_CORE_ONLY=ON -DQUILLON_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON > /dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== Thread sanitizer (player, emulator, log loading, display filter)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DQUILLON_CORE_ONLY=ON -DQUILLON_BENCH=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON > /dev/null
cmake --build build-tsan -j2 --target test_player test_emulator test_log test_commandfilter
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L '^test_(player|emulator|log|commandfilter)$' \
  --output-on-failure -j2

# The driver needs Qt: a second, small build with it, of the replay tests (player, driver
# and emulator together over loopback and a pseudo-terminal) and of the window's workers
# (load, search, filter, comparison) without widgets.
echo "== Thread sanitizer (replay: player, driver, emulator; the window's workers)"
cmake -S . -B build-tsan-qt -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DQUILLON_BENCH=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON > /dev/null
cmake --build build-tsan-qt -j2 --target test_replay ui_control_tests
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tools/tsan-qt.supp" \
  ctest --test-dir build-tsan-qt -L '^test_replay$' --output-on-failure -j2
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tools/tsan-qt.supp" \
  ctest --test-dir build-tsan-qt -R '^ui_control_tests$' --output-on-failure

# The package of the build, unpacked into a scratch root and run from there.
echo "== Debian package"
deb=$(bash tools/package.sh build | tail -1)
bash tools/check-package.sh "$deb"

echo "== Tests"
ctest --test-dir build --output-on-failure -j2
