#!/bin/bash
# Writes the seed inputs of fuzz_image into fuzz/corpus/image: disc images made
# by ksetup-tool disc build (TOOL, default build/native/bin/ksetup-tool) from
# small projects made here, and copies of one spoiled the ways damaged images
# come (a folder pointing back at the root, a file forged past the end, a file
# whose extents break off).
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${TOOL:-build/native/bin/ksetup-tool}
out=fuzz/corpus/image
work=$(mktemp -d)
trap 'rm -r "$work"' EXIT
mkdir -p "$out"

# project NAME SCRIPT: an empty project with the two pictures every script shows.
project() {
  local p="$work/$1"
  mkdir -p "$p/files" "$p/pictures"
  printf '%s' "$2" >"$p/KSetup.ini"
  python3 - "$p/pictures" <<'PY'
import struct, sys, zlib
def png(path, w, h):
    raw = b''.join(b'\0' + bytes([x * 40 % 256, 0, 0, 255]) * w for x in range(h))
    chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    open(path, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
                           + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
png(sys.argv[1] + '/TITLE.png', 320, 320)
png(sys.argv[1] + '/LOGO.png', 400, 98)
PY
}
printf 'MZ' >"$work/KSetup.exe"

project small 'DISCNUM = 1
KEYFILE = "SMALL.KEY"
APPLITITLE = "夢"
REGADDRESS = "Software\Seed\Small"
MAKEFOLDER = "DATA" "表"
FILE = "GAME.EXE" {size GAME.EXE} 14 DISC1
FILE = "DATA\*.DAT" {size DATA\*.DAT} 14 DISC1
FILE = "表\ソ.TXT" {size 表\ソ.TXT} 14 DISC1
'
mkdir -p "$work/small/files/DATA" "$work/small/files/表"
printf 'game' >"$work/small/files/GAME.EXE"
for i in 1 2 3; do printf 'data %s' $i >"$work/small/files/DATA/F$i.DAT"; done
printf 'so' >"$work/small/files/表/ソ.TXT"

project deep 'DISCNUM = 2
KEYFILE = "KEY1" "KEY2"
APPLITITLE = "Deep"
REGADDRESS = "Software\Seed\Deep"
MAKEFOLDER = "A" "A\B" "A\B\C" "A\B\C\D" "A\B\C\D\E" "A\B\C\D\E\F"
FILE = "A\B\C\D\E\F\LEAF.BIN" {size A\B\C\D\E\F\LEAF.BIN} 14 DISC1
FILE = "A\ROOT.BIN" {size A\ROOT.BIN} 14 DISC2
'
mkdir -p "$work/deep/files/A/B/C/D/E/F" "$work/deep/disc2"
printf 'leaf' >"$work/deep/files/A/B/C/D/E/F/LEAF.BIN"
printf 'root' >"$work/deep/files/A/ROOT.BIN"
printf '[autorun]\r\n' >"$work/deep/disc2/autorun.inf"

for p in small deep; do
  "$tool" disc build "$work/$p" --out "$work/$p-out" --image --exe "$work/KSetup.exe" >/dev/null
done
cp "$work/small-out/disc1.iso" "$out/small.iso"
cp "$work/deep-out/disc1.iso" "$out/deep-disc1.iso"
cp "$work/deep-out/disc2.iso" "$out/deep-disc2.iso"

python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
image = bytearray(open(out + '/small.iso', 'rb').read())
def both(at, value):
    image[at:at + 8] = struct.pack('<I', value) + struct.pack('>I', value)
d = 16 * 2048
while image[d] != 255 and not (image[d] == 2 and image[d + 88:d + 90] == b'%/'):
    d += 2048
root = struct.unpack('<I', image[d + 158:d + 162])[0]
records, at = [], root * 2048
while image[at]:
    if not (image[at + 32] == 1 and image[at + 33] <= 1):
        records.append(at)
    at += image[at]
folder = next(r for r in records if image[r + 25] & 2)
file = next(r for r in records if not image[r + 25] & 2)
good = bytes(image)
for name, spoil in [('loop.iso', lambda: both(folder + 2, root)),
                    ('forged-size.iso', lambda: both(file + 10, 0xFFFFFFFF)),
                    ('broken-extents.iso', lambda: image.__setitem__(file + 25, image[file + 25] | 0x80))]:
    image[:] = good
    spoil()
    open(out + '/' + name, 'wb').write(image)
PY
ls -l "$out"
