// The blitters against the blend formulas written out pixel by pixel, and the
// clipping of pictures and rectangles against a model of the whole surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/blit.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "tests/unit/cpu_paths.h"

namespace {

uint32_t pixel(unsigned b, unsigned g, unsigned r, unsigned a) {
  return b | g << 8 | r << 16 | a << 24;
}
unsigned channel(uint32_t p, int i) { return (p >> (8 * i)) & 255; }

uint32_t exactBlend(uint32_t s, uint32_t d) {
  unsigned a = s >> 24;
  uint32_t out = 0;
  for (int i = 0; i < 3; i++)
    out |= ((channel(s, i) * a + channel(d, i) * (255 - a)) / 255) << (8 * i);
  return out;
}

uint32_t packedBlend(uint32_t s, uint32_t d) {
  unsigned a = s >> 24;
  uint32_t out = 0;
  for (int i = 0; i < 4; i++) {
    unsigned m = i < 3 ? a : 0;
    unsigned sum = channel(s, i) * m + channel(d, i) * (255 - m);
    out |= ((sum > 65535 ? 65535 : sum) >> 8) << (8 * i);
  }
  return out;
}

typedef void (*RowBlender)(const uint8_t*, uint8_t*, int32_t, int32_t, int32_t, int32_t);

// Keeps the process-wide blend choice as it was.
struct BlendChoice {
  int32_t saved = mmxAvailable;
  explicit BlendChoice(int32_t value) { mmxAvailable = value; }
  ~BlendChoice() { mmxAvailable = saved; }
};

struct MemorySurface {
  Surface* s;
  MemorySurface(int32_t w, int32_t h) : s(createMemorySurface(w, h)) {}
  ~MemorySurface() { destroyMemorySurface(s); }
  uint32_t& at(int32_t x, int32_t y) { return s->bits[(s->height - 1 - y) * s->width + x]; }
};

std::vector<uint32_t> randomPixels(std::mt19937& rng, size_t n) {
  std::vector<uint32_t> v(n);
  for (auto& p : v) p = rng();
  return v;
}

TEST(Blend, ExactAndPackedFollowTheirFormulasOnTheDocumentedValues) {
  // Transparent source: exact keeps the colour and clears alpha; packed
  // scales every channel by 255/256, alpha included.
  uint32_t s = pixel(9, 9, 9, 0), d = pixel(255, 1, 128, 200);
  uint32_t e = d, p = d;
  blendRowsExact(reinterpret_cast<uint8_t*>(&s), reinterpret_cast<uint8_t*>(&e), 1, 1, 4, 4);
  blendRowsPacked(reinterpret_cast<uint8_t*>(&s), reinterpret_cast<uint8_t*>(&p), 1, 1, 4, 4);
  EXPECT_EQ(e, pixel(255, 1, 128, 0));
  EXPECT_EQ(p, pixel(254, 0, 127, 199));

  // Opaque white: 255 exactly, 254 packed.
  s = pixel(255, 255, 255, 255);
  e = p = pixel(3, 4, 5, 255);
  blendRowsExact(reinterpret_cast<uint8_t*>(&s), reinterpret_cast<uint8_t*>(&e), 1, 1, 4, 4);
  blendRowsPacked(reinterpret_cast<uint8_t*>(&s), reinterpret_cast<uint8_t*>(&p), 1, 1, 4, 4);
  EXPECT_EQ(e, pixel(255, 255, 255, 0));
  EXPECT_EQ(p, pixel(254, 254, 254, 254));
}

void blendOn(int path, bool exact, const uint32_t* source, uint32_t* destination,
             int32_t columns, int32_t rows, int32_t sourcePitch, int32_t destinationPitch) {
  (exact ? blendRowsExactOn : blendRowsPackedOn)(
      path, reinterpret_cast<const uint8_t*>(source), reinterpret_cast<uint8_t*>(destination),
      columns, rows, sourcePitch * 4, destinationPitch * 4);
}

TEST(Blend, EveryPathFollowsItsFormulaForEveryChannelAndAlphaValue) {
  // Every (source, destination, alpha) combination, in 16 rows of 4096
  // pixels, all of them through the vector steps (the per-pixel code for
  // what is left at a row's end is the plain path's, and the odd widths
  // below reach it from every vector path).
  std::vector<uint32_t> src(65536), before(65536), got(65536), want[2];
  want[0].resize(65536);
  want[1].resize(65536);
  for (unsigned a = 0; a < 256; a++) {
    for (unsigned k = 0; k < 65536; k++) {
      unsigned sv = k & 255, dv = k >> 8;
      src[k] = pixel(sv, 255 - sv, sv ^ 0x5A, a);
      before[k] = pixel(dv, dv ^ 0xA5, 255 - dv, dv);
      want[0][k] = packedBlend(src[k], before[k]);
      want[1][k] = exactBlend(src[k], before[k]);
    }
    forEachPath([&](int path) {
      for (bool exact : {false, true}) {
        got = before;
        // Rows go downwards in memory, so start at the last row.
        blendOn(path, exact, &src[15 * 4096], &got[15 * 4096], 4096, 16, 4096, 4096);
        if (got == want[exact]) continue;
        for (unsigned k = 0; k < 65536; k++)
          if (got[k] != want[exact][k])
            FAIL() << (exact ? "exact" : "packed") << " alpha " << a << " pixel " << k
                   << std::hex << ": want " << want[exact][k] << " got " << got[k];
      }
    });
    if (HasFatalFailure()) return;
  }
}

TEST(Blend, EveryPathOnRandomRowsWithOddWidthsAndPitches) {
  std::mt19937 rng(7);
  for (bool exact : {false, true})
    for (int32_t columns = 1; columns <= 40; columns++) {
      int32_t rows = 1 + int32_t(rng() % 5);
      int32_t sp = columns + int32_t(rng() % 4), dp = columns + int32_t(rng() % 7);
      std::vector<uint32_t> src = randomPixels(rng, size_t(sp) * rows);
      std::vector<uint32_t> before = randomPixels(rng, size_t(dp) * rows);
      forEachPath([&](int path) {
        std::vector<uint32_t> dst = before;
        blendOn(path, exact, &src[size_t(rows - 1) * sp], &dst[size_t(rows - 1) * dp], columns,
                rows, sp, dp);
        for (int32_t r = 0; r < rows; r++)
          for (int32_t c = 0; c < dp; c++) {
            uint32_t was = before[size_t(r) * dp + c];
            uint32_t want = was;
            if (c < columns) {
              uint32_t s = src[size_t(r) * sp + c];
              want = exact ? exactBlend(s, was) : packedBlend(s, was);
            }
            ASSERT_EQ(dst[size_t(r) * dp + c], want) << (exact ? "exact" : "packed")
                                                     << " columns " << columns << " row " << r
                                                     << " col " << c;
          }
      });
    }
  // The public blenders and the scalar twin; nothing happens for empty counts.
  const RowBlender blenders[] = {blendRowsExact, blendRowsPacked, blendRowsPackedScalar};
  std::vector<uint32_t> src = randomPixels(rng, 19), viaScalar = randomPixels(rng, 19);
  std::vector<uint32_t> viaPacked = viaScalar, viaExact = viaScalar, wantExact = viaScalar;
  blendRowsPackedScalar(reinterpret_cast<uint8_t*>(src.data()),
                        reinterpret_cast<uint8_t*>(viaScalar.data()), 19, 1, 76, 76);
  blendRowsPacked(reinterpret_cast<uint8_t*>(src.data()),
                  reinterpret_cast<uint8_t*>(viaPacked.data()), 19, 1, 76, 76);
  blendRowsExact(reinterpret_cast<uint8_t*>(src.data()),
                 reinterpret_cast<uint8_t*>(viaExact.data()), 19, 1, 76, 76);
  for (size_t i = 0; i < 19; i++) wantExact[i] = exactBlend(src[i], wantExact[i]);
  EXPECT_EQ(viaPacked, viaScalar);
  EXPECT_EQ(viaExact, wantExact);
  uint32_t s = pixel(1, 2, 3, 255), d = pixel(4, 5, 6, 7);
  for (const RowBlender blend : blenders) {
    blend(reinterpret_cast<uint8_t*>(&s), reinterpret_cast<uint8_t*>(&d), 0, 1, 4, 4);
    blend(reinterpret_cast<uint8_t*>(&s), reinterpret_cast<uint8_t*>(&d), 1, -1, 4, 4);
  }
  forEachPath([&](int path) {
    for (bool exact : {false, true}) {
      blendOn(path, exact, &s, &d, -3, 1, 1, 1);
      blendOn(path, exact, &s, &d, 1, 0, 1, 1);
    }
  });
  EXPECT_EQ(d, pixel(4, 5, 6, 7));
}

// One drawing case: a picture of w x h (rows `pitch` pixels long) drawn at
// (x, y) into a 40 x 30 surface with the given view rectangle.
struct DrawCase {
  int32_t x, y, w, h, pitch;
  int viewRelative;
  Rect view;
};

// Draws the case and compares the whole surface with the blend of every
// picture pixel that lies inside the clip (view rectangle and surface).
void checkDraw(const DrawCase& c, int32_t packed, std::mt19937& rng) {
  SCOPED_TRACE(testing::Message() << "x " << c.x << " y " << c.y << " w " << c.w << " h " << c.h
                                  << " pitch " << c.pitch << " view " << c.viewRelative << " ("
                                  << c.view.left << "," << c.view.top << "," << c.view.right
                                  << "," << c.view.bottom << ") packed " << packed);
  BlendChoice choice(packed);
  MemorySurface m(40, 30);
  ASSERT_NE(m.s, nullptr);
  for (int32_t i = 0; i < 40 * 30; i++) m.s->bits[i] = rng();
  std::vector<uint32_t> before(m.s->bits, m.s->bits + 40 * 30);
  m.s->viewLeft = c.view.left;
  m.s->viewTop = c.view.top;
  m.s->viewRight = c.view.right;
  m.s->viewBottom = c.view.bottom;

  int32_t rows = c.h > 0 ? c.h : 1;
  std::vector<uint32_t> picture = randomPixels(rng, size_t(c.pitch > 0 ? c.pitch : 1) * rows);
  if (c.pitch == c.w)
    EXPECT_EQ(drawPicture(m.s, picture.data(), c.x, c.y, c.w, c.h, c.viewRelative), 1);
  else
    EXPECT_EQ(drawPictureCell(m.s, picture.data(), c.x, c.y, c.w, c.h, c.pitch, c.viewRelative),
              1);

  int64_t ox = c.x, oy = c.y;
  int64_t clipL = 0, clipT = 0, clipR = 40, clipB = 30;
  if (c.viewRelative) {
    ox += c.view.left;
    oy += c.view.top;
    clipL = std::max<int64_t>(clipL, c.view.left);
    clipT = std::max<int64_t>(clipT, c.view.top);
    clipR = std::min<int64_t>(clipR, c.view.right);
    clipB = std::min<int64_t>(clipB, c.view.bottom);
  }
  bool drawable = c.w > 0 && c.h > 0 && c.pitch >= c.w;
  for (int32_t y = 0; y < 30; y++)
    for (int32_t x = 0; x < 40; x++) {
      uint32_t was = before[size_t(29 - y) * 40 + x], want = was;
      int64_t px = x - ox, py = y - oy;
      if (drawable && x >= clipL && x < clipR && y >= clipT && y < clipB && px >= 0 &&
          px < c.w && py >= 0 && py < c.h) {
        uint32_t s = picture[size_t(c.h - 1 - py) * c.pitch + size_t(px)];
        want = packed ? packedBlend(s, was) : exactBlend(s, was);
      }
      ASSERT_EQ(m.at(x, y), want) << "at " << x << "," << y;
    }
}

TEST(DrawPicture, ClipsToSurfaceOrViewInBothBlendVariants) {
  std::mt19937 rng(11);
  const Rect whole = {0, 0, 40, 30};
  const Rect inner = {5, 4, 33, 21};
  const DrawCase cases[] = {
      {3, 2, 7, 5, 7, 0, whole},        // inside
      {-10, 3, 15, 4, 15, 0, whole},    // left part cut off
      {30, -2, 13, 9, 13, 0, whole},    // right and top cut off
      {-3, 25, 46, 9, 46, 0, whole},    // wider than the surface, bottom cut off
      {38, 28, 5, 5, 5, 0, inner},      // view ignored in surface coordinates
      {0, 0, 9, 6, 9, 1, inner},        // lands at the view's corner
      {-2, -3, 9, 6, 9, 1, inner},      // clipped by the view's left and top
      {24, 14, 9, 9, 9, 1, inner},      // clipped by the view's right and bottom
      {-50, 0, 9, 6, 9, 1, inner},      // wholly outside the view
      {35, 26, 6, 5, 6, 0, whole},      // one pixel past the right and bottom
      {20, 10, 9, 8, 9, 1, inner},      // one pixel past the view's right and bottom
      {2, 1, 3, 4, 11, 1, inner},       // a cell of a wider picture
      {-1, -1, 6, 5, 8, 0, whole},      // a clipped cell in surface coordinates
      {0, 0, 5, 5, 4, 0, whole},        // a cell wider than its rows: nothing
      {1, 1, 0, 5, 0, 0, whole},        // empty and negative sizes: nothing
      {1, 1, 5, -5, 5, 1, inner},
      {-4, 1, -3, 5, -3, 0, whole},
      {INT32_MAX, INT32_MAX, 4, 4, 4, 0, whole},  // coordinates that would wrap
      {INT32_MIN, 2, 4, 4, 4, 0, whole},
      {INT32_MAX - 2, 0, 4, 4, 4, 1, inner},
      {INT32_MIN + 2, INT32_MIN, 4, 4, 4, 1, {-20, -20, 40, 30}},
      // A view reaching outside the surface (a centred stage larger than the
      // window): drawing stays inside the pixels.
      {0, 0, 60, 50, 60, 1, {-10, -8, 50, 38}},
      {52, 30, 9, 9, 9, 1, {-10, -8, 50, 38}},
      {5, 5, 7, 7, 7, 1, {-100, -100, -50, -50}},
      {5, 5, 7, 7, 7, 1, {20, 20, 10, 10}},  // an inverted view draws nothing
  };
  for (int32_t packed = 0; packed < 2; packed++)
    for (const DrawCase& c : cases) checkDraw(c, packed, rng);

  // Null surface or pixels: nothing, and still 1.
  uint32_t p = 0;
  EXPECT_EQ(drawPicture(nullptr, &p, 0, 0, 1, 1, 0), 1);
  MemorySurface m(2, 2);
  EXPECT_EQ(drawPictureCell(m.s, nullptr, 0, 0, 1, 1, 1, 1), 1);
}

TEST(SurfaceRect, ReadClipsWriteRestoresAndEmptyRectanglesDoNothing) {
  std::mt19937 rng(3);
  MemorySurface m(12, 9);
  for (int32_t i = 0; i < 12 * 9; i++) m.s->bits[i] = rng();
  std::vector<uint32_t> original(m.s->bits, m.s->bits + 12 * 9);

  // Partly left of and above the surface: only the visible 4 x 3 are stored,
  // top row first, without gaps; the rest of the buffer is untouched.
  const uint32_t kUnused = 0xDEADBEEF;
  std::vector<uint32_t> buffer(7 * 5, kUnused);
  Rect r = {-3, -2, 4, 3};
  ASSERT_EQ(readSurfaceRect(m.s, buffer.data(), &r), 1);
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 4; x++) EXPECT_EQ(buffer[size_t(y) * 4 + x], m.at(x, y));
  for (size_t i = 12; i < buffer.size(); i++) EXPECT_EQ(buffer[i], kUnused);

  // Partly right of and below; save, paint over, restore.
  Rect r2 = {9, 6, 15, 20};
  std::vector<uint32_t> saved(6 * 14, kUnused);
  ASSERT_EQ(readSurfaceRect(m.s, saved.data(), &r2), 1);
  EXPECT_EQ(saved[0], m.at(9, 6));
  EXPECT_EQ(saved[3 * 3 - 1], m.at(11, 8));
  EXPECT_EQ(saved[9], kUnused);
  std::vector<uint32_t> opaque(8 * 8, pixel(1, 2, 3, 255));
  drawPicture(m.s, opaque.data(), 7, 4, 8, 8, 0);
  EXPECT_NE(m.at(10, 7), original[size_t(9 - 1 - 7) * 12 + 10]);
  ASSERT_EQ(writeSurfaceRect(m.s, saved.data(), &r2), 1);
  // Only the part outside r2 keeps the painting.
  for (int32_t y = 0; y < 9; y++)
    for (int32_t x = 0; x < 12; x++) {
      uint32_t was = original[size_t(8 - y) * 12 + x];
      bool restored = x >= 9 && y >= 6, neverPainted = x < 7 || y < 4;
      if (restored || neverPainted) {
        EXPECT_EQ(m.at(x, y), was) << x << "," << y;
      }
    }

  // Empty after clipping: 0, nothing read or written.
  const Rect empties[] = {{-5, 0, 0, 5}, {12, 0, 20, 9}, {3, 3, 3, 8}, {4, 5, 2, 1},
                          {0, 9, 12, 30}, {INT32_MIN, INT32_MIN, INT32_MIN + 1, 0}};
  std::vector<uint32_t> now(m.s->bits, m.s->bits + 12 * 9);
  for (const Rect& e : empties) {
    uint32_t probe = kUnused;
    EXPECT_EQ(readSurfaceRect(m.s, &probe, &e), 0);
    EXPECT_EQ(writeSurfaceRect(m.s, &probe, &e), 0);
    EXPECT_EQ(probe, kUnused);
  }
  EXPECT_EQ(std::vector<uint32_t>(m.s->bits, m.s->bits + 12 * 9), now);
  Rect all = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  std::vector<uint32_t> whole(12 * 9);
  EXPECT_EQ(readSurfaceRect(m.s, whole.data(), &all), 1);
  EXPECT_EQ(whole[0], m.at(0, 0));
  EXPECT_EQ(whole[12 * 9 - 1], m.at(11, 8));
}

TEST(SurfaceRect, ViewToSurfaceMovesByTheViewCornerWithoutWrapping) {
  MemorySurface m(10, 10);
  m.s->viewLeft = -7;
  m.s->viewTop = 3;
  Rect r = {1, 2, 5, 6};
  viewToSurfaceRect(m.s, &r);
  EXPECT_EQ(r.left, -6);
  EXPECT_EQ(r.top, 5);
  EXPECT_EQ(r.right, -2);
  EXPECT_EQ(r.bottom, 9);
  Rect far = {INT32_MIN, 0, 0, INT32_MAX};
  viewToSurfaceRect(m.s, &far);
  EXPECT_EQ(far.left, INT32_MIN);
  EXPECT_EQ(far.bottom, INT32_MAX);
}

TEST(MemorySurface, CreatesZeroedWholeViewSurfacesAndFailsCleanly) {
  Surface* s = createMemorySurface(5, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->width == 5 && s->height == 3 && s->viewLeft == 0 && s->viewTop == 0 &&
              s->viewRight == 5 && s->viewBottom == 3);
  for (int32_t i = 0; i < 15; i++) EXPECT_EQ(s->bits[i], 0u);
  destroyMemorySurface(s);
  destroyMemorySurface(nullptr);

  EXPECT_EQ(createMemorySurface(0, 3), nullptr);
  EXPECT_EQ(createMemorySurface(4, -1), nullptr);
  heapFailAfter(1);
  EXPECT_EQ(createMemorySurface(4, 4), nullptr);
  heapFailAfter(2);  // the record is freed again when the pixels fail
  EXPECT_EQ(createMemorySurface(4, 4), nullptr);
  heapFailAfter(0);
}

}  // namespace
