#include "uninstall/removal.h"

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "platform/platform.h"
#include "script/config.h"

char installFolder[260];

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
    if (found.isFolder || !nameMatchesPattern(entry, found.name)) continue;
    if (!installPath(match, folder, part, found.name) || ops->deleteFile(match) == kDeleteFailed)
      result = false;
  } while (ops->findNext(search, &found));
  ops->findClose(search);
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

bool removeInstalledFiles(int deleteSaveData) {
  return removeInstalledFilesIn(installFolder, deleteSaveData);
}
