// The pack reader over arbitrary archive bytes: open a few names, read them.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "media/pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = "/tmp/ksetup-fuzz-pack-" + std::to_string(getpid()) + ".pak";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  static const char* names[] = {"KSetup.ini", "TITLE.EPA", "a", "sub\\LOGO.epa"};
  for (const char* name : names) {
    PackHandle* h = packOpen(name, path.c_str());
    if (!h) continue;
    uint32_t n = packSize(h);
    if (n <= (1u << 24)) {
      void* buf = heapAlloc(n + 2);
      if (buf) {
        packRead(h, buf);
        packWait(h);
        heapFree(buf);
      }
    }
    packClose(h);
  }
  return 0;
}
