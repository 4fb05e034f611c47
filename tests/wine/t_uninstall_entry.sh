#!/bin/bash
# With UNINSTALLENTRY a complete install lists the game among the installed
# programs (Wine's own uninstaller lists it): name, publisher, icon, folder,
# size, no modify or repair, and a command that starts a copy of the program
# kept in a folder of the install folder. That command uninstalls without
# any disc in the drive, and afterwards the install folder (the copies
# with it), the entry, the shortcuts and the record are gone. Without the
# keyword nothing is listed.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_places

clean() {
  ki_clean
  ks_reg delete "$list_key" /f >/dev/null || true
}

# The entry's line of Wine's uninstaller: "key|||name", the name in the
# console's code page, so only the key is compared.
listed() { wine uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | grep -aoF "$entry_key|||" || true; }

install_choice2() {
  clean
  ki_install_choice2 "$KS_TITLE"
}

echo "== without the keyword: not listed"
ki_small_discs
install_choice2
ks_expect "listed" "$(listed)" ""
ks_reg query "$list_key" >/dev/null 2>&1 && ks_fail "an entry was written"
echo "ok: nothing registered"

echo "== with the keyword: listed"
{ ki_small_script; echo 'UNINSTALLENTRY = "UNINST"'; } | ks_script "$KI_D1"
install_choice2
ks_expect "listed by the uninstaller" "$(listed)" "$entry_key|||"
value() { ks_reg query "$list_key" /v "$1" | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
ks_expect "name" "$(ks_drv regtext "${list_key#HKCU\\}" DisplayName)" "$KS_TITLE"
copy_win="$folder_win\\UNINST\\KSetup.exe"
ks_expect "publisher" "$(value Publisher)" "KSetupTest"
ks_expect "install location" "$(value InstallLocation)" "$folder_win"
ks_expect "uninstall command" "$(value UninstallString)" "\"$copy_win\" u"
ks_expect "icon" "$(value DisplayIcon)" "$copy_win,0"
ks_expect "no modify, no repair" "$(value NoModify)/$(value NoRepair)" "0x1/0x1"
ks_expect "size in KB" "$(value EstimatedSize)" "$(printf '0x%x' $(((5000 + 3000000 + 0 + 4096 + 2000 + 1023) / 1024)))"
for f in KSetup.exe KSetup.ini Instdata.pak; do
  cmp -s "$KI_D1/$f" "$folder_unix/UNINST/$f" || ks_fail "the copy of $f in the entry's folder differs"
done
echo "ok: the entry and its copies"

echo "== uninstalled from the list, no disc in the drive"
wine_cdrom_eject "$KI_DRIVE"
ks_fresh_temp
first=$(ks_start "$folder_win\\UNINST" "$copy_win" u)
ks_wait_exit "$first"
u=$(ks_find -control 1009 -timeout 20000)
pid=$(ki_pid_of "$u")
ks_shot uninstall-entry-dialog
ks_drv click "$u" 1009
ks_drv click "$u" 1
ki_uninstall_done "$KS_TITLE"
ks_expect "listed after the uninstall" "$(listed)" ""
echo "ok: nothing left"
clean
