// The Windows program's process-wide values and the shell helpers its
// launcher, disc prompts, install and uninstall dialogs and install window
// share: the state the main loop runs next, the install flag, the offered
// base folder, the single-instance mutex, the special folders, copying a
// file between folders and starting a program by its full path.
#pragma once

#include <windows.h>

#include <cstdint>

// What the main loop opens next; the dialogs and the install window set it.
enum AppState : int32_t {
  Launcher = 0,
  Install = 1,
  Uninstall = 2,
  StartGame = 3,
  Exit = 4,
};

extern int32_t appState;
extern int32_t installed;                  // 1 when the game counts as installed
extern char programFilesFolder[MAX_PATH];  // base folder offered for installing
extern HANDLE instanceMutex;               // "SLBADVSYS" while this instance runs
extern CRITICAL_SECTION installLock;       // lives as long as the install window
extern HINSTANCE instance;

// Removes one trailing backslash. In UTF-16 a backslash is always a
// character of its own.
void dropTrailingBackslash(wchar_t* path);
// out = folder \ name, in MAX_PATH characters; false when it would not fit.
bool joinWide(wchar_t* out, const wchar_t* folder, const wchar_t* name);

// The path of a shell special folder (a CSIDL number): as the system gives
// it, in MAX_PATH characters; or in code page 932 in 260 bytes (false also
// when it has no code page 932 form).
bool getSpecialFolderWide(int folder, wchar_t* buffer);
bool getSpecialFolder(int folder, char* buffer);

// Copies fromFolder\name to toFolder\name, overwriting, and leaves the copy
// writable. Either folder may end in a backslash.
bool copyFileInto(const wchar_t* name, const wchar_t* fromFolder, const wchar_t* toFolder);

// Starts `program` (a full path) with its path, quoted, and `arguments` as
// its command line, in `folder` (null: the program's own folder). Never
// looked up through the current folder or PATH. False when it did not start.
bool startProgram(const char* program, const char* arguments, const char* folder);
