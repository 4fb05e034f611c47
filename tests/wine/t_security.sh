#!/bin/bash
# KSetup.exe runs elevated from the player's temporary folder, which every
# program of the player can write to. A DLL planted there or beside the
# program on the disc under the name of a system DLL that is no known DLL
# (winmm.dll; Wine is told to look for it in the program's folder first, as
# Windows does) is never loaded, neither by the program on the disc nor by
# its copy, also when the copy uses winmm (a disc probe). The copy runs from
# a new folder of its own that only administrators and SYSTEM may enter when
# it runs elevated, and that folder goes with its files.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

planted=$KS_BIN/planted/winmm.dll
[ -f "$planted" ] || ks_fail "missing $planted (build the Windows preset)"
disc=$KS_WORK/disc1
ks_make_disc "$disc"
{ ks_default_script; echo 'EXEC CHANGECD = 1'; } | ks_script "$disc"
wine_cdrom E "$disc"
ks_not_installed
marker=$KS_WORK/planted.txt
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm=n,b"

echo "== winmm.dll planted beside the program and in the temporary folder"
ks_fresh_temp
cp "$planted" "$disc/winmm.dll"
cp "$planted" "$KS_TEMP_UNIX/winmm.dll"
rm -f "$marker"
# Through a file: the started program keeps the driver's output open.
wine "$KS_BIN/ksdriver.exe" start -env "TEMP=$KS_TEMP" -env "TMP=$KS_TEMP" \
  -env "KSETUP_PLANTED_MARKER=$(winepath -w "$marker")" 'E:\' 'E:\KSetup.exe' </dev/null >"$KS_WORK/start.out" 2>/dev/null || true
first=$(tr -d '\r\n' <"$KS_WORK/start.out")
[ -n "$first" ] || ks_fail "the program did not start"
ks_wait_exit "$first"
h=$(ks_drv find -title "$KS_TITLE" -control 3 || true)
ks_shot security-launcher
if [ -s "$marker" ]; then
  cat "$marker"
  ks_fail "the planted winmm.dll was loaded"
fi
[ -n "$h" ] || ks_fail "no launcher"
pid=$(ks_drv windows | awk -v h="$h" '$1 == h { print $2 }')
echo "ok: the planted DLL was not loaded (the disc was probed through winmm)"

echo "== the copy's folder"
run=$(ks_run_folder)
elevated=$(ks_drv elevated "$pid") || ks_fail "cannot read the copy's token"
ks_expect "the copy runs elevated" "$elevated" 1
restricted='D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)'
sddl=$(ks_drv security "$KS_TEMP\\$(basename "$run")") || ks_fail "cannot read the folder's security"
# Wine keeps access lists only where it was built to; a folder of the test's
# own, made with the list the program asks for, tells whether this one does.
kept=$(ks_drv securefolder 'C:\ks-acl-probe' "$restricted") || ks_fail "cannot make a folder with an access list"
if [ "$kept" = "$restricted" ]; then
  ks_expect "the folder admits only SYSTEM and administrators" "$sddl" "$restricted"
else
  echo "not checked: this Wine keeps no access lists (a folder made with $restricted reads back as $kept)"
fi
ks_drv click "$h" 2
ks_wait_exit "$pid"
[ ! -e "$run/KSetup.ini" ] && [ ! -e "$run/Instdata.pak" ] || ks_fail "the copy's script or archive stayed"
ks_pending_list | grep -qxF "\\??\\$KS_TEMP\\$(basename "$run")" || ks_fail "the copy's folder is not to be deleted"
echo "ok: the folder and its files are gone or to be deleted at the next start"
rm -f "$disc/winmm.dll"
