// POSIX implementation of the platform layer. Paths arrive in the program's
// Windows form: code page 932 text, backslashes separate folders and letter
// case does not matter. Names on the host are UTF-8: a name that does not
// exist as written is looked up in UTF-8 and then, component by component,
// without regard to case, the way the Windows file system matches.
#include "platform/platform.h"

#include "platform/sjis.h"
#include "platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// ---- Heap -------------------------------------------------------------------

static thread_local unsigned heapFaultCountdown = 0;

void* heapAlloc(size_t bytes) {
  if (heapFaultCountdown != 0 && --heapFaultCountdown == 0) return nullptr;
  return calloc(1, bytes ? bytes : 1);
}

void heapFree(void* block) { free(block); }

void heapFailAfter(unsigned n) { heapFaultCountdown = n; }

// ---- Paths ------------------------------------------------------------------

// Host folders that stand for drive letters ("E:\..." below them).
static std::mutex driveMutex;
static std::string driveFolders[26];

void setDriveFolder(char letter, const char* hostFolder) {
  char upper = letter >= 'a' && letter <= 'z' ? char(letter - 32) : letter;
  if (upper < 'A' || upper > 'Z') return;
  std::lock_guard<std::mutex> lock(driveMutex);
  std::string folder = hostFolder ? hostFolder : "";
  if (!folder.empty() && folder.back() != '/') folder += '/';
  driveFolders[upper - 'A'] = folder;
}

// The mapped host folder of a path "X:" + separator or end, with `rest` set
// after the separators; empty when the path names no mapped drive.
static std::string mappedDrive(const char* path, const char** rest) {
  char c = path[0];
  char upper = c >= 'a' && c <= 'z' ? char(c - 32) : c;
  if (upper < 'A' || upper > 'Z' || path[1] != ':' ||
      (path[2] && path[2] != '\\' && path[2] != '/'))
    return "";
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(driveMutex);
    folder = driveFolders[upper - 'A'];
  }
  if (folder.empty()) return "";
  const char* p = path + 2;
  while (*p == '\\' || *p == '/') p++;
  *rest = p;
  return folder;
}

static bool exists(const std::string& path) {
  struct stat st;
  return stat(path.empty() ? "." : path.c_str(), &st) == 0;
}

// The host name of one component of a program path in `folder` (host form,
// empty or ending with '/'): the name as written when it exists, else its
// UTF-8 form, else the folder's entry that equals it without regard to case
// (compared in code page 932, as the program compares names). *missing is set
// when nothing matches, and from then on names are only converted.
static std::string hostComponent(const std::string& folder, const std::string& part, bool* missing) {
  std::string utf8;
  if (!cp932ToUtf8Strict(part.data(), part.size(), &utf8)) utf8 = part;
  if (*missing || part == "." || part == "..") return utf8;
  if (exists(folder + part)) return part;
  if (utf8 != part && exists(folder + utf8)) return utf8;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir) {
    while (struct dirent* entry = readdir(dir)) {
      std::string name;
      if (!utf8ToCp932(entry->d_name, strlen(entry->d_name), &name)) name = entry->d_name;
      if (sjisSameNoCase(name.c_str(), part.c_str())) {
        std::string found = entry->d_name;
        closedir(dir);
        return found;
      }
    }
    closedir(dir);
  }
  *missing = true;
  return utf8;
}

// Turns a program path into a host path: a mapped drive becomes its folder,
// separators (backslashes and slashes that are characters of their own)
// become '/', and each component names what exists: as written, in UTF-8, or
// matched without regard to case. Components that match nothing are given in
// UTF-8 (or as written when they are no code page 932 text).
std::string hostPath(const char* path) {
  const char* rest = path;
  std::string out = mappedDrive(path, &rest);
  if (out.empty() && (path[0] == '/' || path[0] == '\\')) {
    out = "/";
    rest = path + 1;
  }
  std::vector<std::string> parts;
  bool trailing = false;
  while (*rest) {
    ptrdiff_t end = sjisFindFirstOf(rest, "\\/");
    size_t length = end < 0 ? strlen(rest) : size_t(end);
    if (length > 0) parts.emplace_back(rest, length);
    trailing = end >= 0;
    rest += length + (end >= 0 ? 1 : 0);
  }

  // Quick way first: every component in its UTF-8 form, as make-samples and
  // the tools write names.
  std::string quick = out;
  for (size_t i = 0; i < parts.size(); i++) {
    std::string utf8;
    if (!cp932ToUtf8Strict(parts[i].data(), parts[i].size(), &utf8)) utf8 = parts[i];
    quick += utf8;
    if (i + 1 < parts.size() || trailing) quick += '/';
  }
  if (parts.empty() || exists(quick)) return quick;

  bool missing = false;
  for (size_t i = 0; i < parts.size(); i++) {
    out += hostComponent(out, parts[i], &missing);
    if (i + 1 < parts.size() || trailing) out += '/';
  }
  return out;
}

// ---- Files ------------------------------------------------------------------

struct PosixFile {
  int fd;
};

int hostOpenRead(const char* path) {
  if (!path) return -1;
  int fd = open(hostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

FileRef fileOpenRead(const char* path) {
  int fd = hostOpenRead(path);
  if (fd < 0) return nullptr;
  PosixFile* f = static_cast<PosixFile*>(malloc(sizeof(PosixFile)));
  if (!f) {
    close(fd);
    return nullptr;
  }
  f->fd = fd;
  return f;
}

uint64_t fileSize(FileRef file) {
  struct stat st;
  if (!file || fstat(static_cast<PosixFile*>(file)->fd, &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool fileRead(FileRef file, void* buffer, uint32_t bytes, uint32_t* got) {
  if (got) *got = 0;
  if (!file) return false;
  int fd = static_cast<PosixFile*>(file)->fd;
  uint32_t done = 0;
  while (done < bytes) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + done, bytes - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  if (got) *got = done;
  return true;
}

bool fileSkip(FileRef file, uint32_t bytes) {
  if (!file) return false;
  return lseek(static_cast<PosixFile*>(file)->fd, static_cast<off_t>(bytes), SEEK_CUR) >= 0;
}

void fileClose(FileRef file) {
  if (!file) return;
  close(static_cast<PosixFile*>(file)->fd);
  free(file);
}

// ---- Clock ------------------------------------------------------------------

uint32_t clockMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

// ---- Folders ----------------------------------------------------------------

bool setCurrentFolder(const char* path) {
  return path && chdir(hostPath(path).c_str()) == 0;
}

bool getCurrentFolder(char* buffer, size_t size) {
  return buffer && size && getcwd(buffer, size) != nullptr;
}

static std::string programFolderOverride;

void setProgramFolder(const char* hostFolder) { programFolderOverride = hostFolder ? hostFolder : ""; }

bool enterProgramFolder() {
  std::string folder = programFolderOverride;
  if (folder.empty()) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    exe[n] = 0;
    folder = exe;
    size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
  }
  return chdir(folder.c_str()) == 0;
}

static std::recursive_mutex currentFolderMutex;

void lockCurrentFolder() { currentFolderMutex.lock(); }
void unlockCurrentFolder() { currentFolderMutex.unlock(); }
