#!/usr/bin/env bash
# Checks the manual pages against the program:
#   1. each page renders with groff without a single warning;
#   2. each quillon-cli page has a subsection for every subcommand that `quillon-cli --help`
#      lists, and that subsection names every option of `quillon-cli SUB --help` (the options
#      every command has, -h and --help, and those of the program itself may stand anywhere
#      in the page);
#   3. each quillon page names --version.
# Usage: check-man.sh QUILLON_CLI DOC_DIR. Prints what is wrong; exits 1 when anything is.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 QUILLON_CLI DOC_DIR" >&2
  exit 2
fi
cli=$1
man=$2/man
cli_pages=("$man/quillon-cli.1" "$man/en/quillon-cli.1")
window_pages=("$man/quillon.1" "$man/en/quillon.1")

if ! command -v groff > /dev/null; then
  echo "groff is not installed (Debian package groff-base; tools/deps.sh installs it)" >&2
  exit 1
fi

failed=0
fail() {
  echo "$*"
  failed=1
}

# The page as a reader sees it, as plain text: long lines and no hyphenation, so that an
# option never breaks across lines; the hyphen and minus glyphs as "-".
render() {
  groff -k -man -Tutf8 -rLL=250n -rHY=0 -P-cbou "$1" 2> /dev/null | sed 's/‐/-/g; s/‑/-/g; s/−/-/g'
}

# Whether the text on stdin names option $1 as a word of its own ("--no" is not in
# "--nak-every", "-h" is not in "--help").
names() {
  LC_ALL=C grep -Eq -- "(^|[^[:alnum:]-])$1([^[:alnum:]-]|\$)"
}

# The lines of a help text's block (Options:, Subcommands:) up to the blank line after it.
block() {
  awk -v title="$1" '$0 == title { on = 1; next } on && /^$/ { exit } on { print }'
}

# Options of a help text: the first word of each option line, "-h,--help" split in two.
help_options() {
  block "Options:" | awk '/^  -/ { n = split($1, a, ","); for (i = 1; i <= n; i++) print a[i] }'
}

# The subsection SUB of a rendered page: from its heading (three blanks and the name) to the
# next heading of any level.
subsection() {
  awk -v sub_="$1" '
    on && (/^   [^ ]/ || /^[^ ]/) { exit }
    $0 == "   " sub_ { on = 1 }
    on { print }'
}

# 1. groff warnings.
for page in "${cli_pages[@]}" "${window_pages[@]}"; do
  if [ ! -f "$page" ]; then
    fail "$page: missing"
    continue
  fi
  warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
  status=$?
  if [ $status -ne 0 ] || [ -n "$warnings" ]; then
    fail "$page: groff (status $status):"
    [ -n "$warnings" ] && echo "$warnings"
  fi
done

# 2. Subcommands and options of quillon-cli.
if ! main_help=$("$cli" --help); then
  fail "$cli --help failed"
fi
subcommands=$(block "Subcommands:" <<< "$main_help" | awk '/^  [a-z]/ { print $1 }')
program_options=$(help_options <<< "$main_help")
if [ -z "$subcommands" ] || [ -z "$program_options" ]; then
  fail "$cli --help: no subcommands or no options read from it"
fi

for page in "${cli_pages[@]}"; do
  [ -f "$page" ] || continue
  text=$(render "$page")
  for option in $program_options; do
    names "$option" <<< "$text" || fail "$page: option $option not mentioned"
  done
  for sub in $subcommands; do
    if ! sub_help=$("$cli" "$sub" --help); then
      fail "$cli $sub --help failed"
      continue
    fi
    options=$(help_options <<< "$sub_help")
    if [ -z "$options" ]; then
      fail "$cli $sub --help: no options read from it"
      continue
    fi
    section=$(subsection "$sub" <<< "$text")
    if [ -z "$section" ]; then
      fail "$page: no subsection for the subcommand $sub"
      continue
    fi
    for option in $options; do
      if grep -qxF -- "$option" <<< "$program_options"; then
        names "$option" <<< "$text" || fail "$page: option $option not mentioned"
      else
        names "$option" <<< "$section" || fail "$page: $sub: option $option not mentioned"
      fi
    done
  done
done

# 3. The window's --version.
for page in "${window_pages[@]}"; do
  [ -f "$page" ] || continue
  text=$(render "$page")
  names --version <<< "$text" || fail "$page: option --version not mentioned"
done

if [ $failed -ne 0 ]; then
  echo "The manual pages differ from the program (see above)."
  exit 1
fi
echo "Manual pages: $(wc -w <<< "$subcommands") subcommands and their options in both quillon-cli pages, --version in both quillon pages, no groff warnings."
