// POSIX implementation of the platform layer. Paths arrive in the program's
// Windows form: backslashes separate folders and letter case does not matter.
// A name that does not exist as written is looked up again, component by
// component, without regard to case, the way the Windows file system matches.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
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

// ---- Heap -------------------------------------------------------------------

static thread_local unsigned heapFaultCountdown = 0;

void* heapAlloc(size_t bytes) {
  if (heapFaultCountdown != 0 && --heapFaultCountdown == 0) return nullptr;
  return calloc(1, bytes ? bytes : 1);
}

void heapFree(void* block) { free(block); }

void heapFailAfter(unsigned n) { heapFaultCountdown = n; }

// ---- Paths ------------------------------------------------------------------

// Finds the entry of `folder` whose name equals `name` without regard to case.
static bool findFolded(const std::string& folder, const std::string& name, std::string* found) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  bool ok = false;
  while (struct dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      *found = entry->d_name;
      ok = true;
      break;
    }
  }
  closedir(dir);
  return ok;
}

// True when the text is well-formed UTF-8 (plain ASCII included).
static bool isUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (n == 9 || (n && c < 0xC2) || i + n >= s.size() + (n ? 0 : 1)) return false;
    for (size_t k = 1; k <= n; k++)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}

// Turns a program path into a host path: separators become '/', and each
// component that does not exist as written is matched without regard to case.
// Components that match nothing are kept as written.
std::string hostPath(const char* path) {
  std::string p(path);
  // Backslashes separate folders. In a path that is not UTF-8 (names from a
  // script, in Shift-JIS) a backslash byte can also be the second byte of a
  // double-byte character (lead bytes 0x81-0x9F and 0xE0-0xFC): kept as is.
  const bool shiftJis = !isUtf8(p);
  for (size_t i = 0; i < p.size(); i++) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (shiftJis && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))) {
      i++;
      continue;
    }
    if (c == '\\') p[i] = '/';
  }
  struct stat st;
  if (p.empty() || stat(p.c_str(), &st) == 0) return p;

  std::string out;
  size_t i = 0;
  if (p[0] == '/') {
    out = "/";
    i = 1;
  }
  bool missing = false;
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string part = p.substr(i, j - i);
    if (!part.empty()) {
      std::string next = out + part;
      if (!missing && stat(next.c_str(), &st) != 0) {
        std::string folded;
        if (findFolded(out, part, &folded))
          next = out + folded;
        else
          missing = true;
      }
      out = next;
      if (j < p.size()) out += '/';
    }
    i = j + 1;
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

void setProgramFolder(const char* path) { programFolderOverride = path ? path : ""; }

bool getProgramFolder(char* buffer, size_t size) {
  if (!buffer || !size) return false;
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
  if (folder.size() + 1 > size) return false;
  memcpy(buffer, folder.c_str(), folder.size() + 1);
  return true;
}

static std::recursive_mutex currentFolderMutex;

void lockCurrentFolder() { currentFolderMutex.lock(); }
void unlockCurrentFolder() { currentFolderMutex.unlock(); }
