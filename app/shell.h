// The program shell's process-wide values, shared by the launcher, the disc
// prompts, the install and uninstall dialogs and the install window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "uninstall/removal.h"  // installFolder

// What the main loop opens next; the dialogs and the install window set it.
enum AppState : int32_t {
  Launcher = 0,
  Install = 1,
  Uninstall = 2,
  StartGame = 3,
  Exit = 4,
};

extern int32_t appState;
extern int32_t installed;                    // 1 when the game counts as installed
extern char programFilesFolder[MAX_PATH];    // base folder offered for installing
extern HANDLE instanceMutex;                 // "SLBADVSYS" while this instance runs
extern CRITICAL_SECTION installLock;         // lives as long as the install window
extern HINSTANCE instance;

// The path of a shell special folder (a CSIDL number) in a 260-byte buffer.
bool getSpecialFolder(int folder, char* buffer);

// Copies fromFolder\name to toFolder\name, overwriting, and leaves the copy
// writable. Either folder may end in a backslash.
bool copyFileInto(const char* name, const char* fromFolder, const char* toFolder);

// Dialog 102, the launcher.
INT_PTR CALLBACK launcherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Dialog 101 (install options), the install window and dialog 109 (uninstall).
INT_PTR CALLBACK installOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK installWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK uninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
