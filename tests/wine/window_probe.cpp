// window_probe.exe: the install window whose creation fails, as when its
// picture surface cannot be had: the program's own window procedure, with
// the next memory block refused. Prints "window=W quit=Q state=S": whether
// the window was made (0), whether a quit message waits in the queue (it
// must not: it would close the creation error's message box at once) and
// the state the window left (4, Exit).
#include <windows.h>

#include <cstdio>

#include "install/install_win.h"
#include "platform/platform.h"
#include "platform/shell_win.h"

int wmain() {
  instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = installWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"SLB_INST";
  RegisterClassExW(&windowClass);
  InitializeCriticalSection(&installLock);
  appState = Install;
  heapFailAfter(1);
  HWND window = CreateWindowExW(WS_EX_TOPMOST, L"SLB_INST", L"SLB_INST", WS_POPUP, 0, 0, 640, 480, nullptr,
                                nullptr, instance, nullptr);
  heapFailAfter(0);
  MSG message;
  bool quit = PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  printf("window=%d quit=%d state=%d\n", window ? 1 : 0, quit ? 1 : 0, static_cast<int>(appState));
  return 0;
}
