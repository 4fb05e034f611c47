#!/bin/bash
# Installs the Debian packages KSetup's build, tests and demo need, once.
# Usage: scripts/deps.sh build|wine|root32|all
set -euo pipefail

build_pkgs=(cmake make g++ perl libgtest-dev libbenchmark-dev libstb-dev clang libclang-rt-14-dev
            g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-x86-64
            binutils-mingw-w64-i686 fonts-ipafont-gothic libisofs-dev libssl-dev
            osslsigncode openssl xorriso dpkg-dev)
wine_pkgs=(wine wine64 fonts-wine xvfb xauth x11-apps xdotool imagemagick fonts-ipafont-gothic locales
           jq procps xorriso)
# The 32-bit root of scripts/root32.sh and the emulated machine that boots it
# where the kernel runs no 32-bit code. (wine32 and the i386 architecture
# live in that root only, never here.)
root32_pkgs=(debootstrap e2fsprogs qemu-system-x86)

want=()
case "${1:-all}" in
  build) want=("${build_pkgs[@]}") ;;
  wine) want=("${wine_pkgs[@]}") ;;
  root32) want=("${root32_pkgs[@]}") ;;
  all) want=("${build_pkgs[@]}" "${wine_pkgs[@]}" "${root32_pkgs[@]}") ;;
  *) echo "usage: $0 build|wine|root32|all" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ " ${want[*]} " == *" wine "* ]]; then
  # The 32-bit loader cannot run on this kernel; with wine32 present the
  # wrapper picks it and every start fails.
  if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq wine32 >/dev/null
  fi
  # Japanese text needs a Japanese locale; the tests also run the program on
  # a Western one (code page 1252).
  generate=0
  for l in ja_JP en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$"; then
      $SUDO sed -i "s/^# *$l.UTF-8 UTF-8/$l.UTF-8 UTF-8/" /etc/locale.gen
      grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
      generate=1
    fi
  done
  [ "$generate" = 0 ] || $SUDO locale-gen >/dev/null
fi
