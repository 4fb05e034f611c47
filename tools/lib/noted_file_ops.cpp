#include "tools/lib/noted_file_ops.h"

#include <cerrno>
#include <cstring>

#include "install/file_ops.h"
#include "tools/lib/host_files.h"
#include "tools/lib/image_drive.h"

FileNotes fileNotes;

static FileOps notingOps;

static void* notingOpenRead(const char* path) {
  fileNotes.source = path;
  void* file = discFileOps()->openRead(path);
  if (file)
    fileNotes.openFiles++;
  else
    fileNotes.error = errno;
  return file;
}

static void* notingCreate(const char* path) {
  fileNotes.destination = path;
  void* file = discFileOps()->create(path);
  if (file) {
    fileNotes.openFiles++;
    fileNotes.filesCopied++;
  } else {
    fileNotes.error = errno;
  }
  return file;
}

static bool notingRead(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  bool ok = discFileOps()->read(file, buffer, bytes, moved);
  if (!ok || *moved != bytes) fileNotes.error = ok ? 0 : errno;
  return ok;
}

static bool notingWrite(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  bool ok = discFileOps()->write(file, buffer, bytes, moved);
  if (!ok || *moved != bytes) fileNotes.error = errno ? errno : ENOSPC;
  return ok;
}

static void notingClose(void* file) {
  if (file) fileNotes.openFiles--;
  discFileOps()->close(file);
}

static DeleteResult notingDelete(const char* path) {
  errno = 0;
  DeleteResult result = discFileOps()->deleteFile(path);
  if (result == kDeleteDone) fileNotes.filesDeleted++;
  if (result == kDeleteFailed) {
    std::string host = shownPath(path);
    std::string why = isFolder(host) ? "a folder stands where the file was"
                      : errno        ? strerror(errno)
                                     : "cannot delete";
    fileNotes.failedDeletions.push_back(host + ": " + why);
  }
  return result;
}

void useNotedFileOps() {
  fileNotes = FileNotes();
  notingOps = *discFileOps();
  notingOps.openRead = notingOpenRead;
  notingOps.create = notingCreate;
  notingOps.read = notingRead;
  notingOps.write = notingWrite;
  notingOps.close = notingClose;
  notingOps.deleteFile = notingDelete;
  setFileOps(&notingOps);
}
