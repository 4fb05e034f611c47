#!/bin/bash
# The install window where its events meet. An install cancelled at the
# first disc prompt takes nothing: files the player already had in the
# chosen folder stay. A close from outside during a disc prompt is that
# prompt's Cancel. When disc 1's copy ends while the abort question is open,
# Yes takes disc 1 back and No goes on to disc 2's prompt. A copy error that
# comes while the question is open ends the program with the error, whatever
# the question's answer. System keys do nothing by themselves: Alt+Space
# opens no menu and Alt+F4 asks once, also when the install is done. The window's thread is held (its
# messages queue up) so that the events meet in the order the test wants.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_discs
ki_small_places

# stopped: the launcher's "stopped" message, OK'd, then quit.
stopped() {
  local m l
  m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 60000)
  ks_expect "$1: message" "$(ks_text "$m" 65535)" "インストールを中断しました。"
  ks_drv click "$m" 1
  l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
  ks_drv click "$l" 2
  ks_wait_exit "$pid"
}

question() { ks_find -title "確認" -control 65535 -pid "$pid" -timeout 20000; }

echo "== the first disc prompt cancelled: the player's files stay"
ki_launch_options
mkdir -p "$folder_unix/DATA"
echo "the player's own" >"$folder_unix/GAME.EXE"
echo "the player's own" >"$folder_unix/DATA/A.BIN"
wine_cdrom_eject "$KI_DRIVE"
ks_drv click "$o" 1
p=$(ks_find -title "ＣＤの挿入" -control 1015 -pid "$pid" -timeout 30000)
ks_expect "disc 1 asked for" "$(ks_text "$p" 1015)" "『テストディスク１』"
ks_drv click "$p" 2
stopped "first prompt cancelled"
ks_expect "the player's files" "$(cat "$folder_unix/GAME.EXE" "$folder_unix/DATA/A.BIN")" \
  "the player's own
the player's own"

echo "== a close from outside during a disc prompt is its Cancel"
ki_launch_options
wine_cdrom_eject "$KI_DRIVE"
ks_drv click "$o" 1
w=$(ki_install_window)
p=$(ks_find -title "ＣＤの挿入" -control 1015 -pid "$pid" -timeout 30000)
ks_drv close "$w"
ks_drv gone "$p" -timeout 10000 >/dev/null || ks_fail "the prompt stayed after the close"
ks_no_window -title "確認" -pid "$pid" -timeout 500
stopped "closed during the prompt"
[ ! -e "$folder_unix" ] || ks_fail "the install folder is there: $(find "$folder_unix" | head -3)"

# copy_then_ask: starts the install slowed down and, once the copy is under
# way, holds the window's thread, has Escape wait in its queue and lets the
# copy run on; sets w and tid.
copy_then_ask() {
  ki_launch_options
  ks_drv click "$o" 1
  ki_throttle_start
  w=$(ki_install_window)
  ki_wait_bytes "$folder_unix" 500000
  if [ -n "${1:-}" ]; then rm -f "$KI_D1/$1"; fi
  tid=$(ks_drv suspend "$w") || ks_fail "cannot hold the window's thread"
  ks_drv key "$w" 27
  ki_throttle_stop
}

echo "== disc 1's copy ends while the question is open: Yes takes it back"
copy_then_ask
ki_wait_bytes "$folder_unix" "$KI_DISC1_BYTES"
sleep 1
ks_drv resume "$tid"
q=$(question)
ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 1000
ks_shot flow-question-after-disc1
ks_drv click "$q" 6
stopped "Yes after disc 1"
[ ! -e "$folder_unix" ] || ks_fail "disc 1's files stayed: $(find "$folder_unix" | head -3)"

echo "== the same with No: disc 2 is asked for"
copy_then_ask
ki_wait_bytes "$folder_unix" "$KI_DISC1_BYTES"
sleep 1
ks_drv resume "$tid"
q=$(question)
ks_drv click "$q" 7
p=$(ks_find -title "ＣＤの挿入" -control 1015 -pid "$pid" -timeout 20000)
ks_expect "disc asked for" "$(ks_text "$p" 1015)" "『テストディスク２』"
ks_drv click "$p" 2
stopped "No after disc 1, then the prompt cancelled"

echo "== a copy error while the question is open ends the program"
cp -p "$KI_D1/BIN/TOOL.EXE" "$KS_WORK/TOOL.EXE"
copy_then_ask BIN/TOOL.EXE
# The copy fails at the missing file and takes back what it copied.
for i in $(seq 100); do [ "$(ki_bytes "$folder_unix")" = 0 ] && break; sleep 0.2; done
ks_drv resume "$tid"
q=$(question)
e=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 20000)
ks_shot flow-error-over-question
ks_expect "error" "$(ks_text "$e" 65535)" "ファイルリードエラー
 BIN\\TOOL.EXE が正しく読めませんでした。"
ks_drv click "$q" 6
ks_drv click "$e" 1
ks_wait_exit "$pid" 20000
ks_no_window -title "$KS_TITLE" -control 3 -timeout 500
echo "ok: the error ended the program; no launcher"
cp -p "$KS_WORK/TOOL.EXE" "$KI_D1/BIN/TOOL.EXE"
[ ! -e "$folder_unix" ] || ks_fail "the install folder is there: $(find "$folder_unix" | head -3)"

echo "== system keys after the end: Alt+Space opens nothing, Alt+F4 asks once"
# The second choice copies disc 1 only; the finished window waits.
ki_start_choice2 "$programs_unix/KSetupTest/テストゲーム/道具"
ks_drv syskey "$w" 32
sleep 1
if ks_drv windows | awk -F'\t' -v p="$pid" '$2 == p' | grep -q '#32768'; then ks_fail "Alt+Space opened a menu"; fi
ks_no_window -title "確認" -pid "$pid" -timeout 500
ks_drv syskey "$w" 115
q=$(question)
ks_drv click "$q" 7
ks_drv gone "$q" >/dev/null || ks_fail "the question stayed"
ks_no_window -title "確認" -pid "$pid" -timeout 1500
echo "ok: Alt+F4 asked once; the window is still there"
ks_drv key "$w" 13
ks_drv gone "$w" >/dev/null || ks_fail "Enter did not close the finished install"
l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "installed" "$(ks_text "$l" 3)" "アンインストール"
ks_drv click "$l" 2
ks_wait_exit "$pid"
ki_clean
