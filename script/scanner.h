// The setup script scanner: small readers over the script text, scanned in
// place. Each takes a position in a zero-terminated buffer and gives back a
// new position or a value; none moves past a line break unless said, none
// looks past the terminating zero, and a null position gives null or 0.
//
// The text is Shift-JIS (code page 932) and is never decoded: every byte the
// readers look for lies below 0x40 or is an ASCII letter at the start of a
// word, so the trail bytes of double-byte characters pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

// A word of a keyword table and its number or value.
struct ScriptWord {
  const char* word;
  uint32_t value;
};

// Line keywords, numbered 1 to 35 by their place in the table. Entry 0 is
// REM, which the matcher never tries, so REM lines match nothing.
enum {
  kKeyExec = 1,
  kKeyDiscNum,
  kKeyDiscLabel,
  kKeyDiscName,
  kKeyAppliTitle,
  kKeyExeName,
  kKeyMustMakeFolder,
  kKeyRegAddress,
  kKeyFileList,
  kKeyFileSize,
  kKeyFileOption,
  kKeyShortcutLabel,
  kKeyShortcutName,
  kKeyShortcutLink,
  kKeyShortcutFolder,
  kKeyShortcutParam,
  kKeySaveData,
  kKeyKeyFile,
  kKeyOptionTitle,
  kKeyMakeFolder,
  kKeyBack,
  kKeyBase,
  kKeyWrite,
  kKeyElement,
  kKeyProgressBar,
  kKeySprite1,
  kKeySprite2,
  kKeyFinish,
  kKeyDxDisc,
  kKeyDxMessage,
  kKeyDxPlace,
  kKeyBrandName,
  kKeyFile,
  kKeyComment,  // "//"
  kKeyUninstallEntry,
  kLineKeywordCount = kKeyUninstallEntry + 1,  // table entries, REM included
};

extern const ScriptWord lineKeywords[kLineKeywordCount];

// Value words; entry 0 is REM, never tried. A word that is a prefix of
// another stands after it (DISC10 before DISC1, DIRECTION_LEFTUP before
// DIRECTION_LEFT).
enum { kValueWordCount = 30 };
extern const ScriptWord valueWords[kValueWordCount];

// Values with a meaning of their own.
enum : uint32_t {
  kValueDisc1 = 4,    // DISC1; DISCn is n + 3
  kValueDisc10 = 13,  // DISC10
  kValueInfinite = 0xFFFFFFFFu,
};

// First position at or after p that is not a space or tab.
const char* skipBlanks(const char* p);
// First position at or after p holding NUL, tab, LF, CR or space (a comma is
// part of the word).
const char* skipWord(const char* p);
// First position at or after p holding NUL, tab, LF, CR, space or comma.
const char* skipToSeparator(const char* p);
// First position at or after p holding NUL, CR or LF.
const char* lineEnd(const char* p);
// The first '=' at or after p on the same line, or null.
const char* findEquals(const char* p);

// After blanks, a hexadecimal number behind 0x or 0X, or a decimal number;
// modulo 2^32, 0 when there are no digits.
uint32_t readUnsigned(const char* p);
// A number when p holds a digit, else the value of the first value word that
// the text starts with, compared without regard to ASCII letter case; 0 when
// none does. Blanks are not skipped.
uint32_t readValueWord(const char* p);
// After blanks, an optional '-' and blanks, then a number or a value word;
// the '-' negates it.
int32_t readSigned(const char* p);
// After blanks: when a double quote follows, copies the text up to the
// closing quote into dest and gives true; meeting NUL, CR, LF or a comma
// first gives false with what was copied so far. Without a quote gives true
// and leaves dest untouched. At most capacity - 1 bytes are stored, always
// followed by a zero byte; the rest of a longer text is passed over. False
// for a null p or dest or a capacity of 0.
bool readQuoted(const char* p, char* dest, size_t capacity);
// The number (1 to 34) of the line keyword whose bytes start the text at p,
// compared exactly, first match in table order; 0 when none does.
int matchLineKeyword(const char* p);
