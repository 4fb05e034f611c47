#include "tools/lib/host_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/text.h"

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

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
