// Surfaces on the window system: a 32-bit bottom-up DIB section in its own
// memory device context, created for a window, and copied to windows by
// bit-block transfer. The pixel work on them is in gfx/surface.h.
#pragma once

#include <windows.h>

#include "gfx/surface.h"

// A surface the size of the window's client area, placed at (0, 0); null on
// any failure.
Surface* createWindowSurface(HWND window);
// A width x height surface that presentSurface puts at (left, top) in the
// window; the window only supplies a compatible device context. Null on any
// failure.
Surface* createSurface(HWND window, int32_t left, int32_t top, int32_t width, int32_t height);
// Releases the bitmap, the memory context and the record; null is ignored.
void destroySurface(Surface* surface);

// A width x height surface at (left, top) in the window, holding the picture
// `name` drawn at exactly that size (a file of another size is cut or padded,
// never read past), and shown at once. Null when the surface or the picture
// cannot be had.
Surface* createPictureSurface(HWND window, int32_t left, int32_t top, int32_t width, int32_t height,
                              const char* name);

// Stretches a width x height bottom-up picture over the whole surface.
// 0 when the temporary context or bitmap cannot be made, else 1.
int stretchPictureToSurface(Surface* surface, const uint32_t* pixels, int32_t width, int32_t height);

// The whole surface to (left, top) of the window's client area.
void presentSurface(HWND window, const Surface* surface);
// One rectangle of the surface to the same coordinates in the window (for
// surfaces placed at (0, 0)).
void presentSurfaceRect(HWND window, const Surface* surface, const RECT* rect);
// Every rectangle of the list up to its first inactive entry.
void presentDirtyRects(HWND window, const Surface* surface, DirtyRect* const* list);
