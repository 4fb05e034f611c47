#!/bin/bash
# KSetup.exe's version resource as Windows reads it (version.dll, through
# version_probe.exe): file and product version from the project's version
# (project() in CMakeLists.txt), an application, Japanese strings in
# Unicode, the description, the internal and the original file name.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

version=$(sed -n 's/^project(KSetup VERSION \([0-9.]*\).*/\1/p' "$KSETUP_ROOT/CMakeLists.txt")
[ -n "$version" ] || ks_fail "no version in CMakeLists.txt"
out=$(wine "$KS_BIN/version_probe.exe" "$(winepath -w "$KS_BIN/KSetup.exe")" </dev/null 2>/dev/null | tr -d '\r')
ks_expect "version resource" "$out" "$(printf '%s\n' \
  "fixed	$version.0	$version.0	1" \
  "translation	0411	1200" \
  "FileDescription	ゲームのセットアップとランチャー" \
  "FileVersion	$version" \
  "InternalName	KSetup" \
  "OriginalFilename	KSetup.exe" \
  "ProductName	KSetup" \
  "ProductVersion	$version")"
