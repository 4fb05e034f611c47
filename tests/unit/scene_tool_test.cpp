// `ksetup-tool scene render` end to end: a script and EPA pictures written by
// our own encoder, frames read back from the PNG files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/unit/test_util.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/pak_writer.h"
#include "tools/lib/png_io.h"

namespace {

std::string solidEpa(uint32_t width, uint32_t height, uint32_t argb) {
  std::vector<uint32_t> picture(size_t(width) * height, argb);
  std::string epa, error;
  EXPECT_TRUE(encodeEpa(picture.data(), width, height, chooseEpaMode(picture.data(), width, height),
                        &epa, &error))
      << error;
  return epa;
}

// An opaque picture pixel as the packed blend leaves it: (c * 255) >> 8 per
// channel, written out with alpha 255.
uint32_t shown(uint32_t rgb) {
  uint32_t out = 0xFF000000u;
  for (int i = 0; i < 24; i += 8) out |= ((((rgb >> i) & 255) * 255) >> 8) << i;
  return out;
}

// Reads back the GIF the tool writes (global palette, no local ones): the
// frames as composed on the screen, top row first, and their delays.
bool decodeGif(const std::string& gif, uint32_t* width, uint32_t* height,
               std::vector<std::vector<uint32_t>>* frames, std::vector<int>* delays) {
  if (gif.size() < 13 || gif.compare(0, 6, "GIF89a") != 0) return false;
  auto byte = [&](size_t at) -> uint32_t { return at < gif.size() ? uint8_t(gif[at]) : 0; };
  auto u16 = [&](size_t at) { return byte(at) | byte(at + 1) << 8; };
  *width = u16(6);
  *height = u16(8);
  size_t at = 13;
  std::vector<uint32_t> palette;
  if (byte(10) & 0x80)
    for (int i = 0; i < (2 << (byte(10) & 7)); i++, at += 3)
      palette.push_back(byte(at) << 16 | byte(at + 1) << 8 | byte(at + 2));
  std::vector<uint32_t> canvas(size_t(*width) * *height, 0);
  while (at < gif.size()) {
    uint32_t block = byte(at++);
    if (block == 0x3B) return true;
    if (block == 0x21) {
      if (byte(at++) == 0xF9) delays->push_back(int(u16(at + 2)));
      while (uint32_t n = byte(at++)) at += n;
      continue;
    }
    if (block != 0x2C) return false;
    uint32_t left = u16(at), top = u16(at + 2), w = u16(at + 4), h = u16(at + 6);
    at += 9;
    uint32_t minSize = byte(at++);
    std::string data;
    while (uint32_t n = byte(at++)) {
      data.append(gif, at, n);
      at += n;
    }
    size_t bit = 0;
    auto read = [&](int size) {
      uint32_t v = 0;
      for (int i = 0; i < size; i++, bit++)
        if (bit / 8 < data.size() && (uint8_t(data[bit / 8]) >> (bit % 8) & 1)) v |= 1u << i;
      return v;
    };
    const uint32_t clear = 1u << minSize, end = clear + 1;
    std::vector<std::string> dict;
    int size = 0;
    auto reset = [&]() {
      dict.assign(clear + 2, "");
      for (uint32_t i = 0; i < clear; i++) dict[i] = std::string(1, char(i));
      size = int(minSize) + 1;
    };
    reset();
    std::string out, prev;
    while (true) {
      if (bit >= data.size() * 8) return false;
      uint32_t code = read(size);
      if (code == clear) {
        reset();
        prev.clear();
        continue;
      }
      if (code == end) break;
      std::string entry;
      if (code < dict.size() && code != clear && code != end)
        entry = dict[code];
      else if (code == dict.size() && !prev.empty())
        entry = prev + prev[0];
      else
        return false;
      if (!prev.empty() && dict.size() < 4096) dict.push_back(prev + entry[0]);
      out += entry;
      prev = entry;
      if (dict.size() == (1u << size) && size < 12) size++;
    }
    if (out.size() != size_t(w) * h || left + w > *width || top + h > *height) return false;
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++)
        canvas[size_t(top + y) * *width + left + x] = palette[uint8_t(out[size_t(y) * w + x])];
    frames->push_back(canvas);
  }
  return false;
}

struct Frame {
  std::vector<uint32_t> pixels;  // bottom-up, as readPng gives them
  uint32_t width = 0, height = 0;
  uint32_t at(uint32_t x, uint32_t y) const { return pixels[size_t(height - 1 - y) * width + x]; }
};

Frame readFrame(const std::string& path) {
  Frame f;
  std::string error;
  EXPECT_TRUE(readPng(path, &f.pixels, &f.width, &f.height, &error)) << path << ": " << error;
  return f;
}

// A 64x48 scene: grey background, a stage at (8, 8), an element up to 50 %,
// a bar, an endless sprite and a finish picture. The script lies loose, the
// pictures in the archive.
void writeScene(const std::string& dir) {
  writeFile(dir + "/KSetup.ini",
            "APPLITITLE = \"Demo\"\r\nDISCNUM = 1\r\n"
            "BACK \"BACK.EPA\" 0 0 NORMAL\r\n"
            "BASE \"STAGE.EPA\" 8 8 48 32 NORMAL\r\n"
            "ELEMENT \"ITEM.EPA\" 2 2 0 50 NORMAL\r\n"
            "PROGRESSBAR \"BAR.EPA\" 0 28 40 0 0 100 DIRECTION_RIGHT\r\n"
            "SPRITE2 \"BALL.EPA\" 4 20 10 10 0 0 INFINITE 100 0 100 NORMAL\r\n"
            "FINISH \"END.EPA\" 30 2 NORMAL\r\n");
  std::string archive, error;
  ASSERT_TRUE(buildPack({{"BACK.EPA", solidEpa(64, 48, 0xFF808080)},
                         {"STAGE.EPA", solidEpa(48, 32, 0xFF000040)},
                         {"ITEM.EPA", solidEpa(6, 6, 0xFFFF0000)},
                         {"BAR.EPA", solidEpa(40, 4, 0xFF00FF00)},
                         {"BALL.EPA", solidEpa(4, 4, 0xFFFFFFFF)},
                         {"END.EPA", solidEpa(10, 6, 0xFF0000FF)}},
                        true, &archive, &error))
      << error;
  writeFile(dir + "/Instdata.pak", archive);
}

TEST(SceneTool, RendersOneFramePerValueDeterministically) {
  TempDir work(true);  // relative output paths are taken from here
  std::string disc = work.file("disc");
  ASSERT_EQ(system(("mkdir " + quote(disc)).c_str()), 0);
  writeScene(disc);
  std::string out, err;
  ASSERT_EQ(runTool("scene render " + quote(disc) +
                        " --size 64x48 --values 0,500,1010,1020,1020 --out a --finish",
                    &out, &err),
            0)
      << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(out.substr(0, out.find('\n')), "a-000.png value 0: changed, 2 rectangles");
  for (int i = 0; i < 5; i++)
    ASSERT_TRUE(fileExists(work.file("a-00" + std::to_string(i) + ".png"))) << i;
  EXPECT_FALSE(fileExists(work.file("a-005.png")));
  EXPECT_FALSE(fileExists(disc + "/a-000.png"));

  Frame f0 = readFrame(work.file("a-000.png"));
  ASSERT_EQ(f0.width, 64u);
  ASSERT_EQ(f0.height, 48u);
  for (uint32_t p : f0.pixels) ASSERT_EQ(p >> 24, 0xFFu);
  EXPECT_EQ(f0.at(0, 0), shown(0x808080));  // background
  EXPECT_EQ(f0.at(8, 8), shown(0x000040));  // stage
  EXPECT_EQ(f0.at(10, 10), shown(0xFF0000));  // element
  EXPECT_EQ(f0.at(28, 18), shown(0xFFFFFF));  // sprite at stage (20, 10)
  EXPECT_EQ(f0.at(8, 36), shown(0x000040));  // no bar yet

  // Progress moves the picture on (each rule is tested on the scene itself).
  Frame f1 = readFrame(work.file("a-001.png"));
  EXPECT_EQ(f1.at(8 + 19, 37), shown(0x00FF00));  // 500 * 40 / 1000 = 20 columns
  EXPECT_EQ(f1.at(8 + 20, 37), shown(0x000040));
  Frame f3 = readFrame(work.file("a-003.png"));
  EXPECT_EQ(f3.at(38 + 9, 10 + 5), shown(0x0000FF));  // --finish

  // The same inputs give the same files.
  ASSERT_EQ(runTool("scene render " + quote(disc) +
                        " --size 64x48 --values 0,500,1010,1020,1020 --out b --finish"),
            0);
  for (int i = 0; i < 5; i++) {
    std::string n = "-00" + std::to_string(i) + ".png";
    EXPECT_EQ(readFile(work.file("a" + n)), readFile(work.file("b" + n))) << i;
  }

  // Without --finish no finish picture is drawn; a slower clock moves the
  // sprite further per tick.
  ASSERT_EQ(runTool("scene render " + quote(disc) +
                        " --size 64x48 --values 0,1020 --tick-ms 1000 --out c"),
            0);
  Frame c1 = readFrame(work.file("c-001.png"));
  EXPECT_EQ(c1.at(40, 12), shown(0x000040));
  EXPECT_EQ(c1.at(38, 18), shown(0xFFFFFF));  // 10 pixels in the second since it started
}

TEST(SceneTool, ShrunkBackgroundsAreDrawnAsTheProgramShowsThem) {
  // An 8 x 8 red and green check stretched over 4 x 4: as in the program,
  // the four pixels that fall together are combined with AND, which leaves
  // black (a nearest pixel would be red or green).
  TempDir work(true);
  writeFile(work.file("KSetup.ini"), "BACK \"CHECK.EPA\" 0 0 STRETCH_DESKTOP\r\n");
  std::vector<uint32_t> check(64);
  for (int i = 0; i < 64; i++) check[i] = (i + i / 8) % 2 ? 0xFFFF0000 : 0xFF00FF00;
  std::string epa, error;
  ASSERT_TRUE(encodeEpa(check.data(), 8, 8, chooseEpaMode(check.data(), 8, 8), &epa, &error)) << error;
  writeFile(work.file("CHECK.EPA"), epa);
  ASSERT_EQ(runTool("scene render " + quote(work.path) + " --size 4x4 --values 0 --out s"), 0);
  Frame f = readFrame(work.file("s-000.png"));
  for (uint32_t p : f.pixels) EXPECT_EQ(p, 0xFF000000u);
}

TEST(SceneTool, GifHoldsTheSameFrames) {
  TempDir work(true);
  writeScene(work.path);
  // Few colours: the animation holds the frames exactly.
  ASSERT_EQ(runTool("scene render . --size 64x48 --values 0,500,500,1010,1020 --out f --finish "
                    "--gif a.gif"),
            0);
  uint32_t w = 0, h = 0;
  std::vector<std::vector<uint32_t>> frames;
  std::vector<int> delays;
  ASSERT_TRUE(decodeGif(readFile(work.file("a.gif")), &w, &h, &frames, &delays));
  ASSERT_EQ(w, 64u);
  ASSERT_EQ(h, 48u);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(delays, std::vector<int>(5, 10));
  for (int i = 0; i < 5; i++) {
    Frame png = readFrame(work.file("f-00" + std::to_string(i) + ".png"));
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++)
        ASSERT_EQ(frames[i][y * w + x], png.at(x, y) & 0xFFFFFF) << i << " " << x << "," << y;
  }

  // Thousands of colours: a fixed palette, each channel within half a step,
  // and long enough to fill the code table several times.
  std::vector<uint32_t> noise(160 * 120);
  for (size_t i = 0; i < noise.size(); i++) noise[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
  std::string epa, error;
  ASSERT_TRUE(encodeEpa(noise.data(), 160, 120, 1, &epa, &error)) << error;
  writeFile(work.file("NOISE.EPA"), epa);
  writeFile(work.file("KSetup.ini"), "DISCNUM = 1\r\nBACK \"NOISE.EPA\" 0 0 NORMAL\r\n");
  ASSERT_EQ(runTool("scene render . --size 160x120 --values 0,0 --out n --gif n.gif --tick-ms 40"), 0);
  frames.clear();
  delays.clear();
  ASSERT_TRUE(decodeGif(readFile(work.file("n.gif")), &w, &h, &frames, &delays));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(delays, std::vector<int>(2, 4));
  Frame png = readFrame(work.file("n-000.png"));
  for (uint32_t y = 0; y < h; y++)
    for (uint32_t x = 0; x < w; x++)
      for (int c = 0; c < 24; c += 8) {
        int expect = int(png.at(x, y) >> c & 255), got = int(frames[0][y * w + x] >> c & 255);
        ASSERT_LE(std::abs(expect - got), 26) << x << "," << y;
      }
  EXPECT_EQ(frames[1], frames[0]);
}

TEST(SceneTool, ReportsBadArgumentsAndInput) {
  TempDir work(true);
  writeScene(work.path);
  std::string err;
  const char* usage[] = {
      "scene",
      "scene play . --size 8x8 --values 0 --out f",
      "scene render . --values 0 --out f",
      "scene render . --size 8 --values 0 --out f",
      "scene render . --size 0x8 --values 0 --out f",
      "scene render . --size 8x8 --values 0,,1 --out f",
      "scene render . --size 8x8 --values 0,x --out f",
      "scene render . --size 8x8 --values 0 --out f --tick-ms -1",
      "scene render . --size 8x8 --values 0 --out f --speed 2",
      "scene render . other --size 8x8 --values 0 --out f",
      "scene render . --size 8x8 --values 0",
  };
  for (const char* args : usage) EXPECT_EQ(runTool(args, nullptr, &err), 2) << args;
  EXPECT_NE(err.find("usage: ksetup-tool scene render"), std::string::npos);

  EXPECT_EQ(runTool("scene render missing --size 8x8 --values 0 --out f", nullptr, &err), 1);
  EXPECT_NE(err.find("missing"), std::string::npos);
  ASSERT_EQ(system("mkdir empty"), 0);
  EXPECT_EQ(runTool("scene render empty --size 8x8 --values 0 --out f", nullptr, &err), 1);
  EXPECT_NE(err.find("KSetup.ini"), std::string::npos);

  // A picture the script names but the folder lacks is left out, with a note.
  writeFile(work.file("KSetup.ini"), "DISCNUM = 1\r\nWRITE \"GONE.EPA\" 0 0 0 NORMAL\r\n");
  EXPECT_EQ(runTool("scene render . --size 8x8 --values 0,10 --out g", nullptr, &err), 0);
  EXPECT_NE(err.find("GONE.EPA"), std::string::npos);
  EXPECT_TRUE(fileExists(work.file("g-001.png")));
}

}  // namespace
