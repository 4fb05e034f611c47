#include "install/removal.h"

#include <cstring>

#include "install/file_ops.h"
#include "install/install_path.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "script/config.h"

// Deletes the file, or the plain files a pattern matches, that `entry` names
// below `folder`. False when a deletion failed for another reason than the
// file being gone already, or when the entry is refused.
static bool removeEntry(const FileOps* ops, const char* folder, const char* entry) {
  char path[kPathSize];
  if (!installPath(path, folder, entry, nullptr)) return false;
  if (!entryIsPattern(entry)) return ops->deleteFile(path) != kDeleteFailed;

  char part[kPathSize], match[kPathSize];
  patternFolderPart(entry, part);
  bool result = true;
  FoundName found;
  void* search = ops->findFirst(path, &found);
  if (!search) return true;
  do {
    // Only names the pattern matches by themselves: a search on Windows also
    // matches short 8.3 aliases, and the player's NOTES.DATA must not go
    // for *.DAT.
    // A name code page 932 cannot write was never installed by the program.
    if (found.isFolder || found.foreign || !nameMatchesPattern(entry, found.name)) continue;
    if (!installPath(match, folder, part, found.name) || ops->deleteFile(match) == kDeleteFailed)
      result = false;
  } while (ops->findNext(search, &found));
  ops->findClose(search);
  return result;
}

// Removes the makeFolder folders last to first and, after 100 ms, the folder
// itself, each only when empty. False when a makeFolder entry is refused.
static bool removeFolders(const FileOps* ops, const char* folder, const char* root) {
  bool result = true;
  int folders = 0;
  while (folders < kMakeFolders && config.makeFolder[folders][0]) folders++;
  char path[kPathSize];
  for (int k = folders - 1; k >= 0; k--) {
    if (installPath(path, folder, config.makeFolder[k], nullptr))
      ops->removeFolder(path);
    else
      result = false;
  }

  ops->sleep(100);
  // The folder cannot go while it is the current one: step out to the root.
  lockCurrentFolder();
  ops->setCurrent(root);
  ops->removeFolder(folder);
  unlockCurrentFolder();
  return result;
}

bool removeInstalledFilesIn(const char* folder, int deleteSaveData) {
  char root[kPathSize];
  if (!folderIsUsable(folder) || !driveRootOf(folder, root, sizeof root)) return false;
  const FileOps* ops = fileOps();
  bool result = true;

  // Picture loading on another thread sets the current folder and opens
  // names relative to it under the same lock; every path here is full.
  lockCurrentFolder();
  ops->setCurrent(folder);
  unlockCurrentFolder();

  if (deleteSaveData) {
    for (int k = 0; k < kSaveDataItems && config.saveData[k][0]; k++)
      if (!removeEntry(ops, folder, config.saveData[k])) result = false;
  }
  for (int disc = 0; disc < kDiscs; disc++) {
    const char* const* list = config.fileList[disc];
    if (!list[0] || !list[0][0]) break;
    for (int i = 0; i < kFilesPerDisc && list[i] && list[i][0]; i++)
      if (!removeEntry(ops, folder, list[i])) result = false;
  }

  return removeFolders(ops, folder, root) && result;
}

bool removeInstalledFiles(int deleteSaveData) {
  return removeInstalledFilesIn(installFolder, deleteSaveData);
}

// ---- Saves Windows moved -------------------------------------------------------

static bool isLink(const FileOps* ops, const char* path) {
  return ops->isLink && ops->isLink(path);
}

// True when no folder from `top` (a folder `path` begins with, given
// without a trailing separator) down to `path` is a link.
static bool noLinkBelow(const FileOps* ops, const char* top, const char* path) {
  char level[kPathSize];
  for (size_t i = strlen(top); i <= strlen(path); i += sjisCharLength(path + i)) {
    if (path[i] != 0 && path[i] != '\\' && path[i] != '/') continue;
    memcpy(level, path, i);
    level[i] = 0;
    if (isLink(ops, level)) return false;
  }
  return true;
}

bool removeMovedSaveData(const char* store, const char* folder) {
  char mirror[kPathSize];
  if (!virtualStoreMirror(mirror, store, folder)) return false;
  if (!mirror[0]) return true;
  const FileOps* ops = fileOps();
  // Every program of the player can write there: a link planted on the way
  // would lead the deletions anywhere.
  if (!noLinkBelow(ops, store, mirror)) return false;
  bool result = true;
  char part[kPathSize], path[kPathSize];
  for (int k = 0; k < kSaveDataItems && config.saveData[k][0]; k++) {
    const char* entry = config.saveData[k];
    patternFolderPart(entry, part);
    if (installPath(path, mirror, part[0] ? part : nullptr, nullptr) &&
        !noLinkBelow(ops, mirror, path))
      result = false;
    else if (!removeEntry(ops, mirror, entry))
      result = false;
  }
  // The folders the entries lie in, each level up to the mirror; a folder
  // still holding anything stays.
  for (int k = 0; k < kSaveDataItems && config.saveData[k][0]; k++) {
    char level[kPathSize];
    patternFolderPart(config.saveData[k], part);
    while (part[0]) {
      if (installPath(path, mirror, part, nullptr) && !isLink(ops, path)) ops->removeFolder(path);
      patternFolderPart(part, level);
      strcpy(part, level);
    }
  }
  ops->removeFolder(mirror);
  return result;
}

// ---- Taking back one install ---------------------------------------------------

bool journalBackupName(const char* path, int n, char* out) {
  static const char kSuffix[] = ".ksetup-old";
  out[0] = 0;
  if (n < 0 || n >= kJournalBackups) return false;
  size_t length = strlen(path);
  if (length + sizeof kSuffix + 1 > kPathSize) return false;
  memcpy(out, path, length);
  memcpy(out + length, kSuffix, sizeof kSuffix);
  if (n > 0) {
    out[length + sizeof kSuffix - 1] = static_cast<char>('0' + n);
    out[length + sizeof kSuffix] = 0;
  }
  return true;
}

// Room for one more entry. False when no memory could be had.
static bool journalReserve(InstallJournal* journal) {
  if (journal->count < journal->capacity) return true;
  uint32_t capacity = journal->capacity ? journal->capacity * 2 : 64;
  JournalEntry* entries =
      static_cast<JournalEntry*>(heapAlloc(size_t(capacity) * sizeof(JournalEntry)));
  if (!entries) {
    journal->incomplete = 1;
    return false;
  }
  if (journal->count)
    memcpy(entries, journal->entries, size_t(journal->count) * sizeof(JournalEntry));
  heapFree(journal->entries);
  journal->entries = entries;
  journal->capacity = capacity;
  return true;
}

static bool journalNote(InstallJournal* journal, const char* path, JournalKind kind, int backup) {
  if (!journal) return true;
  if (strlen(path) >= kPathSize || !journalReserve(journal)) return false;
  JournalEntry* entry = &journal->entries[journal->count++];
  memcpy(entry->path, path, strlen(path) + 1);
  entry->kind = kind;
  entry->backup = static_cast<uint8_t>(backup);
  return true;
}

bool journalAdd(InstallJournal* journal, const char* path) {
  return journalNote(journal, path, kJournalFile, 0);
}

bool journalAddFolder(InstallJournal* journal, const char* path) {
  return journalNote(journal, path, kJournalFolder, 0);
}

bool journalPrepareWrite(InstallJournal* journal, const char* path) {
  if (!journal) return true;
  // The entry's room first: a file moved aside is never left unnoted.
  if (strlen(path) >= kPathSize || !journalReserve(journal)) return false;
  const FileOps* ops = fileOps();
  char backup[kPathSize];
  if (!journalBackupName(path, 0, backup)) {
    // No room for a backup's name: only a path where nothing is yet can be
    // written.
    FoundName found;
    void* search = ops->findFirst(path, &found);
    if (search) ops->findClose(search);
    return !search && journalNote(journal, path, kJournalFile, 0);
  }
  for (int n = 0; n < kJournalBackups; n++) {
    if (!journalBackupName(path, n, backup)) return false;
    MoveResult moved = ops->moveFile(path, backup);
    if (moved == kMoveMissing) return journalNote(journal, path, kJournalFile, 0);
    if (moved == kMoveDone) return journalNote(journal, path, kJournalReplaced, n);
    if (moved != kMoveExists) return false;
    // A backup of that name is there already (left by an install that never
    // ended): the next number.
  }
  return false;
}

void journalCommit(InstallJournal* journal) {
  if (!journal) return;
  const FileOps* ops = fileOps();
  char backup[kPathSize];
  for (uint32_t i = 0; i < journal->count; i++) {
    const JournalEntry& entry = journal->entries[i];
    if (entry.kind == kJournalReplaced && journalBackupName(entry.path, entry.backup, backup))
      ops->deleteFile(backup);
  }
  journal->count = 0;
  journal->incomplete = 0;
}

void journalFree(InstallJournal* journal) {
  if (!journal) return;
  heapFree(journal->entries);
  memset(journal, 0, sizeof *journal);
}

bool takeBackInstall(const char* folder, InstallJournal* journal) {
  char root[kPathSize];
  if (!folderIsUsable(folder) || !driveRootOf(folder, root, sizeof root)) return false;
  const FileOps* ops = fileOps();
  bool result = true;
  bool folders = false;
  char backup[kPathSize];
  // An incomplete journal lacks no change: the copy stops before a change it
  // cannot note.
  for (uint32_t i = journal->count; i-- > 0;) {
    const JournalEntry& entry = journal->entries[i];
    if (entry.kind == kJournalFolder) {
      folders = true;
      continue;
    }
    if (ops->deleteFile(entry.path) == kDeleteFailed) {
      result = false;
      continue;  // a backup stays where it is rather than be lost
    }
    if (entry.kind == kJournalReplaced && (!journalBackupName(entry.path, entry.backup, backup) ||
                                           ops->moveFile(backup, entry.path) != kMoveDone))
      result = false;
  }
  if (folders) {
    ops->sleep(100);
    // A folder cannot go while it is the current one: step out to the root.
    lockCurrentFolder();
    ops->setCurrent(root);
    for (uint32_t i = journal->count; i-- > 0;)
      if (journal->entries[i].kind == kJournalFolder) ops->removeFolder(journal->entries[i].path);
    unlockCurrentFolder();
  }
  journal->count = 0;
  journal->incomplete = 0;
  return result;
}
