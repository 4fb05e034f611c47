#!/bin/bash
# The lint checks, each counted as one test: the layering check and its
# self-test, the format of the changed lines, and clang-tidy over the core
# and the tool. Ends with "lint: N passed, N failed".
#
# Usage: scripts/lint.sh [layers|format|tidy]...   (all when none is named)
# The format check looks at the lines changed since KSETUP_LINT_BASE, else
# since the merge base with main, else (on main itself) since the commit
# before the last one landed. clang-tidy reads build/native/compile_commands.json
# (made here by a configure of the native preset when missing).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

passed=0
failed=0
run() {  # run NAME COMMAND...: one test
  local name=$1 start=$SECONDS rc
  shift
  echo "--- $name"
  "$@"
  rc=$?
  if [ "$rc" = 0 ]; then passed=$((passed + 1)); echo "--- $name: ok ($((SECONDS - start)) s)"
  else failed=$((failed + 1)); echo "--- $name: FAILED ($((SECONDS - start)) s)"; fi
}

# ---- Format -----------------------------------------------------------------
# The tree is not reformatted as a whole: the lines a change adds or edits
# must be as clang-format writes them. Renames are followed, so a moved file
# counts only with the lines its move changed.
format_base() {
  if [ -n "${KSETUP_LINT_BASE:-}" ]; then echo "$KSETUP_LINT_BASE"; return; fi
  if git rev-parse -q --verify main >/dev/null && [ "$(git rev-parse HEAD)" != "$(git rev-parse main)" ]; then
    git merge-base HEAD main
  else
    git rev-parse -q --verify HEAD^1
  fi
}
check_format() {
  local base
  base=$(format_base) || true
  if [ -z "$base" ]; then echo "format: no earlier commit to compare with; nothing to check"; return 0; fi
  echo "format: lines changed since $(git log -1 --format='%h %s' "$base" | cut -c1-80)"
  # FILE FIRST:LAST ... for every changed C++ file (working tree included).
  local changed
  changed=$(git diff -M -U0 --no-color "$base" -- '*.cpp' '*.h' '*.c' '*.hpp' | awk '
    /^\+\+\+ / { if (file != "" && lines != "") print file lines; file = substr($2, 3); lines = ""
                 if ($2 == "/dev/null") file = ""; next }
    /^@@ / && file != "" {
      split($3, r, ","); start = substr(r[1], 2); count = (2 in r) ? r[2] : 1
      if (count > 0) lines = lines " " start ":" (start + count - 1)
    }
    END { if (file != "" && lines != "") print file lines }')
  local bad=0 file ranges args r n=0
  while read -r file ranges; do
    if [ -z "$file" ] || [ ! -f "$file" ]; then continue; fi
    n=$((n + 1))
    args=()
    for r in $ranges; do args+=("--lines=$r"); done
    if ! clang-format "${args[@]}" "$file" | diff -u --label "$file" --label "$file (clang-format)" "$file" -; then
      bad=$((bad + 1))
    fi
  done <<<"$changed"
  echo "format: $n changed files, $bad not formatted (the diffs above are the fix; git clang-format $base applies them where no file was moved)"
  [ "$bad" = 0 ]
}

# ---- clang-tidy ---------------------------------------------------------------
# The native build's sources of the core and the tool (the tests, benchmarks
# and fuzz targets are left out: they are not shipped, and gtest's macros
# are slow to analyse). Two at a time.
check_tidy() {
  local db=build/native/compile_commands.json
  if [ ! -f "$db" ]; then cmake --preset native >/dev/null || return 1; fi
  local files
  files=$(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" | sed "s|^$PWD/||" |
    grep -vE '^(tests|bench|fuzz|build)/' | LC_ALL=C sort -u)
  echo "tidy: $(wc -w <<<"$files") sources of build/native"
  local out=build/lint-tidy.log
  # shellcheck disable=SC2086
  printf '%s\n' $files | xargs -P2 -n4 clang-tidy -p build/native --quiet >"$out" 2>&1
  local rc=$?
  # The findings with their notes; not the counts of what the checks left out.
  grep -vE '^([0-9]+ warnings?( and [0-9]+ errors?)? generated|Suppressed [0-9]+ warnings|Use -header-filter|[0-9]+ warnings? treated as errors?)' "$out"
  return "$rc"
}

want=("$@")
[ ${#want[@]} -gt 0 ] || want=(layers format tidy)
for w in "${want[@]}"; do
  case "$w" in
    layers) run layers scripts/check_layers.sh
            run layers-self-test scripts/check_layers.sh --self-test ;;
    format) run format check_format ;;
    tidy) run tidy check_tidy ;;
    *) echo "usage: $0 [layers|format|tidy]..." >&2; exit 2 ;;
  esac
done
echo "lint: $passed passed, $failed failed"
[ "$failed" = 0 ]
