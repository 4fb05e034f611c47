// A DLL planted under the name of a system DLL (winmm.dll) beside the
// program or in its folder, as a program of the player's own rights could
// put it there: when loaded it notes which process loaded it in the file
// KSETUP_PLANTED_MARKER names (or C:\planted.txt), then does nothing. It
// exports the calls a program may take from the real winmm.dll, so that a
// program that imports them still starts and the test can see the load.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static void note() {
  wchar_t marker[MAX_PATH];
  if (!GetEnvironmentVariableW(L"KSETUP_PLANTED_MARKER", marker, MAX_PATH)) lstrcpyW(marker, L"C:\\planted.txt");
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t own[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, own, MAX_PATH);
  char line[3 * MAX_PATH + 2];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, own, static_cast<int>(n), line, 3 * MAX_PATH, nullptr, nullptr);
  line[bytes++] = '\n';
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(bytes), &written, nullptr);
  CloseHandle(file);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) note();
  return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI timeGetTime() { return GetTickCount(); }
extern "C" __declspec(dllexport) DWORD WINAPI mciSendCommandA(UINT, UINT, DWORD_PTR, DWORD_PTR) { return 1; }
extern "C" __declspec(dllexport) DWORD WINAPI mciSendCommandW(UINT, UINT, DWORD_PTR, DWORD_PTR) { return 1; }
