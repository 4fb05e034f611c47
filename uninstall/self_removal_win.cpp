// The running copy of the program cannot delete its own file, so it asks the
// system to do it at the next start, and its folder after it.
#include <windows.h>

#include "platform/platform.h"
#include "platform/text_win.h"
#include "uninstall/wininit.h"

void scheduleInWininit(const wchar_t* ownPathWide) {
  // The file is read by the system before Windows starts, in its own code
  // page; the program's paths are code page 932, and a path that has no
  // code page 932 form cannot be written there at all.
  char ownPath[MAX_PATH];
  if (!narrow(ownPathWide, ownPath, MAX_PATH)) return;
  wchar_t path[MAX_PATH + 16];
  UINT length = GetWindowsDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  if (path[length - 1] == L'\\') path[--length] = 0;
  lstrcpyW(path + length, L"\\WININIT.INI");

  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool exists = file != INVALID_HANDLE_VALUE && file != nullptr;
  if (exists) CloseHandle(file);

  char* text = nullptr;
  DWORD size = 0;
  if (exists) {
    file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return;
    size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE || size > 0x7FFFFFFF) {
      CloseHandle(file);
      return;
    }
    text = static_cast<char*>(heapAlloc(size + 1));
    if (!text) {
      CloseHandle(file);
      return;
    }
    DWORD got = 0;
    if (size != 0 && (!ReadFile(file, text, size, &got, nullptr) || got != size)) {
      heapFree(text);
      CloseHandle(file);
      return;
    }
  } else {
    // A file that exists but could not be opened (shared, locked) is left
    // alone rather than replaced.
    file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return;
  }

  WininitEdit edit;
  if (planWininitEdit(text, size, exists, ownPath, &edit)) {
    if (SetFilePointer(file, static_cast<LONG>(edit.offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
      DWORD written = 0;
      WriteFile(file, edit.text, edit.length, &written, nullptr);
    }
    heapFree(edit.text);
  }
  heapFree(text);
  CloseHandle(file);
}

void scheduleSelfRemoval(bool withFolder) {
  wchar_t ownPath[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  if (!MoveFileExW(ownPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    scheduleInWininit(ownPath);
    return;
  }
  if (!withFolder) return;
  // Requests are carried out in the order they were made: the folder goes
  // once the file in it has gone.
  wchar_t* cut = nullptr;
  for (wchar_t* p = ownPath; *p; p++)
    if (*p == L'\\') cut = p;
  if (!cut) return;
  *cut = 0;
  MoveFileExW(ownPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
