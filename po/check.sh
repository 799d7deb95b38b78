#!/usr/bin/env bash
# check.sh XGETTEXT SOURCE_DIR LANGUAGE...: fails unless po/quillon.pot is what the sources
# mark today (`cmake --build build --target pot` writes it) and every text of it has a
# translation, not a fuzzy one, in each po/LANGUAGE.po.
set -euo pipefail
xgettext=$1
source_dir=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$source_dir/po/extract.sh" "$xgettext" "$source_dir" "$scratch/quillon.pot"
strip_date() { grep -v '^"POT-Creation-Date:' "$1"; }
if ! diff -u <(strip_date "$source_dir/po/quillon.pot") <(strip_date "$scratch/quillon.pot") \
  > "$scratch/pot.diff"; then
  echo "po/quillon.pot is not what the sources mark (cmake --build build --target pot):"
  head -40 "$scratch/pot.diff"
  exit 1
fi
status=0
for language in "$@"; do
  po="$source_dir/po/$language.po"
  LC_ALL=C.UTF-8 msgfmt --check -o /dev/null "$po"
  # msgcmp counts neither untranslated nor fuzzy entries as translations.
  if ! LC_ALL=C.UTF-8 msgcmp "$po" "$source_dir/po/quillon.pot" 2> /dev/null; then
    echo "po/$language.po lacks translations of:"
    LC_ALL=C.UTF-8 msgmerge --quiet --no-fuzzy-matching "$po" "$source_dir/po/quillon.pot" |
      LC_ALL=C.UTF-8 msgattrib --untranslated --no-obsolete --no-wrap | grep '^msgid "..*"' | head -40
    status=1
  fi
done
exit $status
