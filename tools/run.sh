#!/usr/bin/env bash
# Installs what is needed, builds, and opens the window on a log (the bundled sample by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF > /dev/null
cmake --build build -j2 --target quillon quillon-cli
exec ./build/quillon "${1:-samples/sample.log}"
