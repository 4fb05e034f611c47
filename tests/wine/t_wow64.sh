#!/bin/bash
# What differs when the program runs as a 32-bit program on 64-bit Windows
# (the i686 build in a 64-bit prefix: KSETUP_WIN_BUILD=win32), checked for
# the build under test either way: whether its process runs under WoW64; the
# program files folder it is told (the "(x86)" one under WoW64), where the
# files then land; and the install record, which must be where a 32-bit
# game reads it as well as a 64-bit one: HKEY_CURRENT_USER\Software is one
# key in both registry views (reg /reg:32 and /reg:64), and nothing goes to
# the machine-wide keys of either view.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

if [ "$KSETUP_WIN_BUILD" = win32 ] && [ "$WINEARCH" = win64 ]; then
  wow64=1 program_files='C:\Program Files (x86)'
else
  wow64=0 program_files='C:\Program Files'
fi
folder_win="$program_files\\Slumber\\\\TestGame"
folder_unix=$(ki_unix "$folder_win")
programs_unix=$(find "$WINEPREFIX/drive_c/users" -maxdepth 7 -type d -path '*Start Menu/Programs' | head -1)
menu_unix="$programs_unix/KSetupTest"

clean() {
  ks_not_installed
  rm -rf "$(dirname "$folder_unix")" "$menu_unix"
}

# record VIEW: the install folder the record holds, read in that view.
record() {
  local hex
  hex=$(ks_reg query "$KS_REGKEY\\TestGame" /v InstallFolder "/reg:$1" | awk '/InstallFolder/ { print $3 }')
  xxd -r -p <<<"$hex" | tr -d '\0' | iconv -f CP932 -t UTF-8
}

ki_small_discs
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

echo "== install (the second choice: disc 1 only)"
ks_drv click "$o" 1003
ks_drv click "$o" 1
w=$(ki_install_window)
for i in $(seq 100); do [ -d "$menu_unix/$KS_TITLE" ] && break; sleep 0.2; done
[ -d "$menu_unix/$KS_TITLE" ] || ks_fail "the install did not finish"
sleep 0.5
ks_drv key "$w" 32
ks_drv gone "$w" >/dev/null || ks_fail "Space did not close the finished install"
l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "the program reads its record back" "$(ks_text "$l" 3)" "アンインストール"
ks_drv click "$l" 2
ks_wait_exit "$pid"
ki_expect_copied "$folder_unix" 4

echo "== the record in both registry views"
ks_expect "record, 32-bit view" "$(record 32)" "$folder_win"
ks_expect "record, 64-bit view" "$(record 64)" "$folder_win"
for view in 32 64; do
  if ks_reg query 'HKLM\Software\KSetupTest' "/reg:$view" >/dev/null; then
    ks_fail "a machine-wide key in the $view-bit view"
  fi
done
echo "ok: no machine-wide key in either view"
clean
