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

// What one journal entry notes.
enum JournalKind : uint8_t {
  kJournalFile = 0,  // a file the install created where there was none
  kJournalReplaced =
      1,  // a file that was there, moved aside to a backup before the install wrote its own
  kJournalFolder = 2,  // a folder the install created
};

struct JournalEntry {
  char path[260];
  uint8_t kind;    // JournalKind
  uint8_t backup;  // kJournalReplaced: the number in the backup's name (journalBackupName)
};

// What one install has changed, in the order it changed it: the folders it
// made, the files it created (also a file it did not finish) and the files
// it replaced, whose former content it keeps in a backup beside them until
// the install completes. Filled by the folder creation and the copy, read
// once they have ended. Starts zeroed.
struct InstallJournal {
  JournalEntry* entries;  // heap block of `capacity` entries
  uint32_t count;
  uint32_t capacity;
  int incomplete;  // memory ran out: a change may be missing
};

enum : int { kJournalBackups = 10 };

// The name of backup number `n` (0 to 9) of `path`: the path with
// ".ksetup-old" and, from 1 on, the number after it. False when it does not
// fit in 260 bytes.
bool journalBackupName(const char* path, int n, char* out);

// Notes a created file or folder. False when no memory could be had (the
// journal is then incomplete).
bool journalAdd(InstallJournal* journal, const char* path);
bool journalAddFolder(InstallJournal* journal, const char* path);

// Before the install writes `path`: a file already there is moved aside to
// a free backup name and noted as replaced, otherwise the path is noted as
// created. False, with nothing changed, when the file there cannot be moved
// aside (locked, no free backup name) or nothing could be noted. Without a
// journal nothing is done and the result is true.
bool journalPrepareWrite(InstallJournal* journal, const char* path);

// The install completed: the backups of the replaced files are deleted and
// the journal is emptied, so that nothing is taken back any more.
void journalCommit(InstallJournal* journal);
void journalFree(InstallJournal* journal);

// Takes back an install that did not complete, last change first: deletes
// the files it created, puts the replaced files' former content back, and
// removes the folders it made (each only when empty, after 100 ms, with the
// root of the drive current). Files and folders that were there before and
// that it did not write stay as they were. The journal is emptied, so a
// second call changes nothing more. True when every file was deleted or
// restored (a file already gone counts as deleted).
bool takeBackInstall(const char* folder, InstallJournal* journal);
