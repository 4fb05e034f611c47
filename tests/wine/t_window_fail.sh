#!/bin/bash
# When the install window cannot be made (its picture surface cannot be
# had), its creation fails without ending the program's message loop: no
# quit message is left to close the "ウィンドウ作成エラー" box before the
# player sees it, and the state is Exit, so the program goes out its usual
# way (its copies in the temporary folder with it).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

[ -f "$KS_BIN/window_probe.exe" ] || ks_fail "missing window_probe.exe (build the Windows preset)"
got=$(wine "$KS_BIN/window_probe.exe" </dev/null 2>/dev/null | tr -d '\r')
ks_expect "failed creation" "$got" "window=0 quit=0 state=4"
