// The removal of installed files: lists, patterns, save data, folders in
// reverse, the step out to the drive root, refused entries, and the
// current-folder lock shared with picture loading.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "uninstall/removal.h"

namespace {

// Every call that names a path, in order; deletions of names in `refuse` fail;
// with `offline` nothing reaches the disk.
struct Recorder {
  std::vector<std::string> calls;
  std::vector<std::string> refuse;
  bool offline;
  std::function<void(const char*)> onSetCurrent;
};
Recorder rec;

const FileOps* real() { return platformFileOps(); }

void* rFindFirst(const char* pattern, FoundName* found) {
  rec.calls.push_back(std::string("find ") + pattern);
  return rec.offline ? nullptr : real()->findFirst(pattern, found);
}
DeleteResult rDelete(const char* path) {
  rec.calls.push_back(std::string("delete ") + path);
  for (const std::string& name : rec.refuse)
    if (std::string(path).find(name) != std::string::npos) return kDeleteFailed;
  return rec.offline ? kDeleteMissing : real()->deleteFile(path);
}
bool rRemoveFolder(const char* path) {
  rec.calls.push_back(std::string("rmdir ") + path);
  return rec.offline ? false : real()->removeFolder(path);
}
bool rSetCurrent(const char* path) {
  rec.calls.push_back(std::string("cd ") + path);
  if (rec.onSetCurrent) rec.onSetCurrent(path);
  return rec.offline ? true : real()->setCurrent(path);
}
void rSleep(uint32_t ms) { rec.calls.push_back("sleep " + std::to_string(ms)); }

FileOps recordingOps() {
  FileOps ops = *real();
  ops.findFirst = rFindFirst;
  ops.deleteFile = rDelete;
  ops.removeFolder = rRemoveFolder;
  ops.setCurrent = rSetCurrent;
  ops.sleep = rSleep;
  return ops;
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

class Removal : public ::testing::Test {
 protected:
  TempDir base;
  std::string folder, previous;
  FileOps ops = recordingOps();

  void SetUp() override {
    releaseConfig();
    clear();
    rec = Recorder();
    setFileOps(&ops);
    folder = base.path + "/Game";
    setInstallFolder(folder);
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    previous = cwd;
  }
  void TearDown() override {
    setFileOps(nullptr);
    clear();
    installFolder[0] = 0;
    ASSERT_EQ(chdir(previous.c_str()), 0);
  }
  void clear() {
    for (int d = 0; d < kDiscs; d++)
      for (int i = 0; i < kFilesPerDisc; i++) {
        heapFree(config.fileList[d][i]);
        config.fileList[d][i] = nullptr;
      }
    memset(config.makeFolder, 0, sizeof config.makeFolder);
    memset(config.saveData, 0, sizeof config.saveData);
  }
  static void setInstallFolder(const std::string& path) {
    snprintf(installFolder, sizeof installFolder, "%s", path.c_str());
  }
  void setList(int d, std::vector<std::string> entries) {
    for (size_t i = 0; i < entries.size(); i++) {
      config.fileList[d][i] = static_cast<char*>(heapAlloc(kPathSize));
      snprintf(config.fileList[d][i], kPathSize, "%s", entries[i].c_str());
    }
  }
  static void setTexts(char (*table)[kTextSize], std::vector<std::string> entries) {
    for (size_t k = 0; k < entries.size(); k++) snprintf(table[k], kTextSize, "%s", entries[k].c_str());
  }
  std::string at(const std::string& name) { return folder + "/" + name; }
  void make(const std::vector<std::string>& folders, const std::vector<std::string>& files) {
    mkdir(folder.c_str(), 0777);
    for (const std::string& f : folders)
      ASSERT_TRUE(mkdir(at(f).c_str(), 0777) == 0 || errno == EEXIST) << f;
    for (const std::string& f : files) writeFile(at(f), f);
  }
  std::string currentFolder() {
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? cwd : "";
  }
};

TEST_F(Removal, SaveDataStaysUnlessAskedAndEveryListIsVisited) {
  setList(0, {"GAME.EXE", "DATA\\A.PAK", "SAVE\\SHARED.SAV", "GONE.BIN"});
  setList(1, {"DATA\\B.PAK"});
  setList(3, {"NEVER.BIN"});  // after an empty list: not visited
  setTexts(config.saveData, {"SAVE\\*.SAV", "CONFIG.DAT"});
  setTexts(config.makeFolder, {"DATA", "SAVE"});
  auto install = [&] {
    make({"DATA", "SAVE"}, {"GAME.EXE", "DATA/A.PAK", "DATA/B.PAK", "SAVE/SHARED.SAV",
                            "SAVE/ONE.SAV", "CONFIG.DAT", "NEVER.BIN"});
  };

  install();
  EXPECT_TRUE(removeInstalledFiles(0));  // GONE.BIN is missing: no failure
  EXPECT_FALSE(exists(at("GAME.EXE")));
  EXPECT_FALSE(exists(at("DATA")));
  EXPECT_FALSE(exists(at("SAVE/SHARED.SAV")));  // named by a file list as well
  EXPECT_TRUE(exists(at("SAVE/ONE.SAV")));
  EXPECT_TRUE(exists(at("CONFIG.DAT")));
  EXPECT_TRUE(exists(at("NEVER.BIN")));
  EXPECT_EQ(currentFolder(), "/");

  ASSERT_EQ(unlink(at("NEVER.BIN").c_str()), 0);
  install();
  ASSERT_EQ(unlink(at("NEVER.BIN").c_str()), 0);
  EXPECT_TRUE(removeInstalledFiles(1));
  EXPECT_FALSE(exists(folder));
}

TEST_F(Removal, PatternsDeletePlainFilesOnlyAndFoldersGoLastToFirst) {
  setList(0, {"data\\*.pak", "*.TMP", "none\\*.x", "*.none"});
  setTexts(config.makeFolder, {"data", "data\\sub.pak", "other"});
  make({"data", "data/sub.pak", "other"},
       {"data/one.pak", "data/TWO.PAK", "data/keep.txt", "a.tmp", "B.tmp", "c.tmpx", "data/sub.pak/in.pak"});

  EXPECT_TRUE(removeInstalledFiles(0));
  EXPECT_FALSE(exists(at("data/one.pak")));
  EXPECT_FALSE(exists(at("data/TWO.PAK")));
  EXPECT_FALSE(exists(at("a.tmp")));
  EXPECT_FALSE(exists(at("B.tmp")));
  EXPECT_TRUE(exists(at("c.tmpx")));
  EXPECT_TRUE(exists(at("data/keep.txt")));
  EXPECT_TRUE(exists(at("data/sub.pak/in.pak")));  // nothing removed recursively
  EXPECT_FALSE(exists(at("other")));

  // Folders in reverse order, then the pause, the step out and the folder itself.
  std::vector<std::string> tail(rec.calls.end() - 6, rec.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "rmdir " + folder + "\\other", "rmdir " + folder + "\\data\\sub.pak",
                      "rmdir " + folder + "\\data", "sleep 100", "cd /", "rmdir " + folder}));
  EXPECT_EQ(rec.calls.front(), "cd " + folder);
}

TEST_F(Removal, FailedDeletionsAndRefusedEntriesGiveFalseWithoutTouchingOutside) {
  writeFile(base.file("outside.txt"), "stays");
  setList(0, {"A.BIN", "LOCKED.BIN", "DATA"});
  make({"DATA"}, {"A.BIN", "LOCKED.BIN"});
  rec.refuse = {"LOCKED.BIN"};
  EXPECT_FALSE(removeInstalledFiles(0));  // a locked file, and a folder named as a file
  EXPECT_FALSE(exists(at("A.BIN")));

  clear();
  std::string longName(kPathSize - folder.size() - 1, 'L');
  setList(0, {"..\\outside.txt", "B.BIN", "D:\\outside.txt", longName});
  setTexts(config.saveData, {"..\\*.txt"});
  setTexts(config.makeFolder, {"..\\..\\tmp"});
  make({}, {"B.BIN"});
  rec = Recorder();
  EXPECT_FALSE(removeInstalledFiles(1));
  EXPECT_FALSE(exists(at("B.BIN")));
  EXPECT_EQ(readFile(base.file("outside.txt")), "stays");
  for (const std::string& call : rec.calls) {
    const std::string path = call.substr(call.find(' ') + 1);
    if (call.compare(0, 5, "sleep") == 0 || path == "/") continue;
    EXPECT_EQ(path.compare(0, folder.size(), folder), 0) << call;
  }

  // An empty or relative install folder: nothing at all happens.
  for (const char* bad : {"", "Game", "D:Game"}) {
    setInstallFolder(bad);
    rec = Recorder();
    EXPECT_FALSE(removeInstalledFiles(1));
    EXPECT_TRUE(rec.calls.empty()) << bad;
  }
}

TEST_F(Removal, OnDriveDTheRootOfDIsCurrentAfterwards) {
  rec.offline = true;
  setInstallFolder("D:\\Games\\Demo");
  setList(0, {"X.BIN"});
  EXPECT_TRUE(removeInstalledFiles(0));
  EXPECT_EQ(rec.calls, (std::vector<std::string>{"cd D:\\Games\\Demo", "delete D:\\Games\\Demo\\X.BIN",
                                                  "sleep 100", "cd D:\\", "rmdir D:\\Games\\Demo"}));
}

TEST_F(Removal, CurrentFolderChangesHappenUnderTheLockPictureLoadingTakes) {
  // Each change of the current folder is made while the lock is held: a
  // thread trying to take it then has to wait.
  std::vector<std::thread> probes;
  std::vector<std::unique_ptr<std::atomic<bool>>> entered;
  rec.onSetCurrent = [&](const char*) {
    entered.emplace_back(new std::atomic<bool>(false));
    std::atomic<bool>* flag = entered.back().get();
    probes.emplace_back([flag] {
      lockCurrentFolder();
      *flag = true;
      unlockCurrentFolder();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(*flag);
  };
  make({}, {"A.BIN"});
  setList(0, {"A.BIN"});
  EXPECT_TRUE(removeInstalledFiles(0));
  for (std::thread& t : probes) t.join();
  EXPECT_EQ(probes.size(), 2u);

  // A loader that sets its folder and reads a name relative to it keeps
  // finding its own file while removals run beside it.
  setFileOps(nullptr);
  TempDir pictures;
  writeFile(pictures.file("TITLE.EPA"), "picture");
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0}, loads{0};
  std::thread loader([&] {
    while (!stop) {
      lockCurrentFolder();
      setCurrentFolder(pictures.path.c_str());
      if (readFile("TITLE.EPA") != "picture") wrong++;
      unlockCurrentFolder();
      loads++;
    }
  });
  for (int k = 0; k < 5; k++) {
    make({}, {"A.BIN"});
    EXPECT_TRUE(removeInstalledFiles(0));
  }
  while (loads < 10) std::this_thread::yield();
  stop = true;
  loader.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
