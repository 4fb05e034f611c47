#!/bin/bash
# The launcher of KSetup.exe, started in launcher mode from the disc: its
# caption, button texts, enabled states and focus when the game is not
# installed and when it is, the DirectX button without a DirectX place, the
# title picture, and the ways out (Quit, the close box).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

disc=$KS_WORK/disc1
ks_make_disc "$disc"
wine_cdrom E "$disc"
ks_fresh_temp

# launcher_state HWND: "id:text:state" for the four buttons, one per line.
launcher_state() {
  local id
  for id in 3 1 4 2; do
    echo "$id:$(ks_text "$1" "$id" | tr '\n' '|'):$(ks_state "$1" "$id" | sed "s/ default=.//")"
  done
}

echo "== not installed"
ks_not_installed
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_shot launcher-not-installed
ks_expect "caption is appliTitle" "$(ks_text "$h")" "$KS_TITLE"
ks_expect "buttons" "$(launcher_state "$h")" \
"3:インストール|:enabled=1 visible=1 focus=1
1:ゲーム開始|:enabled=0 visible=1 focus=0
4:DirectX の|インストール|:enabled=1 visible=1 focus=0
2:終了|:enabled=1 visible=1 focus=0"
# The title picture lies at the top-left of the client area, 320 x 320,
# upright: white frame, red square at the top left, yellow at the bottom
# right, the disc's hole in the middle; the dialog is black around it.
echo "client area: $(ks_drv rect "$h")"
ks_expect_colour "picture frame" "$(ks_pixel "$h" 0 0)" 255,255,255
ks_expect_colour "red square top left" "$(ks_pixel "$h" 20 20)" 220,30,30
ks_expect_colour "yellow square bottom right" "$(ks_pixel "$h" 300 300)" 240,220,40
ks_expect_colour "frame bottom right" "$(ks_pixel "$h" 319 319)" 255,255,255
ks_expect_colour "black beyond the picture" "$(ks_pixel "$h" 322 330)" 0,0,0
ks_drv click "$h" 2
ks_wait_exit "$pid"
ks_no_window -title "$KS_TITLE" -timeout 500

echo "== installed"
ks_installed 'C:\KSetupTest\TestGame'
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_shot launcher-installed
ks_expect "installed buttons" "$(launcher_state "$h")" \
"3:アンインストール|:enabled=1 visible=1 focus=0
1:ゲーム開始|:enabled=1 visible=1 focus=1
4:DirectX の|インストール|:enabled=1 visible=1 focus=0
2:終了|:enabled=1 visible=1 focus=0"
# The close box ends the program like Quit.
ks_drv close "$h"
ks_wait_exit "$pid"

echo "== empty registry value, no DirectX place"
ks_installed ''
ks_default_script | grep -v '^DXPLACE' | ks_script "$disc"
pid=$(ks_start 'E:\' 'E:\KSetup.exe' T)
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "empty install folder counts as not installed" "$(ks_text "$h" 3)" "インストール"
ks_expect "start game disabled" "$(ks_state "$h" 1 | cut -d' ' -f1)" "enabled=0"
ks_expect "DirectX disabled without DXPLACE" "$(ks_state "$h" 4 | cut -d' ' -f1)" "enabled=0"
ks_drv command "$h" 2
ks_wait_exit "$pid"
ks_not_installed
