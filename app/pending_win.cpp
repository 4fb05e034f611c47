// Stand-ins for the install options dialog, the install window and the
// uninstall dialog until they are built: each returns straight to the
// launcher without showing anything and without touching the game.
#include "app/shell.h"

INT_PTR CALLBACK installOptionsDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    appState = Launcher;
    EndDialog(dialog, 0);
  }
  return FALSE;
}

LRESULT CALLBACK installWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK uninstallDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    appState = Launcher;
    EndDialog(dialog, 0);
  }
  return FALSE;
}
