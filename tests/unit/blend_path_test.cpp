// The packed blend with each of its paths forced, so that the SSE2 code and
// the scalar code both run on every build (32-bit x86 included, where the
// SSE2 code is chosen at run time): every source, destination and alpha value
// through the row blender, and a picture through drawPicture, against the
// scalar reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "gfx/surface.h"

namespace {

// Forces a path for one test, then gives the choice back to the processor.
struct ForcedPath {
  int32_t savedPath = packedBlendPath, savedMmx = mmxAvailable;
  explicit ForcedPath(int32_t path) {
    packedBlendPath = path;
    mmxAvailable = 1;  // drawPicture blends packed
  }
  ~ForcedPath() {
    packedBlendPath = savedPath;
    mmxAvailable = savedMmx;
  }
};

class PackedBlendPath : public testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    if (GetParam() != kPackedBlendSse2) return;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    if (!__builtin_cpu_supports("sse2")) GTEST_SKIP() << "this processor has no SSE2";
#else
    GTEST_SKIP() << "no SSE2 code on this processor family";
#endif
  }
};

uint8_t* bytes(std::vector<uint32_t>& v, size_t at) { return reinterpret_cast<uint8_t*>(&v[at]); }

TEST_P(PackedBlendPath, EveryValueAsTheScalarReference) {
  ForcedPath forced(GetParam());
  // 16 rows of 4095 pixels (pitch 4096): every source and destination byte
  // pair under each alpha, in vector steps and in the leftover pixels.
  std::vector<uint32_t> src(65536), viaPath(65536), viaReference(65536);
  for (uint32_t a = 0; a < 256; a++) {
    for (uint32_t k = 0; k < 65536; k++) {
      uint32_t s = k & 255, d = k >> 8;
      src[k] = s | (255 - s) << 8 | (s ^ 0x5A) << 16 | a << 24;
      viaPath[k] = viaReference[k] = d | (d ^ 0xA5) << 8 | (255 - d) << 16 | d << 24;
    }
    blendRowsPacked(bytes(src, 15 * 4096), bytes(viaPath, 15 * 4096), 4095, 16, 4096 * 4, 4096 * 4);
    blendRowsPackedScalar(bytes(src, 15 * 4096), bytes(viaReference, 15 * 4096), 4095, 16,
                          4096 * 4, 4096 * 4);
    ASSERT_EQ(viaPath, viaReference) << "alpha " << a;
  }
}

TEST_P(PackedBlendPath, DrawPictureAsTheScalarReference) {
  ForcedPath forced(GetParam());
  std::mt19937 rng(11);
  const int32_t w = 37, h = 23;  // odd width: vector steps and leftovers in every row
  std::vector<uint32_t> picture(w * h), expected(w * h);
  for (auto& p : picture) p = rng();
  for (auto& p : expected) p = rng();
  Surface* surface = createMemorySurface(w, h);
  ASSERT_NE(surface, nullptr);
  std::copy(expected.begin(), expected.end(), surface->bits);
  drawPicture(surface, picture.data(), 0, 0, w, h, 0);
  blendRowsPackedScalar(bytes(picture, (h - 1) * w), bytes(expected, (h - 1) * w), w, h, w * 4,
                        w * 4);
  EXPECT_EQ(std::vector<uint32_t>(surface->bits, surface->bits + w * h), expected);
  destroyMemorySurface(surface);
}

INSTANTIATE_TEST_SUITE_P(Forced, PackedBlendPath,
                         testing::Values(kPackedBlendScalar, kPackedBlendSse2),
                         [](const testing::TestParamInfo<int32_t>& info) {
                           return info.param == kPackedBlendSse2 ? "Sse2" : "Scalar";
                         });

}  // namespace
