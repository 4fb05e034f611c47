// The stretch of a picture over a whole surface as the program gets it from
// StretchBlt (SRCCOPY) in a memory context's default stretch mode,
// BLACKONWHITE, for the tools and tests, which have no window system: where
// the picture grows, pixels repeat; where it shrinks, the pixels that fall
// together are combined with AND (all 32 bits, alpha included). Which source
// pixels go where follows the DDA of Wine's DIB engine, so that the preview
// shows under Wine exactly what the program shows (tests/wine/t_surfaces.sh
// compares the two).
#include <cstddef>

#include "gfx/surface.h"
#include "platform/platform.h"

// For each of `to` destination indexes along one axis, the source indexes
// [span[2 d], span[2 d + 1]) that land on it, out of `from`. A line from the
// start to the far corner is walked one pixel of the longer side at a time;
// the error term decides, as for a line, when the shorter side moves on, with
// the first pixel's centre half a pixel in (hence 3 and 2 in the start value).
static void mapAxis(int32_t from, int32_t to, int32_t* span) {
  if (to >= from) {
    // Growing (or the same size): one source index per destination index.
    int64_t error = 3 * int64_t(from) - 2 * int64_t(to);
    int32_t s = 0;
    for (int32_t d = 0; d < to; d++) {
      span[2 * d] = s;
      span[2 * d + 1] = s + 1;
      if (error > 0 && s + 1 < from) {
        s++;
        error += 2 * int64_t(from) - 2 * int64_t(to);
      } else {
        error += 2 * int64_t(from);
      }
    }
    return;
  }
  // Shrinking: a run of source indexes per destination index.
  for (int32_t d = 0; d < to; d++) {
    span[2 * d] = 0;
    span[2 * d + 1] = 0;
  }
  int64_t error = 3 * int64_t(to) - 2 * int64_t(from);
  int32_t d = 0;
  for (int32_t s = 0; s < from && d < to; s++) {
    if (span[2 * d + 1] == 0) span[2 * d] = s;
    span[2 * d + 1] = s + 1;
    if (error > 0) {
      d++;
      error += 2 * int64_t(to) - 2 * int64_t(from);
    } else {
      error += 2 * int64_t(to);
    }
  }
}

void stretchPictureBlackOnWhite(Surface* surface, const uint32_t* pixels, int32_t width,
                                int32_t height) {
  if (!surface || !surface->bits || !pixels || width <= 0 || height <= 0) return;
  int32_t sw = surface->width, sh = surface->height;
  if (sw <= 0 || sh <= 0) return;
  // Onto a single column (row) the last source column (row) is left out.
  int32_t columns = sw == 1 && width > 1 ? width - 1 : width;
  int32_t rows = sh == 1 && height > 1 ? height - 1 : height;
  int32_t* columnSpan = static_cast<int32_t*>(heapAlloc(size_t(sw) * 2 * sizeof(int32_t)));
  int32_t* rowSpan = static_cast<int32_t*>(heapAlloc(size_t(sh) * 2 * sizeof(int32_t)));
  if (columnSpan && rowSpan) {
    mapAxis(columns, sw, columnSpan);
    mapAxis(rows, sh, rowSpan);
    // Rows are counted from the top in both, although both are stored
    // bottom-up.
    for (int32_t y = 0; y < sh; y++) {
      uint32_t* d = surface->bits + ptrdiff_t(sh - 1 - y) * sw;
      for (int32_t x = 0; x < sw; x++) {
        uint32_t value = 0xFFFFFFFFu;
        for (int32_t sy = rowSpan[2 * y]; sy < rowSpan[2 * y + 1]; sy++) {
          const uint32_t* s = pixels + ptrdiff_t(height - 1 - sy) * width;
          for (int32_t sx = columnSpan[2 * x]; sx < columnSpan[2 * x + 1]; sx++) value &= s[sx];
        }
        d[x] = value;
      }
    }
  }
  heapFree(columnSpan);
  heapFree(rowSpan);
}
