#!/bin/bash
# Runs every test: the unit tests (plain and under sanitizers), a short run
# of each fuzz target over its saved corpus, and the Windows programs under
# Wine; then the same for 32-bit x86 (the i686 stages below). Installs what
# it needs first. One line per stage tells what ran for which build and what
# was skipped and why; "N passed, N failed, N skipped" comes last. A skipped
# test is never counted as passed.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh all || exit 1
mkdir -p build
# The 32-bit root comes from the cache, or is made while the host builds.
scripts/root32.sh prepare >build/root32-prepare.log 2>&1 &
root32_prepare=$!
scripts/build.sh native win64 win32 sanitize fuzz || exit 1
# The sample disc set: the Wine install tests run on it.
scripts/make-samples.sh >build/make-samples.log 2>&1 || { tail -30 build/make-samples.log; exit 1; }

passed=0
failed=0
skipped=0
summary=()
declare -A stage_what=() stage_note=()

# account NAME RC SECONDS: counts a finished stage from its log and says what
# it ran, in one line (kept for the summary at the end).
account() {
  local name=$1 rc=$2 took=$3 log="build/stage-$1.log"
  stage_rc=$rc
  # ctest: "NN% tests passed, F tests failed out of T", then the skipped
  # tests listed as "(Skipped)" or "(Disabled)"; our harnesses: "P passed,
  # F failed[, S skipped]".
  local line p=0 f=0 s=0 counted=1
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    local t=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    s=$(grep -cE '^ *[0-9]+ - .* \((Skipped|Disabled|Not Run)\)' "$log")
    p=$((t - f - s))
  else
    line=$(grep -E '^[a-z-]*:? ?[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    if [ -n "$line" ]; then
      p=$(sed -E 's/^[^0-9]*([0-9]+) passed.*/\1/' <<<"$line")
      f=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")
      s=$(sed -nE 's/.* ([0-9]+) skipped.*/\1/p' <<<"$line")
    else
      counted=0
    fi
  fi
  if [ "$rc" != 0 ] && [ "${f:-0}" = 0 ]; then f=1; fi
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  skipped=$((skipped + ${s:-0}))
  local text="$name: ${stage_what[$name]:-}: ${p:-0} passed, ${f:-0} failed, ${s:-0} skipped"
  # A stage without tests of its own (the root, the builds) just worked or not.
  if [ "$counted" = 0 ]; then
    if [ "$rc" = 0 ]; then text="$name: ${stage_what[$name]:-}: done"; else text="$name: ${stage_what[$name]:-}: FAILED"; fi
  fi
  [ -n "${stage_note[$name]:-}" ] && text+=" (${stage_note[$name]})"
  local retried path
  retried=$(grep -c '(on the second run)' "$log")
  [ "$retried" = 0 ] || text+="; $retried passed on a second run"
  path=$(sed -n 's/^root32: path: //p' "$log" | head -1)
  [ -z "$path" ] || text+="; path: $path"
  text+="; exit $rc, ${took} s"
  summary+=("$text")
  echo "=== $text"
}

stage() {  # stage NAME COMMAND...: runs one stage and counts its tests
  local name=$1; shift
  echo "=== $name"
  local start=$SECONDS
  "$@" 2>&1 | tee "build/stage-$name.log"
  account "$name" "${PIPESTATUS[0]}" $((SECONDS - start))
}

# stage_begin NAME COMMAND...: the same in the background, its output kept
# in its log until stage_end NAME shows it and counts it.
stage_begin() {
  local name=$1; shift
  ( start=$SECONDS; "$@" >"build/stage-$name.log" 2>&1
    echo "$? $((SECONDS - start))" >"build/stage-$name.rc" ) &
}
stage_end() {
  local name=$1 rc took
  wait
  read -r rc took <"build/stage-$name.rc"
  echo "=== $name"
  cat "build/stage-$name.log"
  account "$name" "$rc" "$took"
}

# skip_stage NAME COUNT REASON: a stage that did not run; its COUNT tests
# (1 when unknown) are skipped, not passed.
skip_stage() {
  skipped=$((skipped + ${2:-1}))
  summary+=("$1: ${stage_what[$1]:-}: skipped ($3)")
  echo "=== ${summary[-1]}"
}

stage_what[unit]="x86_64 unit tests (build/native, GCC)"
stage_what[sanitize]="x86_64 unit tests under ASan and UBSan (build/sanitize, clang)"
stage_what[fuzz]="x86_64 libFuzzer targets over their saved corpora, then 20 s each (build/fuzz)"
stage_what[wine]="x86_64 KSetup.exe under Wine, 64-bit prefix (build/wine, screenshots build/e2e)"
stage_what[imports]="DLLs imported by both KSetup.exe builds, and their blends' prefetches"
stage_what[release]="signed, reproducible and verified sample discs; the version resource; the Debian package installed with dpkg"
stage unit ctest --test-dir build/native --output-on-failure -j2
stage sanitize ctest --test-dir build/sanitize --output-on-failure -j2
stage fuzz fuzz/run.sh short
stage imports tests/check_imports.sh
stage release tests/release/run.sh
# The x86_64 Wine suite, then the program on a Western system (code page
# 1252): the windows, prompts, messages and a whole install, start and
# uninstall of the sample game.
stage_what[wine-en_US]="x86_64 KSetup.exe under Wine on a Western system (en_US.UTF-8, code page 1252)"
wine_stages() {
  stage wine tests/wine/run.sh
  stage wine-en_US env KSETUP_LOCALE=en_US.UTF-8 tests/wine/run.sh t_launcher t_changecd t_install_errors \
    t_install_full t_locale
}

# ---- 32-bit x86 (i686) ---------------------------------------------------------
# In the root of scripts/root32.sh: the core's unit tests built with -m32,
# plain (the packed blend's SSE2 and scalar paths each forced) and under ASan
# and UBSan, the saved fuzz inputs replayed through both builds, and the
# i686 KSetup.exe under Wine in a WoW64 prefix. Where the kernel runs 32-bit
# code the root is entered with chroot and everything runs, the Wine suite
# beside the x86_64 one; elsewhere the root boots under QEMU's software
# emulation, about 70 times slower: the sanitizer unit tests are left out
# there and the Wine suite is cut to the launcher, the sample's full install,
# and an install and uninstall with the WoW64 checks.
stage_what[root-i686]="32-bit root (${KSETUP_CACHE:-/var/cache/ksetup}/root-i386)"
stage_what[build-i686]="i686 builds in the root (build/native32: GCC -m32; build/sanitize32: clang -m32, ASan and UBSan)"
stage_what[unit-i686]="i686 unit tests (build/native32; every blend and decoder path the processor has forced)"
stage_what[sanitize-i686]="i686 unit tests under ASan and UBSan (build/sanitize32)"
stage_what[corpus-i686]="i686 replay of the saved fuzz inputs (build/native32, then build/sanitize32 under ASan and UBSan)"
stage_what[wine-i686]="i686 KSetup.exe under Wine, WoW64 prefix (build/wine-win32, screenshots build/e2e-win32)"
# The root's preparation ran in the background of this shell, so it is
# waited for here and not in a stage (stages run in a pipeline's subshell).
wait "$root32_prepare"
root32_prepare_rc=$?
root32_ready() {
  local rc=$root32_prepare_rc
  cat build/root32-prepare.log
  local mode why
  { read -r mode; read -r why; } < <(scripts/root32.sh mode)
  echo "root32: path: $mode ($why)"
  return "$rc"
}
build32() {
  scripts/root32.sh build bash -c '
    for p in native32 sanitize32; do
      [ -f "build/$p/CMakeCache.txt" ] || cmake --preset "$p" >/dev/null || exit 1
      cmake --build "build/$p" -j2 >"build/$p-build.log" 2>&1 ||
        { tail -40 "build/$p-build.log"; echo "build of preset $p failed"; exit 1; }
    done'
}
corpus32() {
  scripts/root32.sh run bash -c 'ctest --test-dir build/native32 -L corpus --output-on-failure &&
    ctest --test-dir build/sanitize32 -L corpus --output-on-failure' >build/corpus32.out 2>&1
  local rc=$?
  grep -vE 'tests passed, [0-9]+ tests? failed out of' build/corpus32.out
  local p f
  p=$(grep -cE 'Test +#[0-9]+: corpus\..* Passed' build/corpus32.out)
  f=$(grep -cE 'Test +#[0-9]+: corpus\..*(Failed|Exception|Timeout)' build/corpus32.out)
  [ "$rc" = 0 ] || [ "$f" != 0 ] || f=1
  echo "corpus: $p passed, $f failed"
  return "$rc"
}
# The Wine suite in the emulated machine, the prefix on the machine's own
# disk (the install copies then stay off the 9p share). The prefix is made
# first by the 64-bit loader: there the boot takes minutes, and a 32-bit
# process that starts it gives up after five (kernel32.dll not found).
wine32_emulated='
  export WINEPREFIX=/var/tmp/ksetup-wine-win32/prefix DISPLAY=:99
  mkdir -p "$WINEPREFIX"
  Xvfb :99 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  start=$SECONDS
  (source tests/wine/env.sh && /usr/lib/wine/wine64 wineboot --init >"$WINE_LOGS/wineboot.log" 2>&1; wineserver -w)
  kill $! 2>/dev/null
  echo "wineboot of the WoW64 prefix: $((SECONDS - start)) s"
  [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || { echo "wine: 0 passed, 1 failed"; exit 1; }
  unset DISPLAY
  exec tests/wine/run.sh'
stage root-i686 root32_ready
if [ "$stage_rc" != 0 ]; then
  for s in build-i686 unit-i686 sanitize-i686 corpus-i686 wine-i686; do skip_stage "$s" 1 "no 32-bit root"; done
  wine_stages
else
  mode=$(scripts/root32.sh mode | head -1)
  stage build-i686 build32
  if [ "$stage_rc" != 0 ]; then
    for s in unit-i686 sanitize-i686 corpus-i686 wine-i686; do skip_stage "$s" 1 "the i686 build failed"; done
    wine_stages
  elif [ "$mode" = chroot ]; then
    stage unit-i686 scripts/root32.sh run ctest --test-dir build/native32 -LE corpus --output-on-failure -j2
    stage sanitize-i686 scripts/root32.sh run ctest --test-dir build/sanitize32 -LE corpus --output-on-failure -j2
    stage corpus-i686 corpus32
    # Both Wine suites at once: separate prefixes, displays and namespaces.
    KSETUP_WIN_BUILD=win32 KSETUP_TEST_TOOL="$PWD/build/native32/bin/ksetup-tool" \
      stage_begin wine-i686 scripts/root32.sh run tests/wine/run.sh
    wine_stages
    stage_end wine-i686
  else
    stage unit-i686 scripts/root32.sh run ctest --test-dir build/native32 -LE corpus --output-on-failure -j2
    # As many tests as the plain run had.
    skip_stage sanitize-i686 "$(sed -nE 's/.* out of ([0-9]+).*/\1/p' build/stage-unit-i686.log | tail -1)" \
      "emulated machine: the sanitizer unit tests would take hours; the saved fuzz inputs still run under them"
    stage corpus-i686 corpus32
    wine_stages
    stage_note[wine-i686]="emulated machine: only t_launcher t_install_full t_wow64"
    KSETUP_WIN_BUILD=win32 KSETUP_TEST_TOOL="$PWD/build/native32/bin/ksetup-tool" \
      KSETUP_WINE_TESTS="t_launcher t_install_full t_wow64" \
      stage wine-i686 scripts/root32.sh run bash -c "$wine32_emulated"
  fi
fi

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "${passed} passed, ${failed} failed, ${skipped} skipped"
[ "$failed" = 0 ]
