// standin.exe: plays the installed game or the DirectX setup in the Wine
// tests. It appends one line to a marker file and ends: its command line and
// its current folder. The marker file is %KSETUP_MARKER% when set, else
// standin-ran.txt beside the program.
#include <windows.h>

static void append(HANDLE file, const wchar_t* text) {
  char buffer[2048];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  DWORD written;
  if (bytes > 1) WriteFile(file, buffer, bytes - 1, &written, nullptr);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wchar_t marker[MAX_PATH];
  if (!GetEnvironmentVariableW(L"KSETUP_MARKER", marker, MAX_PATH)) {
    GetModuleFileNameW(nullptr, marker, MAX_PATH);
    wchar_t* slash = wcsrchr(marker, L'\\');
    if (slash) lstrcpyW(slash + 1, L"standin-ran.txt");
  }
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  wchar_t folder[MAX_PATH] = {0};
  GetCurrentDirectoryW(MAX_PATH, folder);
  append(file, L"cmdline=");
  append(file, GetCommandLineW());
  append(file, L"\tcwd=");
  append(file, folder);
  append(file, L"\n");
  CloseHandle(file);
  return 0;
}
