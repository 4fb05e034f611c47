#!/bin/bash
# Runs the Windows programs under Wine (x86_64 build, private prefix, Xvfb
# display started here and stopped on exit). Prints "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/wine/env.sh
wine_start || { echo "wine: 0 passed, 1 failed"; exit 1; }
trap wine_stop EXIT

passed=0
failed=0
for t in tests/wine/t_*.sh; do
  [ -f "$t" ] || continue
  name=$(basename "$t" .sh)
  if bash "$t" >"$WINE_LOGS/$name.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    failed=$((failed + 1)); echo "FAIL $name"; tail -40 "$WINE_LOGS/$name.log"
  fi
done
echo "wine: ${passed} passed, ${failed} failed"
[ "$failed" = 0 ]
