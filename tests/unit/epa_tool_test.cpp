// The EPA encoder: round trips through the decoder on random and structured
// pictures in every mode, compression of the patterns the distances are made
// for, refusals; PNG conversion; and the epa subcommands end to end.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <random>
#include <string>
#include <vector>

#include "media/epa.h"
#include "tests/unit/test_util.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/png_io.h"

namespace {

typedef std::vector<uint32_t> Picture;

struct Sized {
  Picture pixels;
  uint32_t width, height;
};

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

Sized noise(uint32_t width, uint32_t height, std::mt19937* rng, uint32_t mask = 0xFFFFFFFF,
            uint32_t set = 0) {
  Sized p{Picture(size_t(width) * height), width, height};
  for (uint32_t& v : p.pixels) v = ((*rng)() & mask) | set;
  return p;
}

// Gradients, rectangles, a disc, stripes, a checker dither and a sprinkle of
// noise: the kind of picture a setup screen shows. `levels` quantises each
// channel (to keep the colour count low for mode 0); `alpha` adds a soft edge.
Sized scene(uint32_t width, uint32_t height, uint32_t seed, int levels, bool alpha) {
  std::mt19937 rng(seed);
  Sized p{Picture(size_t(width) * height), width, height};
  const int cx = int(rng() % width), cy = int(rng() % height), r = 1 + int(rng() % (width / 2 + 1));
  for (uint32_t y = 0; y < height; y++) {
    for (uint32_t x = 0; x < width; x++) {
      int red = int(x * 255 / width), green = int(y * 255 / height), blue = 128;
      if (x / 8 % 5 == 0) blue = 40;                                        // stripes
      if ((x + y) % 2 && x > width / 2) red = 255 - red;                    // dither
      if (x > width / 4 && x < width / 3 && y > height / 5) green = 200;    // rectangle
      if ((int(x) - cx) * (int(x) - cx) + (int(y) - cy) * (int(y) - cy) < r * r) blue = 230;
      if (rng() % 50 == 0) red = int(rng() % 256);                          // noise
      auto q = [&](int v) { return v / (256 / levels) * (256 / levels); };
      int a = alpha ? std::min(255, int(x * 2 * 255 / width)) : 255;
      p.pixels[size_t(y) * width + x] =
          uint32_t(a) << 24 | uint32_t(q(red)) << 16 | uint32_t(q(green)) << 8 | uint32_t(q(blue));
    }
  }
  return p;
}

// Encodes and decodes; the decoded picture must equal the original.
void expectRoundTrip(const Sized& p, int mode, std::string* epaOut = nullptr) {
  std::string epa, error;
  ASSERT_TRUE(encodeEpa(p.pixels.data(), p.width, p.height, mode, &epa, &error)) << error;
  EpaInfo info;
  ASSERT_EQ(readEpaHeader(bytes(epa), epa.size(), &info), 0);
  EXPECT_EQ(info.width, p.width);
  EXPECT_EQ(info.height, p.height);
  EXPECT_EQ(info.bitsPerPixel, mode == 0 ? 8u : mode == 1 ? 24u : 32u);
  Picture back(p.pixels.size(), 0xDEADBEEF);
  ASSERT_EQ(decodeEpa(bytes(epa), epa.size(), back.data()), 0);
  ASSERT_EQ(back, p.pixels) << p.width << "x" << p.height << " mode " << mode;
  if (epaOut) *epaOut = epa;
}

TEST(EpaEncoder, RoundTripsRandomPicturesOfEveryShape) {
  std::mt19937 rng(99);
  // Narrow widths make some distances wrap or repeat; 1 x N and N x 1 too.
  const uint32_t sizes[][2] = {{1, 1}, {1, 40}, {40, 1}, {2, 9}, {3, 3}, {5, 17}, {64, 48}, {257, 3}};
  for (auto& s : sizes) {
    expectRoundTrip(noise(s[0], s[1], &rng), 2);
    expectRoundTrip(noise(s[0], s[1], &rng, 0x00FFFFFF, 0xFF000000), 1);
    expectRoundTrip(noise(s[0], s[1], &rng, 0x00030303, 0xFF000000), 0);  // 64 colours
    // Few values: long runs and matches at every distance.
    expectRoundTrip(noise(s[0], s[1], &rng, 0x01000101, 0xFE000000), 2);
  }
  for (uint32_t seed = 0; seed < 6; seed++) {
    uint32_t w = 1 + rng() % 200, h = 1 + rng() % 120;
    expectRoundTrip(scene(w, h, seed, 4, false), 0);
    expectRoundTrip(scene(w, h, seed, 4, false), 1);
    expectRoundTrip(scene(w, h, seed, 256, false), 1);
    expectRoundTrip(scene(w, h, seed, 256, true), 2);
  }
}

TEST(EpaEncoder, PaletteUseAndModeChoice) {
  // Exactly 256 colours: stored as 0 colours used; 257 refused in mode 0.
  Sized p{Picture(256 * 2), 256, 2};
  for (uint32_t i = 0; i < 512; i++) p.pixels[i] = 0xFF000000 | (i % 256) * 0x010101;
  std::string epa;
  expectRoundTrip(p, 0, &epa);
  EXPECT_EQ(epa[5], 0);
  EXPECT_EQ(chooseEpaMode(p.pixels.data(), 256, 2), 0);
  p.pixels[7] = 0xFF123456;
  std::string error;
  EXPECT_FALSE(encodeEpa(p.pixels.data(), 256, 2, 0, &epa, &error));
  EXPECT_NE(error.find("256"), std::string::npos);
  EXPECT_EQ(chooseEpaMode(p.pixels.data(), 256, 2), 1);
  p.pixels[9] = 0x80FFFFFF;
  EXPECT_EQ(chooseEpaMode(p.pixels.data(), 256, 2), 2);
  EXPECT_FALSE(encodeEpa(p.pixels.data(), 256, 2, 1, &epa, &error));  // would lose alpha
  EXPECT_FALSE(encodeEpa(p.pixels.data(), 256, 2, 3, &epa, &error));
  EXPECT_FALSE(encodeEpa(p.pixels.data(), 0, 2, 2, &epa, &error));

  // Three colours: the count is stored, the rest of the palette is zero.
  Sized three{{0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF0000FF}, 2, 2};
  expectRoundTrip(three, 0, &epa);
  EXPECT_EQ(epa[5], 3);
  EXPECT_EQ(epa[6], 3);
  EXPECT_EQ(epa.substr(16 + 9, 768 - 9), std::string(768 - 9, '\0'));
}

TEST(EpaEncoder, EveryDistanceAndLongCopiesAreUsed) {
  // Planes repeating with the period of one distance are stored as one short
  // literal start and long copies. Distances 2W - 1, W + 2, W - 2 and others
  // have no other table entry that is a multiple of them, so the small size
  // shows each of them is matched.
  const uint32_t w = 37;
  const uint64_t periods[] = {1, w, w + 1, 2, w - 1, 2 * w, 3, 2 * w + 2, w + 2, 2 * w + 1,
                              2 * w - 1, 2 * w - 2, w - 2, 3 * w, 4};
  std::mt19937 rng(5);
  for (uint64_t period : periods) {
    std::vector<uint8_t> planes(w * 300);
    for (size_t i = 0; i < planes.size(); i++) planes[i] = i < period ? uint8_t(rng()) : planes[i - period];
    std::string stream = packPlanes(planes.data(), planes.size(), w);
    size_t literalBytes = period + (period + 14) / 15;
    size_t copyBytes = 2 * ((planes.size() - period) / kEpaMaxCopy + 1);
    EXPECT_LE(stream.size(), literalBytes + copyBytes + 2) << "period " << period;
    std::vector<uint8_t> back(planes.size());
    ASSERT_EQ(unpackPlanes(bytes(stream), stream.size(), back.data(), w, 300), 0);
    EXPECT_EQ(back, planes);
  }

  // Flat colour: 320 x 320 mode 0 is the header, palette and a few bytes.
  Sized flat{Picture(320 * 320, 0xFF336699), 320, 320};
  std::string epa;
  expectRoundTrip(flat, 0, &epa);
  EXPECT_LE(epa.size(), 784u + 2 + 2 * (320 * 320 / 2047 + 1));
}

TEST(PngIo, TopRowFirstAndAnyInputChannels) {
  // Bottom-up picture: memory row 0 is the bottom, so the PNG starts with row 1.
  Picture p = {0xFF000001, 0x80000002, 0xFF0000AA, 0x00BB0000};
  std::string png;
  ASSERT_TRUE(encodePng(p.data(), 2, 2, &png));
  int w, h, n;
  unsigned char* rgba = stbi_load_from_memory(bytes(png), int(png.size()), &w, &h, &n, 4);
  ASSERT_NE(rgba, nullptr);
  EXPECT_EQ(n, 4);
  const unsigned char want[16] = {0, 0, 0xAA, 0xFF, 0xBB, 0, 0, 0, 0, 0, 1, 0xFF, 0, 0, 2, 0x80};
  EXPECT_EQ(memcmp(rgba, want, 16), 0);
  stbi_image_free(rgba);
  Picture back;
  uint32_t bw, bh;
  std::string error;
  ASSERT_TRUE(decodePng(png, &back, &bw, &bh, &error)) << error;
  EXPECT_EQ(back, p);

  // A grey PNG without alpha reads as opaque grey.
  const unsigned char grey[3] = {0, 100, 255};
  png.clear();
  stbi_write_png_to_func([](void* c, void* d, int s) { static_cast<std::string*>(c)->append(static_cast<char*>(d), s); },
                         &png, 3, 1, 1, grey, 3);
  ASSERT_TRUE(decodePng(png, &back, &bw, &bh, &error)) << error;
  EXPECT_EQ(back, (Picture{0xFF000000, 0xFF646464, 0xFFFFFFFF}));
  EXPECT_FALSE(decodePng("not a png", &back, &bw, &bh, &error));
}

// ---- The tool ----------------------------------------------------------------

TEST(EpaTool, EncodeInfoDecodeRoundTripWithDefaultModes) {
  TempDir dir;
  struct Case {
    Sized picture;
    const char* bits;
  } cases[] = {{scene(120, 70, 1, 4, false), "8"},
               {scene(120, 70, 2, 256, false), "24"},
               {scene(120, 70, 3, 256, true), "32"}};
  for (Case& c : cases) {
    std::string png, out, err;
    ASSERT_TRUE(encodePng(c.picture.pixels.data(), c.picture.width, c.picture.height, &png));
    writeFile(dir.file("in.png"), png);
    ASSERT_EQ(runTool("epa encode " + quote(dir.file("in.png")) + " " + quote(dir.file("p.epa")), &out, &err), 0) << err;
    ASSERT_EQ(runTool("epa info " + quote(dir.file("p.epa")), &out, &err), 0) << err;
    EXPECT_EQ(out, std::string("width=120 height=70 bits=") + c.bits + "\n");
    ASSERT_EQ(runTool("epa decode " + quote(dir.file("p.epa")) + " " + quote(dir.file("back.png")), &out, &err), 0) << err;
    Picture back;
    uint32_t w, h;
    std::string error;
    ASSERT_TRUE(decodePng(readFile(dir.file("back.png")), &back, &w, &h, &error)) << error;
    EXPECT_EQ(back, c.picture.pixels) << c.bits;
  }
  // A forced mode that would lose the alpha channel writes nothing.
  std::string out, err;
  EXPECT_EQ(runTool("epa encode " + quote(dir.file("in.png")) + " " + quote(dir.file("x.epa")) + " --mode 1", &out, &err), 1);
  EXPECT_NE(err.find("alpha"), std::string::npos);
  EXPECT_FALSE(fileExists(dir.file("x.epa")));
}

// Which headers and streams are refused is tested on the decoder; here the
// tool's exit codes, and no output file for a damaged picture.
TEST(EpaTool, BadInputAndUsage) {
  TempDir dir;
  std::string out, err;
  writeFile(dir.file("junk.epa"), "this is not a picture at all");
  EXPECT_EQ(runTool("epa info " + quote(dir.file("junk.epa")), &out, &err), 1);
  EXPECT_NE(err.find("junk.epa"), std::string::npos);
  EXPECT_EQ(runTool("epa info " + quote(dir.file("missing.epa")), &out, &err), 1);

  std::string epa, error;
  Sized p = scene(50, 40, 7, 256, true);
  ASSERT_TRUE(encodeEpa(p.pixels.data(), 50, 40, 2, &epa, &error));
  writeFile(dir.file("cut.epa"), epa.substr(0, epa.size() / 2));
  EXPECT_EQ(runTool("epa decode " + quote(dir.file("cut.epa")) + " " + quote(dir.file("cut.png")), &out, &err), 1);
  EXPECT_NE(err.find("cut.epa"), std::string::npos);
  EXPECT_FALSE(fileExists(dir.file("cut.png")));
  EXPECT_EQ(runTool("epa encode " + quote(dir.file("junk.epa")) + " " + quote(dir.file("j.epa")), &out, &err), 1);

  for (const char* args : {"epa", "epa frobnicate x", "epa info", "epa decode x.epa",
                           "epa encode x.png x.epa --mode 3", "epa encode x.png x.epa --mode"})
    EXPECT_EQ(runTool(args), 2) << args;
}

}  // namespace
