#!/bin/bash
# Surfaces on a real window: surface_probe.exe checks creation, the stretch
# of a bottom-up picture, and presenting whole, by rectangle and by dirty
# list (see surface_probe.cpp).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

[ -f "$KS_BIN/surface_probe.exe" ] || ks_fail "missing $KS_BIN/surface_probe.exe"
wine "$KS_BIN/surface_probe.exe" </dev/null 2>/dev/null | tr -d '\r' | tee "$KS_WORK/probe.log"
[ "${PIPESTATUS[0]}" = 0 ] || ks_fail "surface checks failed"
ks_expect "checks run" "$(grep -c '^ok: ' "$KS_WORK/probe.log")" 13
