// pak list | extract | create
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/pack.h"
#include "tools/lib/pak_writer.h"
#include "tools/tool.h"

static const char kPakUsage[] =
    "pak list ARCHIVE | pak extract ARCHIVE OUTDIR [MEMBER...] | "
    "pak create ARCHIVE [--short-names] FILE...";

static std::string baseName(const std::string& path) {
  size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A member name is written as OUTDIR/NAME only when it cannot lead elsewhere.
static bool safeMemberName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

static int pakList(const std::string& path) {
  std::string archive;
  if (!readWholeFile(path, &archive)) return failInput(path, strerror(errno));
  std::vector<PackEntry> entries;
  uint32_t dataStart;
  std::string error;
  if (!parsePack(archive, &entries, &dataStart, &error)) return failInput(path, error);
  for (const PackEntry& e : entries) printf("%s\t%u\t%u\n", e.name.c_str(), e.offset, e.size);
  return kExitOk;
}

static int extractOne(const std::string& archive, uint32_t dataStart, const PackEntry& e,
                      const std::string& path, const std::string& outDir) {
  if (!safeMemberName(e.name))
    return failInput(path, "member name '" + e.name + "' would leave " + outDir);
  std::string out = outDir + "/" + e.name;
  if (!writeWholeFile(out, archive.data() + dataStart + e.offset, e.size))
    return failInput(out, strerror(errno));
  return kExitOk;
}

static int pakExtract(const std::string& path, const std::string& outDir,
                      const std::vector<std::string>& wanted) {
  std::string archive;
  if (!readWholeFile(path, &archive)) return failInput(path, strerror(errno));
  std::vector<PackEntry> entries;
  uint32_t dataStart;
  std::string error;
  if (!parsePack(archive, &entries, &dataStart, &error)) return failInput(path, error);
  struct stat st;
  if (stat(outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return failInput(outDir, "not a folder");

  if (wanted.empty()) {
    for (const PackEntry& e : entries)
      if (int rc = extractOne(archive, dataStart, e, path, outDir)) return rc;
    return kExitOk;
  }
  for (const std::string& name : wanted) {
    // The same lookup as the program: base name after the last backslash,
    // letter case ignored, first match wins.
    FileRef file = fileOpenRead(path.c_str());
    PackHandle handle = {};
    handle.file = file;
    uint32_t size = file ? packFindMember(&handle, name.c_str()) : 0;
    fileClose(file);
    if (size == 0) return failInput(path, "no member named '" + name + "'");
    // The directory entry it found: of the entries with its data (several
    // may share the same bytes), the first whose name is the one asked for.
    size_t cut = name.find_last_of('\\');
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    const PackEntry* match = nullptr;
    for (const PackEntry& e : entries)
      if (dataStart + e.offset == handle.dataOffset && e.size == size &&
          strcasecmp(e.name.c_str(), base.c_str()) == 0) {
        match = &e;
        break;
      }
    if (!match) return failInput(path, "no member named '" + name + "'");
    if (int rc = extractOne(archive, dataStart, *match, path, outDir)) return rc;
  }
  return kExitOk;
}

static int pakCreate(const std::string& path, bool longNames, const std::vector<std::string>& files) {
  std::vector<PackMember> members;
  for (const std::string& f : files) {
    PackMember m;
    m.name = baseName(f);
    if (!readWholeFile(f, &m.data)) return failInput(f, strerror(errno));
    members.push_back(std::move(m));
  }
  std::string archive, error;
  if (!buildPack(members, longNames, &archive, &error)) return failInput(path, error);
  if (!writeWholeFile(path, archive.data(), archive.size())) return failInput(path, strerror(errno));
  return kExitOk;
}

int toolPak(int argc, char** argv) {
  if (argc < 1) return failUsage(kPakUsage);
  std::string verb = argv[0];
  if (verb == "list" && argc == 2) return pakList(argv[1]);
  if (verb == "extract" && argc >= 3)
    return pakExtract(argv[1], argv[2], std::vector<std::string>(argv + 3, argv + argc));
  if (verb == "create" && argc >= 2) {
    bool longNames = true;
    std::vector<std::string> files;
    for (int i = 2; i < argc; i++) {
      if (!strcmp(argv[i], "--short-names"))
        longNames = false;
      else
        files.push_back(argv[i]);
    }
    if (files.empty()) return failUsage(kPakUsage);
    return pakCreate(argv[1], longNames, files);
  }
  return failUsage(kPakUsage);
}
