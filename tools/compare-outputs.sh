#!/usr/bin/env bash
# Shows that a change leaves quillon-cli's output byte for byte as it was: builds the
# "before" revision in a git worktree under /tmp, runs it and the "after" CLI on the same
# logs in two locales, and compares stdout, stderr, the exit code and the file `save` writes.
#
# Usage: tools/compare-outputs.sh [REV] [BUILD_DIR]
#   REV        the "before" revision (default: merge-base with origin/main, else HEAD~1),
#              e.g. tools/compare-outputs.sh 0637ce9
#   BUILD_DIR  holds the "after" quillon-cli (default: build)
# Env: GOLDEN_DIR  more logs to compare on (default ../shared/golden; empty: none)
#      KEEP=1      keep the work folder with every captured output
# Prints each difference, or "identical: N comparisons". Exit 0 identical, 1 a difference,
# 2 a usage or build error.
set -euo pipefail

repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
cd "$repo"
if [ $# -ge 1 ] && [ -n "$1" ]; then
  rev=$1
elif git rev-parse -q --verify origin/main >/dev/null; then
  rev=$(git merge-base HEAD origin/main)
else
  rev=HEAD~1
fi
build_dir=${2:-build}
commit=$(git rev-parse --verify "$rev^{commit}") || { echo "unknown revision: $rev" >&2; exit 2; }
short=${commit:0:10}
[ -x "$build_dir/quillon-cli" ] || { echo "no $build_dir/quillon-cli" >&2; exit 2; }

# --- The "before" CLI, built once per commit.
old_build=/tmp/cmp-build-$short
if [ -x "$old_build/quillon-cli" ] && [ "$(cat "$old_build/.commit" 2>/dev/null)" = "$commit" ]; then
  echo "before: $short, reusing $old_build/quillon-cli" >&2
else
  src=/tmp/cmp-src-$short
  echo "before: $short, building in $old_build" >&2
  git worktree prune
  [ -d "$src" ] || git worktree add --detach "$src" "$commit" >/dev/null
  nice -n 10 cmake -S "$src" -B "$old_build" -DCMAKE_BUILD_TYPE=Release \
    -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF >"$old_build.log" 2>&1 ||
    { tail -n 20 "$old_build.log" >&2; exit 2; }
  nice -n 10 cmake --build "$old_build" -j2 --target quillon-cli >>"$old_build.log" 2>&1 ||
    { tail -n 20 "$old_build.log" >&2; exit 2; }
  echo "$commit" >"$old_build/.commit"
  git worktree remove --force "$src"
fi

work=$(mktemp -d /tmp/cmp-run-XXXXXX)
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/logs" "$work/out"
# Copies, so that a rebuild of BUILD_DIR during the run cannot mix two versions.
cp "$old_build/quillon-cli" "$work/old-cli"
cp "$build_dir/quillon-cli" "$work/new-cli"
echo "after:  $build_dir/quillon-cli ($(date -r "$build_dir/quillon-cli" '+%F %T'))" >&2

# --- The logs: the sample, the golden logs, generated ones (the same files for both CLIs).
logs=(samples/sample.log)
golden=${GOLDEN_DIR-$repo/../shared/golden}
if [ -n "$golden" ] && [ -d "$golden" ]; then
  for f in "$golden"/*.log; do [ -e "$f" ] && logs+=("$f"); done
fi
gen=$build_dir/quillon-loggen
if [ ! -x "$gen" ]; then
  nice -n 10 cmake --build "$old_build" -j2 --target quillon-loggen >>"$old_build.log" 2>&1 ||
    { echo "no quillon-loggen to generate logs" >&2; exit 2; }
  gen=$old_build/quillon-loggen
fi
for seed in 11 12 13; do
  "$gen" -o "$work/logs/gen-$seed.log" -n 2000 --seed "$seed" >/dev/null 2>&1
  logs+=("$work/logs/gen-$seed.log")
done
"$gen" -o "$work/logs/gen-20M.log" -s 20M --seed 14 >/dev/null 2>&1
logs+=("$work/logs/gen-20M.log")

# --- The locales that are installed.
locales=()
for loc in C.UTF-8 ru_RU.UTF-8; do
  norm=$(echo "$loc" | tr 'A-Z' 'a-z' | tr -d -- -)
  if locale -a | tr 'A-Z' 'a-z' | tr -d -- - | grep -qx "$norm"; then
    locales+=("$loc")
  else
    echo "warning: locale $loc is not installed, not compared" >&2
  fi
done

comparisons=0
differences=0
same() { # label file-before file-after
  comparisons=$((comparisons + 1))
  if ! cmp -s "$2" "$3"; then
    differences=$((differences + 1))
    if [[ $1 == *" code" ]]; then
      echo "differs: $1: exit $(cat "$2") before, $(cat "$3") after"
    else
      echo "differs: $1: $(cmp "$2" "$3" 2>&1 | head -n 1 | sed "s|$work/out/old|before|g; s|$work/out/new|after|g")"
    fi
  fi
}

# Runs one command with both CLIs and compares what they printed and returned. Both run
# under the same program name, so that a usage text naming argv[0] is alike.
# Args: label locale ARGS... ; "@OUT" in ARGS is the file `save` writes.
both() {
  local label=$1 loc=$2 which args a
  shift 2
  for which in old new; do
    args=()
    for a in "$@"; do [ "$a" = @OUT ] && args+=("$work/saved") || args+=("$a"); done
    rm -f "$work/saved"
    set +e
    (unset LANGUAGE; export LC_ALL=$loc; exec -a quillon-cli "$work/$which-cli" "${args[@]}") \
      >"$work/out/$which.stdout" 2>"$work/out/$which.stderr"
    echo $? >"$work/out/$which.code"
    set -e
    if [[ " $* " == *" @OUT "* ]]; then
      [ -e "$work/saved" ] && mv "$work/saved" "$work/out/$which.saved" || echo "(no file)" >"$work/out/$which.saved"
    fi
  done
  for part in stdout stderr code; do
    same "$label $part" "$work/out/old.$part" "$work/out/new.$part"
  done
  if [[ " $* " == *" @OUT "* ]]; then
    same "$label saved file" "$work/out/old.saved" "$work/out/new.saved"
  fi
  if [ "${KEEP:-0}" = 1 ]; then
    local keep="$work/kept/${label//[ \/\[\]]/_}"
    mkdir -p "$keep" && cp "$work"/out/* "$keep"/
  fi
}

for log in "${logs[@]}"; do
  name=$(basename "$log")
  for loc in "${locales[@]}"; do
    tag="[$loc] $name"
    both "list $tag" "$loc" list "$log"
    both "list --json $tag" "$loc" list --json "$log"
    both "stats $tag" "$loc" stats "$log"
    both "save $tag" "$loc" save "$log" @OUT
    # First, middle and last command by the old CLI's count, and one beyond the end.
    count=$(LC_ALL=C.UTF-8 "$work/old-cli" list --json "$log" 2>/dev/null | wc -l)
    for n in $(printf '%s\n' 1 $(((count + 1) / 2)) "$count" $((count + 1)) | awk '$1 > 0' | sort -nu); do
      both "show $n $tag" "$loc" show "$log" "$n"
    done
  done
done

if [ "$differences" -eq 0 ]; then
  echo "identical: $comparisons comparisons (${#logs[@]} logs, ${#locales[@]} locales, before $short)"
  exit 0
fi
echo "$differences of $comparisons comparisons differ (before $short)"
[ "${KEEP:-0}" = 1 ] && echo "outputs kept in $work/kept"
exit 1
