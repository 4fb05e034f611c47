// Planning the WININIT.INI edit that deletes the program at the next start.
#include "uninstall/wininit.h"

#include <cstring>

#include "platform/platform.h"

static const char kSection[] = "[rename]";
static const uint32_t kSectionLength = 8;

static unsigned char foldCase(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

int64_t findRenameSection(const char* text, uint32_t size) {
  uint32_t end = 0;
  while (end < size && text[end]) end++;
  for (uint32_t i = 0; i + kSectionLength <= end; i++) {
    uint32_t k = 0;
    while (k < kSectionLength &&
           foldCase(static_cast<unsigned char>(text[i + k])) == foldCase(static_cast<unsigned char>(kSection[k])))
      k++;
    if (k == kSectionLength) return i;
  }
  return -1;
}

// Copies `bytes` bytes to out + *used.
static void put(char* out, uint32_t* used, const char* bytes, uint32_t count) {
  memcpy(out + *used, bytes, count);
  *used += count;
}

static void putText(char* out, uint32_t* used, const char* text) {
  put(out, used, text, static_cast<uint32_t>(strlen(text)));
}

bool planWininitEdit(const char* fileText, uint32_t fileSize, bool exists, const char* ownPath,
                     WininitEdit* edit) {
  edit->offset = 0;
  edit->length = 0;
  edit->text = nullptr;
  if (!exists) fileSize = 0;
  int64_t section = exists ? findRenameSection(fileText, fileSize) : -1;
  uint32_t tail = section >= 0 ? fileSize - static_cast<uint32_t>(section) - kSectionLength : 0;
  // Room for the longest form: CR LF, section, CR LF, "NUL = ", path, CR LF,
  // and the file's bytes after the section name.
  uint64_t room = 32 + strlen(ownPath) + uint64_t(tail);
  if (room > 0xFFFFFFFFu) return false;
  char* out = static_cast<char*>(heapAlloc(static_cast<size_t>(room)));
  if (!out) return false;
  uint32_t used = 0;
  if (!exists) {
    putText(out, &used, "[rename]\r\nNUL = ");
    putText(out, &used, ownPath);
    edit->offset = 0;
  } else if (section >= 0) {
    putText(out, &used, "\r\nNUL = ");
    putText(out, &used, ownPath);
    putText(out, &used, "\r\n");
    // Everything after the section name moves behind the new line, all of
    // it, zero bytes included, so nothing of the file is lost.
    put(out, &used, fileText + section + kSectionLength, tail);
    edit->offset = static_cast<uint32_t>(section) + kSectionLength;
  } else {
    putText(out, &used, "\r\n[rename]\r\nNUL = ");
    putText(out, &used, ownPath);
    putText(out, &used, "\r\n");
    edit->offset = fileSize;
  }
  edit->length = used;
  edit->text = out;
  return true;
}
