#include "uninstall/uninstall_entry.h"

#include <cstring>

#include "install/install_path.h"
#include "platform/sjis.h"
#include "script/config.h"

bool uninstallEntryKey(char* out, size_t size) {
  static const char kPrefix[] = "KSetup ";
  const char* key = config.regAddress;
  while (*key == '\\' || *key == '/') key++;
  out[0] = 0;
  if (!key[0] || !sjisAppend(out, size, kPrefix)) {
    out[0] = 0;
    return false;
  }
  // A key name cannot hold '\\': it and the other two characters that
  // could be told apart from it only by this mapping are written as '_' and
  // their code in hexadecimal, so that two record keys never share an entry
  // ("Maker\\Game" and "Maker_Game" give "Maker_5CGame" and "Maker_5FGame").
  for (const char* p = key; *p; p += sjisCharLength(p)) {
    size_t length = sjisCharLength(p);
    char piece[4] = {0};
    if (length == 1 && (*p == '\\' || *p == '/' || *p == '_')) {
      static const char kHex[] = "0123456789ABCDEF";
      piece[0] = '_';
      piece[1] = kHex[static_cast<unsigned char>(*p) >> 4];
      piece[2] = kHex[*p & 15];
    } else {
      memcpy(piece, p, length);
    }
    if (!sjisAppend(out, size, piece)) {
      out[0] = 0;
      return false;
    }
  }
  return true;
}

bool uninstallEntryFolder(char* out) {
  out[0] = 0;
  return config.uninstallEntry[0] && installPath(out, installFolder, config.uninstallEntry, nullptr);
}

uint32_t installedKilobytes(uint32_t option) {
  uint64_t kilobytes = (selectedByteTotal(-1, option) + 1023) / 1024;
  return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(kilobytes);
}
