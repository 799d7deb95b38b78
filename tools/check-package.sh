#!/usr/bin/env bash
# check-package.sh DEB: unpacks the package into a scratch root, checks the tree as an
# installed Quillon (tools/check-installed.sh) and that its dependencies name the Debian
# packages of the libraries the programs use.
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6network6 libqt6serialport6 libqt6charts6 libqt6svg6 libc6; do
  grep -q "\b$library\b" <<< "$depends" || fail "Depends lacks $library: $depends"
done
bash "$(dirname "$0")/check-installed.sh" "$root/usr" "$(dpkg-deb -f "$deb" Version)"
echo "check-package: $(basename "$deb") checked (Depends: $depends)"
