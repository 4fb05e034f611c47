// Disc location on Windows: probing the CD-ROM drives through the MCI
// CD-audio device and the key file, the insert-disc (111) and select-drive
// (112) dialogs, and the drive descriptions from the registry. Text literals
// are compiled to code page 932.
#include <windows.h>
#include <mmsystem.h>

#include "platform/sjis.h"
#include "platform/text_win.h"
#include "platform/winmm_win.h"

#include "media/disc.h"
#include "platform/platform.h"
#include "script/config.h"

enum {
  kInsertDiscDialog = 111,
  kSelectDriveDialog = 112,
  kForceRun = 3,
  kDiscNameText = 1015,
  kDriveList = 1016,
  kDriveStringsSize = 260,
};

// ---- Probing ----------------------------------------------------------------

// True when the MCI CD-audio device of the drive reports a medium.
static bool mediumPresent(char letter) {
  wchar_t element[3] = {static_cast<wchar_t>(letter), L':', 0};
  MCI_OPEN_PARMSW open;
  ZeroMemory(&open, sizeof open);
  open.lpstrDeviceType = L"cdaudio";
  open.lpstrElementName = element;
  if (mciCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open))) return false;
  MCI_STATUS_PARMS status;
  ZeroMemory(&status, sizeof status);
  status.dwItem = MCI_STATUS_MEDIA_PRESENT;
  if (mciCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)))
    status.dwReturn = 0;
  mciCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
  return status.dwReturn != 0;
}

// The CD-ROM drives' letters, in letter order; false when the system gives
// no list.
static bool cdromLetters(char* letters) {
  wchar_t drives[kDriveStringsSize];
  ZeroMemory(drives, sizeof drives);
  DWORD length = GetLogicalDriveStringsW(kDriveStringsSize - 1, drives);
  letters[0] = 0;
  if (length == 0 || length >= kDriveStringsSize) return false;
  int n = 0;
  for (const wchar_t* root = drives; *root; root += lstrlenW(root) + 1)
    if (root[0] < 0x80 && GetDriveTypeW(root) == DRIVE_CDROM && n < 26) letters[n++] = static_cast<char>(root[0]);
  letters[n] = 0;
  return true;
}

int probeDisc(const char* keyFileName) {
  char letters[27];
  if (!cdromLetters(letters)) return 0;
  for (const char* letter = letters; *letter; letter++) {
    if (!mediumPresent(*letter)) continue;
    char path[MAX_PATH] = {*letter, ':', '\\', 0};
    wchar_t name[MAX_PATH];
    if (!sjisAppend(path, MAX_PATH, keyFileName ? keyFileName : "") || !widen(path, name, MAX_PATH)) continue;
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) continue;
    CloseHandle(file);
    return driveNumberOfLetter(*letter);
  }
  return 0;
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

void cancelDiscPrompt() {
  promptCancelled = true;
  if (openPrompt) PostMessageW(openPrompt, WM_COMMAND, IDCANCEL, 0);
}

static INT_PTR CALLBACK insertDiscDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    openPrompt = dialog;
    char* text = static_cast<char*>(heapAlloc(1024));
    if (text) {
      wsprintfA(text, "『%s』", config.discName[promptDiscIndex]);
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

static INT_PTR CALLBACK selectDriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    openPrompt = dialog;
    HWND list = GetDlgItem(dialog, kDriveList);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    char letters[27];
    cdromLetters(letters);
    for (const char* letter = letters; *letter; letter++) {
      char root[4] = {*letter, ':', '\\', 0};
      char entry[MAX_PATH];
      if (describeCdDrive(root, entry)) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).s));
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    if (promptCancelled) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == IDOK) {
    wchar_t entry[MAX_PATH];
    ZeroMemory(entry, sizeof entry);
    HWND list = GetDlgItem(dialog, kDriveList);
    LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR && SendMessageW(list, CB_GETLBTEXTLEN, selected, 0) < MAX_PATH)
      SendMessageW(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(entry));
    // Entries read "[-D-] ...": the letter is the third character.
    EndDialog(dialog, entry[0] && entry[2] < 0x80 ? driveNumberOfLetter(static_cast<char>(entry[2])) : 0);
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == IDCANCEL) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

int requestDisc(void* owner, uint32_t discNumber) {
  // Numbers beyond the disc table name no disc, like 0.
  if (discNumber == 0 || discNumber > kDiscs) return 0;
  const char* keyFile = config.keyFile[discNumber - 1];
  HINSTANCE module = GetModuleHandleW(nullptr);
  promptCancelled = false;
  int drive = probeDisc(keyFile);
  while (drive == 0) {
    promptDiscIndex = static_cast<int32_t>(discNumber - 1);
    INT_PTR pressed = DialogBoxParamW(module, MAKEINTRESOURCEW(kInsertDiscDialog), static_cast<HWND>(owner),
                                      insertDiscDialogProc, 0);
    openPrompt = nullptr;
    if (pressed == kForceRun && !promptCancelled) {
      // The chosen drive is trusted without probing.
      drive = static_cast<int>(DialogBoxParamW(module, MAKEINTRESOURCEW(kSelectDriveDialog),
                                               static_cast<HWND>(owner), selectDriveDialogProc, 0));
      openPrompt = nullptr;
      if (drive > 0 && !promptCancelled) break;
      drive = 0;
    } else if (pressed != IDOK) {
      return 0;  // Cancel, the close box, or a dialog that could not be shown
    }
    if (promptCancelled) return 0;
    drive = probeDisc(keyFile);
  }
  cdDrive = static_cast<uint8_t>(drive);
  return 1;
}
