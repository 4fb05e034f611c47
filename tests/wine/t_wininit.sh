#!/bin/bash
# Where the system refuses a delayed deletion, the program writes "NUL =
# its path" into the [rename] section of WININIT.INI in the Windows folder:
# a new file holds exactly the section and the line; an existing section (in
# any letter case) gets the line right after its name, every other byte kept;
# a file without the section gets both at its end. The path is written in
# code page 932, whatever the system's own code page.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

ini="$WINEPREFIX/drive_c/windows/WININIT.INI"
path='C:\ks temp\ソフト表\KSetup-0123456789ABCDEF\KSetup.exe'
path_cp932=$(printf '%s' "$path" | iconv -f UTF-8 -t CP932)
crlf=$'\r\n'

probe() { wine "$KS_BIN/wininit_probe.exe" "$path" </dev/null >/dev/null 2>&1 || ks_fail "wininit_probe failed"; }
expect_ini() { ks_expect "$1" "$(od -An -c "$ini")" "$(printf '%s' "$2" | od -An -c)"; }

rm -f "$ini"
probe
expect_ini "a new WININIT.INI" "[rename]${crlf}NUL = $path_cp932"

printf '[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\OLD.TXT\r\n' >"$ini"
probe
expect_ini "the line right after the section name" \
  "[boot]${crlf}x=1${crlf}[Rename]${crlf}NUL = $path_cp932${crlf}${crlf}NUL=C:\\OLD.TXT${crlf}"

printf '[boot]\r\nx=1\r\n' >"$ini"
probe
expect_ini "no section: the section and the line at the end" \
  "[boot]${crlf}x=1${crlf}${crlf}[rename]${crlf}NUL = $path_cp932${crlf}"
rm -f "$ini"
