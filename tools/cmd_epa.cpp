// epa info | decode | encode
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/epa.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/png_io.h"
#include "tools/tool.h"

static const char kEpaUsage[] =
    "epa info FILE | epa decode FILE OUT.png | epa encode IN.png OUT.epa [--mode 0|1|2]";

static std::string headerError(int code) {
  const char* why = "unknown error";
  switch (code) {
    case kEpaBadMagic: why = "no \"EP\" signature"; break;
    case kEpaBadVersion: why = "byte 2 is not 1"; break;
    case kEpaBadMode: why = "byte 3 is not 1 or the colour mode is not 0, 1 or 2"; break;
    case kEpaShortFile: why = "file ends inside the header or palette"; break;
    case kEpaBadSize: why = "width or height is 0, or the picture is too large"; break;
  }
  return "not a usable EPA picture (error " + std::to_string(code) + ": " + why + ")";
}

static int epaInfo(const std::string& path) {
  std::string file;
  if (!readWholeFile(path, &file)) return failInput(path, strerror(errno));
  EpaInfo info;
  int code = readEpaHeader(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &info);
  if (code != 0) return failInput(path, headerError(code));
  printf("width=%u height=%u bits=%u\n", info.width, info.height, info.bitsPerPixel);
  return kExitOk;
}

static int epaDecode(const std::string& path, const std::string& outPath) {
  std::string file;
  if (!readWholeFile(path, &file)) return failInput(path, strerror(errno));
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  EpaInfo info;
  int code = readEpaHeader(data, file.size(), &info);
  if (code != 0) return failInput(path, headerError(code));
  std::vector<uint32_t> picture(size_t(info.width) * info.height);
  code = decodeEpa(data, file.size(), picture.data());
  if (code == kEpaNoMemory) return failInput(path, "out of memory");
  if (code != 0)
    return failInput(path, "damaged picture stream (cut short, or a copy reaching outside the planes)");
  std::string error;
  if (!writePng(outPath, picture.data(), info.width, info.height, &error))
    return failInput(outPath, error);
  return kExitOk;
}

static int epaEncode(const std::string& inPath, const std::string& outPath, int mode) {
  std::vector<uint32_t> picture;
  uint32_t width = 0, height = 0;
  std::string error;
  if (!readPng(inPath, &picture, &width, &height, &error)) return failInput(inPath, error);
  if (mode < 0) mode = chooseEpaMode(picture.data(), width, height);
  std::string epa;
  if (!encodeEpa(picture.data(), width, height, mode, &epa, &error)) return failInput(inPath, error);
  if (!writeWholeFile(outPath, epa.data(), epa.size())) return failInput(outPath, strerror(errno));
  return kExitOk;
}

int toolEpa(int argc, char** argv) {
  if (argc < 1) return failUsage(kEpaUsage);
  const std::string command = argv[0];
  std::vector<std::string> args;
  int mode = -1;
  for (int i = 1; i < argc; i++) {
    if (command == "encode" && !strcmp(argv[i], "--mode")) {
      if (i + 1 >= argc || strlen(argv[i + 1]) != 1 || argv[i + 1][0] < '0' || argv[i + 1][0] > '2')
        return failUsage(kEpaUsage);
      mode = argv[++i][0] - '0';
    } else {
      args.push_back(argv[i]);
    }
  }
  if (command == "info" && args.size() == 1) return epaInfo(args[0]);
  if (command == "decode" && args.size() == 2) return epaDecode(args[0], args[1]);
  if (command == "encode" && args.size() == 2) return epaEncode(args[0], args[1], mode);
  return failUsage(kEpaUsage);
}
