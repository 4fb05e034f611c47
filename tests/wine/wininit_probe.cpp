// wininit_probe.exe PATH: the WININIT.INI step of the program's self-removal,
// as it runs where the system's delayed-delete request fails (Windows 95,
// 98 and Me): asks for PATH's deletion in the Windows folder's WININIT.INI.
// PATH may hold any characters; the file gets its code page 932 form.
#include <windows.h>

#include "uninstall/wininit.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  scheduleInWininit(argv[1]);
  return 0;
}
