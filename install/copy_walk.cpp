#include "install/copy_walk.h"

#include <cstddef>
#include <cstring>

#include "install/file_ops.h"
#include "install/install_path.h"
#include "install/removal.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "script/config.h"

bool sourceRootOf(int drive, char* root) {
  if (drive < 1 || drive > 26) {
    root[0] = 0;
    return false;
  }
  root[0] = static_cast<char>('A' + drive - 1);
  root[1] = ':';
  root[2] = '\\';
  root[3] = 0;
  return true;
}

// ---- Folders ----------------------------------------------------------------------

bool createPath(const char* path, InstallJournal* journal) {
  if (!path || strlen(path) >= kPathSize) return false;
  char* level = static_cast<char*>(heapAlloc(kPathSize));
  if (!level) return false;
  const FileOps* ops = fileOps();
  // Each level ends at a separator that is a character of its own: the
  // second byte of ソ in "Games\ゲームソフト" ends nothing.
  size_t n = 0;
  bool endsWithSeparator = false;
  bool noted = true;
  while (path[n]) {
    size_t length = sjisCharLength(path + n);
    memcpy(level + n, path + n, length);
    endsWithSeparator = length == 1 && (path[n] == '\\' || path[n] == '/');
    n += length;
    level[n] = 0;
    if (endsWithSeparator && ops->createFolder(level) && !journalAddFolder(journal, level))
      noted = false;
  }
  if (n > 0 && !endsWithSeparator && ops->createFolder(level) && !journalAddFolder(journal, level))
    noted = false;
  heapFree(level);
  return noted;
}

bool createInstallFolders(int* refusedEntry, InstallJournal* journal) {
  if (refusedEntry) *refusedEntry = -1;
  if (!folderIsUsable(installFolder)) return false;
  if (!createPath(installFolder, journal)) return false;
  char path[kPathSize];
  for (int k = 0; k < kMakeFolders && config.makeFolder[k][0]; k++) {
    if (!installPath(path, installFolder, config.makeFolder[k], nullptr)) {
      if (refusedEntry) *refusedEntry = k;
      return false;
    }
    if (!createPath(path, journal)) return false;
  }
  return true;
}

// ---- Copy -----------------------------------------------------------------------------

enum CopyStep { kStepOk, kStepReadError, kStepWriteError, kStepAbort };

struct CopyState {
  const CopyJob* job;
  const FileOps* ops;
  unsigned char* buffer;  // taken for the first file, kept to the end
};

// Moves `bytes` bytes from source to destination through the buffer. A short
// read (the source shrank) or a short write (the disk is full) is a failure,
// so the copy can neither stall nor leave a truncated file reported as done.
static CopyStep moveBlock(CopyState* s, void* source, void* destination, uint32_t bytes) {
  uint32_t moved = 0;
  if (!s->ops->read(source, s->buffer, bytes, &moved) || moved != bytes) return kStepReadError;
  s->job->bytesRead->fetch_add(bytes);
  moved = 0;
  if (!s->ops->write(destination, s->buffer, bytes, &moved) || moved != bytes) return kStepWriteError;
  s->job->bytesWritten->fetch_add(bytes);
  return kStepOk;
}

static CopyStep copyFile(CopyState* s, const char* sourceName, const char* destinationName) {
  if (!s->buffer) {
    s->buffer = static_cast<unsigned char*>(heapAlloc(kCopyBlock));
    if (!s->buffer) return kStepReadError;
  }
  const FileOps* ops = s->ops;
  void* source = ops->openRead(sourceName);
  if (!source) return kStepReadError;
  // Sizes travel as 32-bit values: files of 4 GiB or more are refused.
  uint64_t size = 0;
  if (!ops->size(source, &size) || size > 0xFFFFFFFFu) {
    ops->close(source);
    return kStepReadError;
  }
  // Noted before anything is written: a file left half written is taken
  // back too, and a file that was there gets its former content back.
  if (!journalPrepareWrite(s->job->journal, destinationName)) {
    ops->close(source);
    return kStepWriteError;
  }
  void* destination = ops->create(destinationName);
  if (!destination) {
    ops->close(source);
    return kStepWriteError;
  }
  uint32_t remaining = static_cast<uint32_t>(size);
  CopyStep step = kStepOk;
  while (step == kStepOk && remaining > kCopyBlock) {
    if (s->job->check(s->job->context) == kCopyAbort) {
      step = kStepAbort;
      break;
    }
    step = moveBlock(s, source, destination, kCopyBlock);
    remaining -= kCopyBlock;
  }
  if (step == kStepOk && remaining > 0) step = moveBlock(s, source, destination, remaining);
  ops->close(destination);
  ops->close(source);
  return step;
}

// Copies every file (not folder) a wildcard entry finds on the disc, from the
// pattern's folder there to the same folder below the install folder.
static CopyStep copyPattern(CopyState* s, const char* entry) {
  const CopyJob* job = s->job;
  char pattern[kPathSize], part[kPathSize], source[kPathSize], destination[kPathSize];
  if (!discPath(pattern, job->sourceRoot, entry, nullptr)) return kStepReadError;
  patternFolderPart(entry, part);
  FoundName found;
  void* search = s->ops->findFirst(pattern, &found);
  if (!search) return kStepOk;
  CopyStep step = kStepOk;
  do {
    // A search may also match names by their short 8.3 alias (NOTES.DATA as
    // NOTES~1.DAT for *.DAT): only names the pattern itself matches count.
    if (found.isFolder || !nameMatchesPattern(entry, found.name)) continue;
    if (found.foreign || !discPath(source, job->sourceRoot, part, found.name)) {
      // A name code page 932 cannot write cannot be copied under its name.
      step = kStepReadError;
    } else if (!installPath(destination, job->installFolder, part, found.name)) {
      step = kStepWriteError;
    } else {
      step = copyFile(s, source, destination);
    }
  } while (step == kStepOk && s->ops->findNext(search, &found));
  s->ops->findClose(search);
  return step;
}

static CopyStep copyEntry(CopyState* s, const char* entry) {
  const CopyJob* job = s->job;
  // Nothing is written outside the install folder: a refused entry or
  // folder is a write error before anything is opened.
  char source[kPathSize], destination[kPathSize];
  if (!installPath(destination, job->installFolder, entry, nullptr)) return kStepWriteError;
  if (entryIsPattern(entry)) return copyPattern(s, entry);
  if (!discPath(source, job->sourceRoot, entry, nullptr)) return kStepReadError;
  return copyFile(s, source, destination);
}

CopyEnd copyDisc(const CopyJob* job) {
  CopyState state = {job, fileOps(), nullptr};
  CopyEnd end = kCopyDone;
  for (int i = 0;; i++) {
    if (job->check(job->context) == kCopyAbort) {
      end = kCopyAborted;
      break;
    }
    const char* entry = job->disc >= 0 && job->disc < kDiscs && i < kFilesPerDisc
                            ? config.fileList[job->disc][i]
                            : nullptr;
    if (!entry || !entry[0]) break;
    if ((config.fileOption[job->disc][i] & job->installOption) == 0) continue;
    CopyStep step = copyEntry(&state, entry);
    if (step == kStepAbort) {
      end = kCopyAborted;
      break;
    }
    if (step != kStepOk) {
      job->post(job->context, step == kStepReadError ? MSG_READ_ERROR : MSG_WRITE_ERROR, job->disc, i);
      end = kCopyFailed;
      break;
    }
  }
  if (end != kCopyDone) {
    if (job->journal)
      takeBackInstall(job->installFolder, job->journal);
    else
      removeInstalledFilesIn(job->installFolder, 0);
  }
  heapFree(state.buffer);
  if (end == kCopyDone) job->post(job->context, MSG_NEXT_DISC, 0, 0);
  return end;
}
