// The install scene on a 1920 x 1080 surface: a full-screen background, a
// centred stage, 8 elements, a progress bar and 16 animated 64 x 64 sprites.
// Pictures come from memory (decoding is measured by bench_epa), the clock
// advances 100 ms per tick as the install window's timer does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gfx/scene.h"
#include "platform/platform.h"
#include "script/config.h"

namespace {

const int32_t kWidth = 1920, kHeight = 1080;

struct Picture {
  int32_t width, height;
  std::vector<uint32_t> pixels;
};

std::map<std::string, Picture>& pictures() {
  static std::map<std::string, Picture> p;
  return p;
}

uint32_t now = 0;
uint32_t benchClock() { return now; }

uint32_t* loadFromMemory(const char* name, int32_t* widthOut, int32_t* heightOut) {
  auto it = pictures().find(name);
  if (it == pictures().end()) return nullptr;
  uint32_t* block = static_cast<uint32_t*>(heapAlloc(it->second.pixels.size() * 4));
  if (!block) return nullptr;
  memcpy(block, it->second.pixels.data(), it->second.pixels.size() * 4);
  *widthOut = it->second.width;
  *heightOut = it->second.height;
  return block;
}

// Random colours; alpha fixed, or random when `alpha` is negative.
void makePicture(const char* name, int32_t width, int32_t height, int alpha) {
  std::mt19937 rng(uint32_t(width * 7919 + height));
  Picture p{width, height, std::vector<uint32_t>(size_t(width) * height)};
  for (uint32_t& px : p.pixels) {
    uint32_t a = alpha < 0 ? rng() >> 24 : uint32_t(alpha);
    px = (rng() & 0xFFFFFF) | a << 24;
  }
  pictures()[name] = p;
}

SceneElement* addSlot(int32_t type, const char* name) {
  for (SceneElement& e : config.scene)
    if (e.type == kSceneFree) {
      e.type = type;
      strcpy(e.name, name);
      return &e;
    }
  return nullptr;
}

void buildScene() {
  memset(config.scene, 0, sizeof config.scene);
  makePicture("BACK.EPA", kWidth, kHeight, 255);
  makePicture("STAGE.EPA", 1600, 900, 255);
  makePicture("ITEM.EPA", 200, 150, 160);
  makePicture("BAR.EPA", 800, 24, 255);
  makePicture("SPRITE.EPA", 64, 256, -1);  // 4 cells of 64 rows

  addSlot(kSceneBack, "BACK.EPA")->mode = kDisplayNormal;
  SceneElement* stage = addSlot(kSceneBase, "STAGE.EPA");
  stage->mode = kDisplayCenterDesktop;
  stage->moveX = 1600;
  stage->moveY = 900;
  // Element i shows from percent i + 1 to i + 8: on the ticks of percent 1
  // to 16 one element appears or goes at every tick.
  for (int i = 0; i < 8; i++) {
    SceneElement* e = addSlot(kSceneElement, "ITEM.EPA");
    e->x = 20 + 195 * i;
    e->y = 20;
    e->showFrom = i + 1;
    e->showUntil = i + 8;
  }
  SceneElement* bar = addSlot(kSceneProgressBar, "BAR.EPA");
  bar->x = 400;
  bar->y = 820;
  bar->moveX = 800;
  bar->showUntil = 100;
  bar->mode = kDirectionRight;
  for (int i = 0; i < 16; i++) {
    // Half move with the progress, half cycle in place with the clock; all
    // step on every tick.
    SceneElement* s = addSlot(i % 2 ? kSceneSprite2 : kSceneSprite1, "SPRITE.EPA");
    s->cellHeight = 64;
    s->x = 40 + 95 * i;
    s->y = 250 + 30 * (i % 8);
    s->moveX = i % 2 ? 0 : 150;
    s->showUntil = i % 2 ? kSceneInfinite : 100;
  }
}

struct Scene {
  Surface* surface = nullptr;
  DirtyRect** list = nullptr;
  Scene() {
    mmxAvailable = detectMmx();
    sceneClock = benchClock;
    sceneLoadPicture = loadFromMemory;
    buildScene();
    surface = createMemorySurface(kWidth, kHeight);
    list = createDirtyList();
    now = 0;
  }
  ~Scene() {
    releaseScene();
    destroyMemorySurface(surface);
    heapFree(list);
  }
};

// One tick with everything running: one of the 8 elements appearing or
// going, 16 sprites erased and redrawn, the bar growing by 8 columns. The
// progress goes round percent 1 to 16; after 16 every element has gone and
// they all wait again for the next round.
void BM_SceneTick(benchmark::State& state) {
  Scene scene;
  sceneStep(kScenePassSetup, 0, scene.surface, scene.list);
  sceneStep(kScenePassTick, 0, scene.surface, scene.list);
  int64_t ticks = 0;
  for (auto _ : state) {
    ticks++;
    now += 100;
    int32_t percent = 1 + int32_t(ticks % 16);
    if (percent == 1)
      for (SceneElement& e : config.scene)
        if (e.type == kSceneElement) e.state = kWaiting;
    benchmark::DoNotOptimize(sceneStep(kScenePassTick, 10 * percent, scene.surface, scene.list));
  }
  state.SetItemsProcessed(state.iterations());
}

// A tick at which nothing needs work.
void BM_SceneTickIdle(benchmark::State& state) {
  Scene scene;
  for (SceneElement& e : config.scene)
    if (e.type == kSceneSprite1 || e.type == kSceneSprite2) e.frameInterval = 1 << 30;
  sceneStep(kScenePassSetup, 0, scene.surface, scene.list);
  sceneStep(kScenePassTick, 0, scene.surface, scene.list);
  now = 100;
  for (auto _ : state)
    benchmark::DoNotOptimize(sceneStep(kScenePassTick, 0, scene.surface, scene.list));
  state.SetItemsProcessed(state.iterations());
}

// The setup pass: background and stage drawn over the whole surface.
void BM_SceneSetup(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    releaseScene();
    benchmark::DoNotOptimize(sceneStep(kScenePassSetup, 0, scene.surface, scene.list));
  }
  state.SetItemsProcessed(state.iterations());
}

// The first tick: every element, the bar and the sprites loaded and drawn.
void BM_SceneFirstTick(benchmark::State& state) {
  Scene scene;
  for (SceneElement& e : config.scene)
    if (e.type == kSceneElement) e.showFrom = 0;
  for (auto _ : state) {
    state.PauseTiming();
    releaseScene();
    sceneStep(kScenePassSetup, 0, scene.surface, scene.list);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sceneStep(kScenePassTick, 0, scene.surface, scene.list));
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_SceneTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneTickIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneSetup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneFirstTick)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
