// EPA pictures: header, plane decompression, conversion to pixels, and the
// loader that finds a picture loose beside the program or in instdata.pak.
//
// File layout, little-endian: "EP", 1, 1, colour mode (0 palette indices,
// 1 blue/green/red planes, 2 blue/green/red/alpha planes), colours used,
// colours important, one unexamined byte, 32-bit width and height; mode 0
// then has a 768-byte blue/green/red palette. The rest is one compressed
// stream of all planes, each width x height bytes, top row first.
//
// A decoded picture is width x height pixels 0xAARRGGBB (bytes blue, green,
// red, alpha), rows bottom-up like a bottom-up 32-bit DIB.
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
  // Largest picture decoded, in pixels (an 8K screen fits): bounds the two
  // blocks of 4 bytes per pixel a header can make the loader allocate.
  kEpaMaxPixels = 1 << 25,
  // Longest copy a stream command can express.
  kEpaMaxCopy = 2047,

  kEpaBadMagic = -1,    // not "EP"
  kEpaBadVersion = -2,  // byte 2 is not 1
  kEpaBadMode = -3,     // byte 3 is not 1, or the mode is not 0, 1 or 2
  kEpaNoMemory = -4,    // the plane buffer could not be allocated
  kEpaShortFile = -5,   // "EP" file that ends inside its header or palette
  kEpaBadSize = -6,     // width or height 0, or more than kEpaMaxPixels pixels
  kEpaBadStream = -7,   // plane stream cut short, reaching before the start of
                        // the planes, or running past their end
};

// 0 when the `size` bytes at `data` start with a valid header (filling
// `info`), else one of the negative codes above (-1, -2, -3, -5, -6).
int readEpaHeader(const uint8_t* data, size_t size, EpaInfo* info);

// Offset of the compressed stream for a header readEpaHeader accepted.
inline size_t epaStreamOffset(const EpaInfo& info) {
  return info.bitsPerPixel == 8 ? kEpaHeaderSize + kEpaPaletteSize : kEpaHeaderSize;
}

// Decodes a whole EPA file of `size` bytes into `picture`, which holds
// width x height x 4 bytes. 0 on success; a readEpaHeader code (picture
// untouched); kEpaNoMemory (picture untouched); or kEpaBadStream, in which
// case every pixel is still written: those the stream reached as decoded,
// the rest as if their plane bytes were zero.
int decodeEpa(const uint8_t* data, size_t size, uint32_t* picture);
// The same on one path of platform/cpu.h (decodeEpa takes the fastest this
// processor has), for the tests and benchmarks that compare them; the caller
// checks that the processor has it.
int decodeEpaOn(int path, const uint8_t* data, size_t size, uint32_t* picture);

// Decompresses the plane stream of `streamSize` bytes into `output`, exactly
// width x rows bytes (never more, never reading past the stream). 0 when the
// stream filled the output; kEpaBadStream when it ended early, a copy reached
// before the start of the output, or a command ran past its end: the output
// then holds what was decoded up to the fault followed by zeros (a command
// running past the end is cut at the end). Bytes after the end of the stream
// are ignored.
int unpackPlanes(const uint8_t* stream, size_t streamSize, uint8_t* output, uint32_t width,
                 uint32_t rows);
// The same on one path, as decodeEpaOn.
int unpackPlanesOn(int path, const uint8_t* stream, size_t streamSize, uint8_t* output,
                   uint32_t width, uint32_t rows);

// Loads a picture by name (the program's folder is made current first; the
// name is tried loose, then in "instdata.pak"). Returns width x height pixels,
// bottom-up, in a heap block the caller frees with heapFree, or null.
// widthOut / heightOut (each may be null) receive the size of EPA pictures.
// A file that is not EPA is returned as its bytes after a 54-byte bitmap
// header (sizes untouched); one of 54 bytes or less gives null, and so does an
// EPA file that is cut short in its header or too large. A damaged stream
// still gives a picture (see decodeEpa).
uint32_t* loadPicture(const char* name, int32_t* widthOut, int32_t* heightOut);

// As loadPicture, for callers that draw the picture at a size they know
// (the launcher's and the options dialog's pictures): the block always holds
// exactly width x height pixels. An EPA picture of another size is placed at
// the top left, cut or padded with zero pixels; a bitmap's bytes are cut or
// padded to that size. Null when the file is missing or unreadable, or the
// size is 0 or above kEpaMaxPixels.
uint32_t* loadPictureSized(const char* name, uint32_t width, uint32_t height);
