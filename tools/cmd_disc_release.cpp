// disc build's release steps (the signed KSetup.exe, the fixed dates,
// SHA256SUMS) and disc verify DIR: what was shipped is what was built. Each
// image listed in DIR/SHA256SUMS must have its checksum there, and every file
// of every image must read back whole, as Windows would read it from the disc.
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
#include "tools/lib/progress.h"
#include "tools/tool.h"

namespace fs = std::filesystem;

static const char kVerifyUsage[] = "disc verify DIR  (the folder of the images and SHA256SUMS)";

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
  if (!parseChecksums(text, &sums, &badLine))
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
    std::string problem = readImageBack(path, &files, &bytes);
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

int signDiscProgram(const ReleaseOptions& options, const std::string& exe, const std::string& title,
                    ScratchFolder* scratch, std::string* signedPath) {
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
    names.reserve(images.size());
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
    if (fs::exists(file) && !setTreeDate(file, options.date, &reason))
      return failInput(out, reason);
  return kExitOk;
}
