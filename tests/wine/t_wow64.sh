#!/bin/bash
# What differs when the program runs as a 32-bit program on 64-bit Windows
# (the i686 build in a 64-bit prefix: KSETUP_WIN_BUILD=win32), checked for
# the build under test either way, through an install of the smallest
# choice and its uninstall (the sample discs when they have been made, else
# the small set): whether the process runs under WoW64; the program files
# folder it is told (the "(x86)" one under WoW64), where the files then land;
# the install record, which must be where a 32-bit game reads it as well as
# a 64-bit one (HKEY_CURRENT_USER\Software is one key in both registry
# views: reg /reg:32 and /reg:64), with nothing in the machine-wide keys of
# either view; and the uninstall, which takes files and record away again.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

if [ "$KSETUP_WIN_BUILD" = win32 ] && [ "$WINEARCH" = win64 ]; then
  wow64=1 program_files='C:\Program Files (x86)'
else
  wow64=0 program_files='C:\Program Files'
fi
ki_sample_discs || ki_small_discs
dump=$(ki_dump)
title=$(jq -r .appliTitle <<<"$dump")
key="HKCU\\$(jq -r .regAddress <<<"$dump")"
machine_key="HKLM\\$(jq -r .regAddress <<<"$dump" | cut -d'\' -f1-2)"
choices=$(jq '.optionTitle | length' <<<"$dump")
folder_win="$program_files\\Slumber\\$(jq -r .mustMakeFolder <<<"$dump")"
folder_unix=$(ki_unix "$folder_win")
programs_unix=$(find "$WINEPREFIX/drive_c/users" -maxdepth 7 -type d -path '*Start Menu/Programs' | head -1)
menu_unix="$programs_unix/$(jq -r .brandName <<<"$dump")"

clean() {
  ks_reg delete "$key" /f >/dev/null || true
  rm -rf "$(dirname "$folder_unix")" "$menu_unix"
}

# record VIEW: the install folder the record holds, read in that view.
record() {
  local hex
  hex=$(ks_reg query "$key" /v InstallFolder "/reg:$1" | awk '/InstallFolder/ { print $3 }')
  xxd -r -p <<<"$hex" | tr -d '\0' | iconv -f CP932 -t UTF-8
}

clean
ks_fresh_temp
ki_only_drive
wine_cdrom "$KI_DRIVE" "$KI_D1"

echo "== $KSETUP_WIN_BUILD build in a $WINEARCH prefix"
l=$(ki_launch)
pid=$(ki_pid_of "$l")
ks_expect "runs under WoW64" "$(ks_drv wow64 "$pid")" "$wow64"
o=$(ki_options "$l")
ks_shot "wow64-$KSETUP_WIN_BUILD-options"
ks_expect "program files folder it is told" "$(ks_text "$o" 1000)" "$program_files\\Slumber"

echo "== install (choice $choices of $choices)"
ks_drv click "$o" $((1001 + choices))
ks_drv click "$o" 1
w=$(ki_install_window)
first_link=$(jq -r '.shortcutName[0]' <<<"$dump")
for i in $(seq 150); do [ -f "$menu_unix/$title/$first_link" ] && break; sleep 0.2; done
[ -f "$menu_unix/$title/$first_link" ] || ks_fail "the install did not finish"
sleep 0.5
ks_drv key "$w" 32
ks_drv gone "$w" >/dev/null || ks_fail "Space did not close the finished install"
l=$(ks_find -title "$title" -control 3 -pid "$pid")
ks_expect "the program reads its record back" "$(ks_text "$l" 3)" "アンインストール"
ki_expect_copied "$folder_unix" $((8 >> (choices - 1)))

echo "== the record in both registry views"
ks_expect "record, 32-bit view" "$(record 32)" "$folder_win"
ks_expect "record, 64-bit view" "$(record 64)" "$folder_win"
for view in 32 64; do
  if ks_reg query "$machine_key" "/reg:$view" >/dev/null; then
    ks_fail "a machine-wide key in the $view-bit view: $machine_key"
  fi
done
echo "ok: no machine-wide key in either view"

echo "== uninstall with the save data"
ks_drv click "$l" 3
u=$(ks_find -control 1009 -pid "$pid")
ks_drv click "$u" 1009
ks_drv click "$u" 1
m=$(ks_find -title "$title" -control 65535 -pid "$pid" -timeout 30000)
ks_shot "wow64-$KSETUP_WIN_BUILD-uninstalled"
ks_expect "message" "$(ks_text "$m" 65535)" "アンインストールが正常に終了しました。"
ks_drv click "$m" 1
ks_wait_exit "$pid"
[ ! -e "$folder_unix" ] || ks_fail "left: $(find "$folder_unix" | head -3)"
[ ! -e "$menu_unix" ] || ks_fail "the menu folders are still there"
for view in 32 64; do
  if ks_reg query "$key" "/reg:$view" >/dev/null; then ks_fail "the record is still in the $view-bit view"; fi
done
echo "ok: files, shortcuts and the record in both views gone"
clean
