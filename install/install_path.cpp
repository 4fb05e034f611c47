#include "install/install_path.h"

#include <cstring>

#include "platform/sjis.h"
#include "script/config.h"  // kPathSize

char installFolder[260];

static const char kSeparators[] = "\\/";

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

void collapseSeparators(char* path) {
  char* out = path;
  const char* p = path;
  if (p[0] == '\\' && p[1] == '\\') {
    *out++ = *p++;
    *out++ = *p++;
  }
  bool afterSeparator = false;  // the last character written was a backslash
  while (*p) {
    size_t length = sjisCharLength(p);
    bool separator = length == 1 && *p == '\\';
    if (!(separator && afterSeparator)) {
      memmove(out, p, length);
      out += length;
    }
    afterSeparator = separator;
    p += length;
  }
  *out = 0;
}

bool driveRootOf(const char* folder, char* root, size_t size) {
  if (!folder || !root || size == 0) return false;
  size_t n = 0;
  char c = folder[0];
  if (((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && folder[1] == ':' && isSeparator(folder[2])) {
    n = 3;  // "D:\"
  } else if (isSeparator(c) && isSeparator(folder[1])) {
    // "\\server\share\": the root ends after the share name.
    const char* share = folder + 2 + (sjisFindFirstOf(folder + 2, kSeparators) + 1);
    if (share == folder + 2 || share == folder + 3) return false;  // no server, or no separator
    ptrdiff_t end = sjisFindFirstOf(share, kSeparators);
    size_t shareLength = end < 0 ? strlen(share) : size_t(end);
    if (shareLength == 0) return false;
    n = size_t(share - folder) + shareLength;
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

// True when a component (up to the next separator) is made only of dots and
// blanks. Windows drops trailing dots and blanks from a name, so ".. " and
// "..." reach the parent as well as "..", and "." and " " the folder itself.
static bool onlyDotsAndBlanks(const char* part, size_t length, int* dots) {
  *dots = 0;
  for (size_t i = 0; i < length; i++) {
    if (part[i] == '.')
      ++*dots;
    else if (part[i] != ' ')
      return false;
  }
  return true;
}

bool folderIsUsable(const char* folder) {
  if (!folder) return false;
  size_t n = 0;
  while (n < kPathSize && folder[n]) n++;
  char root[kPathSize];
  if (n == 0 || n >= kPathSize || !driveRootOf(folder, root, sizeof root)) return false;
  // A folder below the root must be named, without a way back up: "C:\",
  // "C:\\", "C:\.\" and "C:\Games\.." are the drive itself, where no removal
  // may go looking for the game's files.
  bool named = false;
  for (const char* p = folder + strlen(root); *p;) {
    while (isSeparator(*p)) p++;
    ptrdiff_t end = sjisFindFirstOf(p, kSeparators);
    size_t length = end < 0 ? strlen(p) : size_t(end);
    int dots;
    if (length > 0) {
      if (!onlyDotsAndBlanks(p, length, &dots))
        named = true;
      else if (dots > 1)
        return false;
    }
    p += length;
  }
  return named;
}

bool entryIsSafe(const char* entry) {
  if (!entry || !entry[0]) return false;
  if (isSeparator(entry[0]) && isSeparator(entry[1])) return false;
  if (sjisFindFirstOf(entry, ":") >= 0) return false;
  // Every component made only of dots and blanks is refused unless it holds a
  // single dot.
  for (const char* p = entry; *p;) {
    while (isSeparator(*p)) p++;
    ptrdiff_t end = sjisFindFirstOf(p, kSeparators);
    size_t length = end < 0 ? strlen(p) : size_t(end);
    int dots;
    if (length > 0 && onlyDotsAndBlanks(p, length, &dots) && dots > 1) return false;
    p += length;
  }
  return true;
}

bool entryIsPattern(const char* entry) { return sjisFindFirstOf(entry, "*?") >= 0; }

void patternFolderPart(const char* entry, char* out) {
  ptrdiff_t last = sjisFindLastOf(entry, kSeparators);
  if (last < 0 || last >= kPathSize) last = 0;
  memcpy(out, entry, static_cast<size_t>(last));
  out[last] = 0;
}

bool nameMatchesPattern(const char* entry, const char* name) {
  const char* pattern = entry + (sjisFindLastOf(entry, kSeparators) + 1);
  if (strcmp(pattern, "*") == 0 || strcmp(pattern, "*.*") == 0) return true;
  const size_t n = strlen(name);
  if (n >= kPathSize) return false;
  // at[j]: the pattern read so far matches the first j bytes of the name.
  // Only offsets where a character starts are ever set.
  bool at[kPathSize + 1], next[kPathSize + 1], starts[kPathSize + 1];
  memset(starts, 0, sizeof starts);
  for (size_t j = 0; j < n; j += sjisCharLength(name + j)) starts[j] = true;
  starts[n] = true;
  memset(at, 0, sizeof at);
  at[0] = true;
  for (const char* p = pattern; *p; p += sjisCharLength(p)) {
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
        if (j < n && !(beforeDot && name[j] == '.')) next[j + sjisCharLength(name + j)] = true;
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
      unsigned c = sjisFoldedChar(p, &patternLength);
      for (size_t j = 0; j < n; j++)
        if (at[j] && starts[j] && sjisFoldedChar(name + j, &nameLength) == c) next[j + nameLength] = true;
    }
    memcpy(at, next, sizeof at);
  }
  return at[n];
}

// `base` followed by the non-empty parts, each after a backslash; the first
// part follows `base` directly when `glued`.
static bool joinParts(char* out, const char* base, bool glued, const char* part, const char* name) {
  out[0] = 0;
  bool ok = sjisAppend(out, kPathSize, base);
  const char* parts[2] = {part, name};
  for (const char* p : parts) {
    if (!ok || !p || !p[0]) continue;
    ok = entryIsSafe(p) && (glued || sjisAppend(out, kPathSize, "\\")) && sjisAppend(out, kPathSize, p);
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

bool discPath(char* out, const char* root, const char* part, const char* name) {
  if (!root || !root[0]) {
    out[0] = 0;
    return false;
  }
  return joinParts(out, root, true, part, name);
}

bool nearestExistingFolder(const char* folder, bool (*isFolder)(const char* path), char* out) {
  char root[kPathSize];
  out[0] = 0;
  if (!folder || strlen(folder) >= kPathSize || !driveRootOf(folder, root, sizeof root))
    return false;
  const size_t rootLength = strlen(root);
  strcpy(out, folder);
  for (;;) {
    while (strlen(out) > rootLength && sjisDropLastOf(out, kSeparators)) {
    }
    if (strlen(out) <= rootLength) break;
    if (isFolder(out)) return true;
    // Up one level: cut after the last separator, which lies in or after
    // the root's own.
    out[sjisFindLastOf(out, kSeparators) + 1] = 0;
  }
  strcpy(out, root);
  if (isFolder(out)) return true;
  out[0] = 0;
  return false;
}

bool virtualStoreMirror(char* out, const char* store, const char* folder) {
  out[0] = 0;
  if (!store || !store[0] || !folderIsUsable(folder)) return false;
  const char* rest;
  if (isSeparator(folder[0]) && isSeparator(folder[1]))
    return true;  // a share: never redirected
  else if (folder[0] == '/')
    rest = folder;
  else
    rest = folder + 2;  // after "D:", from its separator on
  char joined[2 * kPathSize];
  joined[0] = 0;
  if (!sjisAppend(joined, sizeof joined, store) || !sjisAppend(joined, sizeof joined, rest))
    return false;
  collapseSeparators(joined);
  if (strlen(joined) >= kPathSize) return false;
  strcpy(out, joined);
  return true;
}
