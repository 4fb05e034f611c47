// Shared by the copy, fault-matrix and removal tests: the script's install
// lists filled and cleared, files put on a disc folder, and file operations
// that record every path they are given and fail where a test asks them to.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "install/file_ops.h"
#include "install/install_path.h"
#include "install/removal.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"

// Frees every file list entry and clears the options, MAKEFOLDER and SAVEDATA.
inline void clearInstallLists() {
  for (int d = 0; d < kDiscs; d++)
    for (int i = 0; i < kFilesPerDisc; i++) {
      heapFree(config.fileList[d][i]);
      config.fileList[d][i] = nullptr;
      config.fileOption[d][i] = 0;
    }
  memset(config.makeFolder, 0, sizeof config.makeFolder);
  memset(config.saveData, 0, sizeof config.saveData);
}

// Disc d's file list from entry 0, each name with its option bits.
inline void setFileList(int d, const std::vector<std::pair<std::string, uint32_t>>& entries) {
  for (size_t i = 0; i < entries.size(); i++) {
    heapFree(config.fileList[d][i]);
    config.fileList[d][i] = static_cast<char*>(heapAlloc(kPathSize));
    snprintf(config.fileList[d][i], kPathSize, "%s", entries[i].first.c_str());
    config.fileOption[d][i] = entries[i].second;
  }
}
inline void setFileNames(int d, const std::vector<std::string>& names) {
  std::vector<std::pair<std::string, uint32_t>> entries;
  for (const std::string& n : names) entries.emplace_back(n, 0);
  setFileList(d, entries);
}

// MAKEFOLDER or SAVEDATA items from item 0.
inline void setTexts(char (*table)[kTextSize], const std::vector<std::string>& items) {
  for (size_t k = 0; k < items.size(); k++) snprintf(table[k], kTextSize, "%s", items[k].c_str());
}

inline void setInstallFolder(const std::string& path) {
  snprintf(installFolder, sizeof installFolder, "%s", path.c_str());
}

inline std::string hostForm(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// Writes `name` ('/' or '\' separated) below `root`, making its folders.
inline void putFile(const std::string& root, const std::string& name, const std::string& data) {
  const std::string path = hostForm(name);
  for (size_t i = path.find('/'); i != std::string::npos; i = path.find('/', i + 1))
    mkdir((root + "/" + path.substr(0, i)).c_str(), 0777);
  writeFile(root + "/" + path, data);
}

// ---- Recording and failing file operations ------------------------------------------

// FileOps holds plain functions, so the log is one for the whole program;
// reset it (opLog = OpLog()) in every test's SetUp.
struct OpLog {
  std::vector<std::pair<std::string, std::string>> touched;  // {op, path}; sleeps as {"sleep", ms}
  int opens = 0, creates = 0, reads = 0, writes = 0;
  bool hugeSize = false;       // every size reads as 4 GiB
  bool offline = false;        // searches, deletions and folder changes never reach the disk
  bool aliasSearches = false;  // a search returns every name of the pattern's folder, as a
                               // Windows search may through short 8.3 aliases
  std::function<bool(int n)> failOpen, failCreate;  // n: the call's number, from 1
  // May shorten *bytes; false fails the call with nothing moved.
  std::function<bool(int n, uint32_t* bytes)> onRead, onWrite;
  std::function<bool(const char*path)> refuseDelete, refuseMove;
  std::function<void(const char* path)> onSetCurrent;

  std::vector<std::string> calls() const {
    std::vector<std::string> out;
    for (const auto& t : touched) out.push_back(t.first + " " + t.second);
    return out;
  }
};
inline OpLog opLog;
inline std::mutex opLogLock;

namespace oplog_detail {
inline const FileOps* real() { return platformFileOps(); }
inline void touch(const char* op, const std::string& path) {
  std::lock_guard<std::mutex> lock(opLogLock);
  opLog.touched.emplace_back(op, path);
}
inline void* openRead(const char* path) {
  touch("open", path);
  int n = ++opLog.opens;
  return opLog.failOpen && opLog.failOpen(n) ? nullptr : real()->openRead(path);
}
inline bool size(void* file, uint64_t* bytes) {
  if (!opLog.hugeSize) return real()->size(file, bytes);
  *bytes = 0x100000000ull;
  return true;
}
inline void* create(const char* path) {
  touch("create", path);
  int n = ++opLog.creates;
  return opLog.failCreate && opLog.failCreate(n) ? nullptr : real()->create(path);
}
inline bool read(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  int n = ++opLog.reads;
  if (opLog.onRead && !opLog.onRead(n, &bytes)) {
    *moved = 0;
    return false;
  }
  return real()->read(file, buffer, bytes, moved);
}
inline bool write(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  int n = ++opLog.writes;
  if (opLog.onWrite && !opLog.onWrite(n, &bytes)) {
    *moved = 0;
    return false;
  }
  return real()->write(file, buffer, bytes, moved);
}
inline void* findFirst(const char* pattern, FoundName* found) {
  touch("find", pattern);
  if (opLog.offline) return nullptr;
  if (!opLog.aliasSearches) return real()->findFirst(pattern, found);
  std::string all(pattern);
  size_t cut = all.find_last_of("\\/");
  all = (cut == std::string::npos ? std::string() : all.substr(0, cut + 1)) + "*";
  return real()->findFirst(all.c_str(), found);
}
// A file without write permission is refused as DeleteFileA refuses a
// read-only file (the tests may run with the rights to delete it anyway).
inline DeleteResult deleteFile(const char* path) {
  touch("delete", path);
  if (opLog.refuseDelete && opLog.refuseDelete(path)) return kDeleteFailed;
  if (opLog.offline) return kDeleteMissing;
  struct stat st;
  if (lstat(hostPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & 0222))
    return kDeleteFailed;
  return real()->deleteFile(path);
}
inline MoveResult moveFile(const char* from, const char* to) {
  touch("move", from);
  touch("move-to", to);
  if (opLog.refuseMove && opLog.refuseMove(from)) return kMoveFailed;
  return real()->moveFile(from, to);
}
inline bool createFolder(const char* path) {
  touch("mkdir", path);
  return real()->createFolder(path);
}
inline bool removeFolder(const char* path) {
  touch("rmdir", path);
  return !opLog.offline && real()->removeFolder(path);
}
inline bool setCurrent(const char* path) {
  touch("cd", path);
  if (opLog.onSetCurrent) opLog.onSetCurrent(path);
  return opLog.offline || real()->setCurrent(path);
}
inline void sleep(uint32_t ms) { touch("sleep", std::to_string(ms)); }
}  // namespace oplog_detail

inline FileOps loggingOps() {
  FileOps ops = *platformFileOps();
  ops.openRead = oplog_detail::openRead;
  ops.size = oplog_detail::size;
  ops.create = oplog_detail::create;
  ops.read = oplog_detail::read;
  ops.write = oplog_detail::write;
  ops.findFirst = oplog_detail::findFirst;
  ops.deleteFile = oplog_detail::deleteFile;
  ops.moveFile = oplog_detail::moveFile;
  ops.createFolder = oplog_detail::createFolder;
  ops.removeFolder = oplog_detail::removeFolder;
  ops.setCurrent = oplog_detail::setCurrent;
  ops.sleep = oplog_detail::sleep;
  return ops;
}

// Every touched path (sleeps left out) lies below `folder` or is the drive
// root "/" or starts with one of `alsoAllowed`; the offending calls otherwise.
inline std::vector<std::string> callsOutside(const std::string& folder,
                                            const std::vector<std::string>& alsoAllowed = {}) {
  std::vector<std::string> out;
  for (const auto& t : opLog.touched) {
    if (t.first == "sleep" || t.second == "/") continue;
    bool ok = t.second.compare(0, folder.size(), folder) == 0;
    for (const std::string& a : alsoAllowed) ok = ok || t.second.compare(0, a.size(), a) == 0;
    if (!ok) out.push_back(t.first + " " + t.second);
  }
  return out;
}

// The current folder when made, restored when it goes.
struct KeepCurrentFolder {
  std::string path;
  KeepCurrentFolder() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) path = cwd;
  }
  ~KeepCurrentFolder() {
    if (!path.empty() && chdir(path.c_str()) != 0) abort();
  }
};
