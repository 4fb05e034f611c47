#!/bin/bash
# Surfaces on a real window: surface_probe.exe checks creation, the stretch
# of a bottom-up picture, and presenting whole, by rectangle and by dirty
# list (see surface_probe.cpp); stretch_probe.exe compares the window
# system's stretch with the one the scene tool draws with, pixel for pixel
# over 40 picture and surface sizes (see stretch_probe.cpp).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

for probe in "surface_probe 13" "stretch_probe 40"; do
  set -- $probe
  [ -f "$KS_BIN/$1.exe" ] || ks_fail "missing $KS_BIN/$1.exe"
  wine "$KS_BIN/$1.exe" </dev/null 2>/dev/null | tr -d '\r' | tee "$KS_WORK/$1.log"
  [ "${PIPESTATUS[0]}" = 0 ] || ks_fail "$1: checks failed"
  ks_expect "$1: checks run" "$(grep -c '^ok: ' "$KS_WORK/$1.log")" "$2"
done
