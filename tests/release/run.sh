#!/bin/bash
# Release tests: what needs openssl, osslsigncode, xorriso and dpkg beside the
# tool. On the sample project (scripts/make-samples.sh) and a test CA made
# here (make_test_ca.sh):
#   - signing: disc 1's KSetup.exe signed with a PKCS#12 file and with PEM
#     files verifies with osslsigncode against the test CA, from the disc
#     folder and from the image; bad material is refused with one line, exit
#     1 and nothing written;
#   - reproducible: two builds with the same SOURCE_DATE_EPOCH a few seconds
#     apart, signed and unsigned, are the same byte for byte (cmp of every
#     image and every disc file);
#   - disc verify on the signed sample;
#   - the Debian package: made with CPack, installed with dpkg into a scratch
#     root, it builds the sample with the installed tool alone.
# Prints "release: N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
tool=${KSETUP_TEST_TOOL:-$root/build/native/bin/ksetup-tool}
exe64=$root/build/win64/bin/KSetup.exe
exe32=$root/build/win32/bin/KSetup.exe
project=$root/build/samples/project
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok   $*"; }
bad() { failed=$((failed + 1)); echo "FAIL $*"; }
check() {  # check NAME COMMAND...: a step that passes when the command does
  local name=$1; shift
  if "$@" >"$work/step.log" 2>&1; then ok "$name"; else bad "$name"; tail -15 "$work/step.log"; fi
}

mkdir -p build
work=$(mktemp -d "$root/build/release-test-XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
for p in openssl osslsigncode xorriso dpkg cpack sha256sum; do
  command -v "$p" >/dev/null || { echo "release: no $p (scripts/deps.sh build)"; echo "release: 0 passed, 1 failed"; exit 1; }
done
[ -f "$project/KSetup.ini" ] || { echo "release: no $project (scripts/make-samples.sh)"; echo "release: 0 passed, 1 failed"; exit 1; }
bash tests/release/make_test_ca.sh "$work/ca" || { echo "release: 0 passed, 1 failed"; exit 1; }
ca=$work/ca
pass=(--sign-password-file "$ca/password.txt")

build() {  # build OUT OPTION...: the sample, built with the x86_64 program
  "$tool" disc build "$project" --out "$1" --image --exe "$exe64" "${@:2}"
}
verified() {  # verified FILE: the signature verifies against the test CA
  osslsigncode verify -in "$1" -CAfile "$ca/ca.pem" >"$work/verify.log" 2>&1 &&
    grep -q '^Signature verification: ok' "$work/verify.log"
}
from_image() {  # from_image IMAGE PATH OUT: one file of an image
  rm -f "$3"
  xorriso -osirrox on -indev "$1" -extract "$2" "$3" >/dev/null 2>&1 && [ -f "$3" ]
}
same_tree() {  # same_tree A B: every file of A and B the same (cmp), none missing
  local a=$1 b=$2 f n=0
  [ "$(cd "$a" && find . -type f | sort)" = "$(cd "$b" && find . -type f | sort)" ] || { echo "the file lists differ"; return 1; }
  while IFS= read -r f; do
    cmp "$a/$f" "$b/$f" || return 1
    [ "$(stat -c %Y "$a/$f")" = "$(stat -c %Y "$b/$f")" ] || { echo "$f: dates differ"; return 1; }
    n=$((n + 1))
  done < <(cd "$a" && find . -type f)
  echo "$n files the same"
}

# ---- Signing ----------------------------------------------------------------
echo "== signing"
if build "$work/p12" --sign-pkcs12 "$ca/sign.p12" "${pass[@]}" >"$work/p12.log" 2>&1; then
  ok "signed build with a PKCS#12 file"
  grep 'signed and verified' "$work/p12.log"
  check "disc 1's KSetup.exe verifies against the test CA" verified "$work/p12/disc1/KSetup.exe"
  sed -n '/^Signer.s certificate/,/^$/p;/Signing time\|Text description\|^Signature verification/p' \
    "$work/verify.log" | head -20
  if from_image "$work/p12/disc1.iso" /KSetup.exe "$work/from-image.exe"; then
    check "KSetup.exe read from disc1.iso verifies against the test CA" verified "$work/from-image.exe"
  else
    bad "KSetup.exe could not be read from disc1.iso"
  fi
  check "the signed program is the unsigned one plus its signature" \
    bash -c "osslsigncode remove-signature -in '$work/p12/disc1/KSetup.exe' -out '$work/stripped.exe' && \
             cmp <(head -c 128 '$work/stripped.exe') <(head -c 128 '$exe64')"
else
  bad "signed build with a PKCS#12 file"; cat "$work/p12.log"
fi
# The certificate file carries its chain, as a CA hands it out.
cat "$ca/sign.pem" "$ca/ca.pem" >"$ca/sign-chain.pem"
check "signed build with a PEM certificate and key" build "$work/pem" --sign-cert "$ca/sign-chain.pem" --sign-key "$ca/sign.key"
check "the PEM-signed KSetup.exe verifies" verified "$work/pem/disc1/KSetup.exe"
KSETUP_SIGN_PASSWORD=$(cat "$ca/password.txt") check "the password from KSETUP_SIGN_PASSWORD" \
  build "$work/env" --sign-pkcs12 "$ca/sign.p12"
# The settings in project.ini, paths relative to the project (a copy of it).
cp -r "$project" "$work/signed-project"
printf 'SIGNPKCS12 = ../ca/sign.p12\nSIGNPASSWORDFILE = ../ca/password.txt\n' >"$work/signed-project/project.ini"
check "signed from the settings of project.ini" bash -c "'$tool' disc build '$work/signed-project' --out '$work/ini' \
  --exe '$exe64' && osslsigncode verify -in '$work/ini/disc1/KSetup.exe' -CAfile '$ca/ca.pem'"

# Refused: one line, exit 1, nothing written.
echo "wrong password" >"$work/wrong.txt"
mkdir -p "$work/nopath"
ln -s "$tool" "$work/nopath/ksetup-tool"
refusals=(
  "certificate without code signing|web.p12: the certificate is not meant for code signing|--sign-pkcs12 $ca/web.p12 ${pass[*]}"
  "expired certificate|expired.p12: the certificate expired on 2021-01-01|--sign-pkcs12 $ca/expired.p12 ${pass[*]}"
  "wrong password|sign.p12: the password does not open it|--sign-pkcs12 $ca/sign.p12 --sign-password-file $work/wrong.txt"
  "damaged PKCS#12 file|damaged.p12: damaged: the password opens it|--sign-pkcs12 $ca/damaged.p12 ${pass[*]}"
  "key of another certificate|web.key: the key does not belong to the certificate|--sign-cert $ca/sign.pem --sign-key $ca/web.key"
  "chain not to be verified|sign.pem: signed, but the signature does not verify|--sign-cert $ca/sign.pem --sign-key $ca/sign.key"
)
for r in "${refusals[@]}"; do
  IFS='|' read -r what expected options <<<"$r"
  rm -rf "$work/refused"
  # shellcheck disable=SC2086
  build "$work/refused" $options >"$work/refused.out" 2>"$work/refused.err"
  rc=$?
  if [ "$rc" = 1 ] && [ "$(wc -l <"$work/refused.err")" = 1 ] && grep -qF "$expected" "$work/refused.err" &&
     [ ! -e "$work/refused" ]; then
    ok "refused: $what: $(cat "$work/refused.err")"
  else
    bad "refused: $what (exit $rc)"; cat "$work/refused.err"; ls "$work/refused" 2>/dev/null
  fi
done
rm -rf "$work/refused"
PATH=/nonexistent "$work/nopath/ksetup-tool" disc build "$project" --out "$work/refused" --image --exe "$exe64" \
  --sign-pkcs12 "$ca/sign.p12" "${pass[@]}" >/dev/null 2>"$work/refused.err"
rc=$?
if [ "$rc" = 1 ] && [ "$(wc -l <"$work/refused.err")" = 1 ] && grep -q "osslsigncode: not found on PATH" "$work/refused.err" &&
   [ ! -e "$work/refused" ]; then
  ok "refused: no osslsigncode: $(cat "$work/refused.err")"
else
  bad "refused: no osslsigncode (exit $rc)"; cat "$work/refused.err"
fi

# ---- Reproducible builds ----------------------------------------------------
echo "== two builds with the same SOURCE_DATE_EPOCH, a few seconds apart"
export SOURCE_DATE_EPOCH=1700000000
for kind in unsigned signed; do
  options=()
  [ "$kind" = signed ] && options=(--sign-pkcs12 "$ca/sign.p12" "${pass[@]}")
  build "$work/$kind-a" "${options[@]}" >"$work/a.log" 2>&1 || { bad "$kind build a"; cat "$work/a.log"; continue; }
  sleep 3
  build "$work/$kind-b" "${options[@]}" >"$work/b.log" 2>&1 || { bad "$kind build b"; cat "$work/b.log"; continue; }
  check "$kind: every image and disc file the same (cmp)" same_tree "$work/$kind-a" "$work/$kind-b"
  cat "$work/step.log"
  for iso in "$work/$kind-a"/*.iso; do
    echo "  $(basename "$iso"): $(sha256sum <"$iso" | cut -c1-16)... in both builds"
  done
done
unset SOURCE_DATE_EPOCH
# (A changed byte caught by disc verify, and sha256sum -c reading
# SHA256SUMS: the unit test ReleaseBuild.DiscVerifyCatchesAChangedByte.)
check "disc verify passes on the signed build" "$tool" disc verify "$work/signed-a"
cat "$work/step.log"

version=$(sed -n 's/.*project(KSetup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# ---- The Debian package --------------------------------------------------------
echo "== the Debian package"
if (cd build/native && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1; then
  deb=$(ls "$work"/package/ksetup-tool_*.deb 2>/dev/null | head -1)
  if [ -n "$deb" ]; then
    ok "cpack made $(basename "$deb")"
    dpkg-deb -c "$deb" | awk '{print "  " $6}'
    scratch=$work/root
    mkdir -p "$scratch/var/lib/dpkg/updates" "$scratch/var/lib/dpkg/info"
    : >"$scratch/var/lib/dpkg/status"
    check "dpkg installs it into a scratch root" dpkg --root="$scratch" --force-not-root --force-depends \
      --force-script-chrootless -i "$deb"
    installed=$scratch/usr/bin/ksetup-tool
    check "the installed tool says its version" bash -c "'$installed' --version | grep -qx 'ksetup-tool $version'"
    check "its manual page is there" bash -c "gzip -dc '$scratch/usr/share/man/man1/ksetup-tool.1.gz' | grep -q '^.TH KSETUP-TOOL 1 .* \"ksetup-tool $version\"'"
    # Only the installed tree: no build tree on the way (a copy of the
    # project, the tool started from the scratch root without --exe).
    cp -r "$project" "$work/project"
    if env -i PATH=/usr/bin:/bin "$installed" disc build "$work/project" --out "$work/installed" --image >"$work/installed.log" 2>&1 &&
       cmp -s "$work/installed/disc1/KSetup.exe" "$scratch/usr/share/ksetup/win32/KSetup.exe" &&
       cmp -s "$scratch/usr/share/ksetup/win32/KSetup.exe" "$exe32" && cmp -s "$scratch/usr/share/ksetup/win64/KSetup.exe" "$exe64" &&
       "$installed" disc verify "$work/installed" >>"$work/installed.log" 2>&1; then
      ok "the installed tool builds and verifies the sample with its own i686 KSetup.exe"
    else
      bad "the sample built with the installed tool"; tail -20 "$work/installed.log"
    fi
  else
    bad "cpack made no .deb"; tail -20 "$work/cpack.log"
  fi
else
  bad "cpack"; tail -20 "$work/cpack.log"
fi

echo "release: ${passed} passed, ${failed} failed"
[ "$failed" = 0 ]
