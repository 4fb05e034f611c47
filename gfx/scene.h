// The install scene: plays the scene lines of the setup script
// (config.scene) into the install window's back buffer. A frame step draws
// what the progress value and the clock call for and lists the rectangles it
// changed; it keeps no thread, timer or window of its own. The clock, the
// desktop stretch and the picture loader come in through hooks, so that the
// tools and tests run the scene on a simulated clock and in memory surfaces.
#pragma once

#include <cstdint>

#include "gfx/surface.h"
#include "platform/rect.h"

// Frame step passes.
enum ScenePass : int32_t {
  kScenePassSetup = 0,   // backgrounds and stage, once, with value 0
  kScenePassTick = 1,    // every timer tick and the completion step
  kScenePassFinish = 2,  // FINISH pictures (see sceneStep)
  kScenePassPrepare = 3, // the tick pass without starting sprites (see sceneStep)
};

// Progress values beyond the copy's 0..1000.
enum : int32_t {
  kSceneValueCompleted = 1010,   // passed once when every disc is copied
  kSceneValueAfterFinish = 1020, // every tick after that
};

// Display modes and bar directions as the script's value words give them.
enum : uint32_t {
  kDisplayNormal = 0x10000,
  kDisplayStretchDesktop = 0x10001,
  kDisplayCenterDesktop = 0x10002,
  kDisplaySmall = 0x10003,
  kDirectionFlag = 0x20000,  // directions: this plus the bits below
  kDirectionLeftBit = 1,
  kDirectionRightBit = 2,
  kDirectionUpBit = 4,
  kDirectionDownBit = 8,
  kDirectionLeft = 0x20001,
  kDirectionRight = 0x20002,
  kDirectionUp = 0x20004,
  kDirectionDown = 0x20008,
  kDirectionLeftUp = 0x20005,
  kDirectionRightUp = 0x20006,
  kDirectionLeftDown = 0x20009,
  kDirectionRightDown = 0x2000A,
};

// showUntil of a Sprite2 that never ends.
enum : int32_t { kSceneInfinite = -1 };

// One frame step over config.scene.
//  pass 0: draws BACK pictures and BASE stages (sets the surface's view
//          rectangle to the stage, also where it reaches past the surface:
//          only the drawing is cut to the surface).
//  pass 1: value is the progress (0..1000, 1010 on completion, 1020 after);
//          starts, steps, moves and ends elements.
//  pass 2: draws the FINISH pictures that have not been drawn yet; running
//          sprites are put back on top of them. Meant to run right after the
//          first tick with value 1020, when everything that ends with the
//          completion has been taken off (and that tick's list presented:
//          every step clears the list first).
//  pass 3: the tick pass, except that no sprite starts. The install window
//          runs it with value 0 right after the setup pass, so that what
//          shows from 0 % is seen and bars starting at 0 % are prepared while
//          the first disc is asked for, even when the first timer tick comes
//          late; sprites (and their clocks) start with the first tick.
// dirtyList is a table of kDirtyRects entry pointers; it is cleared and then
// lists the changed rectangles in surface coordinates, always ending with an
// inactive entry. Returns 1 when the surface changed, else 0 (also for any
// other pass, which does nothing).
int32_t sceneStep(int32_t pass, int32_t value, Surface* surface, DirtyRect** dirtyList);

// Frees the pictures and saved backgrounds of all slots and returns every
// slot to Waiting, so that the scene can be played again from its start.
void releaseScene();

// Adds a rectangle to a dirty list: it grows the first listed entry it
// overlaps (touching edges do not count), else takes the first inactive
// entry. The last entry is never used, so the list always ends; when the
// others are all taken the rectangle is merged into the one before it.
void addDirtyRect(DirtyRect** dirtyList, const Rect* rect);

// A dirty list in one zero-filled heap block: kDirtyRects pointers followed by
// the entries they point at. Null when out of memory; freed with heapFree.
DirtyRect** createDirtyList();

// a * b / c with a 64-bit product, rounded to the nearest integer with halves
// away from zero; -1 when c is 0 or the result does not fit in 32 bits. The
// arithmetic of the platform's MulDiv (whose name windows.h already takes).
int32_t mulDiv(int32_t a, int32_t b, int32_t c);

// ---- Hooks ---------------------------------------------------------------------
// The millisecond clock (32-bit, wrapping). Defaults to a monotonic clock; the
// Windows program sets timeGetTime, tools and tests a simulated clock.
typedef uint32_t (*SceneClock)();
extern SceneClock sceneClock;

// Stretches a picture over the whole surface (STRETCH_DESKTOP); 1 on success.
// Defaults to stretchPictureBlackOnWhite; the Windows program sets
// stretchPictureToSurface.
typedef int (*SceneStretch)(Surface* surface, const uint32_t* pixels, int32_t width,
                            int32_t height);
extern SceneStretch sceneStretch;

// Loads a picture by name (the size goes to widthOut and heightOut); a heap
// block the engine frees with heapFree, or null. Defaults to loadPicture.
typedef uint32_t* (*ScenePictureLoader)(const char* name, int32_t* widthOut, int32_t* heightOut);
extern ScenePictureLoader sceneLoadPicture;
