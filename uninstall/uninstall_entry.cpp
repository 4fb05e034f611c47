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
  if (!key[0] || !sjisAppend(out, size, kPrefix) || !sjisAppend(out, size, key)) {
    out[0] = 0;
    return false;
  }
  for (char* p = out; *p; p += sjisCharLength(p))
    if (*p == '\\' || *p == '/') *p = '_';
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
