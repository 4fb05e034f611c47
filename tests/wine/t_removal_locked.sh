#!/bin/bash
# The removal of installed files on Windows file semantics: a file another
# process holds open and a read-only file cannot be deleted. The removal
# (removal_probe.exe, the Windows file operations) then reports false, so the
# uninstall dialog shows its longer message; it still deletes every other
# listed file, keeps the save data and the folders that are not empty, and
# finishes once the files are free. A player's file whose short 8.3 alias
# matches a pattern (notes.data for MOVIE\*.DAT) is not removed.
set -euo pipefail
source "$(dirname "$0")/env.sh"
bin=${KSETUP_WIN64_TESTBIN:-$KSETUP_WINBIN}
work=$(mktemp -d "$(dirname "$WINEPREFIX")/removal-XXXXXX")
game="$WINEPREFIX/drive_c/KSetupRemoval/Game"
holders=()
cleanup() {
  for held in DATA/LOCKED.PAK MOVIE/OP.DAT; do touch "$work/signals/$held/release" 2>/dev/null || true; done
  for p in "${holders[@]}"; do wait "$p" 2>/dev/null || true; done
  chmod -R u+w "$WINEPREFIX/drive_c/KSetupRemoval" 2>/dev/null || true
  rm -rf "$work" "$WINEPREFIX/drive_c/KSetupRemoval"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/signals"
printf 'DISCNUM = 1\r\nFILELIST DISC1 = "GAME.EXE" "DATA\\A.PAK" "DATA\\LOCKED.PAK" "DATA\\RO.PAK" "MOVIE\\*.DAT"\r\nFILESIZE DISC1 = 1 1 1 1 1\r\nFILEOPTION DISC1 = 8 8 8 8 8\r\nMAKEFOLDER = "DATA" "MOVIE" "SAVE"\r\nSAVEDATA = "SAVE\\*.SAV"\r\n' > "$work/KSetup.ini"

install_game() {
  rm -rf "$game"
  mkdir -p "$game/DATA" "$game/MOVIE" "$game/SAVE"
  for f in GAME.EXE DATA/A.PAK DATA/LOCKED.PAK DATA/RO.PAK MOVIE/OP.DAT MOVIE/ED.DAT SAVE/1.SAV \
           MOVIE/notes.data; do
    echo "$f" > "$game/$f"
  done
}
probe() {  # probe FLAG: runs the removal, prints its output
  (cd "$work" && wine "$bin/removal_probe.exe" 'C:\KSetupRemoval\Game' "$1" | tr -d '\r')
}
gone() { [ ! -e "$game/$1" ] || fail "$1 still there"; }
kept() { [ -e "$game/$1" ] || fail "$1 is gone"; }

# 1. A file held open by another process (named by a plain entry), one
#    matched by a pattern, and a read-only file.
install_game
chmod a-w "$game/DATA/RO.PAK"
for held in DATA/LOCKED.PAK MOVIE/OP.DAT; do
  mkdir -p "$work/signals/$held"
  wine "$bin/hold_file.exe" "C:\\KSetupRemoval\\Game\\${held//\//\\}" "$(winepath -w "$work/signals/$held")" &
  holders+=($!)
done
for held in DATA/LOCKED.PAK MOVIE/OP.DAT; do
  for i in $(seq 200); do [ -e "$work/signals/$held/held" ] && break; sleep 0.1; done
  [ -e "$work/signals/$held/held" ] || fail "hold_file did not open $held"
done
out=$(probe 0)
echo "$out"
grep -q '^result 0$' <<<"$out" || fail "a locked or read-only file should make the removal false"
grep -qi '^current C:\\$' <<<"$out" || fail "the drive root should be current afterwards"
kept DATA/LOCKED.PAK; kept MOVIE/OP.DAT; kept DATA/RO.PAK
gone GAME.EXE; gone DATA/A.PAK; gone MOVIE/ED.DAT
kept SAVE/1.SAV
kept MOVIE/notes.data
[ "$(cat "$game/DATA/LOCKED.PAK")" = DATA/LOCKED.PAK ] || fail "the locked file changed"

# 2. The files are free again: the next removal (with the save data) ends
#    the job and takes the folder.
for held in DATA/LOCKED.PAK MOVIE/OP.DAT; do touch "$work/signals/$held/release"; done
for p in "${holders[@]}"; do wait "$p"; done
holders=()
chmod u+w "$game/DATA/RO.PAK"
rm "$game/MOVIE/notes.data"
out=$(probe 1)
echo "$out"
grep -q '^result 1$' <<<"$out" || fail "the second removal should succeed"
[ ! -e "$game" ] || fail "the install folder should be gone: $(cd "$game" && find .)"
echo "locked, pattern-matched locked and read-only files: kept and reported; removed once free"
