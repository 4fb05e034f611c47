// removal_probe.exe FOLDER FLAG: the removal of installed files as the
// uninstall dialog runs it, with the Windows file operations: loads
// KSetup.ini from the current folder, takes FOLDER as the install folder and
// calls removeInstalledFiles(FLAG). Prints "result N" and the current folder
// afterwards; exit code 0, or 2 when the script does not load.
#include <windows.h>

#include "install/install_path.h"
#include "install/removal.h"
#include "platform/platform.h"
#include "script/config.h"

static void print(const char* text) {
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, nullptr);
}

int main(int argc, char** argv) {
  if (argc != 3 || lstrlenA(argv[1]) >= int(sizeof installFolder)) return 2;
  releaseConfig();
  if (!loadConfig()) {
    print("script not loaded\r\n");
    return 2;
  }
  lstrcpyA(installFolder, argv[1]);
  bool result = removeInstalledFiles(argv[2][0] == '1');
  char line[MAX_PATH + 32], current[MAX_PATH] = {0};
  GetCurrentDirectoryA(MAX_PATH, current);
  wsprintfA(line, "result %d\r\ncurrent %s\r\n", result ? 1 : 0, current);
  print(line);
  releaseConfig();
  return 0;
}
