#!/bin/bash
# KSetup.exe on the sample disc set under Wine, started the way a player
# starts it: E:\KSetup.exe from the first disc, with an empty command line
# and E:\ as the current folder, so that it first moves itself into the
# temporary folder. Drive E: is a CD-ROM drive of a Wine prefix of the
# demo's own (build/demo/prefix); scripts/swap-disc.sh changes its disc.
#
#   scripts/demo-wine.sh [auto|display|headless]   run (default auto)
#   scripts/demo-wine.sh which                      the mode auto would pick
#
# display   The launcher opens on your X display ($DISPLAY) for you to use;
#           the script waits until the program (and the game, if you start
#           it) has ended. The prefix keeps what you did for the next run.
# headless  On an Xvfb display of its own it plays a whole round by itself:
#           install with the full option (disc 2 swapped in when asked for),
#           start the game, uninstall with the save data, check that nothing
#           is left. Screenshots, the frames of the install and an animated
#           GIF of it go to build/demo/.
# auto      display when $DISPLAY answers, else headless. KSETUP_USE_DISPLAY=1
#           or KSETUP_USE_DISPLAY=0 decides instead.
#
# Needs the win64 build (KSetup.exe, ksdriver.exe), the native ksetup-tool
# and the sample discs (scripts/make-samples.sh); scripts/demo.sh does all
# of that first. Exits non-zero, saying which step failed, when one does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/demo
discs=$root/build/samples
bin=$root/build/win64/bin
tool=$root/build/native/bin/ksetup-tool

pick_mode() {
  case "${KSETUP_USE_DISPLAY:-}" in
    1) echo display ;;
    0) echo headless ;;
    *) if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
         echo display
       else
         echo headless
       fi ;;
  esac
}

mode=${1:-auto}
case "$mode" in
  which) pick_mode; exit 0 ;;
  auto) mode=$(pick_mode) ;;
  display|headless) ;;
  *) echo "usage: $0 [auto|display|headless|which]" >&2; exit 2 ;;
esac
if [ "$mode" = display ]; then
  [ -n "${DISPLAY:-}" ] || { echo "demo: no DISPLAY to open the launcher on" >&2; exit 1; }
  export KSETUP_USE_DISPLAY=1
else
  export KSETUP_USE_DISPLAY=0
fi

export WINEPREFIX=$out/prefix
export WINE_LOGS=$out/logs
source tests/wine/env.sh

for f in "$bin/KSetup.exe" "$bin/ksdriver.exe" "$tool" "$discs/disc1/KSetup.exe" "$discs/disc1/KSetup.ini"; do
  [ -e "$f" ] || { echo "demo: missing $f (run bash scripts/demo.sh)" >&2; exit 1; }
done

# ---- Helpers ----------------------------------------------------------------

step_name=""
step() { step_name=$*; echo "--- $*"; }

# fail MESSAGE: says which step failed, keeps a picture of the screen.
fail() {
  echo "demo: FAILED${step_name:+ at \"$step_name\"}: $*" >&2
  if [ -n "${KSETUP_XVFB_PID:-}" ]; then
    wine_screenshot "$out/failed.png" && echo "demo: the screen at that moment: build/demo/failed.png" >&2
  fi
  exit 1
}

# drv ACTION ARGS...: the window driver of the Wine tests.
drv() {
  wine "$bin/ksdriver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# window ARGS...: the handle of a visible window (see the driver's find).
window() { drv find "$@" || fail "no window ($*)"; }

# start PROGRAM [-env NAME=VALUE]...: starts a program of drive E: with E:\
# as its current folder and an empty command line; prints its process id.
# Its output goes through a file: the started program keeps the driver's
# standard output open.
start() {
  local program=$1 started=$WINE_LOGS/start.out
  shift
  wine "$bin/ksdriver.exe" start "$@" 'E:\' "$program" </dev/null >"$started" 2>/dev/null ||
    fail "cannot start $program: $(tr -d '\r' <"$started")"
  tr -d '\r\n' <"$started"
}

pid_of() { drv windows | awk -v h="$1" '$1 == h { print $2 }'; }

# expect WHAT ACTUAL EXPECTED
expect() {
  [ "$2" = "$3" ] || fail "$1: expected \"$3\", found \"$2\""
}

# The setup script's values the demo needs, from the tool's JSON dump.
dump=$("$tool" script dump "$discs/disc1")
field() {  # field NAME: a text field (the first item of a list)
  sed -n "s/.*\"$1\":\[\?\"\([^\"]*\)\".*/\1/p" <<<"$dump" | sed 's/\\\\/\\/g'
}
numbers() {  # numbers NAME: a list of number lists, one line per disc
  grep -o "\"$1\":\[\(\[[0-9,]*\],\?\)*\]" <<<"$dump" | sed 's/^"[^"]*":\[//; s/\]$//; s/\],\[/]\n[/g' | tr -d '[]'
}
# disc_bytes MASK: the bytes an install option selects, one line per disc.
disc_bytes() {
  paste -d';' <(numbers fileSize) <(numbers fileOption) |
    awk -F';' -v mask="$1" '{ n = split($1, size, ","); split($2, option, ","); t = 0
      for (i = 1; i <= n; i++) if (int(option[i] / mask) % 2) t += size[i]; print t }'
}

title=$(field appliTitle)
must=$(field mustMakeFolder)
regkey="HKCU\\$(field regAddress)"
brand=$(field brandName)
first_link=$(field shortcutName)
exe=$(field exeName)
[ -n "$title" ] && [ -n "$must" ] && [ -n "$brand" ] || fail "cannot read the sample's setup script"

# Where the program puts things in the prefix (host paths).
folder_win="C:\\Program Files\\Slumber\\$must"
folder=$WINEPREFIX/drive_c/Program\ Files/Slumber/${must#\\}

# prefix_paths: the temporary folder and the Programs menu of the prefix's
# user (the menu folder appears with the first shortcut).
prefix_paths() {
  local t
  t=$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')
  temp=$(winepath -u "$t" 2>/dev/null) || true
  [ -n "$temp" ] && [ -d "$temp" ] || fail "the prefix has no temporary folder ($t)"
  menu_folder
}
menu_folder() {
  local programs
  programs=$(find "$WINEPREFIX/drive_c/users" -maxdepth 7 -type d -path '*Start Menu/Programs' | head -1)
  menu=${programs:-$WINEPREFIX/drive_c/nowhere}/$brand
}

# ---- Throttle -----------------------------------------------------------------
# The sample's 40 MB copy takes a fraction of a second here; to see the
# install scene at work the program is let run only 4 ms of every 100 ms
# while it copies, like the CD-ROM drives the program was made for.

throttle_pid=""

# copy_pid: the host process of the program's copy in its folder in the temporary folder
# of this prefix (other prefixes may run KSetup.exe at the same time).
copy_pid() {
  local p
  for p in /proc/[0-9]*; do
    { tr '\0' ' ' <"$p/cmdline"; } 2>/dev/null | grep -q 'Temp\\KSetup-[0-9A-Fa-f]*\\KSetup\.exe' || continue
    if { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "${p#/proc/}"
      return 0
    fi
  done
  return 1
}

throttle_start() {
  local unix=$1
  (
    trap 'kill -CONT '"$unix"' 2>/dev/null; exit 0' TERM
    while kill -STOP "$unix" 2>/dev/null; do
      sleep 0.096
      kill -CONT "$unix" 2>/dev/null || break
      sleep 0.004
    done
  ) &
  throttle_pid=$!
}

throttle_stop() {
  if [ -n "$throttle_pid" ]; then
    kill "$throttle_pid" 2>/dev/null || true
    wait "$throttle_pid" 2>/dev/null || true
    throttle_pid=""
  fi
  [ -z "${copy_unix:-}" ] || kill -CONT "$copy_unix" 2>/dev/null || true
}

# On the way out, whatever happened: everything this script started stops
# (env.sh's wine_stop expects a shell that goes on after a failed command).
cleanup() {
  set +e
  throttle_stop
  wine_stop
}

# ---- Screenshots and the install animation -----------------------------------------

frames=$out/install-frames
frame_count=0
last_frame=""

shot() {  # shot NAME: the whole display as build/demo/NAME.png
  sleep 0.5
  wine_screenshot "$out/$1.png" || fail "no screenshot"
  echo "    $1.png"
}

frame() {  # one frame of the install animation, about every half second
  frame_count=$((frame_count + 1))
  last_frame=$frames/frame-$(printf %03d "$frame_count").png
  import -window root "$last_frame" 2>/dev/null || fail "no screenshot"
}

folder_bytes() {
  [ -d "$folder" ] || { echo 0; return; }
  find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'
}

# frames_until BYTES [MARK NAME]: frames until the install folder holds
# BYTES; the first frame at MARK bytes or more is kept as NAME.png too.
frames_until() {
  local target=$1 mark=${2:-} name=${3:-} deadline=$((SECONDS + 180)) bytes
  while :; do
    bytes=$(folder_bytes)
    [ "$bytes" -lt "$target" ] || break
    [ "$SECONDS" -lt "$deadline" ] || fail "the copy stopped at $bytes of $target bytes"
    frame
    if [ -n "$mark" ] && [ "$bytes" -ge "$mark" ]; then
      cp "$last_frame" "$out/$name.png"
      echo "    $name.png"
      mark=""
    fi
    sleep 0.3
  done
}

# frames_for SECONDS
frames_for() {
  local until=$((SECONDS + $1))
  while [ "$SECONDS" -lt "$until" ]; do
    frame
    sleep 0.3
  done
}

# ---- The two modes -----------------------------------------------------------------

# demo_look: once per prefix, what the dialog look of the tests leaves out:
# the Marlett font that Wine draws the caption buttons with (from
# fonts-wine; a new prefix does not get it) and a Japanese face for the
# sample game's "MS UI Gothic".
demo_look() {
  local stamp=$WINEPREFIX/.ksetup-demo-look
  [ -f "$stamp" ] && return 0
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    ln -sf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
  fi
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAPGothic /f \
    </dev/null >/dev/null 2>&1 && touch "$stamp"
}

prepare_prefix() {
  step "Wine prefix build/demo/prefix, disc 1 in drive E:"
  [ -f "$WINEPREFIX/system.reg" ] || echo "    (made once: about half a minute)"
  trap cleanup EXIT
  wine_start || fail "Wine did not start (log: build/demo/logs)"
  # (env.sh's functions expect a shell that goes on after a failed command)
  wine_dialog_look || true
  demo_look
  wine_cdrom E "$discs/disc1" || true
  [ "$(readlink "$WINEPREFIX/dosdevices/e:")" = "$discs/disc1" ] || fail "no drive E:"
  prefix_paths
}

run_display() {
  prepare_prefix
  step "The launcher on your display $DISPLAY"
  if [ -d "$folder" ]; then
    echo "    $title is installed in this prefix from an earlier run: the launcher"
    echo "    offers to start and to uninstall it."
  fi
  cat <<EOF
    KSetup.exe starts from disc 1 as a player would start it. When the
    installation asks for disc 2, put it in from another terminal:
        bash scripts/swap-disc.sh 2
    then click OK. Put disc 1 back with: bash scripts/swap-disc.sh 1
    This script waits until the program (and the game, if you start it) ends.
EOF
  start 'E:\KSetup.exe' >/dev/null
  wineserver -w || true
  step "The program has ended"
  if [ -d "$folder" ]; then
    echo "    installed in $folder"
  else
    echo "    not installed"
  fi
}

run_headless() {
  local l o w p g u m pid copy launcher_pid total disc1 disc2 bytes
  rm -rf "$frames" "$out"/[0-9][0-9]-*.png "$out/install.gif" "$out/failed.png"
  mkdir -p "$frames"
  prepare_prefix
  echo "    display $DISPLAY (Xvfb, 1024 x 768)"

  step "Nothing of $title left from an earlier run"
  wine reg delete "$regkey" /f >/dev/null 2>&1 </dev/null || true
  rm -rf "$folder" "$menu" "$temp/ran-game.txt"
  { read -r disc1; read -r disc2; } < <(disc_bytes 8)
  total=$((disc1 + disc2))
  echo "    the full option copies $disc1 bytes from disc 1 and $disc2 bytes from disc 2"

  step "E:\\KSetup.exe started from disc 1 with an empty command line"
  pid=$(start 'E:\KSetup.exe' -env KSETUP_SAMPLE_AUTOCLOSE=4)
  drv waitexit "$pid" -timeout 20000 >/dev/null || fail "the program on the disc did not hand over"
  l=$(window -title "$title" -control 3 -timeout 30000)
  launcher_pid=$(pid_of "$l")
  copy_unix=$(copy_pid) || fail "the launcher does not run from the temporary folder"
  expect "launcher button" "$(drv text "$l" 3)" "インストール"
  shot 01-launcher

  step "Install: the options dialog"
  drv click "$l" 3
  o=$(window -title "$title のインストール設定" -control 1011)
  drv click "$o" 1002
  sleep 0.3
  expect "full option ticked" "$(drv checked "$o" 1002)" 1
  expect "install folder" "$(drv text "$o" 1000)" 'C:\Program Files\Slumber'
  shot 02-options

  step "Install: copying disc 1"
  drv click "$o" 1
  throttle_start "$copy_unix"
  frames_until "$disc1" $((disc1 / 3)) 03-install-disc1

  step "Install: the program asks for disc 2"
  throttle_stop
  if drv find -title "空きディスク容量の警告" -timeout 100 >/dev/null; then
    fail "too little free disk space for the sample's $total bytes"
  fi
  p=$(window -title "ＣＤの挿入" -control 1015 -timeout 60000)
  expect "disc asked for" "$(drv text "$p" 1015)" "『$(sed -n 's/.*"discName":\["[^"]*","\([^"]*\)".*/\1/p' <<<"$dump")』"
  expect "bytes copied from disc 1" "$(folder_bytes)" "$disc1"
  shot 04-disc2-prompt
  frame
  bash scripts/swap-disc.sh 2 | sed 's/^/    /'
  drv click "$p" 1

  step "Install: copying disc 2"
  throttle_start "$copy_unix"
  frames_until "$total" $((disc1 + disc2 / 2)) 05-install-disc2
  throttle_stop

  step "Install: finished"
  menu_folder
  for _ in $(seq 100); do [ -f "$menu/$title/$first_link" ] && break; frame; sleep 0.2; done
  [ -f "$menu/$title/$first_link" ] || fail "no shortcut in the Programs menu after the copy"
  frames_for 3
  w=$(window -class SLB_INST -title SLB_INST)
  shot 06-install-finished
  drv mouseup "$w"
  drv gone "$w" >/dev/null || fail "a click did not close the finished install"
  bytes=$(folder_bytes)
  expect "bytes in $folder_win" "$bytes" "$total"
  echo "    $(find "$folder" -type f | wc -l) files, $bytes bytes in $folder_win"

  step "The launcher, installed"
  l=$(window -title "$title" -control 3 -pid "$launcher_pid")
  expect "launcher button" "$(drv text "$l" 3)" "アンインストール"
  expect "start game" "$(drv state "$l" 1 | cut -d' ' -f1)" "enabled=1"
  shot 07-launcher-installed

  step "Start game"
  drv click "$l" 1
  g=$(window -class KSetupSampleStandin -timeout 20000)
  shot 08-game
  drv waitexit "$launcher_pid" -timeout 20000 >/dev/null || fail "the launcher did not end after starting the game"
  drv gone "$g" -timeout 20000 >/dev/null || fail "the game did not close by itself"
  grep -qF "$exe" "$temp/ran-game.txt" 2>/dev/null || fail "the game did not run (no ran-game.txt)"
  echo "    the game ran: $(tr -d '\r' <"$temp/ran-game.txt" | tail -1)"

  step "Uninstall, with the save data"
  bash scripts/swap-disc.sh 1 | sed 's/^/    /'
  pid=$(start 'E:\KSetup.exe')
  drv waitexit "$pid" -timeout 20000 >/dev/null || fail "the program on the disc did not hand over"
  l=$(window -title "$title" -control 3 -timeout 30000)
  launcher_pid=$(pid_of "$l")
  drv click "$l" 3
  u=$(window -title "$title のアンインストール" -control 1009 -pid "$launcher_pid")
  drv click "$u" 1009
  sleep 0.3
  expect "save data ticked" "$(drv checked "$u" 1009)" 1
  shot 09-uninstall
  drv click "$u" 1
  m=$(window -title "$title" -control 65535 -pid "$launcher_pid" -timeout 30000)
  shot 10-uninstall-done
  expect "message" "$(drv text "$m" 65535)" "アンインストールが正常に終了しました。"
  drv click "$m" 1
  drv waitexit "$launcher_pid" -timeout 20000 >/dev/null || fail "the program did not end after the uninstall"

  step "Nothing left"
  [ ! -e "$folder" ] || fail "the install folder is still there: $(find "$folder" | head -5 | tr '\n' ' ')"
  [ ! -e "$menu/$title" ] || fail "the Programs menu folder is still there"
  if wine reg query "$regkey" >/dev/null 2>&1 </dev/null; then fail "the install record is still there"; fi
  echo "    install folder, shortcuts and install record are gone"

  step "Animation of the install"
  # From the first frame the scene has drawn (the options dialog and the
  # black window before it are left out); the finished scene stays longer.
  local all=("$frames"/frame-*.png) i=0
  while [ "$i" -lt "${#all[@]}" ] &&
        [ "$(convert "${all[$i]}" -format '%[fx:p{5,5}.r + p{5,5}.g + p{5,5}.b > 0]' info: 2>/dev/null)" != 1 ]; do
    i=$((i + 1))
  done
  local shown=("${all[@]:$i}")
  [ "${#shown[@]}" -gt 1 ] || fail "no frames of the install scene"
  convert -delay 50 "${shown[@]:0:${#shown[@]}-1}" -delay 300 "${shown[-1]}" -loop 0 \
    -resize 640x480 -layers Optimize "$out/install.gif" || fail "convert could not make the animation"
  echo "    install.gif (${#shown[@]} frames, $(du -h "$out/install.gif" | cut -f1))"
}

if [ "$mode" = display ]; then
  run_display
else
  run_headless
  echo
  echo "Screenshots of the run under Wine, in build/demo/:"
  (cd "$out" && ls [0-9][0-9]-*.png | sed 's/^/    /')
  echo "    install.gif (the install scene at work), install-frames/ (its frames)"
fi
