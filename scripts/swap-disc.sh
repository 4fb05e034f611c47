#!/bin/bash
# Puts sample disc N into drive E: of the demo's Wine prefix
# (build/demo/prefix), as if the player changed the CD: the drive's link is
# pointed at build/samples/discN. Run it from another terminal while the
# demo's launcher or install window is open, then answer the program's
# insert-disc dialog with OK.
#   bash scripts/swap-disc.sh 2
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-}
[[ "$n" =~ ^[1-9]$ ]] || { echo "usage: bash scripts/swap-disc.sh DISC (1 or 2)" >&2; exit 2; }
prefix=$PWD/build/demo/prefix
disc=$PWD/build/samples/disc$n
[ -d "$disc" ] || { echo "swap-disc: there is no $disc (run bash scripts/demo.sh)" >&2; exit 1; }
[ -L "$prefix/dosdevices/e:" ] || { echo "swap-disc: the demo has no drive E: yet (run bash scripts/demo.sh)" >&2; exit 1; }
ln -sfn "$disc" "$prefix/dosdevices/e:"
echo "drive E: now holds disc $n (build/samples/disc$n)"
