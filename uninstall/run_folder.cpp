#include "uninstall/run_folder.h"

static const char kPrefix[] = "KSetup-";
enum { kPrefixLength = sizeof kPrefix - 1 };

void runFolderName(const unsigned char random[8], char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < kPrefixLength; i++) out[i] = kPrefix[i];
  for (int i = 0; i < 8; i++) {
    out[kPrefixLength + 2 * i] = kDigits[random[i] >> 4];
    out[kPrefixLength + 2 * i + 1] = kDigits[random[i] & 15];
  }
  out[kPrefixLength + kRunFolderDigits] = 0;
}

static char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isRunFolderName(const char* name) {
  for (int i = 0; i < kPrefixLength; i++)
    if (upper(name[i]) != upper(kPrefix[i])) return false;
  const char* digits = name + kPrefixLength;
  for (int i = 0; i < kRunFolderDigits; i++) {
    char c = upper(digits[i]);
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return digits[kRunFolderDigits] == 0;
}
