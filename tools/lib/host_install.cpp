#include "tools/lib/host_install.h"

#include <unistd.h>

#include "install/install_path.h"
#include "platform/sjis.h"
#include "script/config.h"
#include "tools/lib/host_files.h"
#include "tools/lib/image_drive.h"

std::string programInstallFolder(const std::string& host, const std::string& what,
                                 std::string* reason) {
  if (host == "/") {
    *reason = what + " is the root folder";
    return "";
  }
  std::string why;
  std::string program = mapInstallFolder(host, &why);
  if (program.empty()) {
    *reason = what + ": " + why;
    return "";
  }
  if (sjisFindFirstOf(program.c_str() + 3, "\\") >= 0) {
    *reason = what + "'s name holds a backslash, which the installer reads as a separator";
    return "";
  }
  if (!folderIsUsable(program.c_str())) {
    *reason = what + " is longer than 259 bytes";
    return "";
  }
  return program;
}

bool loadScriptOf(const std::string& dir, std::string* reason) {
  std::string folder;
  if (!scriptFolderOf(dir, &folder, reason)) return false;
  if (chdir(folder.c_str()) != 0) {
    *reason = "no such folder";
    return false;
  }
  releaseConfig();
  if (!loadConfig()) {
    releaseConfig();
    *reason = "the setup script does not load (see ksetup-tool script check)";
    return false;
  }
  return true;
}

uint64_t bytesToCopy(int disc, const std::string& root, uint32_t option) {
  uint64_t total = 0;
  for (int i = 0; i < kFilesPerDisc && config.fileList[disc][i] && config.fileList[disc][i][0];
       i++) {
    uint64_t bytes = 0;
    if (config.fileOption[disc][i] & option)
      entryFiles(root, config.fileList[disc][i], &bytes, nullptr, nullptr);
    total += bytes;
  }
  return total;
}
