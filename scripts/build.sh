#!/bin/bash
# Configures and builds the given presets (default: native win64 win32).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in "${@:-native win64 win32}"; do
  for p in $preset; do
    [ -f "build/$p/CMakeCache.txt" ] || cmake --preset "$p" >/dev/null
    cmake --build "build/$p" -j"$jobs" >"build/$p-build.log" 2>&1 || {
      tail -40 "build/$p-build.log"; echo "build of preset $p failed" >&2; exit 1; }
  done
done
