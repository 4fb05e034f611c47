// The uninstall dialog (109), which the program's main loop opens.
#pragma once

#include <windows.h>

INT_PTR CALLBACK uninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
