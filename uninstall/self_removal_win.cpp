// The running copy of the program cannot delete its own file, so it asks the
// system to do it at the next start.
#include <windows.h>

#include "platform/platform.h"
#include "uninstall/wininit.h"

// Applies the planned edit to the start-up rename file; every failure ends
// the step silently.
static void editWininit(const char* ownPath) {
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  if (folder[length - 1] == '\\') folder[--length] = 0;
  char path[MAX_PATH + 16];
  wsprintfA(path, "%s\\WININIT.INI", folder);

  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool exists = file != INVALID_HANDLE_VALUE && file != nullptr;
  if (exists) CloseHandle(file);

  char* text = nullptr;
  DWORD size = 0;
  if (exists) {
    file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
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

void scheduleSelfRemoval() {
  char ownPath[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  if (MoveFileExA(ownPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return;
  editWininit(ownPath);
}
