#!/bin/bash
# Without a setup script, or with one the loader rejects, KSetup.exe says
# so in a message box captioned "KSetup Error" and ends.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

dir=$KS_WORK/nothing
mkdir -p "$dir"
cp "$KS_BIN/KSetup.exe" "$dir/"
win=$(winepath -w "$dir")
ks_fresh_temp

for case in missing rejected; do
  echo "== $case script"
  if [ "$case" = rejected ]; then
    { ks_default_script; echo 'DISCNUM = 0'; } | ks_script "$dir"
  fi
  pid=$(ks_start "$win" "$win\\KSetup.exe" t)
  m=$(ks_find -title "KSetup Error" -pid "$pid")
  ks_shot "script-$case"
  ks_expect "message" "$(ks_text "$m" 65535)" "設定ファイルが見つかりません。処理を中断します。"
  ks_drv click "$m" 1
  ks_wait_exit "$pid"
  ks_no_window -title "$KS_TITLE" -timeout 500
  echo "ok: the program ended"
done
