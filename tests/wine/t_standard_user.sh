#!/bin/bash
# A player without administrator rights: the program files folder cannot be
# written by the program (here a read-only bind mount in a mount namespace
# of the test's own, since the tests run as root). The options dialog then
# offers the user's own programs folder (made when missing) with Slumber;
# a folder typed below the program files folder is sent back with a
# message, the dialog keeps the text and no install window opens; the
# install into the offered folder completes with its record and shortcuts,
# and the uninstall takes it all away again.
set -euo pipefail
if [ "${KSETUP_PRIVATE_MOUNTS:-}" != 1 ]; then
  # In a chroot whose root is no mount point (the 32-bit root) the root's
  # propagation cannot be changed: the namespace then starts as it is, and
  # the mount that holds the prefix is made private in it below.
  propagation=private
  unshare --mount --propagation private true 2>/dev/null || propagation=unchanged
  KSETUP_PRIVATE_MOUNTS=1 KSETUP_MOUNTS_AS=$propagation exec unshare --mount --propagation $propagation bash "$0" "$@"
fi
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_places
ki_small_discs
ki_clean
program_files_unix=$(ki_unix "$KS_PROGRAM_FILES")
local_win=$(wine cmd /c 'echo %LOCALAPPDATA%' </dev/null 2>/dev/null | tr -d '\r\n')
[[ "$local_win" == 'C:\'* ]] || ks_fail "no local application data folder: $local_win"
local_unix=$(ki_unix "$local_win")
user_win="$local_win\\Programs\\Slumber"
folder_win="$user_win\\\\TestGame"
folder_unix=$(ki_unix "$folder_win")
rm -rf "$local_unix/Programs"

ro_cleanup() {
  umount "$program_files_unix" 2>/dev/null || true
  rm -rf "$local_unix/Programs"
  ki_cleanup
}
trap ro_cleanup EXIT
if [ "${KSETUP_MOUNTS_AS:-}" = unchanged ]; then
  holder=$(findmnt -n -o TARGET -T "$program_files_unix") || ks_fail "no mount holds $program_files_unix"
  mount --make-rprivate "$holder" || ks_fail "cannot make $holder private to the test"
fi
mount --bind -o ro "$program_files_unix" "$program_files_unix" ||
  ks_fail "cannot make the program files folder read-only (run as root)"
if touch "$program_files_unix/probe" 2>/dev/null; then ks_fail "the program files folder is still writable"; fi

echo "== the options dialog offers the user's programs folder"
ki_start_options
ks_shot standard-user-dialog-101
ks_expect "base folder" "$(ks_text "$o" 1000)" "$user_win"
[ -d "$local_unix/Programs" ] || ks_fail "the user's programs folder was not made"
[ ! -e "$local_unix/Programs/Slumber" ] || ks_fail "Slumber was made before the install"
ks_expect "folder text" "$(ks_text "$o" 1011 | tr '\n' '|')" \
  "インストール先の指定||（指定場所に \\TestGame フォルダを作成し、そこにインストールします。）|"

echo "== a folder below the program files folder is sent back"
typed="$KS_PROGRAM_FILES\\Slumber"
ks_drv settext "$o" 1000 "$typed" || ks_fail "cannot set the folder text"
ks_drv click "$o" 1
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
ks_expect "message" "$(ks_text "$m" 65535)" "指定されたフォルダに書き込む権限がありません。別のフォルダを指定して下さい。"
ks_shot standard-user-no-write-access
ks_drv click "$m" 1
ks_drv gone "$m" >/dev/null
ks_no_window -class SLB_INST -pid "$pid" -timeout 500
ks_find -control 1011 -pid "$pid" >/dev/null
ks_expect "folder text kept" "$(ks_text "$o" 1000)" "$typed"
[ ! -e "$program_files_unix/Slumber" ] || ks_fail "Slumber was made in the program files folder"

echo "== installed into the user's programs folder"
ks_drv settext "$o" 1000 "$user_win" || ks_fail "cannot set the folder text"
ks_drv click "$o" 1003
ks_drv click "$o" 1
w=$(ki_install_window)
link_unix="$menu_unix/$KS_TITLE/テストゲーム.lnk"
for i in $(seq 100); do [ -e "$link_unix" ] && break; sleep 0.2; done
[ -e "$link_unix" ] || ks_fail "the install did not finish"
sleep 0.5
ks_drv key "$w" 32
ks_drv gone "$w" >/dev/null || ks_fail "Space did not close the finished install"
l=$(ks_find -title "$KS_TITLE" -control 3 -pid "$pid")
ks_expect "launcher after the install" "$(ks_text "$l" 3)" "アンインストール"
ki_expect_copied "$folder_unix" 4
record=$(ks_reg query "$KS_REGKEY\\TestGame" /v InstallFolder | awk '/InstallFolder/ { print $3 }')
ks_expect "record path" "$(xxd -r -p <<<"$record" | tr -d '\0' | iconv -f CP932 -t UTF-8)" "$folder_win"
work=${folder_win//\\\\/\\}
ks_expect "shortcut" "$(ks_drv shortcut "$(winepath -w "$link_unix")" | sed -n 's/^target=//p')" "$work\\GAME.EXE"
ks_expect "tool shortcut" "$(ks_drv shortcut "$(winepath -w "$menu_unix/$KS_TITLE/道具")" | sed -n 's/^folder=//p')" \
  "$work\\BIN"

echo "== uninstalled"
ks_drv click "$l" 3
u=$(ks_find -control 1009 -pid "$pid")
ks_drv click "$u" 1009
ks_drv click "$u" 1
ki_uninstall_done "$KS_TITLE"
ks_expect "left in the user's programs folder" "$(cd "$local_unix/Programs" && find . | sort | tr '\n' ' ')" ". ./Slumber "
echo "ok: the install folder, shortcuts and record are gone"
