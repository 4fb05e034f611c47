// KSetup.exe: the entry, the single-instance guard, the relaunch from the
// temporary folder, the install record, the start-up commands of the setup
// script, the main state loop and the way out. Text literals are compiled to
// code page 932; every text and name reaches the system in UTF-16.
//
// The program asks for elevation and runs from the user's temporary folder,
// which every program of that user can write to. So it loads no code from
// its own or that folder, runs from a folder of its own that nobody else may
// write to, and starts other programs by their full path only.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>
#include <winternl.h>

#include "app/shell.h"
#include "gfx/surface.h"
#include "install/install_path.h"
#include "install/install_win.h"
#include "media/disc.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "platform/text_win.h"
#include "script/config.h"
#include "uninstall/run_folder.h"
#include "uninstall/uninstall_entry.h"
#include "uninstall/uninstall_win.h"
#include "uninstall/wininit.h"

static const wchar_t kProgramFile[] = L"KSetup.exe";
static const wchar_t kScriptFile[] = L"KSetup.ini";
static const wchar_t kArchiveFile[] = L"Instdata.pak";
static const wchar_t kMutexName[] = L"SLBADVSYS";
static const char kFallbackFolder[] = "C:\\Program Files\\Slumber";
static const wchar_t kInstallClass[] = L"SLB_INST";
static const wchar_t kInstallValue[] = L"InstallFolder";
static const wchar_t kKeyClass[] = L"Slumber";
// The relaunch folder's name: this prefix and 16 random hexadecimal digits
// (uninstall/run_folder.h).
static const wchar_t kRunFolderPrefix[] = L"KSetup-";
static const wchar_t kRunFolderPattern[] = L"KSetup-*";

static const wchar_t kStartupCaption[] = L"KSetup Error";
static const wchar_t kScriptMissing[] = L"設定ファイルが見つかりません。処理を中断します。";
// A script without a key for the install record would record the game in
// HKEY_CURRENT_USER itself, where every such script would find it.
static const wchar_t kNoRegistryKey[] =
    L"設定ファイルにレジストリキー (REGADDRESS) の指定がありません。処理を中断します。";
// A game folder name that leaves the chosen folder ("..") or names a drive.
static const wchar_t kBadGameFolder[] =
    L"設定ファイルのインストールフォルダ (MUSTMAKEFOLDER) の指定が正しくありません。処理を中断します。";

enum {
  kLauncherDialog = 102,
  kInstallOptionsDialog = 101,
  kUninstallDialog = 109,
  // A script whose reload command loads a script that asks for a reload
  // again would go round for ever; after this many reloads the start-up
  // commands pass reload requests over.
  kMaxReloads = 16,
  kWidePath = MAX_PATH,
};

// The folder the program keeps its script and archive in: the relaunch
// folder it runs from, or one made for a reload when it runs from anywhere
// else. Empty until there is one.
static wchar_t workFolder[kWidePath];
// A work folder made for a reload is held open (see makeRunFolder) until
// it is removed.
static HANDLE workFolderHold = nullptr;
static bool runningFromRunFolder = false;
// The folder the script in use was read from (KSetup.ini, Instdata.pak).
static wchar_t scriptFolder[kWidePath];
// The base folder offered when the program files folder cannot be written
// ("<the user's programs>\Slumber"); empty otherwise.
static char perUserFolder[MAX_PATH];

// ---- Start-up safety ----------------------------------------------------------

// Before anything else can load a DLL: from now on DLLs come from the system
// folder only, never from the program's folder or the current one. Systems
// without the call at least leave the current folder out.
static void restrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  SetDefaultDllDirectoriesFn setDefault =
      kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
             : nullptr;
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

// ---- Paths ------------------------------------------------------------------

// The temporary folder without its trailing backslash.
static bool getTempFolder(wchar_t* buffer) {
  DWORD length = GetTempPathW(kWidePath, buffer);
  if (length == 0 || length >= kWidePath) {
    buffer[0] = 0;
    return false;
  }
  dropTrailingBackslash(buffer);
  return true;
}

// The running program's full path, and its folder (without a backslash).
static bool getOwnPath(wchar_t* path, wchar_t* folder) {
  DWORD length = GetModuleFileNameW(nullptr, path, kWidePath);
  if (length == 0 || length >= kWidePath) return false;
  if (folder) {
    lstrcpyW(folder, path);
    wchar_t* cut = nullptr;
    for (wchar_t* p = folder; *p; p++)
      if (*p == L'\\') cut = p;
    if (!cut) return false;
    *cut = 0;
  }
  return true;
}

// ---- Single instance --------------------------------------------------------

// Takes the mutex; false when another instance holds it.
static bool takeInstanceMutex() {
  instanceMutex = CreateMutexW(nullptr, TRUE, kMutexName);
  if (instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(instanceMutex);
    instanceMutex = nullptr;
    return false;
  }
  return true;
}

static void closeInstanceMutex() {
  if (!instanceMutex) return;
  ReleaseMutex(instanceMutex);
  CloseHandle(instanceMutex);
  instanceMutex = nullptr;
}

// ---- The program's own folder --------------------------------------------------

// True when the process runs with an elevated token.
static bool runsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation;
  DWORD size = 0;
  bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                  elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

// The system's random number generator (advapi32's RtlGenRandom).
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

// Creates `folder` and opens it in one step, so that the handle is the
// folder made and nothing else; an existing folder of that name is never
// taken. The handle lets others read and write but not delete or rename
// the folder while it is open. Null when it could not be made.
typedef LONG(NTAPI* NtCreateFileFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
enum : ULONG {
  kNtFileCreate = 2,              // FILE_CREATE
  kNtDirectoryFile = 1,           // FILE_DIRECTORY_FILE
  kNtSynchronousNonAlert = 0x20,  // FILE_SYNCHRONOUS_IO_NONALERT
  kNtCaseInsensitive = 0x40,      // OBJ_CASE_INSENSITIVE
};

static HANDLE createHeldFolder(const wchar_t* folder, PSECURITY_DESCRIPTOR descriptor) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  NtCreateFileFn create = ntdll ? reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(
                                      GetProcAddress(ntdll, "NtCreateFile")))
                                : nullptr;
  wchar_t ntPath[kWidePath + 8];
  if (!create || lstrlenW(folder) >= kWidePath) return nullptr;
  wsprintfW(ntPath, L"\\??\\%s", folder);
  UNICODE_STRING name;
  name.Buffer = ntPath;
  name.Length = static_cast<USHORT>(lstrlenW(ntPath) * sizeof(wchar_t));
  name.MaximumLength = static_cast<USHORT>(name.Length + sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  ZeroMemory(&attributes, sizeof attributes);
  attributes.Length = sizeof attributes;
  attributes.ObjectName = &name;
  attributes.Attributes = kNtCaseInsensitive;
  attributes.SecurityDescriptor = descriptor;
  IO_STATUS_BLOCK status;
  HANDLE handle = nullptr;
  LONG result = create(&handle, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE, &attributes,
                       &status, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       kNtFileCreate, kNtDirectoryFile | kNtSynchronousNonAlert, nullptr, 0);
  return result >= 0 ? handle : nullptr;
}

// True when `path` names the folder `held` is open on (the same volume and
// file number), so that the name still leads to the folder made.
static bool pathIsHeldFolder(const wchar_t* path, HANDLE held) {
  HANDLE other = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  bool same = GetFileInformationByHandle(held, &a) && GetFileInformationByHandle(other, &b) &&
              a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
              a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow &&
              (b.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
              !(b.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  CloseHandle(other);
  return same;
}

// Makes a new folder of the program's own under the temporary folder, with
// a name nobody can know beforehand; an existing folder of that name is
// never taken. When the program runs elevated, only administrators and the
// system may enter it, so that no program of the player's own rights can
// put a file in or swap one. With `hold`, the folder stays open in *hold
// (see createHeldFolder) until the caller closes it: the player owns the
// temporary folder and could otherwise rename this one away and put a
// folder of their own in its place. False when none could be made.
static bool makeRunFolder(wchar_t* folder, HANDLE* hold = nullptr) {
  wchar_t temp[kWidePath];
  if (hold) *hold = nullptr;
  if (!getTempFolder(temp)) return false;
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Protected (no rights inherited from the temporary folder): full control
  // for SYSTEM and the administrators, for the folder and what it holds.
  if (runsElevated() && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
    security.lpSecurityDescriptor = descriptor;
  bool made = false;
  for (int attempt = 0; attempt < 8 && !made; attempt++) {
    unsigned char random[8];
    if (!SystemFunction036(random, sizeof random)) break;
    char name[32];
    wchar_t wideName[32];
    runFolderName(random, name);
    if (!widen(name, wideName, 32) || !joinWide(folder, temp, wideName)) break;
    if (hold) {
      *hold = createHeldFolder(folder, descriptor);
      made = *hold != nullptr;
    } else {
      made = CreateDirectoryW(folder, &security) != FALSE;
    }
  }
  if (descriptor) LocalFree(descriptor);
  if (!made) folder[0] = 0;
  return made;
}

// True when the program runs from a relaunch folder: its folder is a
// KSetup-... folder right in the temporary folder.
static bool inRunFolder(const wchar_t* ownFolder) {
  wchar_t temp[kWidePath], parent[kWidePath], tempLong[kWidePath], parentLong[kWidePath];
  if (!getTempFolder(temp)) return false;
  lstrcpynW(parent, ownFolder, kWidePath);
  wchar_t* cut = nullptr;
  for (wchar_t* p = parent; *p; p++)
    if (*p == L'\\') cut = p;
  if (!cut || CompareStringOrdinal(cut + 1, 7, kRunFolderPrefix, 7, TRUE) != CSTR_EQUAL) return false;
  *cut = 0;
  if (!GetLongPathNameW(parent, parentLong, kWidePath)) lstrcpynW(parentLong, parent, kWidePath);
  if (!GetLongPathNameW(temp, tempLong, kWidePath)) lstrcpynW(tempLong, temp, kWidePath);
  return CompareStringOrdinal(parentLong, -1, tempLong, -1, TRUE) == CSTR_EQUAL;
}

// Deletes the script and the archive from the work folder; with `andFolder`
// the folder itself as well (a folder the program made for a reload).
static void clearWorkFolder(bool andFolder) {
  if (!workFolder[0]) return;
  wchar_t path[kWidePath];
  if (joinWide(path, workFolder, kScriptFile)) DeleteFileW(path);
  if (joinWide(path, workFolder, kArchiveFile)) DeleteFileW(path);
  if (!andFolder) return;
  // A reload made the folder current; a current folder cannot go.
  wchar_t current[kWidePath], temp[kWidePath];
  DWORD length = GetCurrentDirectoryW(kWidePath, current);
  if (length > 0 && length < kWidePath) {
    dropTrailingBackslash(current);
    if (CompareStringOrdinal(current, -1, workFolder, -1, TRUE) == CSTR_EQUAL &&
        getTempFolder(temp))
      SetCurrentDirectoryW(temp);
  }
  if (workFolderHold) CloseHandle(workFolderHold);
  workFolderHold = nullptr;
  RemoveDirectoryW(workFolder);
}

// Removes the run folders that earlier runs left in the temporary folder
// (their program file cannot delete itself, and a delayed deletion needs
// rights a standard user lacks): only folders whose name has the run
// folder's form, holding only files, none of them in use. Called while the
// program holds the instance mutex, so no other run of it is starting.
static void removeLeftRunFolders() {
  wchar_t temp[kWidePath], pattern[kWidePath], folder[kWidePath], path[kWidePath];
  if (!getTempFolder(temp) || !joinWide(pattern, temp, kRunFolderPattern)) return;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    char name[MAX_PATH];
    bool plainFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!plainFolder || !narrow(found.cFileName, name, MAX_PATH) || !isRunFolderName(name) ||
        !joinWide(folder, temp, found.cFileName))
      continue;
    // Every file opened for deletion without sharing: a file in use (the
    // running program of another run, a file someone reads) refuses, and
    // the folder stays whole (so does one with a read-only file, which the
    // program never leaves: its copies are made writable). Only when every file is held is each
    // marked for deletion, which takes effect as the handles close.
    enum { kMostFiles = 16 };
    HANDLE files[kMostFiles];
    int held = 0, marked = 0;
    bool unused = joinWide(pattern, folder, L"*");
    WIN32_FIND_DATAW inner;
    HANDLE list = unused ? FindFirstFileW(pattern, &inner) : INVALID_HANDLE_VALUE;
    if (list != INVALID_HANDLE_VALUE) {
      do {
        if (lstrcmpW(inner.cFileName, L".") == 0 || lstrcmpW(inner.cFileName, L"..") == 0) continue;
        if ((inner.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || held == kMostFiles ||
            !joinWide(path, folder, inner.cFileName)) {
          unused = false;
          break;
        }
        HANDLE file = CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
          unused = false;
          break;
        }
        files[held++] = file;
      } while (FindNextFileW(list, &inner));
      FindClose(list);
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    while (unused && marked < held) {
      if (!SetFileInformationByHandle(files[marked], FileDispositionInfo, &disposition,
                                      sizeof disposition))
        unused = false;
      else
        marked++;
    }
    if (!unused) {
      // Nothing is deleted after all.
      disposition.DeleteFile = FALSE;
      for (int i = 0; i < marked; i++)
        SetFileInformationByHandle(files[i], FileDispositionInfo, &disposition, sizeof disposition);
    }
    for (int i = 0; i < held; i++) CloseHandle(files[i]);
    if (unused) RemoveDirectoryW(folder);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// ---- Relaunch from the temporary folder ---------------------------------------

enum RelaunchResult { kRelaunched, kRelaunchFailed, kOtherInstance };

// Copies one of the program's files into the run folder. A file the
// source folder does not have (a disc without an archive) is passed over;
// a file that is there and cannot be copied is a failure.
static bool copyRunFile(const wchar_t* name, const wchar_t* sourceFolder,
                        const wchar_t* runFolder) {
  if (copyFileInto(name, sourceFolder, runFolder)) return true;
  wchar_t source[kWidePath];
  if (!joinWide(source, sourceFolder, name)) return false;
  DWORD attributes = GetFileAttributesW(source);
  DWORD error = GetLastError();
  return attributes == INVALID_FILE_ATTRIBUTES &&
         (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

// Copies the program, its script and its archive into a new folder of its
// own under the temporary folder and starts that copy there with the mode
// letter (t or r) as its argument, followed by the folder the discs are
// looked for in besides the drives (startRoot), quoted, when there is one.
// The folder is held open from its creation until the copy has started;
// any failed copy, or a folder name that no longer leads to the folder
// made, is a failed relaunch, and nothing is started from there.
static RelaunchResult relaunchFromTemp(char mode) {
  wchar_t ownPath[kWidePath], sourceFolder[kWidePath], runFolder[kWidePath];
  HANDLE hold = nullptr;
  bool prepared = getOwnPath(ownPath, sourceFolder) && makeRunFolder(runFolder, &hold);
  bool copied = prepared && copyFileInto(kProgramFile, sourceFolder, runFolder) &&
                copyRunFile(kScriptFile, sourceFolder, runFolder) &&
                copyRunFile(kArchiveFile, sourceFolder, runFolder);

  wchar_t program[kWidePath];
  wchar_t commandLine[2 * kWidePath + 16], start[kWidePath];
  bool built =
      copied && joinWide(program, runFolder, kProgramFile) && pathIsHeldFolder(runFolder, hold);
  // Quoted, so that a temporary folder with blanks still leaves the mode
  // letter as the first character of the copy's arguments. The start folder
  // goes without its last backslash, which would escape the closing quote
  // for most readers of a command line.
  if (built) wsprintfW(commandLine, L"\"%s\" %c", program, mode);
  if (built && startRoot[0] && widen(startRoot, start, kWidePath)) {
    dropTrailingBackslash(start);
    int used = lstrlenW(commandLine);
    wsprintfW(commandLine + used, L" \"%s\"", start);
  }

  closeInstanceMutex();
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  // The copy starts in its own folder, and so reads the script and archive
  // copied there, where nobody else can change them.
  if (built && CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                              nullptr, runFolder, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(hold);
    return kRelaunched;
  }
  if (prepared) {
    lstrcpyW(workFolder, runFolder);
    clearWorkFolder(false);
    wchar_t path[kWidePath];
    if (joinWide(path, runFolder, kProgramFile)) DeleteFileW(path);
    workFolder[0] = 0;
    CloseHandle(hold);
    RemoveDirectoryW(runFolder);
  }
  return takeInstanceMutex() ? kRelaunchFailed : kOtherInstance;
}

// ---- Setup --------------------------------------------------------------------

static void showStartupFailure(const wchar_t* text) { MessageBoxW(nullptr, text, kStartupCaption, MB_OK); }

// The install record's key under HKEY_CURRENT_USER, in UTF-16.
static bool recordKey(wchar_t* key) { return widen(config.regAddress, key, kWidePath); }

// Reads the install record: installed and installFolder.
static void readInstallRecord() {
  HKEY key;
  wchar_t keyName[kWidePath];
  if (!recordKey(keyName) || RegOpenKeyExW(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    installed = 0;
    return;
  }
  // The value the program writes is the install folder's 260 bytes of code
  // page 932 text, as the game itself reads it; a string value (written by
  // hand or by another tool) is text of the system's and is converted.
  union {
    BYTE bytes[2 * MAX_PATH + 2];
    wchar_t text[MAX_PATH + 1];
  } value;
  ZeroMemory(&value, sizeof value);
  DWORD type = REG_NONE, size = 2 * MAX_PATH;
  LONG status = RegQueryValueExW(key, kInstallValue, nullptr, &type, value.bytes, &size);
  RegCloseKey(key);
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    if (!narrow(value.text, installFolder, MAX_PATH)) size = 0;
  } else if (status == ERROR_SUCCESS) {
    CopyMemory(installFolder, value.bytes, size < MAX_PATH ? size : MAX_PATH);
  }
  installFolder[MAX_PATH - 1] = 0;
  if (status == ERROR_SUCCESS && size != 0 && installFolder[0]) {
    installed = 1;
  } else {
    installed = 0;
    installFolder[0] = 0;
    sjisAppend(installFolder, MAX_PATH, perUserFolder[0] ? perUserFolder : kFallbackFolder);
    sjisAppend(installFolder, MAX_PATH, config.mustMakeFolder);
  }
}

// Copies the script and the archive from `sourceFolder` into the work
// folder, makes that folder current and loads the script again.
static bool reloadScriptFrom(const char* sourceFolder) {
  wchar_t source[kWidePath];
  if (!workFolder[0] && !makeRunFolder(workFolder, &workFolderHold)) return false;
  clearWorkFolder(false);
  SetCurrentDirectoryW(workFolder);
  if (widen(sourceFolder, source, kWidePath)) {
    copyFileInto(kScriptFile, source, workFolder);
    copyFileInto(kArchiveFile, source, workFolder);
  }
  releaseConfig();
  lstrcpyW(scriptFolder, workFolder);
  return loadConfig();
}

// What a script must give besides what the loader checks. False, after the
// message, when the program cannot go on with it.
static bool scriptIsUsable() {
  const wchar_t* problem = nullptr;
  if (sjisFindFirstOf(config.regAddress, "\\ ") == 0 || !config.regAddress[0])
    problem = kNoRegistryKey;
  else if (config.mustMakeFolder[0] && !entryIsSafe(config.mustMakeFolder))
    problem = kBadGameFolder;
  if (problem) showStartupFailure(problem);
  return problem == nullptr;
}

// Loads the script from the current folder; false, after the message, when
// the program cannot go on with it.
static bool loadScript() {
  if (!loadConfig()) {
    showStartupFailure(kScriptMissing);
    return false;
  }
  return scriptIsUsable();
}

// Runs the script's start-up commands. False when the program is to end
// at once (disc prompt cancelled, script reload failed).
static bool runStartupCommands() {
  int reloads = 0;
  for (int index = 0; index < kExecEntries && config.exec[index].command != 0; index++) {
    const ExecEntry& entry = config.exec[index];
    if (entry.command == kExecChangeCd) {
      if (installed) continue;
      if (!requestDisc(nullptr, entry.argument, discKeyFile(entry.argument),
                       discPromptName(entry.argument)))
        return false;
    } else if (entry.command == kExecLoadIniFromCd || entry.command == kExecLoadIniFromHd) {
      bool fromDisc = entry.command == kExecLoadIniFromCd;
      if (fromDisc == (installed != 0)) continue;
      if (reloads == kMaxReloads) continue;
      reloads++;
      char source[MAX_PATH];
      if (fromDisc) {
        lstrcpynA(source, discRoot, MAX_PATH);
      } else {
        lstrcpynA(source, installFolder, MAX_PATH);
      }
      if (!reloadScriptFrom(source)) {
        showStartupFailure(kScriptMissing);
        return false;
      }
      if (!scriptIsUsable()) return false;
      index = -1;  // the new list runs from its first entry
    }
    // Other commands have no start-up action.
  }
  return true;
}

// ---- Main loop ----------------------------------------------------------------

// Writes installFolder as the install record; false when the key cannot be
// created.
static bool writeInstallRecord() {
  HKEY key;
  DWORD disposition;
  wchar_t keyName[kWidePath];
  if (!recordKey(keyName) ||
      RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, const_cast<wchar_t*>(kKeyClass), REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
    return false;
  RegSetValueExW(key, kInstallValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(installFolder), MAX_PATH);
  RegCloseKey(key);
  return true;
}

// The install options dialog, then the full-screen install window.
static void runInstall(int showCommand) {
  // A dialog that cannot be shown chose nothing: no install starts from it.
  if (DialogBoxParamW(instance, MAKEINTRESOURCEW(kInstallOptionsDialog), nullptr, installOptionsDialogProc, 0) ==
      -1)
    appState = Exit;
  if (appState != Install) return;

  HWND desktop = GetDesktopWindow();
  RECT area;
  GetWindowRect(desktop, &area);
  WNDCLASSEXW windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = installWindowProc;
  windowClass.hInstance = instance;
  // The program's own icon is stored under the standard application icon's number.
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(32512));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = kInstallClass;
  windowClass.lpszClassName = kInstallClass;
  RegisterClassExW(&windowClass);
  InitializeCriticalSection(&installLock);

  HWND window = CreateWindowExW(WS_EX_TOPMOST, kInstallClass, kInstallClass, WS_POPUP | WS_CHILD, area.left,
                                area.top, area.right, area.bottom, desktop, nullptr, instance, nullptr);
  if (!window) {
    MessageBoxW(nullptr, L"ウィンドウ作成エラー", kInstallClass, MB_OK);
    DeleteCriticalSection(&installLock);
    UnregisterClassW(kInstallClass, instance);
    // Out through the usual way, taking the temporary files with it.
    appState = Exit;
    return;
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  SetFocus(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  UnregisterClassW(kInstallClass, instance);
  DeleteCriticalSection(&installLock);

  if (appState == Install) {
    // The copy finished: record where the game now lives.
    if (!writeInstallRecord()) {
      MessageBoxW(nullptr, L"レジストリエラー", wide(config.appliTitle).s, MB_OK);
      appState = Exit;
    } else {
      installed = 1;
      appState = Launcher;
      // Listed among the installed programs when the script asks for it; a
      // list entry that cannot be made costs the player nothing else.
      if (config.uninstallEntry[0]) addUninstallEntry(scriptFolder);
    }
  } else if (appState == Launcher) {
    MessageBoxW(nullptr, L"インストールを中断しました。", wide(config.appliTitle).s, MB_OK);
  }
}

// Starts the installed game. False when the program is to end at once
// (another instance took the mutex while it was released).
static bool startGame() {
  closeInstanceMutex();
  char program[MAX_PATH];
  if (sjisJoin(program, MAX_PATH, installFolder, config.exeName) && config.exeName[0] &&
      startProgram(program, nullptr, installFolder)) {
    appState = Exit;
    return true;
  }
  if (!takeInstanceMutex()) return false;
  MessageBoxW(nullptr, L"起動に失敗しました。再インストールする事をお薦めします。", wide(config.appliTitle).s, MB_OK);
  appState = Launcher;
  return true;
}

// Loops over the states until Exit. False when the program is to end at
// once, without the exit path.
static bool runMainLoop(int showCommand) {
  while (appState != Exit) {
    switch (appState) {
      case Launcher:
        if (DialogBoxParamW(instance, MAKEINTRESOURCEW(kLauncherDialog), nullptr, launcherDialogProc, 0) == -1)
          appState = Exit;  // the dialog could not be shown
        break;
      case Install:
        runInstall(showCommand);
        break;
      case Uninstall:
        // A dialog that cannot be shown removed nothing.
        if (DialogBoxParamW(instance, MAKEINTRESOURCEW(kUninstallDialog), nullptr, uninstallDialogProc, 0) == -1)
          appState = Launcher;
        if (appState == Uninstall) {
          // The game was removed.
          installed = 0;
          appState = Exit;
        }
        break;
      case StartGame:
        if (!startGame()) return false;
        break;
      default:
        appState = Exit;
        break;
    }
  }
  return true;
}

// ---- Way out --------------------------------------------------------------------

// Deletes the script and the archive the program kept, and has the
// temporary copy of the program and its folder deleted at the next system
// start. A program started with a mode letter from anywhere else (the disc,
// the install folder) is no temporary copy and stays.
static void leaveProgram() {
  clearWorkFolder(!runningFromRunFolder);
  if (runningFromRunFolder) scheduleSelfRemoval(true);
}

// ---- Entry ------------------------------------------------------------------------

// A copy started in its run folder while another instance runs (one that
// took the mutex between the release by this copy's starter and this
// copy's start): the script and archive go, and the program and its folder
// are scheduled for deletion, as on the way out.
static void leaveUnusedRunFolder(const char* arguments) {
  // Only a started copy: it has a mode letter.
  char mode = arguments ? arguments[0] : 0;
  if (mode != 't' && mode != 'T' && mode != 'r' && mode != 'R') return;
  wchar_t ownPath[kWidePath], ownFolder[kWidePath];
  if (!getOwnPath(ownPath, ownFolder) || !inRunFolder(ownFolder)) return;
  lstrcpyW(workFolder, ownFolder);
  clearWorkFolder(false);
  scheduleSelfRemoval(true);
}

// startRoot becomes `folder` unless that is the root of a CD-ROM drive,
// where only the drives are searched, as for a set on discs.
static void setStartFolder(const wchar_t* folder) {
  char narrowFolder[MAX_PATH];
  startRoot[0] = 0;
  if (!folder[0] || !narrow(folder, narrowFolder, MAX_PATH) ||
      !discRootOf(startRoot, kDiscRootSize, narrowFolder))
    return;
  wchar_t root[kWidePath];
  if (driveOfRoot(startRoot) && widen(startRoot, root, kWidePath) &&
      GetDriveTypeW(root) == DRIVE_CDROM)
    startRoot[0] = 0;
}

// `startFolder`: the folder the player started the program from, as the
// relaunch passes it on; empty when the program was not started that way.
static int runProgram(HINSTANCE module, const char* arguments, const wchar_t* startFolder,
                      int showCommand) {
  if (!takeInstanceMutex()) {
    leaveUnusedRunFolder(arguments);
    return 0;
  }
  instance = module;
  detectMmx();

  setStartFolder(startFolder);
  switch (arguments ? arguments[0] : 0) {
    case 0:
    case 'U':
    case 'u': {
      removeLeftRunFolders();
      // Started by the player: the program's own folder is where the set
      // lies, unless that is a CD-ROM drive's root.
      wchar_t ownPath[kWidePath], ownFolder[kWidePath];
      if (!startFolder[0] && getOwnPath(ownPath, ownFolder)) setStartFolder(ownFolder);
      RelaunchResult result = relaunchFromTemp(arguments && arguments[0] ? 'r' : 't');
      if (result != kRelaunchFailed) return 0;
      break;
    }
    case 'T':
    case 't':
      appState = Launcher;
      break;
    case 'R':
    case 'r':
      appState = Uninstall;
      break;
    default:
      break;
  }

  wchar_t ownPath[kWidePath], ownFolder[kWidePath];
  if (getOwnPath(ownPath, ownFolder) && inRunFolder(ownFolder)) {
    runningFromRunFolder = true;
    lstrcpyW(workFolder, ownFolder);
  }

  // Setup.
  char folder[MAX_PATH];
  programFilesFolder[0] = 0;
  if (!getSpecialFolder(CSIDL_PROGRAM_FILES, folder) || !sjisAppend(programFilesFolder, MAX_PATH, folder) ||
      !sjisAppend(programFilesFolder, MAX_PATH, "\\Slumber"))
    lstrcpyA(programFilesFolder, kFallbackFolder);
  // A player without administrator rights runs the program unelevated and
  // cannot write there: the game goes to the folder of the user's own
  // programs instead.
  if (!folderIsWritable(programFilesFolder) && userProgramsFolder(folder) &&
      joinWithBackslashes(perUserFolder, folder, "Slumber"))
    lstrcpyA(programFilesFolder, perUserFolder);

  if (!GetCurrentDirectoryW(kWidePath, scriptFolder)) scriptFolder[0] = 0;
  releaseConfig();
  bool go = loadScript();
  if (go) {
    readInstallRecord();
    go = runStartupCommands() && runMainLoop(showCommand);
  }
  // Also when the script failed or a start-up disc prompt was cancelled: the
  // copies the program runs from are its own to take away. Not when another
  // instance took over meanwhile, which may be using them.
  if (go || instanceMutex) leaveProgram();
  releaseConfig();
  closeInstanceMutex();
  return 0;
}

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int showCommand) {
  restrictDllSearch();
  // The arguments as the system gives them; only their first character
  // counts, and it is looked at as a letter of code page 932 text.
  char arguments[8] = {0};
  const wchar_t* line = GetCommandLineW();
  // Past the program's name, quoted or not, and the blanks after it.
  if (*line == L'"') {
    for (line++; *line && *line != L'"'; line++) {
    }
    if (*line) line++;
  } else {
    while (*line > L' ') line++;
  }
  while (*line == L' ' || *line == L'\t') line++;
  if (*line) arguments[0] = *line < 0x80 ? static_cast<char>(*line) : '?';
  // After the mode letter, the relaunch's quoted start folder.
  static wchar_t startFolder[kWidePath];
  if (*line) {
    for (line++; *line == L' ' || *line == L'\t'; line++) {
    }
    if (*line == L'"') {
      int n = 0;
      for (line++; *line && *line != L'"' && n < kWidePath - 1; line++) startFolder[n++] = *line;
      startFolder[*line == L'"' ? n : 0] = 0;
    }
  }
  runProgram(module, arguments, startFolder, showCommand);
  return 0;
}
