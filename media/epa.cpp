// EPA decoding: header checks, the plane decompressor and the conversion of
// planes to pixels.
#include "media/epa.h"

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "pixels are stored as little-endian 32-bit values"
#endif

// ---- Memory helpers ---------------------------------------------------------

static uint32_t readLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Copies 8 bytes; the ranges may overlap only when dst >= src + 8.
static inline void copy8(uint8_t* dst, const uint8_t* src) {
  uint64_t v;
  memcpy(&v, src, 8);
  memcpy(dst, &v, 8);
}

// Copies 16 bytes; the ranges may overlap only when dst >= src + 16.
static inline void copy16(uint8_t* dst, const uint8_t* src) {
  uint8_t v[16];
  memcpy(v, src, 16);
  memcpy(dst, v, 16);
}

// ---- Header -----------------------------------------------------------------

int readEpaHeader(const uint8_t* data, size_t size, EpaInfo* info) {
  if (!data || size < 2 || data[0] != 'E' || data[1] != 'P') return kEpaBadMagic;
  if (size < kEpaHeaderSize) return kEpaShortFile;
  if (data[2] != 1) return kEpaBadVersion;
  uint8_t mode = data[4];
  if (data[3] != 1 || mode > 2) return kEpaBadMode;
  if (mode == 0 && size < kEpaHeaderSize + kEpaPaletteSize) return kEpaShortFile;
  uint32_t width = readLe32(data + 8), height = readLe32(data + 12);
  if (width == 0 || height == 0 || uint64_t(width) * height > kEpaMaxPixels) return kEpaBadSize;
  if (info) {
    info->width = width;
    info->height = height;
    info->bitsPerPixel = mode == 0 ? 8 : 8 * (mode + 2);
    info->coloursUsed = mode == 0 ? (data[5] ? data[5] : 256) : 0;
    info->coloursImportant = mode == 0 ? (data[6] ? data[6] : 256) : 0;
  }
  return 0;
}

// ---- Plane stream -----------------------------------------------------------
//
// Command byte b: high nibble 0 is a literal run of b bytes; otherwise the
// high nibble picks a distance from the table below and the low three bits
// are a copy length, extended by the next byte to 11 bits when bit 3 is set.
// Copies run forward byte by byte in effect, so a length beyond the distance
// repeats a pattern. Each command is checked once against both ends; only the
// few commands near the end of the input or output take the careful path.

int unpackPlanes(const uint8_t* stream, size_t streamSize, uint8_t* output, uint32_t width,
                 uint32_t rows) {
  const size_t w = width;
  // Distances wrap like the 32-bit arithmetic of the format for widths of 0
  // or 1 and then reach before the start of the output, which is refused.
  const uint32_t w32 = width;
  const size_t distance[16] = {0,
                               1,
                               w,
                               w + 1,
                               2,
                               uint32_t(w32 - 1),
                               2 * w,
                               3,
                               2 * w + 2,
                               w + 2,
                               2 * w + 1,
                               uint32_t(2 * w32 - 1),
                               uint32_t(2 * w32 - 2),
                               uint32_t(w32 - 2),
                               3 * w,
                               4};
  // Distances up to 3 x width and the output size must not wrap in size_t
  // (they cannot for any buffer that fits in memory, but the caller's
  // width and rows are not trusted for it).
  if (uint64_t(width) * rows > SIZE_MAX / 4) return kEpaBadStream;
  const uint8_t* in = stream;
  const uint8_t* const inEnd = stream + streamSize;
  uint8_t* out = output;
  uint8_t* const outEnd = output + w * rows;

  while (out < outEnd) {
    if (in >= inEnd) goto fault;
    const unsigned b = *in++;
    const size_t room = size_t(outEnd - out);

    if (b < 16) {
      // Literal run of 0 to 15 bytes: one fixed 16-byte move when both sides
      // have the room, the bytes beyond the run being overwritten later.
      if (size_t(inEnd - in) >= 16 && room >= 16) {
        memcpy(out, in, 16);
        out += b;
        in += b;
        continue;
      }
      size_t n = b;
      bool cut = false;
      if (n > size_t(inEnd - in)) n = size_t(inEnd - in), cut = true;
      if (n > room) n = room, cut = true;
      memcpy(out, in, n);
      out += n;
      in += n;
      if (cut) goto fault;
      continue;
    }

    size_t length = b & 7;
    if (b & 8) {
      if (in >= inEnd) goto fault;
      length = length << 8 | *in++;
    }
    if (length == 0) continue;
    const size_t d = distance[b >> 4];
    if (d > size_t(out - output)) goto fault;
    bool cut = false;
    if (length > room) length = room, cut = true;
    const uint8_t* src = out - d;

    if (d == 0) {
      // A zero distance reads the byte being written, which in the format's
      // zero-filled plane buffer is still 0.
      memset(out, 0, length);
    } else if (room >= length + 16) {
      // Whole chunks, the last one running up to 15 bytes past the copy into
      // room that later commands overwrite. Every chunk reads bytes already
      // written, as long as the chunk is no longer than the distance.
      uint8_t* o = out;
      uint8_t* const end = out + length;
      if (d >= 16) {
        do {
          copy16(o, src);
          o += 16;
          src += 16;
        } while (o < end);
      } else {
        if (d < 8) {
          // A short pattern: its first 8 bytes one at a time; from there on
          // it also repeats at the smallest multiple of d that is at least 8.
          static const uint8_t widened[8] = {0, 8, 8, 9, 8, 10, 12, 14};
          for (int i = 0; i < 8; i++) o[i] = src[i];
          o += 8;
          src = o - widened[d];
        }
        while (o < end) {
          copy8(o, src);
          o += 8;
          src += 8;
        }
      }
    } else if (d >= length) {
      memcpy(out, src, length);
    } else {
      for (size_t i = 0; i < length; i++) out[i] = src[i];
    }
    out += length;
    if (cut) goto fault;
  }
  return 0;

fault:
  // The fast paths may have written a few bytes beyond the fault; the rest
  // of the output is cleared so it holds nothing the stream did not decode.
  memset(out, 0, size_t(outEnd - out));
  return kEpaBadStream;
}

// ---- Planes to pixels -------------------------------------------------------
//
// Plane row 0 is the top of the picture; picture row 0 (first in memory) is
// its bottom, so output row r comes from plane row height - 1 - r.

static void convertPalette(const uint8_t* palette, const uint8_t* plane, uint32_t width,
                           uint32_t height, uint32_t* picture) {
  uint32_t colour[256];
  for (int i = 0; i < 256; i++) {
    const uint8_t* p = palette + 3 * i;
    colour[i] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
  for (uint32_t r = 0; r < height; r++) {
    const uint8_t* row = plane + size_t(height - 1 - r) * width;
    uint32_t* dst = picture + size_t(r) * width;
    for (uint32_t x = 0; x < width; x++) dst[x] = colour[row[x]];
  }
}

static void convertColour(const uint8_t* planes, uint32_t width, uint32_t height, bool alpha,
                          uint32_t* picture) {
  const size_t planeSize = size_t(width) * height;
  for (uint32_t r = 0; r < height; r++) {
    const size_t k = size_t(height - 1 - r) * width;
    const uint8_t* blue = planes + k;
    const uint8_t* green = blue + planeSize;
    const uint8_t* red = green + planeSize;
    uint32_t* dst = picture + size_t(r) * width;
    if (alpha) {
      const uint8_t* a = red + planeSize;
      for (uint32_t x = 0; x < width; x++)
        dst[x] = uint32_t(a[x]) << 24 | uint32_t(red[x]) << 16 | uint32_t(green[x]) << 8 | blue[x];
    } else {
      for (uint32_t x = 0; x < width; x++)
        dst[x] = 0xFF000000u | uint32_t(red[x]) << 16 | uint32_t(green[x]) << 8 | blue[x];
    }
  }
}

int decodeEpa(const uint8_t* data, size_t size, uint32_t* picture) {
  EpaInfo info;
  int result = readEpaHeader(data, size, &info);
  if (result != 0) return result;
  const uint32_t planeCount = info.bitsPerPixel / 8;
  const size_t planeSize = size_t(info.width) * info.height;
  // Only as many planes as the mode has; zero-filled, so whatever a damaged
  // stream leaves undecoded converts as zero bytes.
  uint8_t* planes = static_cast<uint8_t*>(heapAlloc(planeSize * planeCount));
  if (!planes) return kEpaNoMemory;
  const size_t offset = epaStreamOffset(info);
  result = unpackPlanes(data + offset, size - offset, planes, info.width,
                        info.height * planeCount);
  if (planeCount == 1)
    convertPalette(data + kEpaHeaderSize, planes, info.width, info.height, picture);
  else
    convertColour(planes, info.width, info.height, planeCount == 4, picture);
  heapFree(planes);
  return result;
}
