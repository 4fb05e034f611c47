// The portable part of the disc location: the order in which places are
// searched, root paths, drive numbers and the texts of the select-drive list.
#include "media/disc.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/sjis.h"

char discRoot[kDiscRootSize];
char startRoot[kDiscRootSize];
uint8_t cdDrive = 0;
int32_t promptDiscIndex = 0;

int driveNumberOfLetter(char letter) {
  if (letter >= 'A' && letter <= 'Z') return letter - 'A' + 1;
  if (letter >= 'a' && letter <= 'z') return letter - 'a' + 1;
  return 0;
}

// Appends `text` at out[*used], keeping one byte for the terminating zero.
static void append(char* out, size_t size, size_t* used, const char* text) {
  while (*text && *used + 1 < size) out[(*used)++] = *text++;
  out[*used] = 0;
}

void formatDriveEntry(char* out, size_t size, const char* letter, const char* description) {
  if (!out || size == 0) return;
  size_t used = 0;
  out[0] = 0;
  append(out, size, &used, "[-");
  if (description) {
    append(out, size, &used, letter);
  } else {
    char upper[2] = {letter[0], 0};
    if (upper[0] >= 'a' && upper[0] <= 'z') upper[0] = static_cast<char>(upper[0] - 32);
    append(out, size, &used, upper);
  }
  append(out, size, &used, "-] ");
  append(out, size, &used, description ? description : "CDROM DRIVE");
}

bool enumKeyFromDevicePath(const char* devicePath, char* keyOut, size_t size) {
  static const char kEnumRoot[] = "System\\CurrentControlSet\\Enum\\";
  if (!devicePath || !keyOut || size == 0) return false;
  keyOut[0] = 0;
  // The first four characters are the \??\ prefix.
  for (int i = 0; i < 4; i++)
    if (!devicePath[i]) return false;
  size_t used = 0;
  append(keyOut, size, &used, kEnumRoot);
  int hashes = 0;
  for (const char* p = devicePath + 4; *p; p++) {
    char c = *p;
    if (c == '#') {
      if (++hashes == 3) return true;
      c = '\\';
    }
    if (used + 1 >= size) break;
    keyOut[used++] = c;
    keyOut[used] = 0;
  }
  // Too long, or the value ended before its third '#': no key can be named.
  keyOut[0] = 0;
  return false;
}

// ---- Root paths -------------------------------------------------------------

bool discRootOf(char* out, size_t size, const char* folder) {
  if (!out || size == 0) return false;
  out[0] = 0;
  if (!folder || !folder[0]) return false;
  if (!sjisAppend(out, size, folder)) return false;
  if (sjisEndsWithOneOf(out, "\\")) return true;
  if (sjisAppend(out, size, "\\")) return true;
  out[0] = 0;
  return false;
}

int driveOfRoot(const char* root) {
  if (!root || !root[0] || root[1] != ':' || root[2] != '\\' || root[3]) return 0;
  return driveNumberOfLetter(root[0]);
}

bool parentRootOf(const char* root, char* parentOut, size_t parentSize, char* nameOut,
                  size_t nameSize) {
  if (parentSize) parentOut[0] = 0;
  if (nameSize) nameOut[0] = 0;
  size_t length = strlen(root);
  if (length < 2 || !sjisEndsWithOneOf(root, "\\")) return false;
  // The separators that are characters of their own, and where the last
  // name begins (after the separator before the root's final one).
  size_t separators = 0, nameStart = 0, lastEnd = 0;
  for (size_t i = 0; root[i];) {
    size_t n = sjisCharLength(root + i);
    if (n == 1 && root[i] == '\\') {
      separators++;
      if (i + 1 < length) nameStart = i + 1;
      lastEnd = i;
    }
    i += n;
  }
  // A share's root \\server\share\ has four separators and no parent; a
  // drive's root C:\ has one.
  bool unc = root[0] == '\\' && root[1] == '\\';
  if (separators < (unc ? 5u : 2u) || nameStart == 0 || lastEnd + 1 != length) return false;
  size_t nameLength = lastEnd - nameStart;
  if (nameStart + 1 > parentSize || nameLength + 1 > nameSize) return false;
  memcpy(parentOut, root, nameStart);
  parentOut[nameStart] = 0;
  memcpy(nameOut, root + nameStart, nameLength);
  nameOut[nameLength] = 0;
  return true;
}

// ---- Search -----------------------------------------------------------------

namespace {

// The folders beside the start folder, sorted by name (as a folder listing
// on a Japanese system shows them), not counting the start folder itself.
struct Siblings {
  enum { kMax = 64 };
  const char* skip;
  int count;
  char (*names)[kDiscRootSize];
};

void collectSibling(void* context, const char* name) {
  Siblings* s = static_cast<Siblings*>(context);
  if (s->count >= Siblings::kMax || strlen(name) >= kDiscRootSize || sjisSameNoCase(name, s->skip))
    return;
  strcpy(s->names[s->count++], name);
}

int compareNames(const void* a, const void* b) {
  return sjisCompareNoCase(static_cast<const char*>(a), static_cast<const char*>(b));
}

// True when root\keyFile exists.
bool holdsKey(DiscSystem& system, const char* root, const char* keyFile) {
  char path[kDiscRootSize];
  return sjisJoin(path, sizeof path, root, keyFile) && system.fileExists(path);
}

bool take(const char* root, char* rootOut, size_t size) {
  if (strlen(root) + 1 > size) return false;
  strcpy(rootOut, root);
  return true;
}

}  // namespace

bool findDisc(DiscSystem& system, const char* keyFile, const char* start, char* rootOut,
              size_t size) {
  if (size) rootOut[0] = 0;
  if (!keyFile) keyFile = "";
  char letters[26];
  DriveKind kinds[26];
  int count = system.drives(letters, kinds, 26);
  for (int i = 0; i < count; i++) {
    if (kinds[i] != kDriveCdrom) continue;
    // The CD-audio device only tells an empty drive from a full one; a
    // drive without one (a mounted image) is probed all the same.
    if (system.medium(letters[i]) == kMediumAbsent) continue;
    char root[4] = {letters[i], ':', '\\', 0};
    if (holdsKey(system, root, keyFile)) return take(root, rootOut, size);
  }
  if (!start || !start[0]) return false;
  if (holdsKey(system, start, keyFile)) return take(start, rootOut, size);

  char parent[kDiscRootSize], own[kDiscRootSize];
  if (!parentRootOf(start, parent, sizeof parent, own, sizeof own)) return false;
  Siblings siblings = {
      own, 0, static_cast<char(*)[kDiscRootSize]>(heapAlloc(Siblings::kMax * kDiscRootSize))};
  if (!siblings.names) return false;
  system.eachFolder(parent, collectSibling, &siblings);
  qsort(siblings.names, static_cast<size_t>(siblings.count), kDiscRootSize, compareNames);
  bool found = false;
  for (int i = 0; i < siblings.count && !found; i++) {
    char folder[kDiscRootSize], root[kDiscRootSize];
    if (sjisJoin(folder, sizeof folder, parent, siblings.names[i]) &&
        discRootOf(root, sizeof root, folder) && holdsKey(system, root, keyFile))
      found = take(root, rootOut, size);
  }
  heapFree(siblings.names);
  return found;
}
