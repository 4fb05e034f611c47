# Shared by the t_install_*.sh tests: two-disc sets (the sample discs of
# 星見の丘 when they have been made, and a small set of our own), the
# install folder and its checks, a throttle that slows the program down so
# the copy can be watched, and the steps of an install through the options
# dialog and the install window. Source it after lib_ksetup.sh.

KI_D1=$KS_WORK/disc1
KI_D2=$KS_WORK/disc2
KI_SAMPLES=${KSETUP_SAMPLES:-$KSETUP_ROOT/build/samples}
KI_DRIVE=E
KI_THROTTLE_PID=""

ki_cleanup() {
  ki_throttle_stop
  ks_cleanup
}
trap ki_cleanup EXIT

# ki_only_drive: no other drive of the prefix holds a disc that could be
# found in place of the one in drive KI_DRIVE (earlier tests leave theirs).
ki_only_drive() {
  local link letter
  for link in "$WINEPREFIX"/dosdevices/[d-y]:; do
    [ -L "$link" ] || continue
    letter=$(basename "$link")
    letter=${letter%:}
    [ "${letter^^}" = "$KI_DRIVE" ] || wine_cdrom_eject "$letter"
  done
}

# ---- Disc sets ------------------------------------------------------------------

# ki_sample_discs: KI_D1 and KI_D2 become the sample discs (their files
# linked, not copied; never change them) with KSetup.exe on disc 1 (the
# build under test; the disc's own with KSETUP_KEEP_DISC_EXE=1, as for a
# signed one). False when the samples have not been made.
ki_sample_discs() {
  [ -f "$KI_SAMPLES/disc1/KSetup.ini" ] && [ -d "$KI_SAMPLES/disc2" ] || return 1
  rm -rf "$KI_D1" "$KI_D2"
  cp -rs "$KI_SAMPLES/disc1" "$KI_D1"
  cp -rs "$KI_SAMPLES/disc2" "$KI_D2"
  rm -f "$KI_D1/KSetup.exe"
  if [ "${KSETUP_KEEP_DISC_EXE:-0}" = 1 ]; then
    cp "$KI_SAMPLES/disc1/KSetup.exe" "$KI_D1/KSetup.exe"
    echo "disc 1 keeps its own KSetup.exe"
  else
    cp "$KS_BIN/KSetup.exe" "$KI_D1/KSetup.exe"
  fi
}

# ki_random FILE BYTES: a file of pseudo-random bytes.
ki_random() {
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

# The small set's script: two discs, two install choices, files at the block
# size edges, a wildcard entry, save data, two shortcuts (one in a subfolder
# with a working folder of its own) and a plain scene.
ki_small_script() {
  cat <<'EOF'
APPLITITLE = "テストゲーム"
EXENAME = "GAME.EXE"
MUSTMAKEFOLDER = "\TestGame"
REGADDRESS = "Software\KSetupTest\TestGame"
BRANDNAME = "KSetupTest"
DISCNUM = 2
DISCNAME = "テストディスク１" "テストディスク２"
KEYFILE = "DATA\KEY1.DAT" "DATA\KEY2.DAT"
OPTIONTITLE = "すべて" "標準"
MAKEFOLDER = "DATA" "BIN" "SAVE"
SAVEDATA = "SAVE\*.SAV"
FILELIST DISC1 = "GAME.EXE" "DATA\A.BIN" "DATA\EMPTY.BIN" "DATA\B4096.BIN" "DATA\C4097.BIN" "BIN\TOOL.EXE"
FILESIZE DISC1 = 5000 3000000 0 4096 4097 2000
FILEOPTION DISC1 = 12 12 12 12 8 12
FILELIST DISC2 = "DATA\BIG.BIN" "DATA\*.PAK" "DATA\EXTRA.DAT"
FILESIZE DISC2 = 6000000 300000 1000
FILEOPTION DISC2 = 8 8 8
SHORTCUTNAME = "テストゲーム.lnk" "道具"
SHORTCUTLABEL = "テストゲームを起動します" "道具を開きます"
SHORTCUTLINK = "GAME.EXE" "TOOL.EXE"
SHORTCUTFOLDER = "" "BIN"
SHORTCUTPARAM = "-window" ""
BACK "TITLE.EPA" 0 0 STRETCH_DESKTOP
FINISH "LOGO.EPA" 312 335 NORMAL
EOF
}

# ki_picture NAME W H: $KS_WORK/NAME.EPA, the test picture of make_title.pl
# encoded as EPA (the scene needs the size an EPA header gives).
ki_picture() {
  [ -f "$KS_WORK/$1.EPA" ] && return 0
  perl "$KS_TESTS/make_title.pl" "$KS_WORK/$1.bmp" "$2" "$3"
  convert "$KS_WORK/$1.bmp" "$KS_WORK/$1.png"
  "$KS_TOOL" epa encode "$KS_WORK/$1.png" "$KS_WORK/$1.EPA" >/dev/null || ks_fail "cannot encode $1.EPA"
}

# ki_small_discs: KI_D1 and KI_D2 become the small set (TITLE.EPA and
# LOGO.EPA, 400 x 98, in the archive) with ki_small_script. A test that
# needs another script writes it with ks_script afterwards.
# The bytes the small set's disc 1 list copies (GAME.EXE, DATA\*.BIN and
# BIN\TOOL.EXE, as ki_small_discs writes them).
KI_DISC1_BYTES=$((5000 + 3000000 + 4096 + 4097 + 2000))
ki_small_discs() {
  rm -rf "$KI_D1" "$KI_D2"
  mkdir -p "$KI_D1/DATA" "$KI_D2/DATA"
  cp "$KS_BIN/KSetup.exe" "$KI_D1/KSetup.exe"
  echo "disc 1" >"$KI_D1/DATA/KEY1.DAT"
  echo "disc 2" >"$KI_D2/DATA/KEY2.DAT"
  ki_picture TITLE 320 320
  ki_picture LOGO 400 98
  "$KS_TOOL" pak create "$KI_D1/Instdata.pak" "$KS_WORK/TITLE.EPA" "$KS_WORK/LOGO.EPA" >/dev/null ||
    ks_fail "no archive"
  ki_random "$KI_D1/GAME.EXE" 5000
  ki_random "$KI_D1/DATA/A.BIN" 3000000
  : >"$KI_D1/DATA/EMPTY.BIN"
  ki_random "$KI_D1/DATA/B4096.BIN" 4096
  ki_random "$KI_D1/DATA/C4097.BIN" 4097
  ki_random "$KI_D1/BIN/TOOL.EXE" 2000
  ki_random "$KI_D2/DATA/BIG.BIN" 6000000
  ki_random "$KI_D2/DATA/ONE.PAK" 100000
  ki_random "$KI_D2/DATA/TWO.PAK" 200000
  mkdir -p "$KI_D2/DATA/DIR.PAK"  # a folder the wildcard passes over
  ki_random "$KI_D2/DATA/EXTRA.DAT" 1000
  ki_small_script | ks_script "$KI_D1"
}

# ki_dump: the script of disc 1 as JSON.
ki_dump() { "$KS_TOOL" script dump "$KI_D1"; }

# ki_selected MASK: "disc<TAB>path" of every file a choice copies: each
# selected entry, a wildcard entry expanded on its disc (files only).
ki_selected() {
  local mask=$1 disc entry option dir
  ki_dump | jq -r '.fileList as $l | .fileOption as $o | $l | to_entries[] | .key as $d |
      .value | to_entries[] | "\($d)\t\($o[$d][.key])\t\(.value)"' |
  while IFS=$'\t' read -r disc option entry; do
    [ $((option & mask)) -ne 0 ] || continue
    dir=$KS_WORK/disc$((disc + 1))
    if [[ "$entry" == *[*?]* ]]; then
      local folder=${entry%\\*} pattern=${entry##*\\} f
      [ "$folder" = "$entry" ] && folder=""
      for f in "$dir/${folder//\\//}"/$pattern; do
        [ -f "$f" ] || continue
        printf '%s\t%s\n' "$disc" "${folder:+$folder\\}$(basename "$f")"
      done
    else
      printf '%s\t%s\n' "$disc" "$entry"
    fi
  done
}

# ---- Install folder -------------------------------------------------------------

# ki_unix WINPATH: the host path of a path on drive C (doubled backslashes
# and all).
ki_unix() {
  local p=${1#[Cc]:}
  p=${p//\\/\/}
  while [[ "$p" == *//* ]]; do p=${p//\/\//\/}; done
  echo "$WINEPREFIX/drive_c$p"
}

# ki_bytes DIR: bytes of all files below DIR (0 when it is missing).
ki_bytes() {
  [ -d "$1" ] || { echo 0; return; }
  find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'
}

# ki_expect_copied FOLDER MASK: every file the choice selects is in FOLDER,
# byte for byte as on its disc, and nothing else is; with UNINSTALLENTRY
# also the copies of the program, its script and its archive in that folder.
ki_expect_copied() {
  local folder=$1 mask=$2 disc path count=0 entry f
  while IFS=$'\t' read -r disc path; do
    local source=$KS_WORK/disc$((disc + 1))/${path//\\//}
    local copy=$folder/${path//\\//}
    cmp -s "$source" "$copy" || ks_fail "$path differs from disc $((disc + 1)) or is missing"
    count=$((count + 1))
  done < <(ki_selected "$mask")
  entry=$(ki_dump | jq -r '.uninstallEntry // ""')
  if [ -n "$entry" ]; then
    for f in KSetup.exe KSetup.ini Instdata.pak; do
      cmp -s "$KS_WORK/disc1/$f" "$folder/${entry//\\//}/$f" || ks_fail "$f differs from disc 1 or is missing in $entry"
      count=$((count + 1))
    done
  fi
  ks_expect "files in the install folder" "$(find "$folder" -type f | wc -l)" "$count"
}

# ---- Throttle ---------------------------------------------------------------------

# ki_unix_pid: the host process of the program's temporary copy in this
# prefix (other prefixes may run the same program at the same time).
ki_unix_pid() {
  local pid
  for pid in $(pgrep -f 'with blanks\\KSetup-[0-9A-F]*\\KSetup\.exe'); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
      return 0
    fi
  done
}

# ki_throttle_start [RUN_MS STOP_MS]: lets the program run only a short slice
# of every period (default 4 ms of 100), so that a copy of a few megabytes
# takes seconds and can be watched and interrupted. Stop it before reading
# windows with the driver.
ki_throttle_start() {
  local run=${1:-4} stop=${2:-96} unix
  unix=$(ki_unix_pid)
  [ -n "$unix" ] || ks_fail "no program to throttle"
  (
    trap 'kill -CONT '"$unix"' 2>/dev/null; exit 0' TERM
    while kill -STOP "$unix" 2>/dev/null; do
      sleep "0.0$stop" 2>/dev/null || sleep 0.1
      kill -CONT "$unix" 2>/dev/null || break
      sleep "0.00$run" 2>/dev/null || sleep 0.005
    done
  ) &
  KI_THROTTLE_PID=$!
}

ki_throttle_stop() {
  if [ -n "$KI_THROTTLE_PID" ]; then
    kill "$KI_THROTTLE_PID" 2>/dev/null || true
    wait "$KI_THROTTLE_PID" 2>/dev/null || true
    KI_THROTTLE_PID=""
  fi
  local unix
  unix=$(ki_unix_pid || true)
  [ -z "$unix" ] || kill -CONT "$unix" 2>/dev/null || true
}

# ki_wait_bytes FOLDER BYTES [SECONDS]: waits until FOLDER holds BYTES.
ki_wait_bytes() {
  local i
  for i in $(seq $((${3:-60} * 20))); do
    [ "$(ki_bytes "$1")" -ge "$2" ] && return 0
    sleep 0.05
  done
  ks_fail "the install folder did not reach $2 bytes (has $(ki_bytes "$1"))"
}

# ---- Steps --------------------------------------------------------------------------

# ki_launch [ARGS]: starts the program from disc 1, by default with an empty
# command line (it moves itself to the temporary folder); prints the
# launcher's handle.
ki_launch() {
  local first h
  first=$(ks_start "${KI_DRIVE}:\\" "${KI_DRIVE}:\\KSetup.exe" "$@")
  [ $# -gt 0 ] || ks_wait_exit "$first"
  ks_find -title "$(ki_dump | jq -r .appliTitle)" -control 3
}

# ki_pid_of HWND: the process of a window.
ki_pid_of() {
  ks_drv windows | awk -v h="$1" '$1 == h { print $2 }'
}

# ki_options LAUNCHER: presses Install; prints the options dialog's handle.
ki_options() {
  ks_drv click "$1" 3
  ks_find -control 1011 -title "$(ki_dump | jq -r .appliTitle) のインストール設定"
}

# ki_message TITLE: the handle of a message box with that caption.
ki_message() { ks_find -title "$1" -control 65535 -timeout "${2:-20000}"; }

# ki_install_window: the install window's handle.
ki_install_window() { ks_find -class SLB_INST -title SLB_INST -timeout 20000; }

# ---- The small set's install ---------------------------------------------------------

# ki_small_places: where the small set installs: folder_win and folder_unix
# (the install folder), programs_unix (the Programs menu), menu_unix (the
# maker's folder in it).
ki_small_places() {
  folder_win="$KS_PROGRAM_FILES\\Slumber\\\\TestGame"
  folder_unix=$(ki_unix "$folder_win")
  programs_unix=$(find "$WINEPREFIX/drive_c/users" -maxdepth 7 -type d -path '*Start Menu/Programs' | head -1)
  menu_unix="$programs_unix/KSetupTest"
  # The small set's entry in the system's list of installed programs.
  entry_key='KSetup Software_5CKSetupTest_5CTestGame'
  list_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$entry_key"
}

# ki_clean: no record, install folder or shortcuts of the small set.
ki_clean() {
  ks_not_installed
  rm -rf "$(ki_unix "$KS_PROGRAM_FILES")/Slumber" "$menu_unix"
}

# ki_launch_options: a new start from disc 1, after ki_clean, up to the
# options dialog; sets o to its handle and pid to the program's process.
ki_launch_options() {
  ki_clean
  ki_start_options
}

# ki_start_options: the same without the clean-up first.
ki_start_options() {
  local l
  ks_fresh_temp
  ki_only_drive
  wine_cdrom "$KI_DRIVE" "$KI_D1"
  l=$(ki_launch)
  pid=$(ki_pid_of "$l")
  o=$(ki_options "$l")
}

# ki_run_choice2 PATH: in the open options dialog o, installs the second
# choice (disc 1 only, never asked for disc 2) until PATH (a shortcut or its
# folder) exists; sets w to the finished install window.
ki_run_choice2() {
  ks_drv click "$o" 1003
  ks_drv click "$o" 1
  w=$(ki_install_window)
  for i in $(seq 100); do [ -e "$1" ] && break; sleep 0.2; done
  [ -e "$1" ] || ks_fail "the install did not finish"
}

# ki_start_choice2 PATH: the same from a new start; sets w, o and pid as
# ki_launch_options does.
ki_start_choice2() {
  ki_launch_options
  ki_run_choice2 "$1"
}

# ki_close_and_quit TITLE KEY NAME: closes the finished install window w with
# KEY (13 Enter, 32 Space; NAME says which), then quits the launcher (under
# TITLE) and waits for the program pid to end.
ki_close_and_quit() {
  local l
  sleep 0.5
  ks_drv key "$w" "$2"
  ks_drv gone "$w" >/dev/null || ks_fail "$3 did not close the finished install"
  l=$(ks_find -title "$1" -control 3 -pid "$pid")
  ks_drv click "$l" 2
  ks_wait_exit "$pid"
}

# ki_install_choice2 TITLE: installs the second choice, closes the finished
# window with Space and quits.
ki_install_choice2() {
  ki_start_choice2 "$menu_unix/$1"
  ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 300
  ki_close_and_quit "$1" 32 Space
}

# ki_uninstall_done TITLE: after the uninstall dialog's Run, its message
# (under TITLE) is OK'd and the program ends; no install folder, shortcut
# folder or record of the small set is left.
ki_uninstall_done() {
  local m
  m=$(ks_find -title "$1" -control 65535 -pid "$pid" -timeout 30000)
  ks_expect "message" "$(ks_text "$m" 65535)" "アンインストールが正常に終了しました。"
  ks_drv click "$m" 1
  ks_wait_exit "$pid"
  [ ! -e "$folder_unix" ] || ks_fail "left: $(find "$folder_unix" | head)"
  [ ! -e "$menu_unix" ] || ks_fail "the menu folders are still there"
  if ks_reg query "$KS_REGKEY\\TestGame" >/dev/null; then ks_fail "the install record is still there"; fi
}
