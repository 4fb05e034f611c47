// The Windows side of installing and uninstalling: the chosen install
// option, the install window's own messages, the Programs-menu shortcuts,
// and the procedures of the install options dialog and the install window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "install/copy_walk.h"  // MSG_READ_ERROR, MSG_WRITE_ERROR, MSG_NEXT_DISC
#include "install/install_path.h"

// Dialog 101 (install options) and the install window.
INT_PTR CALLBACK installOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK installWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The install option chosen in the options dialog: 8 (first choice, the
// whole game), 4 or 2. A file list entry is copied when its option mask
// shares a bit with it.
extern uint32_t installOption;

// The install window's messages besides those the copy posts.
enum : UINT {
  MSG_FOLDER_ERROR = 0x504,   // the install folder cannot be created
  MSG_INSTALL_DONE = 0x600,   // every disc has been copied
  MSG_CLOSE_INSTALL = 0x601,  // wait for the copy thread, then close
};

// Makes the Programs-menu folders brandName and brandName\appliTitle and one
// shell link per shortcutName in the latter, aiming into installFolder.
// False when no working memory, no Programs folder or no COM could be had.
bool createShortcuts();

// Writes one shell link file at `linkPath`. Returns the result of saving it,
// or the failing result of creating the link object or asking it for
// IPersistFile.
HRESULT createShellLink(const wchar_t* linkPath, const char* target, const char* description,
                        const char* arguments, const char* workingFolder, const char* iconPath,
                        int iconIndex, int showCommand);

// Deletes the shortcut files and the game's and maker's menu folders. True
// when every shortcut and the game's menu folder went.
bool removeShortcuts();

// The game's Programs-menu folder (Programs\brandName\appliTitle, a level
// left out when its name is empty) in `folder`, and the maker's level in
// `brandFolder` (emptied when there is no separate maker's level); both
// MAX_PATH characters. False when the shell gives no Programs folder, both
// names are empty, a name would reach outside the menu or a path does not fit.
bool gameMenuFolder(wchar_t* folder, wchar_t* brandFolder);
// Appends a backslash and a code page 932 name to a folder of MAX_PATH
// characters. False, with `folder` unchanged, when it does not fit.
bool appendWideName(wchar_t* folder, const char* name);

// ---- A player without administrator rights -------------------------------------

// True when this process can make a folder at `folder`: a probe folder is
// made and removed again at the nearest level of it that exists. False also
// when not even its drive exists.
bool folderIsWritable(const char* folder);
// The folder for the user's own programs (FOLDERID_UserProgramFiles,
// "Programs" in the local application data), made when missing, in `out`
// (260 bytes). False when there is none or it has no code page 932 form.
bool userProgramsFolder(char* out);
// The user's VirtualStore folder (in the local application data) in `out`
// (260 bytes). True with `out` empty when the user has no local application
// data; false when its path has no code page 932 form or does not fit.
bool virtualStoreFolder(char* out);

// ---- Bounded text -----------------------------------------------------------

// Joins up to four parts with backslashes into `out` (260 bytes), leaving
// out null and empty parts. False, with `out` emptied, when it does not fit.
bool joinWithBackslashes(char* out, const char* a, const char* b, const char* c = nullptr,
                         const char* d = nullptr);
