#!/bin/bash
# Without a setup script, with one the loader rejects, or with one that gives
# no registry key for the install record or a game folder outside the folder
# the player chooses, KSetup.exe says so in a message box captioned "KSetup
# Error" and ends.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

dir=$KS_WORK/nothing
mkdir -p "$dir"
cp "$KS_BIN/KSetup.exe" "$dir/"
win=$(winepath -w "$dir")
ks_fresh_temp

# The messages of a script the program cannot go on with.
message_of() {
  case $1 in
    norecord) echo "設定ファイルにレジストリキー (REGADDRESS) の指定がありません。処理を中断します。" ;;
    gamefolder) echo "設定ファイルのインストールフォルダ (MUSTMAKEFOLDER) の指定が正しくありません。処理を中断します。" ;;
    *) echo "設定ファイルが見つかりません。処理を中断します。" ;;
  esac
}

for case in missing rejected norecord gamefolder; do
  echo "== $case script"
  case $case in
    rejected) { ks_default_script; echo 'DISCNUM = 0'; } | ks_script "$dir" ;;
    # Without a key the record would go into HKEY_CURRENT_USER itself.
    norecord) ks_default_script | grep -v '^REGADDRESS' | ks_script "$dir" ;;
    # The game's folder would be the parent of the folder the player chooses.
    gamefolder) ks_default_script | sed 's/^MUSTMAKEFOLDER = .*/MUSTMAKEFOLDER = "\\.."/' | ks_script "$dir" ;;
  esac
  pid=$(ks_start "$win" "$win\\KSetup.exe" t)
  m=$(ks_find -title "KSetup Error" -pid "$pid")
  ks_shot "script-$case"
  ks_expect "message" "$(ks_text "$m" 65535)" "$(message_of "$case")"
  ks_drv click "$m" 1
  ks_wait_exit "$pid"
  ks_no_window -title "$KS_TITLE" -timeout 500
  echo "ok: the program ended"
done
