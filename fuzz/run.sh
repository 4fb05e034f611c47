#!/bin/bash
# Runs every fuzz target: first over its saved corpus (fuzz/corpus/NAME), then
# for a bounded time (short: 20 s each, long: 600 s each, or FUZZ_SECONDS).
# New inputs go to build/fuzz/corpus-NAME, never into the saved corpus.
# Prints "N passed, N failed" (one case per target and phase).
set -uo pipefail
cd "$(dirname "$0")/.."
case "${1:-short}" in
  short) seconds=${FUZZ_SECONDS:-20} ;;
  long) seconds=${FUZZ_SECONDS:-600} ;;
  *) echo "usage: $0 short|long" >&2; exit 2 ;;
esac
passed=0
failed=0
for bin in build/fuzz/bin/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  saved="fuzz/corpus/${name#fuzz_}"
  work="build/fuzz/corpus-${name#fuzz_}"
  mkdir -p "$work" "$saved"
  if "$bin" -runs=0 "$saved" >"build/fuzz/$name-corpus.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name over saved corpus"
  else
    failed=$((failed + 1)); echo "FAIL $name over saved corpus"; tail -30 "build/fuzz/$name-corpus.log"
  fi
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="build/fuzz/$name-" "$work" "$saved" >"build/fuzz/$name-run.log" 2>&1; then
    passed=$((passed + 1))
    echo "ok   $name for ${seconds}s: $(grep -E 'stat::number_of_executed_units' "build/fuzz/$name-run.log" | awk '{print $2}') runs"
  else
    failed=$((failed + 1)); echo "FAIL $name"; tail -40 "build/fuzz/$name-run.log"
  fi
done
echo "fuzz: ${passed} passed, ${failed} failed"
[ "$failed" = 0 ]
