#!/bin/bash
# A whole installation from the launcher, on the sample discs of 星見の丘
# when they have been made (scripts/make-samples.sh), else on a small set of
# our own: the options dialog with its choices, sizes, folder and logo; the
# install window copying disc 1, asking for disc 2, which is swapped in, and
# copying it; the finished scene with the FINISH picture; the shortcuts with
# their targets, arguments and working folders; the install record as 260
# bytes of REG_BINARY; every file byte for byte as on its disc and as
# ksetup-tool install makes it natively; and the
# launcher in its installed state afterwards. Screenshots of the dialog, of
# the scene at three moments and of the finished scene go to build/e2e.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"
source "$(dirname "$0")/lib_install.sh"

if ki_sample_discs; then
  echo "== the sample discs"
  set_name=samples
else
  echo "== the small disc set (no sample discs made)"
  ki_small_discs
  set_name=small
fi
dump=$(ki_dump)
title=$(jq -r .appliTitle <<<"$dump")
must=$(jq -r .mustMakeFolder <<<"$dump")
regkey="HKCU\\$(jq -r .regAddress <<<"$dump")"
programs_unix=$(find "$WINEPREFIX/drive_c/users" -maxdepth 7 -type d -path '*Start Menu/Programs' | head -1)
[ -n "$programs_unix" ] || ks_fail "no Programs folder in the prefix"
menu_unix="$programs_unix/$(jq -r .brandName <<<"$dump")/$title"
folder_win="$KS_PROGRAM_FILES\\Slumber\\$must"
folder_unix=$(ki_unix "$folder_win")

ks_reg delete "$regkey" /f >/dev/null || true
rm -rf "$folder_unix" "$menu_unix"
ks_fresh_temp
ki_only_drive
wine_cdrom "$KI_DRIVE" "$KI_D1"

l=$(ki_launch)
ks_expect "launcher before the install" "$(ks_text "$l" 3)" "インストール"

echo "== the options dialog"
o=$(ki_options "$l")
ks_shot "install-$set_name-dialog-101"
ks_expect "caption" "$(ks_text "$o")" "$title のインストール設定"
for k in 0 1 2; do
  id=$((1002 + k))
  bit=$((8 >> k))
  name=$(jq -r ".optionTitle[$k] // \"\"" <<<"$dump")
  # Declared sizes of the entries the choice selects, in whole megabytes, plus one.
  bytes=$(jq "[range(0; .fileList | length) as \$d | range(0; .fileList[\$d] | length) as \$i |
      select((.fileOption[\$d][\$i] / $bit | floor) % 2 == 1) | .fileSize[\$d][\$i]] | add // 0" <<<"$dump")
  if [ -n "$name" ]; then
    ks_expect "choice $((k + 1)) label" "$(ks_text "$o" "$id")" "$name ( $((bytes / 1048576 + 1))MB)"
    ks_expect "choice $((k + 1)) shown" "$(ks_state "$o" "$id" | cut -d' ' -f2)" "visible=1"
  elif [ "$k" -gt 0 ]; then
    ks_expect "choice $((k + 1)) hidden" "$(ks_state "$o" "$id" | cut -d' ' -f2)" "visible=0"
  fi
done
ks_expect "first choice ticked" "$(ks_drv checked "$o" 1002)" 1
ks_expect "folder text" "$(ks_text "$o" 1011 | tr '\n' '|')" \
  "インストール先の指定||（指定場所に $must フォルダを作成し、そこにインストールします。）|"
ks_expect "base folder" "$(ks_text "$o" 1000)" "$KS_PROGRAM_FILES\\Slumber"
ks_expect "buttons" "$(ks_text "$o" 1)/$(ks_text "$o" 2)/$(ks_text "$o" 1001)" "インストール開始/ｷｬﾝｾﾙ/参照"

# The logo is LOGO.EPA of the archive, 400 x 98 at (12, 12): compare a few
# of its pixels on the screen with the decoded picture (drawn over black).
mkdir -p "$KS_WORK/pictures"
"$KS_TOOL" pak extract "$KI_D1/Instdata.pak" "$KS_WORK/pictures" LOGO.EPA >/dev/null
"$KS_TOOL" epa decode "$KS_WORK/pictures/LOGO.EPA" "$KS_WORK/logo.png" >/dev/null 2>&1 ||
  cp "$KS_WORK/pictures/LOGO.EPA" "$KS_WORK/logo.bmp"
logo_png=$KS_WORK/logo.png
[ -f "$logo_png" ] || { convert "$KS_WORK/logo.bmp" "$logo_png" 2>/dev/null || logo_png=""; }
if [ -n "$logo_png" ]; then
  for point in "3 3" "200 49" "396 94"; do
    set -- $point
    want=$(convert "$logo_png" -background black -flatten -crop "1x1+$1+$2" -depth 8 \
      -format '%[fx:int(255*r+0.5)],%[fx:int(255*g+0.5)],%[fx:int(255*b+0.5)]' info:-)
    ks_expect_colour "logo pixel ($1, $2)" "$(ks_pixel "$o" $((12 + $1)) $((12 + $2)))" "$want"
  done
fi

echo "== disc 1"
total=0
while IFS=$'\t' read -r disc path; do
  total=$((total + $(stat -L -c %s "$KS_WORK/disc$((disc + 1))/${path//\\//}")))
done < <(ki_selected 8)
disc1_bytes=0
while IFS=$'\t' read -r disc path; do
  [ "$disc" = 0 ] && disc1_bytes=$((disc1_bytes + $(stat -L -c %s "$KI_D1/${path//\\//}")))
done < <(ki_selected 8)
echo "selected: $total bytes, $disc1_bytes of them on disc 1"

ks_drv click "$o" 1
# Slowed down from here, so that the copy can be seen on its way.
ki_throttle_start
w=$(ki_install_window)
ki_wait_bytes "$folder_unix" $((disc1_bytes / 3))
ks_shot "install-$set_name-scene-1-disc1"

echo "== disc 2 asked for, swapped in"
p=$(ks_find -title "ＣＤの挿入" -control 1015 -timeout 60000)
ki_throttle_stop
ks_expect "disc asked for" "$(ks_text "$p" 1015)" "『$(jq -r '.discName[1]' <<<"$dump")』"
ks_expect "disc 1 copied when disc 2 is asked for" "$(ki_bytes "$folder_unix")" "$disc1_bytes"
ks_shot "install-$set_name-scene-2-disc2-prompt"
wine_cdrom "$KI_DRIVE" "$KI_D2"
ki_throttle_start
ks_drv click "$p" 1
ki_wait_bytes "$folder_unix" $((disc1_bytes + (total - disc1_bytes) * 2 / 3))
ks_shot "install-$set_name-scene-3-disc2"
ki_throttle_stop

echo "== finished"
first_link=$(jq -r '.shortcutName[0]' <<<"$dump")
for i in $(seq 100); do [ -f "$menu_unix/$first_link" ] && break; sleep 0.2; done
[ -f "$menu_unix/$first_link" ] || ks_fail "no shortcut after the copy"
sleep 1.5
ks_shot "install-$set_name-scene-4-finished"
# The finished scene as the scene tool draws it: the FINISH picture and
# what the completion shows, in the part of the screen no sprite crosses.
"$KS_TOOL" scene render "$KI_D1" --size 1024x768 --values 0,500,1000,1010,1020,1020 --finish \
  --out "$KS_WORK/render" >/dev/null
if [ "$set_name" = samples ]; then region=552x128+236+482; else region=400x98+312+335; fi
convert "$KS_SHOTS/install-$set_name-scene-4-finished.png" -crop "$region" +repage "$KS_WORK/seen.png"
convert "$KS_WORK/render-005.png" -crop "$region" +repage "$KS_WORK/drawn.png"
diff=$(compare -metric AE -fuzz 3% "$KS_WORK/seen.png" "$KS_WORK/drawn.png" null: 2>&1 || true)
ks_expect "finished scene matches the scene tool (pixels differing)" "${diff%% *}" 0

echo "== closed with a click"
ks_drv mouseup "$w"
ks_drv gone "$w" >/dev/null || ks_fail "the install window stayed"
l=$(ks_find -title "$title" -control 3)
ks_expect "launcher after the install" "$(ks_text "$l" 3)" "アンインストール"
ks_expect "start game enabled" "$(ks_state "$l" 1 | cut -d' ' -f1)" "enabled=1"

echo "== files"
ki_expect_copied "$folder_unix" 8

echo "== the same files as ksetup-tool install"
native=$KS_WORK/native-install
rm -rf "$native"
"$KS_TOOL" install "$KI_D1" --disc "$KI_D1" --disc "$KI_D2" --to "$native" --option 8 >/dev/null ||
  ks_fail "ksetup-tool install of the same discs failed"
# The uninstall entry's folder is the program's own (ksetup-tool registers nothing).
entry=$(jq -r '.uninstallEntry // ""' <<<"$dump")
exclude=()
[ -z "$entry" ] || exclude=(-x "${entry##*\\}")
if ! diff -r "${exclude[@]}" "$folder_unix" "$native" >"$KS_WORK/native.diff" 2>&1; then
  head -20 "$KS_WORK/native.diff"
  ks_fail "ksetup-tool install gave other files than the program"
fi
echo "ok: ksetup-tool install gives the same $(find "$native" -type f | wc -l) files"
"$KS_TOOL" uninstall "$KI_D1" --from "$native" --save-data >/dev/null ||
  ks_fail "ksetup-tool uninstall failed"
[ ! -e "$native" ] || ks_fail "ksetup-tool uninstall left $(find "$native" | head -3)"

echo "== install record"
record=$(ks_reg query "$regkey" /v InstallFolder | grep InstallFolder)
ks_expect "record type" "$(awk '{print $2}' <<<"$record")" REG_BINARY
hex=$(awk '{print $3}' <<<"$record")
ks_expect "record size" "$((${#hex} / 2))" 260
path=$(xxd -r -p <<<"$hex" | tr -d '\0' | iconv -f CP932 -t UTF-8)
ks_expect "record path" "$path" "$folder_win"
regaddr=$(jq -r .regAddress <<<"$dump")
# The entry's key: the record key without leading separators, its _ \ and /
# written as _5F _5C _2F.
entry_name=$(sed -e 's|^[\\/]*||' -e 's|_|_5F|g' -e 's|\\|_5C|g' -e 's|/|_2F|g' <<<"$regaddr")
list_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KSetup $entry_name"
if [ -n "$entry" ]; then
  ks_reg query "$list_key" >/dev/null || ks_fail "UNINSTALLENTRY is on, but the game is not among the installed programs"
  echo "ok: among the installed programs"
fi

echo "== shortcuts"
n=$(jq '.shortcutName | length' <<<"$dump")
ks_expect "shortcut files" "$(find "$menu_unix" -type f | wc -l)" "$n"
for i in $(seq 0 $((n - 1))); do
  name=$(jq -r ".shortcutName[$i]" <<<"$dump")
  sub=$(jq -r ".shortcutFolder[$i] // \"\"" <<<"$dump")
  target=$(jq -r ".shortcutLink[$i]" <<<"$dump")
  work=$folder_win${sub:+\\$sub}
  got=$(ks_drv shortcut "$(winepath -w "$menu_unix/$name")")
  # The shell link gets its target and folder as full paths, doubled
  # backslashes (from a game folder name that starts with one) made single.
  work=${work//\\\\/\\}
  ks_expect "shortcut $name" "$got" "target=$work\\$target
arguments=$(jq -r ".shortcutParam[$i] // \"\"" <<<"$dump")
folder=$work
description=$(jq -r ".shortcutLabel[$i] // \"\"" <<<"$dump")
show=1"
done

pid=$(ki_pid_of "$l")
ks_drv click "$l" 2
ks_wait_exit "$pid"

# Leave nothing behind for the other tests.
ks_reg delete "$regkey" /f >/dev/null || true
ks_reg delete "$list_key" /f >/dev/null 2>&1 || true
rm -rf "$folder_unix" "$(dirname "$menu_unix")"
