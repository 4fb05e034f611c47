// The portable pixel work of surfaces: blending pictures into a surface with
// clipping, saving and restoring rectangles, and plain heap surfaces for the
// tools and tests (the stretch is in stretch.cpp). No window system here.
#include <cstddef>
#include <cstring>

#include "gfx/blit.h"
#include "gfx/surface.h"
#include "platform/cpu.h"
#include "platform/platform.h"

#if KSETUP_X86
#include <immintrin.h>
#endif

int32_t mmxAvailable = 0;

// ---- Processor features ----------------------------------------------------

int32_t detectMmx() {
  mmxAvailable = (cpuidLeaf1Edx() >> 23) & 1;
  return mmxAvailable;
}

// ---- Row blenders -------------------------------------------------------------
//
// Both blends per colour channel c of a source pixel S with alpha a over a
// destination pixel D:
//   exact:  (S.c * a + D.c * (255 - a)) / 255, alpha byte 0;
//   packed: (S.c * a + D.c * (255 - a)) >> 8, alpha byte (D.alpha * 255) >> 8.
// The sum never exceeds 255 * 255, so it fits 16 bits: the packed blend's
// saturating addition never saturates, and the vector paths add plainly.
// The plain loops blend one pixel at a time; the SSE2 paths 4 pixels a
// step, the AVX2 paths 8, in 16-bit lanes; the pixels left over at a row's
// end take the plain per-pixel code, which computes the same values.
// (sum * 0x8081) >> 23 equals sum / 255 for every 16-bit sum.

static inline void blendPixelExact(const uint8_t* s, uint8_t* d) {
  unsigned a = s[3], na = 255 - a;
  // Neither sum exceeds 255 * 255, so the quotient never exceeds 255.
  d[0] = uint8_t((s[0] * a + d[0] * na) / 255);
  d[1] = uint8_t((s[1] * a + d[1] * na) / 255);
  d[2] = uint8_t((s[2] * a + d[2] * na) / 255);
  d[3] = 0;
}

// One channel of the packed blend: two 16-bit products added with unsigned
// saturation, then the high byte.
static inline uint8_t packedChannel(unsigned s, unsigned d, unsigned m) {
  unsigned sum = s * m + d * (255 - m);
  if (sum > 0xFFFF) sum = 0xFFFF;
  return uint8_t(sum >> 8);
}

static inline void blendPixelPacked(const uint8_t* s, uint8_t* d) {
  unsigned a = s[3];
  d[0] = packedChannel(s[0], d[0], a);
  d[1] = packedChannel(s[1], d[1], a);
  d[2] = packedChannel(s[2], d[2], a);
  d[3] = packedChannel(s[3], d[3], 0);
}

template <bool kExact>
static inline void blendPixel(const uint8_t* s, uint8_t* d) {
  if (kExact)
    blendPixelExact(s, d);
  else
    blendPixelPacked(s, d);
}

void blendRowsPackedScalar(const uint8_t* source, uint8_t* destination, int32_t columns,
                           int32_t rows, int32_t sourcePitch, int32_t destinationPitch) {
  if (columns < 1 || rows < 1) return;
  for (int32_t row = 0; row < rows; row++) {
    const uint8_t* s = source;
    uint8_t* d = destination;
    for (int32_t i = 0; i < columns; i++, s += 4, d += 4) blendPixelPacked(s, d);
    source -= sourcePitch;
    destination -= destinationPitch;
  }
}

static void blendRowsExactScalar(const uint8_t* source, uint8_t* destination, int32_t columns,
                                 int32_t rows, int32_t sourcePitch, int32_t destinationPitch) {
  for (int32_t row = 0; row < rows; row++) {
    const uint8_t* s = source;
    uint8_t* d = destination;
    for (int32_t i = 0; i < columns; i++, s += 4, d += 4) blendPixelExact(s, d);
    source -= sourcePitch;
    destination -= destinationPitch;
  }
}

#if KSETUP_X86
// Rows go towards lower addresses, which the processor's own prefetching
// follows badly at every row's start: each 64 bytes of a row ask for the
// same place in the next row (a hint; it never faults, past the picture
// either). Written as the instruction itself: GCC drops _mm_prefetch from
// 32-bit builds whose baseline processor has no SSE, even inside SSE2 code.
static inline void prefetchT0(uintptr_t address) {
  asm volatile("prefetcht0 (%0)" : : "r"(address));
}
static inline void prefetchNextRow(const uint8_t* s, uint8_t* d, int32_t sourcePitch,
                                   int32_t destinationPitch) {
  prefetchT0(uintptr_t(s) - sourcePitch);
  prefetchT0(uintptr_t(d) - destinationPitch);
}

// The blend of a vector of pixels at s over those at d: 4 pixels in SSE2
// registers, 8 in AVX2 ones (each 128-bit half working as SSE2 does). Each
// pixel's bytes widen to four 16-bit lanes, multiplied by (a, a, a, 0) and
// (255 - a, ..., 255) and added; the packed blend keeps the high byte, the
// exact one divides by 255 and clears the alpha byte.
struct Sse2Ops {
  enum { kPixels = 4 };

  template <bool kExact>
  __attribute__((target("sse2"))) static inline void blend(const uint8_t* s, uint8_t* d) {
    const __m128i sp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i dp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    const __m128i zero = _mm_setzero_si128(), all255 = _mm_set1_epi16(255);
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i sLo = _mm_unpacklo_epi8(sp, zero), sHi = _mm_unpackhi_epi8(sp, zero);
    const __m128i dLo = _mm_unpacklo_epi8(dp, zero), dHi = _mm_unpackhi_epi8(dp, zero);
    // Each pixel's alpha (lane 3 of its four) spread over its colour lanes.
    const __m128i mLo =
        _mm_and_si128(_mm_shufflehi_epi16(_mm_shufflelo_epi16(sLo, 0xFF), 0xFF), colourLanes);
    const __m128i mHi =
        _mm_and_si128(_mm_shufflehi_epi16(_mm_shufflelo_epi16(sHi, 0xFF), 0xFF), colourLanes);
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(sLo, mLo),
                               _mm_mullo_epi16(dLo, _mm_sub_epi16(all255, mLo)));
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(sHi, mHi),
                               _mm_mullo_epi16(dHi, _mm_sub_epi16(all255, mHi)));
    __m128i* out = reinterpret_cast<__m128i*>(d);
    if (kExact) {
      const __m128i reciprocal = _mm_set1_epi16(short(0x8081));
      lo = _mm_srli_epi16(_mm_mulhi_epu16(lo, reciprocal), 7);
      hi = _mm_srli_epi16(_mm_mulhi_epu16(hi, reciprocal), 7);
      _mm_storeu_si128(out, _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0x00FFFFFF)));
    } else {
      _mm_storeu_si128(out, _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
    }
  }
};

struct Avx2Ops {
  enum { kPixels = 8 };

  template <bool kExact>
  __attribute__((target("avx2"))) static inline void blend(const uint8_t* s, uint8_t* d) {
    const __m256i sp = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
    const __m256i dp = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
    const __m256i zero = _mm256_setzero_si256(), all255 = _mm256_set1_epi16(255);
    // A byte shuffle spreads each pixel's alpha over its colour lanes
    // straight from the source bytes.
    const char z = char(0x80);
    const __m256i alphaLo = _mm256_setr_epi8(3, z, 3, z, 3, z, z, z, 7, z, 7, z, 7, z, z, z,  //
                                             3, z, 3, z, 3, z, z, z, 7, z, 7, z, 7, z, z, z);
    const __m256i alphaHi = _mm256_setr_epi8(11, z, 11, z, 11, z, z, z, 15, z, 15, z, 15, z, z,
                                             z, 11, z, 11, z, 11, z, z, z, 15, z, 15, z, 15, z, z,
                                             z);
    const __m256i sLo = _mm256_unpacklo_epi8(sp, zero), sHi = _mm256_unpackhi_epi8(sp, zero);
    const __m256i dLo = _mm256_unpacklo_epi8(dp, zero), dHi = _mm256_unpackhi_epi8(dp, zero);
    const __m256i mLo = _mm256_shuffle_epi8(sp, alphaLo), mHi = _mm256_shuffle_epi8(sp, alphaHi);
    __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(sLo, mLo),
                                  _mm256_mullo_epi16(dLo, _mm256_sub_epi16(all255, mLo)));
    __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(sHi, mHi),
                                  _mm256_mullo_epi16(dHi, _mm256_sub_epi16(all255, mHi)));
    __m256i* out = reinterpret_cast<__m256i*>(d);
    if (kExact) {
      const __m256i reciprocal = _mm256_set1_epi16(short(0x8081));
      lo = _mm256_srli_epi16(_mm256_mulhi_epu16(lo, reciprocal), 7);
      hi = _mm256_srli_epi16(_mm256_mulhi_epu16(hi, reciprocal), 7);
      _mm256_storeu_si256(
          out, _mm256_and_si256(_mm256_packus_epi16(lo, hi), _mm256_set1_epi32(0x00FFFFFF)));
    } else {
      _mm256_storeu_si256(out,
                          _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)));
    }
  }
};

// 16 pixels a step with the next row asked for, then whole vectors, then
// the pixels left over one at a time.
template <class Ops, bool kExact>
static inline void blendRowsWith(const uint8_t* source, uint8_t* destination, int32_t columns,
                                 int32_t rows, int32_t sourcePitch, int32_t destinationPitch) {
  const int32_t step = Ops::kPixels;
  for (int32_t row = 0; row < rows; row++) {
    const uint8_t* s = source;
    uint8_t* d = destination;
    int32_t i = 0;
    for (; i + 16 <= columns; i += 16, s += 64, d += 64) {
      prefetchNextRow(s, d, sourcePitch, destinationPitch);
      for (int32_t k = 0; k < 64; k += 4 * step) Ops::template blend<kExact>(s + k, d + k);
    }
    for (; i + step <= columns; i += step, s += 4 * step, d += 4 * step)
      Ops::template blend<kExact>(s, d);
    for (; i < columns; i++, s += 4, d += 4) blendPixel<kExact>(s, d);
    source -= sourcePitch;
    destination -= destinationPitch;
  }
}

template <bool kExact>
__attribute__((target("sse2"), flatten)) static void blendRowsSse2(
    const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
    int32_t sourcePitch, int32_t destinationPitch) {
  blendRowsWith<Sse2Ops, kExact>(source, destination, columns, rows, sourcePitch,
                                 destinationPitch);
}

template <bool kExact>
__attribute__((target("avx2"), flatten)) static void blendRowsAvx2(
    const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
    int32_t sourcePitch, int32_t destinationPitch) {
  blendRowsWith<Avx2Ops, kExact>(source, destination, columns, rows, sourcePitch,
                                 destinationPitch);
}
#endif

void blendRowsExactOn(int path, const uint8_t* source, uint8_t* destination, int32_t columns,
                      int32_t rows, int32_t sourcePitch, int32_t destinationPitch) {
  if (columns <= 0 || rows <= 0) return;
#if KSETUP_X86
  if (path == kPathAvx2)
    return blendRowsAvx2<true>(source, destination, columns, rows, sourcePitch, destinationPitch);
  if (path == kPathSse2)
    return blendRowsSse2<true>(source, destination, columns, rows, sourcePitch, destinationPitch);
#endif
  blendRowsExactScalar(source, destination, columns, rows, sourcePitch, destinationPitch);
}

void blendRowsPackedOn(int path, const uint8_t* source, uint8_t* destination, int32_t columns,
                       int32_t rows, int32_t sourcePitch, int32_t destinationPitch) {
  if (columns < 1 || rows < 1) return;
#if KSETUP_X86
  if (path == kPathAvx2)
    return blendRowsAvx2<false>(source, destination, columns, rows, sourcePitch,
                                destinationPitch);
  if (path == kPathSse2)
    return blendRowsSse2<false>(source, destination, columns, rows, sourcePitch,
                                destinationPitch);
#endif
  blendRowsPackedScalar(source, destination, columns, rows, sourcePitch, destinationPitch);
}

void blendRowsExact(const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
                    int32_t sourcePitch, int32_t destinationPitch) {
  blendRowsExactOn(bestCpuPath(), source, destination, columns, rows, sourcePitch,
                   destinationPitch);
}

void blendRowsPacked(const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
                     int32_t sourcePitch, int32_t destinationPitch) {
  blendRowsPackedOn(bestCpuPath(), source, destination, columns, rows, sourcePitch,
                    destinationPitch);
}

// ---- Drawing pictures -----------------------------------------------------------

// Clips a width x height picture placed at (x, y) against the surface and
// blends what remains. View-relative drawing is placed at the view's corner
// and clipped to the view rectangle and to the surface: a view that reaches
// outside the surface (a stage larger than the window) never leads outside
// the pixel memory. The arithmetic is 64-bit so that no coordinate, however
// far off, wraps into the surface.
static void blendClipped(Surface* surface, const uint32_t* pixels, int32_t x, int32_t y,
                         int32_t width, int32_t height, int32_t sourcePitch, int viewRelative) {
  if (!surface || !surface->bits || !pixels) return;
  if (width <= 0 || height <= 0 || sourcePitch < width) return;
  // Row pitches travel as 32-bit byte counts.
  if (sourcePitch > INT32_MAX / 4 || surface->width > INT32_MAX / 4) return;

  int64_t clipLeft = 0, clipTop = 0, clipRight = surface->width, clipBottom = surface->height;
  int64_t left = x, top = y;
  if (viewRelative) {
    left += surface->viewLeft;
    top += surface->viewTop;
    if (surface->viewLeft > clipLeft) clipLeft = surface->viewLeft;
    if (surface->viewTop > clipTop) clipTop = surface->viewTop;
    if (surface->viewRight < clipRight) clipRight = surface->viewRight;
    if (surface->viewBottom < clipBottom) clipBottom = surface->viewBottom;
  }
  int64_t right = left + width, bottom = top + height;
  int64_t skipX = 0, skipY = 0;
  if (left < clipLeft) {
    skipX = clipLeft - left;
    left = clipLeft;
  }
  if (top < clipTop) {
    skipY = clipTop - top;
    top = clipTop;
  }
  if (right > clipRight) right = clipRight;
  if (bottom > clipBottom) bottom = clipBottom;
  if (right <= left || bottom <= top) return;

  // Pictures are bottom-up: the first visible row is skipY rows below the
  // top, that is memory row height - 1 - skipY.
  const uint32_t* src = pixels + ((height - 1 - skipY) * sourcePitch + skipX);
  uint32_t* dst = surface->bits + ((surface->height - 1 - top) * surface->width + left);
  int32_t columns = int32_t(right - left), rows = int32_t(bottom - top);
  int32_t srcPitch = sourcePitch * 4, dstPitch = surface->width * 4;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
  uint8_t* d = reinterpret_cast<uint8_t*>(dst);
  if (mmxAvailable)
    blendRowsPacked(s, d, columns, rows, srcPitch, dstPitch);
  else
    blendRowsExact(s, d, columns, rows, srcPitch, dstPitch);
}

int drawPicture(Surface* surface, const uint32_t* pixels, int32_t x, int32_t y, int32_t width,
                int32_t height, int viewRelative) {
  blendClipped(surface, pixels, x, y, width, height, width, viewRelative);
  return 1;
}

int drawPictureCell(Surface* surface, const uint32_t* pixels, int32_t x, int32_t y, int32_t width,
                    int32_t height, int32_t sourcePitch, int viewRelative) {
  // A cell wider than its picture's rows would read past the picture: nothing
  // is drawn then.
  blendClipped(surface, pixels, x, y, width, height, sourcePitch, viewRelative);
  return 1;
}

// ---- Saving and restoring rectangles ------------------------------------------------

// The rectangle clipped to the surface; false when nothing of it remains.
static bool clipToSurface(const Surface* surface, const Rect* rect, Rect* clipped) {
  if (!surface || !surface->bits || !rect) return false;
  clipped->left = rect->left > 0 ? rect->left : 0;
  clipped->top = rect->top > 0 ? rect->top : 0;
  clipped->right = rect->right < surface->width ? rect->right : surface->width;
  clipped->bottom = rect->bottom < surface->height ? rect->bottom : surface->height;
  return clipped->right - clipped->left >= 1 && clipped->bottom - clipped->top >= 1;
}

static uint32_t* surfaceRow(const Surface* surface, int32_t y) {
  return surface->bits + ptrdiff_t(surface->height - 1 - y) * surface->width;
}

int readSurfaceRect(const Surface* surface, uint32_t* buffer, const Rect* rect) {
  Rect c;
  if (!buffer || !clipToSurface(surface, rect, &c)) return 0;
  size_t rowBytes = size_t(c.right - c.left) * 4;
  for (int32_t y = c.top; y < c.bottom; y++, buffer += c.right - c.left)
    memcpy(buffer, surfaceRow(surface, y) + c.left, rowBytes);
  return 1;
}

int writeSurfaceRect(Surface* surface, const uint32_t* buffer, const Rect* rect) {
  Rect c;
  if (!buffer || !clipToSurface(surface, rect, &c)) return 0;
  size_t rowBytes = size_t(c.right - c.left) * 4;
  for (int32_t y = c.top; y < c.bottom; y++, buffer += c.right - c.left)
    memcpy(surfaceRow(surface, y) + c.left, buffer, rowBytes);
  return 1;
}

// Adds without wrapping: a rectangle far off stays far off.
static int32_t addClamped(int32_t a, int32_t b) {
  int64_t sum = int64_t(a) + b;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return int32_t(sum);
}

void viewToSurfaceRect(const Surface* surface, Rect* rect) {
  if (!surface || !rect) return;
  rect->left = addClamped(rect->left, surface->viewLeft);
  rect->top = addClamped(rect->top, surface->viewTop);
  rect->right = addClamped(rect->right, surface->viewLeft);
  rect->bottom = addClamped(rect->bottom, surface->viewTop);
}

// ---- Memory surfaces ----------------------------------------------------------------------

Surface* createMemorySurface(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return nullptr;
  uint64_t bytes = uint64_t(width) * uint64_t(height) * 4;
  if (bytes > SIZE_MAX) return nullptr;
  Surface* surface = static_cast<Surface*>(heapAlloc(sizeof(Surface)));
  if (!surface) return nullptr;
  surface->bits = static_cast<uint32_t*>(heapAlloc(size_t(bytes)));
  if (!surface->bits) {
    heapFree(surface);
    return nullptr;
  }
  surface->width = width;
  surface->height = height;
  surface->viewRight = width;
  surface->viewBottom = height;
  return surface;
}

void destroyMemorySurface(Surface* surface) {
  if (!surface) return;
  heapFree(surface->bits);
  heapFree(surface);
}
