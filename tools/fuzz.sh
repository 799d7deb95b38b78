#!/usr/bin/env bash
# Fuzzes each libFuzzer target for a while:
#   tools/fuzz.sh [SECONDS] [--keep] [TARGET...]
# SECONDS per target (default 300); TARGETs by name (default all, e.g. fuzz_tlv).
# Builds the targets with clang in $QUILLON_FUZZ_BUILD (default build-fuzz). Each one runs
# on a scratch copy of tests/fuzz/corpus/<target> and of its crash inputs, so the inputs it
# finds stay out of the repository; with --keep those that add coverage are merged into
# the corpus afterwards. Crash, leak, timeout and out-of-memory inputs are saved in
# tests/fuzz/crashes/<target>/. Prints the executions and the outcome per target; exits 1
# when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=300
keep=0
targets=()
for arg in "$@"; do
  case "$arg" in
    --keep) keep=1 ;;
    [0-9]*) seconds=$arg ;;
    *) targets+=("$arg") ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_parselog fuzz_tlv fuzz_decoders)

build=${QUILLON_FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLON_FUZZ=ON -DQUILLON_CORE_ONLY=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF > /dev/null
cmake --build "$build" -j2 --target fuzzers > /dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/$target
  crashes=tests/fuzz/crashes/$target
  [ -d "$corpus" ] || { echo "$target: no corpus in $corpus" >&2; exit 2; }
  mkdir -p "$crashes" "$scratch/$target"
  cp "$corpus"/* "$scratch/$target/"
  find "$crashes" -maxdepth 1 -type f ! -name 'README*' -exec cp {} "$scratch/$target/" \;
  log=$scratch/$target.log
  status=0
  "$build/tests/fuzz/$target" "$scratch/$target" -max_total_time="$seconds" \
    -print_final_stats=1 -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$crashes/" \
    > "$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -eq 0 ]; then
    echo "$target: ${runs:-?} executions in $seconds s, no crash"
  else
    failed=1
    echo "$target: ${runs:-?} executions, FAILED (exit $status)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' "$log" || tail -n 20 "$log"
  fi
  if [ "$keep" -eq 1 ]; then
    "$build/tests/fuzz/$target" -merge=1 "$corpus" "$scratch/$target" > /dev/null 2>&1
    echo "$target: corpus now $(find "$corpus" -type f | wc -l) files"
  fi
done
exit $failed
