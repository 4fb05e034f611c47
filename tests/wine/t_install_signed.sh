#!/bin/bash
# The whole installation of t_install_image.sh from images whose KSetup.exe
# is signed: a test certificate authority and a code-signing certificate are
# made here with openssl, ksetup-tool disc build signs the program under test
# with them (osslsigncode) and writes the sample's images with a fixed date
# (SOURCE_DATE_EPOCH); the signature verifies against the test CA from the
# disc folder, and the game installs from the images with that signed
# program, whose copy for the uninstall entry is the signed one byte for
# byte.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=${KSETUP_TEST_TOOL:-$root/build/native/bin/ksetup-tool}
exe=${KSETUP_WINBIN:-$root/build/win64/bin}/KSetup.exe
project=$root/build/samples/project
[ -f "$project/KSetup.ini" ] || { echo "FAIL: no $project (run scripts/make-samples.sh)"; exit 1; }
for p in openssl osslsigncode xorriso; do
  command -v "$p" >/dev/null || { echo "FAIL: no $p (scripts/deps.sh)"; exit 1; }
done

mkdir -p "$root/build/wine"
work=$(mktemp -d "$root/build/wine/signed-XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"' EXIT

bash "$root/tests/release/make_test_ca.sh" "$work/ca"
# With a fixed date, as a release is built: the images the player gets are
# the reproducible ones.
SOURCE_DATE_EPOCH=1700000000 "$tool" disc build "$project" --out "$work/discs" --image --exe "$exe" \
  --sign-pkcs12 "$work/ca/sign.p12" --sign-password-file "$work/ca/password.txt" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; echo "FAIL: the signed build"; exit 1; }
osslsigncode verify -in "$work/discs/disc1/KSetup.exe" -CAfile "$work/ca/ca.pem" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; echo "FAIL: disc 1's KSetup.exe does not verify against the test CA"; exit 1; }
grep -q '^Signature verification: ok' "$work/verify.log" || { cat "$work/verify.log"; echo "FAIL: no verified signature"; exit 1; }
! cmp -s "$work/discs/disc1/KSetup.exe" "$exe" || { echo "FAIL: disc 1's KSetup.exe is the unsigned build"; exit 1; }
echo "ok: disc 1's KSetup.exe is signed and verifies against the test CA"

KSETUP_SAMPLES=$work/discs KSETUP_KEEP_DISC_EXE=1 KSETUP_SHOTS=${KSETUP_SHOTS:-$root/build/e2e}/signed \
  bash "$root/tests/wine/t_install_image.sh"
