#!/bin/bash
# Stopping an installation. Escape pauses the copy and asks; No resumes it
# and every file still arrives byte for byte; Enter, Space and a click do
# nothing before the end; a close from outside asks as well. Alt+F4 and Yes
# during disc 2 take back the files of disc 1 too and the launcher says the
# installation was stopped; so does cancelling the disc 2 prompt. Nothing
# of an aborted install stays: no files, folders, shortcuts or record.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_discs
ki_small_places
clean() { ki_clean; }

# start_install: launcher, options, start; the copy runs slowed down. Sets
# the install window's handle in w and the process in pid.
start_install() {
  ki_launch_options
  ks_drv click "$o" 1
  ki_throttle_start
  w=$(ki_install_window)
}

# swap_to_disc2: answers the disc 2 prompt with disc 2.
swap_to_disc2() {
  local p
  p=$(ks_find -title "ＣＤの挿入" -control 1015 -timeout 60000)
  wine_cdrom "$KI_DRIVE" "$KI_D2"
  ks_drv click "$p" 1
}

# question: the abort question's handle, after checking its text and buttons.
question() {
  local q
  q=$(ks_find -title "確認" -control 65535 -pid "$pid" -timeout 20000)
  ks_expect "question" "$(ks_text "$q" 65535)" "インストールを中断しますか？" >&2
  ks_expect "question buttons" "$(ks_drv state "$q" 6 | cut -d' ' -f2)/$(ks_drv state "$q" 7 | cut -d' ' -f2)" \
    "visible=1/visible=1" >&2
  echo "$q"
}

# expect_nothing_left WHAT: no install folder, shortcuts or record.
expect_nothing_left() {
  [ ! -e "$folder_unix" ] || ks_fail "$1: the install folder is still there: $(find "$folder_unix" | head -5)"
  # The level above it was made by the install too.
  [ ! -e "$(dirname "$folder_unix")" ] || ks_fail "$1: the folder above the install folder is still there"
  [ ! -e "$menu_unix" ] || ks_fail "$1: the menu folder is there"
  if ks_reg query "$KS_REGKEY\\TestGame" >/dev/null; then ks_fail "$1: an install record was written"; fi
  echo "ok: $1: nothing left"
}

# stopped_message: the launcher's message after an aborted install, OK'd;
# then the launcher must offer to install.
stopped_message() {
  local m l
  # Generous: the box follows the removal of what was copied, which a loaded
  # machine can stretch; a screenshot tells what was shown instead.
  m=$(ks_drv find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 90000) || {
    ks_shot "$1-missing-message"
    ks_fail "no message after the install stopped ($1)"
  }
  ks_expect "message" "$(ks_text "$m" 65535)" "インストールを中断しました。"
  ks_shot "$1"
  ks_drv click "$m" 1
  l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
  ks_expect "launcher offers to install" "$(ks_text "$l" 3)" "インストール"
  ks_drv click "$l" 2
  ks_wait_exit "$pid"
}

echo "== Escape, No: the copy goes on"
start_install
ki_wait_bytes "$folder_unix" 500000
ks_drv key "$w" 27
q=$(question)
ki_throttle_stop
ks_shot install-abort-question
# Paused: with the program at full speed nothing is written for a while.
before=$(ki_bytes "$folder_unix")
sleep 1.5
ks_expect "nothing copied while asking" "$(ki_bytes "$folder_unix")" "$before"
[ "$before" -lt "$KI_DISC1_BYTES" ] || ks_fail "disc 1 was done before the question"
ks_drv click "$q" 7
# Before the end, Enter, Space and clicks do nothing (here while disc 2 is
# asked for).
p=$(ks_find -title "ＣＤの挿入" -control 1015 -timeout 60000)
ks_drv key "$w" 13
ks_drv key "$w" 32
ks_drv mouseup "$w" left
ks_drv mouseup "$w" right
ks_drv mouseup "$w" middle
if ks_drv gone "$w" -timeout 1000 >/dev/null; then ks_fail "the install window closed before the end"; fi
ki_throttle_start
swap_to_disc2
ki_wait_bytes "$folder_unix" $((KI_DISC1_BYTES + 100000))
# A close from outside asks too; No leaves the install running.
ks_drv close "$w"
q=$(question)
ki_throttle_stop
[ "$(ki_bytes "$folder_unix")" -lt $((KI_DISC1_BYTES + 6000000)) ] || ks_fail "disc 2 was done before the close"
ks_drv click "$q" 7
for i in $(seq 100); do [ -f "$menu_unix/テストゲーム/道具" ] && break; sleep 0.2; done
[ -f "$menu_unix/テストゲーム/道具" ] || ks_fail "the install did not finish"
sleep 0.5
ks_drv key "$w" 13
ks_drv gone "$w" >/dev/null || ks_fail "Enter did not close the finished install"
ki_expect_copied "$folder_unix" 8
l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "installed" "$(ks_text "$l" 3)" "アンインストール"
ks_drv click "$l" 2
ks_wait_exit "$pid"

echo "== Alt+F4, Yes during disc 2: disc 1's files go as well"
start_install
swap_to_disc2
ki_wait_bytes "$folder_unix" $((KI_DISC1_BYTES + 1000000))
ks_drv syskey "$w" 115
q=$(question)
ki_throttle_stop
[ "$(ki_bytes "$folder_unix")" -lt $((KI_DISC1_BYTES + 6300000)) ] || ks_fail "disc 2 was done before Alt+F4"
ks_drv click "$q" 6
ks_drv gone "$w" -timeout 20000 >/dev/null || ks_fail "the install window stayed"
stopped_message install-abort-stopped
expect_nothing_left "aborted during disc 2"

echo "== disc 2 prompt cancelled: disc 1's files go as well"
start_install
p=$(ks_find -title "ＣＤの挿入" -control 1015 -timeout 60000)
ki_throttle_stop
ks_expect "disc 1 copied" "$(ki_bytes "$folder_unix")" "$KI_DISC1_BYTES"
ks_drv click "$p" 2
ks_drv gone "$w" -timeout 20000 >/dev/null || ks_fail "the install window stayed"
stopped_message install-abort-prompt-cancelled
expect_nothing_left "disc prompt cancelled"

echo "== Escape, Yes after the end: the finished install is taken back too"
ki_launch_options
ki_run_choice2 "$menu_unix/テストゲーム/道具"  # the second choice copies disc 1 only
sleep 0.5
ks_drv key "$w" 27
q=$(question)
ks_drv click "$q" 6
ks_drv gone "$w" -timeout 20000 >/dev/null || ks_fail "the install window stayed"
stopped_message install-abort-after-end
expect_nothing_left "aborted after the end"

echo "== a reinstall over the player's files, disc 2 prompt cancelled: they stay as they were"
ki_clean
mkdir -p "$folder_unix/DATA" "$folder_unix/SAVE"
echo "the player's game" >"$folder_unix/GAME.EXE"
echo "the player's data" >"$folder_unix/DATA/A.BIN"
ki_start_options
ks_drv click "$o" 1
w=$(ki_install_window)
p=$(ks_find -title "ＣＤの挿入" -control 1015 -timeout 60000)
cmp -s "$KI_D1/GAME.EXE" "$folder_unix/GAME.EXE" || ks_fail "GAME.EXE was not written"
ks_drv click "$p" 2
ks_drv gone "$w" -timeout 20000 >/dev/null || ks_fail "the install window stayed"
stopped_message install-abort-over-players-files
ks_expect "the player's game" "$(cat "$folder_unix/GAME.EXE")" "the player's game"
ks_expect "the player's data" "$(cat "$folder_unix/DATA/A.BIN")" "the player's data"
ks_expect "what is left" "$(cd "$folder_unix" && find . | sort | tr '\n' ' ')" ". ./DATA ./DATA/A.BIN ./GAME.EXE ./SAVE "
echo "ok: the player's files and folders are as they were, nothing else is left"
# The same install completed: the new files stay and the former ones go.
ki_start_options
ki_run_choice2 "$menu_unix/テストゲーム/道具"  # the second choice copies disc 1 only
ki_close_and_quit "$KS_TITLE" 13 Enter
cmp -s "$KI_D1/GAME.EXE" "$folder_unix/GAME.EXE" || ks_fail "GAME.EXE is not the disc's"
ks_expect "former files kept" "$(find "$folder_unix" -name '*.ksetup-old*')" ""
echo "ok: a completed install keeps no former files"

clean
