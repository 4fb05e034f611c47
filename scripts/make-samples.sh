#!/bin/bash
# Writes the sample disc set into build/samples/disc1 and build/samples/disc2:
# builds make-samples (native preset) and, when the win64 build exists, the
# sample's stand-in programs; runs make-samples when anything the discs are
# made from changed since the last run; puts build/win64/bin/KSetup.exe onto
# disc 1 when it has been built. Quick when everything is up to date.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/samples
stamp=$out/.made
jobs=$(nproc)

build() {  # build PRESET TARGET...: builds targets of a configured preset, log on failure
  local preset=$1; shift
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j"$jobs" --target "$@" >"build/$preset-samples.log" 2>&1 || {
    tail -40 "build/$preset-samples.log"; echo "make-samples.sh: building $* ($preset) failed" >&2; exit 1; }
}

mkdir -p build
build native make-samples ksetup-tool

standins=""
if [ -f build/win64/CMakeCache.txt ]; then
  build win64 sample-game sample-dxsetup
  standins=build/win64/bin
fi

# What the discs are made from: the generator (which holds the pictures and
# the data table), the script and manual templates, the stand-ins.
inputs=(build/native/bin/make-samples samples/KSetup.ini.in samples/README.TXT.in)
[ -n "$standins" ] && inputs+=("$standins/sample-game.exe" "$standins/sample-dxsetup.exe")

stale=0
if [ ! -f "$stamp" ] || [ ! -f "$out/disc1/KSetup.ini" ] || [ ! -d "$out/disc2" ]; then
  stale=1
else
  for f in "${inputs[@]}"; do
    [ "$f" -nt "$stamp" ] && stale=1
  done
  # Stand-ins that appeared since the placeholders were written.
  [ -n "$standins" ] && ! grep -q "$standins" "$stamp" && stale=1
fi

if [ "$stale" = 1 ]; then
  build/native/bin/make-samples "$out" ${standins:+--standins "$standins"}
  echo "standins=${standins:-none}" >"$stamp"
else
  echo "make-samples.sh: $out is up to date"
fi

if [ -f build/win64/bin/KSetup.exe ]; then
  cp -p build/win64/bin/KSetup.exe "$out/disc1/KSetup.exe"
else
  rm -f "$out/disc1/KSetup.exe"
  echo "make-samples.sh: build/win64/bin/KSetup.exe is not built yet; disc 1 has no KSetup.exe"
fi

for d in disc1 disc2; do
  echo "$out/$d: $(find "$out/$d" -type f | wc -l) files, $(du -sh "$out/$d" | cut -f1)"
done
