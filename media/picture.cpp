// Loading pictures by name: loose beside the program first, then from
// instdata.pak; EPA files are decoded, anything else is taken as a bitmap
// whose 32-bit bottom-up pixels follow a 54-byte header.
#include <cstring>

#include "media/epa.h"
#include "media/pack.h"
#include "platform/platform.h"

// Reads the named file whole. Null when it is missing or cannot be read;
// *size receives the bytes actually read.
static uint8_t* readPictureFile(const char* name, size_t* size) {
  // Picture names are relative to the program's folder, so it is made the
  // current folder on every call (and stays so). The lock keeps another
  // thread from moving the current folder between the change and the open.
  lockCurrentFolder();
  enterProgramFolder();
  PackHandle* handle = packOpen(name, "instdata.pak");
  unlockCurrentFolder();
  if (!handle) return nullptr;
  uint8_t* data = static_cast<uint8_t*>(heapAlloc(packSize(handle)));
  if (!data || !packRead(handle, data)) {
    heapFree(data);
    packClose(handle);
    return nullptr;
  }
  // A file shorter than announced (a cut archive) is decoded from what was
  // actually read.
  *size = handle->transferred;
  packClose(handle);
  return data;
}

// The picture and its block size in bytes; *epa tells whether it was decoded
// from an EPA file (then *info holds its header).
static uint32_t* loadPictureBlock(const char* name, EpaInfo* info, bool* epa, size_t* bytes) {
  size_t size = 0;
  uint8_t* data = readPictureFile(name, &size);
  if (!data) return nullptr;

  uint32_t* picture = nullptr;
  int header = readEpaHeader(data, size, info);
  if (header == 0) {
    *epa = true;
    *bytes = size_t(info->width) * info->height * 4;
    picture = static_cast<uint32_t*>(heapAlloc(*bytes));
    // The result is not examined: a picture whose plane buffer could not be
    // allocated stays blank, and a damaged stream keeps what it decoded.
    if (picture) decodeEpa(data, size, picture);
  } else if (header != kEpaShortFile && header != kEpaBadSize && size > kBitmapHeaderSize) {
    // Not an EPA file: the pixels of a bitmap follow its 54-byte header. A
    // file with the EPA signature that is cut short or claims an absurd size
    // is no bitmap either, and gives no picture.
    *epa = false;
    *bytes = size - kBitmapHeaderSize;
    picture = static_cast<uint32_t*>(heapAlloc(*bytes));
    if (picture) memcpy(picture, data + kBitmapHeaderSize, *bytes);
  }
  heapFree(data);
  return picture;
}

uint32_t* loadPicture(const char* name, int32_t* widthOut, int32_t* heightOut) {
  EpaInfo info;
  bool epa = false;
  size_t bytes = 0;
  uint32_t* picture = loadPictureBlock(name, &info, &epa, &bytes);
  if (picture && epa) {
    if (widthOut) *widthOut = int32_t(info.width);
    if (heightOut) *heightOut = int32_t(info.height);
  }
  return picture;
}

uint32_t* loadPictureSized(const char* name, uint32_t width, uint32_t height) {
  if (width == 0 || height == 0 || uint64_t(width) * height > kEpaMaxPixels) return nullptr;
  EpaInfo info;
  bool epa = false;
  size_t bytes = 0;
  uint32_t* picture = loadPictureBlock(name, &info, &epa, &bytes);
  if (!picture || (epa && info.width == width && info.height == height)) return picture;

  const size_t wanted = size_t(width) * height * 4;
  uint32_t* fitted = static_cast<uint32_t*>(heapAlloc(wanted));
  if (fitted) {
    if (epa) {
      // Rows are bottom-up: top row t is row height - 1 - t in both blocks.
      uint32_t rows = info.height < height ? info.height : height;
      uint32_t columns = info.width < width ? info.width : width;
      for (uint32_t t = 0; t < rows; t++)
        memcpy(fitted + size_t(height - 1 - t) * width,
               picture + size_t(info.height - 1 - t) * info.width, size_t(columns) * 4);
    } else {
      memcpy(fitted, picture, bytes < wanted ? bytes : wanted);
    }
  }
  heapFree(picture);
  return fitted;
}
