#!/usr/bin/env bash
# extract.sh XGETTEXT SOURCE_DIR OUTPUT: writes the template of every text the sources mark
# for translation: Tr("…") and N_("…") in the libraries, the command line and the log
# generator, T("…") in the window. Locations are kept by file only, so that moving code
# does not change the template.
set -euo pipefail
xgettext=$1
cd "$2"
output=$3
git ls-files "src/*.cpp" "src/*.h" "src/*.inc" "tools/*.cpp" | LC_ALL=C sort > "$output.files"
# The msgids are Russian: xgettext reads them in a UTF-8 locale and warns about each one,
# which says nothing here, so its messages are shown only when it fails.
log=$(mktemp)
fresh=$(mktemp)
trap 'rm -f "$log" "$fresh" "$output.files"' EXIT
if ! LC_ALL=C.UTF-8 "$xgettext" --language=C++ --from-code=UTF-8 --keyword= --keyword=Tr --keyword=T --keyword=N_ \
  --add-location=file --sort-by-file --package-name=quillon --msgid-bugs-address= \
  --files-from="$output.files" --output="$fresh" 2> "$log"; then
  cat "$log" >&2
  exit 1
fi
# A template that differs from the one there only by its date is left as it was.
strip_date() { grep -v '^"POT-Creation-Date:' "$1"; }
if [ -f "$output" ] && cmp -s <(strip_date "$output") <(strip_date "$fresh"); then
  exit 0
fi
cp "$fresh" "$output"
