#!/bin/bash
# Runs every test: the unit tests (plain and under sanitizers), a short run
# of each fuzz target over its saved corpus, and the Windows programs under
# Wine. Installs what it needs first. Prints "N passed, N failed" last.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh all || exit 1
scripts/build.sh native win64 win32 sanitize fuzz || exit 1
# The sample disc set: the Wine install tests run on it.
scripts/make-samples.sh >build/make-samples.log 2>&1 || { tail -30 build/make-samples.log; exit 1; }

passed=0
failed=0
stage() {  # stage NAME COMMAND...: runs one stage and counts its tests
  local name=$1; shift
  echo "=== $name"
  local log="build/stage-$name.log"
  "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  # ctest: "NN% tests passed, F tests failed out of T"; our harnesses: "P passed, F failed"
  local line p f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    local t=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    p=$((t - f))
  else
    line=$(grep -E '^[a-z-]*:? ?[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    p=$(sed -E 's/^[^0-9]*([0-9]+) passed.*/\1/' <<<"${line:-0 passed}")
    f=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"${line:-0 failed}")
  fi
  if [ "$rc" != 0 ] && [ "${f:-0}" = 0 ]; then f=1; fi
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  echo "=== $name: exit $rc"
}

stage unit ctest --test-dir build/native --output-on-failure -j2
stage sanitize ctest --test-dir build/sanitize --output-on-failure -j2
stage fuzz fuzz/run.sh short
stage imports tests/check_imports.sh
stage wine tests/wine/run.sh
# The program on a Western system (code page 1252): the windows, prompts,
# messages and a whole install, start and uninstall of the sample game.
stage wine-en_US env KSETUP_LOCALE=en_US.UTF-8 tests/wine/run.sh t_launcher t_changecd t_install_errors \
  t_install_full t_locale

echo "${passed} passed, ${failed} failed"
[ "$failed" = 0 ]
