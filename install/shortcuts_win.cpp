// The game's shortcuts in the user's Programs menu: a folder for the maker,
// below it one for the game, and in it one shell link per shortcut of the
// setup script, aiming into the install folder.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "app/shell.h"
#include "install/copy_walk.h"
#include "install/install_win.h"
#include "platform/platform.h"
#include "script/config.h"

// The shell link component and its two interfaces, spelled out here so the
// program needs no import library for them.
static const GUID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- Bounded text -----------------------------------------------------------

bool appendBounded(char* out, size_t size, const char* text) {
  size_t used = static_cast<size_t>(lstrlenA(out));
  size_t length = static_cast<size_t>(lstrlenA(text));
  if (used + length >= size) return false;
  CopyMemory(out + used, text, length + 1);
  return true;
}

bool joinWithBackslashes(char* out, const char* a, const char* b, const char* c, const char* d) {
  const char* parts[4] = {a, b, c, d};
  out[0] = 0;
  bool first = true;
  for (const char* part : parts) {
    if (!part || !part[0]) continue;
    if ((!first && !appendBounded(out, MAX_PATH, "\\")) || !appendBounded(out, MAX_PATH, part)) {
      out[0] = 0;
      return false;
    }
    first = false;
  }
  return true;
}

// ---- Menu folders -------------------------------------------------------------

bool gameMenuFolder(char* folder, char* brandFolder) {
  folder[0] = 0;
  brandFolder[0] = 0;
  char programs[MAX_PATH];
  ZeroMemory(programs, sizeof programs);
  // Without a Programs folder the paths would start at the root of the
  // current drive: nothing is made or deleted then.
  if (!getSpecialFolder(CSIDL_PROGRAMS, programs) || !programs[0]) return false;
  int length = lstrlenA(programs);
  if (programs[length - 1] == '\\') programs[length - 1] = 0;

  const char* brand = config.brandName;
  const char* title = config.appliTitle;
  if (!brand[0] && !title[0]) return false;
  if ((brand[0] && !entryIsSafe(brand)) || (title[0] && !entryIsSafe(title))) return false;
  if (!joinWithBackslashes(folder, programs, brand, title)) return false;
  if (brand[0] && title[0] && !joinWithBackslashes(brandFolder, programs, brand)) {
    folder[0] = 0;
    return false;
  }
  return true;
}

// ---- Shell links --------------------------------------------------------------

HRESULT createShellLink(const char* linkPath, const char* target, const char* description,
                        const char* arguments, const char* workingFolder, const char* iconPath,
                        int iconIndex, int showCommand) {
  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return result;
  IPersistFile* file = nullptr;
  result = link->QueryInterface(kPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result)) {
    link->Release();
    return result;
  }
  link->SetPath(target);
  link->SetDescription(description);
  link->SetArguments(arguments);
  link->SetWorkingDirectory(workingFolder);
  link->SetIconLocation(iconPath ? iconPath : "", iconIndex);
  link->SetShowCmd(showCommand);

  WCHAR widePath[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0)
    result = E_FAIL;  // longer than a path may be
  else
    result = file->Save(widePath, TRUE);
  file->Release();
  link->Release();
  return result;
}

bool createShortcuts() {
  char* target = static_cast<char*>(heapAlloc(MAX_PATH));
  char* menu = static_cast<char*>(heapAlloc(MAX_PATH));
  char* linkPath = static_cast<char*>(heapAlloc(MAX_PATH));
  char* working = static_cast<char*>(heapAlloc(MAX_PATH));
  char brand[MAX_PATH];
  bool done = false;
  if (target && menu && linkPath && working && gameMenuFolder(menu, brand) &&
      SUCCEEDED(CoInitialize(nullptr))) {
    // Folders that exist already are reused.
    if (brand[0]) CreateDirectoryA(brand, nullptr);
    CreateDirectoryA(menu, nullptr);
    for (int i = 0; i < kShortcuts && config.shortcutName[i][0]; i++) {
      const char* folder = config.shortcutFolder[i];
      // A shortcut whose name or paths do not fit is left out; the others
      // are still made.
      if (!entryIsSafe(config.shortcutName[i]) ||
          !joinWithBackslashes(linkPath, menu, config.shortcutName[i]) ||
          !joinWithBackslashes(target, installFolder, folder, config.shortcutLink[i]) ||
          !joinWithBackslashes(working, installFolder, folder))
        continue;
      createShellLink(linkPath, target, config.shortcutLabel[i], config.shortcutParam[i], working, nullptr, 0,
                      SW_SHOWNORMAL);
    }
    CoUninitialize();
    done = true;
  }
  heapFree(target);
  heapFree(menu);
  heapFree(linkPath);
  heapFree(working);
  return done;
}
