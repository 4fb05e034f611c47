#!/bin/bash
# The options dialog checks the destination before it lets the install
# start: a folder without a drive (also "C:Games", which would depend on
# the current folder of drive C), a drive that does not exist, a folder that
# leads back to the drive itself and a name code page 932 cannot write are
# sent back with their messages; a drive with too little room (a 1 MB file system
# mapped as drive Q:) opens the free-space warning, whose "戻る" returns to
# the options and whose Escape forces the install, which then fails on the
# full drive with the write error and leaves the drive empty. A path too
# long is sent back with its own message, and a drive's root chosen with
# the browser keeps its backslash and installs there.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

small=$(mktemp -d /tmp/ks-space-XXXXXX)
space_cleanup() {
  umount "$small" 2>/dev/null || true
  rmdir "$small" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/q:"
  ki_cleanup
}
trap space_cleanup EXIT

ki_small_discs
ks_not_installed
ks_fresh_temp
ki_only_drive
rm -f "$WINEPREFIX/dosdevices/p:"
wine_cdrom "$KI_DRIVE" "$KI_D1"
l=$(ki_launch)
pid=$(ki_pid_of "$l")
o=$(ki_options "$l")

# Two choices offered: the third is hidden (its "indeterminate" state reads
# as ticked, as radio buttons know no third state; nobody sees it).
ks_expect "choice labels" "$(ks_text "$o" 1002)/$(ks_text "$o" 1003)" "すべて ( 9MB)/標準 ( 3MB)"
ks_expect "third choice hidden" "$(ks_state "$o" 1004 | cut -d' ' -f2)" "visible=0"

echo "== the folder browser"
ks_drv click "$o" 1001
b=$(ks_find -title "フォルダーの参照" -pid "$pid")
ks_expect "browser title" "$(ks_text "$b" 14146)" "インストール先フォルダの指定"
ks_drv click "$b" 2
ks_drv gone "$b" >/dev/null
ks_expect "cancelled browse" "$(ks_text "$o" 1000)" "$KS_PROGRAM_FILES\\Slumber"
ks_drv click "$o" 1001
b=$(ks_find -title "フォルダーの参照" -pid "$pid")
# OK with the browser's first folder, the desktop.
ks_drv click "$b" 1
ks_drv gone "$b" >/dev/null
desktop=$(ks_text "$o" 1000)
[[ "$desktop" == 'C:\'*'\Desktop' ]] || ks_fail "browsed folder: $(printf %q "$desktop")"
echo "ok: browsed folder $desktop"

# refused TEXT MESSAGE: the folder text is sent back with the message.
refused() {
  local m
  ks_drv settext "$o" 1000 "$1" || ks_fail "cannot set the folder text"
  ks_drv click "$o" 1
  m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid")
  ks_expect "message for $1" "$(ks_text "$m" 65535)" "$2"
  ks_drv click "$m" 1
  ks_drv gone "$m" >/dev/null
  ks_find -control 1011 -pid "$pid" >/dev/null
  ks_no_window -class SLB_INST -pid "$pid" -timeout 300
}
unknown="インストール先のドライブが不明です。再度入力して下さい。"
refused 'Games' "$unknown"
refused 'C:Games' "$unknown"
refused '\\server\share\Games' "$unknown"
refused 'P:\Games' "インストール先のドライブが不正です。再度入力して下さい。"
# A folder that leads back to the drive itself, and a name that code page
# 932 cannot write (the install record and the script's names are in it).
refused 'C:\..' "インストール先のフォルダが不正です。再度入力して下さい。"
refused 'C:\Zoë' "インストール先のフォルダ名に使えない文字が含まれています。再度入力して下さい。"
# Too long, not a bad character: 140 kanji are 280 bytes of code page 932;
# and a text longer than a path is refused, not cut to one.
too_long="インストール先のパスが長すぎます。再度入力して下さい。"
refused "C:\\$(printf '漢%.0s' $(seq 140))" "$too_long"
refused "C:\\$(printf 'a%.0s' $(seq 300))" "$too_long"

echo "== a drive with 1 MB"
mount -t tmpfs -o size=1m tmpfs "$small" || ks_fail "cannot mount a small file system (run as root)"
ln -sfn "$small" "$WINEPREFIX/dosdevices/q:"
ks_drv settext "$o" 1000 'Q:\' || ks_fail "cannot set the folder text"
ks_drv click "$o" 1
warning=$(ks_find -title "空きディスク容量の警告" -control 2 -pid "$pid")
ks_shot install-dialog-113-space
ks_expect "warning buttons" "$(ks_text "$warning" 1)/$(ks_text "$warning" 2)" "戻る/強制実行"
ks_expect "warning text" "$(ks_text "$warning" 65535)" "空きディスク容量が不足していると思われます。"
ks_drv click "$warning" 1
ks_drv gone "$warning" >/dev/null || ks_fail "the warning stayed"
ks_find -control 1011 -pid "$pid" >/dev/null
ks_no_window -class SLB_INST -pid "$pid" -timeout 500
echo "ok: back in the options"

ks_drv click "$o" 1
warning=$(ks_find -title "空きディスク容量の警告" -control 2 -pid "$pid")
ks_drv key "$warning" 27
w=$(ki_install_window)
echo "ok: Escape forced the install"
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 30000)
ks_expect "full drive" "$(ks_text "$m" 65535 | tr '\n' '|')" \
  "ファイルライトエラー| DATA\\A.BIN をハードディスクに書き込めませんでした。|"
ks_drv click "$m" 1
ks_wait_exit "$pid" 20000
ks_expect "the small drive afterwards" "$(find "$small" -mindepth 1 | wc -l)" 0
if ks_reg query "$KS_REGKEY\\TestGame" >/dev/null; then ks_fail "an install record was written"; fi

echo "== a drive's root chosen with the browser"
ki_small_places
ks_fresh_temp
l=$(ki_launch)
pid=$(ki_pid_of "$l")
o=$(ki_options "$l")
ks_drv click "$o" 1001
b=$(ks_find -title "フォルダーの参照" -pid "$pid")
# The first drive under My Computer.
ks_drv treeselect "$b" 14145 0.3.0 || ks_fail "cannot select drive C in the browser"
ks_drv click "$b" 1
ks_drv gone "$b" >/dev/null
ks_expect "browsed drive root" "$(ks_text "$o" 1000)" 'C:\'
ki_run_choice2 "$menu_unix/テストゲーム/道具"  # the second choice copies disc 1 only
ki_close_and_quit "$KS_TITLE" 13 Enter
[ -f "$WINEPREFIX/drive_c/TestGame/GAME.EXE" ] || ks_fail "nothing was installed into C:\\TestGame"
ks_expect "install record" "$(ks_reg query "$KS_REGKEY\\TestGame" /v InstallFolder | grep -c InstallFolder)" 1
echo "ok: installed into C:\\TestGame"
rm -rf "$WINEPREFIX/drive_c/TestGame"
ki_clean
