#!/bin/bash
# The DLLs KSetup.exe imports must all be known DLLs of the system, which
# Windows loads from the system folder only: any other imported DLL would be
# looked for beside the program first, where a program of the player's own
# rights can plant one, and loaded into the elevated process before its first
# line runs. Checks the x86_64 and the i686 build; and that both builds keep
# the blend's prefetches (GCC once dropped them from the i686 build, whose
# baseline processor has no SSE, halving its speed). Prints "N passed, N
# failed".
set -uo pipefail
cd "$(dirname "$0")/.."

# Known DLLs of Windows (HKLM\System\CurrentControlSet\Control\Session
# Manager\KnownDLLs) and the C runtime the MinGW builds use.
known=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll gdi32.dll gdiplus.dll imagehlp.dll
  imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll
  rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll
  ws2_32.dll "
passed=0
failed=0
for build in win64 win32; do
  exe=build/$build/bin/KSetup.exe
  tool=x86_64-w64-mingw32-objdump
  if [ ! -f "$exe" ]; then
    failed=$((failed + 1)); echo "FAIL $exe: not built"; continue
  fi
  names=$($tool -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  bad=""
  for n in $names; do [[ "$known" == *" $n "* ]] || bad="$bad $n"; done
  if [ -z "$bad" ]; then
    passed=$((passed + 1)); echo "ok   $exe imports only known DLLs: $names"
  else
    failed=$((failed + 1)); echo "FAIL $exe imports DLLs that are no known DLLs:$bad"
  fi
  prefetches=$($tool -d "$exe" | grep -c 'prefetcht0')
  if [ "$prefetches" -ge 4 ]; then
    passed=$((passed + 1)); echo "ok   $exe has $prefetches prefetches in its vector blends"
  else
    failed=$((failed + 1)); echo "FAIL $exe has $prefetches prefetches; its vector blends lost theirs"
  fi
done
echo "imports: ${passed} passed, ${failed} failed"
[ "$failed" = 0 ]
