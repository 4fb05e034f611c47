#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/text.h"
#include "tools/tool.h"

static const char kUsage[] =
    "usage: ksetup-tool COMMAND ...\n"
    "  pak list ARCHIVE\n"
    "  pak extract ARCHIVE OUTDIR [MEMBER...]\n"
    "  pak create ARCHIVE [--short-names] FILE...\n"
    "  script dump DIR\n"
    "  script check DIR [--disc DISC1 [--disc DISC2 ...]]\n"
    "  epa info FILE\n"
    "  epa decode FILE OUT.png\n"
    "  epa encode IN.png OUT.epa [--mode 0|1|2]\n"
    "  scene render DIR --size WxH --values V1,V2,... --out PREFIX [--tick-ms 100] [--finish] [--gif OUT.gif]\n"
    "  install DIR --disc DISC1 [--disc DISC2 ...] --to FOLDER [--option 8|4|2]\n"
    "  uninstall DIR --from FOLDER [--save-data]\n"
    "  disc build PROJECT --out DIR [--image] [--exe KSetup.exe]\n"
    "  disc list IMAGE\n"
    "DIR and DISCn: a disc folder or an ISO 9660 disc image.\n";

int failInput(const std::string& file, const std::string& reason) {
  fprintf(stderr, "ksetup-tool: %s: %s\n", file.c_str(), reason.c_str());
  return kExitBadInput;
}

int failUsage(const char* usage) {
  fprintf(stderr, "usage: ksetup-tool %s\n", usage);
  return kExitUsage;
}

bool readWholeFile(const std::string& path, std::string* data) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  data->clear();
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data->append(buf, n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data, 1, size, f) == size;
  ok = fclose(f) == 0 && ok;
  return ok;
}

std::string mapDrive(char letter, const std::string& hostFolder) {
  setDriveFolder(letter, hostFolder.c_str());
  return std::string(1, letter) + ":\\";
}

std::string mapInstallFolder(const std::string& hostFolder, std::string* reason) {
  size_t slash = hostFolder.rfind('/');
  std::string parent = slash == 0 ? "/" : hostFolder.substr(0, slash);
  std::string name;
  if (slash == std::string::npos || slash + 1 >= hostFolder.size() ||
      !utf8ToCp932(hostFolder.data() + slash + 1, hostFolder.size() - slash - 1, &name)) {
    *reason = "its name cannot be written in code page 932, which the installer's names are";
    return "";
  }
  return mapDrive(kInstallDrive, parent) + name;
}

bool windowsReading(const std::string& utf8, std::string* out) {
  std::string cp932;
  if (!utf8ToCp932(utf8.data(), utf8.size(), &cp932)) return false;
  return cp932ToUtf8Strict(cp932.data(), cp932.size(), out);
}

int main(int argc, char** argv) {
  if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
    fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitUsage : kExitOk;
  }
  const char* group = argv[1];
  if (!strcmp(group, "pak")) return toolPak(argc - 2, argv + 2);
  if (!strcmp(group, "script")) return toolScript(argc - 2, argv + 2);
  if (!strcmp(group, "epa")) return toolEpa(argc - 2, argv + 2);
  if (!strcmp(group, "scene")) return toolScene(argc - 2, argv + 2);
  if (!strcmp(group, "install")) return toolInstall(argc - 2, argv + 2);
  if (!strcmp(group, "uninstall")) return toolUninstall(argc - 2, argv + 2);
  if (!strcmp(group, "disc")) return toolDisc(argc - 2, argv + 2);
  fputs(kUsage, stderr);
  return kExitUsage;
}
