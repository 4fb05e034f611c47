#include "tools/lib/disc_layout.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "install/install_path.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "script/config.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/host_files.h"
#include "tools/lib/image_drive.h"
#include "tools/lib/iso_image.h"
#include "tools/lib/pak_writer.h"
#include "tools/lib/png_io.h"

namespace fs = std::filesystem;

static bool fail(Failure* failure, const std::string& file, const std::string& reason) {
  *failure = {file, reason};
  return false;
}

// `path` with its folders spelled as the disc has them already: names that
// differ in case only are one folder on Windows.
static std::string sameFolders(Disc* disc, const std::string& path) {
  std::string out;
  size_t start = 0;
  for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
    std::string key = pathKey(path.substr(0, slash));
    out = disc->folders.emplace(key, out + path.substr(start, slash - start)).first->second + "/";
  }
  return out + path.substr(start);
}

bool addDiscFile(Disc* disc, DiscFile file, std::string* reason) {
  file.path = sameFolders(disc, file.path);
  std::string key = pathKey(file.path);
  auto it = disc->byKey.find(key);
  if (it == disc->byKey.end()) {
    disc->byKey.emplace(key, disc->files.size());
    disc->files.push_back(file);
    return true;
  }
  const DiscFile& there = disc->files[it->second];
  if (!file.source.empty() && there.source == file.source) return true;
  *reason = "it goes to " + file.path + ", where " + there.from + " goes too";
  return false;
}

// ---- Pictures ---------------------------------------------------------------------------

// The pictures the program loads: the launcher's and the options dialog's,
// then the scene's in the order of its lines, each once.
static std::vector<std::string> pictureNames() {
  std::vector<std::string> names = {"TITLE.EPA", "LOGO.EPA"};
  std::set<std::string> seen = {pathKey("TITLE.EPA"), pathKey("LOGO.EPA")};
  for (int slot = 0; slot < kSceneSlots && config.scene[slot].type != kSceneFree; slot++) {
    const char* name = config.scene[slot].name;
    if (name[0] && seen.insert(pathKey(shownText(name))).second) names.push_back(name);
  }
  return names;
}

// Instdata.pak from pictures/: NAME.png encoded for NAME.EPA, else the file
// of the picture's own name as it is.
static bool buildArchive(const Project& p, const std::vector<std::string>& names,
                         std::string* archive, Warnings* warnings, Failure* failure) {
  const std::string folder = p.folder + "/pictures";
  std::map<std::string, std::string> present;  // pathKey -> file name
  for (const std::string& f : regularFilesBelow(folder))
    if (f.find('/') == std::string::npos) present[pathKey(f)] = f;
  std::set<std::string> used;
  std::vector<PackMember> members;
  for (const std::string& name : names) {
    std::string shown = shownText(name.c_str());
    std::string stem = shown;
    bool epa = stem.size() > 4 && pathKey(stem.substr(stem.size() - 4)) == ".EPA";
    if (epa) stem.resize(stem.size() - 4);
    auto png = epa ? present.find(pathKey(stem + ".png")) : present.end();
    auto same = present.find(pathKey(shown));
    std::string data, error;
    if (png != present.end()) {
      std::string path = folder + "/" + png->second;
      std::vector<uint32_t> pixels;
      uint32_t width = 0, height = 0;
      if (!readPng(path, &pixels, &width, &height, &error)) return fail(failure, path, error);
      auto mode = p.modes.find(pathKey(shown));
      int m = mode != p.modes.end() ? mode->second : chooseEpaMode(pixels.data(), width, height);
      if (!encodeEpa(pixels.data(), width, height, m, &data, &error))
        return fail(failure, path, "EPA mode " + std::to_string(m) + ": " + error);
      used.insert(png->first);
    } else if (same != present.end()) {
      std::string path = folder + "/" + same->second;
      if (!readWholeFile(path, &data)) return fail(failure, path, strerror(errno));
      used.insert(same->first);
    } else {
      return fail(failure, folder + "/" + (epa ? stem + ".png" : shown),
                  "missing: the script shows the picture " + shown);
    }
    members.push_back({name, data});
  }
  for (const auto& pic : present)
    if (!used.count(pic.first))
      warnings->push_back(
          {folder + "/" + pic.second, "no picture of the script is made from it; left out"});
  bool longNames = false;
  for (const PackMember& m : members) longNames = longNames || m.name.size() > 15;
  std::string error;
  if (!buildPack(members, longNames, archive, &error)) return fail(failure, folder, error);
  return true;
}

// ---- Laying out the discs --------------------------------------------------------------------

// files/ before the lists are looked up in it: two files that are one name
// on Windows would be picked by the order of the host's folder, so they are
// refused; a name without a code page 932 form no list can name.
static bool checkFilesFolder(const Project& p, std::set<std::string>* unnamed, Warnings* warnings,
                             Failure* failure) {
  std::map<std::string, std::string> byKey;  // pathKey of the Windows name -> host path
  for (const std::string& path : regularFilesBelow(p.folder + "/files")) {
    std::string reading;
    if (!windowsReading(path, &reading)) {
      unnamed->insert(path);
      warnings->push_back({p.folder + "/files/" + path,
                           "code page 932, the script's text, cannot spell its name, so no list "
                           "can name it; left off the discs"});
      continue;
    }
    auto it = byKey.emplace(pathKey(reading), path);
    if (!it.second)
      return fail(failure, p.folder + "/files/" + path,
                  "one name on Windows with files/" + it.first->second +
                      " (letter case, or characters code page 932 spells alike): keep one");
  }
  return true;
}

// Every file the lists of the discs name, from files/.
static bool layOutLists(const Project& p, DiscSet* set, Failure* failure) {
  const std::string root = std::string(1, kFilesDrive) + ":\\";
  const std::string files = p.folder + "/files";
  for (size_t d = 0; d < set->discs.size(); d++) {
    for (int i = 0; i < kFilesPerDisc && config.fileList[d][i] && config.fileList[d][i][0]; i++) {
      const char* entry = config.fileList[d][i];
      std::string what = "disc " + std::to_string(d + 1) + " entry \"" + shownText(entry) + "\"";
      if (!entryIsSafe(entry))
        return fail(failure, p.scriptName, what + " reaches outside the install folder");
      std::vector<std::string> paths;
      uint64_t bytes = 0;
      if (entryFiles(root, entry, &bytes, nullptr, &paths) == 0)
        return fail(failure, files + "/" + discPathOf(entry),
                    std::string(entryIsPattern(entry) ? "no file matches " : "missing: ") +
                        "the file lists name it (" + what + ")");
      for (const std::string& path : paths) {
        DiscFile f;
        f.source = hostPath((root + path).c_str());
        // Named on the disc as the host spells it, in the characters
        // Windows reads from its code page 932 form (〜 U+301C is read as
        // ～ U+FF5E), as the script names it.
        std::string host = f.source.substr(files.size() + 1);
        if (!windowsReading(host, &f.path)) f.path = host;
        uint64_t size = 0;
        discEntryKind(root + path, &size);
        f.size = size;
        f.from = "files/" + host;
        std::string reason;
        if (!addDiscFile(&set->discs[d], f, &reason)) return fail(failure, f.source, reason);
      }
    }
  }
  return true;
}

// PROJECT/discN/: the rest of each disc, as it is.
static bool layOutExtras(const Project& p, DiscSet* set, Warnings* warnings, Failure* failure) {
  size_t discCount = set->discs.size();
  for (int d = 0; d < kDiscs; d++) {
    std::string folder = p.folder + "/disc" + std::to_string(d + 1);
    if (!isFolder(folder)) continue;
    if (size_t(d) >= discCount) {
      warnings->push_back({folder, "the script has " + std::to_string(discCount) + " disc" +
                                       (discCount == 1 ? "" : "s") + " (DISCNUM); left out"});
      continue;
    }
    for (const std::string& path : regularFilesBelow(folder)) {
      DiscFile f;
      // As Windows will read it, when the name has a code page 932 form.
      if (!windowsReading(path, &f.path)) f.path = path;
      f.source = folder + "/" + path;
      std::error_code ec;
      f.size = fs::file_size(f.source, ec);
      f.from = "disc" + std::to_string(d + 1) + "/" + path;
      std::string reason;
      if (!addDiscFile(&set->discs[size_t(d)], f, &reason)) return fail(failure, f.source, reason);
    }
  }
  return true;
}

// A key file that no source gives is written: the title and the disc.
static void addKeyFiles(DiscSet* set) {
  for (size_t d = 0; d < set->discs.size(); d++) {
    if (!config.keyFile[d][0]) continue;
    DiscFile f;
    f.path = discPathOf(config.keyFile[d]);
    if (set->discs[d].byKey.count(pathKey(f.path))) continue;
    f.data = std::string(config.appliTitle) + " DISC " + std::to_string(d + 1) + "\r\n";
    f.size = f.data.size();
    f.from = "the key file";
    std::string unused;
    addDiscFile(&set->discs[d], f, &unused);
  }
}

// The number of the last line of the script that starts with `keyword`
// (which the loader reads last), or 0.
static int lineOf(const std::string& script, const std::string& keyword) {
  int found = 0, line = 1;
  for (size_t at = 0; at < script.size(); line++) {
    size_t end = script.find('\n', at);
    if (end == std::string::npos) end = script.size();
    if (script.compare(at, keyword.size(), keyword) == 0) {
      char next = at + keyword.size() < end ? script[at + keyword.size()] : ' ';
      if (!isalnum(static_cast<unsigned char>(next)) && next != '_') found = line;
    }
    at = end + 1;
  }
  return found;
}

// The volume label of each disc: DISCLABEL, else DISCNAME cut to fit, else
// DISCn.
static bool chooseLabels(const Project& p, bool image, DiscSet* set, Failure* failure) {
  for (size_t d = 0; d < set->discs.size(); d++) {
    std::string label = shownText(config.discLabel[d]);
    if (!label.empty()) {
      std::string problem = isoLabelProblem(label);
      int line = lineOf(p.script, "DISCLABEL");
      if (!problem.empty() && image)
        return fail(failure, p.scriptName + (line ? ":" + std::to_string(line) : ""),
                    "DISCLABEL item " + std::to_string(d + 1) + " \"" + label +
                        "\" cannot label the disc image: " + problem);
    } else {
      label = isoCutLabel(shownText(config.discName[d]));
      if (label.empty()) label = "DISC" + std::to_string(d + 1);
    }
    set->discs[d].label = label;
  }
  return true;
}

// Checks made before anything is written: names Windows can make, sizes a
// disc file can have, and with `image` the names an image must hold.
static bool checkDiscNames(const DiscSet& set, bool image, Failure* failure) {
  for (size_t d = 0; d < set.discs.size(); d++)
    for (const DiscFile& f : set.discs[d].files) {
      std::string cp932, problem, disc = "disc " + std::to_string(d + 1);
      if (utf8ToCp932(f.path.data(), f.path.size(), &cp932))
        problem = windowsNameProblem(cp932, false);
      if (!problem.empty())
        problem = disc + ": Windows cannot read it from the disc: " + problem;
      else if (f.size > 0xFFFFFFFFull)
        problem = disc + ": it is 4 GiB or larger, which no file of a disc can be";
      else if (image && !(problem = isoPathProblem(f.path)).empty())
        problem = disc + " image cannot hold it: " + problem;
      if (!problem.empty()) return fail(failure, f.source.empty() ? f.path : f.source, problem);
    }
  return true;
}

// ---- The two steps ----------------------------------------------------------------------

void abandonLayout() {
  releaseConfig();
  configInitialised = false;
}

// The script check's report of a script that does not load, from a copy in
// a private folder (the check enters it; the current folder is given back).
static bool reportScript(const Project& p, DiscSet* set, Failure* failure) {
  const char* tmp = getenv("TMPDIR");
  std::string stage = std::string(tmp && *tmp ? tmp : "/tmp") + "/ksetup-build-XXXXXX";
  if (!mkdtemp(&stage[0])) return fail(failure, p.scriptName, "the setup script does not load");
  writeWholeFile(stage + "/KSetup.ini", p.script.data(), p.script.size());
  CheckOptions options;
  options.dir = stage;
  options.shownScript = p.scriptName;
  std::error_code ec;
  fs::path current = fs::current_path(ec);
  checkScript(options, &set->scriptCheck);
  set->scriptFails = true;
  if (!current.empty()) fs::current_path(current, ec);
  fs::remove_all(stage, ec);
  return false;
}

bool beginLayout(const Project& project, const std::string& exe, DiscSet* set, Warnings* warnings,
                 Failure* failure) {
  releaseConfig();
  configInitialised = false;
  releaseConfig();
  if (!loadConfigText(project.script.c_str(), nullptr)) {
    abandonLayout();
    return reportScript(project, set, failure);
  }
  size_t discCount = config.discNum < uint32_t(kDiscs) ? config.discNum : uint32_t(kDiscs);
  set->discs.assign(discCount, Disc());
  set->title = shownText(config.appliTitle);

  bool ok = checkFilesFolder(project, &set->unnamed, warnings, failure) &&
            buildArchive(project, pictureNames(), &set->archive, warnings, failure);
  if (ok) {
    std::string exeData;
    if (!readWholeFile(exe, &exeData))
      ok = fail(failure, exe, strerror(errno));
    else if (exeData.compare(0, 2, "MZ") != 0)
      ok = fail(failure, exe, "not a Windows program");
  }
  if (!ok) abandonLayout();
  return ok;
}

bool finishLayout(const Project& project, const std::string& program, bool image, DiscSet* set,
                  Warnings* warnings, Failure* failure) {
  std::error_code ec;
  uint64_t programSize = fs::file_size(program, ec);
  Disc& one = set->discs[0];
  std::string unused;
  addDiscFile(&one, {"KSetup.exe", program, "", programSize, "KSetup.exe (--exe)"}, &unused);
  addDiscFile(&one, {"KSetup.ini", "", project.script, project.script.size(), "the setup script"},
              &unused);
  addDiscFile(&one,
              {"Instdata.pak", "", set->archive, set->archive.size(), "the pictures' archive"},
              &unused);
  bool ok = layOutLists(project, set, failure) && layOutExtras(project, set, warnings, failure);
  if (ok) addKeyFiles(set);
  if (ok) ok = chooseLabels(project, image, set, failure);
  abandonLayout();
  if (ok) ok = checkDiscNames(*set, image, failure);
  if (!ok) return false;

  // Files of files/ that go on no disc are most likely forgotten in a list.
  std::set<std::string> placed;
  for (const Disc& disc : set->discs)
    for (const DiscFile& f : disc.files) placed.insert(f.source);
  std::vector<std::string> left;
  for (const std::string& f : regularFilesBelow(project.folder + "/files"))
    if (!placed.count(project.folder + "/files/" + f) && !set->unnamed.count(f)) left.push_back(f);
  if (!left.empty())
    warnings->push_back({project.folder + "/files",
                         std::to_string(left.size()) + " file" + (left.size() == 1 ? "" : "s") +
                             " no list names, left off the discs: " + left[0] +
                             (left.size() > 1 ? ", ..." : "")});
  return true;
}

bool mergeDiscs(DiscSet* set, const std::string& folder, Failure* failure) {
  Disc merged;
  for (size_t d = 0; d < set->discs.size(); d++)
    for (const DiscFile& f : set->discs[d].files) {
      std::string reason;
      if (!addDiscFile(&merged, f, &reason))
        return fail(
            failure, folder,
            "disc " + std::to_string(d + 1) + " cannot be merged: " + f.from + ": " + reason);
    }
  set->discs.assign(1, merged);
  return true;
}
