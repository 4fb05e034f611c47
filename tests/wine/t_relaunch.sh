#!/bin/bash
# Started from the disc, KSetup.exe copies itself, its script and its archive
# into a new folder of its own in the temporary folder (here one with blanks
# in its path) and runs the copy there with "t" (empty command line) or "r"
# (command line "u"). Every start makes a new folder. On the way out the
# copy deletes the script and archive and has its own file and then its
# folder deleted at the next system start; a program that is not the
# temporary copy is not scheduled.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

disc=$KS_WORK/disc1
ks_make_disc "$disc"
wine_cdrom E "$disc"
ks_not_installed

# copy_process: "pid<TAB>command line<TAB>current folder" of the running copy.
copy_process() {
  ks_drv procs KSetup.exe | cut -f1,3,4
}

echo "== empty command line"
ks_fresh_temp
ks_clear_pending_deletes
pid=$(ks_start 'E:\' 'E:\KSetup.exe')
ks_wait_exit "$pid"
h=$(ks_find -title "$KS_TITLE" -control 3)
run=$(ks_run_folder)
run_win="$KS_TEMP\\$(basename "$run")"
copy_path="$run_win\\KSetup.exe"
for f in KSetup.exe KSetup.ini Instdata.pak; do
  cmp -s "$disc/$f" "$run/$f" || ks_fail "$f was not copied to the folder in the temporary folder"
done
echo "ok: the three files were copied into $run_win"
IFS=$'\t' read -r copy cmdline folder <<<"$(copy_process)"
ks_expect "the copy runs with t" "$cmdline" "\"$copy_path\" t"
ks_expect "the copy runs in its folder" "${folder%\\}" "$run_win"
ks_expect "launcher mode" "$(ks_text "$h" 3)" "インストール"

ks_drv click "$h" 2
ks_wait_exit "$copy"
[ ! -e "$run/KSetup.ini" ] || ks_fail "the temporary script is still there"
[ ! -e "$run/Instdata.pak" ] || ks_fail "the temporary archive is still there"
echo "ok: the temporary script and archive are gone"
pending=$(ks_pending_deletes)
echo "$pending"
# The file first, then its folder.
copy_line=$(ks_pending_list | grep -nxF "\\??\\$copy_path" | cut -d: -f1 | head -1)
folder_line=$(ks_pending_list | grep -nxF "\\??\\$run_win" | cut -d: -f1 | head -1)
[ -n "$copy_line" ] || ks_fail "no delayed deletion of $copy_path"
[ -n "$folder_line" ] && [ "$folder_line" -gt "$copy_line" ] || ks_fail "no delayed deletion of $run_win after its file"
echo "ok: the copy's deletion at the next start is recorded"
[ ! -e "$WINEPREFIX/drive_c/windows/WININIT.INI" ] || ks_fail "WININIT.INI was written although the delayed deletion was accepted"

echo "== command line u"
first_run=$(basename "$run")
ks_fresh_temp
ks_clear_pending_deletes
pid=$(ks_start 'E:\' 'E:\KSetup.exe' u)
ks_wait_exit "$pid"
for i in $(seq 50); do [ -n "$(copy_process)" ] && break; sleep 0.2; done
IFS=$'\t' read -r copy cmdline folder <<<"$(copy_process)"
run=$(ks_run_folder)
copy_path="$KS_TEMP\\$(basename "$run")\\KSetup.exe"
ks_expect "the copy runs with r" "$cmdline" "\"$copy_path\" r"
# Uninstall mode opens the uninstall dialog first; cancelling it leads to
# the launcher.
[ "$(basename "$run")" != "$first_run" ] || ks_fail "the folder of the first start was used again"
u=$(ks_find -control 1009 -pid "$copy" -timeout 10000)
ks_shot dialog-109-uninstall
ks_expect "uninstall dialog caption" "$(ks_text "$u")" "$KS_TITLE のアンインストール"
ks_expect "save data box" "$(ks_text "$u" 1009)" "セーブデータも削除する"
ks_expect "save data box starts unticked" "$(ks_drv checked "$u" 1009)" 0
ks_drv click "$u" 2
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$copy")
ks_drv click "$h" 2
ks_wait_exit "$copy"
grep -qF "\\??\\$copy_path" <<<"$(ks_pending_deletes)" || ks_fail "no delayed deletion after uninstall mode"
echo "ok: uninstall mode leaves the same way"

echo "== launcher mode straight from the disc"
ks_fresh_temp
ks_clear_pending_deletes
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "nothing copied" "$(ls -A "$KS_TEMP_UNIX")" ""
ks_drv click "$h" 2
ks_wait_exit "$pid"
if ks_pending_deletes | grep -qi 'KSetup.exe'; then ks_fail "the disc's program was scheduled for deletion"; fi
echo "ok: a program that is no temporary copy stays"
