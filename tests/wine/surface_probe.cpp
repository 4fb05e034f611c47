// surface_probe: exercises the window-system side of surfaces on a real
// window: sizes and view rectangles of new surfaces, the stretch of a
// bottom-up picture over a surface, and presenting a whole surface, one
// rectangle and a dirty-rectangle list (only the active entries before the
// first inactive one). Prints one line per check; exit code 1 on a failure.
#include <windows.h>

#include <cstdio>

#include "gfx/surface_win.h"

static int failures = 0;

static void check(bool ok, const char* what) {
  printf("%s: %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) failures++;
}

// The surface pixel at visual (x, y), as 0xRRGGBB.
static unsigned surfacePixel(const Surface* s, int x, int y) {
  return s->bits[(s->height - 1 - y) * s->width + x] & 0xFFFFFF;
}

// The window pixel at (x, y), as 0xRRGGBB.
static unsigned windowPixel(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

static void blacken(HWND window) {
  HDC dc = GetDC(window);
  RECT all = {0, 0, 200, 100};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(window, dc);
}

int main() {
  HWND window = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!window) return 1;
  UpdateWindow(window);

  Surface* s = createWindowSurface(window);
  check(s && s->width == 200 && s->height == 100 && s->left == 0 && s->top == 0, "window surface size");
  check(s && s->viewLeft == 0 && s->viewTop == 0 && s->viewRight == 200 && s->viewBottom == 100,
        "window surface view");
  check(s && s->bits && s->bits[0] == 0 && s->bits[200 * 100 - 1] == 0, "new surface is black");
  if (!s) return 1;

  // 2 x 2, bottom-up: red, green (bottom row), blue, white (top row).
  const uint32_t picture[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  check(stretchPictureToSurface(s, picture, 2, 2) == 1, "stretch result");
  check(surfacePixel(s, 10, 10) == 0x0000FF && surfacePixel(s, 190, 10) == 0xFFFFFF &&
            surfacePixel(s, 10, 90) == 0xFF0000 && surfacePixel(s, 190, 90) == 0x00FF00,
        "stretched picture upright over the whole surface");

  DirtyRect first = {1, 0, 0, 50, 50}, stop = {0, 100, 0, 200, 100}, after = {1, 100, 50, 200, 100};
  DirtyRect* list[] = {&first, &stop, &after};
  blacken(window);
  presentDirtyRects(window, s, list);
  GdiFlush();
  check(windowPixel(window, 10, 10) == 0x0000FF, "active dirty rectangle presented");
  check(windowPixel(window, 150, 80) == 0 && windowPixel(window, 80, 80) == 0,
        "nothing presented after the first inactive entry");
  DirtyRect* empty[] = {&stop, &first};
  blacken(window);
  presentDirtyRects(window, s, empty);
  check(windowPixel(window, 10, 10) == 0, "a list starting inactive presents nothing");

  RECT quarter = {100, 50, 200, 100};
  presentSurfaceRect(window, s, &quarter);
  check(windowPixel(window, 150, 80) == 0x00FF00 && windowPixel(window, 10, 90) == 0,
        "one rectangle presented at the same place");
  presentSurface(window, s);
  check(windowPixel(window, 10, 90) == 0xFF0000, "whole surface presented");
  destroySurface(s);

  Surface* small = createSurface(window, 5, 7, 30, 20);
  check(small && small->left == 5 && small->top == 7 && small->width == 30 && small->height == 20 &&
            small->viewRight == 30 && small->viewBottom == 20,
        "placed surface geometry");
  if (small) {
    const uint32_t red = 0xFFFF0000;
    stretchPictureToSurface(small, &red, 1, 1);
    blacken(window);
    presentSurface(window, small);
    check(windowPixel(window, 5, 7) == 0xFF0000 && windowPixel(window, 34, 26) == 0xFF0000 &&
              windowPixel(window, 4, 7) == 0 && windowPixel(window, 35, 27) == 0,
          "placed surface presented at its position");
  }
  destroySurface(small);
  destroySurface(nullptr);
  check(createSurface(window, 0, 0, 0, 10) == nullptr, "empty surface refused");
  DestroyWindow(window);
  return failures ? 1 : 0;
}
