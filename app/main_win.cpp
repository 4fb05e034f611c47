// KSetup.exe: the entry, the single-instance guard, the relaunch from the
// temporary folder, the install record, the start-up commands of the setup
// script, the main state loop and the way out. Text literals are compiled to
// code page 932.
#include <windows.h>
#include <shlobj.h>

#include "app/shell.h"
#include "gfx/surface.h"
#include "media/disc.h"
#include "platform/platform.h"
#include "script/config.h"
#include "uninstall/wininit.h"

int32_t appState = Launcher;
int32_t installed = 0;
char programFilesFolder[MAX_PATH];
HANDLE instanceMutex = nullptr;
CRITICAL_SECTION installLock;
HINSTANCE instance = nullptr;

static const char kProgramFile[] = "KSetup.exe";
static const char kScriptFile[] = "KSetup.ini";
static const char kArchiveFile[] = "Instdata.pak";
static const char kMutexName[] = "SLBADVSYS";
static const char kFallbackFolder[] = "C:\\Program Files\\Slumber";
static const char kInstallClass[] = "SLB_INST";
static const char kInstallValue[] = "InstallFolder";
static const char kKeyClass[] = "Slumber";

static const char kScriptMissing[] = "設定ファイルが見つかりません。処理を中断します。";
static const char kStartupCaption[] = "KSetup Error";

enum {
  kLauncherDialog = 102,
  kInstallOptionsDialog = 101,
  kUninstallDialog = 109,
  // A script whose reload command loads a script that asks for a reload
  // again would go round for ever; after this many reloads the start-up
  // commands pass reload requests over.
  kMaxReloads = 16,
};

// ---- Paths ------------------------------------------------------------------

// Copies `text` after out[0..*used), keeping the result within MAX_PATH bytes.
static bool appendText(char* out, size_t* used, const char* text) {
  while (*text) {
    if (*used + 1 >= MAX_PATH) return false;
    out[(*used)++] = *text++;
  }
  out[*used] = 0;
  return true;
}

// out = folder \ name, in MAX_PATH bytes; false when it would not fit.
static bool joinPath(char* out, const char* folder, const char* name) {
  size_t used = 0;
  out[0] = 0;
  return appendText(out, &used, folder) && appendText(out, &used, "\\") && appendText(out, &used, name);
}

// Removes one trailing backslash.
static void dropTrailingBackslash(char* path) {
  int length = lstrlenA(path);
  if (length > 0 && path[length - 1] == '\\') path[length - 1] = 0;
}

// The temporary folder without its trailing backslash.
static bool getTempFolder(char* buffer) {
  DWORD length = GetTempPathA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) {
    buffer[0] = 0;
    return false;
  }
  dropTrailingBackslash(buffer);
  return true;
}

static void clearReadOnly(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool copyFileInto(const char* name, const char* fromFolder, const char* toFolder) {
  char from[MAX_PATH], to[MAX_PATH], source[MAX_PATH], destination[MAX_PATH];
  lstrcpynA(from, fromFolder, MAX_PATH);
  lstrcpynA(to, toFolder, MAX_PATH);
  dropTrailingBackslash(from);
  dropTrailingBackslash(to);
  if (!joinPath(source, from, name) || !joinPath(destination, to, name)) return false;
  clearReadOnly(destination);
  // Files copied from a CD-ROM keep its read-only attribute.
  bool copied = CopyFileA(source, destination, FALSE) != FALSE;
  clearReadOnly(destination);
  return copied;
}

bool getSpecialFolder(int folder, char* buffer) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
  bool found = false;
  LPITEMIDLIST items = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, folder, &items)) && items) {
    SHGetPathFromIDListA(items, buffer);
    allocator->Free(items);
    found = true;
  }
  allocator->Release();
  return found;
}

// ---- Single instance --------------------------------------------------------

// Takes the mutex; false when another instance holds it.
static bool takeInstanceMutex() {
  instanceMutex = CreateMutexA(nullptr, TRUE, kMutexName);
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

// ---- Relaunch from the temporary folder ---------------------------------------

enum RelaunchResult { kRelaunched, kRelaunchFailed, kOtherInstance };

// Copies the program, its script and its archive into the temporary folder
// and starts that copy with the mode letter (t or r) as its argument.
static RelaunchResult relaunchFromTemp(char mode) {
  char sourceFolder[MAX_PATH], tempFolder[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, sourceFolder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) sourceFolder[0] = 0;
  char* lastBackslash = nullptr;
  for (char* p = sourceFolder; *p; p = CharNextA(p))
    if (*p == '\\') lastBackslash = p;
  if (lastBackslash) lastBackslash[1] = 0;

  getTempFolder(tempFolder);
  copyFileInto(kProgramFile, sourceFolder, tempFolder);
  copyFileInto(kScriptFile, sourceFolder, tempFolder);
  copyFileInto(kArchiveFile, sourceFolder, tempFolder);

  char program[MAX_PATH];
  char commandLine[MAX_PATH + 8];
  bool built = joinPath(program, tempFolder, kProgramFile);
  // Quoted, so that a temporary folder with blanks still leaves the mode
  // letter as the first character of the copy's arguments.
  if (built) wsprintfA(commandLine, "\"%s\" %c", program, mode);

  closeInstanceMutex();
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (built && CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                              nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return kRelaunched;
  }
  return takeInstanceMutex() ? kRelaunchFailed : kOtherInstance;
}

// ---- Setup --------------------------------------------------------------------

static void showStartupFailure() { MessageBoxA(nullptr, kScriptMissing, kStartupCaption, MB_OK); }

// Reads the install record: installed and installFolder.
static void readInstallRecord() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, config.regAddress, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    installed = 0;
    return;
  }
  DWORD size = MAX_PATH;
  LONG status = RegQueryValueExA(key, kInstallValue, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(installFolder), &size);
  RegCloseKey(key);
  installFolder[MAX_PATH - 1] = 0;
  if (status == ERROR_SUCCESS && size != 0 && installFolder[0]) {
    installed = 1;
  } else {
    installed = 0;
    size_t used = 0;
    installFolder[0] = 0;
    appendText(installFolder, &used, kFallbackFolder);
    appendText(installFolder, &used, config.mustMakeFolder);
  }
}

// Copies the script and the archive from `sourceFolder` into the temporary
// folder, makes that folder current and loads the script again.
static bool reloadScriptFrom(const char* sourceFolder) {
  char tempFolder[MAX_PATH], path[MAX_PATH];
  getTempFolder(tempFolder);
  if (joinPath(path, tempFolder, kScriptFile)) DeleteFileA(path);
  if (joinPath(path, tempFolder, kArchiveFile)) DeleteFileA(path);
  SetCurrentDirectoryA(tempFolder);
  copyFileInto(kScriptFile, sourceFolder, tempFolder);
  copyFileInto(kArchiveFile, sourceFolder, tempFolder);
  releaseConfig();
  return loadConfig();
}

// Runs the script's start-up commands. False when the program is to end
// at once (disc prompt cancelled, script reload failed).
static bool runStartupCommands() {
  int reloads = 0;
  for (int index = 0; index < kExecEntries && config.exec[index].command != 0; index++) {
    const ExecEntry& entry = config.exec[index];
    if (entry.command == kExecChangeCd) {
      if (installed) continue;
      if (!requestDisc(nullptr, entry.argument)) return false;
    } else if (entry.command == kExecLoadIniFromCd || entry.command == kExecLoadIniFromHd) {
      bool fromDisc = entry.command == kExecLoadIniFromCd;
      if (fromDisc == (installed != 0)) continue;
      if (reloads == kMaxReloads) continue;
      reloads++;
      char source[MAX_PATH];
      if (fromDisc) {
        lstrcpyA(source, "A:\\");
        source[0] = static_cast<char>('A' + cdDrive - 1);
      } else {
        lstrcpynA(source, installFolder, MAX_PATH);
      }
      if (!reloadScriptFrom(source)) {
        showStartupFailure();
        return false;
      }
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
  if (RegCreateKeyExA(HKEY_CURRENT_USER, config.regAddress, 0, const_cast<char*>(kKeyClass),
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
    return false;
  RegSetValueExA(key, kInstallValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(installFolder), MAX_PATH);
  RegCloseKey(key);
  return true;
}

// The install options dialog, then the full-screen install window. False when
// the window could not be made (the program ends at once).
static bool runInstall(int showCommand) {
  // A dialog that cannot be shown chose nothing: no install starts from it.
  if (DialogBoxParamA(instance, MAKEINTRESOURCEA(kInstallOptionsDialog), nullptr, installOptionsDialogProc, 0) ==
      -1)
    appState = Exit;
  if (appState != Install) return true;

  HWND desktop = GetDesktopWindow();
  RECT area;
  GetWindowRect(desktop, &area);
  WNDCLASSEXA windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = installWindowProc;
  windowClass.hInstance = instance;
  // The program's own icon is stored under the standard application icon's number.
  windowClass.hIcon = LoadIconA(instance, IDI_APPLICATION);
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = kInstallClass;
  windowClass.lpszClassName = kInstallClass;
  RegisterClassExA(&windowClass);
  InitializeCriticalSection(&installLock);

  HWND window = CreateWindowExA(WS_EX_TOPMOST, kInstallClass, kInstallClass, WS_POPUP | WS_CHILD, area.left,
                                area.top, area.right, area.bottom, desktop, nullptr, instance, nullptr);
  if (!window) {
    MessageBoxA(nullptr, "ウィンドウ作成エラー", kInstallClass, MB_OK);
    DeleteCriticalSection(&installLock);
    UnregisterClassA(kInstallClass, instance);
    return false;
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  SetFocus(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  UnregisterClassA(kInstallClass, instance);
  DeleteCriticalSection(&installLock);

  if (appState == Install) {
    // The copy finished: record where the game now lives.
    if (!writeInstallRecord()) {
      MessageBoxA(nullptr, "レジストリエラー", config.appliTitle, MB_OK);
      appState = Exit;
    } else {
      installed = 1;
      appState = Launcher;
    }
  } else if (appState == Launcher) {
    MessageBoxA(nullptr, "インストールを中断しました。", config.appliTitle, MB_OK);
  }
  return true;
}

// Starts the installed game. False when the program is to end at once
// (another instance took the mutex while it was released).
static bool startGame() {
  closeInstanceMutex();
  char program[MAX_PATH];
  char commandLine[MAX_PATH + 2];
  bool built = joinPath(program, installFolder, config.exeName);
  // Quoted, so that an install folder with blanks reaches the game as one
  // path rather than as several arguments.
  if (built) wsprintfA(commandLine, "\"%s\"", program);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (built && CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, installFolder,
                              &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    appState = Exit;
    return true;
  }
  if (!takeInstanceMutex()) return false;
  MessageBoxA(nullptr, "起動に失敗しました。再インストールする事をお薦めします。", config.appliTitle, MB_OK);
  appState = Launcher;
  return true;
}

// Loops over the states until Exit. False when the program is to end at
// once, without the exit path.
static bool runMainLoop(int showCommand) {
  while (appState != Exit) {
    switch (appState) {
      case Launcher:
        if (DialogBoxParamA(instance, MAKEINTRESOURCEA(kLauncherDialog), nullptr, launcherDialogProc, 0) == -1)
          appState = Exit;  // the dialog could not be shown
        break;
      case Install:
        if (!runInstall(showCommand)) return false;
        break;
      case Uninstall:
        // A dialog that cannot be shown removed nothing.
        if (DialogBoxParamA(instance, MAKEINTRESOURCEA(kUninstallDialog), nullptr, uninstallDialogProc, 0) == -1)
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

// True when the running program is the copy in the temporary folder.
static bool runningFromTemp() {
  char own[MAX_PATH], tempFolder[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !getTempFolder(tempFolder)) return false;
  char* lastBackslash = nullptr;
  for (char* p = own; *p; p = CharNextA(p))
    if (*p == '\\') lastBackslash = p;
  if (!lastBackslash) return false;
  *lastBackslash = 0;
  char ownLong[MAX_PATH], tempLong[MAX_PATH];
  if (!GetLongPathNameA(own, ownLong, MAX_PATH)) lstrcpynA(ownLong, own, MAX_PATH);
  if (!GetLongPathNameA(tempFolder, tempLong, MAX_PATH)) lstrcpynA(tempLong, tempFolder, MAX_PATH);
  return lstrcmpiA(ownLong, tempLong) == 0;
}

// Deletes the temporary script and archive and has the temporary copy of
// the program deleted at the next system start.
static void leaveProgram() {
  char tempFolder[MAX_PATH], path[MAX_PATH];
  if (getTempFolder(tempFolder)) {
    if (joinPath(path, tempFolder, kScriptFile)) DeleteFileA(path);
    if (joinPath(path, tempFolder, kArchiveFile)) DeleteFileA(path);
  }
  // A program started with a mode letter from anywhere else (the disc, the
  // install folder) is no temporary copy and must stay.
  if (runningFromTemp()) scheduleSelfRemoval();
}

// ---- Entry ------------------------------------------------------------------------

static int runProgram(HINSTANCE module, const char* arguments, int showCommand) {
  if (!takeInstanceMutex()) return 0;
  instance = module;
  detectMmx();

  switch (arguments ? arguments[0] : 0) {
    case 0:
    case 'U':
    case 'u': {
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

  // Setup.
  char folder[MAX_PATH];
  size_t used = 0;
  programFilesFolder[0] = 0;
  if (!getSpecialFolder(CSIDL_PROGRAM_FILES, folder) || !appendText(programFilesFolder, &used, folder) ||
      !appendText(programFilesFolder, &used, "\\Slumber"))
    lstrcpyA(programFilesFolder, kFallbackFolder);

  releaseConfig();
  if (!loadConfig()) {
    showStartupFailure();
    releaseConfig();
    closeInstanceMutex();
    return 0;
  }
  readInstallRecord();
  if (!runStartupCommands()) {
    releaseConfig();
    closeInstanceMutex();
    return 0;
  }
  if (!runMainLoop(showCommand)) {
    releaseConfig();
    closeInstanceMutex();
    return 0;
  }

  leaveProgram();
  releaseConfig();
  closeInstanceMutex();
  return 0;
}

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR arguments, int showCommand) {
  runProgram(module, arguments, showCommand);
  return 0;
}
