// Disc location on Windows: probing the CD-ROM drives through the MCI
// CD-audio device and the key file, the insert-disc (111) and select-drive
// (112) dialogs, and the drive descriptions from the registry. Text literals
// are compiled to code page 932.
#include <windows.h>
#include <mmsystem.h>

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
  char element[3] = {letter, ':', 0};
  MCI_OPEN_PARMSA open;
  ZeroMemory(&open, sizeof open);
  open.lpstrDeviceType = "cdaudio";
  open.lpstrElementName = element;
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open)))
    return false;
  MCI_STATUS_PARMS status;
  ZeroMemory(&status, sizeof status);
  status.dwItem = MCI_STATUS_MEDIA_PRESENT;
  if (mciSendCommandA(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)))
    status.dwReturn = 0;
  mciSendCommandA(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
  return status.dwReturn != 0;
}

int probeDisc(const char* keyFileName) {
  char drives[kDriveStringsSize];
  ZeroMemory(drives, sizeof drives);
  DWORD length = GetLogicalDriveStringsA(sizeof drives - 1, drives);
  if (length == 0 || length >= sizeof drives) return 0;
  for (const char* root = drives; *root; root += lstrlenA(root) + 1) {
    if (GetDriveTypeA(root) != DRIVE_CDROM) continue;
    if (!mediumPresent(root[0])) continue;
    char path[MAX_PATH];
    lstrcpynA(path, root, MAX_PATH);
    lstrcpynA(path + lstrlenA(path), keyFileName ? keyFileName : "", MAX_PATH - lstrlenA(path));
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) continue;
    CloseHandle(file);
    return driveNumberOfLetter(root[0]);
  }
  return 0;
}

// ---- Drive descriptions -----------------------------------------------------

// Reads a string value into a zero-filled buffer of `size` bytes, keeping the
// last byte zero.
static bool readText(HKEY key, const char* value, char* buffer, DWORD size) {
  ZeroMemory(buffer, size);
  DWORD bytes = size - 1;
  return RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes) ==
         ERROR_SUCCESS;
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
  if (RegOpenKeyExA(HKEY_DYN_DATA, "Config Manager\\Enum", 0, KEY_ENUMERATE_SUB_KEYS, &enumKey) !=
      ERROR_SUCCESS)
    return false;
  bool found = false;
  for (DWORD index = 0; !found; index++) {
    char className[MAX_PATH];
    DWORD nameLength = MAX_PATH, classLength = MAX_PATH;
    if (RegEnumKeyExA(enumKey, index, name, &nameLength, nullptr, className, &classLength, nullptr) !=
        ERROR_SUCCESS)
      break;
    char path[2 * MAX_PATH];
    wsprintfA(path, "%s\\%s", "Config Manager\\Enum", name);
    HKEY deviceKey;
    if (RegOpenKeyExA(HKEY_DYN_DATA, path, 0, KEY_READ, &deviceKey) != ERROR_SUCCESS) continue;
    bool read = readText(deviceKey, "HardWareKey", data, MAX_PATH);
    RegCloseKey(deviceKey);
    if (!read || !startsWithNoCase(data, "SCSI"))
      continue;
    wsprintfA(path, "Enum\\%s", data);
    HKEY hardwareKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &hardwareKey) != ERROR_SUCCESS) continue;
    if (readText(hardwareKey, "Class", data, MAX_PATH) &&
        startsWithNoCase(data, "CDROM") &&
        readText(hardwareKey, "CurrentDriveLetterAssignment", name, MAX_PATH) &&
        sameLetter(name[0], driveRoot[0])) {
      readText(hardwareKey, "DeviceDesc", data, MAX_PATH);
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
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\MountedDevices", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  char valueName[32];
  wsprintfA(valueName, "\\DosDevices\\%s", driveRoot);
  valueName[14] = 0;  // \DosDevices\D: without the backslash of the root
  WCHAR device[MAX_PATH / 2 + 1];
  ZeroMemory(device, sizeof device);
  DWORD bytes = MAX_PATH;
  LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(device), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  ZeroMemory(data, MAX_PATH);
  int characters = static_cast<int>(bytes / sizeof(WCHAR));
  if (WideCharToMultiByte(CP_ACP, 0, device, characters, data, MAX_PATH - 1, nullptr, nullptr) == 0 &&
      characters != 0)
    return false;
  if (!enumKeyFromDevicePath(data, name, MAX_PATH)) return false;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool read = readText(key, "FriendlyName", data, MAX_PATH);
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
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  bool described = false;
  if (GetVersionExA(&version)) {
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

static INT_PTR CALLBACK insertDiscDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    char* text = static_cast<char*>(heapAlloc(1024));
    if (text) {
      wsprintfA(text, "『%s』", config.discName[promptDiscIndex]);
      SetDlgItemTextA(dialog, kDiscNameText, text);
      heapFree(text);
    }
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
    HWND list = GetDlgItem(dialog, kDriveList);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    char drives[kDriveStringsSize];
    ZeroMemory(drives, sizeof drives);
    DWORD length = GetLogicalDriveStringsA(sizeof drives - 1, drives);
    if (length != 0 && length < sizeof drives) {
      for (const char* root = drives; *root; root += lstrlenA(root) + 1) {
        if (GetDriveTypeA(root) != DRIVE_CDROM) continue;
        char entry[MAX_PATH];
        if (describeCdDrive(root, entry))
          SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
      }
    }
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == IDOK) {
    char entry[MAX_PATH];
    ZeroMemory(entry, sizeof entry);
    HWND list = GetDlgItem(dialog, kDriveList);
    LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR && SendMessageA(list, CB_GETLBTEXTLEN, selected, 0) < MAX_PATH)
      SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(entry));
    // Entries read "[-D-] ...": the letter is the third character.
    EndDialog(dialog, entry[0] ? driveNumberOfLetter(entry[2]) : 0);
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
  HINSTANCE module = GetModuleHandleA(nullptr);
  int drive = probeDisc(keyFile);
  while (drive == 0) {
    promptDiscIndex = static_cast<int32_t>(discNumber - 1);
    INT_PTR pressed = DialogBoxParamA(module, MAKEINTRESOURCEA(kInsertDiscDialog), static_cast<HWND>(owner),
                                      insertDiscDialogProc, 0);
    if (pressed == kForceRun) {
      // The chosen drive is trusted without probing.
      drive = static_cast<int>(DialogBoxParamA(module, MAKEINTRESOURCEA(kSelectDriveDialog),
                                               static_cast<HWND>(owner), selectDriveDialogProc, 0));
      if (drive > 0) break;
      drive = 0;
    } else if (pressed != IDOK) {
      return 0;  // Cancel, the close box, or a dialog that could not be shown
    }
    drive = probeDisc(keyFile);
  }
  cdDrive = static_cast<uint8_t>(drive);
  return 1;
}
