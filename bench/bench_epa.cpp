// EPA decoding speed on pictures like those of an install scene, next to a
// plain copy of the same number of output bytes; and the encoder's speed and
// its file sizes against PNG (stb_image_write) for the same pictures.
// bytes_per_second counts output pixel bytes (4 per pixel).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "media/epa.h"
#include "platform/cpu.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/png_io.h"

namespace {

struct TestPicture {
  const char* name;
  uint32_t width, height;
  int mode;
  std::vector<uint32_t> pixels;  // bottom-up 0xAARRGGBB
  std::string epa, png;
};

uint32_t clampByte(double v) { return v < 0 ? 0 : v > 255 ? 255 : uint32_t(v); }

// Full-screen scene art: a diagonal sky gradient, a sun disc with a soft
// edge, hills, a framed panel with stripes of "text", sparse sensor noise,
// and an alpha ramp on the left edge (mode 2 keeps it).
void drawScene(TestPicture* p, bool alphaEdge, double noise, std::mt19937* rng) {
  const uint32_t w = p->width, h = p->height;
  std::normal_distribution<double> grain(0.0, noise);
  for (uint32_t y = 0; y < h; y++) {
    for (uint32_t x = 0; x < w; x++) {
      double fx = double(x) / w, fy = double(y) / h;  // fy = 0 at the top
      double r = 40 + 120 * fy + 40 * fx, g = 60 + 100 * fy, b = 200 - 80 * fy;
      double dx = fx - 0.7, dy = fy - 0.3, d = std::sqrt(dx * dx + dy * dy);
      double sun = std::min(1.0, std::max(0.0, (0.12 - d) * 60));
      r += (255 - r) * sun, g += (220 - g) * sun, b += (120 - b) * sun;
      if (fy > 0.65 + 0.08 * std::sin(fx * 9)) r = 50, g = 110 + 40 * fy, b = 40;
      if (fx > 0.1 && fx < 0.45 && fy > 0.15 && fy < 0.55) {
        r = 230, g = 230, b = 235;
        if (int(fy * h) % 12 < 5 && fx > 0.13 && fx < 0.42 && (x / 5) % 7 != 0) r = g = b = 30;
      }
      if (noise > 0) r += grain(*rng), g += grain(*rng), b += grain(*rng);
      else if ((*rng)() % 64 == 0) r += 6, g -= 6;
      uint32_t a = alphaEdge ? clampByte(fx * 8 * 255) : 255;
      p->pixels[size_t(h - 1 - y) * w + x] =
          a << 24 | clampByte(r) << 16 | clampByte(g) << 8 | clampByte(b);
    }
  }
}

// A 256-colour picture: the scene ordered-dithered down to 6 x 6 x 6 levels.
void quantise(TestPicture* p) {
  static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (uint32_t y = 0; y < p->height; y++) {
    for (uint32_t x = 0; x < p->width; x++) {
      uint32_t& v = p->pixels[size_t(y) * p->width + x];
      double t = (bayer[y % 4][x % 4] + 0.5) / 16.0;
      uint32_t out = 0xFF000000;
      for (int c = 0; c < 3; c++) {
        double level = ((v >> (8 * c)) & 0xFF) / 255.0 * 5;
        uint32_t q = uint32_t(std::min(5.0, std::floor(level + t)));
        out |= (q * 51) << (8 * c);
      }
      v = out;
    }
  }
}

// A sprite: an antialiased ring on a transparent background.
void drawSprite(TestPicture* p) {
  const double c = p->width / 2.0;
  for (uint32_t y = 0; y < p->height; y++) {
    for (uint32_t x = 0; x < p->width; x++) {
      double d = std::hypot(x + 0.5 - c, y + 0.5 - c);
      double cover = std::min(1.0, std::max(0.0, std::min(d - c * 0.5, c * 0.9 - d) + 0.5));
      uint32_t a = clampByte(cover * 255);
      p->pixels[size_t(y) * p->width + x] = a ? a << 24 | 0xE0A020 : 0;
    }
  }
}

TestPicture make(const char* name, uint32_t w, uint32_t h, int mode, int kind) {
  TestPicture p{name, w, h, mode, std::vector<uint32_t>(size_t(w) * h), "", ""};
  std::mt19937 rng(42);
  if (kind == 0) drawScene(&p, mode == 2, 0, &rng);
  if (kind == 1) drawScene(&p, false, 0, &rng), quantise(&p);
  if (kind == 2) drawScene(&p, false, 3.0, &rng);
  if (kind == 3) drawSprite(&p);
  std::string error;
  if (!encodeEpa(p.pixels.data(), w, h, mode, &p.epa, &error)) abort();
  if (!encodePng(p.pixels.data(), w, h, &p.png)) abort();
  return p;
}

std::vector<TestPicture>& pictures() {
  static std::vector<TestPicture> all = [] {
    std::vector<TestPicture> v;
    v.push_back(make("scene_1024x768_mode2", 1024, 768, 2, 0));
    v.push_back(make("dithered_320x320_mode0", 320, 320, 0, 1));
    v.push_back(make("grainy_640x480_mode1", 640, 480, 1, 2));
    v.push_back(make("sprite_128x128_mode2", 128, 128, 2, 3));
    return v;
  }();
  return all;
}

void decodeBench(benchmark::State& state, size_t index) {
  TestPicture& p = pictures()[index];
  std::vector<uint32_t> out(p.pixels.size());
  for (auto _ : state) {
    int result = decodeEpa(reinterpret_cast<const uint8_t*>(p.epa.data()), p.epa.size(), out.data());
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  if (out != p.pixels) state.SkipWithError("decoded picture differs");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size() * 4));
  state.counters["epa_bytes"] = double(p.epa.size());
}

// The plane decompression alone (no conversion to pixels), for the share of
// the decode time it takes; bytes are plane bytes.
void unpackBench(benchmark::State& state, size_t index, int path = bestCpuPath()) {
  if (!cpuPathAvailable(path)) return state.SkipWithError("not on this processor");
  TestPicture& p = pictures()[index];
  EpaInfo info;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(p.epa.data());
  readEpaHeader(data, p.epa.size(), &info);
  const size_t offset = epaStreamOffset(info), planeCount = info.bitsPerPixel / 8;
  std::vector<uint8_t> planes(p.pixels.size() * planeCount);
  for (auto _ : state) {
    int result = unpackPlanesOn(path, data + offset, p.epa.size() - offset, planes.data(), p.width,
                              uint32_t(p.height * planeCount));
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(planes.size()));
}

void copyBench(benchmark::State& state, size_t index) {
  TestPicture& p = pictures()[index];
  std::vector<uint32_t> out(p.pixels.size());
  for (auto _ : state) {
    memcpy(out.data(), p.pixels.data(), out.size() * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size() * 4));
}

void encodeBench(benchmark::State& state, size_t index) {
  TestPicture& p = pictures()[index];
  std::string epa, error;
  for (auto _ : state) {
    encodeEpa(p.pixels.data(), p.width, p.height, p.mode, &epa, &error);
    benchmark::DoNotOptimize(epa.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.pixels.size() * 4));
  state.counters["raw_bytes"] = double(p.pixels.size() * 4);
  state.counters["epa_bytes"] = double(epa.size());
  state.counters["png_bytes"] = double(p.png.size());
  state.counters["epa_per_png"] = double(epa.size()) / double(p.png.size());
}

void BM_DecodeScene1024x768Mode2(benchmark::State& s) { decodeBench(s, 0); }
void BM_UnpackScene1024x768Mode2(benchmark::State& s) { unpackBench(s, 0); }
void BM_CopyScene1024x768(benchmark::State& s) { copyBench(s, 0); }
void BM_DecodeDithered320x320Mode0(benchmark::State& s) { decodeBench(s, 1); }
void BM_CopyDithered320x320(benchmark::State& s) { copyBench(s, 1); }
void BM_DecodeGrainy640x480Mode1(benchmark::State& s) { decodeBench(s, 2); }
void BM_UnpackGrainy640x480Mode1(benchmark::State& s) { unpackBench(s, 2); }
void BM_DecodeSprite128x128Mode2(benchmark::State& s) { decodeBench(s, 3); }

// With --benchmark_repetitions, the fastest repetition beside mean and
// median: on a shared machine it is the figure least disturbed by others.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

#define DECODE_BENCHMARK(f) BENCHMARK(f)->ComputeStatistics("min", fastest)
DECODE_BENCHMARK(BM_DecodeScene1024x768Mode2);
DECODE_BENCHMARK(BM_UnpackScene1024x768Mode2);
DECODE_BENCHMARK(BM_CopyScene1024x768);
DECODE_BENCHMARK(BM_DecodeDithered320x320Mode0);
DECODE_BENCHMARK(BM_CopyDithered320x320);
DECODE_BENCHMARK(BM_DecodeGrainy640x480Mode1);
DECODE_BENCHMARK(BM_UnpackGrainy640x480Mode1);
DECODE_BENCHMARK(BM_DecodeSprite128x128Mode2);
// Each of the decompressor's paths on the two pictures of the goals.
BENCHMARK_CAPTURE(unpackBench, scene_plain, 0, kPathPlain)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(unpackBench, scene_sse2, 0, kPathSse2)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(unpackBench, scene_avx2, 0, kPathAvx2)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(unpackBench, grainy_plain, 2, kPathPlain)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(unpackBench, grainy_sse2, 2, kPathSse2)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(unpackBench, grainy_avx2, 2, kPathAvx2)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(encodeBench, scene_1024x768_mode2, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeBench, dithered_320x320_mode0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeBench, grainy_640x480_mode1, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeBench, sprite_128x128_mode2, 3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
