#!/bin/bash
# Only one KSetup.exe runs at a time: a second start, in launcher mode or
# from the disc with an empty command line, ends at once without a window
# and without copying anything.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

disc=$KS_WORK/disc1
ks_make_disc "$disc"
wine_cdrom E "$disc"
ks_fresh_temp
ks_not_installed

first=$(ks_start 'E:\' 'E:\KSetup.exe' t)
h=$(ks_find -title "$KS_TITLE" -control 3 -pid "$first")

second=$(ks_start 'E:\' 'E:\KSetup.exe' t)
ks_wait_exit "$second" 5000
echo "ok: a second instance in launcher mode ended"
third=$(ks_start 'E:\' 'E:\KSetup.exe')
ks_wait_exit "$third" 5000
echo "ok: a second instance with an empty command line ended"
ks_expect "nothing copied to the temporary folder" "$(ls -A "$KS_TEMP_UNIX")" ""
ks_expect "one program running" "$(ks_running KSetup.exe)" "$first"
ks_expect "one launcher" "$(ks_drv windows | grep -c "$KS_TITLE")" 1

ks_drv click "$h" 2
ks_wait_exit "$first"
