// Surfaces on the window system: creation, stretching and presenting.
#include "gfx/surface_win.h"

#include "media/epa.h"
#include "platform/platform.h"

// A bottom-up 32-bit DIB section of width x height; its pixels in *bits.
static HBITMAP createDibSection(HDC dc, int32_t width, int32_t height, void** bits) {
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: rows bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
  *bits = nullptr;
  return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Fills in the bitmap and memory context of a record whose geometry is set.
static Surface* attachBitmap(HWND window, Surface* surface) {
  if (surface->width <= 0 || surface->height <= 0) {
    heapFree(surface);
    return nullptr;
  }
  HDC windowDc = GetDC(window);
  if (!windowDc) {
    heapFree(surface);
    return nullptr;
  }
  HDC dc = CreateCompatibleDC(windowDc);
  void* bits = nullptr;
  HBITMAP bitmap = dc ? createDibSection(windowDc, surface->width, surface->height, &bits) : nullptr;
  ReleaseDC(window, windowDc);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    heapFree(surface);
    return nullptr;
  }
  SelectObject(dc, bitmap);
  SetMapMode(dc, MM_TEXT);
  SetBkMode(dc, TRANSPARENT);
  SetPolyFillMode(dc, WINDING);
  surface->bitmap = bitmap;
  surface->bits = static_cast<uint32_t*>(bits);
  surface->dc = dc;
  return surface;
}

Surface* createWindowSurface(HWND window) {
  Surface* surface = static_cast<Surface*>(heapAlloc(sizeof(Surface)));
  if (!surface) return nullptr;
  RECT client;
  if (!GetClientRect(window, &client)) {
    heapFree(surface);
    return nullptr;
  }
  surface->width = client.right;
  surface->height = client.bottom;
  surface->viewRight = client.right;
  surface->viewBottom = client.bottom;
  return attachBitmap(window, surface);
}

Surface* createSurface(HWND window, int32_t left, int32_t top, int32_t width, int32_t height) {
  Surface* surface = static_cast<Surface*>(heapAlloc(sizeof(Surface)));
  if (!surface) return nullptr;
  surface->left = left;
  surface->top = top;
  surface->width = width;
  surface->height = height;
  surface->viewRight = width;
  surface->viewBottom = height;
  return attachBitmap(window, surface);
}

void destroySurface(Surface* surface) {
  if (!surface) return;
  // The context goes first so the bitmap is no longer selected into it.
  if (surface->dc) DeleteDC(static_cast<HDC>(surface->dc));
  if (surface->bitmap) DeleteObject(static_cast<HBITMAP>(surface->bitmap));
  heapFree(surface);
}

int stretchPictureToSurface(Surface* surface, const uint32_t* pixels, int32_t width, int32_t height) {
  if (!surface || !pixels || width <= 0 || height <= 0) return 0;
  HDC dc = CreateCompatibleDC(static_cast<HDC>(surface->dc));
  if (!dc) return 0;
  void* bits = nullptr;
  HBITMAP bitmap = createDibSection(dc, width, height, &bits);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(dc);
    return 0;
  }
  CopyMemory(bits, pixels, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  StretchBlt(static_cast<HDC>(surface->dc), 0, 0, surface->width, surface->height, dc, 0, 0, width,
             height, SRCCOPY);
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return 1;
}

void presentSurface(HWND window, const Surface* surface) {
  if (!surface) return;
  HDC dc = GetDC(window);
  if (!dc) return;
  BitBlt(dc, surface->left, surface->top, surface->width, surface->height,
         static_cast<HDC>(surface->dc), 0, 0, SRCCOPY);
  ReleaseDC(window, dc);
}

void presentSurfaceRect(HWND window, const Surface* surface, const RECT* rect) {
  if (!surface || !rect) return;
  // Only what the surface covers; the window's background stays elsewhere.
  RECT area = {0, 0, surface->width, surface->height};
  if (!IntersectRect(&area, &area, rect)) return;
  HDC dc = GetDC(window);
  if (!dc) return;
  BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top,
         static_cast<HDC>(surface->dc), area.left, area.top, SRCCOPY);
  ReleaseDC(window, dc);
}

void presentDirtyRects(HWND window, const Surface* surface, DirtyRect* const* list) {
  if (!surface || !list) return;
  HDC dc = GetDC(window);
  if (!dc) return;
  for (int i = 0; list[i] && list[i]->active; i++) {
    const DirtyRect* r = list[i];
    BitBlt(dc, r->left, r->top, r->right - r->left, r->bottom - r->top,
           static_cast<HDC>(surface->dc), r->left, r->top, SRCCOPY);
  }
  ReleaseDC(window, dc);
}

Surface* createPictureSurface(HWND window, int32_t left, int32_t top, int32_t width, int32_t height,
                              const char* name) {
  Surface* surface = createSurface(window, left, top, width, height);
  if (!surface) return nullptr;
  uint32_t* picture = loadPictureSized(name, width, height);
  if (!picture) {
    destroySurface(surface);
    return nullptr;
  }
  drawPicture(surface, picture, 0, 0, width, height, 0);
  heapFree(picture);
  presentSurface(window, surface);
  return surface;
}
