// The game's entry in Windows' list of installed programs (for the current
// user): a copy of the program, its script and its archive in a folder of
// the install folder, and the entry whose uninstall command starts that copy
// in its uninstall mode. The copy moves itself to the temporary folder like
// the program on the disc does, so the uninstall removes the copies too.
#include <windows.h>

#include "install/copy_walk.h"
#include "install/install_win.h"
#include "platform/shell_win.h"
#include "platform/text_win.h"
#include "script/config.h"
#include "uninstall/uninstall_entry.h"

static const wchar_t kListKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const wchar_t* const kCopies[] = {L"KSetup.exe", L"KSetup.ini", L"Instdata.pak"};

// The entry's key below HKEY_CURRENT_USER, in MAX_PATH characters.
static bool entryKey(wchar_t* key) {
  char name[MAX_PATH];
  wchar_t wideName[MAX_PATH];
  if (!uninstallEntryKey(name, MAX_PATH) || !widen(name, wideName, MAX_PATH) ||
      lstrlenW(kListKey) + 1 + lstrlenW(wideName) >= MAX_PATH)
    return false;
  wsprintfW(key, L"%s\\%s", kListKey, wideName);
  return true;
}

static bool setText(HKEY key, const wchar_t* name, const wchar_t* text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

static bool setNumber(HKEY key, const wchar_t* name, DWORD number) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number) ==
         ERROR_SUCCESS;
}

bool addUninstallEntry(const wchar_t* scriptFolder) {
  char folderName[MAX_PATH];
  if (!uninstallEntryFolder(folderName)) return false;
  wchar_t folder[MAX_PATH], key[MAX_PATH], program[MAX_PATH];
  if (!createPath(folderName) || !widen(folderName, folder, MAX_PATH) || !entryKey(key)) return false;
  // The running program, then the script and archive it was read from.
  wchar_t ownFolder[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, ownFolder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  for (wchar_t* p = ownFolder + length; p > ownFolder; p--)
    if (p[-1] == L'\\') {
      p[-1] = 0;
      break;
    }
  if (!copyFileInto(kCopies[0], ownFolder, folder)) return false;
  for (int k = 1; k < 3; k++) copyFileInto(kCopies[k], scriptFolder, folder);

  if (lstrlenW(folder) + 16 >= MAX_PATH) return false;
  wsprintfW(program, L"%s\\%s", folder, kCopies[0]);
  wchar_t command[MAX_PATH + 8], icon[MAX_PATH + 4], location[MAX_PATH];
  wsprintfW(command, L"\"%s\" u", program);
  wsprintfW(icon, L"%s,0", program);
  if (!widen(installFolder, location, MAX_PATH)) return false;

  HKEY entry;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &entry,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool written = setText(entry, L"DisplayName", wide(config.appliTitle[0] ? config.appliTitle : "KSetup").s) &&
                 setText(entry, L"Publisher", wide(config.brandName).s) &&
                 setText(entry, L"DisplayIcon", icon) && setText(entry, L"InstallLocation", location) &&
                 setText(entry, L"UninstallString", command) &&
                 setNumber(entry, L"EstimatedSize", installedKilobytes(installOption)) &&
                 setNumber(entry, L"NoModify", 1) && setNumber(entry, L"NoRepair", 1);
  RegCloseKey(entry);
  if (!written) RegDeleteKeyW(HKEY_CURRENT_USER, key);
  return written;
}

void removeUninstallEntry() {
  char folderName[MAX_PATH];
  wchar_t folder[MAX_PATH], key[MAX_PATH], path[MAX_PATH];
  if (!uninstallEntryFolder(folderName)) return;
  if (entryKey(key)) RegDeleteKeyW(HKEY_CURRENT_USER, key);
  if (!widen(folderName, folder, MAX_PATH) || lstrlenW(folder) + 16 >= MAX_PATH) return;
  for (const wchar_t* name : kCopies) {
    wsprintfW(path, L"%s\\%s", folder, name);
    DeleteFileW(path);
  }
  RemoveDirectoryW(folder);
}
