#!/bin/bash
# Saves Windows moved: a game without a manifest of its own that writes its
# saves into its folder below the program files folder has them put into
# the player's VirtualStore, at the install folder without its drive. They
# are planted there as Windows would have written them. An uninstall from
# the launcher without the save data leaves them; the uninstall from the
# system's list of installed programs with the save data ticked removes
# them and the folders this leaves empty, and nothing else in the
# VirtualStore (another program's file there stays).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_places
local_win=$(wine cmd /c 'echo %LOCALAPPDATA%' </dev/null 2>/dev/null | tr -d '\r\n')
[[ "$local_win" == 'C:\'* ]] || ks_fail "no local application data folder: $local_win"
store_unix="$(ki_unix "$local_win")/VirtualStore"
# The install folder without its drive, below the VirtualStore.
installed_unix=$(ki_unix "$folder_win")
mirror_unix="$store_unix${installed_unix#"$WINEPREFIX/drive_c"}"
pf=$(basename "$(ki_unix "$KS_PROGRAM_FILES")")
other_unix="$store_unix/$pf/Other Game/SAVE"

clean() {
  ki_clean
  ks_reg delete "$list_key" /f >/dev/null || true
  rm -rf "$store_unix"
}
vs_cleanup() {
  rm -rf "$store_unix"
  ki_cleanup
}
trap vs_cleanup EXIT

# install_and_plant: installs the second choice and plants two saves of the
# game and another program's save in the VirtualStore.
install_and_plant() {
  clean
  ki_install_choice2 "$KS_TITLE"
  mkdir -p "$mirror_unix/SAVE" "$other_unix"
  echo save1 >"$mirror_unix/SAVE/ONE.SAV"
  echo save2 >"$mirror_unix/SAVE/TWO.SAV"
  echo other >"$other_unix/KEEP.SAV"
}

# store_files: every path below the VirtualStore, sorted, on one line.
store_files() { (cd "$store_unix" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' '|'); }

echo "== without the save data: the moved saves stay"
ki_small_discs
{ ki_small_script; echo 'UNINSTALLENTRY = "UNINST"'; } | ks_script "$KI_D1"
install_and_plant
before=$(store_files)
l=$(ki_launch)
pid=$(ki_pid_of "$l")
ks_drv click "$l" 3
u=$(ks_find -control 1009 -pid "$pid")
ks_expect "save data not ticked" "$(ks_drv checked "$u" 1009)" 0
ks_drv click "$u" 1
ki_uninstall_done "$KS_TITLE"
ks_expect "the VirtualStore after the uninstall" "$(store_files)" "$before"
echo "ok: the moved saves and the other program's file stay"

echo "== from the list of installed programs, with the save data"
install_and_plant
copy_win="$folder_win\\UNINST\\KSetup.exe"
wine_cdrom_eject "$KI_DRIVE"
ks_fresh_temp
first=$(ks_start "$folder_win\\UNINST" "$copy_win" u)
ks_wait_exit "$first"
u=$(ks_find -control 1009 -timeout 20000)
pid=$(ki_pid_of "$u")
ks_drv click "$u" 1009
ks_drv click "$u" 1
ki_uninstall_done "$KS_TITLE"
[ ! -e "$mirror_unix" ] || ks_fail "left in the VirtualStore: $(find "$mirror_unix" | head)"
# Another program's save stays, and so do the levels above the install
# folder's place, which are the VirtualStore's own.
ks_expect "what is left in the VirtualStore" "$(store_files)" \
  "./$pf|./$pf/Other Game|./$pf/Other Game/SAVE|./$pf/Other Game/SAVE/KEEP.SAV|./$pf/Slumber|"
ks_expect "another program's save" "$(cat "$other_unix/KEEP.SAV")" "other"
echo "ok: the moved saves and their folders are gone, nothing else"
clean
