// Replays saved inputs through a fuzz target without libFuzzer, for builds it
// does not support (32-bit x86, GCC): every file named on the command line,
// or found in a folder named there, goes once through LLVMFuzzerTestOneInput
// in a heap block of exactly its size, as libFuzzer passes it, so that a
// sanitizer sees a read past its end. Prints the count; no input is a
// failure, and a crash or sanitizer report ends the run.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replayFile(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  fclose(f);
  uint8_t* data = static_cast<uint8_t*>(malloc(bytes.empty() ? 1 : bytes.size()));
  if (!data) return false;
  if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
  LLVMFuzzerTestOneInput(data, bytes.size());
  free(data);
  return true;
}

// The files of a folder (not its subfolders), in name order.
std::vector<std::string> folderFiles(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return files;
  while (dirent* entry = readdir(dir)) {
    std::string path = folder + "/" + entry->d_name;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(path);
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned count = 0;
  for (int i = 1; i < argc; i++) {
    struct stat st;
    if (stat(argv[i], &st) != 0) {
      fprintf(stderr, "%s: not found\n", argv[i]);
      return 1;
    }
    std::vector<std::string> files =
        S_ISDIR(st.st_mode) ? folderFiles(argv[i]) : std::vector<std::string>{argv[i]};
    for (const std::string& file : files) {
      if (!replayFile(file)) {
        fprintf(stderr, "%s: cannot read\n", file.c_str());
        return 1;
      }
      count++;
    }
  }
  printf("%u inputs replayed\n", count);
  return count > 0 ? 0 : 1;
}
