#!/bin/bash
# Runs the Windows programs under Wine (the x86_64 build, or the one
# KSETUP_WIN_BUILD names: see env.sh; private prefix, Xvfb display started
# here and stopped on exit): every t_*.sh test, or those named (run.sh
# t_launcher t_locale). KSETUP_LOCALE picks the locale (see env.sh).
# KSETUP_WINE_TESTS="t_a t_b ..." runs only those tests and reports the
# others as skipped. Prints "N passed, N failed" (and ", N skipped").
# A test that fails is run once more, because these tests drive a GUI by its
# timing; a pass on the second run is reported as such, with the first log
# kept beside the second (NAME.first.log).
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/wine/env.sh
wine_start || { echo "wine: 0 passed, 1 failed"; exit 1; }
trap wine_stop EXIT

passed=0
failed=0
skipped=0
tests=("$@")
[ ${#tests[@]} -gt 0 ] || tests=(tests/wine/t_*.sh)
echo "wine: ${KSETUP_WIN_BUILD}, ${KSETUP_LOCALE}, ${#tests[@]} tests"
for t in "${tests[@]}"; do
  [[ "$t" == */* ]] || t=tests/wine/$t
  [[ "$t" == *.sh ]] || t=$t.sh
  [ -f "$t" ] || { failed=$((failed + 1)); echo "FAIL $t: no such test"; continue; }
  name=$(basename "$t" .sh)
  if [ -n "${KSETUP_WINE_TESTS:-}" ] && [[ " $KSETUP_WINE_TESTS " != *" $name "* ]]; then
    skipped=$((skipped + 1)); echo "skip $name (not in KSETUP_WINE_TESTS)"
    continue
  fi
  if bash "$t" >"$WINE_LOGS/$name.log" 2>&1; then
    passed=$((passed + 1)); echo "ok   $name"
  else
    mv "$WINE_LOGS/$name.log" "$WINE_LOGS/$name.first.log"
    echo "---- $name failed once; the end of its log:"; tail -15 "$WINE_LOGS/$name.first.log"
    if bash "$t" >"$WINE_LOGS/$name.log" 2>&1; then
      passed=$((passed + 1)); echo "ok   $name (on the second run)"
    else
      failed=$((failed + 1)); echo "FAIL $name"; tail -40 "$WINE_LOGS/$name.log"
    fi
  fi
done
echo "wine: ${passed} passed, ${failed} failed$([ "$skipped" = 0 ] || echo ", $skipped skipped")"
[ "$failed" = 0 ]
