// The copy walk over a 200 MB file set on the local disk, beside a bare loop
// of 4096-byte reads and writes over the same files and beside `cp -r`. The
// file set is made under /tmp when the program starts and removed at the end;
// the ratios to the bare loop and to cp are printed after the table.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "install/copy_walk.h"
#include "install/install_path.h"
#include "platform/platform.h"
#include "script/config.h"

namespace {

std::string workFolder;  // holds disc/ and the destination
std::vector<std::string> names;
uint64_t totalBytes = 0;
std::vector<double> seconds[3];  // per iteration: walk, bare loop, cp

std::string discFolder() { return workFolder + "/disc"; }
std::string destination() { return workFolder + "/Game"; }

void run(const std::string& command) {
  if (system(command.c_str()) != 0) {
    fprintf(stderr, "failed: %s\n", command.c_str());
    exit(1);
  }
}

void writeData(const std::string& path, size_t size, unsigned seed) {
  std::vector<unsigned char> data(size);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; i++) {
    x = x * 1103515245u + 12345u;
    data[i] = static_cast<unsigned char>(x >> 24);
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fwrite(data.data(), 1, size, f) != size || fclose(f) != 0) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    exit(1);
  }
}

// 20 files of 8 MB and 400 of 100 KB: 200 MB, large files and many small ones.
void makeFileSet() {
  char tmpl[] = "/tmp/ksetup-bench-copy-XXXXXX";
  if (!mkdtemp(tmpl)) exit(1);
  workFolder = tmpl;
  run("mkdir '" + discFolder() + "'");
  for (int i = 0; i < 420; i++) {
    char name[32];
    snprintf(name, sizeof name, i < 20 ? "BIG%02d.BIN" : "SMALL%03d.DAT", i);
    size_t size = i < 20 ? 8u << 20 : 100u << 10;
    writeData(discFolder() + "/" + name, size, static_cast<unsigned>(i));
    names.push_back(name);
    totalBytes += size;
  }
  for (size_t i = 0; i < names.size(); i++) {
    config.fileList[0][i] = static_cast<char*>(heapAlloc(kPathSize));
    snprintf(config.fileList[0][i], kPathSize, "%s", names[i].c_str());
    config.fileOption[0][i] = 8;
  }
}

void freshDestination() {
  run("rm -rf '" + destination() + "' && mkdir '" + destination() + "'");
}

int keepGoing(void*) { return kCopyContinue; }
void ignorePost(void*, uint32_t, int, int) {}

double elapsed(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void finish(benchmark::State& state, int which, double time) {
  state.SetIterationTime(time);
  seconds[which].push_back(time);
}

void BM_CopyWalk(benchmark::State& state) {
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  const std::string folder = destination(), root = discFolder() + "\\";
  for (auto _ : state) {
    freshDestination();
    CopyJob job = {0, 8, folder.c_str(), root.c_str(), &bytesRead, &bytesWritten,
                   keepGoing, ignorePost, nullptr, nullptr};
    auto start = std::chrono::steady_clock::now();
    if (copyDisc(&job) != kCopyDone) state.SkipWithError("copy failed");
    finish(state, 0, elapsed(start));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

void BM_BareLoop(benchmark::State& state) {
  std::vector<char> buffer(4096);
  for (auto _ : state) {
    freshDestination();
    auto start = std::chrono::steady_clock::now();
    for (const std::string& name : names) {
      int in = open((discFolder() + "/" + name).c_str(), O_RDONLY);
      int out = open((destination() + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      ssize_t n;
      while ((n = read(in, buffer.data(), buffer.size())) > 0)
        if (write(out, buffer.data(), static_cast<size_t>(n)) != n) state.SkipWithError("write");
      close(out);
      close(in);
    }
    finish(state, 1, elapsed(start));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

void BM_CpR(benchmark::State& state) {
  for (auto _ : state) {
    run("rm -rf '" + destination() + "'");
    auto start = std::chrono::steady_clock::now();
    run("cp -r '" + discFolder() + "' '" + destination() + "'");
    finish(state, 2, elapsed(start));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

BENCHMARK(BM_CopyWalk)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLoop)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpR)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  makeFileSet();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double walk = median(seconds[0]), bare = median(seconds[1]), cp = median(seconds[2]);
  if (walk > 0 && bare > 0 && cp > 0) {
    printf("\n%.0f MB in %zu files, median of each:\n", totalBytes / 1048576.0, names.size());
    printf("  copy walk %.3f s, bare 4096-byte loop %.3f s, cp -r %.3f s\n", walk, bare, cp);
    printf("  walk / bare loop = %.2f   walk / cp -r = %.2f\n", walk / bare, walk / cp);
  }
  for (char*& entry : config.fileList[0]) {
    heapFree(entry);
    entry = nullptr;
  }
  run("rm -rf '" + workFolder + "'");
  return 0;
}
