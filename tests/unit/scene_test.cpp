// The scene engine on a simulated clock with pictures made in memory, checked
// against the pixels it leaves on a memory surface and the rectangles it lists.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gfx/scene.h"
#include "platform/platform.h"
#include "script/config.h"

namespace {

const uint32_t kBackground = 0x203040;  // what the surface holds before the scene

struct TestPicture {
  int32_t width;
  int32_t height;
  std::vector<uint32_t> pixels;  // bottom-up, as the loader gives them
};

std::map<std::string, TestPicture> pictures;
int loads = 0;
uint32_t simulatedNow = 0;
int stretches = 0;

uint32_t simulatedClock() { return simulatedNow; }

// Hands out a heap block of exactly the picture's size, so a read past it
// shows up under the address sanitizer.
uint32_t* loadFromMemory(const char* name, int32_t* widthOut, int32_t* heightOut) {
  auto it = pictures.find(name);
  if (it == pictures.end()) return nullptr;
  const TestPicture& p = it->second;
  uint32_t* block = static_cast<uint32_t*>(heapAlloc(p.pixels.size() * 4));
  if (!block) return nullptr;
  memcpy(block, p.pixels.data(), p.pixels.size() * 4);
  *widthOut = p.width;
  *heightOut = p.height;
  loads++;
  return block;
}

int countingStretch(Surface* surface, const uint32_t* pixels, int32_t width, int32_t height) {
  stretches++;
  stretchPictureBlackOnWhite(surface, pixels, width, height);
  return 1;
}

// An opaque picture whose pixel at column c and memory row m is
// f(c, visual row) with the colour bits only.
template <typename F>
void addPicture(const std::string& name, int32_t width, int32_t height, F colour) {
  TestPicture p{width, height, std::vector<uint32_t>(size_t(width) * height)};
  for (int32_t m = 0; m < height; m++)
    for (int32_t c = 0; c < width; c++)
      p.pixels[size_t(m) * width + c] = 0xFF000000u | (colour(c, height - 1 - m) & 0xFFFFFF);
  pictures[name] = p;
}

void addSolid(const std::string& name, int32_t width, int32_t height, uint32_t rgb) {
  addPicture(name, width, height, [rgb](int32_t, int32_t) { return rgb; });
}

// A sprite strip whose pixels tell their memory row: 0x100000 + row.
void addStrip(const std::string& name, int32_t width, int32_t height) {
  addPicture(name, width, height,
             [height](int32_t, int32_t row) { return 0x100000u + uint32_t(height - 1 - row); });
}

constexpr int32_t W = 480, H = 200;  // the test surface

class SceneTest : public ::testing::Test {
 protected:
  Surface* surface = nullptr;
  DirtyRect** list = nullptr;

  void SetUp() override {
    memset(config.scene, 0, sizeof config.scene);
    pictures.clear();
    loads = 0;
    stretches = 0;
    simulatedNow = 0;
    sceneClock = simulatedClock;
    sceneLoadPicture = loadFromMemory;
    sceneStretch = countingStretch;
    mmxAvailable = 0;  // exact blend: an opaque pixel lands unchanged
    surface = createMemorySurface(W, H);
    list = createDirtyList();
    ASSERT_TRUE(surface && list);
    for (int32_t i = 0; i < W * H; i++) surface->bits[i] = kBackground;
  }

  void TearDown() override {
    heapFailAfter(0);
    releaseScene();
    memset(config.scene, 0, sizeof config.scene);
    destroyMemorySurface(surface);
    heapFree(list);
  }

  SceneElement* add(int32_t type, const char* name) {
    for (SceneElement& e : config.scene)
      if (e.type == kSceneFree) {
        e.type = type;
        e.state = kWaiting;
        strcpy(e.name, name);
        return &e;
      }
    return nullptr;
  }

  SceneElement* addElement(const char* name, int32_t x, int32_t y, int32_t from, int32_t until) {
    SceneElement* e = add(kSceneElement, name);
    e->x = x;
    e->y = y;
    e->showFrom = from;
    e->showUntil = until;
    return e;
  }

  SceneElement* addBase(const char* name, uint32_t mode, int32_t x, int32_t y, int32_t width,
                        int32_t height) {
    SceneElement* e = add(kSceneBase, name);
    e->mode = mode;
    e->x = x;
    e->y = y;
    e->moveX = width;
    e->moveY = height;
    return e;
  }

  // A bar growing to the right by moveX over showFrom..showUntil.
  SceneElement* addBar(const char* name, int32_t x, int32_t y, int32_t moveX, int32_t from,
                       int32_t until) {
    SceneElement* e = add(kSceneProgressBar, name);
    e->x = x;
    e->y = y;
    e->moveX = moveX;
    e->showFrom = from;
    e->showUntil = until;
    e->mode = kDirectionRight;
    return e;
  }

  SceneElement* addSprite(int32_t type, const char* name, int32_t cellHeight, int32_t x,
                          int32_t y) {
    SceneElement* e = add(type, name);
    e->cellHeight = cellHeight;
    e->x = x;
    e->y = y;
    e->showUntil = type == kSceneSprite2 ? kSceneInfinite : 100;
    return e;
  }

  int32_t setup() { return sceneStep(kScenePassSetup, 0, surface, list); }
  int32_t tick(int32_t value, uint32_t now) {
    simulatedNow = now;
    return sceneStep(kScenePassTick, value, surface, list);
  }

  uint32_t at(int32_t x, int32_t y) const { return surface->bits[(H - 1 - y) * W + x]; }

  // The memory row of the strip band whose bottom row is shown at (x, y).
  int32_t bandAt(int32_t x, int32_t bottomY) const { return int32_t(at(x, bottomY) - 0x100000u); }

  std::vector<Rect> listed() const {
    std::vector<Rect> rects;
    for (int i = 0; i < kDirtyRects && list[i]->active; i++)
      rects.push_back(Rect{list[i]->left, list[i]->top, list[i]->right, list[i]->bottom});
    return rects;
  }

  // Every pixel that differs from `before` lies in a listed rectangle.
  void expectChangesListed(const std::vector<uint32_t>& before) const {
    std::vector<Rect> rects = listed();
    for (int32_t y = 0; y < H; y++)
      for (int32_t x = 0; x < W; x++) {
        if (before[size_t(H - 1 - y) * W + x] == at(x, y)) continue;
        bool covered = false;
        for (const Rect& r : rects)
          covered = covered || (x >= r.left && x < r.right && y >= r.top && y < r.bottom);
        ASSERT_TRUE(covered) << "unlisted change at " << x << "," << y;
      }
  }

  std::vector<uint32_t> pixels() const { return std::vector<uint32_t>(surface->bits, surface->bits + W * H); }
};

bool operator==(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(SceneArithmetic, MulDivRoundsHalvesAwayFromZeroAndFlagsOverflow) {
  EXPECT_EQ(mulDiv(500, 400, 1000), 200);
  EXPECT_EQ(mulDiv(1010, 400, 1000), 404);
  EXPECT_EQ(mulDiv(5, 1, 2), 3);
  EXPECT_EQ(mulDiv(7, 1, 2), 4);
  EXPECT_EQ(mulDiv(-5, 1, 2), -3);
  EXPECT_EQ(mulDiv(5, 1, -2), -3);
  EXPECT_EQ(mulDiv(-5, -1, -2), -3);
  EXPECT_EQ(mulDiv(-5, -1, 2), 3);
  EXPECT_EQ(mulDiv(4, 1, 3), 1);
  EXPECT_EQ(mulDiv(5, 1, 3), 2);
  EXPECT_EQ(mulDiv(-4, 1, 3), -1);
  EXPECT_EQ(mulDiv(1, 1, 0), -1);
  EXPECT_EQ(mulDiv(0, 0, 0), -1);
  // The product is 64-bit; only the result has to fit.
  EXPECT_EQ(mulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
  EXPECT_EQ(mulDiv(100000, 100000, 1000), 10000000);
  EXPECT_EQ(mulDiv(INT32_MAX, 2, 1), -1);
  EXPECT_EQ(mulDiv(0x40000000, 4, 2), -1);
  EXPECT_EQ(mulDiv(INT32_MIN, 1, 1), INT32_MIN);
  EXPECT_EQ(mulDiv(INT32_MIN, -1, 1), -1);
  EXPECT_EQ(mulDiv(INT32_MIN, INT32_MIN, INT32_MIN), INT32_MIN);
  EXPECT_EQ(mulDiv(INT32_MIN, 1, -1), -1);
  EXPECT_EQ(mulDiv(1, 1, INT32_MIN), 0);
  EXPECT_EQ(mulDiv(-1, INT32_MIN, INT32_MIN), -1);  // exactly -1, not a failure
}

TEST(SceneDirtyList, MergesOnlyOverlapsAndAlwaysKeepsAnEnd) {
  DirtyRect** list = createDirtyList();
  ASSERT_NE(list, nullptr);
  Rect a{0, 0, 10, 10}, touching{10, 0, 20, 10}, over{5, 5, 15, 15}, far{100, 100, 110, 110};
  addDirtyRect(list, &a);
  addDirtyRect(list, &touching);
  EXPECT_TRUE(list[1]->active);
  addDirtyRect(list, &over);  // grows the first; not merged again with the second
  EXPECT_EQ(list[0]->right, 15);
  EXPECT_EQ(list[0]->bottom, 15);
  EXPECT_EQ(list[1]->left, 10);
  addDirtyRect(list, &far);
  EXPECT_TRUE(list[2]->active && !list[3]->active);

  // More separate rectangles than entries: all covered, the last entry ends
  // the list.
  for (int i = 0; i < kDirtyRects; i++) list[i]->active = 0;
  for (int i = 0; i < 300; i++) {
    Rect r{3 * i, 0, 3 * i + 1, 1};
    addDirtyRect(list, &r);
  }
  for (int i = 0; i < kDirtyRects - 1; i++) EXPECT_TRUE(list[i]->active) << i;
  EXPECT_FALSE(list[kDirtyRects - 1]->active);
  for (int i = 0; i < 300; i++) {
    bool covered = false;
    for (int j = 0; j < kDirtyRects - 1; j++)
      covered = covered || (list[j]->left <= 3 * i && list[j]->right >= 3 * i + 1);
    EXPECT_TRUE(covered) << i;
  }
  heapFree(list);
}

TEST_F(SceneTest, EmptySceneAndUnknownPassDrawNothing) {
  std::vector<uint32_t> before = pixels();
  EXPECT_EQ(setup(), 0);
  EXPECT_EQ(tick(0, 0), 0);
  EXPECT_EQ(tick(1020, 100), 0);
  EXPECT_EQ(sceneStep(kScenePassFinish, 1020, surface, list), 0);
  EXPECT_EQ(sceneStep(kScenePassPrepare, 0, surface, list), 0);
  EXPECT_EQ(sceneStep(4, 0, surface, list), 0);
  EXPECT_EQ(sceneStep(-1, 0, surface, list), 0);
  EXPECT_TRUE(listed().empty());
  EXPECT_EQ(pixels(), before);
}

TEST_F(SceneTest, SetupDrawsBackgroundsAndSetsTheStage) {
  addSolid("BACK.EPA", 30, 20, 0x111111);
  addSolid("WIDE.EPA", 4, 2, 0x222222);
  addSolid("STAGE.EPA", 50, 50, 0x333333);
  SceneElement* back = add(kSceneBack, "BACK.EPA");
  back->x = -10;
  back->y = 5;
  back->mode = kDisplayNormal;
  SceneElement* small = add(kSceneBack, "BACK.EPA");
  small->mode = kDisplaySmall;  // not drawn
  small->x = 200;
  SceneElement* missing = add(kSceneBack, "NONE.EPA");
  missing->mode = kDisplayNormal;
  SceneElement* base = addBase("STAGE.EPA", kDisplayNormal, 100, 40, 40, 30);

  EXPECT_EQ(setup(), 1);
  EXPECT_EQ(at(0, 5), 0x111111u);     // columns 10.. of the picture from column 0
  EXPECT_EQ(at(19, 24), 0x111111u);
  EXPECT_EQ(at(20, 5), kBackground);
  EXPECT_EQ(at(205, 5), kBackground);
  EXPECT_EQ(at(149, 89), 0x333333u);  // Base draws in surface coordinates
  EXPECT_EQ(surface->viewLeft, 100);
  EXPECT_EQ(surface->viewTop, 40);
  EXPECT_EQ(surface->viewRight, 140);
  EXPECT_EQ(surface->viewBottom, 70);
  // Listed in surface coordinates, cut to the surface; the stage is not listed.
  ASSERT_EQ(listed().size(), 1u);
  EXPECT_TRUE(listed()[0] == (Rect{0, 5, 20, 25}));
  for (SceneElement* e : {back, small, missing, base}) EXPECT_EQ(e->state, kDone);

  // A second playing of the setup draws nothing: every slot is Done.
  EXPECT_EQ(setup(), 0);

  // Stretched backgrounds go through the hook and list the whole surface;
  // a centred stage is drawn from its corner and clipped to it.
  releaseScene();
  memset(config.scene, 0, sizeof config.scene);
  add(kSceneBack, "WIDE.EPA")->mode = kDisplayStretchDesktop;
  addBase("STAGE.EPA", kDisplayCenterDesktop, 0, 0, 41, 20);
  EXPECT_EQ(setup(), 1);
  EXPECT_EQ(stretches, 1);
  EXPECT_EQ(at(0, 0), 0xFF222222u);
  EXPECT_EQ(at(W - 1, H - 1), 0xFF222222u);
  ASSERT_EQ(listed().size(), 1u);
  EXPECT_TRUE(listed()[0] == (Rect{0, 0, W, H}));
  EXPECT_EQ(surface->viewLeft, (W - 41) / 2);
  EXPECT_EQ(surface->viewTop, (H - 20) / 2);
  EXPECT_EQ(surface->viewRight, (W - 41) / 2 + 41);
  EXPECT_EQ(at(surface->viewLeft, surface->viewTop), 0x333333u);
  EXPECT_EQ(at(surface->viewRight - 1, surface->viewBottom - 1), 0x333333u);
  EXPECT_EQ(at(surface->viewRight, surface->viewTop), 0xFF222222u);
  EXPECT_EQ(at(surface->viewLeft, surface->viewBottom), 0xFF222222u);
}

TEST_F(SceneTest, StageReachingPastTheSurfaceKeepsItsOrigin) {
  // Pixels tell their column and visual row: column << 9 | row.
  auto place = [](int32_t c, int32_t r) { return uint32_t(c) << 9 | uint32_t(r); };
  addPicture("STAGE.EPA", 200, 100, place);
  addPicture("ITEM.EPA", 30, 10, [](int32_t c, int32_t) { return 0x800000u + uint32_t(c); });
  // A stage 20 pixels left of the surface: its picture is at its true place
  // and so is everything on it.
  addBase("STAGE.EPA", kDisplayNormal, -20, 40, 200, 100);
  SceneElement* item = addElement("ITEM.EPA", 10, 10, 0, 50);
  EXPECT_EQ(setup(), 1);
  EXPECT_EQ(surface->viewLeft, -20);
  EXPECT_EQ(surface->viewRight, 180);
  EXPECT_EQ(at(0, 40), place(20, 0));
  std::vector<uint32_t> staged = pixels();
  EXPECT_EQ(tick(0, 0), 1);
  expectChangesListed(staged);
  EXPECT_EQ(at(0, 50), 0x800000u + 10);  // item column 10 at stage x 20 - 20
  EXPECT_EQ(at(20, 50), place(40, 10));
  EXPECT_EQ(tick(510, 100), 1);  // the item ends
  EXPECT_EQ(item->state, kDone);
  EXPECT_EQ(pixels(), staged);

  // A centred stage larger than the surface is centred: its middle is the
  // surface's middle, and it is cut on every side.
  releaseScene();
  memset(config.scene, 0, sizeof config.scene);
  for (int32_t i = 0; i < W * H; i++) surface->bits[i] = kBackground;
  addPicture("BIG.EPA", 600, 300, place);
  addBase("BIG.EPA", kDisplayCenterDesktop, 0, 0, 600, 300);
  addElement("ITEM.EPA", 535, 245, 0, 50);  // reaching past the bottom right corner
  EXPECT_EQ(setup(), 1);
  EXPECT_EQ(surface->viewLeft, -60);
  EXPECT_EQ(surface->viewTop, -50);
  EXPECT_EQ(at(0, 0), place(60, 50));
  EXPECT_EQ(at(W - 1, H - 1), place(60 + W - 1, 50 + H - 1));
  staged = pixels();
  EXPECT_EQ(tick(0, 0), 1);
  expectChangesListed(staged);
  EXPECT_EQ(at(W - 5, H - 5), 0x800000u);
  EXPECT_EQ(at(W - 1, H - 1), 0x800000u + 4);
  EXPECT_EQ(tick(510, 100), 1);
  EXPECT_EQ(pixels(), staged);

  // Stages wholly off the surface, or at the far ends of the coordinates:
  // nothing on them shows and nothing outside the surface is touched.
  const int32_t far[][4] = {{-500, 10, 100, 100},
                            {10, 300, 100, 100},
                            {INT32_MAX - 5, 0, 100, 100},
                            {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}};
  for (const auto& f : far) {
    releaseScene();
    memset(config.scene, 0, sizeof config.scene);
    addBase("NONE.EPA", kDisplayNormal, f[0], f[1], f[2], f[3]);
    addElement("ITEM.EPA", 0, 0, 0, 50);
    setup();
    EXPECT_EQ(surface->viewLeft, f[0]);
    EXPECT_LE(surface->viewLeft, surface->viewRight);
    std::vector<uint32_t> before = pixels();
    tick(0, 0);
    tick(510, 100);
    EXPECT_EQ(pixels(), before) << f[0] << "," << f[1];
  }
}

TEST_F(SceneTest, ElementsComeAndGoWithTheProgress) {
  addSolid("A.EPA", 10, 10, 0xA0A0A0);
  addSolid("B.EPA", 10, 10, 0xB0B0B0);
  addSolid("C.EPA", 10, 10, 0xC0C0C0);
  addSolid("D.EPA", 10, 10, 0xD0D0D0);
  addSolid("E.EPA", 10, 10, 0xE0E0E0);
  addSolid("W.EPA", 10, 10, 0xF0F0F0);
  SceneElement* a = addElement("A.EPA", 0, 0, 0, 101);    // up to the completion
  SceneElement* b = addElement("B.EPA", 20, 0, 0, 102);   // never erased
  SceneElement* c = addElement("C.EPA", 40, 0, 101, 102); // from the completion
  SceneElement* d = addElement("D.EPA", 60, 0, 102, 102); // after the completion
  SceneElement* e = addElement("E.EPA", 80, 0, 50, 60);
  SceneElement* w = add(kSceneWrite, "W.EPA");
  w->x = 100;
  w->showFrom = 20;
  auto shown = [&](int32_t x) { return at(x + 5, 5) != kBackground; };

  EXPECT_EQ(tick(0, 0), 1);
  EXPECT_TRUE(shown(0) && shown(20));
  EXPECT_FALSE(shown(40) || shown(60) || shown(80) || shown(100));
  EXPECT_EQ(listed().size(), 2u);
  EXPECT_EQ(tick(150, 100), 0);
  EXPECT_EQ(tick(200, 200), 1);
  EXPECT_EQ(w->state, kDone);
  EXPECT_TRUE(shown(100));
  EXPECT_EQ(tick(500, 300), 1);
  EXPECT_TRUE(shown(80));
  EXPECT_EQ(tick(600, 400), 0);  // 60 is not past 60
  EXPECT_EQ(tick(610, 500), 1);
  EXPECT_FALSE(shown(80));
  EXPECT_EQ(e->state, kDone);
  EXPECT_EQ(tick(1000, 600), 0);
  EXPECT_EQ(tick(1010, 700), 1);
  EXPECT_TRUE(shown(0) && shown(40));
  EXPECT_FALSE(shown(60));
  EXPECT_EQ(tick(1020, 800), 1);
  EXPECT_FALSE(shown(0));
  EXPECT_TRUE(shown(20) && shown(40) && shown(60) && shown(100));
  EXPECT_EQ(a->state, kDone);
  EXPECT_EQ(a->savedBackground, nullptr);
  EXPECT_EQ(tick(1020, 900), 0);
  EXPECT_EQ(b->state, kActive);
  EXPECT_EQ(c->state, kActive);
  EXPECT_EQ(d->state, kActive);
  EXPECT_EQ(loads, 6);
}

TEST_F(SceneTest, ProgressBarGrowsToTheRightAndEndsOnCompletion) {
  // Each bar pixel tells its column.
  addPicture("BAR.EPA", 400, 10, [](int32_t c, int32_t) { return 0x10000u + uint32_t(c); });
  SceneElement* bar = add(kSceneProgressBar, "BAR.EPA");
  bar->x = 20;
  bar->y = 100;
  bar->moveX = 400;
  bar->showUntil = 100;
  bar->mode = kDirectionRight;
  SceneElement* late = add(kSceneProgressBar, "BAR.EPA");  // first looked at past its start
  late->x = 20;
  late->y = 150;
  late->moveX = 400;
  late->showUntil = 100;
  late->mode = kDirectionRight;
  late->state = kDone;  // kept out of the first tick

  EXPECT_EQ(tick(0, 0), 0);  // prepared, nothing drawn yet
  EXPECT_EQ(bar->state, kActive);
  EXPECT_EQ(at(20, 100), kBackground);
  late->state = kWaiting;
  EXPECT_EQ(tick(15, 100), 1);  // 15 * 400 / 1000 = 6 columns
  EXPECT_EQ(at(25, 100), 0x10005u);
  EXPECT_EQ(at(26, 100), kBackground);

  EXPECT_EQ(tick(500, 200), 1);
  EXPECT_EQ(bar->barWidth, 200);
  EXPECT_EQ(at(20, 100), 0x10000u);
  EXPECT_EQ(at(20 + 199, 109), 0x10000u + 199);
  EXPECT_EQ(at(20 + 200, 105), kBackground);
  EXPECT_EQ(at(20, 110), kBackground);
  ASSERT_EQ(listed().size(), 1u);
  EXPECT_TRUE(listed()[0] == (Rect{20, 100, 220, 110}));
  EXPECT_EQ(tick(500, 300), 0);  // same width: nothing to do

  EXPECT_EQ(tick(1010, 400), 1);  // 404 computed, 400 drawn, the last time
  EXPECT_EQ(bar->barWidth, 400);
  EXPECT_EQ(bar->state, kDone);
  EXPECT_EQ(at(20 + 399, 105), 0x10000u + 399);
  EXPECT_EQ(at(20 + 400, 105), kBackground);
  EXPECT_EQ(tick(1020, 500), 0);

  EXPECT_EQ(late->state, kWaiting);
  for (int32_t x = 20; x < 420; x++) ASSERT_EQ(at(x, 150), kBackground);
}

TEST_F(SceneTest, ProgressBarsInTheOtherDirections) {
  // Pixel = column << 8 | visual row.
  addPicture("BAR.EPA", 40, 20, [](int32_t c, int32_t r) { return uint32_t(c) << 8 | uint32_t(r); });
  struct Case {
    uint32_t mode;
    int32_t moveX, moveY;
    Rect part;  // columns and visual rows of the picture shown at value 500
  };
  const Case cases[] = {
      {kDirectionRight, 40, 20, {0, 0, 20, 20}},  {kDirectionLeft, 40, 0, {20, 0, 40, 20}},
      {kDirectionDown, 0, 20, {0, 0, 40, 10}},    {kDirectionUp, 0, 20, {0, 10, 40, 20}},
      {kDirectionRightDown, 40, 20, {0, 0, 20, 10}}, {kDirectionLeftUp, 40, 20, {20, 10, 40, 20}},
      {kDirectionRightUp, 40, 20, {0, 10, 20, 20}},  {kDirectionLeftDown, 0, 20, {0, 0, 40, 10}},
      {kDirectionDown, 40, 0, {0, 0, 0, 0}},      // no move along its axis: never drawn
      {kDisplayNormal, 40, 20, {0, 0, 0, 0}},     // not a direction: never drawn
  };
  int32_t n = 0;
  for (const Case& k : cases) {
    SceneElement* bar = add(kSceneProgressBar, "BAR.EPA");
    bar->x = 45 * n++;
    bar->y = 10;
    bar->moveX = k.moveX;
    bar->moveY = k.moveY;
    bar->showUntil = 100;
    bar->mode = k.mode;
  }
  tick(0, 0);
  tick(500, 100);
  n = 0;
  for (const Case& k : cases) {
    int32_t left = 45 * n++;
    for (int32_t r = 0; r < 20; r++)
      for (int32_t c = 0; c < 40; c++) {
        bool inPart = c >= k.part.left && c < k.part.right && r >= k.part.top && r < k.part.bottom;
        uint32_t expect = inPart ? (uint32_t(c) << 8 | uint32_t(r)) : kBackground;
        ASSERT_EQ(at(left + c, 10 + r), expect) << "mode " << std::hex << k.mode << std::dec
                                                 << " column " << c << " row " << r;
      }
  }
}

TEST_F(SceneTest, ProgressBarWithoutASpanDrawsNothing) {
  addSolid("BAR.EPA", 40, 20, 0x777777);
  SceneElement* bar = add(kSceneProgressBar, "BAR.EPA");
  bar->moveX = 40;
  bar->showFrom = 50;
  bar->showUntil = 50;
  bar->mode = kDirectionRight;
  std::vector<uint32_t> before = pixels();
  EXPECT_EQ(tick(500, 0), 0);
  EXPECT_EQ(tick(510, 100), 0);
  EXPECT_EQ(bar->barWidth, -1);
  EXPECT_EQ(bar->state, kDone);
  EXPECT_EQ(pixels(), before);
  EXPECT_TRUE(listed().empty());
}

TEST_F(SceneTest, Sprite1StepsCellsUpwardsAndMovesWithTheProgress) {
  addStrip("RUN.EPA", 16, 128);
  SceneElement* s = addSprite(kSceneSprite1, "RUN.EPA", 32, 10, 20);
  s->moveX = 100;
  s->frameInterval = 50;
  const int32_t bands[] = {0, 32, 64, 96, 0, 32};
  for (int32_t k = 0; k < 6; k++) {
    std::vector<uint32_t> before = pixels();
    EXPECT_EQ(tick(10 * k, 100 * k), 1);
    int32_t left = 10 + k;  // 10 + MulDiv(10k, 100, 1000)
    EXPECT_EQ(bandAt(left, 20 + 31), bands[k]) << k;
    EXPECT_EQ(bandAt(left + 15, 20), bands[k] + 31) << k;
    if (k > 0) {
      EXPECT_EQ(at(left - 1, 30), kBackground);
    }
    // Moving by one column: the restored and the new rectangle are one entry.
    ASSERT_EQ(listed().size(), 1u);
    expectChangesListed(before);
  }

  // Held for longer than a tick: steps (and moves) only when the interval is
  // exceeded.
  releaseScene();
  memset(config.scene, 0, sizeof config.scene);
  for (int32_t i = 0; i < W * H; i++) surface->bits[i] = kBackground;
  s = addSprite(kSceneSprite1, "RUN.EPA", 32, 10, 20);
  s->moveX = 100;
  s->frameInterval = 250;
  EXPECT_EQ(tick(0, 1000), 1);
  EXPECT_EQ(tick(10, 1100), 0);
  EXPECT_EQ(tick(20, 1200), 0);
  EXPECT_EQ(bandAt(10, 51), 0);
  EXPECT_EQ(tick(30, 1250), 0);  // exactly 250: not more
  EXPECT_EQ(tick(30, 1251), 1);
  EXPECT_EQ(bandAt(13, 51), 32);
  EXPECT_EQ(at(12, 51), kBackground);
  EXPECT_EQ(tick(40, 1400), 0);
  EXPECT_EQ(bandAt(13, 51), 32);

  // Past showUntil it is erased and done.
  EXPECT_EQ(tick(1010, 1500), 1);
  EXPECT_EQ(s->state, kDone);
  for (int32_t y = 20; y < 52; y++)
    for (int32_t x = 0; x < 40; x++) ASSERT_EQ(at(x, y), kBackground);
}

TEST_F(SceneTest, Sprite2CyclesFromTheTopBandWithItsHolds) {
  addStrip("BLINK.EPA", 8, 90);
  SceneElement* s = addSprite(kSceneSprite2, "BLINK.EPA", 30, 0, 0);
  s->startDelay = 250;
  s->frameInterval = 100;
  s->firstFrameInterval = 350;
  const int32_t bands[] = {60, 60, 60, 30, 0, 60, 60, 60, 60, 30, 0, 60};
  const int32_t drawn[] = {1, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1};
  for (int32_t k = 0; k < 12; k++) {
    EXPECT_EQ(tick(0, 100 * k), drawn[k]) << k;
    EXPECT_EQ(bandAt(0, 29), bands[k]) << k;
  }
  EXPECT_EQ(s->state, kActive);

  // A duration ends it, erased; a duration of 0 ends it on the next tick.
  s->showUntil = 1500;
  EXPECT_EQ(tick(0, 1500), 1);  // not over yet: steps
  EXPECT_EQ(tick(0, 1501), 1);
  EXPECT_EQ(s->state, kDone);
  EXPECT_EQ(at(0, 0), kBackground);
  SceneElement* brief = addSprite(kSceneSprite2, "BLINK.EPA", 30, 20, 0);
  brief->showUntil = 0;
  EXPECT_EQ(tick(0, 2000), 1);
  EXPECT_NE(at(20, 0), kBackground);
  EXPECT_EQ(tick(0, 2001), 1);
  EXPECT_EQ(brief->state, kDone);
  EXPECT_EQ(at(20, 0), kBackground);
}

TEST_F(SceneTest, EndlessSprite2MovesPerSecondAndIsClippedByTheStage) {
  addSolid("STAGE.EPA", 200, 100, 0x555555);
  addSolid("BALL.EPA", 16, 16, 0xEEEEEE);
  addBase("STAGE.EPA", kDisplayNormal, 100, 50, 200, 100);
  SceneElement* s = addSprite(kSceneSprite2, "BALL.EPA", 16, 180, 40);
  s->moveX = 100;  // pixels per second
  s->frameInterval = 100;
  s->firstFrameInterval = 100;
  setup();
  tick(0, 0);
  EXPECT_EQ(at(280, 90), 0xEEEEEEu);
  EXPECT_EQ(at(295, 105), 0xEEEEEEu);
  tick(0, 100);  // 10 pixels on: half outside the stage
  EXPECT_EQ(at(289, 90), 0x555555u);
  EXPECT_EQ(at(290, 90), 0xEEEEEEu);
  EXPECT_EQ(at(299, 105), 0xEEEEEEu);
  for (int32_t x = 300; x < 310; x++) EXPECT_EQ(at(x, 95), kBackground);
  tick(0, 200);  // wholly outside
  for (int32_t x = 280; x < 300; x++) EXPECT_EQ(at(x, 95), 0x555555u);
  for (int32_t x = 300; x < 320; x++) EXPECT_EQ(at(x, 95), kBackground);
  EXPECT_EQ(s->drawnRect.left, 200);
  tick(0, 1000);
  EXPECT_EQ(s->drawnRect.left, 280);
  EXPECT_EQ(s->state, kActive);
}

TEST_F(SceneTest, PreparingShowsTheStartButSpritesStartWithTheFirstTick) {
  addSolid("ITEM.EPA", 10, 10, 0x00CC00);
  addPicture("BAR.EPA", 400, 6, [](int32_t c, int32_t) { return 0x10000u + uint32_t(c); });
  addStrip("BLINK.EPA", 8, 20);
  addElement("ITEM.EPA", 0, 0, 0, 100);
  SceneElement* bar = addBar("BAR.EPA", 0, 50, 400, 0, 100);
  SceneElement* brief = addSprite(kSceneSprite2, "BLINK.EPA", 10, 100, 0);
  brief->showUntil = 300;  // a one-shot of 0.3 s
  SceneElement* runner = addSprite(kSceneSprite1, "BLINK.EPA", 10, 150, 0);

  // While the first disc is asked for: the element shows and the bar is
  // ready, the sprites wait.
  setup();
  EXPECT_EQ(sceneStep(kScenePassPrepare, 0, surface, list), 1);
  EXPECT_EQ(at(5, 5), 0x00CC00u);
  EXPECT_EQ(bar->state, kActive);
  EXPECT_EQ(brief->state, kWaiting);
  EXPECT_EQ(runner->state, kWaiting);
  EXPECT_EQ(at(100, 5), kBackground);

  // The prompt took 5 s; the first tick comes at 1.5 %.
  EXPECT_EQ(tick(15, 5000), 1);
  EXPECT_EQ(at(5, 50), 0x10000u + 5);  // 15 x 400 / 1000 = 6 columns
  EXPECT_EQ(at(6, 50), kBackground);
  EXPECT_EQ(brief->stepTime, 5000u);
  EXPECT_EQ(runner->stepTime, 5000u);
  EXPECT_NE(at(100, 5), kBackground);
  tick(20, 5300);
  EXPECT_EQ(brief->state, kActive);
  tick(25, 5400);
  EXPECT_EQ(brief->state, kDone);
}

TEST_F(SceneTest, SpritesAreRedrawnOverChangesBelowThem) {
  addSolid("PANEL.EPA", 40, 40, 0x990000);
  addStrip("ICON.EPA", 16, 16);
  addSolid("LATE.EPA", 10, 10, 0x009900);
  SceneElement* panel = addElement("PANEL.EPA", 40, 40, 30, 60);
  SceneElement* s = addSprite(kSceneSprite1, "ICON.EPA", 16, 50, 50);
  s->frameInterval = 100000;  // never steps
  SceneElement* late = addElement("LATE.EPA", 52, 52, 40, 102);  // later than the sprite
  EXPECT_EQ(tick(0, 0), 1);
  EXPECT_EQ(bandAt(55, 65), 0);
  EXPECT_EQ(tick(100, 100), 0);

  std::vector<uint32_t> before = pixels();
  EXPECT_EQ(tick(300, 200), 1);  // the panel comes up below the sprite
  EXPECT_EQ(at(45, 45), 0x990000u);
  EXPECT_EQ(bandAt(55, 65), 0);
  expectChangesListed(before);

  EXPECT_EQ(tick(400, 300), 1);  // drawn over the sprite, which is not redrawn
  EXPECT_EQ(at(55, 55), 0x009900u);
  EXPECT_EQ(bandAt(64, 65), 0);

  before = pixels();
  EXPECT_EQ(tick(610, 400), 1);  // the panel goes; the sprite stays on top
  EXPECT_EQ(at(45, 45), kBackground);
  EXPECT_EQ(bandAt(55, 65), 0);
  EXPECT_EQ(panel->state, kDone);
  expectChangesListed(before);
  EXPECT_EQ(late->state, kActive);
  EXPECT_EQ(s->state, kActive);
}

TEST_F(SceneTest, AnElementEndingUnderAMovingSpriteLeavesNothingBehind) {
  // The sprite saved the element's pixels under it; taken off first, it
  // gives them back before the element restores what lay under both.
  addSolid("PANEL.EPA", 40, 20, 0x990000);
  addSolid("CAR.EPA", 10, 10, 0x0000EE);
  addElement("PANEL.EPA", 20, 20, 0, 40);
  SceneElement* car = addSprite(kSceneSprite1, "CAR.EPA", 10, 30, 25);
  car->moveX = 200;
  car->showUntil = 100;
  tick(0, 0);
  tick(100, 100);  // steps onto the panel
  EXPECT_EQ(at(52, 30), 0x0000EEu);
  std::vector<uint32_t> before = pixels();
  tick(410, 200);  // the panel ends as the car moves on
  expectChangesListed(before);
  EXPECT_EQ(car->drawnRect.left, 30 + 82);
  for (int32_t y = 15; y < 45; y++)
    for (int32_t x = 15; x < 110; x++) ASSERT_EQ(at(x, y), kBackground) << x << "," << y;
}

TEST_F(SceneTest, Sprite1TravelsFromItsStartWhileBarsGrowWithTheWholeValue) {
  addSolid("CAR.EPA", 10, 10, 0x0000EE);
  addPicture("BAR.EPA", 400, 6, [](int32_t c, int32_t) { return 0x10000u + uint32_t(c); });
  SceneElement* car = addSprite(kSceneSprite1, "CAR.EPA", 10, 0, 0);
  car->moveX = 100;
  car->showFrom = 50;
  car->showUntil = 100;
  SceneElement* bar = addBar("BAR.EPA", 0, 50, 400, 20, 100);
  tick(0, 0);  // the bar is prepared
  EXPECT_EQ(tick(100, 100), 0);
  tick(500, 200);  // the car appears at its place
  EXPECT_EQ(car->drawnRect.left, 0);
  tick(750, 300);  // half-way from 50 to 100: half its travel
  EXPECT_EQ(car->drawnRect.left, 50);
  EXPECT_EQ(at(50, 0), 0x0000EEu);
  // MulDiv(value, moveX, (showUntil - showFrom) x 10): 750 x 400 / 800.
  EXPECT_EQ(bar->barWidth, 375);
  EXPECT_EQ(at(374, 50), 0x10000u + 374);
  EXPECT_EQ(at(375, 50), kBackground);
}

TEST_F(SceneTest, PartialStripsUseWholeCellsOnly) {
  addStrip("ODD.EPA", 16, 70);  // two whole cells of 30 and 10 spare rows
  addStrip("SHORT.EPA", 16, 20);
  SceneElement* one = addSprite(kSceneSprite1, "ODD.EPA", 30, 0, 0);
  SceneElement* two = addSprite(kSceneSprite2, "ODD.EPA", 30, 40, 0);
  SceneElement* shortOne = addSprite(kSceneSprite1, "SHORT.EPA", 30, 80, 0);
  SceneElement* shortTwo = addSprite(kSceneSprite2, "SHORT.EPA", 30, 120, 0);
  SceneElement* noCell = addSprite(kSceneSprite1, "ODD.EPA", 0, 160, 0);
  const int32_t firstBands[] = {0, 30, 0, 30, 0};
  const int32_t secondBands[] = {40, 10, 40, 10, 40};
  for (int32_t k = 0; k < 5; k++) {
    tick(10 * k, 100 * k);
    EXPECT_EQ(bandAt(0, 29), firstBands[k]) << k;
    EXPECT_EQ(bandAt(40, 29), secondBands[k]) << k;
  }
  EXPECT_EQ(one->state, kActive);
  EXPECT_EQ(two->state, kActive);
  for (SceneElement* e : {shortOne, shortTwo, noCell}) {
    EXPECT_EQ(e->state, kDone);
    EXPECT_EQ(e->pixels, nullptr);
    EXPECT_EQ(e->savedBackground, nullptr);
  }
  for (int32_t x = 80; x < 200; x++) ASSERT_EQ(at(x, 10), kBackground);
}

TEST_F(SceneTest, NoBackgroundBufferMeansNotShown) {
  addSolid("ITEM.EPA", 20, 20, 0x123456);
  addStrip("RUN.EPA", 16, 32);
  std::vector<uint32_t> before = pixels();
  for (int32_t type : {int32_t(kSceneElement), int32_t(kSceneSprite1), int32_t(kSceneSprite2)}) {
    SceneElement* e = type == kSceneElement ? addElement("ITEM.EPA", 0, 0, 0, 100)
                                            : addSprite(type, "RUN.EPA", 16, 0, 0);
    heapFailAfter(2);  // the picture loads, its background buffer does not
    EXPECT_EQ(tick(0, 0), 0);
    heapFailAfter(0);
    EXPECT_EQ(e->state, kDone);
    EXPECT_EQ(e->savedBackground, nullptr);
    EXPECT_EQ(e->pixels, nullptr);
    EXPECT_EQ(pixels(), before);
    EXPECT_EQ(tick(1010, 100), 0);
  }
}

TEST_F(SceneTest, FinishPassDrawsFinishPicturesUnderRunningSprites) {
  addSolid("END.EPA", 100, 60, 0x0000CC);
  addSolid("ITEM.EPA", 10, 10, 0x00CC00);
  addSolid("BALL.EPA", 10, 10, 0xEEEEEE);
  addBase("NONE.EPA", kDisplayNormal, 10, 20, 300, 150);  // a stage without a picture
  addElement("ITEM.EPA", 80, 40, 0, 101);
  SceneElement* ball = addSprite(kSceneSprite2, "BALL.EPA", 10, 20, 20);
  ball->moveX = 100;
  ball->frameInterval = 100;
  ball->firstFrameInterval = 100;
  SceneElement* end = add(kSceneFinish, "END.EPA");
  end->mode = kDisplayNormal;
  end->x = 5;
  end->y = 5;

  setup();
  EXPECT_EQ(surface->viewLeft, 10);
  tick(0, 0);
  tick(1010, 100);
  EXPECT_EQ(end->state, kWaiting);  // ticks never draw it
  tick(1020, 200);
  EXPECT_EQ(at(95, 65), kBackground);  // the element has gone
  std::vector<uint32_t> before = pixels();
  EXPECT_EQ(sceneStep(kScenePassFinish, 1020, surface, list), 1);
  EXPECT_EQ(end->state, kDone);
  expectChangesListed(before);
  EXPECT_EQ(at(15, 25), 0x0000CCu);  // (5, 5) on the stage
  EXPECT_EQ(at(114, 84), 0x0000CCu);
  EXPECT_EQ(at(115, 84), kBackground);
  EXPECT_EQ(at(95, 65), 0x0000CCu);
  EXPECT_EQ(at(ball->drawnRect.left + 10, 45), 0xEEEEEEu);  // the ball stays on top
  EXPECT_EQ(sceneStep(kScenePassFinish, 1020, surface, list), 0);  // drawn once

  // As the ball moves on, its old place shows the finish picture.
  int32_t oldLeft = ball->drawnRect.left + 10;
  tick(1020, 300);
  EXPECT_NE(ball->drawnRect.left + 10, oldLeft);
  EXPECT_EQ(at(oldLeft, 45), 0x0000CCu);

  // Stretched finish pictures list the whole surface.
  addSolid("FULL.EPA", 4, 4, 0x00CCCC);
  add(kSceneFinish, "FULL.EPA")->mode = kDisplayStretchDesktop;
  EXPECT_EQ(sceneStep(kScenePassFinish, 1020, surface, list), 1);
  EXPECT_EQ(stretches, 1);
  EXPECT_EQ(at(0, 0), 0xFF00CCCCu);  // copied, alpha and all
  ASSERT_FALSE(listed().empty());
  EXPECT_TRUE(listed()[0] == (Rect{0, 0, W, H}));
}

TEST_F(SceneTest, FinishPicturesKeepTheScriptOrder) {
  addSolid("BAR1.EPA", 100, 6, 0x111111);
  addSolid("EARLY.EPA", 10, 10, 0x222222);
  addSolid("END.EPA", 200, 50, 0x0000CC);
  addSolid("LATE.EPA", 10, 10, 0x00CC00);
  addSolid("LAST.EPA", 10, 10, 0x00CCCC);
  addSolid("BAR2.EPA", 50, 3, 0x333333);
  // A half-transparent white label reaching past the finish picture.
  TestPicture label{20, 5, std::vector<uint32_t>(100, 0x80FFFFFFu)};
  pictures["LABEL.EPA"] = label;

  // Before the finish picture: a bar still drawn on every tick after it
  // (its computed width is past its picture's, until AFTER_FINISH) and an
  // element that never goes.
  SceneElement* bar1 = addBar("BAR1.EPA", 0, 10, 200, 0, 102);
  SceneElement* early = addElement("EARLY.EPA", 0, 30, 0, 102);
  SceneElement* end = add(kSceneFinish, "END.EPA");
  end->mode = kDisplayNormal;
  // After it: an element from the start, one from after the completion, a
  // WRITE and a bar that ended at the completion.
  addElement("LATE.EPA", 10, 20, 0, 102);
  addElement("LAST.EPA", 30, 20, 102, 102);
  SceneElement* write = add(kSceneWrite, "LABEL.EPA");
  write->x = 190;
  write->y = 40;
  addBar("BAR2.EPA", 0, 45, 50, 0, 100);

  for (int32_t k = 0; k <= 4; k++) tick(k < 3 ? 500 * k : 1000 + 10 * (k - 2), 100 * k);
  std::vector<uint32_t> before = pixels();
  EXPECT_EQ(sceneStep(kScenePassFinish, 1020, surface, list), 1);
  expectChangesListed(before);
  std::vector<uint32_t> finished = pixels();
  tick(1020, 500);
  tick(1020, 600);
  EXPECT_EQ(pixels(), finished);

  EXPECT_EQ(at(5, 12), 0x0000CCu);   // the bar is under the finish picture
  EXPECT_EQ(at(5, 32), 0x0000CCu);   // so is the early element
  EXPECT_EQ(at(15, 25), 0x00CC00u);  // the later ones are over it
  EXPECT_EQ(at(35, 25), 0x00CCCCu);
  EXPECT_EQ(at(5, 46), 0x333333u);
  // The label blended once over the finish picture and once (not twice)
  // over the background beside it.
  auto over = [](uint32_t d) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8)
      out |= ((255 * 0x80 + ((d >> shift) & 255) * (255 - 0x80)) / 255) << shift;
    return out;
  };
  EXPECT_EQ(at(195, 42), over(0x0000CC));
  EXPECT_EQ(at(205, 42), over(kBackground));
  EXPECT_EQ(bar1->state, kDone);
  EXPECT_EQ(early->state, kDone);  // left under the finish picture for good
  EXPECT_EQ(early->savedBackground, nullptr);
}

TEST_F(SceneTest, ReleasedSceneFreesEverythingAndPlaysAgainTheSame) {
  addSolid("ITEM.EPA", 10, 10, 0x00CC00);
  addStrip("RUN.EPA", 16, 64);
  addPicture("BAR.EPA", 100, 8, [](int32_t c, int32_t) { return uint32_t(c); });
  addElement("ITEM.EPA", 0, 0, 0, 102);
  SceneElement* bar = add(kSceneProgressBar, "BAR.EPA");
  bar->y = 20;
  bar->moveX = 100;
  bar->showUntil = 100;
  bar->mode = kDirectionRight;
  addSprite(kSceneSprite1, "RUN.EPA", 32, 120, 0)->frameInterval = 10;
  addSprite(kSceneSprite2, "RUN.EPA", 32, 160, 0);

  auto play = [&]() {
    for (int32_t i = 0; i < W * H; i++) surface->bits[i] = kBackground;
    for (int32_t k = 0; k <= 10; k++) tick(100 * k, 1000 + 100 * k);
    return pixels();
  };
  std::vector<uint32_t> first = play();
  releaseScene();
  for (const SceneElement& e : config.scene) {
    ASSERT_EQ(e.state, kWaiting);
    ASSERT_EQ(e.pixels, nullptr);
    ASSERT_EQ(e.savedBackground, nullptr);
  }
  EXPECT_EQ(play(), first);
}

TEST_F(SceneTest, TooManyRectanglesInOneStepAreStillAllListed) {
  addSolid("DOT.EPA", 1, 1, 0xFFFFFF);
  for (int32_t i = 0; i < kSceneSlots; i++) {
    SceneElement* e = add(kSceneWrite, "DOT.EPA");
    e->x = 2 * (i % 200);
    e->y = 2 * (i / 200);
  }
  std::vector<uint32_t> before = pixels();
  EXPECT_EQ(tick(0, 0), 1);
  EXPECT_EQ(listed().size(), size_t(kDirtyRects - 1));
  EXPECT_FALSE(list[kDirtyRects - 1]->active);
  expectChangesListed(before);
  EXPECT_EQ(at(2 * 55, 2), 0xFFFFFFu);
}

}  // namespace
