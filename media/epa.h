// EPA pictures: header, plane decompression, conversion to pixels, and the
// loader that finds a picture loose beside the program or in instdata.pak.
#pragma once

#include <cstddef>
#include <cstdint>

struct EpaInfo {
  uint32_t width;
  uint32_t height;
  uint32_t bitsPerPixel;      // 8, 24 or 32 for modes 0, 1, 2
  uint32_t coloursUsed;       // mode 0 only; 0 read as 256
  uint32_t coloursImportant;  // mode 0 only; 0 read as 256
};

enum {
  kEpaHeaderSize = 16,
  kEpaPaletteSize = 768,
  kBitmapHeaderSize = 54,
  kEpaBadMagic = -1,
  kEpaBadVersion = -2,
  kEpaBadMode = -3,
  kEpaNoMemory = -4,
};

// 0 when `data` starts with a valid header (filling `info`), else -1, -2, -3.
int readEpaHeader(const uint8_t* data, EpaInfo* info);

// Loads a picture by name (the program's folder is made current first; the
// name is tried loose, then in "instdata.pak"). Returns width x height pixels,
// bottom-up, in a heap block the caller frees with heapFree, or null.
// widthOut / heightOut (each may be null) receive the size of EPA pictures.
uint32_t* loadPicture(const char* name, int32_t* widthOut, int32_t* heightOut);
