// The Windows program's process-wide values and shell helpers (shell_win.h).
// Every text and name reaches the system in UTF-16.
#include "platform/shell_win.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/text_win.h"

int32_t appState = Launcher;
int32_t installed = 0;
char programFilesFolder[MAX_PATH];
HANDLE instanceMutex = nullptr;
CRITICAL_SECTION installLock;
HINSTANCE instance = nullptr;

enum {
  kWidePath = MAX_PATH,
};

// Removes one trailing backslash. In UTF-16 a backslash is always a
// character of its own.
void dropTrailingBackslash(wchar_t* path) {
  int length = lstrlenW(path);
  if (length > 0 && path[length - 1] == L'\\') path[length - 1] = 0;
}

// out = folder \ name, in kWidePath characters; false when it would not fit.
bool joinWide(wchar_t* out, const wchar_t* folder, const wchar_t* name) {
  int a = lstrlenW(folder), b = lstrlenW(name);
  if (a + 1 + b >= kWidePath) {
    out[0] = 0;
    return false;
  }
  lstrcpyW(out, folder);
  out[a] = L'\\';
  lstrcpyW(out + a + 1, name);
  return true;
}

static void clearReadOnly(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool copyFileInto(const wchar_t* name, const wchar_t* fromFolder, const wchar_t* toFolder) {
  wchar_t from[kWidePath], to[kWidePath], source[kWidePath], destination[kWidePath];
  lstrcpynW(from, fromFolder, kWidePath);
  lstrcpynW(to, toFolder, kWidePath);
  dropTrailingBackslash(from);
  dropTrailingBackslash(to);
  if (!joinWide(source, from, name) || !joinWide(destination, to, name)) return false;
  clearReadOnly(destination);
  // Files copied from a CD-ROM keep its read-only attribute.
  bool copied = CopyFileW(source, destination, FALSE) != FALSE;
  clearReadOnly(destination);
  return copied;
}

bool getSpecialFolderWide(int folder, wchar_t* buffer) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
  bool found = false;
  LPITEMIDLIST items = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, folder, &items)) && items) {
    buffer[0] = 0;
    SHGetPathFromIDListW(items, buffer);
    allocator->Free(items);
    found = true;
  }
  allocator->Release();
  return found;
}

bool getSpecialFolder(int folder, char* buffer) {
  wchar_t path[kWidePath];
  return getSpecialFolderWide(folder, path) && narrow(path, buffer, MAX_PATH);
}

bool startProgram(const char* program, const char* arguments, const char* folder) {
  wchar_t path[kWidePath], directory[kWidePath];
  if (!widen(program, path, kWidePath)) return false;
  // The program's own folder unless another is given.
  if (folder) {
    if (!widen(folder, directory, kWidePath)) return false;
  } else {
    lstrcpyW(directory, path);
    wchar_t* cut = nullptr;
    for (wchar_t* p = directory; *p; p++)
      if (*p == L'\\') cut = p;
    if (!cut) return false;
    cut[cut == directory + 2 ? 1 : 0] = 0;
  }
  // Quoted, so that a path with blanks reaches the program as one path and
  // is never looked up piece by piece.
  static wchar_t commandLine[kWidePath + 2 * kWideTextSize];
  wsprintfW(commandLine, L"\"%s\"", path);
  if (arguments && arguments[0]) {
    int used = lstrlenW(commandLine);
    commandLine[used] = L' ';
    widen(arguments, commandLine + used + 1, kWideTextSize);
  }
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                      &process))
    return false;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}
