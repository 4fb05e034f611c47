#include "tools/lib/project.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "install/install_path.h"
#include "platform/sjis.h"
#include "platform/text.h"
#include "tools/lib/image_drive.h"
#include "tools/lib/script_check.h"

namespace fs = std::filesystem;

// ---- Names -----------------------------------------------------------------------------

std::string pathKey(const std::string& utf8) {
  std::string cp932;
  return utf8ToCp932(utf8.data(), utf8.size(), &cp932) ? comparable(cp932) : utf8;
}

std::string discPathOf(const std::string& cp932) {
  std::string out;
  for (const char* p = cp932.c_str(); *p;) {
    size_t length = sjisPartLength(p, "\\");
    if (length > 0) out += (out.empty() ? "" : "/") + cp932ToUtf8(p, length);
    p += length;
    if (*p) p++;
  }
  return out;
}

std::string shownText(const char* cp932) { return cp932ToUtf8(cp932, strlen(cp932)); }

std::vector<std::string> regularFilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
  std::sort(files.begin(), files.end());
  return files;
}

// ---- The project ------------------------------------------------------------------------

// project.ini: EPAMODE lines and the release settings; blank lines and
// REM, // or # comments.
static bool readSettings(Project* p, Failure* failure) {
  std::string path = p->folder + "/project.ini";
  std::string text;
  if (!readWholeFile(path, &text)) return true;
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
    int taken = takeReleaseSetting(l, p->folder, &p->settings, &reason);
    if (taken < 0) {
      *failure = {path + ":" + std::to_string(line), reason};
      return false;
    }
    if (taken > 0) continue;
    char name[256] = {};
    int mode = -1;
    char extra = 0;
    if (sscanf(l.c_str(), "EPAMODE %255s = %d %c", name, &mode, &extra) != 2 || mode < 0 ||
        mode > 2) {
      *failure = {path + ":" + std::to_string(line),
                  "not a setting: write EPAMODE NAME.EPA = 0, 1 or 2"};
      return false;
    }
    p->modes[pathKey(name)] = mode;
  }
  return true;
}

bool openProject(const std::string& folder, Project* project, Failure* failure) {
  project->folder = folder;
  project->scriptName = folder + "/KSetup.ini";
  if (!isFolder(folder)) {
    *failure = {folder, "no such project folder"};
    return false;
  }
  for (const char* sub : {"files", "pictures"})
    if (!isFolder(folder + "/" + sub)) {
      *failure = {folder + "/" + sub, "missing: a project keeps its " + std::string(sub) + " here"};
      return false;
    }
  mapDrive(kFilesDrive, folder + "/files");
  return readSettings(project, failure);
}

// The script as code page 932: UTF-8 text is converted (CR LF line ends),
// anything else is taken as code page 932.
static bool readScript(Project* p, Failure* failure) {
  std::string text;
  if (!readWholeFile(p->scriptName, &text)) {
    *failure = {p->scriptName, "no setup script"};
    return false;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::string cp932, unused;
  bool utf8 = isUtf8(text.data(), text.size());
  if (utf8 && utf8ToCp932(text.data(), text.size(), &cp932)) {
    p->script.clear();
    for (char c : cp932) {
      if (c == '\r') continue;
      if (c == '\n') p->script += '\r';
      p->script += c;
    }
    return true;
  }
  if (!utf8 && cp932ToUtf8Strict(text.data(), text.size(), &unused)) {
    p->script = text;
    return true;
  }
  if (!utf8) {
    *failure = {p->scriptName, "neither UTF-8 nor code page 932 text"};
    return false;
  }
  // UTF-8 with a character code page 932 does not hold: name its line.
  int line = 1;
  for (size_t at = 0; at < text.size(); line++) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (!utf8ToCp932(text.data() + at, end - at, &unused)) break;
    at = end + 1;
  }
  *failure = {p->scriptName + ":" + std::to_string(line),
              "a character that code page 932, the script's text for the program, does not have"};
  return false;
}

// Replaces every {size PATH} outside comment lines by the bytes PATH stands
// for in files/.
static bool fillSizes(Project* p, Failure* failure) {
  std::string filled;
  const std::string root = std::string(1, kFilesDrive) + ":\\";
  size_t at = 0;
  for (int line = 1; at < p->script.size(); line++) {
    size_t end = p->script.find('\n', at);
    end = end == std::string::npos ? p->script.size() : end + 1;
    std::string text = p->script.substr(at, end - at);
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
      std::string where = p->scriptName + ":" + std::to_string(line);
      if (close >= text.size() || text[close] != '}') {
        *failure = {where, "{size without its closing }"};
        return false;
      }
      std::string path = text.substr(i + 6, close - i - 6);
      uint64_t bytes = 0;
      if (!entryIsSafe(path.c_str()) || entryFiles(root, path, &bytes, nullptr, nullptr) == 0) {
        *failure = {where, "{size " + shownText(path.c_str()) + "}: no such file in " + p->folder +
                               "/files"};
        return false;
      }
      if (bytes > 0xFFFFFFFFull) {
        *failure = {where, "{size " + shownText(path.c_str()) +
                               "}: 4 GiB or more, which FILESIZE cannot hold"};
        return false;
      }
      out += std::to_string(bytes);
      i = close + 1;
    }
    filled += out;
  }
  p->script = filled;
  return true;
}

bool readProjectScript(Project* project, Failure* failure) {
  return readScript(project, failure) && fillSizes(project, failure);
}
