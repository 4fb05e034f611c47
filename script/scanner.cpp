#include "script/scanner.h"

const ScriptWord lineKeywords[kLineKeywordCount] = {
    {"REM", 0},
    {"EXEC", kKeyExec},
    {"DISCNUM", kKeyDiscNum},
    {"DISCLABEL", kKeyDiscLabel},
    {"DISCNAME", kKeyDiscName},
    {"APPLITITLE", kKeyAppliTitle},
    {"EXENAME", kKeyExeName},
    {"MUSTMAKEFOLDER", kKeyMustMakeFolder},
    {"REGADDRESS", kKeyRegAddress},
    {"FILELIST", kKeyFileList},
    {"FILESIZE", kKeyFileSize},
    {"FILEOPTION", kKeyFileOption},
    {"SHORTCUTLABEL", kKeyShortcutLabel},
    {"SHORTCUTNAME", kKeyShortcutName},
    {"SHORTCUTLINK", kKeyShortcutLink},
    {"SHORTCUTFOLDER", kKeyShortcutFolder},
    {"SHORTCUTPARAM", kKeyShortcutParam},
    {"SAVEDATA", kKeySaveData},
    {"KEYFILE", kKeyKeyFile},
    {"OPTIONTITLE", kKeyOptionTitle},
    {"MAKEFOLDER", kKeyMakeFolder},
    {"BACK", kKeyBack},
    {"BASE", kKeyBase},
    {"WRITE", kKeyWrite},
    {"ELEMENT", kKeyElement},
    {"PROGRESSBAR", kKeyProgressBar},
    {"SPRITE1", kKeySprite1},
    {"SPRITE2", kKeySprite2},
    {"FINISH", kKeyFinish},
    {"DXDISC", kKeyDxDisc},
    {"DXMESSAGE", kKeyDxMessage},
    {"DXPLACE", kKeyDxPlace},
    {"BRANDNAME", kKeyBrandName},
    {"FILE", kKeyFile},  // after FILELIST, FILESIZE and FILEOPTION
    {"//", kKeyComment},
    {"UNINSTALLENTRY", kKeyUninstallEntry},
};

const ScriptWord valueWords[kValueWordCount] = {
    {"REM", 0},
    {"CHANGECD", 1},
    {"LOADINIFROMCD", 2},
    {"LOADINIFROMHD", 3},
    {"POPUPMESSAGE", 0x80000001u},
    {"DISC10", 13},  // before DISC1, its prefix
    {"DISC1", 4},
    {"DISC2", 5},
    {"DISC3", 6},
    {"DISC4", 7},
    {"DISC5", 8},
    {"DISC6", 9},
    {"DISC7", 10},
    {"DISC8", 11},
    {"DISC9", 12},
    {"NORMAL", 0x10000},
    {"STRETCH_DESKTOP", 0x10001},
    {"CENTER_DESKTOP", 0x10002},
    {"SMALL", 0x10003},
    // The combined directions stand before the single ones that are their
    // prefixes, so that each reads as its own bit set.
    {"DIRECTION_LEFTUP", 0x20005},
    {"DIRECTION_LEFTDOWN", 0x20009},
    {"DIRECTION_LEFT", 0x20001},
    {"DIRECTION_RIGHTUP", 0x20006},
    {"DIRECTION_RIGHTDOWN", 0x2000A},
    {"DIRECTION_RIGHT", 0x20002},
    {"DIRECTION_UP", 0x20004},
    {"DIRECTION_DOWN", 0x20008},
    {"TO_FINISH", 101},
    {"AFTER_FINISH", 102},
    {"INFINITE", 0xFFFFFFFFu},
};

static bool isBlank(char c) { return c == ' ' || c == '\t'; }
static bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
static bool isWordEnd(char c) { return c == 0 || isBlank(c) || isLineBreak(c); }
static bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipBlanks(const char* p) {
  if (!p) return nullptr;
  while (isBlank(*p)) p++;
  return p;
}

const char* skipWord(const char* p) {
  if (!p) return nullptr;
  while (!isWordEnd(*p)) p++;
  return p;
}

const char* skipToSeparator(const char* p) {
  if (!p) return nullptr;
  while (!isWordEnd(*p) && *p != ',') p++;
  return p;
}

const char* lineEnd(const char* p) {
  if (!p) return nullptr;
  while (*p && !isLineBreak(*p)) p++;
  return p;
}

const char* findEquals(const char* p) {
  if (!p) return nullptr;
  for (; *p && !isLineBreak(*p); p++)
    if (*p == '=') return p;
  return nullptr;
}

// The value of a hexadecimal digit, or -1.
static int hexDigit(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t readUnsigned(const char* p) {
  if (!p) return 0;
  p = skipBlanks(p);
  uint32_t value = 0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    for (p += 2; hexDigit(*p) >= 0; p++) value = value * 16 + uint32_t(hexDigit(*p));
    return value;
  }
  for (; isDigit(*p); p++) value = value * 10 + uint32_t(*p - '0');
  return value;
}

uint32_t readValueWord(const char* p) {
  if (!p) return 0;
  if (isDigit(*p)) return readUnsigned(p);
  for (int i = 1; i < kValueWordCount; i++) {
    const char* w = valueWords[i].word;
    const char* t = p;
    for (; *w; w++, t++) {
      char c = *t;  // a NUL here ends the comparison: no word holds one
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
      if (c != *w) break;
    }
    if (!*w) return valueWords[i].value;
  }
  return 0;
}

int32_t readSigned(const char* p) {
  if (!p) return 0;
  p = skipBlanks(p);
  bool negative = *p == '-';
  if (negative) p = skipBlanks(p + 1);
  uint32_t value = isDigit(*p) ? readUnsigned(p) : readValueWord(p);
  return int32_t(negative ? 0u - value : value);
}

bool readQuoted(const char* p, char* dest, size_t capacity) {
  if (!p || !dest || capacity == 0) return false;
  p = skipBlanks(p);
  if (*p != '"') return true;
  size_t n = 0;
  bool closed = false;
  for (p++; *p && !isLineBreak(*p) && *p != ','; p++) {
    if (*p == '"') {
      closed = true;
      break;
    }
    if (n + 1 < capacity) dest[n++] = *p;  // text longer than the field is cut
  }
  dest[n] = 0;
  return closed;
}

int matchLineKeyword(const char* p) {
  if (!p) return 0;
  for (int i = 1; i < kLineKeywordCount; i++) {
    const char* w = lineKeywords[i].word;
    const char* t = p;
    while (*w && *t == *w) w++, t++;
    if (!*w) return int(lineKeywords[i].value);
  }
  return 0;
}
