// The portable pixel work of surfaces: blending pictures into a surface with
// clipping, saving and restoring rectangles, the nearest-neighbour stretch,
// and plain heap surfaces for the tools and tests. No window system here.
#include <cstddef>
#include <cstring>

#include "gfx/surface.h"
#include "platform/platform.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KSETUP_X86 1
#include <cpuid.h>
#include <emmintrin.h>
#endif

int32_t mmxAvailable = 0;

// ---- Processor features ----------------------------------------------------

#if KSETUP_X86
// EDX of CPUID leaf 1, or 0 when the processor has no CPUID instruction or
// reports no leaf 1. __get_cpuid checks the ID flag of EFLAGS on i386.
static unsigned cpuidLeaf1Edx() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid_max(0, nullptr) < 1) return 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  return edx;
}
#endif

int32_t detectMmx() {
#if KSETUP_X86
  mmxAvailable = (cpuidLeaf1Edx() >> 23) & 1;
#else
  mmxAvailable = 0;
#endif
  return mmxAvailable;
}

// ---- Row blenders -------------------------------------------------------------

void blendRowsExact(const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
                    int32_t sourcePitch, int32_t destinationPitch) {
  if (columns <= 0 || rows <= 0) return;
  for (int32_t row = 0; row < rows; row++) {
    const uint8_t* s = source;
    uint8_t* d = destination;
    for (int32_t i = 0; i < columns; i++, s += 4, d += 4) {
      unsigned a = s[3], na = 255 - a;
      // Neither sum exceeds 255 * 255, so the quotient never exceeds 255.
      d[0] = uint8_t((s[0] * a + d[0] * na) / 255);
      d[1] = uint8_t((s[1] * a + d[1] * na) / 255);
      d[2] = uint8_t((s[2] * a + d[2] * na) / 255);
      d[3] = 0;
    }
    source -= sourcePitch;
    destination -= destinationPitch;
  }
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

#if KSETUP_X86
// The packed blend four pixels a step in SSE2 registers: each pixel's bytes
// widen to four 16-bit lanes, multiplied by (a, a, a, 0) and (255 - a, ...,
// 255), added with unsigned saturation, shifted down by 8 and packed back with
// unsigned saturation. The pixels left over at a row's end take the scalar
// path, which computes the same values.
__attribute__((target("sse2"))) static void blendRowsPackedSse2(
    const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
    int32_t sourcePitch, int32_t destinationPitch) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i all255 = _mm_set1_epi16(255);
  const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  for (int32_t row = 0; row < rows; row++) {
    const uint8_t* s = source;
    uint8_t* d = destination;
    int32_t i = 0;
    for (; i + 4 <= columns; i += 4, s += 16, d += 16) {
      __m128i sp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      __m128i dp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
      __m128i sLo = _mm_unpacklo_epi8(sp, zero), sHi = _mm_unpackhi_epi8(sp, zero);
      __m128i dLo = _mm_unpacklo_epi8(dp, zero), dHi = _mm_unpackhi_epi8(dp, zero);
      // Each pixel's alpha (lane 3 of its four) spread over its colour lanes.
      __m128i mLo = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sLo, 0xFF), 0xFF);
      __m128i mHi = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sHi, 0xFF), 0xFF);
      mLo = _mm_and_si128(mLo, colourLanes);
      mHi = _mm_and_si128(mHi, colourLanes);
      __m128i lo = _mm_adds_epu16(_mm_mullo_epi16(sLo, mLo),
                                  _mm_mullo_epi16(dLo, _mm_sub_epi16(all255, mLo)));
      __m128i hi = _mm_adds_epu16(_mm_mullo_epi16(sHi, mHi),
                                  _mm_mullo_epi16(dHi, _mm_sub_epi16(all255, mHi)));
      lo = _mm_srli_epi16(lo, 8);
      hi = _mm_srli_epi16(hi, 8);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
    }
    for (; i < columns; i++, s += 4, d += 4) blendPixelPacked(s, d);
    source -= sourcePitch;
    destination -= destinationPitch;
  }
}

static bool sse2Present() {
#if defined(__x86_64__) || defined(__SSE2__)
  return true;
#else
  static const bool present = ((cpuidLeaf1Edx() >> 26) & 1) != 0;
  return present;
#endif
}
#endif

// Tests force one path of the packed blend (surface.h).
int32_t packedBlendPath = kPackedBlendAuto;

void blendRowsPacked(const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
                     int32_t sourcePitch, int32_t destinationPitch) {
  if (columns < 1 || rows < 1) return;
#if KSETUP_X86
  if (packedBlendPath == kPackedBlendSse2 || (packedBlendPath == kPackedBlendAuto && sse2Present())) {
    blendRowsPackedSse2(source, destination, columns, rows, sourcePitch, destinationPitch);
    return;
  }
#endif
  blendRowsPackedScalar(source, destination, columns, rows, sourcePitch, destinationPitch);
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

// ---- Stretching ----------------------------------------------------------------------

// Each surface pixel takes the picture pixel under its centre, counted in
// visual rows (top down) although both are stored bottom-up.
void stretchPictureNearest(Surface* surface, const uint32_t* pixels, int32_t width,
                           int32_t height) {
  if (!surface || !surface->bits || !pixels || width <= 0 || height <= 0) return;
  int64_t sw = surface->width, sh = surface->height;
  if (sw <= 0 || sh <= 0) return;
  for (int64_t y = 0; y < sh; y++) {
    int64_t sourceY = ((2 * y + 1) * height) / (2 * sh);
    const uint32_t* s = pixels + (height - 1 - sourceY) * width;
    uint32_t* d = surface->bits + (sh - 1 - y) * sw;
    for (int64_t x = 0; x < sw; x++) d[x] = s[((2 * x + 1) * width) / (2 * sw)];
  }
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
