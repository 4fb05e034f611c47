// The launcher (dialog 102): the title picture on the left, buttons to
// install or uninstall, start the game, run the DirectX setup from its disc
// and quit. Text literals are compiled to code page 932.
#include <windows.h>

#include "app/shell.h"
#include "gfx/surface_win.h"
#include "media/disc.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "platform/text_win.h"
#include "script/config.h"

enum {
  kStartGameButton = 1,
  kQuitButton = 2,
  kInstallButton = 3,
  kDirectXButton = 4,
  kTitleSize = 320,
};

static Surface* titleSurface = nullptr;

// Starts the DirectX setup from the first of its discs found in a drive or folder,
// asking for the disc until it is found or the player cancels.
static void runDirectXSetup(HWND dialog) {
  char* prompt = static_cast<char*>(heapAlloc(MAX_PATH));
  if (!prompt) return;
  if (config.dxMessage[0])
    lstrcpynA(prompt, config.dxMessage, MAX_PATH);
  else
    wsprintfA(prompt, "%s のディスクを挿入して下さい。", config.appliTitle);

  for (;;) {
    for (int i = 0; i < kDxDiscs; i++) {
      uint32_t disc = config.dxDisc[i];
      if (disc == 0 || disc > kDiscs) continue;
      if (!locateDisc(config.keyFile[disc - 1])) continue;

      char program[MAX_PATH];
      if (!sjisJoin(program, MAX_PATH, discRoot, config.dxPlace) ||
          !startProgram(program, nullptr, nullptr))
        MessageBoxW(nullptr, L"DirectX Setup の起動に失敗しました。", wide(config.appliTitle).s, MB_OK);
      heapFree(prompt);
      appState = Launcher;
      return;
    }
    if (MessageBoxW(dialog, wide(prompt).s, wide(config.appliTitle).s, MB_OKCANCEL) != IDOK) break;
  }
  heapFree(prompt);
  appState = Launcher;
}

// Sets up the buttons and the title picture; false when the picture cannot
// be shown (the dialog then ends with Exit).
static bool initLauncher(HWND dialog) {
  SetWindowTextW(dialog, wide(config.appliTitle).s);
  if (config.dxPlace[0]) EnableWindow(GetDlgItem(dialog, kDirectXButton), TRUE);
  if (installed) {
    SetDlgItemTextW(dialog, kInstallButton, L"アンインストール");
    EnableWindow(GetDlgItem(dialog, kStartGameButton), TRUE);
    SetFocus(GetDlgItem(dialog, kStartGameButton));
  } else {
    SetFocus(GetDlgItem(dialog, kInstallButton));
  }

  // Always exactly 320 x 320 pixels, whatever size the file claims.
  titleSurface = createPictureSurface(dialog, 0, 0, kTitleSize, kTitleSize, "TITLE.EPA");
  return titleSurface != nullptr;
}

INT_PTR CALLBACK launcherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      if (!initLauncher(dialog)) {
        appState = Exit;
        EndDialog(dialog, 0);
      }
      return FALSE;  // the focus is set above

    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(dialog, &paint);
      if (titleSurface) presentSurfaceRect(dialog, titleSurface, &paint.rcPaint);
      EndPaint(dialog, &paint);
      return TRUE;
    }

    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(GetStockObject(BLACK_BRUSH));

    case WM_COMMAND:
      switch (wParam) {
        case kStartGameButton:
          appState = StartGame;
          EndDialog(dialog, 0);
          return TRUE;
        case kQuitButton:
          appState = Exit;
          EndDialog(dialog, 0);
          return TRUE;
        case kInstallButton:
          appState = installed ? Uninstall : Install;
          EndDialog(dialog, 0);
          return TRUE;
        case kDirectXButton:
          runDirectXSetup(dialog);
          return TRUE;
      }
      return FALSE;

    case WM_CLOSE:
      appState = Exit;
      EndDialog(dialog, 0);
      return TRUE;

    case WM_DESTROY:
      destroySurface(titleSurface);
      titleSurface = nullptr;
      return FALSE;
  }
  return FALSE;
}
