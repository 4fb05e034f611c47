// EPA decoding: header checks, the plane decompressor and the conversion of
// planes to pixels.
#include "media/epa.h"

#include <cstdint>
#include <cstring>

#include "platform/cpu.h"
#include "platform/platform.h"

#if KSETUP_X86
#include <immintrin.h>
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "pixels are stored as little-endian 32-bit values"
#endif

// ---- Memory helpers ---------------------------------------------------------

static uint32_t readLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
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
// high nibble picks a distance from the table in unpackWith and the low
// three bits are a copy length, extended by the next byte to 11 bits when
// bit 3 is set. Copies run forward byte by byte in effect, so a length
// beyond the distance repeats a pattern.
//
// Most of a picture is decoded far from both ends of the input and output
// and more than three rows in, where no command taken whole can reach
// outside either buffer: there commands run without checks of their own.
// Literals and short copies share one branch-free step of one 16-byte move;
// longer copies move 16 or 32 bytes at a time, or repeat a pattern held in
// a register. Moves may write past the bytes of their command, never more
// than kCopySlack bytes, into room that later commands overwrite. Near the
// ends, each command is checked against both and still moves widely where
// the room allows; what remains is exact.

enum {
  kCopySlack = 64,
  // Output room the fast loop keeps: the longest copy and its slack.
  kFastOutputMargin = kEpaMaxCopy + kCopySlack,
  // Input the fast loop leaves: a literal's 16-byte move after its command
  // byte reads the 16 bytes that follow.
  kFastInputMargin = 16,
  // From this width on, no distance is 0 and all but those of codes 1, 4, 7
  // and 15 (1, 2, 3, 4) are 7 or more, so no short copy of another code
  // overlaps its own output.
  kFastMinWidth = 9,
};

// What the fast loop needs of each command byte: whether it is an extended
// copy; for the others, the bytes it produces, the distance of a copy from 1
// to 4 back (0 for the rest), and whether such a copy overlaps its output.
struct CommandTable {
  uint8_t extended[256];
  uint8_t length[256];
  uint8_t nearDistance[256];
  uint8_t overlaps[256];
};

static constexpr CommandTable makeCommandTable() {
  CommandTable t = {};
  const uint8_t nearOfCode[16] = {0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 4};
  for (int b = 0; b < 256; b++) {
    const int length = b < 16 ? b : b & 7, code = b >> 4;
    t.extended[b] = b >= 16 && (b & 8);
    t.length[b] = uint8_t(length);
    t.nearDistance[b] = b < 16 ? 0 : nearOfCode[code];
    t.overlaps[b] = t.nearDistance[b] != 0 && length > t.nearDistance[b];
  }
  return t;
}
static constexpr CommandTable kCommands = makeCommandTable();

// The largest multiple of each distance below 16 that is at most 32: a
// 32-byte block of the pattern of that distance continues after so many bytes.
static const uint8_t kPatternStep[16] = {0,  32, 32, 30, 32, 30, 30, 28,
                                         32, 27, 30, 22, 24, 26, 28, 30};

// 32 bytes of the pattern that repeats the d bytes at src (1 <= d < 16).
static inline void buildPattern(uint8_t* pattern, const uint8_t* src, size_t d) {
  for (size_t i = 0; i < 32; i++) pattern[i] = i < d ? src[i] : pattern[i - d];
}

// ---- Wide moves --------------------------------------------------------------
//
// The decompressor's moves come in three sets of the same functions: plain
// C++ for any processor, SSE2, and AVX2 (with SSSE3 byte shuffles).
//
// moveUnit(out, src, d): the first n <= 16 bytes at out become those at src,
//   for a literal (d = 0), a copy from d >= n back, or, where kRepeats, a
//   copy from any d < 16 back. moveRow is the same for d < 16 known.
// repeatShort(out, d): 8 bytes at out repeat the d <= 4 bytes before it.
// copyFar(out, d, n): a copy from d >= 16 back, in whole chunks.
// fillPattern(out, d, n): a copy from d < 16 back with n > d.

// 8 bytes at p, and stored at p, in whatever order the processor keeps them.
static inline uint64_t load8(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, 8);
  return v;
}
static inline void store8(uint8_t* p, uint64_t v) { memcpy(p, &v, 8); }

struct PlainMoves {
  enum { kRepeats = 0 };

  static void moveUnit(uint8_t* out, const uint8_t* src, size_t) {
    const uint64_t a = load8(src), b = load8(src + 8);
    store8(out, a);
    store8(out + 8, b);
  }
  static void moveRow(uint8_t* out, const uint8_t* src, size_t) { moveUnit(out, src, 0); }

  // The d <= 4 bytes at src times 1 + 2^(8d) + 2^(16d) + ...: 8 bytes of
  // their pattern.
  static uint64_t spreadShort(const uint8_t* src, size_t d) {
    static const uint64_t keep[5] = {0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF};
    static const uint64_t spread[5] = {0, 0x0101010101010101ull, 0x0001000100010001ull,
                                       0x0001000001000001ull, 0x0000000100000001ull};
    return (load8(src) & keep[d]) * spread[d];
  }

  static void repeatShort(uint8_t* out, size_t d) { store8(out, spreadShort(out - d, d)); }

  static void copyFar(uint8_t* out, size_t d, size_t n) {
    uint8_t* const end = out + n;
    do {
      moveUnit(out, out - d, 0);
      out += 16;
    } while (out < end);
  }

  static void fillPattern(uint8_t* out, size_t d, size_t n) {
    uint64_t p[4];
    if (d == 1 || d == 2 || d == 4 || d == 8) {
      p[0] = p[1] = p[2] = p[3] = d == 8 ? load8(out - 8) : spreadShort(out - d, d);
    } else {
      uint8_t pattern[32];
      buildPattern(pattern, out - d, d);
      for (int i = 0; i < 4; i++) p[i] = load8(pattern + 8 * i);
    }
    const size_t step = kPatternStep[d];
    uint8_t* const end = out + n;
    do {
      for (int i = 0; i < 4; i++) store8(out + 8 * i, p[i]);
      out += step;
    } while (out < end);
  }
};

#if KSETUP_X86
#define SSE2_MOVE __attribute__((target("sse2"))) static inline
#define AVX2_MOVE __attribute__((target("avx2"))) static inline

struct Sse2Moves {
  enum { kRepeats = 0 };

  SSE2_MOVE __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  SSE2_MOVE void store(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }

  SSE2_MOVE void moveUnit(uint8_t* out, const uint8_t* src, size_t) { store(out, load(src)); }
  SSE2_MOVE void moveRow(uint8_t* out, const uint8_t* src, size_t) { store(out, load(src)); }

  SSE2_MOVE void repeatShort(uint8_t* out, size_t d) { PlainMoves::repeatShort(out, d); }

  SSE2_MOVE void copyFar(uint8_t* out, size_t d, size_t n) {
    uint8_t* const end = out + n;
    do {
      store(out, load(out - d));
      out += 16;
    } while (out < end);
  }

  SSE2_MOVE void fillPattern(uint8_t* out, size_t d, size_t n) {
    const uint8_t* src = out - d;
    __m128i low, high;
    if (d == 1) {
      low = high = _mm_set1_epi8(char(src[0]));
    } else if (d == 2) {
      uint16_t v;
      memcpy(&v, src, 2);
      low = high = _mm_set1_epi16(short(v));
    } else if (d == 4) {
      uint32_t v;
      memcpy(&v, src, 4);
      low = high = _mm_set1_epi32(int(v));
    } else {
      uint8_t pattern[32];
      buildPattern(pattern, src, d);
      low = load(pattern);
      high = load(pattern + 16);
    }
    const size_t step = kPatternStep[d];
    uint8_t* const end = out + n;
    do {
      store(out, low);
      store(out + 16, high);
      out += step;
    } while (out < end);
  }
};

// Byte shuffles for short distances: row d < 16 of kRepeat takes byte i % d
// of 16 loaded from d back, row d + 16 byte (16 + i) % d; rows 0 and 16 keep
// the bytes as they are.
struct RepeatTable {
  uint8_t index[32][16];
};
static constexpr RepeatTable makeRepeatTable() {
  RepeatTable t = {};
  for (int d = 0; d < 16; d++)
    for (int i = 0; i < 16; i++) {
      t.index[d][i] = uint8_t(d ? i % d : i);
      t.index[d + 16][i] = uint8_t(d ? (16 + i) % d : i);
    }
  return t;
}
alignas(16) static constexpr RepeatTable kRepeat = makeRepeatTable();

struct Avx2Moves {
  enum { kRepeats = 1 };

  AVX2_MOVE __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  AVX2_MOVE __m128i repeat(__m128i v, size_t row) {
    return _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(kRepeat.index[row])));
  }

  AVX2_MOVE void move32(uint8_t* out, const uint8_t* src) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
  }

  AVX2_MOVE void moveRow(uint8_t* out, const uint8_t* src, size_t row) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), repeat(load(src), row));
  }

  AVX2_MOVE void moveUnit(uint8_t* out, const uint8_t* src, size_t d) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), repeat(load(src), d < 16 ? d : 0));
  }

  AVX2_MOVE void repeatShort(uint8_t* out, size_t d) { moveUnit(out, out - d, d); }

  AVX2_MOVE void copyFar(uint8_t* out, size_t d, size_t n) {
    uint8_t* const end = out + n;
    if (d >= 32) {
      // The first 64 bytes without a test: most copies are no longer.
      move32(out, out - d);
      move32(out + 32, out + 32 - d);
      for (out += 64; out < end; out += 32) move32(out, out - d);
    } else {
      do {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), load(out - d));
        out += 16;
      } while (out < end);
    }
  }

  AVX2_MOVE void fillPattern(uint8_t* out, size_t d, size_t n) {
    const __m128i seed = load(out - d);
    const __m256i pattern =
        _mm256_inserti128_si256(_mm256_castsi128_si256(repeat(seed, d)), repeat(seed, d + 16), 1);
    const size_t step = kPatternStep[d];
    uint8_t* const end = out + n;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pattern);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + step), pattern);
    for (out += 2 * step; out < end; out += step)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pattern);
  }
};
#endif

// ---- Decompressor ------------------------------------------------------------

template <class Moves>
static inline int unpackWith(const uint8_t* stream, size_t streamSize, uint8_t* output,
                             uint32_t width, uint32_t rows) {
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

  // The fast loop runs from three rows in (every distance reaches inside the
  // output) while both ends are far; outside that span, fastFrom is the end.
  uint8_t* fastFrom = outEnd;
  uint8_t* outFastEnd = outEnd;
  const uint8_t* inFastEnd = inEnd;
  if (width >= kFastMinWidth && size_t(outEnd - output) > 3 * w + kFastOutputMargin &&
      streamSize > kFastInputMargin) {
    fastFrom = output + 3 * w;
    outFastEnd = outEnd - kFastOutputMargin;
    inFastEnd = inEnd - kFastInputMargin;
  }

  while (out < outEnd) {
    if (out >= fastFrom) {
      for (;;) {
        // A command other than an extended copy produces at most 7 bytes
        // per byte of input it takes: up to inStop, neither end is reached.
        const size_t inRoom = in < inFastEnd ? size_t(inFastEnd - in) : 0;
        const size_t outRoom = out < outFastEnd ? size_t(outFastEnd - out) : 0;
        const uint8_t* const inStop = in + (inRoom < outRoom / 8 ? inRoom : outRoom / 8);
        if (in >= inStop) break;
        size_t b = in[0];
        while (!kCommands.extended[b]) {
          const uint8_t* const next = in + 1;
          if (!Moves::kRepeats && kCommands.overlaps[b]) {
            Moves::repeatShort(out, kCommands.nearDistance[b]);
          } else {
            // A literal, or a copy no longer than 7: one move from the
            // input or from the output d back, without a branch.
            const uint8_t* from = (b < 16 ? next : out) - distance[b >> 4];
            Moves::moveRow(out, from, kCommands.nearDistance[b]);
          }
          out += kCommands.length[b];
          // The next command follows this byte, or the literal run after it.
          in = b < 16 ? next + b : next;
          if (in >= inStop) break;
          b = in[0];
        }
        if (in >= inStop) continue;
        // Extended copy: whole chunks from 16 back or more, or a pattern.
        const size_t length = (b & 7) << 8 | in[1];
        const size_t d = distance[b >> 4];
        in += 2;
        if (length == 0) continue;
        if (d >= 16)
          Moves::copyFar(out, d, length);
        else
          Moves::fillPattern(out, d, length);
        out += length;
      }
      fastFrom = outEnd;
      continue;
    }

    if (in >= inEnd) goto fault;
    const unsigned b = *in++;
    const size_t room = size_t(outEnd - out);

    if (b < 16) {
      if (size_t(inEnd - in) >= 16 && room >= 16) {
        Moves::moveUnit(out, in, 0);
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
    } else if (room >= length + kCopySlack) {
      if (length <= 16 && (length <= d || (Moves::kRepeats && d < 16)))
        Moves::moveUnit(out, src, d);
      else if (d >= 16)
        Moves::copyFar(out, d, length);
      else
        Moves::fillPattern(out, d, length);
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
  // The wide moves may have written beyond the fault; the rest of the
  // output is cleared so it holds nothing the stream did not decode.
  memset(out, 0, size_t(outEnd - out));
  return kEpaBadStream;
}

__attribute__((flatten)) static int unpackPlain(const uint8_t* stream, size_t streamSize,
                                                uint8_t* output, uint32_t width, uint32_t rows) {
  return unpackWith<PlainMoves>(stream, streamSize, output, width, rows);
}

#if KSETUP_X86
__attribute__((target("sse2"), flatten)) static int unpackSse2(const uint8_t* stream,
                                                               size_t streamSize, uint8_t* output,
                                                               uint32_t width, uint32_t rows) {
  return unpackWith<Sse2Moves>(stream, streamSize, output, width, rows);
}

__attribute__((target("avx2"), flatten)) static int unpackAvx2(const uint8_t* stream,
                                                               size_t streamSize, uint8_t* output,
                                                               uint32_t width, uint32_t rows) {
  return unpackWith<Avx2Moves>(stream, streamSize, output, width, rows);
}
#endif

int unpackPlanesOn(int path, const uint8_t* stream, size_t streamSize, uint8_t* output,
                   uint32_t width, uint32_t rows) {
#if KSETUP_X86
  if (path == kPathAvx2) return unpackAvx2(stream, streamSize, output, width, rows);
  if (path == kPathSse2) return unpackSse2(stream, streamSize, output, width, rows);
#endif
  return unpackPlain(stream, streamSize, output, width, rows);
}

int unpackPlanes(const uint8_t* stream, size_t streamSize, uint8_t* output, uint32_t width,
                 uint32_t rows) {
  return unpackPlanesOn(bestCpuPath(), stream, streamSize, output, width, rows);
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

#if KSETUP_X86
// Interleaves 16 pixels at a time: blue with green and red with alpha into
// byte pairs, then the pairs into pixels. Returns how many were done (the
// width rounded down to 16); the caller converts the rest.
__attribute__((target("sse2"))) static uint32_t interleaveRowSse2(
    const uint8_t* blue, const uint8_t* green, const uint8_t* red, const uint8_t* alpha,
    uint32_t width, uint32_t* dst) {
  const __m128i opaque = _mm_set1_epi8(char(0xFF));
  uint32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
    const __m128i a =
        alpha ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + x)) : opaque;
    const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
    const __m128i raLow = _mm_unpacklo_epi8(r, a), raHigh = _mm_unpackhi_epi8(r, a);
    __m128i* out = reinterpret_cast<__m128i*>(dst + x);
    _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, raLow));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, raLow));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, raHigh));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, raHigh));
  }
  return x;
}
#endif

static void convertColour(const uint8_t* planes, uint32_t width, uint32_t height, bool alpha,
                          uint32_t* picture, int path) {
  const size_t planeSize = size_t(width) * height;
  for (uint32_t r = 0; r < height; r++) {
    const size_t k = size_t(height - 1 - r) * width;
    const uint8_t* blue = planes + k;
    const uint8_t* green = blue + planeSize;
    const uint8_t* red = green + planeSize;
    const uint8_t* a = alpha ? red + planeSize : nullptr;
    uint32_t* dst = picture + size_t(r) * width;
    uint32_t x = 0;
#if KSETUP_X86
    if (path != kPathPlain) x = interleaveRowSse2(blue, green, red, a, width, dst);
#endif
    for (; x < width; x++)
      dst[x] = (a ? uint32_t(a[x]) << 24 : 0xFF000000u) | uint32_t(red[x]) << 16 |
               uint32_t(green[x]) << 8 | blue[x];
  }
}

int decodeEpaOn(int path, const uint8_t* data, size_t size, uint32_t* picture) {
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
  result = unpackPlanesOn(path, data + offset, size - offset, planes, info.width,
                          info.height * planeCount);
  if (planeCount == 1)
    convertPalette(data + kEpaHeaderSize, planes, info.width, info.height, picture);
  else
    convertColour(planes, info.width, info.height, planeCount == 4, picture, path);
  heapFree(planes);
  return result;
}

int decodeEpa(const uint8_t* data, size_t size, uint32_t* picture) {
  return decodeEpaOn(bestCpuPath(), data, size, picture);
}
