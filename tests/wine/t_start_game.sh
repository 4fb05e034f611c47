#!/bin/bash
# Start game: with the game installed (in a folder with a blank in its
# name), the launcher's Start game button starts the game program from the
# install folder, with the install folder as its current folder, and the
# program ends. Without the game program there, it says that starting
# failed and shows the launcher again.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

disc=$KS_WORK/disc1
ks_make_disc "$disc"
wine_cdrom E "$disc"
ks_fresh_temp
game_win='C:\KSetupTest\Game Folder'
game_unix="$WINEPREFIX/drive_c/KSetupTest/Game Folder"
rm -rf "$WINEPREFIX/drive_c/KSetupTest"
mkdir -p "$game_unix"
cp "$KS_BIN/standin.exe" "$game_unix/GAME.EXE"
marker=$KS_WORK/marker.txt
export KSETUP_MARKER_WIN
KSETUP_MARKER_WIN=$(winepath -w "$marker")
ks_installed "$game_win"

echo "== the game starts"
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 1 -pid "$pid")
ks_drv click "$h" 1
ks_wait_exit "$pid"
for i in $(seq 50); do [ -s "$marker" ] && break; sleep 0.2; done
[ -s "$marker" ] || ks_fail "the game did not run"
ks_expect "game command line and folder" "$(cat "$marker")" \
  "cmdline=\"$game_win\\GAME.EXE\"	cwd=$game_win"
ks_no_window -title "$KS_TITLE" -timeout 500
echo "ok: the program ended after starting the game"

echo "== the game is missing"
rm -f "$game_unix/GAME.EXE" "$marker"
pid=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 1 -pid "$pid")
ks_drv click "$h" 1
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
ks_shot start-game-failed
ks_expect "message" "$(ks_text "$m" 65535)" "起動に失敗しました。再インストールする事をお薦めします。"
ks_drv click "$m" 1
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
echo "ok: back at the launcher"
# The program took its mutex back: another start still ends at once.
other=$(ks_start 'E:\' 'E:\KSetup.exe' t)
ks_wait_exit "$other" 5000
ks_drv click "$h" 2
ks_wait_exit "$pid"
ks_not_installed
rm -rf "$WINEPREFIX/drive_c/KSetupTest"
