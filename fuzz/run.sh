#!/bin/bash
# Runs every fuzz target: first over its saved corpus (fuzz/corpus/NAME), then
# for a bounded time (short: 20 s each, long: 600 s each, or FUZZ_SECONDS),
# one target after the other. FUZZ_BUILD names the build folder (build/fuzz).
# New inputs go to FUZZ_BUILD/corpus-NAME, never into the saved corpus; a
# crashing input is kept as FUZZ_BUILD/fuzz_NAME-crash-*.
# Prints "N passed, N failed" (one case per target and phase); a target whose
# source has no built program counts as failed.
set -uo pipefail
cd "$(dirname "$0")/.."
case "${1:-short}" in
  short) seconds=${FUZZ_SECONDS:-20} ;;
  long) seconds=${FUZZ_SECONDS:-600} ;;
  *) echo "usage: $0 short|long" >&2; exit 2 ;;
esac
build=${FUZZ_BUILD:-build/fuzz}
passed=0
failed=0
for src in fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  bin="$build/bin/$name"
  if [ ! -x "$bin" ]; then
    failed=$((failed + 1)); echo "FAIL $name: $bin not built"
    continue
  fi
  saved="fuzz/corpus/${name#fuzz_}"
  work="$build/corpus-${name#fuzz_}"
  mkdir -p "$work" "$saved"
  if "$bin" -runs=0 "$saved" >"$build/$name-corpus.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name over saved corpus ($(ls "$saved" | wc -l) inputs)"
  else
    failed=$((failed + 1)); echo "FAIL $name over saved corpus"; tail -30 "$build/$name-corpus.log"
  fi
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/$name-" "$work" "$saved" >"$build/$name-run.log" 2>&1; then
    passed=$((passed + 1))
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$build/$name-run.log")
    echo "ok   $name for ${seconds}s: ${runs:-?} runs"
  else
    failed=$((failed + 1)); echo "FAIL $name"; tail -40 "$build/$name-run.log"
  fi
done
echo "fuzz: ${passed} passed, ${failed} failed"
[ "$failed" = 0 ]
