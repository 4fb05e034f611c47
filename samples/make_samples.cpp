// make-samples: writes the sample disc set of the fictional game "星見の丘ソナタ"
// (ランタンソフト) that the demo, the Wine tests and the sample test use.
//
//   make-samples OUTDIR [--standins DIR] [--font FILE] [--source DIR]
//
// OUTDIR/disc1: KSetup.ini (code page 932), Instdata.pak (launcher title,
// options logo, install scene), the disc's key file, the game program, the
// manual, game data, the DirectX setup; OUTDIR/disc2: its key file, voices
// and movies. The game data is deterministic pseudo-random bytes. The game
// program and the DirectX setup are taken from --standins DIR
// (sample-game.exe, sample-dxsetup.exe) when they are there, else small
// placeholder files stand in for them. KSetup.exe itself is not written.
// Both disc folders are made afresh on every run.
//
// Before it ends, the program loads the script it wrote the way the setup
// program does and checks it against the discs: every size equals the file
// on the disc, every folder a file list writes into is made first, and the
// scene places the bar where its picture was drawn for.
#include <fnmatch.h>
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"
#include "samples/art.h"
#include "samples/pictures.h"
#include "script/config.h"
#include "tools/epa_encode.h"
#include "tools/pak_writer.h"

namespace fs = std::filesystem;

#ifndef KSETUP_SAMPLES_SOURCE
#define KSETUP_SAMPLES_SOURCE "samples"
#endif

static const char kUsage[] =
    "usage: make-samples OUTDIR [--standins DIR] [--font FILE] [--source DIR]\n"
    "  Writes the sample disc set into OUTDIR/disc1 and OUTDIR/disc2.\n"
    "  --standins DIR  folder holding sample-game.exe and sample-dxsetup.exe\n"
    "  --font FILE     Japanese TrueType font for the pictures (default: IPA Gothic)\n"
    "  --source DIR    folder holding KSetup.ini.in and README.TXT.in\n";

static const char* const kFonts[] = {
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
};

// ---- The discs' contents -----------------------------------------------------------------

// Game data: pseudo-random bytes of these sizes (about 40 MB in all, so that
// a copy takes a few seconds and the progress has something to show).
struct DataFile {
  int disc;
  const char* path;
  uint32_t size;
};
static const DataFile kDataFiles[] = {
    {1, "DATA\\SYSTEM.PAK", 1234567},    {1, "DATA\\SCRIPT.PAK", 786431},
    {1, "DATA\\GRAPHIC1.PAK", 9437201},  {1, "DATA\\GRAPHIC2.PAK", 7340033},
    {1, "DATA\\BGM.PAK", 5242887},       {1, "DATA\\表情\\表情.PAK", 1572869},
    {2, "DATA\\音声\\音声1.DAT", 4718599}, {2, "DATA\\音声\\音声2.DAT", 3932167},
    {2, "MOVIE\\OPENING.DAT", 3145739},
    {2, "MOVIE\\ENDING.DAT", 2621447},   {2, "MOVIE\\EVENT01.DAT", 1048583},
    {2, "MOVIE\\EVENT02.DAT", 786433},
};

static const char kGameName[] = "HOSHIMI.EXE";
static const char kDxSetupPath[] = "DIRECTX\\DXSETUP.EXE";
static const char* const kKeyFiles[] = {"HOSHIMI1.KEY", "HOSHIMI2.KEY"};

struct Output {
  std::string root;  // OUTDIR
  // Every file written, per disc (1, 2): script path -> size.
  std::map<std::string, uint64_t> files[3];
};

static std::string hostOf(const Output& out, int disc, const std::string& path) {
  std::string host = out.root + "/disc" + std::to_string(disc) + "/" + path;
  for (char& c : host)
    if (c == '\\') c = '/';
  return host;
}

static bool writeBytes(Output* out, int disc, const std::string& path, const std::string& data,
                       std::string* error) {
  std::string host = hostOf(*out, disc, path);
  std::error_code ec;
  fs::create_directories(fs::path(host).parent_path(), ec);
  std::ofstream f(host, std::ios::binary);
  f.write(data.data(), std::streamsize(data.size()));
  f.close();
  if (!f) {
    *error = "cannot write " + host;
    return false;
  }
  out->files[disc][path] = data.size();
  return true;
}

// Deterministic content: a short readable header, then splitmix64 bytes
// seeded from the path.
static std::string dataContent(const DataFile& file) {
  uint64_t seed = 1469598103934665603ull;
  for (const char* p = file.path; *p; p++) seed = (seed ^ uint8_t(*p)) * 1099511628211ull;
  Random random(seed);
  std::string data(file.size, '\0');
  size_t i = 0;
  for (; i + 8 <= data.size(); i += 8) {
    uint64_t v = random.next();
    memcpy(&data[i], &v, 8);
  }
  for (uint64_t v = random.next(); i < data.size(); i++, v >>= 8) data[i] = char(v & 0xFF);
  std::string header = std::string("HOSHIMI-DATA ") + file.path + "\r\n";
  data.replace(0, std::min(header.size(), data.size()), header.substr(0, data.size()));
  return data;
}

static bool readText(const std::string& path, std::string* text, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot read " + path;
    return false;
  }
  std::stringstream s;
  s << f.rdbuf();
  *text = s.str();
  return true;
}

// UTF-8 with LF line ends to code page 932 with CR LF line ends.
static bool toCp932(const std::string& utf8, std::string* cp932, std::string* error) {
  std::string crlf;
  for (char c : utf8) {
    if (c == '\r') continue;
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == iconv_t(-1)) {
    *error = "iconv cannot convert UTF-8 to CP932";
    return false;
  }
  cp932->assign(crlf.size() * 2 + 16, '\0');
  char* in = &crlf[0];
  size_t inLeft = crlf.size();
  char* outAt = &(*cp932)[0];
  size_t outLeft = cp932->size();
  size_t r = iconv(cd, &in, &inLeft, &outAt, &outLeft);
  iconv_close(cd);
  if (r == size_t(-1)) {
    size_t line = 1 + size_t(std::count(&crlf[0], in, '\n'));
    *error = "line " + std::to_string(line) + " has a character code page 932 does not hold";
    return false;
  }
  cp932->resize(cp932->size() - outLeft);
  return true;
}

// ---- The script ------------------------------------------------------------------------

static bool isPattern(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

// Bytes a file list entry stands for on its disc: the file's size, or the
// sum over the files a pattern matches in its folder (names compared without
// case, as the program does). -1 when a plain file is missing.
static int64_t entryBytes(const Output& out, int disc, const std::string& path) {
  if (!isPattern(path)) {
    std::error_code ec;
    uintmax_t size = fs::file_size(hostOf(out, disc, path), ec);
    return ec ? -1 : int64_t(size);
  }
  size_t slash = path.rfind('\\');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  int64_t total = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(hostOf(out, disc, folder), ec))
    if (e.is_regular_file() && fnmatch(name.c_str(), e.path().filename().c_str(), FNM_CASEFOLD) == 0)
      total += int64_t(e.file_size());
  return total;
}

// Replaces every "{size PATH}" outside comment lines by the size of PATH on
// whichever disc holds it.
static bool fillSizes(const Output& out, std::string* script, std::string* error) {
  std::istringstream lines(*script);
  std::string line, filled;
  while (std::getline(lines, line)) {
    bool comment = line.rfind("//", 0) == 0 || line.rfind("REM", 0) == 0;
    size_t at;
    while (!comment && (at = line.find("{size ")) != std::string::npos) {
      size_t end = line.find('}', at);
      if (end == std::string::npos) {
        *error = "KSetup.ini.in: unclosed {size";
        return false;
      }
      std::string path = line.substr(at + 6, end - at - 6);
      int64_t bytes = -1;
      for (int disc = 1; disc <= 2 && bytes <= 0; disc++) bytes = entryBytes(out, disc, path);
      if (bytes <= 0) {
        *error = "KSetup.ini.in: {size " + path + "}: no such file on the discs";
        return false;
      }
      line.replace(at, end - at + 1, std::to_string(bytes));
    }
    filled += line + "\n";
  }
  *script = filled;
  return true;
}

// Quoted texts must fit their fields (the loader would cut them).
static bool checkScriptBytes(const std::string& script, std::string* error) {
  int line = 0;
  std::istringstream lines(script);
  std::string text;
  while (std::getline(lines, text)) {
    line++;
    bool paths = text.rfind("FILE", 0) == 0;  // FILE, FILELIST: 259-byte paths
    size_t open = 0;
    while ((open = text.find('"', open)) != std::string::npos) {
      size_t close = text.find('"', open + 1);
      if (close == std::string::npos) break;
      if (close - open - 1 > (paths ? 259u : 63u)) {
        *error = "KSetup.ini line " + std::to_string(line) + ": a quoted text longer than its field";
        return false;
      }
      open = close + 1;
    }
  }
  return true;
}

// Loads the written script as the program does and checks it against the discs.
static bool verify(const Output& out, std::string* error) {
  std::string disc1 = out.root + "/disc1";
  char previous[4096] = {0};
  getCurrentFolder(previous, sizeof previous);
  releaseConfig();
  bool ok = setCurrentFolder(disc1.c_str()) && loadConfig();
  if (!ok) *error = "the written KSetup.ini does not load";
  std::set<std::string> folders = {""};
  // The script's names are code page 932, the discs' UTF-8.
  for (int k = 0; k < kMakeFolders && config.makeFolder[k][0]; k++) {
    std::string f = cp932ToUtf8(config.makeFolder[k], kTextSize);
    if (!folders.count(f.substr(0, f.rfind('\\') == std::string::npos ? 0 : f.rfind('\\')))) {
      *error = "MAKEFOLDER \"" + f + "\" comes before its parent folder";
      ok = false;
    }
    folders.insert(f);
  }
  for (int d = 0; ok && d < int(config.discNum); d++)
    for (int i = 0; ok && i < kFilesPerDisc && config.fileList[d][i]; i++) {
      std::string path = cp932ToUtf8(config.fileList[d][i], kPathSize);
      int64_t bytes = entryBytes(out, d + 1, path);
      size_t slash = path.rfind('\\');
      if (bytes != int64_t(config.fileSize[d][i])) {
        *error = "disc " + std::to_string(d + 1) + " \"" + path + "\": size " +
                 std::to_string(config.fileSize[d][i]) + " in the script, " + std::to_string(bytes) +
                 " on the disc";
        ok = false;
      } else if (!folders.count(slash == std::string::npos ? "" : path.substr(0, slash))) {
        *error = "\"" + path + "\" goes into a folder MAKEFOLDER does not make";
        ok = false;
      }
    }
  bool barPlaced = false;
  for (int i = 0; ok && i < kSceneSlots && config.scene[i].type; i++) {
    const SceneElement& e = config.scene[i];
    if (e.type == kSceneBase && (e.moveX != kStageWidth || e.moveY != kStageHeight)) {
      *error = "the stage is not 640 x 480 as the pictures are drawn for";
      ok = false;
    }
    if (e.type == kSceneProgressBar && strcmp(e.name, kBarPlace.name) == 0)
      barPlaced = e.x == kBarPlace.x && e.y == kBarPlace.y;
  }
  if (ok && !barPlaced) {
    *error = "the scene does not put BAR.EPA where it was drawn for";
    ok = false;
  }
  releaseConfig();
  if (previous[0]) setCurrentFolder(previous);
  return ok;
}

// ---- Pictures --------------------------------------------------------------------------

static bool writeArchive(Output* out, const Font& font, std::string* error) {
  std::vector<PackMember> members;
  for (const NamedPicture& p : drawSamplePictures(font)) {
    std::string epa;
    int mode = chooseEpaMode(p.pixels.data(), p.width, p.height);
    if (!encodeEpa(p.pixels.data(), p.width, p.height, mode, &epa, error)) {
      *error = p.name + ": " + *error;
      return false;
    }
    members.push_back({p.name, epa});
  }
  std::string archive;
  if (!buildPack(members, false, &archive, error)) return false;
  return writeBytes(out, 1, "Instdata.pak", archive, error);
}

// ---- Main ------------------------------------------------------------------------------

static bool copyStandin(Output* out, const std::string& folder, const char* file, int disc,
                        const std::string& path, const char* role, std::string* error) {
  std::string data;
  std::string unused;
  if (!folder.empty() && readText(folder + "/" + file, &data, &unused)) {
    printf("  %s: %s/%s\n", role, folder.c_str(), file);
  } else {
    data = std::string("Placeholder for the sample's ") + role +
           ": build the win64 preset and run scripts/make-samples.sh.\r\n";
    printf("  %s: placeholder (no %s)\n", role, file);
  }
  return writeBytes(out, disc, path, data, error);
}

static bool makeSamples(const std::string& root, const std::string& standins, const std::string& fontPath,
                        const std::string& source, std::string* error) {
  Output out;
  out.root = fs::absolute(root).lexically_normal().string();  // the check below moves the current folder
  std::error_code ec;
  fs::remove_all(root + "/disc1", ec);
  fs::remove_all(root + "/disc2", ec);

  Font font;
  std::string fontFile = fontPath;
  if (fontFile.empty())
    for (const char* candidate : kFonts)
      if (fs::exists(candidate)) {
        fontFile = candidate;
        break;
      }
  if (fontFile.empty()) {
    *error = "no Japanese font (install fonts-ipafont-gothic or pass --font)";
    return false;
  }
  if (!loadFont(fontFile, &font, error)) return false;

  for (const DataFile& f : kDataFiles)
    if (!writeBytes(&out, f.disc, f.path, dataContent(f), error)) return false;
  for (int d = 0; d < 2; d++) {
    std::string key = "HOSHIMI NO OKA SONATA / Lantern Soft / DISC " + std::to_string(d + 1) + "\r\n";
    if (!writeBytes(&out, d + 1, kKeyFiles[d], key, error)) return false;
  }
  if (!copyStandin(&out, standins, "sample-game.exe", 1, kGameName, "game", error) ||
      !copyStandin(&out, standins, "sample-dxsetup.exe", 1, kDxSetupPath, "DirectX setup", error))
    return false;

  std::string text, cp932;
  if (!readText(source + "/README.TXT.in", &text, error) || !toCp932(text, &cp932, error) ||
      !writeBytes(&out, 1, "説明書\\説明書.TXT", cp932, error))
    return false;

  if (!writeArchive(&out, font, error)) return false;

  if (!readText(source + "/KSetup.ini.in", &text, error)) return false;
  if (!fillSizes(out, &text, error)) return false;
  if (!toCp932(text, &cp932, error)) {
    *error = "KSetup.ini.in: " + *error;
    return false;
  }
  if (!checkScriptBytes(cp932, error) || !writeBytes(&out, 1, "KSetup.ini", cp932, error)) return false;
  return verify(out, error);
}

int main(int argc, char** argv) {
  std::string root, standins, font, source = KSETUP_SAMPLES_SOURCE;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    bool value = i + 1 < argc;
    if (a == "--standins" && value)
      standins = argv[++i];
    else if (a == "--font" && value)
      font = argv[++i];
    else if (a == "--source" && value)
      source = argv[++i];
    else if (a.rfind("--", 0) != 0 && root.empty())
      root = a;
    else {
      fputs(kUsage, stderr);
      return 2;
    }
  }
  if (root.empty()) {
    fputs(kUsage, stderr);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  printf("make-samples: writing %s\n", root.c_str());
  std::string error;
  if (!makeSamples(root, standins, font, source, &error)) {
    fprintf(stderr, "make-samples: %s\n", error.c_str());
    return 1;
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("make-samples: done in %.1f s\n", seconds);
  return 0;
}
