// Blending a full-screen picture into a 1920 x 1080 surface, next to a plain
// copy of the same bytes for scale. items_per_second are pixels per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/blit.h"
#include "gfx/surface.h"
#include "platform/cpu.h"

namespace {

const int32_t kWidth = 1920, kHeight = 1080;
const size_t kPixels = size_t(kWidth) * kHeight;

struct Frame {
  std::vector<uint32_t> source, destination;
  Frame() : source(kPixels), destination(kPixels) {
    std::mt19937 rng(1);
    for (uint32_t& p : source) p = rng();
    for (uint32_t& p : destination) p = rng();
  }
};

Frame& frame() {
  static Frame f;
  return f;
}

typedef void (*RowBlender)(const uint8_t*, uint8_t*, int32_t, int32_t, int32_t, int32_t);

void blendFrame(benchmark::State& state, RowBlender blend) {
  Frame& f = frame();
  // Bottom-up like a surface: start at the last memory row and go down.
  const uint8_t* s = reinterpret_cast<const uint8_t*>(&f.source[kPixels - kWidth]);
  uint8_t* d = reinterpret_cast<uint8_t*>(&f.destination[kPixels - kWidth]);
  for (auto _ : state) {
    blend(s, d, kWidth, kHeight, kWidth * 4, kWidth * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kPixels));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPixels) * 4);
}

void BM_BlendRowsExact(benchmark::State& state) { blendFrame(state, blendRowsExact); }
void BM_BlendRowsPacked(benchmark::State& state) { blendFrame(state, blendRowsPacked); }
void BM_BlendRowsPackedScalar(benchmark::State& state) {
  blendFrame(state, blendRowsPackedScalar);
}

// One path of platform/cpu.h, of the exact or the packed blend.
void blendPath(benchmark::State& state, bool exact, int path) {
  if (!cpuPathAvailable(path)) return state.SkipWithError("not on this processor");
  Frame& f = frame();
  const uint8_t* s = reinterpret_cast<const uint8_t*>(&f.source[kPixels - kWidth]);
  uint8_t* d = reinterpret_cast<uint8_t*>(&f.destination[kPixels - kWidth]);
  for (auto _ : state) {
    (exact ? blendRowsExactOn : blendRowsPackedOn)(path, s, d, kWidth, kHeight, kWidth * 4,
                                                   kWidth * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kPixels));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPixels) * 4);
}

void BM_CopyFrame(benchmark::State& state) {
  Frame& f = frame();
  for (auto _ : state) {
    memcpy(f.destination.data(), f.source.data(), kPixels * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kPixels));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPixels) * 4);
}

// With --benchmark_repetitions, the fastest repetition beside mean and
// median: on a shared machine it is the figure least disturbed by others.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

#define BLEND_BENCHMARK(f) \
  BENCHMARK(f)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest)
BLEND_BENCHMARK(BM_CopyFrame);
BLEND_BENCHMARK(BM_BlendRowsExact);
BLEND_BENCHMARK(BM_BlendRowsPacked);
BLEND_BENCHMARK(BM_BlendRowsPackedScalar);
#define BLEND_PATH(name, exact, path)                                                   \
  BENCHMARK_CAPTURE(blendPath, name, exact, path)->Unit(benchmark::kMillisecond)->ComputeStatistics( \
      "min", fastest)
BLEND_PATH(exact_plain, true, kPathPlain);
BLEND_PATH(exact_sse2, true, kPathSse2);
BLEND_PATH(exact_avx2, true, kPathAvx2);
BLEND_PATH(packed_sse2, false, kPathSse2);
BLEND_PATH(packed_avx2, false, kPathAvx2);

}  // namespace

BENCHMARK_MAIN();
