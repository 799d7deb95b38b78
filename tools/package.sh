#!/usr/bin/env bash
# package.sh [BUILD_DIR]: builds Quillon in BUILD_DIR (default build/, configured here if
# it is not yet) and makes the Debian package out/quillon_VERSION_amd64.deb of what
# `cmake --install` puts under /usr. Installing it: apt-get install ./out/quillon_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
fi
cmake --build "$build" -j2
mkdir -p out
(cd "$build" && cpack -G DEB -B "$PWD/_package" > /dev/null)
deb=$(ls "$build"/_package/quillon_*.deb)
mv "$deb" out/
rm -rf "$build/_package"
echo "out/$(basename "$deb")"
