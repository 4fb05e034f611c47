// make-samples: writes the project of the sample disc set of the fictional
// game "星見の丘ソナタ" (ランタンソフト) that the demo, the Wine tests and the
// sample test use; `ksetup-tool disc build` makes the discs from it.
//
//   make-samples PROJECT [--standins DIR] [--font FILE] [--source DIR]
//
// PROJECT/KSetup.ini: the script template as it is (UTF-8, with {size PATH}
// for the build to fill); PROJECT/pictures: every picture, drawn here, as
// PNG; PROJECT/files: the game's files (the game program, the manual in code
// page 932, game data of deterministic pseudo-random bytes); PROJECT/disc1
// and disc2: what the discs hold beside them (the key files, the DirectX
// setup on disc 1). The game program and the DirectX setup are taken from
// --standins DIR (sample-game.exe, sample-dxsetup.exe) when they are there,
// else small placeholder files stand in for them. The project folder is made
// afresh on every run.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "samples/art.h"
#include "samples/pictures.h"
#include "tools/lib/png_io.h"

namespace fs = std::filesystem;

#ifndef KSETUP_SAMPLES_SOURCE
#define KSETUP_SAMPLES_SOURCE "samples"
#endif

static const char kUsage[] =
    "usage: make-samples PROJECT [--standins DIR] [--font FILE] [--source DIR]\n"
    "  Writes the sample disc set's project into PROJECT (for ksetup-tool disc build).\n"
    "  --standins DIR  folder holding sample-game.exe and sample-dxsetup.exe\n"
    "  --font FILE     Japanese TrueType font for the pictures (default: IPA Gothic)\n"
    "  --source DIR    folder holding KSetup.ini.in and README.TXT.in\n";

static const char* const kFonts[] = {
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
};

// ---- The project's contents -----------------------------------------------------------------

// Game data: pseudo-random bytes of these sizes (about 40 MB in all, so that
// a copy takes a few seconds and the progress has something to show).
struct DataFile {
  const char* path;
  uint32_t size;
};
static const DataFile kDataFiles[] = {
    {"DATA\\SYSTEM.PAK", 1234567},    {"DATA\\SCRIPT.PAK", 786431},
    {"DATA\\GRAPHIC1.PAK", 9437201},  {"DATA\\GRAPHIC2.PAK", 7340033},
    {"DATA\\BGM.PAK", 5242887},       {"DATA\\表情\\表情.PAK", 1572869},
    {"DATA\\音声\\音声1.DAT", 4718599}, {"DATA\\音声\\音声2.DAT", 3932167},
    {"MOVIE\\OPENING.DAT", 3145739},
    {"MOVIE\\ENDING.DAT", 2621447},   {"MOVIE\\EVENT01.DAT", 1048583},
    {"MOVIE\\EVENT02.DAT", 786433},
};

static const char kGameName[] = "HOSHIMI.EXE";
static const char kDxSetupPath[] = "DIRECTX\\DXSETUP.EXE";
static const char* const kKeyFiles[] = {"HOSHIMI1.KEY", "HOSHIMI2.KEY"};

// Writes a file below the project: `folder` is "files" for the game's files
// or "disc1", "disc2" for what a disc holds beside them; `path` is given as
// the script names it.
static bool writeBytes(const std::string& project, const std::string& folder, const std::string& path,
                       const std::string& data, std::string* error) {
  std::string host = project + "/" + folder + "/" + path;
  for (char& c : host)
    if (c == '\\') c = '/';
  std::error_code ec;
  fs::create_directories(fs::path(host).parent_path(), ec);
  std::ofstream f(host, std::ios::binary);
  f.write(data.data(), std::streamsize(data.size()));
  f.close();
  if (!f) {
    *error = "cannot write " + host;
    return false;
  }
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

// ---- Pictures --------------------------------------------------------------------------

static bool writePictures(const std::string& project, const Font& font, std::string* error) {
  std::error_code ec;
  fs::create_directories(project + "/pictures", ec);
  for (const NamedPicture& p : drawSamplePictures(font)) {
    std::string stem = p.name.substr(0, p.name.rfind('.'));
    if (!writePng(project + "/pictures/" + stem + ".png", p.pixels.data(), p.width, p.height, error)) {
      *error = p.name + ": " + *error;
      return false;
    }
  }
  return true;
}

// ---- Main ------------------------------------------------------------------------------

static bool copyStandin(const std::string& project, const std::string& folder, const char* file,
                        const std::string& place, const std::string& path, const char* role,
                        std::string* error) {
  std::string data;
  std::string unused;
  if (!folder.empty() && readText(folder + "/" + file, &data, &unused)) {
    printf("  %s: %s/%s\n", role, folder.c_str(), file);
  } else {
    data = std::string("Placeholder for the sample's ") + role +
           ": build the win64 preset and run scripts/make-samples.sh.\r\n";
    printf("  %s: placeholder (no %s)\n", role, file);
  }
  return writeBytes(project, place, path, data, error);
}

static bool makeSamples(const std::string& project, const std::string& standins,
                        const std::string& fontPath, const std::string& source, std::string* error) {
  std::error_code ec;
  fs::remove_all(project, ec);
  fs::create_directories(project, ec);

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
    if (!writeBytes(project, "files", f.path, dataContent(f), error)) return false;
  for (int d = 0; d < 2; d++) {
    std::string key = "HOSHIMI NO OKA SONATA / Lantern Soft / DISC " + std::to_string(d + 1) + "\r\n";
    if (!writeBytes(project, "disc" + std::to_string(d + 1), kKeyFiles[d], key, error)) return false;
  }
  if (!copyStandin(project, standins, "sample-game.exe", "files", kGameName, "game", error) ||
      !copyStandin(project, standins, "sample-dxsetup.exe", "disc1", kDxSetupPath, "DirectX setup",
                   error))
    return false;

  std::string text, cp932;
  if (!readText(source + "/README.TXT.in", &text, error) || !toCp932(text, &cp932, error) ||
      !writeBytes(project, "files", "説明書\\説明書.TXT", cp932, error))
    return false;

  if (!writePictures(project, font, error)) return false;

  // The script as it is: the build converts it and fills its sizes.
  return readText(source + "/KSetup.ini.in", &text, error) &&
         writeBytes(project, ".", "KSetup.ini", text, error);
}

int main(int argc, char** argv) {
  std::string project, standins, font, source = KSETUP_SAMPLES_SOURCE;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    bool value = i + 1 < argc;
    if (a == "--standins" && value)
      standins = argv[++i];
    else if (a == "--font" && value)
      font = argv[++i];
    else if (a == "--source" && value)
      source = argv[++i];
    else if (a.rfind("--", 0) != 0 && project.empty())
      project = a;
    else {
      fputs(kUsage, stderr);
      return 2;
    }
  }
  if (project.empty()) {
    fputs(kUsage, stderr);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  printf("make-samples: writing %s\n", project.c_str());
  std::string error;
  if (!makeSamples(project, standins, font, source, &error)) {
    fprintf(stderr, "make-samples: %s\n", error.c_str());
    return 1;
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("make-samples: done in %.1f s\n", seconds);
  return 0;
}
