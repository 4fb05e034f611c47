// Off-screen 32-bit pixel surfaces and the blitters that draw pictures into
// them. Pixels are 0xAARRGGBB little-endian (bytes blue, green, red, alpha),
// rows bottom-up: visual row y starts at bits + (height - 1 - y) * width.
// The pixel work here is portable; creating, stretching onto and presenting
// surfaces needs the window system (surface_win.cpp).
#pragma once

#include <cstdint>

#include "platform/rect.h"

struct Surface {
  int32_t left;        // where presentSurface puts it in the window
  int32_t top;
  int32_t width;
  int32_t height;
  int32_t viewLeft;    // view rectangle: origin and clip of view-relative drawing
  int32_t viewTop;
  int32_t viewRight;
  int32_t viewBottom;
  void* bitmap;        // the DIB section (Windows), null for plain buffers
  uint32_t* bits;      // width x height pixels
  void* dc;            // memory device context (Windows)
};

// One entry of a dirty-rectangle list; the first inactive entry ends a list.
struct DirtyRect {
  int32_t active;
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

enum { kDirtyRects = 256 };

// 1 when the processor has MMX (CPUID leaf 1, EDX bit 23); selects the
// packed blend. Set once at start-up by detectMmx().
extern int32_t mmxAvailable;
int32_t detectMmx();

// Blends a bottom-up picture over the surface at (x, y), clipped to the view
// rectangle (viewRelative != 0, coordinates relative to the view's corner) or
// to the surface. View-relative drawing is clipped to the surface as well, so
// a view reaching outside the surface never leads outside the pixels. Empty
// or negative sizes draw nothing. Blends with blendRowsPacked when
// mmxAvailable is set, else blendRowsExact. Always 1.
int drawPicture(Surface* surface, const uint32_t* pixels, int32_t x, int32_t y, int32_t width,
                int32_t height, int viewRelative);
// The same for a width x height cell of a larger picture whose rows are
// sourcePitch pixels long; pixels points at the cell's bottom-left pixel.
// A cell wider than sourcePitch draws nothing.
int drawPictureCell(Surface* surface, const uint32_t* pixels, int32_t x, int32_t y, int32_t width,
                    int32_t height, int32_t sourcePitch, int viewRelative);

// Copy a rectangle (clipped to the surface) out of / back into the surface,
// rows top first without gaps. 0 when the clipped rectangle is empty.
int readSurfaceRect(const Surface* surface, uint32_t* buffer, const Rect* rect);
int writeSurfaceRect(Surface* surface, const uint32_t* buffer, const Rect* rect);
// Moves a view-relative rectangle to surface coordinates (saturating at the
// 32-bit limits instead of wrapping).
void viewToSurfaceRect(const Surface* surface, Rect* rect);

// Row blenders; pitches in bytes; rows advance towards lower addresses.
// Exact: c = (S.c * a + D.c * (255 - a)) / 255, alpha byte 0.
// Packed: c = (S.c * a + D.c * (255 - a)) >> 8 with 16-bit saturation,
// alpha byte (D.alpha * 255) >> 8. blendRowsPackedScalar is its reference.
void blendRowsExact(const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
                    int32_t sourcePitch, int32_t destinationPitch);
void blendRowsPacked(const uint8_t* source, uint8_t* destination, int32_t columns, int32_t rows,
                     int32_t sourcePitch, int32_t destinationPitch);
void blendRowsPackedScalar(const uint8_t* source, uint8_t* destination, int32_t columns,
                           int32_t rows, int32_t sourcePitch, int32_t destinationPitch);

// Stretches a picture over the whole surface as StretchBlt does in the
// default stretch mode (BLACKONWHITE), for the tools' previews where no
// window system does it: growing repeats pixels, shrinking combines the
// pixels that fall together with AND (all 32 bits). Pixels as Wine's DIB
// engine chooses them (stretch.cpp).
void stretchPictureBlackOnWhite(Surface* surface, const uint32_t* pixels, int32_t width,
                                int32_t height);

// Plain surfaces in heap memory, for the tools and tests (no window system):
// zero pixels, view rectangle the whole surface, no bitmap or device context.
// Null for sizes below 1 or when memory runs out.
Surface* createMemorySurface(int32_t width, int32_t height);
void destroyMemorySurface(Surface* surface);

// ---- Window system (surface_win.cpp) ----------------------------------------
// createWindowSurface, createSurface, destroySurface, stretchPictureToSurface,
// presentSurface, presentSurfaceRect and presentDirtyRects take window handles
// and are declared in gfx/surface_win.h.
