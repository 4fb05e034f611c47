// The install scene engine. Every element carries what it needs to take itself
// off the surface again (its saved background), so a step touches only the
// elements that start, step, end or lie above something that changed, and
// lists only the rectangles they cover.
#include "gfx/scene.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "media/epa.h"
#include "platform/platform.h"
#include "script/config.h"

// ---- Hooks -----------------------------------------------------------------------

static int stretchBlackOnWhite(Surface* surface, const uint32_t* pixels, int32_t width,
                               int32_t height) {
  stretchPictureBlackOnWhite(surface, pixels, width, height);
  return 1;
}

SceneClock sceneClock = clockMilliseconds;
SceneStretch sceneStretch = stretchBlackOnWhite;
ScenePictureLoader sceneLoadPicture = loadPicture;

static uint32_t readClock() { return sceneClock ? sceneClock() : 0; }

// ---- Arithmetic ------------------------------------------------------------------

int32_t mulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t product = int64_t(a) * b;  // at most 2^62 in magnitude
  bool negative = (product < 0) != (c < 0);
  uint64_t magnitude = product < 0 ? uint64_t(0) - uint64_t(product) : uint64_t(product);
  uint64_t divisor = c < 0 ? uint64_t(0) - uint64_t(int64_t(c)) : uint64_t(c);
  uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (negative) {
    if (quotient > uint64_t(INT32_MAX) + 1) return -1;
    return int32_t(-int64_t(quotient));
  }
  if (quotient > uint64_t(INT32_MAX)) return -1;
  return int32_t(quotient);
}

// Script numbers may be anything; sums of them wrap as 32-bit values do
// instead of overflowing.
static int32_t add32(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
static int32_t sub32(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
static int32_t times10(int32_t a) { return int32_t(uint32_t(a) * 10u); }

// ---- Dirty list --------------------------------------------------------------------

DirtyRect** createDirtyList() {
  // One block: the table of pointers, then the entries they point to.
  // NOLINTNEXTLINE(bugprone-sizeof-expression): the pointers' size is meant
  void* block = heapAlloc(kDirtyRects * (sizeof(DirtyRect*) + sizeof(DirtyRect)));
  if (!block) return nullptr;
  DirtyRect** table = static_cast<DirtyRect**>(block);
  DirtyRect* entries = reinterpret_cast<DirtyRect*>(table + kDirtyRects);
  for (int i = 0; i < kDirtyRects; i++) table[i] = &entries[i];
  return table;
}

static bool overlaps(const DirtyRect* e, const Rect* r) {
  return r->left < e->right && r->right > e->left && r->top < e->bottom && r->bottom > e->top;
}

static void growTo(DirtyRect* e, const Rect* r) {
  if (r->left < e->left) e->left = r->left;
  if (r->top < e->top) e->top = r->top;
  if (r->right > e->right) e->right = r->right;
  if (r->bottom > e->bottom) e->bottom = r->bottom;
}

void addDirtyRect(DirtyRect** dirtyList, const Rect* rect) {
  if (!dirtyList || !rect) return;
  int i = 0;
  for (; i < kDirtyRects - 1 && dirtyList[i]->active; i++) {
    if (overlaps(dirtyList[i], rect)) {
      growTo(dirtyList[i], rect);
      return;
    }
  }
  if (i == kDirtyRects - 1) {
    // Full: the last entry must stay inactive to end the list, so the one
    // before it covers this rectangle too. More is presented, nothing lost.
    growTo(dirtyList[i - 1], rect);
    return;
  }
  DirtyRect* e = dirtyList[i];
  e->active = 1;
  e->left = rect->left;
  e->top = rect->top;
  e->right = rect->right;
  e->bottom = rect->bottom;
}

// Lists the part of a surface rectangle that lies on the surface; empty
// rectangles (a bar of width 0) are not listed.
static void listRect(DirtyRect** dirtyList, const Surface* surface, Rect r) {
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > surface->width) r.right = surface->width;
  if (r.bottom > surface->height) r.bottom = surface->height;
  if (r.right <= r.left || r.bottom <= r.top) return;
  addDirtyRect(dirtyList, &r);
}

// ---- Elements ----------------------------------------------------------------------

static uint8_t needsWork[kSceneSlots];

// Loads the element's picture and records its size; null when it cannot be
// loaded or has no pixels.
static uint32_t* loadElementPicture(SceneElement* e) {
  int32_t width = 0, height = 0;
  uint32_t* pixels = sceneLoadPicture ? sceneLoadPicture(e->name, &width, &height) : nullptr;
  if (!pixels) return nullptr;
  if (width <= 0 || height <= 0) {
    heapFree(pixels);
    return nullptr;
  }
  e->pictureWidth = width;
  e->pictureHeight = height;
  return pixels;
}

static Rect placedRect(int32_t left, int32_t top, int32_t width, int32_t height) {
  return Rect{left, top, add32(left, width), add32(top, height)};
}

static Rect surfaceRectOf(const Surface* surface, const Rect& stageRect) {
  Rect r = stageRect;
  viewToSurfaceRect(surface, &r);
  return r;
}

static Rect intersection(const Rect& a, const Rect& b) {
  return Rect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
              a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

static Rect bounds(const Rect& a, const Rect& b) {
  return Rect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
              a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

// Draws a cell view-relative at (x, y) as drawPictureCell does, but only
// inside `area` (surface coordinates): the blitter is handed a copy of the
// surface whose view is narrowed to the area, with the position moved so
// that the stage's corner stays the origin. 1 when something was drawn.
static int32_t drawCellInside(Surface* surface, const Rect& area, const uint32_t* pixels,
                              int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t pitch, DirtyRect** dirtyList) {
  Rect view = {surface->viewLeft, surface->viewTop, surface->viewRight, surface->viewBottom};
  Rect clip = intersection(view, area);
  if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;
  int64_t left = int64_t(x) + surface->viewLeft - clip.left;
  int64_t top = int64_t(y) + surface->viewTop - clip.top;
  if (left < INT32_MIN || left > INT32_MAX || top < INT32_MIN || top > INT32_MAX) return 0;
  Surface cut = *surface;
  cut.viewLeft = clip.left;
  cut.viewTop = clip.top;
  cut.viewRight = clip.right;
  cut.viewBottom = clip.bottom;
  drawPictureCell(&cut, pixels, int32_t(left), int32_t(top), width, height, pitch, 1);
  Rect r = intersection(surfaceRectOf(surface, placedRect(x, y, width, height)), clip);
  listRect(dirtyList, surface, r);
  return 1;
}

// Sets the stage (the surface's view rectangle). It keeps its place even
// where it reaches past the surface, since it is the origin of everything on
// it; the blitter clips view-relative drawing to the surface as well, and
// saved backgrounds and listed rectangles are cut to the surface. Sides
// beyond the 32-bit range are held at its ends, and a stage of negative size
// is empty.
static void setStage(Surface* surface, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  auto fit = [](int64_t v) {
    return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
  };
  surface->viewLeft = fit(left);
  surface->viewTop = fit(top);
  surface->viewRight = fit(right > left ? right : left);
  surface->viewBottom = fit(bottom > top ? bottom : top);
}

// Sprite strips: only whole cells are shown, so no band reaches past the
// picture. Zero when the strip holds no whole cell.
static int32_t wholeCells(const SceneElement* e) {
  if (e->cellHeight <= 0 || e->pictureHeight < e->cellHeight) return 0;
  return e->pictureHeight / e->cellHeight;
}

// Memory row offset of the band a sprite shows now (without stepping).
static int32_t currentBand(const SceneElement* e) {
  if (e->type == kSceneSprite1) return e->cellIndex * e->cellHeight;
  // A Sprite2 counts its bands from the top of the strip; counter 0 is the
  // lowest whole band, shown last in the cycle.
  int32_t counted = e->cellIndex == 0 ? wholeCells(e) : e->cellIndex;
  return e->pictureHeight - counted * e->cellHeight;
}

// Saves what lies under the sprite's drawnRect and draws the band there.
static void drawSprite(SceneElement* e, int32_t band, Surface* surface, DirtyRect** dirtyList) {
  Rect r = surfaceRectOf(surface, e->drawnRect);
  readSurfaceRect(surface, e->savedBackground, &r);
  e->backgroundSaved = 1;
  drawPicture(surface, e->pixels + ptrdiff_t(band) * e->pictureWidth, e->drawnRect.left,
              e->drawnRect.top, e->pictureWidth, e->cellHeight, 1);
  listRect(dirtyList, surface, r);
}

// Puts back what lay under the element, as listed.
static void restoreBackground(SceneElement* e, Surface* surface, DirtyRect** dirtyList) {
  Rect r = surfaceRectOf(surface, e->drawnRect);
  writeSurfaceRect(surface, e->savedBackground, &r);
  e->backgroundSaved = 0;
  listRect(dirtyList, surface, r);
}

// Frees what a slot still holds from an earlier playing that was not
// released, before it starts again.
static void dropBuffers(SceneElement* e) {
  heapFree(e->pixels);
  e->pixels = nullptr;
  heapFree(e->savedBackground);
  e->savedBackground = nullptr;
  e->backgroundSaved = 0;
}

static uint32_t* newBackgroundBuffer(const SceneElement* e) {
  return static_cast<uint32_t*>(
      heapAlloc(size_t(e->pictureWidth) * size_t(e->pictureHeight) * 4));
}

// ---- Progress bars -------------------------------------------------------------------
// DIRECTION_RIGHT grows from the left edge to the right with moveX. The other
// directions follow the same rule per axis: a left bit grows from the right
// edge, a right bit from the left edge, an up bit from the bottom edge, a
// down bit from the top edge; an axis without a bit or with a move of 0 shows
// the picture's whole extent. A mode that is not a direction never grows.

struct BarAxes {
  bool horizontal;
  bool vertical;
  bool fromRight;
  bool fromBottom;
};

static BarAxes barAxes(const SceneElement* e) {
  BarAxes a = {false, false, false, false};
  if ((e->mode & ~0xFu) != kDirectionFlag) return a;
  uint32_t bits = e->mode & 0xFu;
  a.horizontal = (bits & (kDirectionLeftBit | kDirectionRightBit)) && e->moveX != 0;
  a.vertical = (bits & (kDirectionUpBit | kDirectionDownBit)) && e->moveY != 0;
  a.fromRight = (bits & kDirectionLeftBit) && !(bits & kDirectionRightBit);
  a.fromBottom = (bits & kDirectionUpBit) && !(bits & kDirectionDownBit);
  return a;
}

// The part of the picture the bar shows: columns [column, column + columns)
// and visual rows [row, row + rows).
struct BarPart {
  int32_t column, row, columns, rows;
};

static BarPart barPart(const SceneElement* e) {
  BarAxes a = barAxes(e);
  BarPart p;
  p.columns = a.horizontal ? e->barWidth : e->pictureWidth;
  p.rows = a.vertical ? e->barHeight : e->pictureHeight;
  p.column = a.fromRight ? e->pictureWidth - p.columns : 0;
  p.row = a.fromBottom ? e->pictureHeight - p.rows : 0;
  return p;
}

// Computes the bar's size for the value; when it differs from the size drawn
// last, stores it (at most the picture's size) with the new drawnRect and
// returns true.
static bool barGrows(SceneElement* e, int32_t value) {
  BarAxes a = barAxes(e);
  if (!a.horizontal && !a.vertical) return false;
  int32_t span = times10(sub32(e->showUntil, e->showFrom));
  int32_t width = 0, height = 0;
  bool differs = false;
  if (a.horizontal) {
    width = mulDiv(value, e->moveX, span);
    differs = differs || width != e->barWidth;
  }
  if (a.vertical) {
    height = mulDiv(value, e->moveY, span);
    differs = differs || height != e->barHeight;
  }
  if (!differs) return false;
  if (a.horizontal) e->barWidth = width < e->pictureWidth ? width : e->pictureWidth;
  if (a.vertical) e->barHeight = height < e->pictureHeight ? height : e->pictureHeight;
  BarPart p = barPart(e);
  e->drawnRect = placedRect(add32(e->x, p.column), add32(e->y, p.row), p.columns, p.rows);
  return true;
}

static int32_t drawBar(SceneElement* e, Surface* surface, DirtyRect** dirtyList,
                       const Rect* inside = nullptr) {
  BarPart p = barPart(e);
  if (p.columns <= 0 || p.rows <= 0) return 0;  // nothing grown yet, or no span
  // The cell's first pixel in memory is the left pixel of its bottom row.
  const uint32_t* cell = e->pixels +
                         ptrdiff_t(e->pictureHeight - p.row - p.rows) * e->pictureWidth + p.column;
  if (inside)
    return drawCellInside(surface, *inside, cell, e->drawnRect.left, e->drawnRect.top, p.columns,
                          p.rows, e->pictureWidth, dirtyList);
  drawPictureCell(surface, cell, e->drawnRect.left, e->drawnRect.top, p.columns, p.rows,
                  e->pictureWidth, 1);
  listRect(dirtyList, surface, surfaceRectOf(surface, e->drawnRect));
  return 1;
}

// ---- Setup pass ----------------------------------------------------------------------

static int32_t setupPass(Surface* surface, DirtyRect** dirtyList) {
  int32_t result = 0;
  for (int i = 0; i < kSceneSlots; i++) {
    SceneElement* e = &config.scene[i];
    if ((e->type != kSceneBack && e->type != kSceneBase) || e->state != kWaiting) continue;
    uint32_t* picture = loadElementPicture(e);
    if (e->type == kSceneBack) {
      if (picture && e->mode == kDisplayNormal) {
        drawPicture(surface, picture, e->x, e->y, e->pictureWidth, e->pictureHeight, 0);
        listRect(dirtyList, surface, placedRect(e->x, e->y, e->pictureWidth, e->pictureHeight));
      } else if (picture && e->mode == kDisplayStretchDesktop) {
        sceneStretch(surface, picture, e->pictureWidth, e->pictureHeight);
        listRect(dirtyList, surface, Rect{0, 0, surface->width, surface->height});
      }
    } else if (e->mode == kDisplayNormal) {
      // The stage is the script's rectangle even when its picture is missing,
      // so the scene's elements keep their places.
      setStage(surface, e->x, e->y, int64_t(e->x) + e->moveX, int64_t(e->y) + e->moveY);
      if (picture) drawPicture(surface, picture, e->x, e->y, e->pictureWidth, e->pictureHeight, 0);
    } else if (e->mode == kDisplayCenterDesktop) {
      int64_t left = (int64_t(surface->width) - e->moveX) / 2;
      int64_t top = (int64_t(surface->height) - e->moveY) / 2;
      setStage(surface, left, top, left + e->moveX, top + e->moveY);
      if (picture) drawPicture(surface, picture, 0, 0, e->pictureWidth, e->pictureHeight, 1);
    }
    heapFree(picture);
    e->state = kDone;
    result = 1;
  }
  return result;
}

// ---- Tick pass -----------------------------------------------------------------------

// Marks the slots that need work this tick; false when none does. Waiting
// sprites are left waiting unless startSprites is set.
static bool decide(int32_t value, int32_t percent, uint32_t now, bool startSprites) {
  bool changed = false;
  auto mark = [&](int i) {
    needsWork[i] = 1;
    changed = true;
  };
  for (int i = 0; i < kSceneSlots && config.scene[i].type != kSceneFree; i++) {
    SceneElement* e = &config.scene[i];
    if (e->state == kWaiting) {
      switch (e->type) {
        case kSceneSprite1:
        case kSceneSprite2:
          if (startSprites && e->showFrom <= percent) mark(i);
          break;
        case kSceneWrite:
        case kSceneElement:
          if (e->showFrom <= percent) mark(i);
          break;
        case kSceneProgressBar:
          if (e->showFrom >= percent) {
            e->barWidth = e->moveX != 0 ? 0 : e->pictureWidth;
            e->barHeight = e->moveY != 0 ? 0 : e->pictureHeight;
            mark(i);
          }
          break;
        default:
          break;
      }
    } else if (e->state == kActive) {
      switch (e->type) {
        case kSceneElement:
          if (e->showUntil < percent) mark(i);
          break;
        case kSceneProgressBar:
          if (e->showFrom < percent && barGrows(e, value)) mark(i);
          break;
        case kSceneSprite1:
          // A sprite above anything that changed is redrawn to stay on top.
          if (changed)
            needsWork[i] = 1;
          else if (percent < e->showFrom || e->showUntil < percent) {
            if (e->backgroundSaved) mark(i);
          } else if (now - e->stepTime > uint32_t(e->frameInterval))
            mark(i);
          break;
        case kSceneSprite2:
          if (changed)
            needsWork[i] = 1;
          else if (e->showUntil != kSceneInfinite && now - e->stepTime > uint32_t(e->showUntil)) {
            if (e->backgroundSaved) mark(i);
          } else if (now >= e->nextStepTime)
            mark(i);
          break;
        default:
          break;
      }
    }
  }
  return changed;
}

// Takes the marked elements off the surface, from the top of the drawing
// order down, so each restores exactly what lay under it.
static int32_t erase(Surface* surface, DirtyRect** dirtyList) {
  int32_t result = 0;
  for (int i = kSceneSlots - 1; i >= 0; i--) {
    SceneElement* e = &config.scene[i];
    if (!needsWork[i] || e->state != kActive || !e->backgroundSaved || !e->savedBackground)
      continue;
    if (e->type != kSceneElement && e->type != kSceneSprite1 && e->type != kSceneSprite2)
      continue;
    restoreBackground(e, surface, dirtyList);
    if (e->type == kSceneElement) {
      heapFree(e->savedBackground);
      e->savedBackground = nullptr;
    }
    result = 1;
  }
  return result;
}

// Loads a sprite's strip and background buffer; false (and Done) when either
// is missing or the strip holds no whole cell.
static bool startSprite(SceneElement* e) {
  dropBuffers(e);
  e->pixels = loadElementPicture(e);
  if (e->pixels && wholeCells(e) > 0) e->savedBackground = newBackgroundBuffer(e);
  if (!e->savedBackground) {
    heapFree(e->pixels);
    e->pixels = nullptr;
    e->state = kDone;
    return false;
  }
  e->drawnRect = placedRect(e->x, e->y, e->pictureWidth, e->cellHeight);
  return true;
}

static int32_t drawWrite(SceneElement* e, Surface* surface, DirtyRect** dirtyList) {
  if (e->state != kWaiting) return 0;
  e->state = kDone;
  uint32_t* picture = loadElementPicture(e);
  if (!picture) return 0;
  e->drawnRect = placedRect(e->x, e->y, e->pictureWidth, e->pictureHeight);
  drawPicture(surface, picture, e->x, e->y, e->pictureWidth, e->pictureHeight, 1);
  heapFree(picture);
  listRect(dirtyList, surface, surfaceRectOf(surface, e->drawnRect));
  return 1;
}

// Loads the element's picture and draws it over what it saves beneath; Done
// (and 0) when either its picture or its background buffer is missing, as it
// could never be taken off again without the buffer.
static int32_t showElement(SceneElement* e, Surface* surface, DirtyRect** dirtyList) {
  dropBuffers(e);
  uint32_t* picture = loadElementPicture(e);
  if (picture) e->savedBackground = newBackgroundBuffer(e);
  if (!e->savedBackground) {
    heapFree(picture);
    e->state = kDone;
    return 0;
  }
  e->drawnRect = placedRect(e->x, e->y, e->pictureWidth, e->pictureHeight);
  Rect r = surfaceRectOf(surface, e->drawnRect);
  readSurfaceRect(surface, e->savedBackground, &r);
  e->backgroundSaved = 1;
  drawPicture(surface, picture, e->x, e->y, e->pictureWidth, e->pictureHeight, 1);
  heapFree(picture);
  e->state = kActive;
  listRect(dirtyList, surface, r);
  return 1;
}

static int32_t drawElement(SceneElement* e, int32_t percent, Surface* surface,
                           DirtyRect** dirtyList) {
  if (e->state == kActive) {
    if (e->showUntil < percent) e->state = kDone;  // already erased
    return 0;
  }
  if (e->state != kWaiting) return 0;
  return showElement(e, surface, dirtyList);
}

static int32_t drawProgressBar(SceneElement* e, int32_t percent, Surface* surface,
                               DirtyRect** dirtyList) {
  if (e->state == kWaiting) {
    dropBuffers(e);
    e->pixels = loadElementPicture(e);
    e->state = e->pixels ? kActive : kDone;
    return 0;
  }
  if (e->state != kActive) return 0;
  if (e->showUntil < percent) e->state = kDone;  // drawn this last time
  return drawBar(e, surface, dirtyList);
}

static int32_t drawSprite1(SceneElement* e, int32_t value, int32_t percent, uint32_t now,
                           Surface* surface, DirtyRect** dirtyList) {
  if (e->state == kWaiting) {
    if (!startSprite(e)) return 0;
    drawSprite(e, 0, surface, dirtyList);
    e->stepTime = readClock();
    e->cellIndex = 0;
    e->state = kActive;
    return 1;
  }
  if (e->state != kActive) return 0;
  if (e->showUntil < percent) {
    e->state = kDone;
    return 0;
  }
  if (now - e->stepTime > uint32_t(e->frameInterval)) {
    e->cellIndex += 1;
    if (e->cellIndex >= wholeCells(e)) e->cellIndex = 0;
    // Moves with the progress from (x, y) at showFrom to (x + moveX,
    // y + moveY) at showUntil.
    int32_t progressed = sub32(value, times10(e->showFrom));
    int32_t span = times10(sub32(e->showUntil, e->showFrom));
    int32_t left = add32(e->x, mulDiv(progressed, e->moveX, span));
    int32_t top = add32(e->y, mulDiv(progressed, e->moveY, span));
    e->drawnRect = placedRect(left, top, e->pictureWidth, e->cellHeight);
    e->stepTime = readClock();
  }
  drawSprite(e, currentBand(e), surface, dirtyList);
  return 1;
}

static int32_t drawSprite2(SceneElement* e, uint32_t now, Surface* surface,
                           DirtyRect** dirtyList) {
  if (e->state == kWaiting) {
    if (!startSprite(e)) return 0;
    drawSprite(e, e->pictureHeight - e->cellHeight, surface, dirtyList);
    e->stepTime = readClock();
    e->nextStepTime = e->stepTime + uint32_t(e->startDelay);
    e->cellIndex = wholeCells(e) > 1 ? 1 : 0;
    e->state = kActive;
    return 1;
  }
  if (e->state != kActive) return 0;
  uint32_t elapsed = now - e->stepTime;
  if (e->showUntil != kSceneInfinite && elapsed > uint32_t(e->showUntil)) {
    e->state = kDone;
    return 0;
  }
  int32_t band;
  if (e->nextStepTime < now) {
    e->nextStepTime += uint32_t(e->cellIndex == 0 ? e->firstFrameInterval : e->frameInterval);
    // Moves with the clock: (moveX, moveY) over the duration, or per second
    // when it never ends.
    int32_t duration = e->showUntil == kSceneInfinite ? 1000 : e->showUntil;
    int32_t left = add32(e->x, mulDiv(e->moveX, int32_t(elapsed), duration));
    int32_t top = add32(e->y, mulDiv(e->moveY, int32_t(elapsed), duration));
    e->cellIndex += 1;
    e->drawnRect = placedRect(left, top, e->pictureWidth, e->cellHeight);
    band = e->pictureHeight - e->cellIndex * e->cellHeight;
    if (e->cellIndex >= wholeCells(e)) e->cellIndex = 0;
  } else {
    band = currentBand(e);
  }
  drawSprite(e, band, surface, dirtyList);
  return 1;
}

static int32_t tickPass(int32_t value, uint32_t now, bool startSprites, Surface* surface,
                        DirtyRect** dirtyList) {
  int32_t percent = value / 10;
  if (!decide(value, percent, now, startSprites)) return 0;
  int32_t result = erase(surface, dirtyList);
  for (int i = 0; i < kSceneSlots; i++) {
    if (!needsWork[i]) continue;
    SceneElement* e = &config.scene[i];
    int32_t drew = 0;
    switch (e->type) {
      case kSceneWrite:
        drew = drawWrite(e, surface, dirtyList);
        break;
      case kSceneElement:
        drew = drawElement(e, percent, surface, dirtyList);
        break;
      case kSceneProgressBar:
        drew = drawProgressBar(e, percent, surface, dirtyList);
        break;
      case kSceneSprite1:
        drew = drawSprite1(e, value, percent, now, surface, dirtyList);
        break;
      case kSceneSprite2:
        drew = drawSprite2(e, now, surface, dirtyList);
        break;
      default:
        break;
    }
    if (drew) result = 1;
  }
  return result;
}

// ---- Finish pass ---------------------------------------------------------------------
// A FINISH picture takes its place in the script's drawing order like every
// other line: what comes before it in the script lies under it, what comes
// after it lies over it. Running sprites stay on top of everything, as they
// do whenever something changes under them.

static bool isRunningSprite(const SceneElement* e) {
  return (e->type == kSceneSprite1 || e->type == kSceneSprite2) && e->state == kActive &&
         e->backgroundSaved && e->savedBackground;
}

static bool isShownElement(const SceneElement* e) {
  return e->type == kSceneElement && e->state == kActive && e->backgroundSaved &&
         e->savedBackground;
}

// Draws a FINISH picture; `covered` grows to the bounds of itself and the
// part of the surface the picture drew on. False when nothing was drawn.
static bool drawFinish(SceneElement* e, Surface* surface, DirtyRect** dirtyList, Rect* covered) {
  e->state = kDone;
  uint32_t* picture = loadElementPicture(e);
  if (!picture) return false;
  Rect area = {0, 0, 0, 0};
  if (e->mode == kDisplayNormal) {
    drawPicture(surface, picture, e->x, e->y, e->pictureWidth, e->pictureHeight, 1);
    Rect view = {surface->viewLeft, surface->viewTop, surface->viewRight, surface->viewBottom};
    Rect r = surfaceRectOf(surface, placedRect(e->x, e->y, e->pictureWidth, e->pictureHeight));
    listRect(dirtyList, surface, r);
    area = intersection(intersection(r, view), Rect{0, 0, surface->width, surface->height});
  } else if (e->mode == kDisplayStretchDesktop) {
    sceneStretch(surface, picture, e->pictureWidth, e->pictureHeight);
    area = Rect{0, 0, surface->width, surface->height};
    listRect(dirtyList, surface, area);
  }
  heapFree(picture);
  if (area.right <= area.left || area.bottom <= area.top) return false;
  *covered = covered->right <= covered->left ? area : bounds(*covered, area);
  return true;
}

// Draws a WRITE or a bar that is on the surface again, over the finish
// pictures drawn before it: only inside `covered`, so that the rest of it is
// not blended twice (but for the gaps between finish pictures set apart,
// which their bounds take in as well).
static void redrawOver(SceneElement* e, const Rect& covered, Surface* surface,
                       DirtyRect** dirtyList) {
  if (e->type == kSceneWrite && e->state == kDone) {
    uint32_t* picture = loadElementPicture(e);
    if (!picture) return;
    drawCellInside(surface, covered, picture, e->x, e->y, e->pictureWidth, e->pictureHeight,
                   e->pictureWidth, dirtyList);
    heapFree(picture);
  } else if (e->type == kSceneProgressBar && e->state != kWaiting && e->pixels) {
    drawBar(e, surface, dirtyList, &covered);
  }
}

static int32_t finishPass(Surface* surface, DirtyRect** dirtyList) {
  int first = -1;
  for (int i = 0; i < kSceneSlots && first < 0; i++)
    if (config.scene[i].type == kSceneFinish && config.scene[i].state == kWaiting) first = i;
  if (first < 0) return 0;

  // Off the surface, from the top down: the running sprites, which go back
  // on top afterwards saving the finished picture beneath them (otherwise
  // their next step would restore the scene from before the finish over
  // it), and the elements after the first finish picture, which go back
  // over it.
  for (int i = kSceneSlots - 1; i >= 0; i--) {
    SceneElement* e = &config.scene[i];
    needsWork[i] = isRunningSprite(e) || (i > first && isShownElement(e));
    if (needsWork[i]) restoreBackground(e, surface, dirtyList);
  }
  Rect covered = {0, 0, 0, 0};  // what the finish pictures drawn so far cover
  int lastDrawn = -1;
  for (int i = first; i < kSceneSlots; i++) {
    SceneElement* e = &config.scene[i];
    if (e->type == kSceneFinish && e->state == kWaiting) {
      if (drawFinish(e, surface, dirtyList, &covered)) lastDrawn = i;
    } else if (e->type == kSceneElement && needsWork[i]) {
      showElement(e, surface, dirtyList);
    } else if (lastDrawn >= 0) {
      redrawOver(e, covered, surface, dirtyList);
    }
  }
  // What lies under the last finish picture drawn stays there: its elements
  // are no longer taken off (that would put back the scene from before the
  // finish), its bars no longer drawn.
  for (int i = 0; i < lastDrawn; i++) {
    SceneElement* e = &config.scene[i];
    if (e->type == kSceneElement && e->state == kActive) {
      heapFree(e->savedBackground);
      e->savedBackground = nullptr;
      e->backgroundSaved = 0;
      e->state = kDone;
    } else if (e->type == kSceneProgressBar && e->state == kActive) {
      e->state = kDone;
    }
  }
  for (int i = 0; i < kSceneSlots; i++) {
    SceneElement* e = &config.scene[i];
    if (needsWork[i] && e->type != kSceneElement) drawSprite(e, currentBand(e), surface, dirtyList);
  }
  return 1;
}

// ---- Entry points --------------------------------------------------------------------

int32_t sceneStep(int32_t pass, int32_t value, Surface* surface, DirtyRect** dirtyList) {
  if (pass != kScenePassSetup && pass != kScenePassTick && pass != kScenePassFinish &&
      pass != kScenePassPrepare)
    return 0;
  if (!surface || !surface->bits) return 0;
  if (dirtyList)
    for (int i = 0; i < kDirtyRects; i++) dirtyList[i]->active = 0;
  memset(needsWork, 0, sizeof needsWork);
  uint32_t now = readClock();
  if (pass == kScenePassSetup) return setupPass(surface, dirtyList);
  if (pass == kScenePassTick || pass == kScenePassPrepare)
    return tickPass(value, now, pass == kScenePassTick, surface, dirtyList);
  return finishPass(surface, dirtyList);
}

void releaseScene() {
  for (int i = 0; i < kSceneSlots; i++) {
    config.scene[i].state = kWaiting;
    dropBuffers(&config.scene[i]);
  }
}
