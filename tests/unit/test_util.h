// Helpers for the unit tests: a fresh temporary folder per test, writing and
// reading files, running ksetup-tool.
#pragma once

#include <map>
#include <string>

// A new empty folder under the system's temporary folder, removed with its
// contents when the object goes away. Holds the test's current folder while
// it lives when `enter` is set (restored afterwards).
struct TempDir {
  explicit TempDir(bool enter = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;  // no trailing slash
  std::string previous;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

void writeFile(const std::string& path, const std::string& data);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// Every file below `folder` (relative paths, '/' separators) with its bytes;
// empty when there is no such folder.
std::map<std::string, std::string> filesBelow(const std::string& folder);

// `n` bytes of a pattern that differs with `seed`, for file contents.
std::string bytes(size_t n, unsigned seed);

// `text` in single quotes for the shell command line runTool builds.
inline std::string quote(const std::string& text) { return "'" + text + "'"; }

// Runs ksetup-tool with the given argument text (shell-quoted by the caller);
// returns its exit code and fills stdout and stderr.
int runTool(const std::string& args, std::string* out = nullptr, std::string* err = nullptr);
