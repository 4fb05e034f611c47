# Shared by the t_*.sh tests of KSetup.exe: the programs under test, a disc
# set made by our own tools, the window driver, registry helpers and checks.
# Source it at the top of a test; it starts Wine itself when run alone.

source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

KS_BIN=${KSETUP_TEST_BIN:-$KSETUP_WINBIN}
KS_TOOL=${KSETUP_TEST_TOOL:-$KSETUP_ROOT/build/native/bin/ksetup-tool}
KS_SHOTS=${KSETUP_SHOTS:-$KSETUP_ROOT/build/e2e$KSETUP_RUN_SUFFIX${KSETUP_LOCALE_TAG:+/$KSETUP_LOCALE_TAG}}
KS_TESTS=$KSETUP_ROOT/tests/wine
mkdir -p "$KS_SHOTS" "$(dirname "$WINEPREFIX")"
KS_WORK=$(mktemp -d "$(dirname "$WINEPREFIX")/ks-XXXXXX")

# The temporary folder the program is given: blanks in its path on purpose.
KS_TEMP='C:\ks temp\with blanks'
KS_TEMP_UNIX="$WINEPREFIX/drive_c/ks temp/with blanks"
# The program files folder the program is told: a 32-bit program in a
# 64-bit prefix (WoW64) is told the (x86) one.
KS_PROGRAM_FILES='C:\Program Files'
[ "$KSETUP_WIN_BUILD" = win32 ] && [ "$WINEARCH" = win64 ] && KS_PROGRAM_FILES='C:\Program Files (x86)'
# The game's title in the test scripts, also the launcher's caption.
KS_TITLE='テストゲーム'
KS_REGKEY='HKCU\Software\KSetupTest'
KS_OWN_WINE=0

ks_cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$KS_WORK"
  if [ "$KS_OWN_WINE" = 1 ]; then wine_stop; fi
}

if [ -z "${DISPLAY:-}" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine_start || { echo "wine did not start"; exit 1; }
  KS_OWN_WINE=1
fi
trap ks_cleanup EXIT
# A step that ends the test without a message of its own names itself.
set -E
ks_on_error() {
  [ "$BASH_SUBSHELL" = 0 ] || return 0
  local i where=""
  for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do
    where+=", in ${FUNCNAME[i]} called at line ${BASH_LINENO[i]} of ${BASH_SOURCE[i + 1]##*/}"
  done
  echo "FAIL: exit $1 at line $2 of ${3##*/}: $4$where" >&2
}
trap 'ks_on_error $? $LINENO "${BASH_SOURCE[0]}" "$BASH_COMMAND"' ERR
for f in KSetup.exe ksdriver.exe standin.exe; do
  [ -f "$KS_BIN/$f" ] || { echo "missing $KS_BIN/$f (build the $KSETUP_WIN_BUILD preset)"; exit 1; }
done
[ -x "$KS_TOOL" ] || { echo "missing $KS_TOOL (build the native preset)"; exit 1; }
wine_dialog_look
# Nothing left over from an earlier test: no program holds the mutex.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
# One session for the whole test, booted before its first step. A new session
# carries out the delayed deletions and WININIT.INI as it starts, as Windows
# does at boot; one that began between two steps (the server ends soon after
# its last program, sooner than a loaded machine gets to the next step) would
# take away what the test is about to check.
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1 || { echo "wine did not start"; exit 1; }

# ---- Checks -----------------------------------------------------------------

# Messages go to standard error, so that they show also from inside $(...);
# the tests run with set -e, so a failure there ends the test as well.
ks_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# ks_expect WHAT ACTUAL EXPECTED
ks_expect() {
  if [ "$2" != "$3" ]; then
    printf 'FAIL: %s\n  expected: %s\n  actual:   %s\n' "$1" "$3" "$2" >&2
    exit 1
  fi
  echo "ok: $1"
}

# ---- Driver -------------------------------------------------------------------

# ks_drv ACTION ARGS...: runs the window driver; its output on stdout.
# ks_expect_lines WHAT FILE N: waits up to 10 s until FILE has N lines (a
# marker that stand-in programs append to), then checks the count.
ks_expect_lines() {
  local i
  for i in $(seq 50); do
    [ "$(wc -l 2>/dev/null <"$2" || echo 0)" -ge "$3" ] && break
    sleep 0.2
  done
  ks_expect "$1" "$(wc -l 2>/dev/null <"$2" || echo 0)" "$3"
}

ks_drv() {
  wine "$KS_BIN/ksdriver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# ks_start CWD PROGRAM [ARGS...]: starts a program with the test's temporary
# folder (and KSETUP_MARKER when set); prints its process id. The output goes
# through a file: the started program keeps the driver's output open.
ks_start() {
  local out="$KS_WORK/start.out" envs=(-env "TEMP=$KS_TEMP" -env "TMP=$KS_TEMP")
  [ -n "${KSETUP_MARKER_WIN:-}" ] && envs+=(-env "KSETUP_MARKER=$KSETUP_MARKER_WIN")
  wine "$KS_BIN/ksdriver.exe" start "${envs[@]}" "$@" </dev/null >"$out" 2>/dev/null ||
    ks_fail "cannot start $2: $(tr -d '\r' <"$out")"
  tr -d '\r\n' <"$out"
}

# ks_find ARGS...: the handle of a visible window (see driver find), or fail.
ks_find() {
  local h
  h=$(ks_drv find "$@") || ks_fail "no window: $*"
  echo "$h"
}

# ks_no_window ARGS... : fails when such a window shows up within the timeout.
ks_no_window() {
  if ks_drv find "$@" >/dev/null; then ks_fail "unexpected window: $*"; fi
}

ks_text() { ks_drv text "$@"; }
ks_state() { ks_drv state "$@"; }

# ks_wait_exit PID [MS]: fails when the process does not end in time.
ks_wait_exit() {
  ks_drv waitexit "$1" -timeout "${2:-10000}" >/dev/null || ks_fail "process $1 still runs"
}

# ks_running NAME: ids of the running processes with that program name.
ks_running() {
  ks_drv procs "$1" | cut -f1
}

# ks_shot NAME: a screenshot of the display as $KS_SHOTS/NAME.png.
ks_shot() {
  sleep 0.5
  wine_screenshot "$KS_SHOTS/$1.png"
  echo "screenshot: $KS_SHOTS/$1.png"
}

# ks_pixel HWND X Y: the colour "r,g,b" on the display at client point (X, Y)
# of the window, from a fresh screenshot.
ks_pixel() {
  local origin x y
  origin=$(ks_drv origin "$1") || ks_fail "no client area"
  x=$((${origin% *} + $2))
  y=$((${origin#* } + $3))
  wine_screenshot "$KS_WORK/pixel.png"
  convert "$KS_WORK/pixel.png" -crop "1x1+$x+$y" -depth 8 \
    -format '%[fx:int(255*r+0.5)],%[fx:int(255*g+0.5)],%[fx:int(255*b+0.5)]' info:-
}

# ks_expect_colour WHAT "r,g,b" "r,g,b": equal within 2 per channel (the
# packed blend may give one less than the picture's own value).
ks_expect_colour() {
  local a b i
  IFS=, read -r -a a <<<"$2"
  IFS=, read -r -a b <<<"$3"
  for i in 0 1 2; do
    local d=$(( ${a[$i]:-999} - ${b[$i]} ))
    [ "${d#-}" -le 2 ] || { printf 'FAIL: %s\n  expected colour: %s\n  actual:          %s\n' "$1" "$3" "$2" >&2; exit 1; }
  done
  echo "ok: $1"
}

# ---- Fixtures -------------------------------------------------------------------

# ks_script DIR: the script on stdin (UTF-8, LF) becomes DIR/KSetup.ini in
# code page 932 with CR LF line ends.
ks_script() {
  sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$1/KSetup.ini"
}

# The usual script: one disc, DirectX on it, no start-up commands.
ks_default_script() {
  cat <<'EOF'
APPLITITLE = "テストゲーム"
EXENAME = "GAME.EXE"
MUSTMAKEFOLDER = "\TestGame"
REGADDRESS = "Software\KSetupTest\TestGame"
BRANDNAME = "KSetupTest"
DISCNUM = 1
DISCNAME = "テストディスク１"
KEYFILE = "DATA\KEY1.DAT"
DXPLACE = "DIRECTX\DXSETUP.EXE"
DXDISC = 1
EOF
}

# ks_make_disc DIR: a first disc: the program, the archive with TITLE.EPA,
# the key file, the stand-in DirectX setup and the usual script (replace it
# with ks_script after this).
ks_make_disc() {
  local dir=$1
  mkdir -p "$dir/DATA" "$dir/DIRECTX"
  cp "$KS_BIN/KSetup.exe" "$dir/KSetup.exe"
  cp "$KS_BIN/standin.exe" "$dir/DIRECTX/DXSETUP.EXE"
  echo "disc 1" >"$dir/DATA/KEY1.DAT"
  if [ ! -f "$KS_WORK/TITLE.EPA" ]; then
    perl "$KS_TESTS/make_title.pl" "$KS_WORK/TITLE.EPA" || ks_fail "no title picture"
  fi
  "$KS_TOOL" pak create "$dir/Instdata.pak" "$KS_WORK/TITLE.EPA" >/dev/null || ks_fail "no archive"
  ks_default_script | ks_script "$dir"
}

# ks_run_folder: the host path of the program's folder of its own in the
# temporary folder (KSetup- and 16 hexadecimal digits); fails unless there is
# exactly one.
ks_run_folder() {
  local found=() f
  for f in "$KS_TEMP_UNIX"/KSetup-*; do [ -d "$f" ] && found+=("$f"); done
  [ ${#found[@]} = 1 ] || ks_fail "expected one KSetup-* folder in the temporary folder, found: ${found[*]:-none}"
  [[ "$(basename "${found[0]}")" =~ ^KSetup-[0-9A-F]{16}$ ]] || ks_fail "unexpected folder name ${found[0]}"
  echo "${found[0]}"
}

# ks_fresh_temp: an empty temporary folder for the program.
ks_fresh_temp() {
  rm -rf "$KS_TEMP_UNIX"
  mkdir -p "$KS_TEMP_UNIX"
}

# ---- Registry -------------------------------------------------------------------

ks_reg() { wine reg "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# ks_installed FOLDER: the game counts as installed in FOLDER.
ks_installed() {
  ks_reg add "$KS_REGKEY\\TestGame" /v InstallFolder /t REG_SZ /d "$1" /f >/dev/null ||
    ks_fail "cannot write the install record"
}

ks_not_installed() { ks_reg delete "$KS_REGKEY" /f >/dev/null || true; }

KS_SESSION='HKLM\System\CurrentControlSet\Control\Session Manager'

# The system's list of files to delete (or rename) at the next start.
ks_pending_deletes() {
  ks_reg query "$KS_SESSION" /v PendingFileRenameOperations
}

# ks_pending_list: the names in that list, one per line (a deletion's empty
# target as an empty line).
ks_pending_list() {
  ks_pending_deletes | sed -n 's/.*REG_MULTI_SZ *//p' | sed 's/\\0/\n/g'
}

ks_clear_pending_deletes() {
  ks_reg delete "$KS_SESSION" /v PendingFileRenameOperations /f >/dev/null || true
}
