#!/bin/bash
# The DirectX button starts the DirectX setup from the disc that holds it
# (drive E), and the launcher stays open. Without the disc it asks for it
# with the title's prompt (or the script's DXMESSAGE) until the disc is
# inserted and OK pressed, or Cancel is pressed. The setup starts by its
# full path, quoted, in its own folder.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

disc=$KS_WORK/disc1
ks_make_disc "$disc"
wine_cdrom E "$disc"
ks_fresh_temp
ks_not_installed
marker=$KS_WORK/marker.txt
export KSETUP_MARKER_WIN
KSETUP_MARKER_WIN=$(winepath -w "$marker")
expected_run='cmdline="E:\DIRECTX\DXSETUP.EXE"	cwd=E:\DIRECTX'

runs_recorded() { ks_expect_lines "DirectX setup runs" "$marker" "$1"; }

echo "== disc in the drive"
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 4 -pid "$pid")
ks_drv click "$h" 4
runs_recorded 1
ks_expect "DirectX setup command line and folder" "$(cat "$marker")" "$expected_run"
ks_drv find -title "$KS_TITLE" -control 4 -pid "$pid" >/dev/null || ks_fail "the launcher closed"
echo "ok: the launcher stays"

echo "== no disc: prompt, insert, OK"
wine_cdrom_eject E
ks_drv click "$h" 4
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
ks_shot directx-prompt
ks_expect "prompt" "$(ks_text "$m" 65535)" "テストゲーム のディスクを挿入して下さい。"
ks_expect "prompt buttons" "$(ks_text "$m" 1)/$(ks_text "$m" 2)" "OK/キャンセル"
# OK without the disc asks again.
ks_drv click "$m" 1
ks_drv gone "$m" >/dev/null || true
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
wine_cdrom E "$disc"
ks_drv click "$m" 1
runs_recorded 2

echo "== no disc: prompt, Cancel"
wine_cdrom_eject E
ks_drv click "$h" 4
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
ks_drv click "$m" 2
ks_drv gone "$m" >/dev/null || true
sleep 1
runs_recorded 2
ks_drv find -title "$KS_TITLE" -control 4 -pid "$pid" >/dev/null || ks_fail "the launcher closed"
ks_drv click "$h" 2
ks_wait_exit "$pid"

echo "== the script's own prompt"
wine_cdrom E "$disc"
{ ks_default_script; echo 'DXMESSAGE = "ＤｉｒｅｃｔＸのディスクを入れて下さい"'; } | ks_script "$disc"
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 4 -pid "$pid")
wine_cdrom_eject E
ks_drv click "$h" 4
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
ks_expect "DXMESSAGE prompt" "$(ks_text "$m" 65535)" "ＤｉｒｅｃｔＸのディスクを入れて下さい"
ks_drv click "$m" 2
ks_drv click "$h" 2
ks_wait_exit "$pid"
wine_cdrom E "$disc"
