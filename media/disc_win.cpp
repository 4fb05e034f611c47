// Disc location on Windows: the drives, their MCI CD-audio devices, files
// and folders the search of disc.cpp asks about, the insert-disc (111) and
// select-drive (112) dialogs with the system's folder browser, and the drive
// descriptions from the registry. Text literals are compiled to code page 932.
#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>

#include "platform/sjis.h"
#include "platform/text_win.h"
#include "platform/winmm_win.h"

#include "media/disc.h"
#include "platform/platform.h"

enum {
  kInsertDiscDialog = 111,
  kSelectDriveDialog = 112,
  kForceRun = 3,
  kDiscNameText = 1015,
  kDriveList = 1016,
  kDriveStringsSize = 260,
  // Item data of the select-drive list's entry that opens the folder browser.
  kFolderEntry = 0x100,
};

// The texts of the drives other than CD-ROM drives, and of the folder entry,
// in the select-drive list; the browser's instruction.
static const char kFixedDrive[] = "ハードディスク";
static const char kRemovableDrive[] = "リムーバブルディスク";
static const char kRemoteDrive[] = "ネットワークドライブ";
static const char kFolderEntryText[] = "フォルダを指定する...";
static const wchar_t kBrowseTitle[] = L"ＣＤの内容をコピーしたフォルダを選択してください";

// ---- Probing ----------------------------------------------------------------

// Whether the MCI CD-audio device of the drive reports a medium; unknown
// when there is no such device for the drive (an image mounted by Windows
// is a drive with data tracks only).
static MediumState mediumOf(char letter) {
  wchar_t element[3] = {static_cast<wchar_t>(letter), L':', 0};
  MCI_OPEN_PARMSW open;
  ZeroMemory(&open, sizeof open);
  open.lpstrDeviceType = L"cdaudio";
  open.lpstrElementName = element;
  if (mciCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open)))
    return kMediumUnknown;
  MCI_STATUS_PARMS status;
  ZeroMemory(&status, sizeof status);
  status.dwItem = MCI_STATUS_MEDIA_PRESENT;
  if (mciCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)))
    status.dwReturn = 0;
  mciCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
  return status.dwReturn != 0 ? kMediumPresent : kMediumAbsent;
}

static DriveKind kindOfDrive(const wchar_t* root) {
  switch (GetDriveTypeW(root)) {
    case DRIVE_CDROM: return kDriveCdrom;
    case DRIVE_FIXED: return kDriveFixed;
    case DRIVE_REMOVABLE: return kDriveRemovable;
    case DRIVE_REMOTE: return kDriveRemote;
    default: return kDriveOther;
  }
}

// The system's side of the search.
class WindowsDiscs final : public DiscSystem {
 public:
  int drives(char* letters, DriveKind* kinds, int max) override {
    wchar_t strings[kDriveStringsSize];
    ZeroMemory(strings, sizeof strings);
    DWORD length = GetLogicalDriveStringsW(kDriveStringsSize - 1, strings);
    if (length == 0 || length >= kDriveStringsSize) return 0;
    int n = 0;
    for (const wchar_t* root = strings; *root && n < max; root += lstrlenW(root) + 1) {
      if (root[0] >= 0x80 || driveNumberOfLetter(static_cast<char>(root[0])) == 0) continue;
      letters[n] = static_cast<char>(root[0] & ~0x20);
      kinds[n++] = kindOfDrive(root);
    }
    return n;
  }

  MediumState medium(char letter) override { return mediumOf(letter); }

  bool fileExists(const char* path) override {
    wchar_t name[MAX_PATH];
    if (!widen(path, name, MAX_PATH)) return false;
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return false;
    CloseHandle(file);
    return true;
  }

  void eachFolder(const char* root, void (*visit)(void*, const char*), void* context) override {
    char pattern[MAX_PATH];
    wchar_t widePattern[MAX_PATH];
    if (!sjisJoin(pattern, MAX_PATH, root, "*") || !widen(pattern, widePattern, MAX_PATH)) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(widePattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      if (!lstrcmpW(found.cFileName, L".") || !lstrcmpW(found.cFileName, L"..")) continue;
      char name[MAX_PATH];
      // A name code page 932 cannot write is no folder the program could read from.
      if (narrow(found.cFileName, name, MAX_PATH)) visit(context, name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
};

int probeDisc(const char* keyFileName) {
  WindowsDiscs system;
  char root[kDiscRootSize];
  return findDisc(system, keyFileName, "", root, sizeof root) ? driveOfRoot(root) : 0;
}

// discRoot and cdDrive become `root`.
static void takeRoot(const char* root) {
  lstrcpynA(discRoot, root, kDiscRootSize);
  cdDrive = static_cast<uint8_t>(driveOfRoot(root));
}

bool locateDisc(const char* keyFileName) {
  WindowsDiscs system;
  char root[kDiscRootSize];
  if (!findDisc(system, keyFileName, startRoot, root, sizeof root)) return false;
  takeRoot(root);
  return true;
}

// ---- Drive descriptions -----------------------------------------------------

// Reads a string value into a zero-filled buffer of `size` bytes, in code
// page 932; false when it is missing or has no code page 932 form.
static bool readText(HKEY key, const wchar_t* value, char* buffer, DWORD size) {
  ZeroMemory(buffer, size);
  wchar_t text[MAX_PATH + 1];
  ZeroMemory(text, sizeof text);
  DWORD bytes = MAX_PATH * sizeof(wchar_t);
  return RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS &&
         narrow(text, buffer, size);
}

// Opens a key named in code page 932.
static bool openKey(HKEY parent, const char* name, REGSAM access, HKEY* key) {
  wchar_t wideName[2 * MAX_PATH];
  return widen(name, wideName, 2 * MAX_PATH) && RegOpenKeyExW(parent, wideName, 0, access, key) == ERROR_SUCCESS;
}

static char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

static bool sameLetter(char a, char b) { return upper(a) == upper(b); }

// True when `text` begins with the upper-case `prefix`, ignoring case.
static bool startsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix; text++, prefix++)
    if (upper(*text) != *prefix) return false;
  return true;
}

// Windows 95 family: the configuration manager's list of present devices,
// each pointing at its hardware key with class and drive letter.
static bool describe95(const char* driveRoot, char* name, char* data, char* entryOut) {
  HKEY enumKey;
  if (!openKey(HKEY_DYN_DATA, "Config Manager\\Enum", KEY_ENUMERATE_SUB_KEYS, &enumKey)) return false;
  bool found = false;
  for (DWORD index = 0; !found; index++) {
    wchar_t subkey[MAX_PATH], className[MAX_PATH];
    DWORD nameLength = MAX_PATH, classLength = MAX_PATH;
    if (RegEnumKeyExW(enumKey, index, subkey, &nameLength, nullptr, className, &classLength, nullptr) !=
        ERROR_SUCCESS)
      break;
    if (!narrow(subkey, name, MAX_PATH)) continue;
    char path[2 * MAX_PATH];
    wsprintfA(path, "%s\\%s", "Config Manager\\Enum", name);
    HKEY deviceKey;
    if (!openKey(HKEY_DYN_DATA, path, KEY_READ, &deviceKey)) continue;
    bool read = readText(deviceKey, L"HardWareKey", data, MAX_PATH);
    RegCloseKey(deviceKey);
    if (!read || !startsWithNoCase(data, "SCSI")) continue;
    wsprintfA(path, "Enum\\%s", data);
    HKEY hardwareKey;
    if (!openKey(HKEY_LOCAL_MACHINE, path, KEY_READ, &hardwareKey)) continue;
    if (readText(hardwareKey, L"Class", data, MAX_PATH) && startsWithNoCase(data, "CDROM") &&
        readText(hardwareKey, L"CurrentDriveLetterAssignment", name, MAX_PATH) && sameLetter(name[0], driveRoot[0])) {
      readText(hardwareKey, L"DeviceDesc", data, MAX_PATH);
      formatDriveEntry(entryOut, MAX_PATH, name, data);
      found = true;
    }
    RegCloseKey(hardwareKey);
  }
  RegCloseKey(enumKey);
  return found;
}

// Windows NT family: the mounted-device value of the drive letter names the
// device, whose enumeration key holds its friendly name.
static bool describeNt(const char* driveRoot, char* name, char* data, char* entryOut) {
  HKEY key;
  if (!openKey(HKEY_LOCAL_MACHINE, "System\\MountedDevices", KEY_READ, &key)) return false;
  wchar_t valueName[32];
  wsprintfW(valueName, L"\\DosDevices\\%c:", static_cast<wchar_t>(driveRoot[0]));
  WCHAR device[MAX_PATH / 2 + 1];
  ZeroMemory(device, sizeof device);
  DWORD bytes = MAX_PATH;
  LONG status = RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(device), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  device[bytes / sizeof(WCHAR) < MAX_PATH / 2 ? bytes / sizeof(WCHAR) : MAX_PATH / 2] = 0;
  if (!narrow(device, data, MAX_PATH)) return false;
  if (!enumKeyFromDevicePath(data, name, MAX_PATH)) return false;
  if (!openKey(HKEY_LOCAL_MACHINE, name, KEY_READ, &key)) return false;
  bool read = readText(key, L"FriendlyName", data, MAX_PATH);
  RegCloseKey(key);
  if (!read) return false;
  char letter[2] = {driveRoot[0], 0};
  formatDriveEntry(entryOut, MAX_PATH, letter, data);
  return true;
}

int describeCdDrive(const char* driveRoot, char* entryOut) {
  char* work = static_cast<char*>(heapAlloc(2 * MAX_PATH));
  if (!work) return 0;
  char* name = work;
  char* data = work + MAX_PATH;
  OSVERSIONINFOW version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  bool described = false;
  if (GetVersionExW(&version)) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
      described = describe95(driveRoot, name, data, entryOut);
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
      described = describeNt(driveRoot, name, data, entryOut);
  }
  if (!described) formatDriveEntry(entryOut, MAX_PATH, driveRoot, nullptr);
  heapFree(work);
  return 1;
}

// ---- Dialogs ----------------------------------------------------------------

// The prompt that is open (dialog 111 or 112), and whether the prompt was
// cancelled from outside (cancelDiscPrompt).
static HWND openPrompt;
static bool promptCancelled;
static const char* promptDiscName = "";  // the disc the open prompt asks for

void cancelDiscPrompt() {
  promptCancelled = true;
  if (openPrompt) PostMessageW(openPrompt, WM_COMMAND, IDCANCEL, 0);
}

static INT_PTR CALLBACK insertDiscDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    openPrompt = dialog;
    char* text = static_cast<char*>(heapAlloc(1024));
    if (text) {
      wsprintfA(text, "『%s』", promptDiscName);
      SetDlgItemTextW(dialog, kDiscNameText, wide(text).s);
      heapFree(text);
    }
    if (promptCancelled) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  if (message == WM_COMMAND && (wParam == IDOK || wParam == IDCANCEL || wParam == kForceRun)) {
    EndDialog(dialog, static_cast<INT_PTR>(wParam));
    return TRUE;
  }
  return FALSE;
}

// The place OK in the select-drive list chose: a drive's root, or the
// folder picked in the browser.
static char chosenRoot[kDiscRootSize];

// What the folder browser passes to its callback: where it opens, and a
// path typed into its edit box that the browser itself did not take.
struct Browse {
  wchar_t openAt[MAX_PATH];
  wchar_t typed[MAX_PATH];
};

static int CALLBACK browseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
  Browse* browse = reinterpret_cast<Browse*>(data);
  if (message == BFFM_INITIALIZED && browse->openAt[0])
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(browse->openAt));
  if (message == BFFM_VALIDATEFAILEDW) {
    lstrcpynW(browse->typed, reinterpret_cast<const wchar_t*>(lParam), MAX_PATH);
    return 0;  // ends the browser; the path is looked at below
  }
  return 0;
}

// The system's folder browser, opened at the folder the set lies in; true
// with the chosen folder's root in chosenRoot.
static bool browseForFolder(HWND owner) {
  Browse* browse = static_cast<Browse*>(heapAlloc(sizeof(Browse)));
  if (!browse) return false;
  char open[kDiscRootSize], name[kDiscRootSize];
  if (startRoot[0]) {
    if (!parentRootOf(startRoot, open, sizeof open, name, sizeof name))
      lstrcpynA(open, startRoot, kDiscRootSize);
    if (!driveOfRoot(open)) sjisDropLastOf(open, "\\");
    widen(open, browse->openAt, MAX_PATH);
  }
  wchar_t display[MAX_PATH];
  BROWSEINFOW info;
  ZeroMemory(&info, sizeof info);
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX | BIF_VALIDATE;
  info.lpfn = browseCallback;
  info.lParam = reinterpret_cast<LPARAM>(browse);
  bool comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  LPITEMIDLIST items = SHBrowseForFolderW(&info);
  wchar_t path[MAX_PATH];
  path[0] = 0;
  if (items) {
    if (!SHGetPathFromIDListW(items, path)) path[0] = 0;
    CoTaskMemFree(items);
  } else if (browse->typed[0]) {
    // A full path typed into the edit box, naming a folder that exists.
    DWORD attributes = GetFileAttributesW(browse->typed);
    bool full =
        browse->typed[1] == L':' || (browse->typed[0] == L'\\' && browse->typed[1] == L'\\');
    if (full && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      lstrcpyW(path, browse->typed);
  }
  if (comReady) CoUninitialize();
  heapFree(browse);
  char folder[MAX_PATH];
  return path[0] && narrow(path, folder, MAX_PATH) && discRootOf(chosenRoot, kDiscRootSize, folder);
}

// Adds an entry to the list with its item data; its index.
static LRESULT addEntry(HWND list, const char* entry, LPARAM data) {
  LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).s));
  if (index >= 0) SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
  return index;
}

// Fills the list: the CD-ROM drives; for a program started from a folder
// also the other drives and the entry that opens the folder browser. The
// first CD-ROM drive is selected.
static void fillDriveList(HWND list) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  WindowsDiscs system;
  char letters[26];
  DriveKind kinds[26];
  int count = system.drives(letters, kinds, 26);
  for (int i = 0; i < count; i++) {
    char root[4] = {letters[i], ':', '\\', 0};
    char entry[MAX_PATH];
    if (kinds[i] == kDriveCdrom) {
      if (describeCdDrive(root, entry)) addEntry(list, entry, 0);
      continue;
    }
    const char* text = kinds[i] == kDriveFixed       ? kFixedDrive
                       : kinds[i] == kDriveRemovable ? kRemovableDrive
                       : kinds[i] == kDriveRemote    ? kRemoteDrive
                                                     : nullptr;
    if (!startRoot[0] || !text) continue;
    char letter[2] = {letters[i], 0};
    formatDriveEntry(entry, MAX_PATH, letter, text);
    addEntry(list, entry, static_cast<LPARAM>(letters[i]));
  }
  if (startRoot[0]) addEntry(list, kFolderEntryText, kFolderEntry);
  // The sorted list keeps the entries in letter order; the selection starts
  // on the first CD-ROM drive.
  LRESULT items = SendMessageW(list, CB_GETCOUNT, 0, 0), selected = 0;
  for (LRESULT i = 0; i < items; i++)
    if (SendMessageW(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == 0) {
      selected = i;
      break;
    }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// The choice of the selected entry into chosenRoot; 1 when there is one.
// Stays in the dialog (-1) when the folder browser was cancelled.
static int chooseEntry(HWND dialog) {
  HWND list = GetDlgItem(dialog, kDriveList);
  LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return 0;
  LRESULT data = SendMessageW(list, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
  if (data == kFolderEntry) return browseForFolder(dialog) ? 1 : -1;
  int drive = 0;
  if (data > 0 && data < 0x80) {
    drive = driveNumberOfLetter(static_cast<char>(data));
  } else {
    wchar_t entry[MAX_PATH];
    ZeroMemory(entry, sizeof entry);
    if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0) < MAX_PATH)
      SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                   reinterpret_cast<LPARAM>(entry));
    // Entries read "[-D-] ...": the letter is the third character.
    if (entry[0] && entry[2] < 0x80) drive = driveNumberOfLetter(static_cast<char>(entry[2]));
  }
  if (drive == 0) return 0;
  char root[4] = {static_cast<char>('A' + drive - 1), ':', '\\', 0};
  lstrcpyA(chosenRoot, root);
  return 1;
}

static INT_PTR CALLBACK selectDriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    openPrompt = dialog;
    fillDriveList(GetDlgItem(dialog, kDriveList));
    if (promptCancelled) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == IDOK) {
    int chosen = chooseEntry(dialog);
    if (chosen >= 0 || promptCancelled) EndDialog(dialog, chosen > 0 ? 1 : 0);
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == IDCANCEL) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

int requestDisc(void* owner, uint32_t discNumber, const char* keyFile, const char* discName) {
  // A number beyond the disc table comes without names and, like 0, names
  // no disc.
  if (discNumber == 0 || !keyFile || !discName) return 0;
  promptDiscName = discName;
  HINSTANCE module = GetModuleHandleW(nullptr);
  promptCancelled = false;
  bool found = locateDisc(keyFile);
  while (!found) {
    promptDiscIndex = static_cast<int32_t>(discNumber - 1);
    INT_PTR pressed = DialogBoxParamW(module, MAKEINTRESOURCEW(kInsertDiscDialog), static_cast<HWND>(owner),
                                      insertDiscDialogProc, 0);
    openPrompt = nullptr;
    if (pressed == kForceRun && !promptCancelled) {
      // The chosen drive or folder is trusted without probing.
      INT_PTR chosen = DialogBoxParamW(module, MAKEINTRESOURCEW(kSelectDriveDialog),
                                       static_cast<HWND>(owner), selectDriveDialogProc, 0);
      openPrompt = nullptr;
      if (chosen == 1 && !promptCancelled) {
        takeRoot(chosenRoot);
        return 1;
      }
    } else if (pressed != IDOK) {
      return 0;  // Cancel, the close box, or a dialog that could not be shown
    }
    if (promptCancelled) return 0;
    found = locateDisc(keyFile);
  }
  return 1;
}
