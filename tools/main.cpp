#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/cmd_help.h"
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
    "             [--sign-pkcs12 FILE | --sign-cert CERT.pem --sign-key KEY.pem]\n"
    "             [--sign-password-file FILE] [--timestamp URL]\n"
    "  disc verify DIR\n"
    "  disc list IMAGE\n"
    "DIR and DISCn: a disc folder or an ISO 9660 disc image.\n"
    "ksetup-tool --version; ksetup-tool COMMAND --help; man ksetup-tool.\n";

int failInput(const std::string& file, const std::string& reason) {
  fprintf(stderr, "ksetup-tool: %s: %s\n", file.c_str(), reason.c_str());
  return kExitBadInput;
}

int failInput(const Failure& failure) { return failInput(failure.file, failure.reason); }

void printWarnings(const Warnings& warnings) {
  for (const Failure& w : warnings)
    fprintf(stderr, "ksetup-tool: %s: warning: %s\n", w.file.c_str(), w.reason.c_str());
}

int failUsage(const char* usage) {
  fprintf(stderr, "usage: ksetup-tool %s\n", usage);
  return kExitUsage;
}

int main(int argc, char** argv) {
  if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
    fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitUsage : kExitOk;
  }
  const char* group = argv[1];
  int help = answerHelp(argc, argv, kUsage);
  if (help >= 0) return help;
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
