// The uninstall dialog (109): removes the installed game (optionally with
// its save data), its Programs-menu shortcuts and folders and its install
// record, then tells the player whether anything was left behind. Text
// literals are compiled to code page 932.
#include <windows.h>

#include "install/install_path.h"
#include "install/install_win.h"
#include "install/removal.h"
#include "platform/shell_win.h"
#include "platform/text_win.h"
#include "script/config.h"
#include "uninstall/uninstall_entry.h"
#include "uninstall/uninstall_win.h"

enum {
  kRunButton = 1,
  kCancelButton = 2,
  kSaveDataBox = 1009,
};

static const char kRemovedAll[] = "アンインストールが正常に終了しました。";
static const char kRemovedMost[] =
    "アンインストールは正常に終了しました。\r\nファイルやフォルダが残っている場合は、お手数ですが手動で削除して下さい。";

bool removeShortcuts() {
  wchar_t menu[MAX_PATH], brand[MAX_PATH], link[MAX_PATH];
  if (!gameMenuFolder(menu, brand)) return false;
  bool result = true;
  for (int i = 0; i < kShortcuts && config.shortcutName[i][0]; i++) {
    // A shortcut the player deleted already counts as not removed.
    lstrcpyW(link, menu);
    if (!entryIsSafe(config.shortcutName[i]) || !appendWideName(link, config.shortcutName[i]) ||
        !DeleteFileW(link))
      result = false;
  }
  if (!RemoveDirectoryW(menu)) result = false;
  if (brand[0]) RemoveDirectoryW(brand);  // may hold the maker's other games
  return result;
}

// Deletes a key with every key below it (RegDeleteKeyW refuses a key that
// has subkeys, which the game may have made under its record). True when
// the key is gone.
static bool deleteKeyTree(HKEY parent, const wchar_t* name, int depth = 0) {
  HKEY key;
  if (depth < 32 &&
      RegOpenKeyExW(parent, name, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE, &key) ==
          ERROR_SUCCESS) {
    // Always the first subkey: each is gone (or stays, and ends the loop)
    // before the next is asked for.
    wchar_t sub[256];
    for (;;) {
      DWORD length = 256;
      if (RegEnumKeyExW(key, 0, sub, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      if (!deleteKeyTree(key, sub, depth + 1)) break;
    }
    RegCloseKey(key);
  }
  LONG result = RegDeleteKeyW(parent, name);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// The saves a game without a manifest of its own wrote while it ran from
// below the program files folder: Windows put them into the player's
// VirtualStore folder, where they go with the save data as well.
static bool removeVirtualizedSaveData() {
  char store[MAX_PATH];
  if (!virtualStoreFolder(store)) return false;
  return !store[0] || removeMovedSaveData(store, installFolder);
}

static void uninstallGame(HWND dialog) {
  int deleteSaveData = static_cast<int>(SendDlgItemMessageW(dialog, kSaveDataBox, BM_GETSTATE, 0, 0) & 3);
  // The entry in the system's list and the copies it starts go first, so
  // that their folder does not keep the install folder.
  removeUninstallEntry();
  bool filesRemoved = removeInstalledFiles(deleteSaveData);
  if (deleteSaveData && !removeVirtualizedSaveData()) filesRemoved = false;
  bool shortcutsRemoved = removeShortcuts();
  // An empty key name would name HKEY_CURRENT_USER itself.
  wchar_t key[MAX_PATH];
  if (config.regAddress[0] && widen(config.regAddress, key, MAX_PATH))
    deleteKeyTree(HKEY_CURRENT_USER, key);
  // The removal of the files takes the install folder with it when it is
  // empty; it counts as removed when it is gone by now, whoever took it.
  // An empty or relative folder (a damaged record) is not acted on.
  bool folderRemoved = false;
  wchar_t folder[MAX_PATH];
  if (folderIsUsable(installFolder) && widen(installFolder, folder, MAX_PATH))
    folderRemoved = RemoveDirectoryW(folder) || GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES;
  MessageBoxW(dialog, wide(filesRemoved && shortcutsRemoved && folderRemoved ? kRemovedAll : kRemovedMost).s,
              wide(config.appliTitle).s, MB_OK);
}

INT_PTR CALLBACK uninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      // Room for the longest title the script can give (63 bytes) and the
      // rest of the caption, so no title is cut.
      char caption[kTextSize + 32];
      wsprintfA(caption, "%s のアンインストール", config.appliTitle);
      SetWindowTextW(dialog, wide(caption).s);
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED && HIWORD(wParam) != 1) return FALSE;
      if (LOWORD(wParam) == kCancelButton) {
        appState = Launcher;
        EndDialog(dialog, 0);
        return TRUE;
      }
      if (LOWORD(wParam) == kRunButton) {
        uninstallGame(dialog);
        EndDialog(dialog, 0);  // appState stays Uninstall: the game is gone
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
