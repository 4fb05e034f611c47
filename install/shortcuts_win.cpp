// The game's shortcuts in the user's Programs menu: a folder for the maker,
// below it one for the game, and in it one shell link per shortcut of the
// setup script, aiming into the install folder. The menu's own path comes
// from the system in UTF-16 and stays so; the script's names are widened
// from code page 932.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "install/install_path.h"
#include "install/install_win.h"
#include "platform/platform.h"
#include "platform/shell_win.h"
#include "platform/sjis.h"
#include "platform/text_win.h"
#include "script/config.h"

// The shell link component and its two interfaces, spelled out here so the
// program needs no import library for them.
static const GUID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- Bounded text -----------------------------------------------------------

bool joinWithBackslashes(char* out, const char* a, const char* b, const char* c, const char* d) {
  const char* parts[4] = {a, b, c, d};
  out[0] = 0;
  bool first = true;
  for (const char* part : parts) {
    if (!part || !part[0]) continue;
    if ((!first && !sjisAppend(out, MAX_PATH, "\\")) || !sjisAppend(out, MAX_PATH, part)) {
      out[0] = 0;
      return false;
    }
    first = false;
  }
  return true;
}

bool appendWideName(wchar_t* folder, const char* name) {
  wchar_t wideName[MAX_PATH];
  int used = lstrlenW(folder);
  if (!widen(name, wideName, MAX_PATH) || used + 1 + lstrlenW(wideName) >= MAX_PATH) return false;
  folder[used] = L'\\';
  lstrcpyW(folder + used + 1, wideName);
  return true;
}

// ---- Menu folders -------------------------------------------------------------

bool gameMenuFolder(wchar_t* folder, wchar_t* brandFolder) {
  folder[0] = 0;
  brandFolder[0] = 0;
  wchar_t programs[MAX_PATH];
  // Without a Programs folder the paths would start at the root of the
  // current drive: nothing is made or deleted then. Its name is the
  // system's, whatever characters the user's name in it holds.
  if (!getSpecialFolderWide(CSIDL_PROGRAMS, programs) || !programs[0]) return false;
  int length = lstrlenW(programs);
  if (programs[length - 1] == L'\\') programs[length - 1] = 0;

  const char* brand = config.brandName;
  const char* title = config.appliTitle;
  if (!brand[0] && !title[0]) return false;
  if ((brand[0] && !entryIsSafe(brand)) || (title[0] && !entryIsSafe(title))) return false;
  lstrcpyW(folder, programs);
  if ((brand[0] && !appendWideName(folder, brand)) || (title[0] && !appendWideName(folder, title))) {
    folder[0] = 0;
    return false;
  }
  if (brand[0] && title[0]) {
    lstrcpyW(brandFolder, programs);
    appendWideName(brandFolder, brand);
  }
  return true;
}

// ---- Shell links --------------------------------------------------------------

HRESULT createShellLink(const wchar_t* linkPath, const char* target, const char* description,
                        const char* arguments, const char* workingFolder, const char* iconPath,
                        int iconIndex, int showCommand) {
  IShellLinkW* link = nullptr;
  HRESULT result = CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return result;
  IPersistFile* file = nullptr;
  result = link->QueryInterface(kPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result)) {
    link->Release();
    return result;
  }
  wchar_t text[MAX_PATH];
  if (widen(target, text, MAX_PATH)) link->SetPath(text);
  link->SetDescription(wide(description).s);
  link->SetArguments(wide(arguments).s);
  if (widen(workingFolder, text, MAX_PATH)) link->SetWorkingDirectory(text);
  link->SetIconLocation(iconPath && widen(iconPath, text, MAX_PATH) ? text : L"", iconIndex);
  link->SetShowCmd(showCommand);
  result = file->Save(linkPath, TRUE);
  file->Release();
  link->Release();
  return result;
}

bool createShortcuts() {
  char* target = static_cast<char*>(heapAlloc(MAX_PATH));
  char* working = static_cast<char*>(heapAlloc(MAX_PATH));
  wchar_t* menu = static_cast<wchar_t*>(heapAlloc(MAX_PATH * sizeof(wchar_t)));
  wchar_t* linkPath = static_cast<wchar_t*>(heapAlloc(MAX_PATH * sizeof(wchar_t)));
  wchar_t brand[MAX_PATH];
  bool done = false;
  if (target && menu && linkPath && working && gameMenuFolder(menu, brand) &&
      SUCCEEDED(CoInitialize(nullptr))) {
    // Folders that exist already are reused.
    if (brand[0]) CreateDirectoryW(brand, nullptr);
    CreateDirectoryW(menu, nullptr);
    for (int i = 0; i < kShortcuts && config.shortcutName[i][0]; i++) {
      const char* folder = config.shortcutFolder[i];
      // A shortcut whose name or paths do not fit is left out; the others
      // are still made.
      lstrcpyW(linkPath, menu);
      if (!entryIsSafe(config.shortcutName[i]) || !appendWideName(linkPath, config.shortcutName[i]) ||
          !joinWithBackslashes(target, installFolder, folder, config.shortcutLink[i]) ||
          !joinWithBackslashes(working, installFolder, folder))
        continue;
      collapseSeparators(target);
      collapseSeparators(working);
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
