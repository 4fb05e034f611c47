// disc build | disc list: a game's disc set, and an image of each disc, from
// a project folder in one command; the files of an image as Windows sees
// them.
//
// A project:
//   PROJECT/KSetup.ini     the setup script, UTF-8 (made code page 932 with CR LF
//                          line ends) or code page 932 (taken as it is);
//                          "{size PATH}" becomes the size of PATH in files/
//   PROJECT/pictures/      NAME.png for every NAME.EPA the script names (made
//                          EPA), or the picture itself under its own name
//   PROJECT/files/         the game's files as they are installed: every file
//                          the lists name, by the path they name it
//   PROJECT/discN/         optional: anything else disc N holds, as it is (key
//                          files, the DirectX setup, a manual, autorun.inf)
//   PROJECT/project.ini    optional: EPAMODE NAME.EPA = 0|1|2
//
// The build checks everything it can before it writes: a missing picture or
// file, a name an image cannot hold, a clash between sources. Then it writes
// OUT/discN, runs the script check over them and, with --image, writes
// OUT/discN.iso.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "install/install_path.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "platform/text.h"
#include "script/config.h"
#include "tools/cmd_disc_release.h"
#include "tools/lib/disc_release.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/image_drive.h"
#include "tools/lib/iso_image.h"
#include "tools/lib/pak_writer.h"
#include "tools/lib/png_io.h"
#include "tools/lib/progress.h"
#include "tools/lib/script_check.h"
#include "tools/tool.h"

namespace fs = std::filesystem;

static const char kDiscUsage[] =
    "disc build PROJECT --out DIR [--image | --merged] [--exe KSetup.exe] [signing] | disc verify DIR | "
    "disc list IMAGE  (disc help for more)";

static const char kDiscHelp[] =
    "usage: ksetup-tool disc build PROJECT --out DIR [--image | --merged] [--exe KSetup.exe]\n"
    "                  [--sign-pkcs12 FILE | --sign-cert CERT.pem --sign-key KEY.pem]\n"
    "                  [--sign-password-file FILE] [--timestamp URL]\n"
    "       ksetup-tool disc verify DIR\n"
    "       ksetup-tool disc list IMAGE\n"
    "\n"
    "disc build makes a game's disc set from a project folder:\n"
    "  PROJECT/KSetup.ini     the setup script, UTF-8 or code page 932; every\n"
    "                         {size PATH} becomes the size of PATH in files/ (a\n"
    "                         pattern: the sum), outside comment lines\n"
    "  PROJECT/pictures/      NAME.png for every NAME.EPA the script names\n"
    "                         (TITLE.EPA, LOGO.EPA, the scene), or the picture\n"
    "                         itself under its own name\n"
    "  PROJECT/files/         the game's files as installed: every file the lists\n"
    "                         name, by the path they name it\n"
    "  PROJECT/discN/         optional: anything else disc N holds, as it is\n"
    "  PROJECT/project.ini    optional: EPAMODE NAME.EPA = 0|1|2 (else the\n"
    "                         smallest exact mode, as epa encode chooses);\n"
    "                         DATE = YYYY-MM-DD [HH:MM:SS]; SIGNPKCS12, SIGNCERT,\n"
    "                         SIGNKEY, SIGNPASSWORDFILE, TIMESTAMP = as the options\n"
    "It writes DIR/disc1 ... DIR/discN: on disc 1 KSetup.exe (--exe; else\n"
    "KSetup.exe beside the tool, else the installed win32 build in\n"
    "../share/ksetup/win32 from the tool's folder), KSetup.ini and Instdata.pak\n"
    "with the pictures; on each disc\n"
    "its listed files, its PROJECT/discN files and its KEYFILE (written when\n"
    "the project has none). Then it runs script check over the discs and\n"
    "fails on its errors. --image also writes DIR/disc1.iso ... DIR/discN.iso:\n"
    "ISO 9660 with Joliet names (what Windows reads) and Rock Ridge, labelled\n"
    "by DISCLABEL (else by DISCNAME, cut to 16 characters), disc 1 with an\n"
    "autorun.inf that starts KSetup.exe (unless PROJECT/disc1 holds one).\n"
    "--merged writes one folder, DIR/merged, instead: every disc's files and\n"
    "key files together, for a download or a copy on a hard disk (KSetup.exe\n"
    "started from it finds every disc there); a path two discs both hold stops\n"
    "the build.\n"
    "A DIR/discN (or DIR/merged) folder is replaced only when disc build wrote\n"
    "it. --image also writes DIR/SHA256SUMS (sha256sum -c reads it).\n"
    "--sign-pkcs12 FILE, or --sign-cert CERT.pem with --sign-key KEY.pem, signs\n"
    "disc 1's KSetup.exe with osslsigncode (Authenticode, SHA-256) and verifies\n"
    "it; the password comes from --sign-password-file FILE (its first line) or\n"
    "KSETUP_SIGN_PASSWORD. --timestamp URL adds an RFC 3161 time stamp.\n"
    "With DATE in project.ini or SOURCE_DATE_EPOCH every file, folder and image\n"
    "carries that date: two builds of the same project are byte-identical.\n"
    "\n"
    "disc verify DIR checks the images of DIR against DIR/SHA256SUMS and reads\n"
    "every file of every image back.\n"
    "disc list IMAGE prints the image's label and every folder and file with\n"
    "its size, by the names Windows sees.\n";

// The drive the project's files/ folder stands for, so that the script's
// names are found there as on a disc.
static const char kFilesDrive = 'P';
// What a 700 MB CD-R holds.
static const uint64_t kCdBytes = 737280000ull;
// Left in DIR by a build: its disc folders may be replaced by the next.
static const char kStampName[] = ".ksetup-disc-build";

// ---- Names -----------------------------------------------------------------------------

// A disc path (UTF-8) for comparing names as Windows does (the path itself
// when it has no code page 932 form).
static std::string pathKey(const std::string& utf8) {
  std::string cp932;
  return utf8ToCp932(utf8.data(), utf8.size(), &cp932) ? comparable(cp932) : utf8;
}

// A script path (code page 932, backslashes) as a disc path (UTF-8, '/').
static std::string discPathOf(const std::string& cp932) {
  std::string out;
  for (const char* p = cp932.c_str(); *p;) {
    size_t length = sjisPartLength(p, "\\");
    if (length > 0) out += (out.empty() ? "" : "/") + cp932ToUtf8(p, length);
    p += length;
    if (*p) p++;
  }
  return out;
}

static std::string shownText(const char* cp932) { return cp932ToUtf8(cp932, strlen(cp932)); }

// ---- The project ------------------------------------------------------------------------

// One file of a disc: copied from `source`, or written from `data`.
struct DiscFile {
  std::string path;    // on the disc: UTF-8, '/' between parts
  std::string source;  // host file, or empty
  std::string data;
  uint64_t size = 0;
  std::string from;  // where it comes from, for messages
};

struct Disc {
  std::vector<DiscFile> files;
  std::map<std::string, size_t> byKey;         // pathKey -> index
  std::map<std::string, std::string> folders;  // pathKey -> the folder's path on the disc
  std::string label;
};

struct Build {
  std::string project, out, exe;
  bool exeGiven = false;  // --exe, else the default
  bool image = false;
  bool merged = false;  // --merged: one folder for every disc
  size_t discCount = 0;  // discs of the script (one merged folder holds them all)
  ReleaseOptions releaseLine, releaseFile, release;  // the options, project.ini's, both
  ScratchFolder scratch;                              // the signed KSetup.exe
  std::string scriptName;            // PROJECT/KSetup.ini
  std::string script;                // code page 932, sizes filled
  std::map<std::string, int> modes;  // pathKey of a picture -> EPAMODE
  std::vector<Disc> discs;
};

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

// Adds a file to a disc; false with a reason when another source already
// put something there (the same file named twice is fine).
static bool addFile(Disc* disc, DiscFile file, std::string* reason) {
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

// The regular files below a host folder, paths relative to it, sorted.
static std::vector<std::string> filesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
  std::sort(files.begin(), files.end());
  return files;
}

static bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// project.ini: EPAMODE lines; blank lines and REM, // or # comments.
static int readSettings(Build* b) {
  std::string path = b->project + "/project.ini";
  std::string text;
  if (!readWholeFile(path, &text)) return kExitOk;
  int line = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string l = text.substr(at, end - at);
    at = end + 1;
    line++;
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ' || l.back() == '\t')) l.pop_back();
    if (l.empty() || l[0] == '#' || l.rfind("//", 0) == 0 || l.rfind("REM", 0) == 0) continue;
    std::string reason;
    int taken = takeReleaseSetting(l, b->project, &b->releaseFile, &reason);
    if (taken < 0) return failInput(path + ":" + std::to_string(line), reason);
    if (taken > 0) continue;
    char name[256] = {};
    int mode = -1;
    char extra = 0;
    if (sscanf(l.c_str(), "EPAMODE %255s = %d %c", name, &mode, &extra) != 2 || mode < 0 ||
        mode > 2)
      return failInput(path + ":" + std::to_string(line),
                       "not a setting: write EPAMODE NAME.EPA = 0, 1 or 2");
    b->modes[pathKey(name)] = mode;
  }
  return kExitOk;
}

// The script as code page 932: UTF-8 text is converted (CR LF line ends),
// anything else is taken as code page 932.
static int readScript(Build* b) {
  std::string text;
  if (!readWholeFile(b->scriptName, &text)) return failInput(b->scriptName, "no setup script");
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::string cp932, unused;
  bool utf8 = isUtf8(text.data(), text.size());
  if (utf8 && utf8ToCp932(text.data(), text.size(), &cp932)) {
    b->script.clear();
    for (char c : cp932) {
      if (c == '\r') continue;
      if (c == '\n') b->script += '\r';
      b->script += c;
    }
    return kExitOk;
  }
  if (!utf8 && cp932ToUtf8Strict(text.data(), text.size(), &unused)) {
    b->script = text;
    return kExitOk;
  }
  if (!utf8) return failInput(b->scriptName, "neither UTF-8 nor code page 932 text");
  // UTF-8 with a character code page 932 does not hold: name its line.
  int line = 1;
  for (size_t at = 0; at < text.size(); line++) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (!utf8ToCp932(text.data() + at, end - at, &unused)) break;
    at = end + 1;
  }
  return failInput(
      b->scriptName + ":" + std::to_string(line),
      "a character that code page 932, the script's text for the program, does not have");
}

// Replaces every {size PATH} outside comment lines by the bytes PATH stands
// for in files/.
static int fillSizes(Build* b) {
  std::string filled;
  const std::string root = std::string(1, kFilesDrive) + ":\\";
  size_t at = 0;
  for (int line = 1; at < b->script.size(); line++) {
    size_t end = b->script.find('\n', at);
    end = end == std::string::npos ? b->script.size() : end + 1;
    std::string text = b->script.substr(at, end - at);
    at = end;
    if (text.rfind("//", 0) == 0 || text.rfind("REM", 0) == 0) {
      filled += text;
      continue;
    }
    std::string out;
    for (size_t i = 0; i < text.size();) {
      if (text.compare(i, 6, "{size ") != 0) {
        size_t n = sjisCharLength(text.c_str() + i);
        out.append(text, i, n);
        i += n;
        continue;
      }
      size_t close = i + 6;
      while (close < text.size() && text[close] != '}' && text[close] != '\r' &&
             text[close] != '\n')
        close += sjisCharLength(text.c_str() + close);
      std::string where = b->scriptName + ":" + std::to_string(line);
      if (close >= text.size() || text[close] != '}')
        return failInput(where, "{size without its closing }");
      std::string path = text.substr(i + 6, close - i - 6);
      uint64_t bytes = 0;
      if (!entryIsSafe(path.c_str()) || entryFiles(root, path, &bytes, nullptr, nullptr) == 0)
        return failInput(where, "{size " + shownText(path.c_str()) + "}: no such file in " +
                                    b->project + "/files");
      if (bytes > 0xFFFFFFFFull)
        return failInput(where, "{size " + shownText(path.c_str()) +
                                    "}: 4 GiB or more, which FILESIZE cannot hold");
      out += std::to_string(bytes);
      i = close + 1;
    }
    filled += out;
  }
  b->script = filled;
  return kExitOk;
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
static int buildArchive(const Build& b, const std::vector<std::string>& names,
                        std::string* archive) {
  const std::string folder = b.project + "/pictures";
  std::map<std::string, std::string> present;  // pathKey -> file name
  for (const std::string& f : filesBelow(folder))
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
      if (!readPng(path, &pixels, &width, &height, &error)) return failInput(path, error);
      auto mode = b.modes.find(pathKey(shown));
      int m = mode != b.modes.end() ? mode->second : chooseEpaMode(pixels.data(), width, height);
      if (!encodeEpa(pixels.data(), width, height, m, &data, &error))
        return failInput(path, "EPA mode " + std::to_string(m) + ": " + error);
      used.insert(png->first);
    } else if (same != present.end()) {
      std::string path = folder + "/" + same->second;
      if (!readWholeFile(path, &data)) return failInput(path, strerror(errno));
      used.insert(same->first);
    } else {
      return failInput(folder + "/" + (epa ? stem + ".png" : shown),
                       "missing: the script shows the picture " + shown);
    }
    members.push_back({name, data});
  }
  for (const auto& p : present)
    if (!used.count(p.first))
      fprintf(stderr,
              "ksetup-tool: %s/%s: warning: no picture of the script is made from it; left out\n",
              folder.c_str(), p.second.c_str());
  bool longNames = false;
  for (const PackMember& m : members) longNames = longNames || m.name.size() > 15;
  std::string error;
  if (!buildPack(members, longNames, archive, &error))
    return failInput(b.project + "/pictures", error);
  return kExitOk;
}

// ---- Laying out the discs --------------------------------------------------------------------

// files/ before the lists are looked up in it: two files that are one name
// on Windows would be picked by the order of the host's folder, so they are
// refused; a name without a code page 932 form no list can name.
static int checkFilesFolder(const Build& b, std::set<std::string>* unnamed) {
  std::map<std::string, std::string> byKey;  // pathKey of the Windows name -> host path
  for (const std::string& path : filesBelow(b.project + "/files")) {
    std::string reading;
    if (!windowsReading(path, &reading)) {
      unnamed->insert(path);
      fprintf(stderr,
              "ksetup-tool: %s/files/%s: warning: code page 932, the script's text, cannot "
              "spell its name, so no list can name it; left off the discs\n",
              b.project.c_str(), path.c_str());
      continue;
    }
    auto it = byKey.emplace(pathKey(reading), path);
    if (!it.second)
      return failInput(b.project + "/files/" + path,
                       "one name on Windows with files/" + it.first->second +
                           " (letter case, or characters code page 932 spells alike): keep one");
  }
  return kExitOk;
}

// Every file the lists of the discs name, from files/.
static int layOutLists(Build* b, int discCount) {
  const std::string root = std::string(1, kFilesDrive) + ":\\";
  const std::string files = b->project + "/files";
  for (int d = 0; d < discCount; d++) {
    for (int i = 0; i < kFilesPerDisc && config.fileList[d][i] && config.fileList[d][i][0]; i++) {
      const char* entry = config.fileList[d][i];
      std::string what = "disc " + std::to_string(d + 1) + " entry \"" + shownText(entry) + "\"";
      if (!entryIsSafe(entry))
        return failInput(b->scriptName, what + " reaches outside the install folder");
      std::vector<std::string> paths;
      uint64_t bytes = 0;
      if (entryFiles(root, entry, &bytes, nullptr, &paths) == 0)
        return failInput(files + "/" + discPathOf(entry),
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
        if (!addFile(&b->discs[size_t(d)], f, &reason)) return failInput(f.source, reason);
      }
    }
  }
  return kExitOk;
}

// PROJECT/discN/: the rest of each disc, as it is.
static int layOutExtras(Build* b, int discCount) {
  for (int d = 0; d < kDiscs; d++) {
    std::string folder = b->project + "/disc" + std::to_string(d + 1);
    if (!isFolder(folder)) continue;
    if (d >= discCount) {
      fprintf(stderr, "ksetup-tool: %s: warning: the script has %d disc%s (DISCNUM); left out\n",
              folder.c_str(), discCount, discCount == 1 ? "" : "s");
      continue;
    }
    for (const std::string& path : filesBelow(folder)) {
      DiscFile f;
      // As Windows will read it, when the name has a code page 932 form.
      if (!windowsReading(path, &f.path)) f.path = path;
      f.source = folder + "/" + path;
      std::error_code ec;
      f.size = fs::file_size(f.source, ec);
      f.from = "disc" + std::to_string(d + 1) + "/" + path;
      std::string reason;
      if (!addFile(&b->discs[size_t(d)], f, &reason)) return failInput(f.source, reason);
    }
  }
  return kExitOk;
}

// A key file that no source gives is written: the title and the disc.
static void addKeyFiles(Build* b, int discCount) {
  for (int d = 0; d < discCount; d++) {
    if (!config.keyFile[d][0]) continue;
    DiscFile f;
    f.path = discPathOf(config.keyFile[d]);
    if (b->discs[size_t(d)].byKey.count(pathKey(f.path))) continue;
    f.data = std::string(config.appliTitle) + " DISC " + std::to_string(d + 1) + "\r\n";
    f.size = f.data.size();
    f.from = "the key file";
    std::string unused;
    addFile(&b->discs[size_t(d)], f, &unused);
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
static int chooseLabels(Build* b, int discCount) {
  for (int d = 0; d < discCount; d++) {
    std::string label = shownText(config.discLabel[d]);
    if (!label.empty()) {
      std::string problem = isoLabelProblem(label);
      int line = lineOf(b->script, "DISCLABEL");
      if (!problem.empty() && b->image)
        return failInput(b->scriptName + (line ? ":" + std::to_string(line) : ""),
                         "DISCLABEL item " + std::to_string(d + 1) + " \"" + label +
                                            "\" cannot label the disc image: " + problem);
    } else {
      label = isoCutLabel(shownText(config.discName[d]));
      if (label.empty()) label = "DISC" + std::to_string(d + 1);
    }
    b->discs[size_t(d)].label = label;
  }
  return kExitOk;
}

// Checks made before anything is written: names Windows can make, sizes a
// disc file can have, and with --image the names an image must hold.
static int checkDiscNames(const Build& b) {
  for (size_t d = 0; d < b.discs.size(); d++)
    for (const DiscFile& f : b.discs[d].files) {
      std::string cp932, problem, disc = "disc " + std::to_string(d + 1);
      if (utf8ToCp932(f.path.data(), f.path.size(), &cp932))
        problem = windowsNameProblem(cp932, false);
      if (!problem.empty())
        problem = disc + ": Windows cannot read it from the disc: " + problem;
      else if (f.size > 0xFFFFFFFFull)
        problem = disc + ": it is 4 GiB or larger, which no file of a disc can be";
      else if (b.image && !(problem = isoPathProblem(f.path)).empty())
        problem = disc + " image cannot hold it: " + problem;
      if (!problem.empty()) return failInput(f.source.empty() ? f.path : f.source, problem);
    }
  return kExitOk;
}

// Loads the filled script and lays out every disc from it.
static int layOut(Build* b) {
  releaseConfig();
  configInitialised = false;
  releaseConfig();
  if (!loadConfigText(b->script.c_str(), nullptr)) {
    // The check tells why, line by line, from a copy in a private folder.
    releaseConfig();
    configInitialised = false;
    const char* tmp = getenv("TMPDIR");
    std::string stage = std::string(tmp && *tmp ? tmp : "/tmp") + "/ksetup-build-XXXXXX";
    if (!mkdtemp(&stage[0])) return failInput(b->scriptName, "the setup script does not load");
    writeWholeFile(stage + "/KSetup.ini", b->script.data(), b->script.size());
    checkDiscSet(stage, {}, b->scriptName);
    std::error_code ec;
    fs::remove_all(stage, ec);
    return kExitBadInput;
  }
  int discCount = int(config.discNum < uint32_t(kDiscs) ? config.discNum : uint32_t(kDiscs));
  b->discs.assign(size_t(discCount), Disc());

  std::string archive;
  std::set<std::string> unnamed;  // files/ names without a code page 932 form
  int rc = checkFilesFolder(*b, &unnamed);
  if (rc == kExitOk) rc = buildArchive(*b, pictureNames(), &archive);
  if (rc == kExitOk) {
    std::string exeData;
    if (!readWholeFile(b->exe, &exeData))
      rc = failInput(b->exe, strerror(errno));
    else if (exeData.compare(0, 2, "MZ") != 0)
      rc = failInput(b->exe, "not a Windows program");
    std::string unused, program = b->exe;
    if (rc == kExitOk && b->release.sign.wanted())
      rc = signDiscProgram(b->release, b->exe, shownText(config.appliTitle), &b->scratch, &program);
    std::error_code ec;
    uint64_t programSize = fs::file_size(program, ec);
    Disc& one = b->discs[0];
    if (rc == kExitOk) {
      addFile(&one, {"KSetup.exe", program, "", programSize, "KSetup.exe (--exe)"}, &unused);
      addFile(&one, {"KSetup.ini", "", b->script, b->script.size(), "the setup script"}, &unused);
      addFile(&one, {"Instdata.pak", "", archive, archive.size(), "the pictures' archive"},
              &unused);
    }
  }
  if (rc == kExitOk) rc = layOutLists(b, discCount);
  if (rc == kExitOk) rc = layOutExtras(b, discCount);
  if (rc == kExitOk) addKeyFiles(b, discCount);
  if (rc == kExitOk) rc = chooseLabels(b, discCount);
  releaseConfig();
  configInitialised = false;
  if (rc == kExitOk) rc = checkDiscNames(*b);
  if (rc != kExitOk) return rc;

  // Files of files/ that go on no disc are most likely forgotten in a list.
  std::set<std::string> placed;
  for (const Disc& disc : b->discs)
    for (const DiscFile& f : disc.files) placed.insert(f.source);
  std::vector<std::string> left;
  for (const std::string& f : filesBelow(b->project + "/files"))
    if (!placed.count(b->project + "/files/" + f) && !unnamed.count(f)) left.push_back(f);
  if (!left.empty())
    fprintf(stderr,
            "ksetup-tool: %s/files: warning: %zu file%s no list names, left off the discs: %s%s\n",
            b->project.c_str(), left.size(), left.size() == 1 ? "" : "s", left[0].c_str(),
            left.size() > 1 ? ", ..." : "");
  return kExitOk;
}

// ---- Writing -----------------------------------------------------------------------------

static std::string discFolder(const Build& b, size_t d) {
  return b.merged ? b.out + "/merged" : b.out + "/disc" + std::to_string(d + 1);
}

// Puts every disc's files into one folder; a path that two discs both hold
// (other than the same source file) cannot be merged.
static int mergeDiscs(Build* b) {
  Disc merged;
  for (size_t d = 0; d < b->discs.size(); d++)
    for (const DiscFile& f : b->discs[d].files) {
      std::string reason;
      if (!addFile(&merged, f, &reason))
        return failInput(b->project, "disc " + std::to_string(d + 1) + " cannot be merged: " + f.from + ": " +
                                         reason);
    }
  b->discs.assign(1, merged);
  return kExitOk;
}
static std::string imagePath(const Build& b, size_t d) { return discFolder(b, d) + ".iso"; }

// What an earlier build left in DIR: its disc folders and images, of any
// number of discs, its merged folder, and the images' sums.
static bool isBuildOutput(const std::string& name) {
  if (name == "merged" || name == "SHA256SUMS" || name == "SHA256SUMS.part") return true;
  if (name.size() < 5 || name.compare(0, 4, "disc") != 0) return false;
  size_t end = name.find_first_not_of("0123456789", 4);
  if (end == 4) return false;
  std::string rest = end == std::string::npos ? "" : name.substr(end);
  return rest.empty() || rest == ".iso" || rest == ".iso.part";
}

// Disc folders are replaced only when a build of the same project made
// them; everything an earlier build left goes, so that no disc of a larger
// set survives a smaller one.
static int prepareOut(const Build& b) {
  std::error_code ec;
  fs::create_directories(b.out, ec);
  if (!isFolder(b.out)) return failInput(b.out, "cannot make the folder");
  const std::string stampPath = b.out + "/" + kStampName;
  const std::string stamp = "disc folders written by ksetup-tool disc build from " + b.project + "\n";
  std::string before;
  bool stamped = readWholeFile(stampPath, &before);
  if (stamped && before != stamp)
    return failInput(b.out, "holds the discs of another project (" + stampPath +
                                "): choose another --out");
  for (size_t d = 0; d < b.discs.size(); d++)
    if (fs::exists(discFolder(b, d)) && !stamped)
      return failInput(
          discFolder(b, d),
          "is there and was not written by disc build: remove it or choose another --out");
  if (!writeWholeFile(stampPath, stamp.data(), stamp.size()))
    return failInput(b.out, strerror(errno));
  if (stamped)
    for (fs::directory_iterator it(b.out, ec), end; !ec && it != end; it.increment(ec))
      if (isBuildOutput(it->path().filename().string())) fs::remove_all(it->path(), ec);
  for (size_t d = 0; d < b.discs.size(); d++) {
    fs::remove_all(discFolder(b, d), ec);
    fs::remove(imagePath(b, d), ec);
    if (!fs::create_directories(discFolder(b, d), ec))
      return failInput(discFolder(b, d), "cannot make the folder: " + ec.message());
  }
  return kExitOk;
}

// After a stop or a failed write: the disc folders and images this build
// made go, so that no half set is left to be mistaken for a whole one.
static void removeOutputs(const Build& b) {
  std::error_code ec;
  for (size_t d = 0; d < b.discs.size(); d++) {
    fs::remove_all(discFolder(b, d), ec);
    fs::remove(imagePath(b, d), ec);
  }
}

// Copies one file in blocks, moving the bar; false on failure or a stop.
static bool copyFile(const std::string& from, const std::string& to, Progress* progress,
                     uint64_t* done, std::string* error) {
  FILE* in = fopen(from.c_str(), "rb");
  FILE* out = in ? fopen(to.c_str(), "wb") : nullptr;
  bool ok = in && out;
  if (!ok) *error = (in ? to : from) + ": " + strerror(errno);
  std::vector<char> buffer(1 << 20);
  while (ok) {
    size_t n = fread(buffer.data(), 1, buffer.size(), in);
    if (n == 0) {
      if (ferror(in)) {
        ok = false;
        *error = from + ": read error";
      }
      break;
    }
    if (fwrite(buffer.data(), 1, n, out) != n) {
      ok = false;
      *error = to + ": " + strerror(errno);
    }
    *done += n;
    drawBar(progress, *done, "");
    if (stopSignalSeen()) {
      ok = false;
      *error = "interrupted";
    }
  }
  if (in) fclose(in);
  if (out && fclose(out) != 0 && ok) {
    ok = false;
    *error = to + ": " + strerror(errno);
  }
  return ok;
}

static int writeDiscs(const Build& b) {
  uint64_t total = 0, done = 0;
  for (const Disc& disc : b.discs)
    for (const DiscFile& f : disc.files) total += f.size;
  Progress progress;
  startProgress(&progress, total);
  for (size_t d = 0; d < b.discs.size(); d++) {
    uint64_t bytes = 0;
    for (const DiscFile& f : b.discs[d].files) {
      std::string to = discFolder(b, d) + "/" + f.path;
      std::error_code ec;
      fs::create_directories(fs::path(to).parent_path(), ec);
      std::string error;
      bool ok = f.source.empty() ? writeWholeFile(to, f.data.data(), f.data.size())
                                 : copyFile(f.source, to, &progress, &done, &error);
      if (f.source.empty()) {
        if (!ok) error = to + ": " + strerror(errno);
        done += f.size;
      }
      if (!ok) {
        clearBar(&progress);
        removeOutputs(b);
        if (stopSignalSeen()) {
          fprintf(stderr, "ksetup-tool: %s: interrupted; removed the disc folders\n",
                  b.out.c_str());
          return 128 + stopSignalSeen();
        }
        return failInput(f.source.empty() ? to : f.source, error + "; removed the disc folders");
      }
      bytes += f.size;
    }
    clearBar(&progress);
    std::string which = b.merged ? "all discs" : "disc " + std::to_string(d + 1);
    printf("%s: %zu file%s, %s in %s\n", which.c_str(), b.discs[d].files.size(),
           b.discs[d].files.size() == 1 ? "" : "s", megabytes(bytes).c_str(),
           discFolder(b, d).c_str());
    fflush(stdout);
  }
  return kExitOk;
}

static bool imageProgress(void* context, uint64_t done, uint64_t total) {
  Progress* progress = static_cast<Progress*>(context);
  progress->total = total;
  drawBar(progress, done, "");
  return stopSignalSeen() == 0;
}

// Reads the image back and compares it with what it should hold.
static std::string imageDifference(const std::string& image, const Disc& disc,
                                   const std::vector<IsoExtraFile>& extra, size_t* files) {
  std::string why;
  IsoReader* reader = openIsoImage(image, &why);
  if (!reader) return why;
  std::map<std::string, uint64_t> want, have;
  for (const DiscFile& f : disc.files) want[f.path] = f.size;
  for (const IsoExtraFile& f : extra) want[f.name] = f.data.size();
  for (const IsoEntry& e : listIsoTree(reader))
    if (!e.isFolder) have[e.name] = e.size;
  closeIsoImage(reader);
  *files = have.size();
  for (const auto& w : want) {
    auto h = have.find(w.first);
    if (h == have.end()) return w.first + " is not in it under its name";
    if (h->second != w.second)
      return w.first + " has " + std::to_string(h->second) + " bytes in it";
  }
  if (have.size() != want.size()) return "it holds files that were not asked for";
  return "";
}

static int writeImages(const Build& b) {
  for (size_t d = 0; d < b.discs.size(); d++) {
    std::vector<IsoExtraFile> extra;
    if (d == 0 && !b.discs[0].byKey.count(pathKey("autorun.inf")))
      extra.push_back({"autorun.inf", "[autorun]\r\nopen=KSetup.exe\r\nicon=KSetup.exe,0\r\n"});
    std::string path = imagePath(b, d), error;
    Progress progress;
    startProgress(&progress, 0);
    bool ok = writeIsoImage(discFolder(b, d), extra, b.discs[d].label, path, imageProgress,
                            &progress, &error);
    clearBar(&progress);
    if (!ok && stopSignalSeen()) {
      // As when the copy is stopped: the discs go with the images.
      removeOutputs(b);
      fprintf(stderr, "ksetup-tool: %s: interrupted; removed the disc folders\n", b.out.c_str());
      return 128 + stopSignalSeen();
    }
    if (!ok) return failInput(path, error);
    size_t files = 0;
    std::string difference = imageDifference(path, b.discs[d], extra, &files);
    if (!difference.empty()) {
      unlink(path.c_str());
      return failInput(path, "read back, the image differs from disc " + std::to_string(d + 1) +
                                 ": " + difference + "; removed it");
    }
    std::error_code ec;
    uint64_t size = fs::file_size(path, ec);
    printf("%s: label %s, %zu files, %s\n", path.c_str(), b.discs[d].label.c_str(), files,
           megabytes(size).c_str());
    if (size > kCdBytes)
      fprintf(stderr, "ksetup-tool: %s: warning: %s is more than a 700 MB CD-R holds\n",
              path.c_str(), megabytes(size).c_str());
    fflush(stdout);
  }
  return kExitOk;
}

// ---- disc build ----------------------------------------------------------------------------

static const char kBuildUsage[] =
    "disc build PROJECT --out DIR [--image | --merged] [--exe KSetup.exe] [--sign-pkcs12 FILE | --sign-cert "
    "CERT.pem --sign-key KEY.pem] [--sign-password-file FILE] [--timestamp URL]";

static int discBuild(int argc, char** argv) {
  Build b;
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    int taken = takeReleaseOption(argc, argv, &i, &b.releaseLine);
    if (taken < 0) {
      fprintf(stderr, "ksetup-tool: %s needs a value\n", a.c_str());
      return failUsage(kBuildUsage);
    }
    if (taken > 0) continue;
    if (a == "--help" || a == "-h") {
      printf("usage: ksetup-tool %s\n(ksetup-tool disc help for more)\n", kBuildUsage);
      return kExitOk;
    }
    if ((a == "--out" || a == "--exe") && i + 1 >= argc) {
      fprintf(stderr, "ksetup-tool: %s needs a value\n", a.c_str());
      return failUsage(kBuildUsage);
    }
    if (a == "--out" && i + 1 < argc)
      b.out = fs::absolute(argv[++i]).lexically_normal().string();
    else if (a == "--exe" && i + 1 < argc)
      b.exe = fs::absolute(argv[++i]).lexically_normal().string();
    else if (a == "--image")
      b.image = true;
    else if (a == "--merged")
      b.merged = true;
    else if (a.size() > 1 && a[0] == '-') {
      fprintf(stderr, "ksetup-tool: unknown option %s\n", a.c_str());
      return failUsage(kBuildUsage);
    } else if (b.project.empty())
      b.project = fs::absolute(a).lexically_normal().string();
    else
      return failUsage(kBuildUsage);
  }
  if (b.project.empty() || b.out.empty() || (b.image && b.merged)) return failUsage(kBuildUsage);
  while (b.project.size() > 1 && b.project.back() == '/') b.project.pop_back();
  while (b.out.size() > 1 && b.out.back() == '/') b.out.pop_back();
  b.exeGiven = !b.exe.empty();
  if (!b.exeGiven) {
    std::string searched;
    b.exe = defaultProgram(&searched);
    if (b.exe.empty())
      return failInput("KSetup.exe", "no KSetup.exe: give --exe (looked at " + searched + ")");
  }
  b.scriptName = b.project + "/KSetup.ini";
  if (!isFolder(b.project)) return failInput(b.project, "no such project folder");
  for (const char* folder : {"files", "pictures"})
    if (!isFolder(b.project + "/" + folder))
      return failInput(b.project + "/" + folder,
                       "missing: a project keeps its " + std::string(folder) + " here");
  mapDrive(kFilesDrive, b.project + "/files");

  int rc = readSettings(&b);
  std::string reason;
  if (rc == kExitOk && !mergeReleaseOptions(b.releaseLine, b.releaseFile, &b.release, &reason))
    rc = failInput("SOURCE_DATE_EPOCH", reason);
  if (rc == kExitOk) rc = readScript(&b);
  if (rc == kExitOk) rc = fillSizes(&b);
  if (rc == kExitOk) rc = layOut(&b);
  b.discCount = b.discs.size();
  if (rc == kExitOk && b.merged) rc = mergeDiscs(&b);
  if (rc != kExitOk) return rc;

  catchStopSignals();
  if ((rc = prepareOut(b)) != kExitOk || (rc = writeDiscs(b)) != kExitOk) return rc;
  std::vector<std::string> discs;
  // The merged folder is checked as every disc of the set.
  for (size_t d = 0; d < b.discCount; d++) discs.push_back(discFolder(b, d));
  if ((rc = checkDiscSet(discs[0], discs, "")) != kExitOk) return rc;
  setIsoImageDate(b.release.date);
  if (b.image && (rc = writeImages(b)) != kExitOk) return rc;
  std::vector<std::string> images;
  for (size_t d = 0; b.image && d < b.discs.size(); d++) images.push_back(imagePath(b, d));
  return finishRelease(b.release, b.out, discs, images);
}

// ---- disc list -----------------------------------------------------------------------------

static int discList(const std::string& path) {
  std::string error;
  IsoReader* reader = openIsoImage(path, &error);
  if (!reader) return failInput(path, error);
  std::vector<IsoEntry> entries = listIsoTree(reader);
  printf("label %s\n", isoVolumeLabel(reader).c_str());
  for (const IsoEntry& e : entries)
    if (e.isFolder)
      printf("%12s  %s/\n", "", e.name.c_str());
    else
      printf("%12llu  %s\n", static_cast<unsigned long long>(e.size), e.name.c_str());
  closeIsoImage(reader);
  return kExitOk;
}

int toolDisc(int argc, char** argv) {
  if (argc >= 1 && (!strcmp(argv[0], "help") || !strcmp(argv[0], "--help"))) {
    fputs(kDiscHelp, stdout);
    return kExitOk;
  }
  if (argc >= 1 && !strcmp(argv[0], "build")) return discBuild(argc - 1, argv + 1);
  if (argc >= 1 && !strcmp(argv[0], "verify")) return discVerify(argc - 1, argv + 1);
  if (argc == 2 && !strcmp(argv[0], "list")) return discList(argv[1]);
  return failUsage(kDiscUsage);
}
