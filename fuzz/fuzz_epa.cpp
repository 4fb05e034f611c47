// The EPA decoder over arbitrary bytes: the header, the whole decode into a
// picture of exactly the announced size, and the plane stream alone into an
// exactly sized buffer, so that any read or write outside is caught; the
// stream on every decompressor path this processor has, which must agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "media/epa.h"
#include "platform/cpu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EpaInfo info;
  // Large pictures are valid but slow to convert; they add no new paths.
  if (readEpaHeader(data, size, &info) == 0 && uint64_t(info.width) * info.height <= (1u << 16)) {
    uint32_t* picture = static_cast<uint32_t*>(malloc(size_t(info.width) * info.height * 4));
    if (picture) {
      decodeEpa(data, size, picture);
      free(picture);
    }
  }
  // The stream alone, with a width and row count taken from the first bytes
  // (narrow widths make distances wrap).
  if (size >= 2) {
    uint32_t width = data[0] % 80, rows = 1 + data[1] % 64;
    size_t total = size_t(width) * rows;
    uint8_t* first = nullptr;
    int firstResult = 0;
    for (int path = 0; path < kPathCount; path++) {
      if (!cpuPathAvailable(path)) continue;
      uint8_t* out = static_cast<uint8_t*>(malloc(total ? total : 1));
      if (!out) break;
      int result = unpackPlanesOn(path, data + 2, size - 2, out, width, rows);
      if (!first) {
        first = out, firstResult = result;
        continue;
      }
      if (result != firstResult || memcmp(out, first, total) != 0) __builtin_trap();
      free(out);
    }
    free(first);
  }
  return 0;
}
