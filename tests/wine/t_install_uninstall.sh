#!/bin/bash
# Install with the second choice (disc 2 holds nothing for it and is never
# asked for), then uninstall from the launcher: Cancel removes nothing;
# without the save data the saves stay, so the install folder does too, and
# the longer message says something may be left; the files, shortcuts, menu
# folders and the install record are gone and the program ends. A second
# install under a title too long for a 64-byte caption, uninstalled through
# the command line "u" with the save data ticked, leaves nothing and gives
# the short message under the whole title.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_places
ki_small_discs

# install_choice2 TITLE: installs the second choice, which copies disc 1
# only, and puts two saves into the install folder.
install_choice2() {
  ki_install_choice2 "$1"
  ki_expect_copied "$folder_unix" 4
  mkdir -p "$folder_unix/SAVE"
  echo save1 >"$folder_unix/SAVE/ONE.SAV"
  echo save2 >"$folder_unix/SAVE/TWO.SAV"
}

# uninstall_dialog PID: the uninstall dialog of the process.
uninstall_dialog() { ks_find -control 1009 -pid "$1"; }

echo "== install, second choice"
install_choice2 "$KS_TITLE"

echo "== uninstall from the launcher, cancelled"
l=$(ki_launch)
pid=$(ki_pid_of "$l")
ks_expect "launcher offers to uninstall" "$(ks_text "$l" 3)" "アンインストール"
ks_drv click "$l" 3
u=$(uninstall_dialog "$pid")
ks_shot install-dialog-109-uninstall
ks_expect "caption" "$(ks_text "$u")" "$KS_TITLE のアンインストール"
ks_expect "texts" "$(ks_text "$u" 1012)/$(ks_text "$u" 65535)/$(ks_text "$u" 1009)" \
  "ゲームのアンインストールを行います/　ゲームをプレイするには、もう一度インストールが必要になります。/セーブデータも削除する"
ks_expect "buttons" "$(ks_text "$u" 1)/$(ks_text "$u" 2)" "実行/ｷｬﾝｾﾙ"
ks_expect "save data not ticked" "$(ks_drv checked "$u" 1009)" 0
ks_drv click "$u" 2
l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "still installed" "$(ks_text "$l" 3)" "アンインストール"
[ -f "$folder_unix/GAME.EXE" ] && [ -f "$menu_unix/$KS_TITLE/道具" ] || ks_fail "Cancel removed something"
echo "ok: Cancel removed nothing"

echo "== uninstall without the save data"
# The game keeps settings of its own under its record's key.
ks_reg add "$KS_REGKEY\\TestGame\\Settings\\Sound" /v Volume /t REG_DWORD /d 5 /f >/dev/null ||
  ks_fail "cannot write the game's settings"
ks_drv click "$l" 3
u=$(uninstall_dialog "$pid")
ks_drv click "$u" 1
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 20000)
ks_expect "message" "$(ks_text "$m" 65535 | tr '\n' '|')" \
  "アンインストールは正常に終了しました。|ファイルやフォルダが残っている場合は、お手数ですが手動で削除して下さい。|"
ks_shot install-uninstall-saves-kept
ks_drv click "$m" 1
ks_wait_exit "$pid"
ks_expect "what is left" "$(cd "$folder_unix" && find . | sort | tr '\n' ' ')" ". ./SAVE ./SAVE/ONE.SAV ./SAVE/TWO.SAV "
[ ! -e "$menu_unix" ] || ks_fail "the menu folders are still there"
if ks_reg query "$KS_REGKEY\\TestGame" >/dev/null; then ks_fail "the install record is still there"; fi
l=$(ki_launch)
ks_expect "launcher offers to install" "$(ks_text "$l" 3)" "インストール"
pid=$(ki_pid_of "$l")
ks_drv click "$l" 2
ks_wait_exit "$pid"
echo "ok: game, shortcuts and record gone, saves kept"

echo "== a long title, uninstalled with the save data through \"u\""
long="とても長い名前のテストゲーム・特別版・第二章・限定版・完全版"
ks_expect "title bytes" "$(printf '%s' "$long" | iconv -f UTF-8 -t CP932 | wc -c)" 60
ki_small_script | sed "s/^APPLITITLE = .*/APPLITITLE = \"$long\"/" | ks_script "$KI_D1"
install_choice2 "$long"
first=$(ks_start "${KI_DRIVE}:\\" "${KI_DRIVE}:\\KSetup.exe" u)
ks_wait_exit "$first"
u=$(uninstall_dialog "")
pid=$(ki_pid_of "$u")
ks_expect "caption with the whole title" "$(ks_text "$u")" "$long のアンインストール"
ks_drv click "$u" 1009
ks_expect "save data ticked" "$(ks_drv checked "$u" 1009)" 1
ks_drv click "$u" 1
ki_uninstall_done "$long"
echo "ok: nothing left"
ki_clean
