#!/bin/bash
# A disc set without disc drives. With no CD-ROM drive in the prefix at all,
# the sample set (when made) and a small set copied to disc folders side by side (C:\ソフト\disc1 and disc2,
# the second byte of ソ a backslash), merged into one folder, or on another
# hard disk's drive letter installs from disc 1's KSetup.exe with no
# question: CHANGECD, both discs' copy, DirectX (on disc 2), start game and
# the uninstall. With disc 2's folder elsewhere, the prompt's Force run
# offers the folder browser, which is driven to that folder. A CD-ROM drive
# whose CD-audio device cannot be opened (as a mounted image) is taken when
# it holds the key file.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

# The small set, with the stand-in as the game and as the DirectX setup
# on disc 2.
small_set() {
  ki_small_discs
  cp "$KS_BIN/standin.exe" "$KI_D1/GAME.EXE"
  mkdir -p "$KI_D2/DIRECTX"
  cp "$KS_BIN/standin.exe" "$KI_D2/DIRECTX/DXSETUP.EXE"
  { ki_small_script; printf '%s\n' 'EXEC CHANGECD = 1' 'DXPLACE = "DIRECTX\DXSETUP.EXE"' 'DXDISC = 2'; } |
    ks_script "$KI_D1"
}
ki_small_places
marker=$KS_WORK/marker.txt
export KSETUP_MARKER_WIN
KSETUP_MARKER_WIN=$(winepath -w "$marker")

# No CD-ROM drive: every drive letter but C: and Z: goes, and with it Wine's
# list of drive types (wine_cdrom puts back what a later test needs).
# The mount manager keeps the drives it found when the session began, so
# the session starts anew, before the first step, as lib_ksetup.sh does.
no_cdrom_drives() {
  local link letter
  for link in "$WINEPREFIX"/dosdevices/[d-y]:; do rm -f "$link"; done
  for letter in d e f g h i j k l m n o p q r s t u v w x y; do
    ks_reg delete 'HKLM\Software\Wine\Drives' /v "$letter:" /f /reg:64 >/dev/null 2>&1 || true
  done
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1 || ks_fail "wine did not start"
}
no_cdrom_drives

marker_lines() { ks_expect_lines "stand-in runs" "$marker" "$1"; }

# install_from DIR_WIN SHOT ROOT2 [CHOICE]: the whole round from
# DIR_WIN\KSetup.exe, started as the player does (empty command line): no
# disc asked for, DirectX from disc 2 (ROOT2 its folder), the install choice
# (1, the full one from both discs, or 2, disc 1 only), start game, then the
# uninstall from a new start; nothing left.
install_from() {
  local dir=$1 shot=$2 root2=$3 choice=${4:-1} first l w
  ki_clean
  ks_fresh_temp
  rm -f "$marker"
  first=$(ks_start "$dir" "$dir\\KSetup.exe")
  ks_wait_exit "$first"
  l=$(ks_find -title "$KS_TITLE" -control 3)
  pid=$(ki_pid_of "$l")
  ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 300
  ks_drv click "$l" 4
  marker_lines 1
  ks_expect "DirectX from disc 2" "$(cut -f1 "$marker")" "cmdline=\"$root2\\DIRECTX\\DXSETUP.EXE\""
  o=$(ki_options "$l")
  ks_drv click "$o" $((1001 + choice))
  ks_drv click "$o" 1
  w=$(ki_install_window)
  for i in $(seq 150); do [ -e "$menu_unix/$KS_TITLE/道具" ] && break; sleep 0.2; done
  [ -e "$menu_unix/$KS_TITLE/道具" ] || ks_fail "the install did not finish"
  ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 300
  [ -z "$shot" ] || ks_shot "$shot"
  ks_drv key "$w" 32
  ks_drv gone "$w" >/dev/null || ks_fail "Space did not close the finished install"
  ki_expect_copied "$folder_unix" $((16 >> choice))
  l=$(ks_find -title "$KS_TITLE" -control 1 -pid "$pid")
  ks_drv click "$l" 1
  ks_wait_exit "$pid"
  marker_lines 2
  [[ "$(tail -1 "$marker" | cut -f1)" == *'\TestGame\GAME.EXE"' ]] || ks_fail "game not started: $(tail -1 "$marker")"
  echo "ok: the game started"
  ks_fresh_temp
  first=$(ks_start "$dir" "$dir\\KSetup.exe")
  ks_wait_exit "$first"
  l=$(ks_find -title "$KS_TITLE" -control 3)
  pid=$(ki_pid_of "$l")
  ks_drv click "$l" 3
  u=$(ks_find -control 1009 -pid "$pid")
  ks_drv click "$u" 1009
  ks_drv click "$u" 1
  ki_uninstall_done "$KS_TITLE"
}

soft_unix="$WINEPREFIX/drive_c/ソフト"
rm -rf "$soft_unix"
mkdir -p "$soft_unix"
ln -s "$KI_D1" "$soft_unix/disc1"
ln -s "$KI_D2" "$soft_unix/disc2"

if ki_sample_discs; then
  echo "== the sample discs in folders, no CD-ROM drive"
  dump=$(ki_dump)
  title=$(jq -r .appliTitle <<<"$dump")
  sample_folder_unix=$(ki_unix "$KS_PROGRAM_FILES\\Slumber\\$(jq -r .mustMakeFolder <<<"$dump")")
  sample_menu_unix="$programs_unix/$(jq -r .brandName <<<"$dump")"
  sample_key="HKCU\\$(jq -r .regAddress <<<"$dump")"
  ks_reg delete "$sample_key" /f >/dev/null || true
  rm -rf "$sample_folder_unix" "$sample_menu_unix"
  ks_fresh_temp
  first=$(ks_start 'C:\ソフト\disc1' 'C:\ソフト\disc1\KSetup.exe')
  ks_wait_exit "$first"
  l=$(ks_find -title "$title" -control 3)
  pid=$(ki_pid_of "$l")
  ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 300
  o=$(ki_options "$l")
  ks_drv click "$o" 1
  w=$(ki_install_window)
  ki_wait_bytes "$sample_folder_unix" 20000000
  ks_shot disc-folders-samples-installing
  link=$(jq -r '.shortcutName[0]' <<<"$dump")
  for i in $(seq 150); do [ -f "$sample_menu_unix/$title/$link" ] && break; sleep 0.2; done
  [ -f "$sample_menu_unix/$title/$link" ] || ks_fail "the sample install did not finish"
  ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 300
  ks_drv key "$w" 32
  ks_drv gone "$w" >/dev/null || ks_fail "Space did not close the finished install"
  # The uninstall entry's copies are made once the window is gone, before
  # the launcher comes back.
  l=$(ks_find -title "$title" -control 3 -pid "$pid")
  ki_expect_copied "$sample_folder_unix" 8
  ks_drv click "$l" 3
  u=$(ks_find -control 1009 -pid "$pid")
  ks_drv click "$u" 1009
  ks_drv click "$u" 1
  m=$(ks_find -title "$title" -control 65535 -pid "$pid" -timeout 30000)
  ks_drv click "$m" 1
  ks_wait_exit "$pid"
  [ ! -e "$sample_folder_unix" ] || ks_fail "left: $(find "$sample_folder_unix" | head -3)"
  [ ! -e "$sample_menu_unix" ] || ks_fail "the sample's menu folders are still there"
  if ks_reg query "$sample_key" >/dev/null; then ks_fail "the sample's install record is still there"; fi
  echo "ok: the sample set installed from its disc folders with no question, and removed"
fi
small_set

echo "== disc folders side by side, no CD-ROM drive"
install_from 'C:\ソフト\disc1' disc-folders-installed 'C:\ソフト\disc2'
install_from 'C:\ソフト\disc1' "" 'C:\ソフト\disc2' 2
echo "ok: installed, started and removed from disc folders"

echo "== one merged folder"
merged_unix="$WINEPREFIX/drive_c/merged/ソフト一式"
rm -rf "$WINEPREFIX/drive_c/merged"
mkdir -p "$merged_unix"
cp -rs "$KI_D1/." "$merged_unix/"
cp -rs "$KI_D2/." "$merged_unix/"
rm -f "$merged_unix/KSetup.exe"
cp "$KI_D1/KSetup.exe" "$merged_unix/KSetup.exe"
install_from 'C:\merged\ソフト一式' "" 'C:\merged\ソフト一式'
rm -rf "$WINEPREFIX/drive_c/merged"
echo "ok: installed from the merged folder"

echo "== disc folders on another hard disk (H:)"
hd_unix=$KS_WORK/hd
mkdir -p "$hd_unix"
ln -sfn "$hd_unix" "$WINEPREFIX/dosdevices/h:"
ks_reg add 'HKLM\Software\Wine\Drives' /v h: /d hd /f /reg:64 >/dev/null
mkdir -p "$hd_unix/ソフト"
ln -s "$KI_D1" "$hd_unix/ソフト/disc1"
ln -s "$KI_D2" "$hd_unix/ソフト/disc2"
install_from 'H:\ソフト\disc1' "" 'H:\ソフト\disc2'
rm -f "$WINEPREFIX/dosdevices/h:"
ks_reg delete 'HKLM\Software\Wine\Drives' /v h: /f /reg:64 >/dev/null 2>&1 || true
echo "ok: installed from drive H"

echo "== disc 2 elsewhere: Force run, the folder browser"
rm -f "$soft_unix/disc2"
elsewhere_unix="$WINEPREFIX/drive_c/別の場所"
rm -rf "$elsewhere_unix"
mkdir -p "$elsewhere_unix"
ln -s "$KI_D2" "$elsewhere_unix/ディスク２"
ki_clean
ks_fresh_temp
first=$(ks_start 'C:\ソフト\disc1' 'C:\ソフト\disc1\KSetup.exe')
ks_wait_exit "$first"
l=$(ks_find -title "$KS_TITLE" -control 3)
pid=$(ki_pid_of "$l")
o=$(ki_options "$l")
ks_drv click "$o" 1
w=$(ki_install_window)
p=$(ks_find -title "ＣＤの挿入" -control 1015 -pid "$pid" -timeout 60000)
ks_expect "disc asked for" "$(ks_text "$p" 1015)" "『テストディスク２』"
ks_drv click "$p" 3
s=$(ks_find -title "ドライブの選択" -control 1016 -pid "$pid")
items=$(ks_drv combo "$s" 1016)
echo "$items"
ks_expect "the list: the hard disk, the folder entry, no CD-ROM drive" \
  "$(grep -v '^sel=' <<<"$items" | tr '\n' '|')" "[-C-] ハードディスク|[-Z-] ハードディスク|フォルダを指定する...|"
folder_item=$(grep -v '^sel=' <<<"$items" | grep -n '^フォルダ' | cut -d: -f1)
ks_drv select "$s" 1016 $((folder_item - 1))
ks_drv dropdown "$s" 1016 1
ks_shot disc-folders-force-run-list
ks_drv dropdown "$s" 1016 0
ks_drv click "$s" 1
b=$(ks_find -pid "$pid" -title "フォルダーの参照" -timeout 10000)
# It opens on the folder the set lies in (C:\ソフト), its next sibling is
# 別の場所, whose one subfolder is disc 2: the keys a player would press.
ks_expect "browser opens on the set's folder" "$(ks_drv children "$b" | awk -F'\t' '$3 == "Edit" { print $4 }')" ソフト
tree=$(ks_drv children "$b" | awk -F'\t' '$3 == "SysTreeView32" { print $1; exit }')
for key in 40 39 40; do ks_drv key "$tree" $key; sleep 0.5; done
ks_expect "folder chosen in the browser" "$(ks_drv children "$b" | awk -F'\t' '$3 == "Edit" { print $4 }')" ディスク２
ks_shot disc-folders-browser
ks_drv click "$b" 1
for i in $(seq 150); do [ -e "$menu_unix/$KS_TITLE/道具" ] && break; sleep 0.2; done
[ -e "$menu_unix/$KS_TITLE/道具" ] || ks_fail "the install did not finish"
ks_drv key "$w" 32
ks_drv gone "$w" >/dev/null || ks_fail "Space did not close the finished install"
ki_expect_copied "$folder_unix" 8
l=$(ks_find -title "$KS_TITLE" -control 2 -pid "$pid")
ks_drv click "$l" 2
ks_wait_exit "$pid"
ki_clean
rm -rf "$elsewhere_unix" "$soft_unix"
echo "ok: disc 2 read from the folder chosen in the browser"

echo "== a CD-ROM drive without a CD-audio device"
# Wine finds the driver of the MCI device type "cdaudio" in the [mci]
# section of system.ini, Windows in the registry: both are taken out.
mci='HKLM\Software\Microsoft\Windows NT\CurrentVersion\MCI32'
ini="$WINEPREFIX/drive_c/windows/system.ini"
cp "$ini" "$KS_WORK/system.ini"
restore_mci() {
  cp "$KS_WORK/system.ini" "$ini"
  ks_reg add "$mci" /v cdaudio /d mcicda.dll /f /reg:64 >/dev/null || true
  ks_reg add "$mci" /v cdaudio /d mcicda.dll /f /reg:32 >/dev/null 2>&1 || true
}
trap 'restore_mci; ki_cleanup' EXIT
sed -i '/^cdaudio=/Id' "$ini"
ks_reg delete "$mci" /v cdaudio /f /reg:64 >/dev/null || true
ks_reg delete "$mci" /v cdaudio /f /reg:32 >/dev/null 2>&1 || true
wine_cdrom E "$KI_D1"
ks_fresh_temp
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 2000
l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_drv click "$l" 2
ks_wait_exit "$pid"
echo "ok: the drive was taken by its key file"
