#!/bin/bash
# Copy errors end the installation with a message naming the file list
# entry, and the program then ends with nothing of the game left behind: a
# source file on disc 2 that cannot be read (the files of disc 1 go too), a
# destination folder the script never makes, a MAKEFOLDER item that would
# lie outside the install folder (named in the message), and an install
# folder that cannot be made at all (then nothing is copied, and what stands
# in its place stays untouched).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

ki_small_places
clean() { ki_clean; }

# install_until_error TEXT SHOT: runs an install of the first choice,
# swapping in disc 2 when asked, until a message box with the game's title
# shows; checks its text, presses OK and waits for the program to end.
install_until_error() {
  local w m p
  ki_launch_options
  ks_drv click "$o" 1
  w=$(ki_install_window)
  if p=$(ks_drv find -title "ＣＤの挿入" -control 1015 -pid "$pid" -timeout 5000); then
    wine_cdrom "$KI_DRIVE" "$KI_D2"
    ks_drv click "$p" 1
  fi
  m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 30000)
  ks_expect "message" "$(ks_text "$m" 65535 | tr '\n' '|')" "$1"
  ks_shot "$2"
  ks_drv click "$m" 1
  ks_wait_exit "$pid" 20000
  ks_no_window -title "$KS_TITLE" -pid "$pid" -timeout 500
  if ks_reg query "$KS_REGKEY\\TestGame" >/dev/null; then ks_fail "an install record was written"; fi
  [ ! -e "$menu_unix" ] || ks_fail "shortcuts were made"
}

echo "== a file of disc 2 cannot be read"
ki_small_discs
# The third entry of disc 2 names a folder on the disc, which opens as no file.
ki_small_script | sed 's/^FILELIST DISC2 = .*/FILELIST DISC2 = "DATA\\BIG.BIN" "DATA\\*.PAK" "DATA\\BAD.BIN"/;
  s/^FILESIZE DISC2 = .*/FILESIZE DISC2 = 6000000 300000 1000/; s/^FILEOPTION DISC2 = .*/FILEOPTION DISC2 = 8 8 8/' |
  ks_script "$KI_D1"
mkdir -p "$KI_D2/DATA/BAD.BIN"
install_until_error "ファイルリードエラー| DATA\\BAD.BIN が正しく読めませんでした。|" install-error-read
[ ! -e "$folder_unix" ] || ks_fail "files are left: $(find "$folder_unix" | head -5)"
echo "ok: nothing left after the read error"

echo "== a destination folder that is never made"
ki_small_discs
ki_small_script | sed 's/^FILELIST DISC1 = "GAME.EXE" "DATA\\A.BIN"/FILELIST DISC1 = "GAME.EXE" "EXTRA\\A.BIN"/' |
  ks_script "$KI_D1"
mkdir -p "$KI_D1/EXTRA"
cp "$KI_D1/DATA/A.BIN" "$KI_D1/EXTRA/A.BIN"
install_until_error "ファイルライトエラー| EXTRA\\A.BIN をハードディスクに書き込めませんでした。|" install-error-write
[ ! -e "$folder_unix" ] || ks_fail "files are left: $(find "$folder_unix" | head -5)"
echo "ok: nothing left after the write error"

echo "== a MAKEFOLDER item outside the install folder"
ki_small_discs
ki_small_script | sed 's/^MAKEFOLDER = .*/MAKEFOLDER = "DATA" "..\\OUTSIDE" "BIN" "SAVE"/' | ks_script "$KI_D1"
install_until_error "ディレクトリエラー| 設定ファイルのフォルダ指定 ..\\OUTSIDE が正しくありません。|" install-error-makefolder
[ ! -e "$(dirname "$folder_unix")/OUTSIDE" ] || ks_fail "a folder was made outside the install folder"
[ ! -e "$folder_unix" ] || ks_fail "files are left: $(find "$folder_unix" | head -5)"
echo "ok: named the refused item; nothing made outside, nothing left"

echo "== the install folder cannot be made"
ki_small_discs
clean
mkdir -p "$(dirname "$folder_unix")"
echo "not a folder" >"$folder_unix"
# clean would remove the file: start without it.
ki_start_options
ks_drv click "$o" 1
m=$(ks_find -title "$KS_TITLE" -control 65535 -pid "$pid" -timeout 30000)
ks_expect "message" "$(ks_text "$m" 65535 | tr '\n' '|')" "ディレクトリエラー| インストールディレクトリが作成できません。|"
ks_no_window -title "ＣＤの挿入" -pid "$pid" -timeout 500
ks_shot install-error-folder
ks_drv click "$m" 1
ks_wait_exit "$pid" 20000
ks_expect "what stood there" "$(cat "$folder_unix")" "not a folder"
ks_expect "nothing copied" "$(find "$(dirname "$folder_unix")" -type f | wc -l)" 1
if ks_reg query "$KS_REGKEY\\TestGame" >/dev/null; then ks_fail "an install record was written"; fi

echo "== no LOGO.EPA: the options dialog ends the program at once"
ki_small_discs
"$KS_TOOL" pak create "$KI_D1/Instdata.pak" "$KS_WORK/TITLE.EPA" >/dev/null
rm -f "$folder_unix"
clean
ks_fresh_temp
wine_cdrom "$KI_DRIVE" "$KI_D1"
l=$(ki_launch)
pid=$(ki_pid_of "$l")
ks_drv click "$l" 3
ks_wait_exit "$pid" 20000
ks_no_window -control 1011 -timeout 300
[ ! -e "$(ki_unix "$KS_PROGRAM_FILES")/Slumber" ] || ks_fail "something was installed"
echo "ok: ended without installing"

clean
