// disc build's release steps (the signed KSetup.exe, the fixed dates,
// SHA256SUMS) and disc verify DIR: what was shipped is what was built. Each
// image listed in DIR/SHA256SUMS must have its checksum there, and every file
// of every image must read back whole, as Windows would read it from the disc.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/cmd_disc_release.h"
#include "tools/lib/host_files.h"
#include "tools/lib/iso_image.h"
#include "tools/lib/progress.h"
#include "tools/tool.h"

namespace fs = std::filesystem;

static const char kVerifyUsage[] = "disc verify DIR  (the folder of the images and SHA256SUMS)";

// The lines of SHA256SUMS: "HEX  NAME" or "HEX *NAME". False with the line
// number of one that is neither.
static bool readChecksums(const std::string& text, std::vector<std::pair<std::string, std::string>>* sums,
                          int* badLine) {
  int line = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string l = text.substr(at, end - at);
    at = end + 1;
    line++;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (l.empty()) continue;
    bool hex = l.size() > 66 && l.find_first_not_of("0123456789abcdefABCDEF") == 64 && l[64] == ' ' &&
               (l[65] == ' ' || l[65] == '*');
    if (!hex || l.find('/', 66) != std::string::npos) {
      *badLine = line;
      return false;
    }
    std::string sum = l.substr(0, 64);
    for (char& c : sum) c = char(tolower(static_cast<unsigned char>(c)));
    sums->push_back({sum, l.substr(66)});
  }
  return true;
}

// Reads every file of the image to its end; the first one that does not
// read whole, or empty. *files and *bytes count what was read.
static std::string readBack(const std::string& path, size_t* files, uint64_t* bytes) {
  std::string why;
  IsoReader* image = openIsoImage(path, &why);
  if (!image) return why;
  std::vector<char> buffer(1 << 20);
  std::string problem;
  for (const IsoEntry& e : listIsoTree(image)) {
    if (e.isFolder) continue;
    IsoFileReader* file = openIsoFile(image, e.name);
    if (!file) {
      problem = e.name + ": cannot be opened in the image";
      break;
    }
    uint64_t read = 0;
    uint32_t got = 0;
    bool ok = true;
    while ((ok = readIsoFile(file, buffer.data(), uint32_t(buffer.size()), &got)) && got > 0) read += got;
    closeIsoFile(file);
    if (!ok || read != e.size) {
      problem = e.name + ": " + (ok ? "reads back " + std::to_string(read) + " of its " + std::to_string(e.size) + " bytes"
                                     : "a read error in the image");
      break;
    }
    (*files)++;
    *bytes += read;
  }
  closeIsoImage(image);
  return problem;
}

int discVerify(int argc, char** argv) {
  if (argc == 1 && (!strcmp(argv[0], "--help") || !strcmp(argv[0], "-h"))) {
    printf("usage: ksetup-tool %s\n", kVerifyUsage);
    return kExitOk;
  }
  if (argc != 1 || argv[0][0] == '-') return failUsage(kVerifyUsage);
  std::string dir = argv[0];
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::string listName = dir + "/SHA256SUMS", text;
  if (!readWholeFile(listName, &text))
    return failInput(listName, std::string(strerror(errno)) + " (disc build --image writes it)");
  std::vector<std::pair<std::string, std::string>> sums;
  int badLine = 0;
  if (!readChecksums(text, &sums, &badLine))
    return failInput(listName + ":" + std::to_string(badLine), "not a line of sha256sum's format");
  if (sums.empty()) return failInput(listName, "lists no image");
  int failures = 0;
  for (const auto& s : sums) {
    std::string path = dir + "/" + s.second, why;
    std::string sum = sha256OfFile(path, &why);
    if (sum.empty()) {
      failInput(path, why);
      failures++;
      continue;
    }
    if (sum != s.first) {
      failInput(path, "its SHA-256 differs from SHA256SUMS: the image changed since it was built");
      failures++;
      continue;
    }
    size_t files = 0;
    uint64_t bytes = 0;
    std::string problem = readBack(path, &files, &bytes);
    if (!problem.empty()) {
      failInput(path, problem);
      failures++;
      continue;
    }
    printf("%s: OK: SHA-256 matches, %zu files read back (%s)\n", path.c_str(), files,
           megabytes(bytes).c_str());
    fflush(stdout);
  }
  return failures ? kExitBadInput : kExitOk;
}

int signDiscProgram(const ReleaseOptions& options, const std::string& exe,
                    const std::string& title, ScratchFolder* scratch, std::string* signedPath) {
  SignFailure failure;
  if (!checkSigning(options.sign, int64_t(time(nullptr)), &failure))
    return failInput(failure.file, failure.reason);
  std::string reason;
  if (!scratch->make(&reason)) return failInput("KSetup.exe", "no scratch folder: " + reason);
  *signedPath = scratch->path + "/KSetup.exe";
  std::string command;
  if (!signProgram(options.sign, exe, *signedPath, scratch->path, title, options.date, &command,
                   &failure))
    return failInput(failure.file, failure.reason);
  printf("KSetup.exe signed and verified: %s\n", command.c_str());
  fflush(stdout);
  return kExitOk;
}

int finishRelease(const ReleaseOptions& options, const std::string& out,
                  const std::vector<std::string>& discFolders,
                  const std::vector<std::string>& images) {
  std::string reason;
  if (!images.empty()) {
    std::vector<std::string> names;
    for (const std::string& image : images) names.push_back(fs::path(image).filename().string());
    if (!writeChecksums(out, names, &reason)) return failInput(out, reason);
    printf("%s/SHA256SUMS: %zu image%s\n", out.c_str(), names.size(), names.size() == 1 ? "" : "s");
  }
  if (options.date < 0) return kExitOk;
  std::vector<std::string> files = images;
  files.push_back(out + "/.ksetup-disc-build");
  if (!images.empty()) files.push_back(out + "/SHA256SUMS");
  for (const std::string& folder : discFolders)
    if (!setTreeDate(folder, options.date, &reason)) return failInput(out, reason);
  for (const std::string& file : files)
    if (fs::exists(file) && !setTreeDate(file, options.date, &reason)) return failInput(out, reason);
  return kExitOk;
}
