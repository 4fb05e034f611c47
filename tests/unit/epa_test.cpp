// The EPA decoder on hand-made streams (every command kind, every distance,
// damaged streams checked against a plain byte-at-a-time reference), and the
// picture loader (loose file, archive member, bitmap fallback, folder).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/epa.h"
#include "platform/platform.h"
#include "tests/unit/cpu_paths.h"
#include "tests/unit/test_util.h"
#include "tools/lib/pak_writer.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// An EPA file: header, palette for mode 0, then the stream as given.
std::string epaFile(int mode, uint32_t width, uint32_t height, const Bytes& stream,
                    const Bytes& palette = {}, uint8_t used = 0) {
  std::string f = "EP";
  f += char(1);
  f += char(1);
  f += char(mode);
  f += char(used);
  f += char(used);
  f += char(0);
  for (uint32_t v : {width, height})
    for (int i = 0; i < 4; i++) f += char(v >> (8 * i));
  if (mode == 0) {
    std::string p(kEpaPaletteSize, '\0');
    if (!palette.empty()) memcpy(&p[0], palette.data(), std::min(palette.size(), p.size()));
    f += p;
  }
  f.append(stream.begin(), stream.end());
  return f;
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Decodes a file; the result code goes to *code.
std::vector<uint32_t> decode(const std::string& file, int* code) {
  EpaInfo info = {};
  EXPECT_EQ(readEpaHeader(bytes(file), file.size(), &info), 0);
  std::vector<uint32_t> picture(size_t(info.width) * info.height, 0xDEADBEEF);
  *code = decodeEpa(bytes(file), file.size(), picture.data());
  return picture;
}

// Literal run of the given bytes, 15 at most per command.
Bytes literal(const Bytes& data) {
  Bytes s;
  for (size_t i = 0; i < data.size(); i += 15) {
    size_t n = std::min<size_t>(15, data.size() - i);
    s.push_back(uint8_t(n));
    s.insert(s.end(), data.begin() + i, data.begin() + i + n);
  }
  return s;
}

uint64_t distanceOf(int code, uint32_t w) {
  static const int64_t mul[16] = {0, 0, 1, 1, 0, 1, 2, 0, 2, 1, 2, 2, 2, 1, 3, 0};
  static const int64_t add[16] = {0, 1, 0, 1, 2, -1, 0, 3, 2, 2, 1, -1, -2, -2, 0, 4};
  return uint32_t(mul[code] * w + add[code]);  // 32-bit like the format
}

// The decoder written the slowest, plainest way: one byte at a time, every
// access checked. Same fault policy: stop, the rest zero.
int referenceUnpack(const Bytes& s, Bytes* out, uint32_t width) {
  size_t in = 0, o = 0;
  while (o < out->size()) {
    if (in >= s.size()) goto fault;
    {
      unsigned b = s[in++];
      if (b < 16) {
        for (unsigned k = 0; k < b; k++) {
          if (in >= s.size() || o >= out->size()) goto fault;
          (*out)[o++] = s[in++];
        }
        continue;
      }
      size_t length = b & 7;
      if (b & 8) {
        if (in >= s.size()) goto fault;
        length = length << 8 | s[in++];
      }
      uint64_t d = distanceOf(int(b >> 4), width);
      if (length && d > o) goto fault;
      for (size_t k = 0; k < length; k++) {
        if (o >= out->size()) goto fault;
        (*out)[o] = d ? (*out)[o - d] : 0;
        o++;
      }
    }
  }
  return 0;
fault:
  for (; o < out->size(); o++) (*out)[o] = 0;
  return kEpaBadStream;
}

TEST(EpaHeader, ValidHeadersAndEveryRejection) {
  EpaInfo info = {};
  std::string m0 = epaFile(0, 320, 200, {}, {}, 16);
  ASSERT_EQ(readEpaHeader(bytes(m0), m0.size(), &info), 0);
  EXPECT_EQ(info.width, 320u);
  EXPECT_EQ(info.height, 200u);
  EXPECT_EQ(info.bitsPerPixel, 8u);
  EXPECT_EQ(info.coloursUsed, 16u);
  EXPECT_EQ(info.coloursImportant, 16u);
  m0[5] = m0[6] = 0;  // 0 reads as 256
  ASSERT_EQ(readEpaHeader(bytes(m0), m0.size(), &info), 0);
  EXPECT_EQ(info.coloursUsed, 256u);
  EXPECT_EQ(info.coloursImportant, 256u);

  std::string m2 = epaFile(2, 7, 9, {});
  m2[5] = 12;  // ignored outside mode 0
  ASSERT_EQ(readEpaHeader(bytes(m2), m2.size(), &info), 0);
  EXPECT_EQ(info.bitsPerPixel, 32u);
  EXPECT_EQ(info.coloursUsed, 0u);
  std::string m1 = epaFile(1, 7, 9, {});
  ASSERT_EQ(readEpaHeader(bytes(m1), m1.size(), &info), 0);
  EXPECT_EQ(info.bitsPerPixel, 24u);

  auto code = [](std::string f) { return readEpaHeader(bytes(f), f.size(), nullptr); };
  std::string f = m1;
  f[0] = 'e';
  EXPECT_EQ(code(f), kEpaBadMagic);
  EXPECT_EQ(code("E"), kEpaBadMagic);
  EXPECT_EQ(code(""), kEpaBadMagic);
  f = m1, f[2] = 2;
  EXPECT_EQ(code(f), kEpaBadVersion);
  f = m1, f[3] = 0;
  EXPECT_EQ(code(f), kEpaBadMode);
  f = m1, f[4] = 3;
  EXPECT_EQ(code(f), kEpaBadMode);
  EXPECT_EQ(code(m1.substr(0, 15)), kEpaShortFile);
  EXPECT_EQ(code(m0.substr(0, 783)), kEpaShortFile);  // mode 0 without its whole palette
  EXPECT_EQ(code(epaFile(1, 0, 5, {})), kEpaBadSize);
  EXPECT_EQ(code(epaFile(1, 5, 0, {})), kEpaBadSize);
  EXPECT_EQ(code(epaFile(2, 100000, 100000, {})), kEpaBadSize);
  EXPECT_EQ(code(epaFile(2, 0x10000, 0x10000, {})), kEpaBadSize);  // 2^32 pixels, wraps to 0 in 32 bits
  EXPECT_EQ(code(epaFile(2, kEpaMaxPixels, 1, {})), 0);
  EXPECT_EQ(code(epaFile(2, kEpaMaxPixels + 1, 1, {})), kEpaBadSize);
}

TEST(EpaStream, CommandKinds) {
  int code;
  // 1 x 1 mode 1: literal of blue, green, red.
  std::vector<uint32_t> p = decode(epaFile(1, 1, 1, {0x03, 0x11, 0x22, 0x33}), &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(p[0], 0xFF332211u);

  Bytes out(16);
  // 0x21 after one row copies the byte directly above; 0x17 repeats the last
  // byte 7 times; 0x08 is a literal of 8, not a copy (here it runs 4 bytes
  // past the end of the output and is cut there).
  Bytes s = {0x04, 1, 2, 3, 4, 0x21, 0x17, 0x00, 0x08, 9, 8, 7, 6, 5, 4, 3, 2};
  out.assign(16, 0xAA);
  EXPECT_EQ(unpackPlanes(s.data(), s.size(), out.data(), 4, 4), kEpaBadStream);
  Bytes want = {1, 2, 3, 4, 1, 1, 1, 1, 1, 1, 1, 1, 9, 8, 7, 6};
  EXPECT_EQ(out, want);

  // 0x18 0x10: bit 3 set, length (0 << 8) | 16 from distance 1. Zero-length
  // copies (short and long) and empty literals produce nothing.
  s = {0x01, 5, 0x10, 0x18, 0x00, 0x00, 0x18, 0x10, 0x01, 6};
  out.assign(18, 0);
  EXPECT_EQ(unpackPlanes(s.data(), s.size(), out.data(), 6, 3), 0);
  want.assign(17, 5);
  want.push_back(6);
  EXPECT_EQ(out, want);

  // The longest copy: 0x1F 0xFF is 2047 bytes.
  s = {0x01, 7, 0x1F, 0xFF};
  out.assign(2048, 0);
  EXPECT_EQ(unpackPlanes(s.data(), s.size(), out.data(), 2048, 1), 0);
  EXPECT_EQ(out, Bytes(2048, 7));
}

TEST(EpaStream, AllFifteenDistancesAndPlaneBoundaries) {
  const uint32_t w = 9;
  Bytes rows(4 * w);
  for (size_t i = 0; i < rows.size(); i++) rows[i] = uint8_t(i + 1);
  for (int c = 1; c < 16; c++) {
    Bytes s = literal(rows);
    s.push_back(uint8_t(c << 4 | 1));
    Bytes out(5 * w);
    ASSERT_EQ(unpackPlanes(s.data(), s.size(), out.data(), w, 5), kEpaBadStream);  // stops after 1
    EXPECT_EQ(out[4 * w], uint8_t(4 * w - distanceOf(c, w) + 1)) << "code " << c;
    EXPECT_EQ(out[4 * w + 1], 0);
  }

  // Mode 2, 3 x 2: each plane's first row copies the previous plane's last
  // row from directly above, across the plane boundary.
  Bytes s = literal({10, 11, 12, 13, 14, 15});
  for (int plane = 1; plane < 4; plane++)
    s.insert(s.end(), {0x23, 0x03, 20, 21, uint8_t(20 + plane)});
  int code;
  std::vector<uint32_t> p = decode(epaFile(2, 3, 2, s), &code);
  EXPECT_EQ(code, 0);
  // Planes: blue 10 11 12 / 13 14 15, green 13 14 15 / 20 21 21,
  // red 20 21 21 / 20 21 22, alpha 20 21 22 / 20 21 23. Bottom row first.
  std::vector<uint32_t> want = {0x1414140D, 0x1515150E, 0x1716150F,
                                0x14140D0A, 0x15150E0B, 0x16150F0C};
  EXPECT_EQ(p, want);
}

TEST(EpaDecode, PaletteModeAndBottomUpRows) {
  // Two colours "used", but index 200 is looked up all the same, at file
  // offset 16 + 3 * 200; the stream starts at 784 regardless.
  Bytes palette(768);
  palette[0] = 1, palette[1] = 2, palette[2] = 3;
  palette[600] = 0x40, palette[601] = 0x50, palette[602] = 0x60;
  int code;
  std::vector<uint32_t> p = decode(epaFile(0, 2, 3, {0x02, 200, 0, 0x24}, palette, 2), &code);
  EXPECT_EQ(code, 0);
  // Every plane row is (200, 0): literal, then four bytes from the row above.
  EXPECT_EQ(p[0], 0xFF605040u);
  EXPECT_EQ(p[1], 0xFF030201u);

  p = decode(epaFile(1, 2, 2, literal({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})), &code);
  EXPECT_EQ(code, 0);
  // The first plane row (blue 1, 2) is the top: the last 2 pixels in memory.
  std::vector<uint32_t> want = {0xFF0B0703, 0xFF0C0804, 0xFF090501, 0xFF0A0602};
  EXPECT_EQ(p, want);
}

TEST(EpaDecode, DamagedStreamsKeepWhatWasDecoded) {
  int code;
  // Mode 2, 2 x 1, stream cut inside the red plane: blue and green decoded,
  // red half, alpha zero, so the picture is transparent.
  std::vector<uint32_t> p = decode(epaFile(2, 2, 1, {0x05, 1, 2, 3, 4, 5}), &code);
  EXPECT_EQ(code, kEpaBadStream);
  EXPECT_EQ(p, (std::vector<uint32_t>{0x00050301, 0x00000402}));

  // A copy reaching before the start: decoding stops there.
  p = decode(epaFile(1, 4, 1, {0x01, 7, 0x31, 0x0B, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), &code);
  EXPECT_EQ(code, kEpaBadStream);
  EXPECT_EQ(p, (std::vector<uint32_t>{0xFF000007, 0xFF000000, 0xFF000000, 0xFF000000}));

  // Trailing bytes after a complete stream are ignored.
  p = decode(epaFile(1, 1, 1, {0x03, 1, 2, 3, 0x1F, 0xFF, 0xFF}), &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(p[0], 0xFF030201u);

  // A plane buffer that cannot be allocated leaves the picture untouched.
  std::string f = epaFile(1, 1, 1, {0x03, 1, 2, 3});
  uint32_t pixel = 0x12345678;
  heapFailAfter(1);
  EXPECT_EQ(decodeEpa(bytes(f), f.size(), &pixel), kEpaNoMemory);
  heapFailAfter(0);
  EXPECT_EQ(pixel, 0x12345678u);
  f[0] = 'X';
  EXPECT_EQ(decodeEpa(bytes(f), f.size(), &pixel), kEpaBadMagic);
  EXPECT_EQ(pixel, 0x12345678u);
}

const size_t kGuard = 64;

// Pictures of every mode at widths around the 16 pixels the vector
// conversion takes at a time, sound and cut short, on every path: the pixels
// the planes give one by one.
TEST(EpaDecode, EveryPathGivesThePixelsOfThePlanes) {
  std::mt19937 rng(99);
  for (int mode = 0; mode < 3; mode++)
    for (uint32_t width : {1u, 15u, 16u, 17u, 47u, 100u})
      for (uint32_t height : {1u, 5u}) {
        const uint32_t planeCount = mode == 0 ? 1 : mode + 2;
        const size_t planeSize = size_t(width) * height;
        Bytes planes(planeSize * planeCount), palette(768);
        for (uint8_t& b : planes) b = uint8_t(rng());
        for (uint8_t& b : palette) b = uint8_t(rng());
        for (bool cut : {false, true}) {
          Bytes stream = literal(planes);
          if (cut) stream.resize(stream.size() * 2 / 3);
          Bytes got(planes.size());
          const int code = referenceUnpack(stream, &got, width);
          std::vector<uint32_t> want(planeSize);
          for (uint32_t r = 0; r < height; r++)
            for (uint32_t x = 0; x < width; x++) {
              const size_t k = size_t(height - 1 - r) * width + x;
              uint32_t& p = want[size_t(r) * width + x];
              if (mode == 0) {
                const uint8_t* c = &palette[3 * got[k]];
                p = 0xFF000000u | uint32_t(c[2]) << 16 | uint32_t(c[1]) << 8 | c[0];
              } else {
                p = uint32_t(got[k + 2 * planeSize]) << 16 | uint32_t(got[k + planeSize]) << 8 |
                    got[k] | (mode == 2 ? uint32_t(got[k + 3 * planeSize]) << 24 : 0xFF000000u);
              }
            }
          const std::string file = epaFile(mode, width, height, stream, palette);
          forEachPath([&](int path) {
            std::vector<uint32_t> picture(planeSize, 0xDEADBEEF);
            EXPECT_EQ(decodeEpaOn(path, bytes(file), file.size(), picture.data()), code);
            EXPECT_EQ(picture, want) << "mode " << mode << " width " << width << " height "
                                     << height << (cut ? " cut" : "");
          });
        }
      }
}

// A random command stream for planes of `total` bytes of the given width:
// literals, short and extended copies of every distance (from 0 up to the
// longest, many of them overlapping their own output), and when `damage`,
// copies reaching before the start, commands running past the end and a
// stream cut anywhere.
Bytes randomStream(std::mt19937& rng, uint32_t width, size_t total, bool damage) {
  Bytes s;
  size_t produced = 0;
  const unsigned alphabet = rng() % 2 ? 4 : 256;
  while (produced < total + (damage ? 20 : 0)) {
    unsigned kind = rng() % 8;
    if (kind < 2 || produced == 0) {
      unsigned n = rng() % 16;
      s.push_back(uint8_t(n));
      for (unsigned k = 0; k < n; k++) s.push_back(uint8_t(rng() % alphabet));
      produced += n;
      continue;
    }
    unsigned code = 1 + rng() % 15;
    uint64_t d = distanceOf(int(code), width);
    if (!damage && (d > produced || d == 0)) continue;
    size_t room = total - std::min(total, produced);
    size_t length = kind < 5 ? rng() % 8
                    : kind == 5 ? rng() % 48
                    : kind == 6 ? kEpaMaxCopy - rng() % 8
                                : rng() % (kEpaMaxCopy + 1);
    if (!damage) length = std::min(length, room);
    if (length < 8 && kind < 5) {
      s.push_back(uint8_t(code << 4 | length));
    } else {
      s.push_back(uint8_t(code << 4 | 8 | length >> 8));
      s.push_back(uint8_t(length));
    }
    produced += length;
  }
  if (damage && !s.empty()) s.resize(rng() % s.size());
  return s;
}

// Runs the stream on every path into planes of width x rows and compares
// with the reference, whose result it returns. The stream sits in a block of exactly its size (the
// sanitizers see any read past it) and guard bytes follow the output.
int expectLikeReference(const Bytes& stream, uint32_t width, uint32_t rows) {
  const size_t total = size_t(width) * rows;
  Bytes want(total);
  const int expected = referenceUnpack(stream, &want, width);
  std::unique_ptr<uint8_t[]> exact(new uint8_t[stream.size()]);
  memcpy(exact.get(), stream.data(), stream.size());
  forEachPath([&](int path) {
    Bytes got(total + kGuard, 0xCC);
    ASSERT_EQ(unpackPlanesOn(path, exact.get(), stream.size(), got.data(), width, rows), expected);
    ASSERT_EQ(Bytes(got.begin() + total, got.end()), Bytes(kGuard, 0xCC));
    got.resize(total);
    ASSERT_EQ(got, want);
  });
  return expected;
}

// Random command streams, mostly sound and sometimes damaged, against the
// byte-at-a-time reference on every path: same output, same verdict. Narrow
// planes and the first rows take the careful loop; wide ones run most
// commands in the fast loop and end, at random output sizes, inside or just
// after the wide moves of their last commands.
TEST(EpaStream, MatchesPlainReferenceOnRandomStreams) {
  std::mt19937 rng(1234);
  int faults = 0;
  for (int round = 0; round < 4000; round++) {
    const bool wide = round % 2;
    uint32_t width = wide ? 9 + rng() % 300 : 1 + rng() % 40;
    uint32_t rows = wide ? 1 + uint32_t((rng() % 24000) / width) : 1 + rng() % 40;
    size_t total = size_t(width) * rows;
    bool damage = rng() % 4 == 0;
    Bytes s = randomStream(rng, width, total, damage);
    SCOPED_TRACE(testing::Message() << "round " << round << " width " << width << " rows " << rows);
    faults += expectLikeReference(s, width, rows) != 0;
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(faults, 400);
}

size_t decodedSize(const Bytes& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned b = s[i++];
    if (b < 16)
      n += b, i += b;
    else if (b & 8)
      n += size_t(b & 7) << 8 | s[i++];
    else
      n += b & 7;
  }
  return n;
}

// The fast loop at the narrowest width it takes (9), and where row distances
// pass from patterns to 16- and to 32-byte chunks: every code with
// every length from 0 to 40; then a longest copy of each code, followed by
// empty literals and a short one that end the stream, shifted byte by byte
// across the point where the loop hands over to the careful one, in planes
// that end before, at and after the end of the stream, or much later (the
// stream then runs out first); and the farthest copy one byte too early.
TEST(EpaStream, EveryCodeAndLengthInTheFastLoopAndAtItsEdges) {
  for (uint32_t width : {8u, 9u, 17u, 33u}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    Bytes seed(3 * width + 5);
    for (size_t i = 0; i < seed.size(); i++) seed[i] = uint8_t(i * 37 + 11);
    Bytes body;
    for (int code = 1; code < 16; code++)
      for (size_t length = 0; length <= 40; length++) {
        if (length < 8) {
          body.push_back(uint8_t(code << 4 | length));
        } else {
          body.push_back(uint8_t(code << 4 | 8));
          body.push_back(uint8_t(length));
        }
        body.insert(body.end(), {0x03, uint8_t(length), uint8_t(code), 0x5A});
      }
    const Bytes end = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 5};
    const size_t base = seed.size() + decodedSize(body) + kEpaMaxCopy + 5;
    const uint32_t rows = uint32_t((base + 64) / width + 1);
    const size_t total = size_t(width) * rows;
    for (size_t shift = total - base - 40; shift <= total - base + 8; shift++)
      for (int code = 1; code < 16; code++) {
        SCOPED_TRACE(testing::Message() << "shift " << shift << " code " << code);
        Bytes s = literal(seed), filler = literal(Bytes(shift, 0x77));
        s.insert(s.end(), filler.begin(), filler.end());
        s.insert(s.end(), body.begin(), body.end());
        s.insert(s.end(), {uint8_t(code << 4 | 15), 0xFF});
        s.insert(s.end(), end.begin(), end.end());
        expectLikeReference(s, width, rows);
        if (shift % 8 == 0) expectLikeReference(s, width, rows + 2200 / width);
        if (HasFatalFailure()) return;
      }
    for (size_t before : {3 * width - 1, 3 * width}) {
      Bytes s = literal(Bytes(seed.begin(), seed.begin() + before));
      s.insert(s.end(), {0xE3, 0x03, 1, 2, 3});
      s.insert(s.end(), end.begin(), end.end());
      expectLikeReference(s, width, 3 + 2200 / width);
    }
  }
}

// ---- Loading pictures ----------------------------------------------------------

std::string currentFolder() {
  char buffer[4096];
  return getCurrentFolder(buffer, sizeof buffer) ? buffer : "";
}

// Pretends the program lies in `path` while it lives; the loader makes that
// folder current, so the test's own current folder is put back afterwards.
struct ProgramFolder {
  explicit ProgramFolder(const std::string& path) : saved(currentFolder()) {
    setProgramFolder(path.c_str());
  }
  ~ProgramFolder() {
    setProgramFolder(nullptr);
    setCurrentFolder(saved.c_str());
  }
  std::string saved;
};

TEST(LoadPicture, LooseFileFirstThenArchiveFromTheProgramFolder) {
  TempDir program, elsewhere(true);
  ProgramFolder folder(program.path);
  std::string red = epaFile(1, 2, 1, {0x02, 0, 0, 0x02, 0, 0, 0x02, 255, 255});
  std::string blue = epaFile(2, 1, 1, {0x04, 255, 0, 0, 128});
  std::string archive, error;
  ASSERT_TRUE(buildPack({{"TITLE.EPA", blue}, {"RED.EPA", red}}, true, &archive, &error));
  writeFile(program.file("Instdata.pak"), archive);

  int32_t w = -1, h = -1;
  uint32_t* p = loadPicture("data\\title.epa", &w, &h);  // member, any case, folder ignored
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(p[0], 0x800000FFu);
  heapFree(p);
  // The program's folder became the current one and stays so.
  EXPECT_EQ(currentFolder(), program.path);

  // A loose file beside the program wins over the member.
  ASSERT_EQ(setCurrentFolder(elsewhere.path.c_str()), true);
  writeFile(program.file("TITLE.EPA"), red);
  p = loadPicture("TITLE.EPA", nullptr, &h);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(p[0], 0xFFFF0000u);
  EXPECT_EQ(p[1], 0xFFFF0000u);
  heapFree(p);
  EXPECT_EQ(currentFolder(), program.path);

  // Pictures beside the current folder but not the program are not found.
  writeFile(elsewhere.file("ONLYHERE.EPA"), red);
  ASSERT_EQ(setCurrentFolder(elsewhere.path.c_str()), true);
  EXPECT_EQ(loadPicture("ONLYHERE.EPA", nullptr, nullptr), nullptr);
  EXPECT_EQ(loadPicture("MISSING.EPA", nullptr, nullptr), nullptr);
}

TEST(LoadPicture, BitmapFallbackDamagedFilesAndAllocationFailures) {
  TempDir program;
  ProgramFolder folder(program.path);
  // Not EPA: the bytes after 54 are the pixels; the sizes stay untouched.
  std::string bmp(54, 'B');
  bmp += std::string("", 8);
  writeFile(program.file("PIC.BMP"), bmp);
  int32_t w = -7, h = -7;
  uint32_t* p = loadPicture("PIC.BMP", &w, &h);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0x04030201u);
  EXPECT_EQ(p[1], 0x08070605u);
  EXPECT_EQ(w, -7);
  EXPECT_EQ(h, -7);
  heapFree(p);
  // 54 bytes or less: no pixels, no picture. The same for an EPA file cut
  // inside its header and one claiming an absurd size.
  writeFile(program.file("EMPTY.BMP"), std::string(54, 'B'));
  EXPECT_EQ(loadPicture("EMPTY.BMP", &w, &h), nullptr);
  writeFile(program.file("CUT.EPA"), epaFile(0, 4, 4, {}).substr(0, 400));
  EXPECT_EQ(loadPicture("CUT.EPA", &w, &h), nullptr);
  writeFile(program.file("HUGE.EPA"), epaFile(2, 100000, 100000, Bytes(100, 0x1F)));
  EXPECT_EQ(loadPicture("HUGE.EPA", &w, &h), nullptr);
  EXPECT_EQ(w, -7);

  // A damaged stream still gives a picture with what was decoded.
  writeFile(program.file("DAMAGED.EPA"), epaFile(1, 2, 1, {0x01, 9}));
  p = loadPicture("DAMAGED.EPA", &w, &h);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0xFF000009u);
  EXPECT_EQ(p[1], 0xFF000000u);
  heapFree(p);

  // Allocations: handle, file buffer, picture, planes. Without planes the
  // picture is still returned, blank.
  writeFile(program.file("OK.EPA"), epaFile(1, 1, 1, {0x03, 1, 2, 3}));
  for (unsigned fail = 1; fail <= 3; fail++) {
    heapFailAfter(fail);
    EXPECT_EQ(loadPicture("OK.EPA", nullptr, nullptr), nullptr) << fail;
  }
  heapFailAfter(4);
  p = loadPicture("OK.EPA", nullptr, nullptr);
  heapFailAfter(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0u);
  heapFree(p);
}

TEST(LoadPicture, SizedLoadsAlwaysHoldTheAskedSize) {
  TempDir program;
  ProgramFolder folder(program.path);
  // 2 x 2 picture: top row 1 2, bottom row 3 4 (blue values).
  writeFile(program.file("SMALL.EPA"), epaFile(1, 2, 2, literal({1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0})));
  uint32_t* p = loadPictureSized("SMALL.EPA", 2, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2], 0xFF000001u);
  heapFree(p);
  // Larger: placed top left, padded with zero pixels.
  p = loadPictureSized("SMALL.EPA", 3, 3);
  ASSERT_NE(p, nullptr);
  std::vector<uint32_t> want = {0, 0, 0, 0xFF000003, 0xFF000004, 0, 0xFF000001, 0xFF000002, 0};
  EXPECT_EQ(std::vector<uint32_t>(p, p + 9), want);
  heapFree(p);
  // Smaller: the top-left pixel only.
  p = loadPictureSized("SMALL.EPA", 1, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0xFF000001u);
  heapFree(p);
  // A short bitmap is padded.
  writeFile(program.file("B.BMP"), std::string(54, 'B') + "\x01\x02\x03\x04");
  p = loadPictureSized("B.BMP", 2, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0x04030201u);
  EXPECT_EQ(p[1], 0u);
  heapFree(p);
  EXPECT_EQ(loadPictureSized("SMALL.EPA", 0, 5), nullptr);
  EXPECT_EQ(loadPictureSized("NONE.EPA", 5, 5), nullptr);
}

}  // namespace
