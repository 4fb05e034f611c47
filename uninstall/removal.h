// The removal of installed files: everything the setup script's lists name
// below the install folder, its makeFolder folders and the folder itself.
// Used by the uninstall dialog and to take back a failed or aborted copy.
#pragma once

// The folder the game is (being) installed in; 259 bytes and a zero.
extern char installFolder[260];

// Removes, below `installFolder`, the save data when `deleteSaveData` is
// non-zero, every file any disc's file list names (patterns matched there,
// folders passed over), the makeFolder folders last to first, and after
// 100 ms the install folder itself, leaving the root of its drive as the
// current folder. True when every deletion succeeded or found nothing to
// delete; false when one failed, when an entry was refused (it would reach
// outside the folder or not fit in 260 bytes), or when the install folder
// itself is empty or not a full path (then nothing is touched).
bool removeInstalledFiles(int deleteSaveData);
// The same for a given folder.
bool removeInstalledFilesIn(const char* folder, int deleteSaveData);
