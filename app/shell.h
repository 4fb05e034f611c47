// The program shell's own dialog, the launcher, beside the process-wide
// values and shell helpers it shares with the disc prompts, the install and
// uninstall dialogs and the install window (platform/shell_win.h).
#pragma once

#include <windows.h>

#include "platform/shell_win.h"

// Dialog 102, the launcher.
INT_PTR CALLBACK launcherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
