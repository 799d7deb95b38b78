#!/usr/bin/env bash
# check-installed.sh TREE VERSION: checks an installed Quillon under TREE (a prefix, e.g. an
# unpacked package's usr/ or a DESTDIR install): every file of tools/installed-files.txt is
# there, and the programs run from there on the sample log it brings, in Russian and, from
# the catalogue beside them, in English.
set -euo pipefail
tree=$(realpath "$1")
version=$2
fail() { echo "check-installed: $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

while read -r file; do
  [ -e "$tree/$file" ] || fail "$tree lacks $file"
done < <(grep -v '^#' "$(dirname "$0")/installed-files.txt")

cli=$tree/bin/quillon-cli
sample=$tree/share/quillon/sample.log
[ "$("$cli" --version)" = "quillon-cli $version" ] || fail "quillon-cli --version is not $version"
[ "$("$tree/bin/quillon" --version)" = "quillon $version" ] || fail "quillon --version is not $version"
# Russian unless asked otherwise, whatever the catalogues beside the programs hold.
env -u LANGUAGE LC_ALL=C.UTF-8 "$cli" list "$sample" > "$scratch/list.txt" || fail "list failed"
[ "$(wc -l < "$scratch/list.txt")" -gt 10 ] || fail "list printed too little"
grep -q "Запрос состояния" "$scratch/list.txt" || fail "the list lacks the status request"
env -u LANGUAGE LC_ALL=C.UTF-8 "$cli" show "$sample" 1 > "$scratch/show.txt" || fail "show failed"
grep -q "^Передано" "$scratch/show.txt" || fail "show printed no request"
LANGUAGE=en LC_ALL=C.UTF-8 "$cli" show "$sample" 1 > "$scratch/show-en.txt" || fail "show (en) failed"
grep -q "^Sent" "$scratch/show-en.txt" || fail "show under LANGUAGE=en is not English"
"$tree/bin/quillon-generate-log" -o "$scratch/generated.log" -n 20 > /dev/null 2>&1 || fail "generator"
[ "$("$cli" list "$scratch/generated.log" | wc -l)" -ge 20 ] || fail "the generated log lists short"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$tree/share/applications/quillon.desktop" || fail "desktop entry"
fi
echo "check-installed: every file is there, the programs run from $tree"
