#!/bin/bash
# The program's folders of its own in the temporary folder. A copy into a
# new folder that fails is a failed relaunch: nothing starts from that
# folder, which goes again, and the program runs from where it was started.
# A start removes the folders earlier runs left behind (their program file
# cannot delete itself; a delayed deletion needs rights a standard user
# lacks, and under Wine it happens only when a new session boots) when
# nothing in them is open, and only folders whose name has the run folder's
# form. A copy that finds another instance running leaves no script or
# archive behind and schedules its own deletion.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

disc=$KS_WORK/disc1
signals=$KS_WORK/signals
ks_make_disc "$disc"
wine_cdrom E "$disc"
ks_not_installed
holders=()
release_all() {
  for s in "$signals"/*; do [ -d "$s" ] && touch "$s/release"; done
  for p in "${holders[@]}"; do wait "$p" 2>/dev/null || true; done
  holders=()
}
# hold WINDOWS-PATH NAME [alone]: hold_file.exe keeps the file open until release_all.
hold() {
  mkdir -p "$signals/$2"
  wine "$KS_BIN/hold_file.exe" "$1" "$(winepath -w "$signals/$2")" ${3:-} &
  holders+=($!)
  for i in $(seq 200); do [ -e "$signals/$2/held" ] && break; sleep 0.1; done
  [ -e "$signals/$2/held" ] || ks_fail "hold_file did not open $1"
}
run_folders() { ls -A "$KS_TEMP_UNIX" | grep '^KSetup-' || true; }

echo "== a copy into the new folder fails"
ks_fresh_temp
# Nobody else may read the script now, so its copy fails. The program then
# goes on from the disc as after any failed relaunch, where it cannot read
# the script either.
hold 'E:\KSetup.ini' script alone
pid=$(ks_start 'E:\' 'E:\KSetup.exe')
m=$(ks_find -title "KSetup Error" -pid "$pid")
ks_expect "message" "$(ks_text "$m" 65535)" "設定ファイルが見つかりません。処理を中断します。"
from_temp=$(ks_drv procs KSetup.exe | cut -f3 | grep -iF 'ks temp' || true)
ks_expect "no program started from the temporary folder" "$from_temp" ""
ks_expect "no folder left in the temporary folder" "$(run_folders)" ""
echo "ok: the program went on where it was started"
ks_drv click "$m" 1
ks_wait_exit "$pid"
release_all

echo "== two runs leave one folder"
ks_fresh_temp
ks_clear_pending_deletes
# What earlier runs left: a free one, one whose file is in use, and two
# folders of other names.
for f in KSetup-0123456789ABCDEF KSetup-FEDCBA9876543210 KSetup-Saves KSetup-0123456789ABCDEF0; do
  mkdir -p "$KS_TEMP_UNIX/$f"
  cp "$disc/KSetup.exe" "$KS_TEMP_UNIX/$f/"
done
cp "$disc/KSetup.ini" "$KS_TEMP_UNIX/KSetup-0123456789ABCDEF/"
hold "$KS_TEMP\\KSetup-FEDCBA9876543210\\KSetup.exe" busy
for run in 1 2; do
  pid=$(ks_start 'E:\' 'E:\KSetup.exe')
  ks_wait_exit "$pid"
  copy=$(ks_running KSetup.exe)
  h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$copy")
  ks_drv click "$h" 2
  ks_wait_exit "$copy"
done
release_all
left=$(run_folders | grep -vxF -e KSetup-FEDCBA9876543210 -e KSetup-Saves -e KSetup-0123456789ABCDEF0 || true)
ks_expect "one folder of the two runs left" "$(wc -l <<<"$left")" 1
[[ "$left" =~ ^KSetup-[0-9A-F]{16}$ ]] || ks_fail "unexpected folder left: $left"
[ ! -e "$KS_TEMP_UNIX/KSetup-0123456789ABCDEF" ] || ks_fail "the free folder of an earlier run is still there"
for f in KSetup-FEDCBA9876543210 KSetup-Saves KSetup-0123456789ABCDEF0; do
  [ -e "$KS_TEMP_UNIX/$f/KSetup.exe" ] || ks_fail "$f was touched"
done
echo "ok: the earlier runs' folders went, the one in use and the foreign ones stay"

echo "== a copy that finds another instance running"
ks_fresh_temp
ks_clear_pending_deletes
first=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$first")
late="$KS_TEMP_UNIX/KSetup-00000000000000AA"
mkdir -p "$late"
cp "$disc/KSetup.exe" "$disc/KSetup.ini" "$disc/Instdata.pak" "$late/"
late_win="$KS_TEMP\\KSetup-00000000000000AA"
pid=$(ks_start "$late_win" "$late_win\\KSetup.exe" t)
ks_wait_exit "$pid" 5000
ks_expect "the late copy's script and archive are gone" "$(ls -A "$late")" "KSetup.exe"
ks_pending_list | grep -qixF "\\??\\$late_win\\KSetup.exe" || ks_fail "the late copy is not scheduled for deletion"
ks_pending_list | grep -qixF "\\??\\$late_win" || ks_fail "the late copy's folder is not scheduled for deletion"
ks_expect "the first instance still runs" "$(ks_running KSetup.exe)" "$first"
ks_drv click "$h" 2
ks_wait_exit "$first"
echo "ok: the late copy cleared its folder"
