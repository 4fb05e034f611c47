#!/bin/bash
# The Windows build of the core reads scripts exactly as the Linux build:
# ksetup-dump.exe under Wine prints the same JSON as ksetup-tool script dump,
# for a loose Shift-JIS script with CRLF lines and for one only in the archive.
set -euo pipefail
source "$(dirname "$0")/env.sh"
tool=$KSETUP_ROOT/build/native/bin/ksetup-tool
dump=$KSETUP_WINBIN/ksetup-dump.exe
work=$(mktemp -d "$(dirname "$WINEPREFIX")/dump-XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/loose" "$work/packed"
# "テスト" and "ディスク" in code page 932, CRLF line ends.
printf 'APPLITITLE = "\x83\x65\x83\x58\x83\x67"\r\nDISCNUM = 2\r\nDISCNAME = "\x83\x66\x83\x42\x83\x58\x83\x4e1" "DISC-2"\r\nFILELIST DISC1 = "A.DAT" "SUB\\B.DAT", DISC2 = "C.DAT"\r\nFILESIZE DISC1 = 10 20\r\nFILEOPTION DISC1 = 8 12\r\nEXEC CHANGECD = 1, LOADINIFROMCD = 0\r\nBACK "BG.EPA" 0 0 STRETCH_DESKTOP\r\nSPRITE2 "S.EPA" 32 1 2 3 4 5 INFINITE 100 200 300 NORMAL\r\n' > "$work/loose/KSetup.ini"
printf 'REGADDRESS = "Software\\\\Test"\nDXDISC = 2 1\nMAKEFOLDER = "SUB"\n' > "$work/script.ini"
cp "$work/script.ini" "$work/KSetup.ini"
"$tool" pak create "$work/packed/Instdata.pak" "$work/KSetup.ini"

for case in loose packed; do
  "$tool" script dump "$work/$case" > "$work/$case.native.json"
  wine "$dump" "$(winepath -w "$work/$case")" | tr -d '\r' > "$work/$case.wine.json"
  if ! cmp -s "$work/$case.native.json" "$work/$case.wine.json"; then
    echo "dump differs for $case:"; diff "$work/$case.native.json" "$work/$case.wine.json" | head -20
    exit 1
  fi
  echo "$case: identical ($(wc -c < "$work/$case.native.json") bytes)"
done
grep -q 'テスト' "$work/loose.native.json" || { echo "Shift-JIS title not decoded"; exit 1; }
