// The copy of one disc's files: blocks and message checks, wildcard entries,
// a shrinking or huge source, a missing buffer, entries that would reach
// outside the install folder. Pause, abort and every failed or short read,
// write, open and create are covered per step by fault_matrix_test.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "install/install_path.h"
#include "install/removal.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/disc_fixture.h"

namespace {

namespace fs = std::filesystem;

// ---- One copy run ----------------------------------------------------------------

typedef std::tuple<uint32_t, int, int> Post;

struct Walk {
  int checks = 0;
  std::vector<int> readsAtCheck;           // opLog.reads seen at each check
  std::function<void(int)> onCheck;        // called with the check number
  std::vector<Post> posts;
};

int runCheck(void* context) {
  Walk* run = static_cast<Walk*>(context);
  run->checks++;
  run->readsAtCheck.push_back(opLog.reads);
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
  KeepCurrentFolder keep;
  std::string root, folder, hostFolder;  // folder in the program's form, hostFolder for checks
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  FileOps ops = loggingOps();

  void SetUp() override {
    releaseConfig();
    clearInstallLists();
    opLog = OpLog();
    setFileOps(&ops);
    root = disc.path + "\\";
    folder = base.path + "\\Game";
    hostFolder = base.path + "/Game";
    setInstallFolder(folder);
  }
  void TearDown() override {
    setFileOps(nullptr);
    heapFailAfter(0);
    clearInstallLists();
    installFolder[0] = 0;
  }
  void put(const std::string& name, const std::string& data) { putFile(disc.path, name, data); }
  std::string installed(const std::string& name) { return hostFolder + "/" + name; }

  CopyEnd copy(int d, Walk* run, uint32_t option = 8, const char* destination = nullptr,
               InstallJournal* journal = nullptr) {
    CopyJob job = {d, option, destination ? destination : folder.c_str(), root.c_str(),
                   &bytesRead, &bytesWritten, runCheck, runPost, run, journal};
    return copyDisc(&job);
  }
  void prepareFolders() { ASSERT_TRUE(createInstallFolders()); }
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
  setFileList(0, {{"A.BIN", 8}, {"B.BIN", 8 | 4}, {"C.BIN", 8}, {"E.BIN", 2}, {"D.BIN", 8}});
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
  setFileList(0, {{"DATA\\*.BIN", 8}, {"*.bin", 8}, {"NONE\\*.BIN", 8}, {"*.XYZ", 8}, {"Y.DAT", 8}});
  setTexts(config.makeFolder, {"DATA"});
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
  setFileList(0, {{"A.BIN", 8}, {"DATA\\B.BIN", 8}});
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
  setFileList(0, {{"A.BIN", 8}, {"SHRINK.BIN", 8}});
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
  opLog = OpLog();
  opLog.hugeSize = true;
  Walk huge;
  EXPECT_EQ(copy(0, &huge), kCopyFailed);
  EXPECT_EQ(huge.posts, (std::vector<Post>{{MSG_READ_ERROR, 0, 0}}));
  EXPECT_EQ(opLog.creates, 0);
  opLog.hugeSize = false;

  // No transfer buffer: the first file to copy reports a read error, nothing opened.
  prepareFolders();
  opLog = OpLog();
  Walk noBuffer;
  heapFailAfter(1);
  EXPECT_EQ(copy(0, &noBuffer), kCopyFailed);
  heapFailAfter(0);
  EXPECT_EQ(noBuffer.posts, (std::vector<Post>{{MSG_READ_ERROR, 0, 0}}));
  EXPECT_EQ(opLog.opens, 0);
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
    clearInstallLists();
    setFileList(0, {{"A.BIN", 8}, {entry, 8}});
    prepareFolders();
    opLog = OpLog();
    Walk run;
    EXPECT_EQ(copy(0, &run), kCopyFailed);
    EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_WRITE_ERROR, 0, 1}}));
    EXPECT_EQ(readFile(base.file("evil.bin")), "outside, must stay");
    EXPECT_FALSE(fileExists(hostFolder));
    EXPECT_EQ(callsOutside(folder, {root}), std::vector<std::string>{});
  }

  // An empty or relative install folder: nothing is created, copied or removed.
  for (const char* destination : {"", "Game", "C:Game"}) {
    SCOPED_TRACE(destination);
    clearInstallLists();
    setFileList(0, {{"A.BIN", 8}});
    opLog = OpLog();
    Walk run;
    EXPECT_EQ(copy(0, &run, 8, destination), kCopyFailed);
    EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_WRITE_ERROR, 0, 0}}));
    EXPECT_TRUE(opLog.touched.empty());
    snprintf(installFolder, sizeof installFolder, "%s", destination);
    EXPECT_FALSE(createInstallFolders());
  }
}

// An install that stops takes back the files it wrote, over all its discs,
// and nothing else: files the lists name that were there before and that it
// did not reach stay, and a file it replaced gets its former content back.
TEST_F(CopyWalk, TakingBackRemovesOnlyWhatThisInstallWrote) {
  setTexts(config.makeFolder, {"DATA"});
  setFileList(0, {{"A.BIN", 8}, {"DATA\\*.PAK", 8}});
  setFileList(1, {{"B.BIN", 8}, {"DATA\\C.BIN", 8}});
  put("A.BIN", pattern(5000, 1));
  put("DATA\\ONE.PAK", pattern(10, 2));
  put("DATA\\TWO.PAK", pattern(10, 3));
  put("B.BIN", pattern(9000, 4));
  prepareFolders();                                    // there before the install: they stay
  writeFile(installed("A.BIN"), "the player's");       // replaced, so restored
  writeFile(installed("DATA/C.BIN"), "the player's");  // never reached: stays
  InstallJournal journal = {};
  Walk first;
  ASSERT_EQ(copy(0, &first, 8, nullptr, &journal), kCopyDone);
  EXPECT_EQ(journal.count, 3u);
  EXPECT_EQ(readFile(installed("A.BIN.ksetup-old")), "the player's");
  Walk second;
  // Disc 2's first file is created, then its reading fails: it goes too.
  opLog.onRead = [](int, uint32_t*) { return false; };
  EXPECT_EQ(copy(1, &second, 8, nullptr, &journal), kCopyFailed);
  EXPECT_EQ(readFile(installed("A.BIN")), "the player's");
  EXPECT_FALSE(fileExists(installed("A.BIN.ksetup-old")));
  EXPECT_FALSE(fileExists(installed("DATA/ONE.PAK")));
  EXPECT_FALSE(fileExists(installed("B.BIN")));
  EXPECT_EQ(readFile(installed("DATA/C.BIN")), "the player's");
  EXPECT_TRUE(isFolder(installed("DATA")));
  EXPECT_EQ(journal.count, 0u);
  // Nothing written at all: nothing taken back but the folder it made.
  journalFree(&journal);
  setTexts(config.makeFolder, {"SAVE"});
  ASSERT_TRUE(createInstallFolders(nullptr, &journal));
  EXPECT_TRUE(takeBackInstall(folder.c_str(), &journal));
  EXPECT_FALSE(isFolder(installed("SAVE")));
  EXPECT_TRUE(isFolder(installed("DATA")));
  EXPECT_EQ(readFile(installed("DATA/C.BIN")), "the player's");
  // A journal that cannot grow stops the copy before the file is touched.
  journalFree(&journal);
  opLog.onRead = nullptr;
  Walk third;
  heapFailAfter(2);  // the copy buffer, then the journal's first block
  EXPECT_EQ(copy(0, &third, 8, nullptr, &journal), kCopyFailed);
  heapFailAfter(0);
  EXPECT_TRUE(readFile(installed("A.BIN")) == "the player's");
  EXPECT_FALSE(fileExists(installed("A.BIN.ksetup-old")));
  journalFree(&journal);
}

// Take-back and completion over folders that were or were not there, files
// the install replaced (once or twice), backup names already taken and a
// file that cannot be moved aside. Paths are below the test's base folder.
TEST_F(CopyWalk, JournalTakesBackExactlyWhatTheInstallChanged) {
  struct Case {
    const char* name;
    const char* game;                          // the install folder below base
    std::vector<std::string> before;           // folders (ending in '/') and files there before
    bool complete;                             // the install completes (else disc 2 fails)
    std::vector<std::string> present, absent;  // afterwards
  };
  const Case cases[] = {
      {"fresh machine: every level it made goes", "Soft/Maker/Game", {}, false, {}, {"Soft"}},
      {"levels there before stay",
       "Soft/Maker/Game",
       {"Soft/Maker/"},
       false,
       {"Soft/Maker/"},
       {"Soft/Maker/Game"}},
      {"an empty folder of the player's stays",
       "Game",
       {"Game/SAVE/", "Game/DATA/"},
       false,
       {"Game/SAVE/", "Game/DATA/"},
       {"Game/DATA/A.BIN", "Game/DATA/A.BIN.ksetup-old"}},
      {"replaced twice: the first content comes back",
       "Game",
       {"Game/DATA/A.BIN", "Game/B.BIN"},
       false,
       {"Game/DATA/A.BIN", "Game/B.BIN"},
       {"Game/DATA/A.BIN.ksetup-old", "Game/B.BIN.ksetup-old"}},
      {"a taken backup name is kept, the next one used",
       "Game",
       {"Game/DATA/A.BIN", "Game/DATA/A.BIN.ksetup-old"},
       false,
       {"Game/DATA/A.BIN", "Game/DATA/A.BIN.ksetup-old"},
       {"Game/DATA/A.BIN.ksetup-old1"}},
      {"completed: backups go, the new files stay",
       "Game",
       {"Game/DATA/A.BIN", "Game/DATA/A.BIN.ksetup-old"},
       true,
       {"Game/SAVE/", "Game/DATA/A.BIN.ksetup-old"},
       {"Game/DATA/A.BIN.ksetup-old1", "Game/B.BIN.ksetup-old"}},
  };
  put("DATA\\A.BIN", "new A");
  put("B.BIN", "new B");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string game = base.path + "/" + c.game;
    std::error_code error;
    fs::remove_all(base.path + "/" + std::string(c.game).substr(0, std::string(c.game).find('/')),
                   error);
    for (const std::string& b : c.before) {
      if (b.back() == '/')
        fs::create_directories(base.path + "/" + b);
      else
        putFile(base.path, b, "old " + b);
    }
    clearInstallLists();
    setTexts(config.makeFolder, {"DATA", "SAVE"});
    setFileList(0, {{"DATA\\A.BIN", 8}, {"B.BIN", 8}});
    setFileList(1, {{"DATA\\A.BIN", 8}, {"B.BIN", 8}});
    std::string programFolder = c.game;
    for (char& ch : programFolder)
      if (ch == '/') ch = '\\';
    programFolder = base.path + "\\" + programFolder;
    setInstallFolder(programFolder);
    InstallJournal journal = {};
    ASSERT_TRUE(createInstallFolders(nullptr, &journal));
    Walk one, two;
    ASSERT_EQ(copy(0, &one, 8, programFolder.c_str(), &journal), kCopyDone);
    if (!c.complete) opLog.onWrite = [](int, uint32_t*) { return false; };
    EXPECT_EQ(copy(1, &two, 8, programFolder.c_str(), &journal),
              c.complete ? kCopyDone : kCopyFailed);
    opLog.onWrite = nullptr;
    if (c.complete) journalCommit(&journal);
    journalFree(&journal);
    for (const std::string& p : c.present) {
      EXPECT_TRUE(fs::exists(base.path + "/" + p)) << p;
      bool before = std::find(c.before.begin(), c.before.end(), p) != c.before.end();
      if (p.back() != '/' && before) {
        EXPECT_EQ(readFile(base.path + "/" + p), "old " + p);
      }
    }
    for (const std::string& p : c.absent) EXPECT_FALSE(fs::exists(base.path + "/" + p)) << p;
    if (c.complete) {
      EXPECT_EQ(readFile(game + "/DATA/A.BIN"), "new A");
    }
  }

  // A file that cannot be moved aside is not written: a write error, and
  // it stays as it was.
  opLog.refuseMove = [](const char* path) { return strstr(path, "B.BIN") != nullptr; };
  InstallJournal journal = {};
  Walk run;
  EXPECT_EQ(copy(0, &run, 8, (base.path + "\\Game").c_str(), &journal), kCopyFailed);
  EXPECT_EQ(run.posts, (std::vector<Post>{{MSG_WRITE_ERROR, 0, 1}}));
  EXPECT_EQ(readFile(base.path + "/Game/B.BIN"), "new B");  // the completed case's file
  EXPECT_EQ(readFile(base.path + "/Game/DATA/A.BIN"), "new A");
  opLog.refuseMove = nullptr;
  journalFree(&journal);
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
  // An install folder names a folder below its root, never the root itself.
  for (const char* folder : {"C:\\", "C:\\\\", "C:\\.\\", "C:\\Games\\..", "c:/ ./", "/", "\\\\srv\\share\\"})
    EXPECT_FALSE(folderIsUsable(folder)) << folder;
  for (const char* folder : {"C:\\Games", "C:\\\\Game", "/tmp/x", "\\\\srv\\share\\Game"})
    EXPECT_TRUE(folderIsUsable(folder)) << folder;
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
  setTexts(config.makeFolder, {"DATA", "DATA\\SUB\\DEEP", "SAVE"});
  folder = base.path + "\\Games\\Maker\\Game";
  snprintf(installFolder, sizeof installFolder, "%s", folder.c_str());
  const std::string host = base.path + "/Games/Maker/Game";
  ASSERT_TRUE(createInstallFolders());
  EXPECT_TRUE(isFolder(host + "/DATA/SUB/DEEP"));
  EXPECT_TRUE(isFolder(host + "/SAVE"));
  EXPECT_TRUE(createInstallFolders());  // existing folders are no failure

  clearInstallLists();
  setTexts(config.makeFolder, {"OK", "..\\ESCAPE", "AFTER"});
  EXPECT_FALSE(createInstallFolders());
  EXPECT_TRUE(isFolder(host + "/OK"));
  EXPECT_FALSE(isFolder(base.path + "/Games/Maker/ESCAPE"));
  EXPECT_FALSE(isFolder(host + "/AFTER"));

  // A name whose last byte is the backslash byte of ソ makes one folder, not
  // also the folder named by the text up to that byte.
  const std::string games = base.path + "/Japanese";
  ASSERT_TRUE(createPath((base.path + "\\Japanese\\\x83\x51\x81\x5B\x83\x80\x83\x5C\x83\x74\x83\x67").c_str()));
  EXPECT_TRUE(isFolder(games + "/\u30b2\u30fc\u30e0\u30bd\u30d5\u30c8"));  // ゲームソフト, in UTF-8
  EXPECT_EQ(std::distance(fs::directory_iterator(games), fs::directory_iterator()), 1);

  heapFailAfter(1);
  EXPECT_FALSE(createPath((folder + "\\X").c_str()));
  heapFailAfter(0);
  EXPECT_FALSE(createPath(std::string(300, 'x').c_str()));
}

}  // namespace
