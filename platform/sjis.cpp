#include "platform/sjis.h"

#include <cstring>

bool sjisIsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

size_t sjisCharLength(const char* s) {
  return sjisIsLeadByte(static_cast<unsigned char>(s[0])) && s[1] ? 2 : 1;
}

// True when the byte at `s` (a character start) is one of `set`. The set
// holds ASCII bytes only, and a lead byte is never one of them.
static bool isOneOf(const char* s, const char* set) { return *s && strchr(set, *s) != nullptr; }

ptrdiff_t sjisFindFirstOf(const char* s, const char* set) {
  for (const char* p = s; *p; p += sjisCharLength(p))
    if (isOneOf(p, set)) return p - s;
  return -1;
}

ptrdiff_t sjisFindLastOf(const char* s, const char* set) {
  ptrdiff_t last = -1;
  for (const char* p = s; *p; p += sjisCharLength(p))
    if (isOneOf(p, set)) last = p - s;
  return last;
}

// Offset of the last character of `s`, or -1 for an empty text.
static ptrdiff_t lastChar(const char* s) {
  ptrdiff_t last = -1;
  for (const char* p = s; *p; p += sjisCharLength(p)) last = p - s;
  return last;
}

bool sjisEndsWithOneOf(const char* s, const char* set) {
  ptrdiff_t last = lastChar(s);
  return last >= 0 && isOneOf(s + last, set);
}

bool sjisDropLastOf(char* s, const char* set) {
  if (!sjisEndsWithOneOf(s, set)) return false;
  s[lastChar(s)] = 0;
  return true;
}

const char* sjisAfterLastBackslash(const char* s) { return s + (sjisFindLastOf(s, "\\") + 1); }

bool sjisAppend(char* out, size_t size, const char* text) {
  size_t used = strlen(out), n = strlen(text);
  if (used + n >= size) return false;
  memcpy(out + used, text, n + 1);
  return true;
}

bool sjisJoin(char* out, size_t size, const char* a, const char* b) {
  if (size == 0) return false;
  out[0] = 0;
  bool ok = sjisAppend(out, size, a);
  if (ok && a[0] && b[0] && !sjisEndsWithOneOf(a, "\\")) ok = sjisAppend(out, size, "\\");
  if (ok) ok = sjisAppend(out, size, b);
  if (!ok) out[0] = 0;
  return ok;
}

unsigned sjisFoldedChar(const char* s, size_t* length) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
  *length = sjisCharLength(s);
  if (*length == 1) return u[0] >= 'a' && u[0] <= 'z' ? u[0] - 32u : u[0];
  unsigned c = unsigned(u[0]) << 8 | u[1];
  if (c >= 0x8281 && c <= 0x829A) return c - 0x21;  // full-width a-z
  if (c >= 0x83BF && c <= 0x83D6) return c - 0x20;  // Greek small letters
  if (c >= 0x8470 && c <= 0x847E) return c - 0x30;  // Cyrillic small letters before 0x847F,
  if (c >= 0x8480 && c <= 0x8491) return c - 0x31;  // which is no second byte
  return c;
}

int sjisCompareNoCase(const char* a, const char* b) {
  for (;;) {
    size_t na, nb;
    unsigned ca = sjisFoldedChar(a, &na), cb = sjisFoldedChar(b, &nb);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
    a += na;
    b += nb;
  }
}

bool sjisSameNoCase(const char* a, const char* b) { return sjisCompareNoCase(a, b) == 0; }

size_t sjisPartLength(const char* s, const char* set) {
  ptrdiff_t at = sjisFindFirstOf(s, set);
  return at < 0 ? strlen(s) : size_t(at);
}

bool sjisFoldPath(const char* path, const char* set, char* out, size_t size) {
  size_t used = 0;
  bool ok = size > 0;
  for (const char* p = path; ok && *p;) {
    while (isOneOf(p, set)) p++;
    if (!*p) break;
    if (used > 0) {
      ok = used + 1 < size;
      if (ok) out[used++] = '\\';
    }
    for (const char* end = p + sjisPartLength(p, set); ok && p < end;) {
      size_t length;
      unsigned c = sjisFoldedChar(p, &length);
      ok = used + length < size;
      if (!ok) break;
      if (length == 2) out[used++] = char(c >> 8);
      out[used++] = char(c & 0xFF);
      p += length;
    }
  }
  if (size > 0) out[ok ? used : 0] = 0;
  return ok;
}
