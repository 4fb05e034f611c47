// The install window: the full-screen window that plays the install scene
// while one copy thread per disc moves the chosen files to the install
// folder. It creates the folders, asks for each disc in turn, turns the copy
// counters into the scene's progress on a 100 ms timer, asks before an
// abort, reports copy errors, makes the shortcuts at the end and leaves the
// outcome in appState. Text literals are compiled to code page 932; texts
// reach the system in UTF-16.
#include <windows.h>

#include <atomic>

#include "gfx/scene.h"
#include "gfx/surface_win.h"
#include "install/copy_walk.h"
#include "install/install_win.h"
#include "install/removal.h"
#include "media/disc.h"
#include "platform/platform.h"
#include "platform/shell_win.h"
#include "platform/text_win.h"
#include "platform/winmm_win.h"
#include "script/config.h"

uint32_t installOption = 8;

enum : UINT_PTR {
  kTickMilliseconds = 100,
  kFinishTimer = 1010,
};

// Everything one install run keeps; set up on WM_CREATE.
struct InstallRun {
  Surface* surface;  // guarded by installLock
  DirtyRect** dirtyList;
  uint32_t nextDisc;
  uint64_t progressScale;  // twice the selected bytes: each is read and written
  HANDLE workerThread;
  DWORD workerThreadId;
  bool installFinished;
  bool finishShown;    // the FINISH pictures have been drawn
  bool asking;         // the abort question is open
  bool prompting;      // a disc is being asked for
  bool discPending;    // a next-disc step waits for the question's answer
  bool closing;        // MSG_CLOSE_INSTALL or an error report is under way
  bool closePending;   // a close waits for the question's answer
  bool errorShown;     // a copy error was reported: the install ends with Exit
  bool undoOnClose;    // an abort: take back what was installed when closing
  bool created;        // WM_CREATE went through: the window's end ends the loop
  CopyJob job;         // what the running copy thread reads
  InstallJournal journal;          // every folder and file this install has made or replaced
  char sourceRoot[kDiscRootSize];  // "E:\", "C:\Games\Set\disc2\"
};

static InstallRun run;
static std::atomic<uint64_t> bytesRead{0};
static std::atomic<uint64_t> bytesWritten{0};
// Set by a copy thread once its message queue exists, so that a pause posted
// right after the start is not lost.
static HANDLE queueReady = nullptr;

// ---- Scene hooks ------------------------------------------------------------

static uint32_t clockNow() { return multimediaTime(); }

static int stretchOntoSurface(Surface* surface, const uint32_t* pixels, int32_t width, int32_t height) {
  return stretchPictureToSurface(surface, pixels, width, height);
}

// One frame step, and the rectangles it changed onto the screen.
static void stepScene(HWND window, int32_t pass, int32_t value) {
  EnterCriticalSection(&installLock);
  Surface* surface = run.surface;
  LeaveCriticalSection(&installLock);
  if (!surface) return;
  if (sceneStep(pass, value, surface, run.dirtyList)) presentDirtyRects(window, surface, run.dirtyList);
}

// ---- Copy thread --------------------------------------------------------------

// The copy's message check: a WM_CLOSE aborts; a WM_KEYDOWN pauses until the
// next thread message, which aborts when it is WM_CLOSE and resumes otherwise.
static int checkThreadMessages(void*) {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return kCopyContinue;
  if (message.message == WM_CLOSE) return kCopyAbort;
  if (message.message == WM_KEYDOWN) {
    if (GetMessageW(&message, nullptr, 0, 0) <= 0 || message.message == WM_CLOSE) return kCopyAbort;
  }
  return kCopyContinue;
}

static void postToWindow(void* context, uint32_t message, int disc, int entry) {
  PostMessageW(static_cast<HWND>(context), message, static_cast<WPARAM>(disc), static_cast<LPARAM>(entry));
}

static DWORD WINAPI copyThread(LPVOID) {
  MSG message;
  PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue
  SetEvent(queueReady);
  copyDisc(&run.job);
  return 0;
}

// Waits for the copy thread to end and forgets it.
static void waitForCopyThread() {
  if (!run.workerThread) return;
  WaitForSingleObject(run.workerThread, INFINITE);
  CloseHandle(run.workerThread);
  run.workerThread = nullptr;
}

// Starts the copy of disc `disc` from where requestDisc found it. False
// when no thread could be had.
static bool startCopyThread(HWND window, int disc) {
  lstrcpynA(run.sourceRoot, discRoot, kDiscRootSize);
  run.job.disc = disc;
  run.job.installOption = installOption;
  run.job.installFolder = installFolder;
  run.job.sourceRoot = run.sourceRoot;
  run.job.bytesRead = &bytesRead;
  run.job.bytesWritten = &bytesWritten;
  run.job.check = checkThreadMessages;
  run.job.post = postToWindow;
  run.job.context = window;  // the window the copy posts to
  run.job.journal = &run.journal;
  if (!queueReady) queueReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!queueReady) return false;
  ResetEvent(queueReady);
  run.workerThread = CreateThread(nullptr, 0, copyThread, nullptr, 0, &run.workerThreadId);
  if (!run.workerThread) return false;
  WaitForSingleObject(queueReady, INFINITE);
  return true;
}

// ---- Install run ----------------------------------------------------------------

// True when the disc's list has an entry the chosen option selects. A disc
// is skipped only when it has nothing to copy, not when the script declares
// no size for what it has.
static bool discHasSelectedFiles(uint32_t disc) {
  if (disc >= kDiscs) return false;
  for (int i = 0; i < kFilesPerDisc && config.fileList[disc][i] && config.fileList[disc][i][0]; i++)
    if (config.fileOption[disc][i] & installOption) return true;
  return false;
}

static bool folderExists(const char* folder) {
  wchar_t name[MAX_PATH];
  if (!widen(folder, name, MAX_PATH)) return false;
  DWORD attributes = GetFileAttributesW(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What MSG_FOLDER_ERROR reports (wParam; lParam the makeFolder entry).
enum : WPARAM { kFolderNotMade = 0, kFolderEntryRefused = 1 };

static LRESULT startInstall(HWND window) {
  sceneClock = clockNow;
  sceneStretch = stretchOntoSurface;
  ZeroMemory(&run, sizeof run);

  EnterCriticalSection(&installLock);
  run.surface = createWindowSurface(window);
  LeaveCriticalSection(&installLock);
  run.dirtyList = run.surface ? createDirtyList() : nullptr;
  if (!run.dirtyList) {
    // The window is not made: its destruction must not end the program's
    // message loop, and the creator reports the failure.
    appState = Exit;
    return -1;
  }
  run.created = true;
  stepScene(window, kScenePassSetup, 0);
  // The scene's 0 % state right away: the pictures that start with the copy
  // show while the first disc is asked for, and a bar that starts at 0 % is
  // prepared even when the first timer tick comes late. Sprites wait for
  // the copy's first tick, so that their clocks start with it.
  stepScene(window, kScenePassPrepare, 0);

  bytesRead = 0;
  bytesWritten = 0;
  run.progressScale = 2 * selectedByteTotal(-1, installOption);
  // Nothing is copied into a folder that could not be made.
  int refused = -1;
  if (!createInstallFolders(&refused, &run.journal) && refused >= 0)
    PostMessageW(window, MSG_FOLDER_ERROR, kFolderEntryRefused, refused);
  else if (!folderExists(installFolder))
    PostMessageW(window, MSG_FOLDER_ERROR, kFolderNotMade, 0);
  else
    PostMessageW(window, MSG_NEXT_DISC, 0, 0);
  return 0;
}

static void tick(HWND window);

static void nextDisc(HWND window) {
  if (run.nextDisc != 0) KillTimer(window, run.nextDisc - 1);
  bool copied = run.workerThread != nullptr;
  waitForCopyThread();
  if (run.closing) return;
  // The disc's last progress, shown while the next disc is asked for.
  if (copied) tick(window);
  if (run.asking) {
    // The copy stays paused while the abort question is open.
    run.discPending = true;
    return;
  }
  while (run.nextDisc < config.discNum && !discHasSelectedFiles(run.nextDisc)) run.nextDisc++;
  if (run.nextDisc >= config.discNum) {
    PostMessageW(window, MSG_INSTALL_DONE, 0, 0);
    return;
  }
  run.prompting = true;
  int found = requestDisc(window, run.nextDisc + 1, discKeyFile(run.nextDisc + 1),
                          discPromptName(run.nextDisc + 1));
  run.prompting = false;
  if (!found || !startCopyThread(window, static_cast<int>(run.nextDisc))) {
    appState = Launcher;
    run.undoOnClose = true;
    run.closing = true;
    PostMessageW(window, MSG_CLOSE_INSTALL, 0, 0);
    return;
  }
  SetTimer(window, run.nextDisc, kTickMilliseconds, nullptr);
  run.nextDisc++;
}

static void tick(HWND window) {
  EnterCriticalSection(&installLock);
  bool haveSurface = run.surface != nullptr;
  LeaveCriticalSection(&installLock);
  if (!haveSurface) return;
  if (run.installFinished) {
    stepScene(window, kScenePassTick, kSceneValueAfterFinish);
    if (!run.finishShown) {
      // The first tick after completion has taken off what ends with it;
      // the FINISH pictures go on top now.
      run.finishShown = true;
      stepScene(window, kScenePassFinish, kSceneValueAfterFinish);
    }
    return;
  }
  if (run.progressScale == 0) return;
  uint64_t done = bytesRead.load() + bytesWritten.load();
  uint64_t value = done * 1000 / run.progressScale;
  if (value > 1000) value = 1000;
  stepScene(window, kScenePassTick, static_cast<int32_t>(value));
}

static void finishInstall(HWND window) {
  stepScene(window, kScenePassTick, kSceneValueCompleted);
  waitForCopyThread();
  createShortcuts();
  run.installFinished = true;
  SetTimer(window, kFinishTimer, kTickMilliseconds, nullptr);
}

static void closeInstall(HWND window) {
  if (run.asking) {
    run.closePending = true;
    return;
  }
  run.closing = true;
  waitForCopyThread();
  // An abort takes back what this install has written, and nothing else: a
  // copy thread that was stopped or failed has done so already (the journal
  // is then empty); otherwise (stopped between discs, at a disc prompt or
  // after the end) it is done here.
  if (run.undoOnClose) {
    takeBackInstall(installFolder, &run.journal);
    if (run.installFinished) removeShortcuts();
  }
  DestroyWindow(window);
}

static void reportError(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (run.closing) return;
  run.closing = true;
  // Set before the box opens: an abort question open under it must not
  // turn the end of the install into a return to the launcher.
  run.errorShown = true;
  char text[MAX_PATH + 128];
  if (message == MSG_FOLDER_ERROR && wParam == kFolderEntryRefused && lParam >= 0 && lParam < kMakeFolders) {
    // A folder the script names that would lie outside the install folder.
    wsprintfA(text, "ディレクトリエラー\r\n 設定ファイルのフォルダ指定 %s が正しくありません。",
              config.makeFolder[lParam]);
  } else if (message == MSG_FOLDER_ERROR) {
    lstrcpyA(text, "ディレクトリエラー\r\n インストールディレクトリが作成できません。");
  } else {
    const char* path = "";
    if (wParam < kDiscs && lParam >= 0 && lParam < kFilesPerDisc && config.fileList[wParam][lParam])
      path = config.fileList[wParam][lParam];
    wsprintfA(text,
              message == MSG_READ_ERROR ? "ファイルリードエラー\r\n %s が正しく読めませんでした。"
                                        : "ファイルライトエラー\r\n %s をハードディスクに書き込めませんでした。",
              path);
  }
  MessageBoxW(window, wide(text).s, wide(config.appliTitle).s, MB_OK);
  appState = Exit;
  // The copy thread has taken back what it installed; folders made before a
  // folder error are taken back here.
  run.undoOnClose = message == MSG_FOLDER_ERROR;
  PostMessageW(window, MSG_CLOSE_INSTALL, 0, 0);
}

// Escape, Alt+F4 or a close from outside: pause the copy, ask, then resume
// or abort.
static void askAbort(HWND window) {
  // While a disc is asked for, its own Cancel is the way out.
  if (run.asking || run.closing || run.prompting) return;
  DWORD pausedThread = run.workerThread ? run.workerThreadId : 0;
  if (pausedThread) PostThreadMessageW(pausedThread, WM_KEYDOWN, 0, 0);
  run.asking = true;
  int answer = MessageBoxW(window, L"インストールを中断しますか？", L"確認", MB_YESNO);
  run.asking = false;
  if (run.closePending || run.errorShown) {
    // An error report came in meanwhile: it ends the install, whatever the
    // answer.
    run.closePending = false;
    if (pausedThread) PostThreadMessageW(pausedThread, WM_KEYDOWN, 0, 0);
    PostMessageW(window, MSG_CLOSE_INSTALL, 0, 0);
    return;
  }
  if (answer == IDNO) {
    if (pausedThread) PostThreadMessageW(pausedThread, WM_KEYDOWN, 0, 0);
    if (run.discPending) {
      run.discPending = false;
      PostMessageW(window, MSG_NEXT_DISC, 0, 0);
    }
    return;
  }
  if (run.workerThread) PostThreadMessageW(run.workerThreadId, WM_CLOSE, 0, 0);
  appState = Launcher;
  run.undoOnClose = true;
  run.closing = true;  // an error the stopped copy may still post is not shown
  run.discPending = false;
  PostMessageW(window, MSG_CLOSE_INSTALL, 0, 0);
}

static void endInstall() {
  releaseScene();
  heapFree(run.dirtyList);
  run.dirtyList = nullptr;
  EnterCriticalSection(&installLock);
  destroySurface(run.surface);
  run.surface = nullptr;
  LeaveCriticalSection(&installLock);
  if (queueReady) CloseHandle(queueReady);
  queueReady = nullptr;
  // An install that completed keeps what it wrote: the former content of
  // the files it replaced goes now. Anything else was taken back already.
  if (appState == Install) journalCommit(&run.journal);
  journalFree(&run.journal);
  // A window whose creation failed leaves the loop that was never entered
  // alone (a quit message would close the creation error's message box).
  if (run.created) PostQuitMessage(0);
}

// ---- Procedure ----------------------------------------------------------------------

LRESULT CALLBACK installWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return startInstall(window);

    case WM_DESTROY:
      endInstall();
      return 0;

    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EnterCriticalSection(&installLock);
      if (run.surface) presentSurfaceRect(window, run.surface, &paint.rcPaint);
      LeaveCriticalSection(&installLock);
      EndPaint(window, &paint);
      return 0;
    }

    case WM_ACTIVATEAPP:
      ShowWindow(window, LOWORD(wParam) ? SW_RESTORE : SW_MINIMIZE);
      return 0;

    case WM_KEYDOWN:
      if (wParam == VK_RETURN || wParam == VK_SPACE) {
        if (run.installFinished && !run.closing && !run.asking) DestroyWindow(window);
      } else if (wParam == VK_ESCAPE) {
        askAbort(window);
      }
      return 0;

    case WM_SYSKEYDOWN:
      // Alt+F4 asks like Escape; no system key acts by itself.
      if (wParam == VK_F4) askAbort(window);
      return 0;

    case WM_SYSCHAR:
      // The character of a system key would open the window menu (Alt+Space).
      return 0;

    case WM_CLOSE:
      // A close from outside (the task bar, another program) asks as well,
      // rather than ending the window under a running copy, which would
      // leave the install looking complete. During a disc prompt, which
      // leaves no question to ask, it is the prompt's Cancel.
      if (run.prompting)
        cancelDiscPrompt();
      else
        askAbort(window);
      return 0;

    case WM_TIMER:
      tick(window);
      return 0;

    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (run.installFinished && !run.closing && !run.asking) DestroyWindow(window);
      return 0;

    case MSG_READ_ERROR:
    case MSG_WRITE_ERROR:
    case MSG_FOLDER_ERROR:
      reportError(window, message, wParam, lParam);
      return 0;

    case MSG_NEXT_DISC:
      nextDisc(window);
      return 0;

    case MSG_INSTALL_DONE:
      finishInstall(window);
      return 0;

    case MSG_CLOSE_INSTALL:
      closeInstall(window);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
