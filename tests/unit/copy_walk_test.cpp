// The copy of one disc's files: blocks and message checks, wildcard entries,
// a shrinking or huge source, a missing buffer, entries that would reach
// outside the install folder. Pause, abort and every failed or short read,
// write, open and create are covered per step by fault_matrix_test.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "uninstall/removal.h"

namespace {

// ---- Fault-injecting file operations ----------------------------------------------

struct Faults {
  bool hugeSize;  // every size is 4 GiB
  int opens, creates, reads, writes;
  std::vector<std::string> touched;  // "op path" for every call that names a path
};
Faults faults;

const FileOps* real() { return platformFileOps(); }
void touch(const char* op, const char* path) { faults.touched.push_back(std::string(op) + " " + path); }

void* fOpenRead(const char* path) {
  touch("open", path);
  ++faults.opens;
  return real()->openRead(path);
}
bool fSize(void* file, uint64_t* bytes) {
  if (faults.hugeSize) {
    *bytes = 0x100000000ull;
    return true;
  }
  return real()->size(file, bytes);
}
void* fCreate(const char* path) {
  touch("create", path);
  ++faults.creates;
  return real()->create(path);
}
bool fRead(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  ++faults.reads;
  return real()->read(file, buffer, bytes, moved);
}
bool fWrite(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  ++faults.writes;
  return real()->write(file, buffer, bytes, moved);
}
void* fFindFirst(const char* pattern, FoundName* found) {
  touch("find", pattern);
  return real()->findFirst(pattern, found);
}
DeleteResult fDelete(const char* path) {
  touch("delete", path);
  return real()->deleteFile(path);
}
bool fCreateFolder(const char* path) {
  touch("mkdir", path);
  return real()->createFolder(path);
}
bool fRemoveFolder(const char* path) {
  touch("rmdir", path);
  return real()->removeFolder(path);
}
bool fSetCurrent(const char* path) {
  touch("cd", path);
  return real()->setCurrent(path);
}
void fSleep(uint32_t) {}

FileOps faultOps() {
  FileOps ops = *real();
  ops.openRead = fOpenRead;
  ops.size = fSize;
  ops.create = fCreate;
  ops.read = fRead;
  ops.write = fWrite;
  ops.findFirst = fFindFirst;
  ops.deleteFile = fDelete;
  ops.createFolder = fCreateFolder;
  ops.removeFolder = fRemoveFolder;
  ops.setCurrent = fSetCurrent;
  ops.sleep = fSleep;
  return ops;
}

// ---- One copy run ----------------------------------------------------------------

typedef std::tuple<uint32_t, int, int> Post;

struct Walk {
  int checks = 0;
  std::vector<int> readsAtCheck;           // faults.reads seen at each check
  std::function<void(int)> onCheck;        // called with the check number
  std::vector<Post> posts;
};

int runCheck(void* context) {
  Walk* run = static_cast<Walk*>(context);
  run->checks++;
  run->readsAtCheck.push_back(faults.reads);
  if (run->onCheck) run->onCheck(run->checks);
  return kCopyContinue;
}

void runPost(void* context, uint32_t message, int disc, int entry) {
  static_cast<Walk*>(context)->posts.emplace_back(message, disc, entry);
}

std::string pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; i++) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 12)) & 0xFF);
  return s;
}

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class CopyWalk : public ::testing::Test {
 protected:
  TempDir disc, base;
  std::string root, folder, hostFolder;  // folder in the program's form, hostFolder for checks
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  FileOps ops = faultOps();

  void SetUp() override {
    releaseConfig();
    clearLists();
    faults = Faults();
    setFileOps(&ops);
    root = disc.path + "\\";
    folder = base.path + "\\Game";
    hostFolder = base.path + "/Game";
    snprintf(installFolder, sizeof installFolder, "%s", folder.c_str());
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    previousFolder = cwd;
  }
  void TearDown() override {
    setFileOps(nullptr);
    heapFailAfter(0);
    clearLists();
    installFolder[0] = 0;
    ASSERT_EQ(chdir(previousFolder.c_str()), 0);
  }

  void clearLists() {
    for (int d = 0; d < kDiscs; d++)
      for (int i = 0; i < kFilesPerDisc; i++) {
        heapFree(config.fileList[d][i]);
        config.fileList[d][i] = nullptr;
        config.fileOption[d][i] = 0;
      }
    memset(config.makeFolder, 0, sizeof config.makeFolder);
    memset(config.saveData, 0, sizeof config.saveData);
  }
  void setList(int d, std::vector<std::pair<std::string, uint32_t>> entries) {
    for (size_t i = 0; i < entries.size(); i++) {
      config.fileList[d][i] = static_cast<char*>(heapAlloc(kPathSize));
      snprintf(config.fileList[d][i], kPathSize, "%s", entries[i].first.c_str());
      config.fileOption[d][i] = entries[i].second;
    }
  }
  void setFolders(std::vector<std::string> names) {
    for (size_t k = 0; k < names.size(); k++)
      snprintf(config.makeFolder[k], kTextSize, "%s", names[k].c_str());
  }
  // Source file on the disc; `name` uses '/'.
  void put(const std::string& name, const std::string& data) {
    for (size_t i = name.find('/'); i != std::string::npos; i = name.find('/', i + 1))
      mkdir(disc.file(name.substr(0, i)).c_str(), 0777);
    writeFile(disc.file(name), data);
  }
  std::string installed(const std::string& name) { return hostFolder + "/" + name; }

  CopyEnd copy(int d, Walk* run, uint32_t option = 8, const char* destination = nullptr) {
    CopyJob job = {d, option, destination ? destination : folder.c_str(), root.c_str(),
                   &bytesRead, &bytesWritten, runCheck, runPost, run};
    return copyDisc(&job);
  }
  void prepareFolders() { ASSERT_TRUE(createInstallFolders()); }

  std::string previousFolder;
};

const Post nextDisc{MSG_NEXT_DISC, 0, 0};

// ---- Blocks, checks and counters ------------------------------------------------------

TEST_F(CopyWalk, MovesFilesInBlocksWithChecksBeforeEveryBlockButTheLast) {
  const std::string a = pattern(4096, 1), b = pattern(4097, 2), d = pattern(3 * 4096 + 1, 3);
  put("A.BIN", a);
  put("B.BIN", b);
  put("C.BIN", "");
  put("D.BIN", d);
  put("E.BIN", "not for this option");
  setList(0, {{"A.BIN", 8}, {"B.BIN", 8 | 4}, {"C.BIN", 8}, {"E.BIN", 2}, {"D.BIN", 8}});
  prepareFolders();

  Walk run;
  EXPECT_EQ(copy(0, &run), kCopyDone);
  EXPECT_EQ(run.posts, std::vector<Post>{nextDisc});
  // Entry starts (A, B, C, E, D, end of list) and one check before each full
  // block that is not a file's last: one for B, three for D; the reads done
  // by then show where each check fell.
  EXPECT_EQ(run.readsAtCheck, (std::vector<int>{0, 1, 1, 3, 3, 3, 3, 4, 5, 7}));
  EXPECT_TRUE(readFile(installed("A.BIN")) == a) << "A.BIN differs";
  EXPECT_TRUE(readFile(installed("B.BIN")) == b) << "B.BIN differs";
  EXPECT_TRUE(fileExists(installed("C.BIN")));
  EXPECT_EQ(readFile(installed("C.BIN")), "");
  EXPECT_TRUE(readFile(installed("D.BIN")) == d) << "D.BIN differs";
  EXPECT_FALSE(fileExists(installed("E.BIN")));
  const uint64_t total = a.size() + b.size() + d.size();
  EXPECT_EQ(bytesRead.load(), total);
  EXPECT_EQ(bytesWritten.load(), total);

  // Another option copies only what it selects, and an existing file is replaced.
  writeFile(installed("B.BIN"), "older and longer than nothing at all");
  Walk second;
  bytesRead = bytesWritten = 0;
  EXPECT_EQ(copy(0, &second, 4), kCopyDone);
  EXPECT_TRUE(readFile(installed("B.BIN")) == b) << "B.BIN differs";
  EXPECT_EQ(bytesRead.load(), b.size());
}

TEST_F(CopyWalk, WildcardEntriesCopyMatchingFilesOfOneFolderWithoutChecksBetweenThem) {
  put("DATA/A.BIN", pattern(5000, 4));
  put("DATA/b.bin", "bee");
  put("DATA/C.TXT", "text");
  put("DATA/SUB.BIN/INNER.BIN", "inner");
  put("X.BIN", "root file");
  put("Y.DAT", "other");
  setList(0, {{"DATA\\*.BIN", 8}, {"*.bin", 8}, {"NONE\\*.BIN", 8}, {"*.XYZ", 8}, {"Y.DAT", 8}});
  setFolders({"DATA"});
  prepareFolders();

  Walk run;
  EXPECT_EQ(copy(0, &run), kCopyDone);
  EXPECT_EQ(run.posts, std::vector<Post>{nextDisc});
  EXPECT_TRUE(readFile(installed("DATA/A.BIN")) == pattern(5000, 4)) << "DATA/A.BIN differs";
  EXPECT_EQ(readFile(installed("DATA/b.bin")), "bee");
  EXPECT_FALSE(fileExists(installed("DATA/C.TXT")));
  EXPECT_FALSE(fileExists(installed("DATA/SUB.BIN")));  // folders are passed over
  EXPECT_EQ(readFile(installed("X.BIN")), "root file");  // bare pattern: disc root to folder
  EXPECT_EQ(readFile(installed("Y.DAT")), "other");
  // Five entry starts, the end of the list, and one block check in A.BIN.
  EXPECT_EQ(run.checks, 7);
}

TEST_F(CopyWalk, MissingDestinationFolderIsWriteErrorOfThatEntryAndUndoesTheCopy) {
  put("A.BIN", "a");
  put("DATA/B.BIN", "b");
  setList(0, {{"A.BIN", 8}, {"DATA\\B.BIN", 8}});
  prepareFolders();  // no makeFolder entry for DATA
  Walk run;
  EXPECT_EQ(copy(0, &run), kCopyFailed);
  EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_WRITE_ERROR, 0, 1}}));
  EXPECT_FALSE(fileExists(installed("A.BIN")));
  EXPECT_FALSE(fileExists(hostFolder));
}

TEST_F(CopyWalk, ShrinkingSourceHugeSourceAndMissingBufferAreReadErrors) {
  put("A.BIN", "a");
  put("SHRINK.BIN", pattern(20000, 11));
  setList(0, {{"A.BIN", 8}, {"SHRINK.BIN", 8}});
  prepareFolders();

  // The source loses its tail after its first block has been copied.
  Walk run;
  run.onCheck = [&](int n) {
    if (n == 4) {
      ASSERT_EQ(truncate(disc.file("SHRINK.BIN").c_str(), 5000), 0);
    }
  };
  EXPECT_EQ(copy(0, &run), kCopyFailed);
  EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_READ_ERROR, 0, 1}}));
  EXPECT_FALSE(fileExists(hostFolder));

  // Files of 4 GiB and more are refused before anything is created.
  prepareFolders();
  faults = Faults();
  faults.hugeSize = true;
  Walk huge;
  EXPECT_EQ(copy(0, &huge), kCopyFailed);
  EXPECT_EQ(huge.posts, (std::vector<Post>{{MSG_READ_ERROR, 0, 0}}));
  EXPECT_EQ(faults.creates, 0);
  faults.hugeSize = false;

  // No transfer buffer: the first file to copy reports a read error, nothing opened.
  prepareFolders();
  faults = Faults();
  Walk noBuffer;
  heapFailAfter(1);
  EXPECT_EQ(copy(0, &noBuffer), kCopyFailed);
  heapFailAfter(0);
  EXPECT_EQ(noBuffer.posts, (std::vector<Post>{{MSG_READ_ERROR, 0, 0}}));
  EXPECT_EQ(faults.opens, 0);
  EXPECT_FALSE(fileExists(hostFolder));
}

// ---- Nothing outside the install folder -------------------------------------------------

TEST_F(CopyWalk, EntriesReachingOutsideTheFolderAreRefusedAndNothingOutsideIsTouched) {
  put("A.BIN", "a");
  writeFile(base.file("evil.bin"), "outside, must stay");
  std::string longName(kPathSize - folder.size() - 1, 'L');  // fits the disc, not the folder
  const std::vector<std::string> unsafe = {
      "..\\evil.bin",  "DATA\\..\\..\\evil.bin", "..\\*.bin", "... \\evil.bin", "C:\\evil.bin",
      "\\\\server\\share\\evil.bin", "//server/share/evil.bin", "A.BIN:stream", "../evil.bin",
      longName};
  put(longName, "long");
  for (const std::string& entry : unsafe) {
    SCOPED_TRACE(entry);
    clearLists();
    setList(0, {{"A.BIN", 8}, {entry, 8}});
    prepareFolders();
    faults = Faults();
    Walk run;
    EXPECT_EQ(copy(0, &run), kCopyFailed);
    EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_WRITE_ERROR, 0, 1}}));
    EXPECT_EQ(readFile(base.file("evil.bin")), "outside, must stay");
    EXPECT_FALSE(fileExists(hostFolder));
    for (const std::string& t : faults.touched) {
      const std::string path = t.substr(t.find(' ') + 1);
      EXPECT_TRUE(path.compare(0, folder.size(), folder) == 0 ||
                  path.compare(0, root.size(), root) == 0 || path == "/")
          << t;
    }
  }

  // An empty or relative install folder: nothing is created, copied or removed.
  for (const char* destination : {"", "Game", "C:Game"}) {
    SCOPED_TRACE(destination);
    clearLists();
    setList(0, {{"A.BIN", 8}});
    faults = Faults();
    Walk run;
    EXPECT_EQ(copy(0, &run, 8, destination), kCopyFailed);
    EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_WRITE_ERROR, 0, 0}}));
    EXPECT_TRUE(faults.touched.empty());
    snprintf(installFolder, sizeof installFolder, "%s", destination);
    EXPECT_FALSE(createInstallFolders());
  }
}

// ---- Path helpers --------------------------------------------------------------------

TEST(CopyPaths, RootsFolderPartsAndJoins) {
  char root[kPathSize];
  ASSERT_TRUE(sourceRootOf(4, root));
  EXPECT_STREQ(root, "D:\\");
  ASSERT_TRUE(sourceRootOf(26, root));
  EXPECT_STREQ(root, "Z:\\");
  EXPECT_FALSE(sourceRootOf(0, root));
  EXPECT_FALSE(sourceRootOf(27, root));

  ASSERT_TRUE(driveRootOf("D:\\Games\\Demo", root, sizeof root));
  EXPECT_STREQ(root, "D:\\");
  ASSERT_TRUE(driveRootOf("e:/x", root, sizeof root));
  EXPECT_STREQ(root, "e:\\");
  ASSERT_TRUE(driveRootOf("/tmp/x/Game", root, sizeof root));
  EXPECT_STREQ(root, "/");
  ASSERT_TRUE(driveRootOf("\\\\server\\share\\Games", root, sizeof root));
  EXPECT_STREQ(root, "\\\\server\\share\\");
  EXPECT_FALSE(driveRootOf("C:Games", root, sizeof root));
  EXPECT_FALSE(driveRootOf("Games\\Demo", root, sizeof root));
  EXPECT_FALSE(driveRootOf("\\\\server", root, sizeof root));
  EXPECT_FALSE(driveRootOf("D:\\x", root, 3));

  char part[kPathSize];
  patternFolderPart("DATA\\SUB\\*.BIN", part);
  EXPECT_STREQ(part, "DATA\\SUB");
  patternFolderPart("\\*.BIN", part);
  EXPECT_STREQ(part, "");
  patternFolderPart("*.BIN", part);
  EXPECT_STREQ(part, "");

  char path[kPathSize];
  EXPECT_TRUE(installPath(path, "C:\\Game", "DATA", "A.BIN"));
  EXPECT_STREQ(path, "C:\\Game\\DATA\\A.BIN");
  EXPECT_TRUE(installPath(path, "C:\\Game", "", "A.BIN"));
  EXPECT_STREQ(path, "C:\\Game\\A.BIN");
  EXPECT_TRUE(installPath(path, "C:\\Game", "\\A.BIN", nullptr));  // a doubled separator
  EXPECT_FALSE(installPath(path, "C:\\Game", "DATA", ".."));
  EXPECT_STREQ(path, "");
  EXPECT_TRUE(entryIsSafe("a.b\\.\\x..y\\...z"));
  EXPECT_FALSE(entryIsSafe(""));
  EXPECT_FALSE(entryIsSafe("x\\ ..\\y"));

  // Exactly 259 bytes fit; one more is refused, not cut.
  std::string name(259 - strlen("C:\\G\\"), 'n');
  EXPECT_TRUE(installPath(path, "C:\\G", name.c_str(), nullptr));
  EXPECT_EQ(strlen(path), 259u);
  name += 'n';
  EXPECT_FALSE(installPath(path, "C:\\G", name.c_str(), nullptr));
}

TEST_F(CopyWalk, InstallFoldersAreMadeLevelByLevelAndUnsafeOnesRefused) {
  setFolders({"DATA", "DATA\\SUB\\DEEP", "SAVE"});
  folder = base.path + "\\Games\\Maker\\Game";
  snprintf(installFolder, sizeof installFolder, "%s", folder.c_str());
  const std::string host = base.path + "/Games/Maker/Game";
  ASSERT_TRUE(createInstallFolders());
  EXPECT_TRUE(isFolder(host + "/DATA/SUB/DEEP"));
  EXPECT_TRUE(isFolder(host + "/SAVE"));
  EXPECT_TRUE(createInstallFolders());  // existing folders are no failure

  clearLists();
  setFolders({"OK", "..\\ESCAPE", "AFTER"});
  EXPECT_FALSE(createInstallFolders());
  EXPECT_TRUE(isFolder(host + "/OK"));
  EXPECT_FALSE(isFolder(base.path + "/Games/Maker/ESCAPE"));
  EXPECT_FALSE(isFolder(host + "/AFTER"));

  heapFailAfter(1);
  EXPECT_FALSE(createPath((folder + "\\X").c_str()));
  heapFailAfter(0);
  EXPECT_FALSE(createPath(std::string(300, 'x').c_str()));
}

}  // namespace
