#include "uninstall/removal.h"

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

static bool isLink(const FileOps* ops, const char* path) { return ops->isLink && ops->isLink(path); }

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
    if (installPath(path, mirror, part[0] ? part : nullptr, nullptr) && !noLinkBelow(ops, mirror, path))
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

bool journalAdd(InstallJournal* journal, const char* path) {
  if (!journal) return true;
  if (journal->count == journal->capacity) {
    uint32_t capacity = journal->capacity ? journal->capacity * 2 : 64;
    char(*paths)[kPathSize] = static_cast<char(*)[kPathSize]>(heapAlloc(size_t(capacity) * kPathSize));
    if (!paths) {
      journal->incomplete = 1;
      return false;
    }
    if (journal->count) memcpy(paths, journal->paths, size_t(journal->count) * kPathSize);
    heapFree(journal->paths);
    journal->paths = paths;
    journal->capacity = capacity;
  }
  strncpy(journal->paths[journal->count], path, kPathSize - 1);
  journal->paths[journal->count][kPathSize - 1] = 0;
  journal->count++;
  return true;
}

void journalFree(InstallJournal* journal) {
  if (!journal) return;
  heapFree(journal->paths);
  memset(journal, 0, sizeof *journal);
}

bool takeBackInstall(const char* folder, InstallJournal* journal) {
  if (journal->incomplete) {
    journal->count = 0;
    journal->incomplete = 0;
    return removeInstalledFilesIn(folder, 0);
  }
  char root[kPathSize];
  if (!folderIsUsable(folder) || !driveRootOf(folder, root, sizeof root)) return false;
  const FileOps* ops = fileOps();
  bool result = true;
  for (uint32_t i = journal->count; i-- > 0;)
    if (ops->deleteFile(journal->paths[i]) == kDeleteFailed) result = false;
  journal->count = 0;
  return removeFolders(ops, folder, root) && result;
}
