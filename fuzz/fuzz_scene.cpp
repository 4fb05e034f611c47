// The install scene played from a fuzzed script with fuzzed pictures, over a
// fuzzed run of ticks, clock steps and finish passes, on a small memory
// surface. Every heap block the engine sees is exactly as large as announced,
// so reads and writes outside pictures, saved backgrounds and the surface are
// caught; after every step the dirty list must end and list only non-empty
// rectangles on the surface, and the stage must not be of negative size (it
// may lie partly or wholly off the surface).
//
// Input layout:
//   8 bytes   header: surface width and height (1 + byte % 64), flags (bit 0
//             packed blend, bit 1 replay the scene once more at the end),
//             the clock's start (4 bytes, so it can wrap), tick count
//   4 * n     ticks: op, value (2 bytes), clock step; see runTick
//   text      the script, up to a zero byte (or the end of the input)
//   rest      pictures, each: kind, length (2 bytes), that many bytes
//             kind % 3: 0 an EPA file, 1 raw pixels (first two bytes give
//             width and height), 2 a picture the loader cannot provide
// A scene line's picture is chosen by the first byte of its name.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "gfx/scene.h"
#include "gfx/surface.h"
#include "media/epa.h"
#include "platform/platform.h"
#include "script/config.h"

namespace {

enum { kMaxPictures = 16, kMaxPicturePixels = 1 << 14, kMaxTicks = 96 };

struct FuzzPicture {
  int kind;  // 0 EPA, 1 raw, 2 missing
  const uint8_t* data;
  size_t size;
};

FuzzPicture pictures[kMaxPictures];
int pictureCount;
uint32_t now;

uint32_t fuzzClock() { return now; }

uint32_t* decodePicture(const FuzzPicture& p, int32_t* widthOut, int32_t* heightOut) {
  if (p.kind == 0) {
    EpaInfo info;
    if (readEpaHeader(p.data, p.size, &info) != 0) return nullptr;
    if (uint64_t(info.width) * info.height > kMaxPicturePixels) return nullptr;
    uint32_t* block = static_cast<uint32_t*>(heapAlloc(size_t(info.width) * info.height * 4));
    if (!block) return nullptr;
    // A damaged stream still gives a whole picture, as the program's loader has it.
    int result = decodeEpa(p.data, p.size, block);
    if (result != 0 && result != kEpaBadStream) {
      heapFree(block);
      return nullptr;
    }
    *widthOut = int32_t(info.width);
    *heightOut = int32_t(info.height);
    return block;
  }
  if (p.kind == 1 && p.size >= 2) {
    // Sizes of 0 come through too: the engine must refuse such a picture.
    int32_t width = p.data[0] % 48, height = p.data[1] % 96;
    size_t pixels = size_t(width) * size_t(height);
    uint32_t* block = static_cast<uint32_t*>(heapAlloc(pixels ? pixels * 4 : 4));
    if (!block) return nullptr;
    size_t bytes = p.size - 2 < pixels * 4 ? p.size - 2 : pixels * 4;
    memcpy(block, p.data + 2, bytes);
    *widthOut = width;
    *heightOut = height;
    return block;
  }
  return nullptr;
}

uint32_t* fuzzLoadPicture(const char* name, int32_t* widthOut, int32_t* heightOut) {
  if (!name || pictureCount == 0) return nullptr;
  return decodePicture(pictures[uint8_t(name[0]) % pictureCount], widthOut, heightOut);
}

void check(bool ok) {
  if (!ok) abort();
}

// What every step must leave behind.
void checkStep(int32_t result, const Surface* surface, DirtyRect** list) {
  check(surface->viewLeft <= surface->viewRight && surface->viewTop <= surface->viewBottom);
  int i = 0;
  for (; i < kDirtyRects && list[i]->active; i++) {
    const DirtyRect* e = list[i];
    check(e->left >= 0 && e->top >= 0 && e->right <= surface->width &&
          e->bottom <= surface->height);
    check(e->left < e->right && e->top < e->bottom);
  }
  check(i < kDirtyRects);          // the list ends
  check(i == 0 || result == 1);    // listed rectangles mean the surface changed
}

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at;
  uint8_t byte() { return at < size ? data[at++] : 0; }
};

int32_t step(int32_t pass, int32_t value, Surface* surface, DirtyRect** list) {
  int32_t result = sceneStep(pass, value, surface, list);
  checkStep(result, surface, list);
  return result;
}

// One tick record: op bits 0-1 choose the step (0 progress value % 1001,
// 1 completion, 2 after completion, 3 finish pass); bit 2 replays the scene
// from its start (release, setup pass) first; bit 3 passes the raw 16-bit
// value instead; bit 4 makes step 0 a preparing pass. The clock then moves by the step byte (x 8 ms), or by a
// large jump for bytes from 250 on.
void runTick(Reader* in, Surface* surface, DirtyRect** list) {
  uint8_t op = in->byte();
  uint32_t raw = in->byte();
  raw |= uint32_t(in->byte()) << 8;
  uint8_t clockStep = in->byte();
  if (op & 4) {
    releaseScene();
    step(kScenePassSetup, 0, surface, list);
  }
  int32_t value = (op & 8) ? int32_t(int16_t(raw)) : int32_t(raw % 1001);
  switch (op & 3) {
    case 0: step((op & 16) ? kScenePassPrepare : kScenePassTick, value, surface, list); break;
    case 1: step(kScenePassTick, kSceneValueCompleted, surface, list); break;
    case 2: step(kScenePassTick, kSceneValueAfterFinish, surface, list); break;
    default: step(kScenePassFinish, 0, surface, list); break;
  }
  static const uint32_t jumps[6] = {1000, 65536, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFF00u, 0xFFFFFFFFu};
  now += clockStep < 250 ? uint32_t(clockStep) * 8 : jumps[clockStep - 250];
}

// An empty record as at program start, so that the scene slots of one input
// are not kept for the next.
void resetRecord() {
  releaseScene();
  releaseConfig();
  memset(&config, 0, sizeof config);
  configInitialised = false;
  releaseConfig();
}

// The install window's run: setup, preparing, the ticks, completion, the
// finish.
void play(Reader ticks, int tickCount, Surface* surface, DirtyRect** list) {
  step(kScenePassSetup, 0, surface, list);
  step(kScenePassPrepare, 0, surface, list);
  for (int t = 0; t < tickCount; t++) runTick(&ticks, surface, list);
  step(kScenePassTick, kSceneValueCompleted, surface, list);
  now += 100;
  step(kScenePassTick, kSceneValueAfterFinish, surface, list);
  step(kScenePassFinish, 0, surface, list);
  for (int t = 0; t < 3; t++) {
    now += 100;
    step(kScenePassTick, kSceneValueAfterFinish, surface, list);
  }
  step(kScenePassFinish, 0, surface, list);  // a second finish pass draws nothing new
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  int32_t width = 1 + data[0] % 64, height = 1 + data[1] % 64;
  uint8_t flags = data[2];
  uint32_t clockStart = uint32_t(data[3]) | uint32_t(data[4]) << 8 | uint32_t(data[5]) << 16 |
                        uint32_t(data[6]) << 24;
  int tickCount = data[7] % (kMaxTicks + 1);
  Reader ticks = {data, size, 8};
  size_t at = 8 + size_t(tickCount) * 4;
  if (at > size) at = size;

  // The script: exactly its bytes and a zero.
  size_t textEnd = at;
  while (textEnd < size && data[textEnd]) textEnd++;
  char* text = static_cast<char*>(malloc(textEnd - at + 1));
  if (!text) return 0;
  memcpy(text, data + at, textEnd - at);
  text[textEnd - at] = 0;

  pictureCount = 0;
  for (size_t p = textEnd + 1; p + 3 <= size && pictureCount < kMaxPictures;) {
    size_t length = data[p + 1] | size_t(data[p + 2]) << 8;
    if (length > size - p - 3) length = size - p - 3;
    pictures[pictureCount++] = {data[p] % 3, data + p + 3, length};
    p += 3 + length;
  }

  resetRecord();
  loadConfigText(text, nullptr);  // a script that fails half-way keeps its earlier lines
  sceneClock = fuzzClock;
  sceneLoadPicture = fuzzLoadPicture;
  mmxAvailable = flags & 1;
  now = clockStart;

  Surface* surface = createMemorySurface(width, height);
  DirtyRect** list = createDirtyList();
  if (surface && list) {
    // The surface holds a known pattern, so blends read real values.
    for (int32_t i = 0; i < width * height; i++) surface->bits[i] = 0x10203040u * uint32_t(i + 1);
    play(ticks, tickCount, surface, list);
    if (flags & 2) {
      // A second install window plays the same scene again.
      releaseScene();
      surface->viewLeft = surface->viewTop = 0;
      surface->viewRight = width;
      surface->viewBottom = height;
      play(ticks, tickCount, surface, list);
    }
  }
  heapFree(list);
  destroyMemorySurface(surface);
  resetRecord();
  free(text);
  return 0;
}
