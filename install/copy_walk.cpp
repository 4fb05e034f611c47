#include "install/copy_walk.h"

#include <cstddef>
#include <cstring>

#include "install/file_ops.h"
#include "platform/platform.h"
#include "script/config.h"
#include "uninstall/removal.h"

// ---- Path rules -----------------------------------------------------------------

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool folderIsUsable(const char* folder) {
  if (!folder) return false;
  size_t n = 0;
  while (n < kPathSize && folder[n]) n++;
  char root[kPathSize];
  return n > 0 && n < kPathSize && driveRootOf(folder, root, sizeof root);
}

bool entryIsSafe(const char* entry) {
  if (!entry || !entry[0]) return false;
  if (isSeparator(entry[0]) && isSeparator(entry[1])) return false;
  if (strchr(entry, ':')) return false;
  // Windows drops trailing dots and spaces from a name, so ".. " and "..."
  // may reach the parent as well as "..": refuse every component made only of
  // dots and spaces unless it holds a single dot.
  const char* p = entry;
  while (*p) {
    while (isSeparator(*p)) p++;
    int dots = 0;
    bool onlyDots = true;
    const char* start = p;
    for (; *p && !isSeparator(*p); p++) {
      if (*p == '.')
        dots++;
      else if (*p != ' ')
        onlyDots = false;
    }
    if (p != start && onlyDots && dots > 1) return false;
  }
  return true;
}

bool entryIsPattern(const char* entry) { return strpbrk(entry, "*?") != nullptr; }

// Shift-JIS: a lead byte starts a character of two bytes, whose second byte
// may be 0x5C, the backslash.
static bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

static size_t charLength(const char* s) {
  return isLeadByte(static_cast<unsigned char>(s[0])) && s[1] ? 2 : 1;
}

// Offset of the last separator that is a character of its own, or -1.
static ptrdiff_t lastSeparator(const char* entry) {
  ptrdiff_t last = -1;
  for (size_t i = 0; entry[i]; i += charLength(entry + i))
    if (isSeparator(entry[i])) last = static_cast<ptrdiff_t>(i);
  return last;
}

void patternFolderPart(const char* entry, char* out) {
  ptrdiff_t last = lastSeparator(entry);
  if (last < 0 || last >= kPathSize) last = 0;
  memcpy(out, entry, static_cast<size_t>(last));
  out[last] = 0;
}

// The character at s folded to upper case, as one number: ASCII letters and
// the full-width Latin, Greek and Cyrillic letters of code page 932.
static unsigned foldedChar(const char* s, size_t* length) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
  *length = charLength(s);
  if (*length == 1) return u[0] >= 'a' && u[0] <= 'z' ? u[0] - 32u : u[0];
  unsigned c = unsigned(u[0]) << 8 | u[1];
  if (c >= 0x8281 && c <= 0x829A) return c - 0x21;  // full-width a..z
  if (c >= 0x83BF && c <= 0x83D6) return c - 0x20;  // Greek
  if (c >= 0x8470 && c <= 0x847E) return c - 0x30;  // Cyrillic, first part
  if (c >= 0x8480 && c <= 0x8491) return c - 0x31;  // Cyrillic, second part
  return c;
}

bool nameMatchesPattern(const char* entry, const char* name) {
  const char* pattern = entry + (lastSeparator(entry) + 1);
  if (strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0) return true;
  const size_t n = strlen(name);
  if (n >= kPathSize) return false;
  // at[j]: the pattern read so far matches the first j bytes of the name.
  // Only offsets where a character starts are ever set.
  bool at[kPathSize + 1], next[kPathSize + 1], starts[kPathSize + 1];
  memset(starts, 0, sizeof starts);
  for (size_t j = 0; j < n; j += charLength(name + j)) starts[j] = true;
  starts[n] = true;
  memset(at, 0, sizeof at);
  at[0] = true;
  for (const char* p = pattern; *p; p += charLength(p)) {
    memset(next, 0, sizeof next);
    if (*p == '*') {
      bool any = false;
      for (size_t j = 0; j <= n; j++) {
        any = any || at[j];
        if (starts[j]) next[j] = any;
      }
    } else if (*p == '?') {
      // A run of '?' before a dot or the end may also match nothing there,
      // and does not take the dot (so "A?.DAT" takes "A.DAT").
      const char* q = p;
      while (*q == '?') q++;
      bool beforeDot = *q == '.' || *q == 0;
      for (size_t j = 0; j <= n; j++) {
        if (!at[j]) continue;
        if (j < n && !(beforeDot && name[j] == '.')) next[j + charLength(name + j)] = true;
        if (beforeDot && (j == n || name[j] == '.')) next[j] = true;
      }
    } else if (*p == '.') {
      // ".*" at the end also takes a name without an extension.
      const char* q = p + 1;
      while (*q == '*') q++;
      for (size_t j = 0; j <= n; j++) {
        if (!at[j]) continue;
        if (j < n && name[j] == '.') next[j + 1] = true;
        if (j == n && *q == 0) next[j] = true;
      }
    } else {
      size_t patternLength, nameLength;
      unsigned c = foldedChar(p, &patternLength);
      for (size_t j = 0; j < n; j++)
        if (at[j] && foldedChar(name + j, &nameLength) == c) next[j + nameLength] = true;
    }
    memcpy(at, next, sizeof at);
  }
  return at[n];
}

// Appends `text` at out[*used]; false when the whole would not fit in 260 bytes.
static bool append(char* out, size_t* used, const char* text) {
  size_t n = strlen(text);
  if (*used + n >= kPathSize) return false;
  memcpy(out + *used, text, n + 1);
  *used += n;
  return true;
}

// `base` followed by the non-empty parts, each after a backslash; the first
// part follows `base` directly when `glued`.
static bool joinParts(char* out, const char* base, bool glued, const char* part, const char* name) {
  size_t used = 0;
  out[0] = 0;
  bool ok = append(out, &used, base);
  const char* parts[2] = {part, name};
  for (const char* p : parts) {
    if (!ok || !p || !p[0]) continue;
    ok = entryIsSafe(p) && (glued || append(out, &used, "\\")) && append(out, &used, p);
    glued = false;
  }
  if (!ok) out[0] = 0;
  return ok;
}

bool installPath(char* out, const char* folder, const char* part, const char* name) {
  if (!folderIsUsable(folder)) {
    out[0] = 0;
    return false;
  }
  return joinParts(out, folder, false, part, name);
}

// The source side: the root is followed directly by the entry ("E:\" "DATA\A.BIN").
static bool sourcePath(char* out, const char* root, const char* part, const char* name) {
  if (!root || !root[0]) {
    out[0] = 0;
    return false;
  }
  return joinParts(out, root, true, part, name);
}

bool driveRootOf(const char* folder, char* root, size_t size) {
  if (!folder || !root || size == 0) return false;
  size_t n = 0;
  char c = folder[0];
  if (((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && folder[1] == ':' &&
      isSeparator(folder[2])) {
    n = 3;  // "D:\"
  } else if (isSeparator(c) && isSeparator(folder[1])) {
    // "\\server\share\": the root ends after the share name.
    const char* p = folder + 2;
    const char* server = p;
    while (*p && !isSeparator(*p)) p++;
    if (p == server || !*p) return false;
    const char* share = ++p;
    while (*p && !isSeparator(*p)) p++;
    if (p == share) return false;
    n = static_cast<size_t>(p - folder);
    if (n + 2 > size) return false;
    memcpy(root, folder, n);
    root[n] = '\\';
    root[n + 1] = 0;
    return true;
  } else if (c == '/') {
    n = 1;  // POSIX
  } else {
    return false;
  }
  if (n + 1 > size) return false;
  memcpy(root, folder, n);
  if (n == 3) root[2] = '\\';
  root[n] = 0;
  return true;
}

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

bool createPath(const char* path) {
  if (!path || strlen(path) >= kPathSize) return false;
  char* level = static_cast<char*>(heapAlloc(kPathSize));
  if (!level) return false;
  const FileOps* ops = fileOps();
  size_t n = 0;
  for (; path[n]; n++) {
    level[n] = path[n];
    if (isSeparator(path[n])) {
      level[n + 1] = 0;
      ops->createFolder(level);
    }
  }
  if (n > 0 && !isSeparator(path[n - 1])) {
    level[n] = 0;
    ops->createFolder(level);
  }
  heapFree(level);
  return true;
}

bool createInstallFolders() {
  if (!folderIsUsable(installFolder)) return false;
  createPath(installFolder);
  char path[kPathSize];
  for (int k = 0; k < kMakeFolders && config.makeFolder[k][0]; k++) {
    if (!installPath(path, installFolder, config.makeFolder[k], nullptr) || !createPath(path))
      return false;
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
  if (!sourcePath(pattern, job->sourceRoot, entry, nullptr)) return kStepReadError;
  patternFolderPart(entry, part);
  FoundName found;
  void* search = s->ops->findFirst(pattern, &found);
  if (!search) return kStepOk;
  CopyStep step = kStepOk;
  do {
    // A search may also match names by their short 8.3 alias (NOTES.DATA as
    // NOTES~1.DAT for *.DAT): only names the pattern itself matches count.
    if (found.isFolder || !nameMatchesPattern(entry, found.name)) continue;
    if (!sourcePath(source, job->sourceRoot, part, found.name)) {
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
  if (!sourcePath(source, job->sourceRoot, entry, nullptr)) return kStepReadError;
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
  if (end != kCopyDone) removeInstalledFilesIn(job->installFolder, 0);
  heapFree(state.buffer);
  if (end == kCopyDone) job->post(job->context, MSG_NEXT_DISC, 0, 0);
  return end;
}
