// The install options dialog (101): up to three install sizes with the disk
// space each needs, the destination folder with a browse button, the logo,
// and the check of the chosen drive and its free space, with the free-space
// warning (113). Leaves installOption and installFolder for the install
// window. Text literals are compiled to code page 932.
#include <windows.h>
#include <shlobj.h>

#include "gfx/surface_win.h"
#include "install/install_win.h"
#include "platform/platform.h"
#include "platform/shell_win.h"
#include "platform/sjis.h"
#include "platform/text_win.h"
#include "script/config.h"

enum {
  kStartButton = 1,
  kCancelButton = 2,
  kFolderEdit = 1000,
  kBrowseButton = 1001,
  kFirstChoice = 1002,  // 1002, 1003, 1004
  kFolderText = 1011,
  kSpaceWarningDialog = 113,
  kBackButton = 1,
  kLogoLeft = 12,
  kLogoTop = 12,
  kLogoWidth = 400,
  kLogoHeight = 98,
};

static const uint32_t kChoiceBits[kOptionTitles] = {8, 4, 2};

static const char kDriveUnknown[] = "インストール先のドライブが不明です。再度入力して下さい。";
static const char kDriveInvalid[] = "インストール先のドライブが不正です。再度入力して下さい。";
// The folder joined with the game's own folder would not fit in a path.
static const char kPathTooLong[] = "インストール先のパスが長すぎます。再度入力して下さい。";
// The folder joined with the game's own folder is a drive itself ("C:\\").
static const char kFolderInvalid[] = "インストール先のフォルダが不正です。再度入力して下さい。";
// A folder name with a character code page 932 cannot write, which the
// install record and the script's names cannot hold.
static const char kFolderUnwritable[] = "インストール先のフォルダ名に使えない文字が含まれています。再度入力して下さい。";
// A folder this process may not make (below the program files folder for a
// player without administrator rights, a read-only drive).
static const char kNoWriteAccess[] =
    "指定されたフォルダに書き込む権限がありません。別のフォルダを指定して下さい。";

static Surface* logoSurface = nullptr;

// ---- Labels -------------------------------------------------------------------

// The disk space a choice needs, in whole megabytes rounded down, plus one:
// never 0, and a size of exactly n MB shows n + 1.
static uint32_t choiceMegabytes(uint32_t bits) {
  return static_cast<uint32_t>(selectedByteTotal(-1, bits) / 1048576u + 1);
}

// A number in decimal without leading zeros; `out` holds 11 bytes.
static void formatDecimal(uint32_t value, char* out) {
  char digits[11];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  for (int i = 0; i < n; i++) out[i] = digits[n - 1 - i];
  out[n] = 0;
}

static void labelChoices(HWND dialog) {
  for (int k = 0; k < kOptionTitles; k++) {
    HWND button = GetDlgItem(dialog, kFirstChoice + k);
    if (config.optionTitle[k][0]) {
      char size[11], label[kTextSize + 32];
      formatDecimal(choiceMegabytes(kChoiceBits[k]), size);
      wsprintfA(label, "%s ( %sMB)", config.optionTitle[k], size);
      SetWindowTextW(button, wide(label).s);
    } else if (k > 0) {
      // A choice the script does not offer: out of sight and unticked.
      SendMessageW(button, BM_SETCHECK, BST_INDETERMINATE, 0);
      ShowWindow(button, SW_HIDE);
    }
  }
}

// ---- Start-up -------------------------------------------------------------------

// False when the logo cannot be shown; the dialog then ends with Exit.
static bool initOptions(HWND dialog) {
  char text[kTextSize + 96];
  wsprintfA(text, "%s のインストール設定", config.appliTitle);
  SetWindowTextW(dialog, wide(text).s);
  labelChoices(dialog);
  wsprintfA(text, "インストール先の指定\r\n\r\n（指定場所に %s フォルダを作成し、そこにインストールします。）",
            config.mustMakeFolder);
  SetDlgItemTextW(dialog, kFolderText, wide(text).s);

  CheckDlgButton(dialog, kFirstChoice, BST_CHECKED);
  SetDlgItemTextW(dialog, kFolderEdit, wide(programFilesFolder).s);
  installOption = kChoiceBits[0];

  // Always exactly 400 x 98 pixels, whatever size the file claims.
  logoSurface = createPictureSurface(dialog, kLogoLeft, kLogoTop, kLogoWidth, kLogoHeight, "LOGO.EPA");
  return logoSurface != nullptr;
}

// ---- Browse ---------------------------------------------------------------------

static void complain(HWND dialog, const char* text) {
  MessageBoxW(dialog, wide(text).s, wide(config.appliTitle).s, MB_OK);
}

// A folder name from the system as code page 932 in `out` (MAX_PATH
// bytes); null when that went, else the message that says why not: a
// character code page 932 cannot write, or a path too long to hold.
static const char* narrowFolder(const wchar_t* name, char* out) {
  if (narrow(name, out, MAX_PATH)) return nullptr;
  BOOL replaced = FALSE;
  int bytes =
      WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0, nullptr, &replaced);
  return bytes <= 0 || replaced ? kFolderUnwritable : kPathTooLong;
}

// Drops one trailing backslash that is a character of its own (never the
// second byte of a final ソ), but not the one of a drive's root: "D:\\"
// stays, since "D:" names whatever folder is current on D:.
static void dropTrailingSeparator(char* folder) {
  char copy[MAX_PATH];
  lstrcpynA(copy, folder, MAX_PATH);
  sjisDropLastOf(copy, "\\");
  int length = lstrlenA(copy);
  if (length == 2 && copy[1] == ':') return;
  lstrcpyA(folder, copy);
}

static void browseForFolder(HWND dialog) {
  // The folder browser is a COM object of the shell's: COM must be ready on
  // this thread first.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) {
    if (SUCCEEDED(com)) CoUninitialize();
    return;
  }
  wchar_t displayName[MAX_PATH];
  BROWSEINFOW browse;
  ZeroMemory(&browse, sizeof browse);
  browse.hwndOwner = dialog;
  browse.pszDisplayName = displayName;
  browse.lpszTitle = L"インストール先フォルダの指定";
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
  wchar_t path[MAX_PATH];
  char folder[MAX_PATH];
  if (chosen && SHGetPathFromIDListW(chosen, path)) {
    if (const char* problem = narrowFolder(path, folder)) {
      complain(dialog, problem);
    } else {
      lstrcpyA(programFilesFolder, folder);
      dropTrailingSeparator(programFilesFolder);
      // The game's folder name follows the chosen folder directly here; the
      // confirmation builds the final path again with a backslash between.
      char joined[MAX_PATH];
      lstrcpyA(joined, programFilesFolder);
      if (sjisAppend(joined, MAX_PATH, config.mustMakeFolder)) lstrcpyA(installFolder, joined);
      SetDlgItemTextW(dialog, kFolderEdit, wide(programFilesFolder).s);
    }
  }
  if (chosen) allocator->Free(chosen);
  allocator->Release();
  if (SUCCEEDED(com)) CoUninitialize();
}

// ---- Confirmation -----------------------------------------------------------------

static INT_PTR CALLBACK spaceWarningDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND) {
    // "戻る" ends with 1; "強制実行", Escape and the close box (all id 2) with 0.
    if (LOWORD(wParam) == kBackButton) {
      EndDialog(dialog, 1);
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      EndDialog(dialog, 0);
      return TRUE;
    }
  }
  return FALSE;
}

// Checks the folder text and the room on its drive; true when the install
// may start (installFolder is then set).
static bool confirmOptions(HWND dialog) {
  // Read with room to spare: a text the buffer would cut is too long, not
  // a shorter folder.
  wchar_t typed[2 * MAX_PATH];
  int typedLength = GetDlgItemTextW(dialog, kFolderEdit, typed, 2 * MAX_PATH);
  char folderText[MAX_PATH];
  const char* problem = typedLength >= MAX_PATH ? kPathTooLong : narrowFolder(typed, folderText);
  if (problem) {
    complain(dialog, problem);
    return false;
  }
  lstrcpyA(programFilesFolder, folderText);

  // The drive component: a letter and a colon. Only a full path from the
  // drive's root is taken: a relative path, a network path and "C:Games"
  // (relative to whatever folder is current on C:) would put the game
  // somewhere the player did not choose.
  const char* text = programFilesFolder;
  bool letter = (text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z');
  if (!letter || text[1] != ':' || (text[2] != '\\' && text[2] != '/')) {
    complain(dialog, kDriveUnknown);
    return false;
  }
  wchar_t root[4] = {static_cast<wchar_t>(text[0]), L':', L'\\', 0};

  uint64_t needed = selectedByteTotal(-1, installOption);
  ULARGE_INTEGER available;
  // No error box for a drive without a medium: the query simply fails.
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  BOOL known = GetDiskFreeSpaceExW(root, &available, nullptr, nullptr);
  SetErrorMode(previousMode);
  if (!known) {
    complain(dialog, kDriveInvalid);
    return false;
  }
  if (needed > available.QuadPart &&
      DialogBoxParamW(instance, MAKEINTRESOURCEW(kSpaceWarningDialog), dialog, spaceWarningDialogProc, 0) != 0)
    return false;  // "戻る", or the warning could not be shown

  // One trailing backslash goes: a backslash that is a character of its
  // own, never the second byte of a final ソ.
  char folder[MAX_PATH];
  lstrcpyA(folder, programFilesFolder);
  sjisDropLastOf(folder, "\\");
  char joined[MAX_PATH];
  if (!joinWithBackslashes(joined, folder, config.mustMakeFolder)) {
    complain(dialog, kPathTooLong);
    return false;
  }
  if (!folderIsUsable(joined)) {
    complain(dialog, kFolderInvalid);
    return false;
  }
  if (!folderIsWritable(joined)) {
    complain(dialog, kNoWriteAccess);
    return false;
  }
  lstrcpyA(installFolder, joined);
  return true;
}

// ---- Procedure --------------------------------------------------------------------

INT_PTR CALLBACK installOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      if (!initOptions(dialog)) {
        appState = Exit;
        EndDialog(dialog, 0);
        return FALSE;
      }
      return TRUE;  // focus on the start button

    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(dialog, &paint);
      if (logoSurface) presentSurface(dialog, logoSurface);
      EndPaint(dialog, &paint);
      return TRUE;
    }

    case WM_COMMAND: {
      WORD id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED && HIWORD(wParam) != 1) return FALSE;
      if (id >= kFirstChoice && id < kFirstChoice + kOptionTitles) {
        installOption = kChoiceBits[id - kFirstChoice];
      } else if (id == kBrowseButton) {
        browseForFolder(dialog);
      } else if (id == kStartButton) {
        if (confirmOptions(dialog)) EndDialog(dialog, 0);  // appState stays Install
      } else if (id == kCancelButton) {
        appState = Launcher;
        EndDialog(dialog, 0);
      }
      return TRUE;
    }

    case WM_DESTROY:
      destroySurface(logoSurface);
      logoSurface = nullptr;
      return FALSE;
  }
  return FALSE;
}
