#!/bin/bash
# The sample game, installed, started and uninstalled the way a player does
# it, on whatever locale the suite runs under (KSETUP_LOCALE: ja_JP.UTF-8 or
# en_US.UTF-8, whose Western code page 1252 knows no Japanese). Every text
# read back from the windows in UTF-16 is the Japanese one; the player types
# an install folder whose name ends in ソ (second byte 0x5C); every installed
# name on the host is the right UTF-8 name; the record holds the folder in
# code page 932; and after the uninstall the drive holds exactly what it held
# before: nothing was made outside the install folder and nothing is left.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_sample_discs || ks_fail "the sample discs are not made (scripts/make-samples.sh)"
dump=$(ki_dump)
title=$(jq -r .appliTitle <<<"$dump")
must=$(jq -r .mustMakeFolder <<<"$dump")
brand=$(jq -r .brandName <<<"$dump")
regkey="HKCU\\$(jq -r .regAddress <<<"$dump")"
ks_expect "the sample's names hold 0x5C second bytes" \
  "$(printf '%s%s%s' "$title" "$brand" "$must" | iconv -f UTF-8 -t CP932 | LC_ALL=C grep -c $'[\x81-\x9f\xe0-\xfc]\\\\' || true)" 1
shot() { ks_shot "locale-$1"; }

typed_win='C:\ゲームソ'
folder_win="$typed_win\\$must"
folder_unix=$(ki_unix "$folder_win")
programs_unix=$(find "$WINEPREFIX/drive_c/users" -maxdepth 7 -type d -path '*Start Menu/Programs' | head -1)
menu_unix="$programs_unix/$brand/$title"

# The drive's files and folders, but for what Wine and the tests change by
# themselves (the Windows folder, the temporary folders, the registry files).
listing() {
  (cd "$WINEPREFIX/drive_c" && find . \( -path ./windows -o -path './ks temp' -o -path './users/*/Temp' \
    -o -path './users/*/AppData/Local/Temp' \) -prune -o -print) | LC_ALL=C sort
}

ks_reg delete "$regkey" /f >/dev/null || true
rm -rf "$(ki_unix "$typed_win")" "$programs_unix/$brand"
ks_fresh_temp
ki_only_drive
wine_cdrom "$KI_DRIVE" "$KI_D1"
listing >"$KS_WORK/before.txt"

echo "== launcher"
l=$(ki_launch)
pid=$(ki_pid_of "$l")
shot launcher
ks_expect "caption" "$(ks_text "$l")" "$title"
ks_expect "install" "$(ks_text "$l" 3)" "インストール"
ks_expect "start game" "$(ks_text "$l" 1)" "ゲーム開始"
ks_expect "DirectX" "$(ks_text "$l" 4)" "DirectX の
インストール"
ks_expect "quit" "$(ks_text "$l" 2)" "終了"
exe=$(winepath -w "$KI_D1/KSetup.exe")
for id in 101 102 109 111 112 113; do
  font=$(ks_drv dialogfont "$exe" "$id")
  ks_expect "dialog $id's font holds Japanese ($font)" "${font##* }" "japanese=1"
done

echo "== options, a folder typed that ends in ソ"
o=$(ki_options "$l")
ks_expect "options caption" "$(ks_text "$o")" "$title のインストール設定"
ks_expect "folder text" "$(ks_text "$o" 1011)" "インストール先の指定

（指定場所に $must フォルダを作成し、そこにインストールします。）"
ks_drv settext "$o" 1000 "$typed_win" >/dev/null
shot options
ks_drv click "$o" 1

echo "== disc 2 asked for"
w=$(ki_install_window)
p=$(ks_find -title "ＣＤの挿入" -control 1015 -timeout 120000)
ks_expect "disc asked for" "$(ks_text "$p" 1015)" "『$(jq -r '.discName[1]' <<<"$dump")』"
shot disc-prompt
wine_cdrom "$KI_DRIVE" "$KI_D2"
ks_drv click "$p" 1
first_link=$(jq -r '.shortcutName[0]' <<<"$dump")
for i in $(seq 300); do [ -f "$menu_unix/$first_link" ] && break; sleep 0.2; done
[ -f "$menu_unix/$first_link" ] || ks_fail "the install did not finish"
sleep 1.5
shot finished
ks_drv mouseup "$w"
ks_drv gone "$w" >/dev/null || ks_fail "the install window stayed"
l=$(ks_find -title "$title" -control 3 -pid "$pid")
ks_expect "launcher after the install" "$(ks_text "$l" 3)" "アンインストール"

echo "== installed names"
ki_expect_copied "$folder_unix" 8
record=$(ks_reg query "$regkey" /v InstallFolder | grep InstallFolder)
path=$(xxd -r -p <<<"$(awk '{print $3}' <<<"$record")" | tr -d '\0' | iconv -f CP932 -t UTF-8)
ks_expect "record path" "$path" "$folder_win"
ks_expect "shortcuts" "$(cd "$menu_unix" && ls | LC_ALL=C sort | tr '\n' ' ')" \
  "$(jq -r '.shortcutName[]' <<<"$dump" | LC_ALL=C sort | tr '\n' ' ')"

echo "== start the game"
marker="$KS_TEMP_UNIX/ran-game.txt"
ks_drv click "$l" 1
ks_wait_exit "$pid"
for i in $(seq 50); do [ -s "$marker" ] && break; sleep 0.2; done
single=${folder_win//\\\\/\\}
ks_expect "the game ran in its folder" "$(tail -1 "$marker")" \
  "cmdline=\"$folder_win\\$(jq -r .exeName <<<"$dump")\"	cwd=$single"
g=$(ks_find -title "$title" -timeout 20000)
shot game
ks_drv close "$g" >/dev/null || true

echo "== uninstall with the save data"
ks_fresh_temp
wine_cdrom "$KI_DRIVE" "$KI_D1"
l=$(ki_launch)
pid=$(ki_pid_of "$l")
ks_drv click "$l" 3
u=$(ks_find -control 1009 -pid "$pid")
ks_expect "uninstall caption" "$(ks_text "$u")" "$title のアンインストール"
ks_drv click "$u" 1009
shot uninstall
ks_drv click "$u" 1
m=$(ks_find -title "$title" -control 65535 -pid "$pid" -timeout 30000)
shot uninstalled
ks_expect "uninstall message" "$(ks_text "$m" 65535)" "アンインストールが正常に終了しました。"
ks_drv click "$m" 1
ks_wait_exit "$pid"
if ks_reg query "$regkey" >/dev/null; then ks_fail "the install record is still there"; fi

echo "== the drive as before"
# The typed folder itself was made by the install as the game folder's
# parent; it is the player's, not the game's, and stays (empty).
listing | grep -vxF "./$(basename "$(ki_unix "$typed_win")")" >"$KS_WORK/after.txt"
if ! diff "$KS_WORK/before.txt" "$KS_WORK/after.txt"; then ks_fail "the drive changed"; fi
echo "ok: nothing made outside the install folder, nothing left"
rm -rf "$(ki_unix "$typed_win")"
