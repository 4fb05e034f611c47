// stretch_probe: the stretch of a picture over a surface by the window system
// (StretchBlt in the surface context's default mode) against the portable
// stretchPictureBlackOnWhite the tools use, pixel for pixel and all 32 bits,
// for pictures that grow, shrink, or both, on either axis. Prints one line per
// size; exit code 1 when any differs.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "gfx/surface_win.h"

static uint32_t seed = 12345;
static uint32_t nextRandom() {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 16) | (seed << 16);
}

static int compare(HWND window, int32_t width, int32_t height, int32_t w, int32_t h) {
  std::vector<uint32_t> picture(size_t(width) * height);
  for (uint32_t& p : picture) p = nextRandom() | nextRandom();  // mostly set bits, so AND shows
  Surface* real = createSurface(window, 0, 0, w, h);
  Surface* portable = createMemorySurface(w, h);
  if (!real || !portable) {
    printf("FAIL: no %dx%d surface\n", w, h);
    return 1;
  }
  stretchPictureToSurface(real, picture.data(), width, height);
  GdiFlush();
  stretchPictureBlackOnWhite(portable, picture.data(), width, height);
  int differing = 0, firstX = 0, firstY = 0;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      size_t i = size_t(h - 1 - y) * w + x;
      if (real->bits[i] == portable->bits[i]) continue;
      if (differing++ == 0) firstX = x, firstY = y;
    }
  if (differing) {
    size_t i = size_t(h - 1 - firstY) * w + firstX;
    printf("FAIL: %dx%d onto %dx%d: %d pixels differ, first at (%d, %d): %08x, portable %08x\n",
           width, height, w, h, differing, firstX, firstY, unsigned(real->bits[i]),
           unsigned(portable->bits[i]));
  } else {
    printf("ok: %dx%d onto %dx%d\n", width, height, w, h);
  }
  destroySurface(real);
  destroyMemorySurface(portable);
  return differing ? 1 : 0;
}

int main() {
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!window) return 1;
  static const int32_t sizes[][4] = {
      {8, 8, 4, 4},        {640, 480, 1024, 768}, {800, 600, 1024, 768}, {1024, 768, 800, 600},
      {1280, 960, 640, 480}, {3, 1, 2, 1},        {2, 1, 3, 1},          {7, 5, 3, 11},
      {5, 7, 11, 3},       {13, 2, 1, 2},         {2, 13, 2, 1},         {300, 200, 1, 1},
      {1, 1, 50, 50},      {64, 64, 64, 64},      {100, 3, 99, 4},       {99, 4, 100, 3},
  };
  int failures = 0;
  for (const auto& s : sizes) failures += compare(window, s[0], s[1], s[2], s[3]);
  for (int i = 0; i < 24; i++) {
    int32_t v[4];
    for (int32_t& x : v) x = 1 + int32_t(nextRandom() % 160);
    failures += compare(window, v[0], v[1], v[2], v[3]);
  }
  DestroyWindow(window);
  return failures ? 1 : 0;
}
