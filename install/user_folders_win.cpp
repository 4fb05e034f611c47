// The folders a player without administrator rights has: whether this
// process can make a folder somewhere (a probe folder made and removed at
// the nearest level that exists), the folder for the user's own programs,
// and the VirtualStore folder where Windows puts what a program without a
// manifest of its own writes below a protected folder.
#include <windows.h>
#include <shlobj.h>

#include "install/install_path.h"
#include "install/install_win.h"
#include "platform/shell_win.h"
#include "platform/sjis.h"
#include "platform/text_win.h"

// FOLDERID_UserProgramFiles, spelled out so that no GUID library is linked.
static const GUID kUserProgramFiles = {
    0x5cd7aee2, 0x2219, 0x4a67, {0xb8, 0x5d, 0x6c, 0x9c, 0xe1, 0x56, 0x60, 0xcb}};

static bool isFolder(const char* path) {
  wchar_t name[MAX_PATH];
  DWORD attributes =
      widen(path, name, MAX_PATH) ? GetFileAttributesW(name) : INVALID_FILE_ATTRIBUTES;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderIsWritable(const char* folder) {
  char level[MAX_PATH];
  wchar_t base[MAX_PATH], probe[MAX_PATH];
  // A drive without a medium answers without an error box.
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  bool found = nearestExistingFolder(folder, isFolder, level);
  SetErrorMode(previousMode);
  if (!found || !widen(level, base, MAX_PATH)) return false;
  int length = lstrlenW(base);
  // Too long for a probe's name: the making of the folder itself will tell.
  if (length + 12 >= MAX_PATH) return true;
  const wchar_t* separator = length > 0 && base[length - 1] == L'\\' ? L"" : L"\\";
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 8; attempt++) {
    wsprintfW(probe, L"%s%s~ks%08X", base, separator, seed + attempt * 0x9E3779B9u);
    if (CreateDirectoryW(probe, nullptr)) {
      RemoveDirectoryW(probe);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool userProgramsFolder(char* out) {
  wchar_t path[MAX_PATH];
  wchar_t* known = nullptr;
  bool found =
      SUCCEEDED(SHGetKnownFolderPath(kUserProgramFiles, KF_FLAG_CREATE, nullptr, &known)) &&
      known && lstrlenW(known) < MAX_PATH;
  if (found) lstrcpyW(path, known);
  CoTaskMemFree(known);
  if (!found) {
    // Systems that do not know it (Windows Vista, Wine) get the place it
    // has on the others.
    found = getSpecialFolderWide(CSIDL_LOCAL_APPDATA, path) && path[0] &&
            lstrlenW(path) + 10 < MAX_PATH;
    if (found) {
      if (path[lstrlenW(path) - 1] != L'\\') lstrcatW(path, L"\\");
      lstrcatW(path, L"Programs");
      CreateDirectoryW(path, nullptr);
      DWORD attributes = GetFileAttributesW(path);
      found = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
  }
  return found && narrow(path, out, MAX_PATH);
}

bool virtualStoreFolder(char* out) {
  wchar_t local[MAX_PATH];
  char narrowed[MAX_PATH];
  out[0] = 0;
  if (!getSpecialFolderWide(CSIDL_LOCAL_APPDATA, local) || !local[0]) return true;
  return narrow(local, narrowed, MAX_PATH) && sjisJoin(out, MAX_PATH, narrowed, "VirtualStore");
}
