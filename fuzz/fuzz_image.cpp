// Disc image reading over arbitrary bytes: open the image, list its tree,
// look each folder up again by its path and read every file through to its
// end (at most a few megabytes of data in all).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/lib/iso_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  IsoReader* image = openIsoImageBytes(data, size, &error);
  if (!image) {
    if (error.empty()) abort();  // a refusal always says why
    return 0;
  }
  isoVolumeLabel(image);
  uint64_t budget = 8u << 20;
  std::vector<char> buffer(65536);
  std::vector<IsoEntry> entries;
  for (const IsoEntry& e : listIsoTree(image)) {
    // A name stored twice in a folder is found as its first: a path may
    // name a file where a folder was listed, and the other way round.
    if (e.isFolder) {
      listIsoFolder(image, e.name, &entries);
      continue;
    }
    IsoFileReader* file = openIsoFile(image, e.name);
    if (!file) continue;
    uint64_t read = 0;
    uint32_t got = 0;
    while (budget > 0 && readIsoFile(file, buffer.data(), uint32_t(buffer.size()), &got) && got) {
      read += got;
      budget -= got < budget ? got : budget;
    }
    if (read > isoFileSize(file)) abort();
    closeIsoFile(file);
  }
  closeIsoImage(image);
  return 0;
}
