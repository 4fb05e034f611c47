#include "platform/winmm_win.h"

HMODULE loadSystemDll(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // Systems without the search flag: the full path in the system folder.
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH) return nullptr;
  path[length] = L'\\';
  lstrcpyW(path + length + 1, name);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

typedef MCIERROR(WINAPI* MciSendCommandFn)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
typedef DWORD(WINAPI* TimeGetTimeFn)();

// winmm's entry points, looked up once. The first use is on the user
// interface thread (the window's set-up, a disc probe) before any other
// thread runs, and the module stays loaded.
static MciSendCommandFn sendCommand;
static TimeGetTimeFn getTime;
static bool looked;

static void lookUp() {
  if (looked) return;
  looked = true;
  HMODULE winmm = loadSystemDll(L"winmm.dll");
  if (!winmm) return;
  sendCommand = reinterpret_cast<MciSendCommandFn>(reinterpret_cast<void*>(GetProcAddress(winmm, "mciSendCommandW")));
  getTime = reinterpret_cast<TimeGetTimeFn>(reinterpret_cast<void*>(GetProcAddress(winmm, "timeGetTime")));
}

MCIERROR mciCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters) {
  lookUp();
  return sendCommand ? sendCommand(device, message, flags, parameters) : MCIERR_DEVICE_NOT_INSTALLED;
}

DWORD multimediaTime() {
  lookUp();
  return getTime ? getTime() : GetTickCount();
}
