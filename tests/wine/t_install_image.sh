#!/bin/bash
# The whole installation of t_install_full.sh, on discs extracted from the
# sample's disc images (scripts/make-samples.sh writes build/samples/disc1.iso
# and disc2.iso with ksetup-tool disc build). xorriso, on the same libisofs
# engine that wrote them, lays each image out in a folder by its Joliet
# names, the names Windows reads from a disc: the folders hold the files of
# build/samples/disc1 and disc2 byte for byte, disc 1 also the autorun.inf
# that starts KSetup.exe; then the program installs the game from them.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
samples=${KSETUP_SAMPLES:-$root/build/samples}
for n in 1 2; do
  [ -f "$samples/disc$n.iso" ] || { echo "FAIL: no $samples/disc$n.iso (run scripts/make-samples.sh)"; exit 1; }
done
command -v xorriso >/dev/null || { echo "FAIL: no xorriso (scripts/deps.sh wine)"; exit 1; }

mkdir -p "$root/build/wine"
work=$(mktemp -d "$root/build/wine/image-discs-XXXXXX")
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

for n in 1 2; do
  xorriso -osirrox on -rockridge off -indev "$samples/disc$n.iso" -extract / "$work/disc$n" \
    >"$work/xorriso-$n.log" 2>&1 || { cat "$work/xorriso-$n.log"; echo "FAIL: xorriso cannot extract disc$n.iso"; exit 1; }
  chmod -R u+w "$work/disc$n"
  if ! diff -r -x autorun.inf "$work/disc$n" "$samples/disc$n" >"$work/diff-$n" 2>&1; then
    head -20 "$work/diff-$n"
    echo "FAIL: disc $n extracted from its image differs from build/samples/disc$n"
    exit 1
  fi
  echo "ok: disc$n.iso holds the $(find "$samples/disc$n" -type f | wc -l) files of disc$n by their names"
done
[ "$(tr -d '\r' <"$work/disc1/autorun.inf")" = "$(printf '[autorun]\nopen=KSetup.exe\nicon=KSetup.exe,0')" ] ||
  { echo "FAIL: disc 1's autorun.inf: $(cat "$work/disc1/autorun.inf")"; exit 1; }
[ ! -e "$work/disc2/autorun.inf" ] || { echo "FAIL: disc 2 has an autorun.inf, but no KSetup.exe"; exit 1; }
echo "ok: disc 1's autorun.inf starts KSetup.exe"

echo "== the full install from the extracted discs"
# Its screenshots beside those of the install from the disc folders.
KSETUP_SAMPLES=$work KSETUP_SHOTS=${KSETUP_SHOTS:-$root/build/e2e}/from-image \
  bash "$root/tests/wine/t_install_full.sh"
