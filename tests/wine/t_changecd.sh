#!/bin/bash
# The start-up command CHANGECD asks for disc 1 before the launcher: with the
# disc in drive E nothing is asked; with another disc there the insert-disc
# dialog names the disc, and swapping the disc and pressing OK goes on;
# Force run lists the CD-ROM drives and trusts the one chosen (a reload from
# the disc then reads that drive); Cancel ends
# the program; Cancel in the drive list leads back to the insert-disc
# dialog. An installed game passes CHANGECD over.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

# The program starts from a folder of its own; drive E holds disc 1 or a
# disc without its key file.
start=$KS_WORK/start
right=$KS_WORK/disc1
wrong=$KS_WORK/other
ks_make_disc "$start"
{ ks_default_script; echo 'EXEC CHANGECD = 1'; } | ks_script "$start"
ks_make_disc "$right"
mkdir -p "$wrong/DATA"
echo "another disc" >"$wrong/DATA/OTHER.DAT"
win=$(winepath -w "$start")
entries=""
ks_fresh_temp
ks_not_installed

launch() { ks_start "$win" "$win\\KSetup.exe" t; }

# insert_dialog PID: the insert-disc dialog of the process.
insert_dialog() { ks_find -title "ＣＤの挿入" -control 1015 -pid "$1"; }

quit_launcher() {
  local h
  h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$1")
  ks_drv click "$h" 2
  ks_wait_exit "$1"
}

echo "== right disc in the drive"
wine_cdrom E "$right"
pid=$(launch)
ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 2000
quit_launcher "$pid"
echo "ok: no question with the right disc"

echo "== wrong disc, swapped, OK"
wine_cdrom E "$wrong"
pid=$(launch)
d=$(insert_dialog "$pid")
ks_shot dialog-111-insert-cd
ks_expect "disc name" "$(ks_text "$d" 1015)" "『テストディスク１』"
ks_expect "instructions" "$(ks_text "$d" 65535 | tr '\n' '|')" \
  "をＣＤドライブにセットして下さい。||正しいＣＤをセットしてもこのダイアログが繰り返し|表示される場合は、[強制実行]を押して下さい。|"
ks_expect "buttons" "$(ks_text "$d" 1)/$(ks_text "$d" 2)/$(ks_text "$d" 3)" "OK/ｷｬﾝｾﾙ/強制実行"
# OK with the wrong disc still in the drive asks again.
ks_drv click "$d" 1
ks_drv gone "$d" >/dev/null || true
d=$(insert_dialog "$pid")
echo "ok: asked again while the disc is missing"
wine_cdrom E "$right"
ks_drv click "$d" 1
quit_launcher "$pid"
echo "ok: the launcher came after the disc was inserted"

echo "== Force run, drive E chosen"
# The start script reloads the script from the disc found, so the title the
# launcher shows tells which drive was taken: E holds a script of its own.
{ ks_default_script; echo 'EXEC CHANGECD = 1, LOADINIFROMCD = 0'; } | ks_script "$start"
cp "$start/Instdata.pak" "$wrong/Instdata.pak"
ks_default_script | sed 's/^APPLITITLE.*/APPLITITLE = "ドライブＥのスクリプト"/' | ks_script "$wrong"
wine_cdrom E "$wrong"
pid=$(launch)
d=$(insert_dialog "$pid")
ks_drv click "$d" 3
s=$(ks_find -title "ドライブの選択" -control 1016 -pid "$pid")
ks_shot dialog-112-select-drive
items=$(ks_drv combo "$s" 1016)
echo "$items"
# Every CD-ROM drive of the prefix is listed (E at least), nothing else.
grep -q '^\[-E-\] ' <<<"$items" || ks_fail "drive E is not listed as [-E-] ..."
ks_expect "only CD-ROM entries" "$(grep -vc '^\[-[D-Z]-\] \|^sel=' <<<"$items" || true)" 0
ks_expect "first entry selected" "$(tail -1 <<<"$items")" "sel=0"
ks_expect "prompt" "$(ks_text "$s" 65535)" "CDの挿入されているドライブを選択してください"
ks_drv click "$s" 1
h=$(ks_find -title "ドライブＥのスクリプト" -control 3 -pid "$pid")
ks_drv click "$h" 2
ks_wait_exit "$pid"
rm -f "$wrong/KSetup.ini" "$wrong/Instdata.pak"
{ ks_default_script; echo 'EXEC CHANGECD = 1'; } | ks_script "$start"
echo "ok: the chosen drive was trusted: the script was reloaded from E"

echo "== Force run, drive described by the registry"
# The drive's mounted-device value names a device whose enumeration key
# holds a friendly name; a value with only two '#' names no key.
utf16hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }
mounted='HKLM\System\MountedDevices'
saved=$(ks_reg query "$mounted" /v '\DosDevices\E:' | sed -n 's/.*REG_BINARY *//p')
enum='HKLM\System\CurrentControlSet\Enum\IDE\CdRomKSTEST_DRIVE\5&1a2b&0&1.0.0'
ks_reg add "$enum" /v FriendlyName /d 'KSTEST CD-ROM' /f >/dev/null
for value in '\??\IDE#CdRomKSTEST_DRIVE#5&1a2b&0&1.0.0#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}' \
             '\??\IDE#CdRomKSTEST_DRIVE#5&1a2b&0&1.0.0'; do
  pid=$(launch)
  d=$(insert_dialog "$pid")
  ks_reg add "$mounted" /v '\DosDevices\E:' /t REG_BINARY /d "$(utf16hex "$value")" /f >/dev/null
  ks_drv click "$d" 3
  s=$(ks_find -title "ドライブの選択" -control 1016 -pid "$pid")
  entries="$entries$(ks_drv combo "$s" 1016 | head -1)|"
  ks_drv click "$s" 1
  quit_launcher "$pid"
done
ks_reg delete 'HKLM\System\CurrentControlSet\Enum\IDE\CdRomKSTEST_DRIVE' /f >/dev/null || true
ks_reg add "$mounted" /v '\DosDevices\E:' /t REG_BINARY /d "$saved" /f >/dev/null || true
ks_expect "entries from the registry" "$entries" "[-E-] KSTEST CD-ROM|[-E-] CDROM DRIVE|"

echo "== Force run, Cancel, then Cancel"
pid=$(launch)
d=$(insert_dialog "$pid")
ks_drv click "$d" 3
s=$(ks_find -title "ドライブの選択" -control 1016 -pid "$pid")
ks_drv click "$s" 2
d=$(insert_dialog "$pid")
echo "ok: back at the insert-disc dialog"
ks_drv click "$d" 2
ks_wait_exit "$pid"
ks_no_window -title "$KS_TITLE" -timeout 500
echo "ok: Cancel ends the program"

echo "== installed: no question"
ks_installed 'C:\KSetupTest\TestGame'
pid=$(launch)
ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 2000
quit_launcher "$pid"
ks_not_installed
echo "ok: CHANGECD passed over"
