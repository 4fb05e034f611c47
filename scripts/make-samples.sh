#!/bin/bash
# Writes the sample disc set: make-samples draws the pictures and writes the
# sample's project (build/samples/project), and `ksetup-tool disc build` makes
# the discs from it, with images: build/samples/disc1, disc2, disc1.iso and
# disc2.iso. Builds make-samples and ksetup-tool (native preset) and the
# sample's stand-ins and KSetup.exe (win64 preset) first; disc 1 gets the
# win64 KSetup.exe, which runs under the Wine here. Quick when everything is
# up to date.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/samples
project=$out/project
stamp=$out/.made
jobs=$(nproc)
tool=build/native/bin/ksetup-tool
exe=build/win64/bin/KSetup.exe

build() {  # build PRESET TARGET...: builds targets of a preset, log on failure
  local preset=$1; shift
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j"$jobs" --target "$@" >"build/$preset-samples.log" 2>&1 || {
    tail -40 "build/$preset-samples.log"; echo "make-samples.sh: building $* ($preset) failed" >&2; exit 1; }
}

mkdir -p build
build native make-samples ksetup-tool
build win64 KSetup sample-game sample-dxsetup
standins=build/win64/bin

# What the discs are made from: the generator (which holds the pictures and
# the data table), the script and manual templates, the stand-ins, the tool
# and the program.
inputs=(build/native/bin/make-samples samples/KSetup.ini.in samples/README.TXT.in
        "$standins/sample-game.exe" "$standins/sample-dxsetup.exe" "$tool" "$exe")

stale=0
if [ ! -f "$stamp" ] || [ ! -f "$out/disc1/KSetup.ini" ] || [ ! -f "$out/disc2.iso" ]; then
  stale=1
else
  for f in "${inputs[@]}"; do
    [ "$f" -nt "$stamp" ] && stale=1
  done
fi

if [ "$stale" = 1 ]; then
  # Disc folders written before the sample was a project are not the build's:
  # they go, so that disc build may write its own.
  [ -f "$out/.ksetup-disc-build" ] || rm -rf "$out/disc1" "$out/disc2"
  build/native/bin/make-samples "$project" --standins "$standins"
  "$tool" disc build "$project" --out "$out" --image --exe "$exe"
  date >"$stamp"
else
  echo "make-samples.sh: $out is up to date"
fi

for d in disc1 disc2; do
  echo "$out/$d: $(find "$out/$d" -type f | wc -l) files, $(du -sh "$out/$d" | cut -f1); $out/$d.iso: $(du -h "$out/$d.iso" | cut -f1)"
done
