#!/usr/bin/env bash
# Measures quillon-cli against grep on one large log: the median wall time of `stats`,
# `list` and `list --json` over RUNS runs, their ratio to `grep -c -- '<- '` (one pass
# over the same bytes), and the CLI's peak memory, each next to its goal.
# Every command writes into a pipe (`| cat >/dev/null`), never straight to /dev/null:
# GNU grep stops at its first match when its output is /dev/null, and a pipe makes the
# CLI pay for its output the way a user's pager or script does.
# A benchmark, not a test: it exits 0 whatever the figures, non-zero only when a command fails.
set -euo pipefail

usage() {
  echo "usage: $0 [--generate SIZE] FILE [CLI]   (env: RUNS=5, GENERATE=1 for a 1G FILE, SEED=1)" >&2
  exit 2
}
size=
if [ "${1:-}" = --generate ]; then
  [ $# -ge 2 ] || usage
  size=$2
  shift 2
fi
[ $# -ge 1 ] && [ $# -le 2 ] || usage
file=$1
cli=${2:-build/quillon-cli}
runs=${RUNS:-5}
[ -n "$size" ] || [ "${GENERATE:-0}" != 1 ] || size=1G
[ -x "$cli" ] || { echo "no CLI binary: $cli" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing: apt-get install time" >&2; exit 2; }

if [ ! -e "$file" ]; then
  [ -n "$size" ] || { echo "no log $file (give --generate SIZE or GENERATE=1)" >&2; exit 2; }
  echo "generating $file ($size)" >&2
  "$(dirname "$cli")/quillon-loggen" -o "$file" -s "$size" --seed "${SEED:-1}"
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

names=(grep stats list list--json)
commands=(
  "grep -c -- '<- ' \"\$file\""
  "\"\$cli\" stats \"\$file\""
  "\"\$cli\" list \"\$file\""
  "\"\$cli\" list --json \"\$file\""
)
goals=(- 3 4 10)      # at most this many times grep's median
mem_goal_mb=64        # the CLI's peak resident memory

# One run: wall seconds to stdout, the command's peak RSS (KB) appended to $tmp/NAME.rss.
run_once() {
  local name=$1 cmd=$2 start end status
  start=$EPOCHREALTIME
  set +e
  eval "/usr/bin/time -f %M -o \"\$tmp/rss\" $cmd | cat >/dev/null"
  status=("${PIPESTATUS[@]}")
  set -e
  end=$EPOCHREALTIME
  # grep -c exits 1 when it counts no line: not a failure of the measurement.
  if [ "${status[0]}" -ne 0 ] && ! { [ "$name" = grep ] && [ "${status[0]}" -eq 1 ]; }; then
    echo "failed (exit ${status[0]}): $(eval "printf '%s ' $cmd")" >&2
    cat "$tmp/rss" >&2
    exit 1
  fi
  tail -n 1 "$tmp/rss" >>"$tmp/$name.rss"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}

cat "$file" | cat >/dev/null    # warm the page cache, not timed
# Round-robin (grep, stats, list, json, grep, ...), so a drift in the machine's speed
# touches every command alike.
for ((r = 1; r <= runs; r++)); do
  for i in "${!names[@]}"; do
    run_once "${names[$i]}" "${commands[$i]}" >>"$tmp/${names[$i]}.wall"
  done
done

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak_mb() { sort -n "$1" | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'; }

echo "$(basename "$file"): $(du -h --apparent-size "$file" | cut -f1), $runs runs each, median wall time"
printf '%-14s %9s %8s %6s %9s %s\n' command seconds x_grep goal peak_MB verdict
grep_median=$(median "$tmp/grep.wall")
for i in "${!names[@]}"; do
  name=${names[$i]}
  m=$(median "$tmp/$name.wall")
  mb=$(peak_mb "$tmp/$name.rss")
  ratio=$(awk -v m="$m" -v g="$grep_median" 'BEGIN { printf "%.2f", m / g }')
  if [ "$name" = grep ]; then
    verdict=-
    goal=-
  else
    goal="<=${goals[$i]}x"
    verdict=$(awk -v r="$ratio" -v g="${goals[$i]}" -v mb="$mb" -v mg="$mem_goal_mb" 'BEGIN {
      v = ""
      if (r > g) v = v " time"
      if (mb > mg) v = v " memory"
      print (v == "") ? "ok" : "over:" v }')
  fi
  printf '%-14s %9.3f %8s %6s %9s %s\n' "${name/--/ --}" "$m" "$ratio" "$goal" "$mb" "$verdict"
done
echo "goals: time as a multiple of grep's median; peak memory of quillon-cli <= ${mem_goal_mb} MB"
