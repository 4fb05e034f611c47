// ksetup-dump: loads the setup script the way KSetup.exe does, from the
// current folder or from the folder given, and prints the configuration as
// the same JSON that `ksetup-tool script dump` prints. Built for Windows to
// show that the portable core reads scripts identically there.
#include <cstdio>

#include "platform/platform.h"
#include "script/config.h"
#include "tools/lib/config_json.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    fputs("usage: ksetup-dump [DIR]\n", stderr);
    return 2;
  }
  if (argc == 2 && !setCurrentFolder(argv[1])) {
    fprintf(stderr, "ksetup-dump: %s: cannot enter the folder\n", argv[1]);
    return 1;
  }
  releaseConfig();
  if (!loadConfig()) {
    fprintf(stderr, "ksetup-dump: KSetup.ini: the script is missing or a line breaks a rule\n");
    releaseConfig();
    return 1;
  }
  std::string json = configToJson();
  fwrite(json.data(), 1, json.size(), stdout);
  releaseConfig();
  return 0;
}
