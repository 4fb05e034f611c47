#include "tests/unit/test_util.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDir::TempDir(bool enter) {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/ksetup-test-XXXXXX";
  char* made = mkdtemp(&tmpl[0]);
  if (!made) abort();
  path = made;
  if (enter) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) previous = cwd;
    if (chdir(path.c_str()) != 0) abort();
  }
}

TempDir::~TempDir() {
  if (!previous.empty() && chdir(previous.c_str()) != 0) abort();
  std::string cmd = "rm -rf '" + path + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

void writeFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!f) abort();
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string bytes(size_t n, unsigned seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; i++) s[i] = char((i * 131 + seed * 7 + i / 251) & 255);
  return s;
}

std::map<std::string, std::string> filesBelow(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  std::error_code ec;
  if (!fs::exists(folder, ec)) return files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file())
      files[fs::relative(e.path(), folder).string()] = readFile(e.path().string());
  return files;
}

static std::string slurpAndRemove(const std::string& path) {
  std::string s = readFile(path);
  unlink(path.c_str());
  return s;
}

int runTool(const std::string& args, std::string* out, std::string* err) {
  TempDir capture;
  std::string cmd = std::string("'") + KSETUP_TOOL + "' " + args + " >'" + capture.file("out") +
                    "' 2>'" + capture.file("err") + "'";
  int status = system(cmd.c_str());
  std::string o = slurpAndRemove(capture.file("out")), e = slurpAndRemove(capture.file("err"));
  if (out) *out = o;
  if (err) *err = e;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
