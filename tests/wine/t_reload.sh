#!/bin/bash
# Start-up commands that reload the script: LOADINIFROMCD copies KSetup.ini
# and Instdata.pak from the drive the last disc prompt found (here F, the
# second CD-ROM drive, with a foreign disc in E) into the temporary folder,
# loads them and runs the new list from its first entry (POPUPMESSAGE and,
# when not installed, LOADINIFROMHD are passed over; its CHANGECD asks for
# disc 2). Installed, CHANGECD and LOADINIFROMCD are passed over and
# LOADINIFROMHD reloads from the install folder, also when that script asks
# for itself again and again. A reload that finds no script ends the
# program with the setup-file message.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

start=$KS_WORK/start
other=$KS_WORK/other
disc1=$KS_WORK/disc1
disc2=$KS_WORK/disc2
installed_unix="$WINEPREFIX/drive_c/KSetupTest/Installed"
installed_win='C:\KSetupTest\Installed'

# The program's own folder: a script that asks for disc 1, then reloads.
ks_make_disc "$start"
{ ks_default_script | sed 's/^APPLITITLE.*/APPLITITLE = "スタート"/'
  echo 'EXEC CHANGECD = 1, LOADINIFROMCD = 0, LOADINIFROMHD = 0'; } | ks_script "$start"
# Disc 1's script names two discs and asks for the second.
ks_make_disc "$disc1"
{ ks_default_script | grep -v '^DISCNAME\|^KEYFILE'
  echo 'DISCNUM = 2'
  echo 'DISCNAME = "テストディスク１" "テストディスク２"'
  echo 'KEYFILE = "DATA\KEY1.DAT" "DATA\KEY2.DAT"'
  echo 'EXEC POPUPMESSAGE = "何もしない", LOADINIFROMHD = 0, CHANGECD = 2'; } | ks_script "$disc1"
mkdir -p "$other/DATA" "$disc2/DATA"
echo "another disc" >"$other/DATA/OTHER.DAT"
echo "disc 2" >"$disc2/DATA/KEY2.DAT"
win=$(winepath -w "$start")
launch() { ks_start "$win" "$win\\KSetup.exe" t; }

wine_cdrom E "$other"
wine_cdrom F "$disc1"
ks_not_installed

echo "== not installed: reload from the disc in F"
ks_fresh_temp
pid=$(launch)
d=$(ks_find -title "ＣＤの挿入" -control 1015 -pid "$pid")
ks_shot dialog-111-after-reload
ks_expect "the new list asks for disc 2" "$(ks_text "$d" 1015)" "『テストディスク２』"
work=$(ks_run_folder)
for f in KSetup.ini Instdata.pak; do
  cmp -s "$disc1/$f" "$work/$f" || ks_fail "$f was not copied from F into a folder of the program's own"
done
echo "ok: script and archive copied from F:"
wine_cdrom E "$disc2"
ks_drv click "$d" 1
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
echo "ok: the launcher shows the reloaded script's title"
ks_drv click "$h" 2
ks_wait_exit "$pid"
ks_expect "temporary files deleted on the way out" "$(ls -A "$KS_TEMP_UNIX")" ""

echo "== installed: reload from the install folder, which asks for itself"
rm -rf "$installed_unix"
mkdir -p "$installed_unix"
cp "$start/Instdata.pak" "$installed_unix/"
{ ks_default_script | sed 's/^APPLITITLE.*/APPLITITLE = "インストール済み"/'
  echo 'EXEC LOADINIFROMHD = 0, CHANGECD = 2'; } | ks_script "$installed_unix"
ks_installed "$installed_win"
wine_cdrom E "$other"
ks_fresh_temp
pid=$(launch)
h=$(ks_find -title "インストール済み" -control 3 -pid "$pid" -timeout 20000)
ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 500
cmp -s "$installed_unix/KSetup.ini" "$(ks_run_folder)/KSetup.ini" || ks_fail "the script was not copied from the install folder"
echo "ok: reloaded from the install folder; the repeated reload stopped"
ks_drv click "$h" 2
ks_wait_exit "$pid"
ks_not_installed
rm -rf "$WINEPREFIX/drive_c/KSetupTest"

echo "== the disc holds no script"
rm -f "$disc1/KSetup.ini" "$disc1/Instdata.pak"
ks_fresh_temp
pid=$(launch)
m=$(ks_find -title "KSetup Error" -pid "$pid")
ks_expect "message" "$(ks_text "$m" 65535)" "設定ファイルが見つかりません。処理を中断します。"
ks_drv click "$m" 1
ks_wait_exit "$pid"
ks_no_window -title "$KS_TITLE" -timeout 500
echo "ok: the program ended"
# The folder made for the reload was the current folder then; it goes too.
ks_expect "the reload's folder is gone" "$(ls -A "$KS_TEMP_UNIX")" ""

# Drive F is this test's own.
rm -f "$WINEPREFIX/dosdevices/f:"
ks_reg delete 'HKLM\Software\Wine\Drives' /v f: /f /reg:64 >/dev/null || true
