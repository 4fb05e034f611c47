#!/bin/bash
# The stretch the scene tool draws with (stretchPictureBlackOnWhite) is the
# stretch the program gets from StretchBlt: stretch_probe.exe compares the two
# pixel for pixel over 40 picture and surface sizes (see stretch_probe.cpp).
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

[ -f "$KS_BIN/stretch_probe.exe" ] || ks_fail "missing $KS_BIN/stretch_probe.exe"
wine "$KS_BIN/stretch_probe.exe" </dev/null 2>/dev/null | tr -d '\r' | tee "$KS_WORK/probe.log"
[ "${PIPESTATUS[0]}" = 0 ] || ks_fail "the stretches differ"
ks_expect "sizes compared" "$(grep -c '^ok: ' "$KS_WORK/probe.log")" 40
