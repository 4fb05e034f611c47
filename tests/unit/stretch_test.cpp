// The portable stretch the tools use in place of StretchBlt's default mode:
// pixels repeat where the picture grows and are combined with AND where it
// shrinks. tests/wine/t_surfaces.sh checks it against the real thing.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/surface.h"
#include "platform/platform.h"

namespace {

// Stretches a picture given top row first onto a w x h surface and returns
// the surface top row first.
std::vector<uint32_t> stretch(const std::vector<uint32_t>& topDown, int32_t width,
                              int32_t height, int32_t w, int32_t h) {
  // The picture in a heap block of exactly its size, bottom-up.
  uint32_t* picture = static_cast<uint32_t*>(heapAlloc(topDown.size() * 4));
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++)
      picture[(height - 1 - y) * width + x] = topDown[size_t(y) * width + x];
  Surface* s = createMemorySurface(w, h);
  stretchPictureBlackOnWhite(s, picture, width, height);
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) out.push_back(s->bits[(h - 1 - y) * w + x]);
  destroyMemorySurface(s);
  heapFree(picture);
  return out;
}

TEST(StretchBlackOnWhite, GrowingRepeatsPixelsUpright) {
  const uint32_t A = 0x0A000001, B = 0x0B000002, C = 0x0C000003, D = 0x0D000004;
  std::vector<uint32_t> out = stretch({A, B, C, D}, 2, 2, 4, 6);
  for (int32_t y = 0; y < 6; y++)
    for (int32_t x = 0; x < 4; x++)
      EXPECT_EQ(out[size_t(y) * 4 + x], y < 3 ? (x < 2 ? A : B) : (x < 2 ? C : D)) << x << "," << y;
  // Two columns onto three: the middle one repeats the first (a pixel centre
  // exactly between two goes to the earlier one).
  EXPECT_EQ(stretch({A, B}, 2, 1, 3, 1), (std::vector<uint32_t>{A, A, B}));
}

TEST(StretchBlackOnWhite, ShrinkingAndsThePixelsThatFallTogether) {
  // 4 x 4 onto 2 x 2: each pixel clears its own bit, so a surface pixel
  // shows which four came together.
  std::vector<uint32_t> picture;
  for (uint32_t i = 0; i < 16; i++) picture.push_back(~(1u << i));
  std::vector<uint32_t> out = stretch(picture, 4, 4, 2, 2);
  EXPECT_EQ(out[0], ~0x0033u);
  EXPECT_EQ(out[1], ~0x00CCu);
  EXPECT_EQ(out[2], ~0x3300u);
  EXPECT_EQ(out[3], ~0xCC00u);
  // Three onto two: columns 0 and 1, then 2 alone. Onto one column the last
  // is left out.
  EXPECT_EQ(stretch({~1u, ~2u, ~4u}, 3, 1, 2, 1), (std::vector<uint32_t>{~3u, ~4u}));
  EXPECT_EQ(stretch({~1u, ~2u, ~4u}, 3, 1, 1, 1), (std::vector<uint32_t>{~3u}));
  // A light line on a dark picture goes; a dark one on a light picture stays.
  EXPECT_EQ(stretch({0xFF000000, 0xFFFFFFFF}, 2, 1, 1, 1)[0], 0xFF000000u);
}

TEST(StretchBlackOnWhite, EveryPixelGetsPartOfThePictureAtAnySize) {
  for (int32_t width = 1; width <= 20; width++)
    for (int32_t w = 1; w <= 20; w++) {
      std::vector<uint32_t> picture(size_t(width) * 3, 0x12345678u);
      for (uint32_t v : stretch(picture, width, 3, w, 5))
        ASSERT_EQ(v, 0x12345678u) << width << "->" << w;
      for (uint32_t v : stretch(picture, 3, width, 5, w))
        ASSERT_EQ(v, 0x12345678u) << width << "->" << w;
    }
}

}  // namespace
