// POSIX file operations for the copy walk and the removal. Paths arrive in the
// program's form (code page 932, backslashes, any letter case) and go through
// hostPath; searches match with the program's own pattern rule.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "install/file_ops.h"
#include "install/install_path.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "platform/text.h"

static void* toHandle(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1); }
static int toFd(void* file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

static void* posixOpenRead(const char* path) {
  int fd = hostOpenRead(path);
  if (fd < 0) return nullptr;
#ifdef POSIX_FADV_SEQUENTIAL
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return toHandle(fd);
}

static bool posixSize(void* file, uint64_t* bytes) {
  struct stat st;
  if (!file || fstat(toFd(file), &st) != 0) return false;
  *bytes = static_cast<uint64_t>(st.st_size);
  return true;
}

static void* posixCreate(const char* path) {
  int fd = open(hostPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? nullptr : toHandle(fd);
}

static bool posixRead(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  uint32_t done = 0;
  while (done < bytes) {
    ssize_t n = read(toFd(file), static_cast<char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *moved = done;
      return false;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  *moved = done;
  return true;
}

static bool posixWrite(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  uint32_t done = 0;
  while (done < bytes) {
    ssize_t n = write(toFd(file), static_cast<const char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *moved = done;
      return false;
    }
    done += static_cast<uint32_t>(n);
  }
  *moved = done;
  return true;
}

static void posixClose(void* file) {
  if (file) close(toFd(file));
}

// ---- Searches -----------------------------------------------------------------

struct PosixSearch {
  DIR* dir;
  std::string folder;   // host form, ends with '/'
  std::string pattern;  // last component of the program's pattern
};

static bool nextMatch(PosixSearch* search, FoundName* found) {
  while (struct dirent* entry = readdir(search->dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    std::string name;
    bool foreign = !utf8ToCp932(entry->d_name, strlen(entry->d_name), &name);
    if (foreign) name = entry->d_name;
    if (name.size() >= sizeof found->name) continue;
    // The program's own matching rule, on the name as the program sees it.
    if (!nameMatchesPattern(search->pattern.c_str(), name.c_str())) continue;
    struct stat st;
    std::string full = search->folder + entry->d_name;
    found->isFolder = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    found->foreign = foreign;
    memcpy(found->name, name.c_str(), name.size() + 1);
    return true;
  }
  return false;
}

static void* posixFindFirst(const char* pattern, FoundName* found) {
  ptrdiff_t cut = sjisFindLastOf(pattern, "\\/");
  std::string folder = cut < 0 ? "." : std::string(pattern, size_t(cut) + 1);
  PosixSearch* search = new PosixSearch;
  search->folder = hostPath(folder.c_str());
  if (search->folder.empty() || search->folder.back() != '/') search->folder += '/';
  search->pattern = pattern + (cut + 1);
  search->dir = opendir(search->folder.c_str());
  if (!search->dir || !nextMatch(search, found)) {
    if (search->dir) closedir(search->dir);
    delete search;
    return nullptr;
  }
  return search;
}

static bool posixFindNext(void* search, FoundName* found) {
  return nextMatch(static_cast<PosixSearch*>(search), found);
}

static void posixFindClose(void* search) {
  PosixSearch* s = static_cast<PosixSearch*>(search);
  if (!s) return;
  closedir(s->dir);
  delete s;
}

// ---- Files and folders --------------------------------------------------------

static DeleteResult posixDeleteFile(const char* path) {
  std::string host = hostPath(path);
  struct stat st;
  // A folder is not a file: refused as Windows refuses it.
  if (lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kDeleteFailed;
  if (unlink(host.c_str()) == 0) return kDeleteDone;
  return errno == ENOENT || errno == ENOTDIR ? kDeleteMissing : kDeleteFailed;
}

static MoveResult posixMoveFile(const char* from, const char* to) {
  std::string source = hostPath(from), target = hostPath(to);
  struct stat st;
  if (lstat(source.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? kMoveMissing : kMoveFailed;
  // rename() would replace the target; Windows' MoveFile never does.
  if (lstat(target.c_str(), &st) == 0) return kMoveExists;
  return rename(source.c_str(), target.c_str()) == 0 ? kMoveDone : kMoveFailed;
}

static bool posixCreateFolder(const char* path) { return mkdir(hostPath(path).c_str(), 0777) == 0; }

static bool posixRemoveFolder(const char* path) { return rmdir(hostPath(path).c_str()) == 0; }

static bool posixSetCurrent(const char* path) { return chdir(hostPath(path).c_str()) == 0; }

static void posixSleep(uint32_t milliseconds) {
  struct timespec t;
  t.tv_sec = milliseconds / 1000;
  t.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

static bool posixIsLink(const char* path) {
  struct stat st;
  return lstat(hostPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

static const FileOps posixOps = {
    posixOpenRead,     posixSize,       posixCreate,    posixRead,
    posixWrite,        posixClose,      posixFindFirst, posixFindNext,
    posixFindClose,    posixDeleteFile, posixMoveFile,  posixCreateFolder,
    posixRemoveFolder, posixSetCurrent, posixSleep,     posixIsLink,
};

const FileOps* platformFileOps() { return &posixOps; }

static const FileOps* chosenOps;

const FileOps* fileOps() { return chosenOps ? chosenOps : &posixOps; }

void setFileOps(const FileOps* ops) { chosenOps = ops; }
