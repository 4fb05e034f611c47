// The removal of installed files: everything the setup script's lists name
// below the install folder, its makeFolder folders and the folder itself.
// Used by the uninstall dialog and to take back a failed or aborted copy.
#pragma once

#include <cstdint>

#include "install/install_path.h"  // installFolder

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

// ---- Saves Windows moved -------------------------------------------------------

// A game without a manifest of its own that writes its saves into its
// folder below the program files folder has them put by Windows into the
// user's VirtualStore folder `store`, at the install folder without its
// drive (virtualStoreMirror). Removes there what the save-data list names,
// then the folders of its entries that this leaves empty, deepest first, and
// the install folder's place itself when empty; nothing else there, and
// nothing through a link. True when every deletion succeeded or found
// nothing to delete, and when there is no such place (a network folder);
// false when a deletion failed, an entry was refused, the place does not
// fit, or a link was found on the way.
bool removeMovedSaveData(const char* store, const char* folder);

// ---- Taking back one install ---------------------------------------------------

// The files one install has created, in the order it created them; filled
// by the copy (also for a file it did not finish) and read once it has
// ended. Starts zeroed.
struct InstallJournal {
  char (*paths)[260];  // heap block of `capacity` paths
  uint32_t count;
  uint32_t capacity;
  int incomplete;  // memory ran out: a created file may be missing
};

// Notes a created file. False when no memory could be had (the journal is
// then incomplete).
bool journalAdd(InstallJournal* journal, const char* path);
void journalFree(InstallJournal* journal);

// Takes back an install that did not complete: deletes the files the journal
// names, last first, then the makeFolder folders last to first and the
// install folder, each only when empty; the files that were there before the
// install and that it did not write stay. An incomplete journal falls back
// to removeInstalledFilesIn(folder, 0). The journal is emptied, so a second
// call deletes nothing more. True when every deletion succeeded or found
// nothing to delete.
bool takeBackInstall(const char* folder, InstallJournal* journal);
