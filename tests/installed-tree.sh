#!/usr/bin/env bash
# installed-tree.sh BUILD_DIR VERSION: installs the build into a scratch DESTDIR with
# `cmake --install` and checks that tree as an installed Quillon.
set -euo pipefail
build=$1
version=$2
destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT
DESTDIR=$destdir cmake --install "$build" --prefix /usr > /dev/null
bash "$(dirname "$0")/../tools/check-installed.sh" "$destdir/usr" "$version"
