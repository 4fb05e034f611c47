// The portable part of the disc location: drive numbers and the texts of the
// select-drive list.
#include "media/disc.h"

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
