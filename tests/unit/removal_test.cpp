// The removal of installed files: lists, patterns, save data, folders in
// reverse, the step out to the drive root, refused entries, the current-folder
// lock shared with picture loading; and at its edges: read-only files (refused
// as Windows refuses them), save files a file list names as well, install
// folders holding the player's own files, a removal run twice, and searches
// that return more names than the pattern matches (as Windows does through
// short 8.3 aliases).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "install/copy_walk.h"
#include "install/install_path.h"
#include "tests/unit/disc_fixture.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

class Removal : public ::testing::Test {
 protected:
  TempDir base;
  KeepCurrentFolder keep;
  std::string folder;
  FileOps ops = loggingOps();

  void SetUp() override {
    releaseConfig();
    clearInstallLists();
    opLog = OpLog();
    setFileOps(&ops);
    folder = base.path + "/Game";
    setInstallFolder(folder);
  }
  void TearDown() override {
    setFileOps(nullptr);
    clearInstallLists();
    installFolder[0] = 0;
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
  // The shape of an installed game: program, data and voice folders, a
  // manual, a movie pattern, save data; installed with its save data.
  void installGame() {
    clearInstallLists();
    setFileNames(0, {"HOSHIMI.EXE", "DATA\\SYSTEM.PAK", "DATA\\GRAPHIC.PAK", "MANUAL\\README.TXT"});
    setFileNames(1, {"DATA\\VOICE\\VOICE1.PAK", "MOVIE\\*.DAT"});
    setTexts(config.makeFolder, {"DATA", "DATA\\VOICE", "MOVIE", "MANUAL", "SAVE"});
    setTexts(config.saveData, {"SAVE\\*.SAV", "SAVE\\CONFIG.DAT"});
    make({"DATA", "DATA/VOICE", "MOVIE", "MANUAL", "SAVE"},
         {"HOSHIMI.EXE", "DATA/SYSTEM.PAK", "DATA/GRAPHIC.PAK", "MANUAL/README.TXT",
          "DATA/VOICE/VOICE1.PAK", "MOVIE/OP.DAT", "MOVIE/ED.DAT", "SAVE/SLOT1.SAV",
          "SAVE/CONFIG.DAT"});
  }
  void checkOnlyInsideTouched() { EXPECT_EQ(callsOutside(folder), std::vector<std::string>{}); }
};

TEST_F(Removal, SaveDataStaysUnlessAskedAndEveryListIsVisited) {
  setFileNames(0, {"GAME.EXE", "DATA\\A.PAK", "SAVE\\SHARED.SAV", "GONE.BIN"});
  setFileNames(1, {"DATA\\B.PAK"});
  setFileNames(3, {"NEVER.BIN"});  // after an empty list: not visited
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
  setFileNames(0, {"data\\*.pak", "*.TMP", "none\\*.x", "*.none"});
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
  const std::vector<std::string> calls = opLog.calls();
  std::vector<std::string> tail(calls.end() - 6, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "rmdir " + folder + "\\other", "rmdir " + folder + "\\data\\sub.pak",
                      "rmdir " + folder + "\\data", "sleep 100", "cd /", "rmdir " + folder}));
  EXPECT_EQ(calls.front(), "cd " + folder);
}

TEST_F(Removal, FailedDeletionsAndRefusedEntriesGiveFalseWithoutTouchingOutside) {
  writeFile(base.file("outside.txt"), "stays");
  setFileNames(0, {"A.BIN", "LOCKED.BIN", "DATA"});
  make({"DATA"}, {"A.BIN", "LOCKED.BIN"});
  opLog.refuseDelete = [](const char* path) { return strstr(path, "LOCKED.BIN") != nullptr; };
  EXPECT_FALSE(removeInstalledFiles(0));  // a locked file, and a folder named as a file
  EXPECT_FALSE(exists(at("A.BIN")));

  clearInstallLists();
  std::string longName(kPathSize - folder.size() - 1, 'L');
  setFileNames(0, {"..\\outside.txt", "B.BIN", "D:\\outside.txt", longName});
  setTexts(config.saveData, {"..\\*.txt"});
  setTexts(config.makeFolder, {"..\\..\\tmp"});
  make({}, {"B.BIN"});
  opLog = OpLog();
  EXPECT_FALSE(removeInstalledFiles(1));
  EXPECT_FALSE(exists(at("B.BIN")));
  EXPECT_EQ(readFile(base.file("outside.txt")), "stays");
  checkOnlyInsideTouched();

  // An empty or relative install folder: nothing at all happens.
  for (const char* bad : {"", "Game", "D:Game"}) {
    setInstallFolder(bad);
    opLog = OpLog();
    EXPECT_FALSE(removeInstalledFiles(1));
    EXPECT_TRUE(opLog.touched.empty()) << bad;
  }
}

TEST_F(Removal, OnDriveDTheRootOfDIsCurrentAfterwards) {
  opLog.offline = true;
  setInstallFolder("D:\\Games\\Demo");
  setFileNames(0, {"X.BIN"});
  EXPECT_TRUE(removeInstalledFiles(0));
  EXPECT_EQ(opLog.calls(), (std::vector<std::string>{"cd D:\\Games\\Demo", "delete D:\\Games\\Demo\\X.BIN",
                                                  "sleep 100", "cd D:\\", "rmdir D:\\Games\\Demo"}));
}

TEST_F(Removal, CurrentFolderChangesHappenUnderTheLockPictureLoadingTakes) {
  // Each change of the current folder is made while the lock is held: a
  // thread trying to take it then has to wait.
  std::vector<std::thread> probes;
  std::vector<std::unique_ptr<std::atomic<bool>>> entered;
  opLog.onSetCurrent = [&](const char*) {
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
  setFileNames(0, {"A.BIN"});
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

TEST_F(Removal, ReadOnlyFilesStayAndMakeTheResultFalseWhileEverythingElseGoes) {
  installGame();
  // The player (or a copy from the disc) left two files read-only.
  ASSERT_EQ(chmod(at("DATA/GRAPHIC.PAK").c_str(), 0444), 0);
  ASSERT_EQ(chmod(at("MOVIE/ED.DAT").c_str(), 0444), 0);

  // False: the uninstall dialog shows its longer message, asking the player
  // to delete what is left by hand.
  EXPECT_FALSE(removeInstalledFiles(0));
  EXPECT_EQ(readFile(at("DATA/GRAPHIC.PAK")), "DATA/GRAPHIC.PAK");
  EXPECT_EQ(readFile(at("MOVIE/ED.DAT")), "MOVIE/ED.DAT");
  // Everything else the lists name is gone: one refusal stops nothing.
  for (const char* f : {"HOSHIMI.EXE", "DATA/SYSTEM.PAK", "MANUAL", "DATA/VOICE", "MOVIE/OP.DAT"})
    EXPECT_FALSE(exists(at(f))) << f;
  // The save data stays (not asked for), and so do the folders still holding files.
  EXPECT_EQ(readFile(at("SAVE/SLOT1.SAV")), "SAVE/SLOT1.SAV");
  EXPECT_EQ(readFile(at("SAVE/CONFIG.DAT")), "SAVE/CONFIG.DAT");
  EXPECT_TRUE(exists(at("DATA")));
  EXPECT_TRUE(exists(at("MOVIE")));
  checkOnlyInsideTouched();

  // Once the player has made them writable, a second uninstall finishes.
  ASSERT_EQ(chmod(at("DATA/GRAPHIC.PAK").c_str(), 0644), 0);
  ASSERT_EQ(chmod(at("MOVIE/ED.DAT").c_str(), 0644), 0);
  EXPECT_TRUE(removeInstalledFiles(1));
  EXPECT_FALSE(exists(folder));

  // A read-only save file with the save data asked for: false as well, and
  // the other save file still goes.
  installGame();
  ASSERT_EQ(chmod(at("SAVE/SLOT1.SAV").c_str(), 0444), 0);
  EXPECT_FALSE(removeInstalledFiles(1));
  EXPECT_TRUE(exists(at("SAVE/SLOT1.SAV")));
  EXPECT_FALSE(exists(at("SAVE/CONFIG.DAT")));
  EXPECT_FALSE(exists(at("HOSHIMI.EXE")));
}

TEST_F(Removal, SaveFileThatAFileListNamesGoesEvenWithoutTheSaveDataFlag) {
  // The disc ships a starting save and a default configuration: the lists
  // name them in another letter case and through a pattern.
  installGame();
  setFileNames(2, {"save\\config.dat", "SAVE\\START*.SAV"});
  writeFile(at("SAVE/START1.SAV"), "shipped");
  writeFile(at("SAVE/START2.SAV"), "shipped");

  EXPECT_TRUE(removeInstalledFiles(0));
  EXPECT_FALSE(exists(at("SAVE/CONFIG.DAT")));
  EXPECT_FALSE(exists(at("SAVE/START1.SAV")));
  EXPECT_FALSE(exists(at("SAVE/START2.SAV")));
  // Only the player's own save stays, and its folder with it.
  EXPECT_EQ(readFile(at("SAVE/SLOT1.SAV")), "SAVE/SLOT1.SAV");
  EXPECT_FALSE(exists(at("HOSHIMI.EXE")));
  EXPECT_FALSE(exists(at("DATA")));
  checkOnlyInsideTouched();
}

TEST_F(Removal, PlayersOwnFilesAndFoldersStayAndSoDoesTheInstallFolder) {
  installGame();
  // Screenshots and a mod beside the game, a folder of the player's own, a
  // file in a folder of the script's, and names close to the pattern's.
  ASSERT_EQ(mkdir(at("SCREENSHOTS").c_str(), 0777), 0);
  writeFile(at("SCREENSHOTS/0001.BMP"), "picture");
  writeFile(at("mod.txt"), "mod");
  writeFile(at("DATA/VOICE/extra.ogg"), "voice");
  writeFile(at("MOVIE/OP.DAT.bak"), "backup");
  writeFile(at("HOSHIMI.EXE.old"), "old");

  EXPECT_TRUE(removeInstalledFiles(1));  // foreign files are no failure
  EXPECT_EQ(readFile(at("SCREENSHOTS/0001.BMP")), "picture");
  EXPECT_EQ(readFile(at("mod.txt")), "mod");
  EXPECT_EQ(readFile(at("DATA/VOICE/extra.ogg")), "voice");
  EXPECT_EQ(readFile(at("MOVIE/OP.DAT.bak")), "backup");
  EXPECT_EQ(readFile(at("HOSHIMI.EXE.old")), "old");
  for (const char* f : {"HOSHIMI.EXE", "DATA/SYSTEM.PAK", "DATA/VOICE/VOICE1.PAK", "MOVIE/OP.DAT",
                        "MOVIE/ED.DAT", "MANUAL", "SAVE"})
    EXPECT_FALSE(exists(at(f))) << f;
  EXPECT_TRUE(exists(at("DATA/VOICE")));
  EXPECT_TRUE(exists(folder));
  checkOnlyInsideTouched();

  // Run again over what is left (a second uninstall): nothing more goes,
  // nothing is a failure.
  opLog.touched.clear();
  EXPECT_TRUE(removeInstalledFiles(1));
  EXPECT_EQ(readFile(at("SCREENSHOTS/0001.BMP")), "picture");
  EXPECT_EQ(readFile(at("MOVIE/OP.DAT.bak")), "backup");
  checkOnlyInsideTouched();

  // And over a folder that is gone altogether.
  ASSERT_EQ(system(("rm -rf '" + folder + "'").c_str()), 0);
  EXPECT_TRUE(removeInstalledFiles(1));
  EXPECT_FALSE(exists(folder));
}

TEST_F(Removal, PatternsActOnlyOnNamesTheyMatchThemselves) {
  // The search also returns names whose short alias would match: the
  // player's notes.data must survive "MOVIE\*.DAT", on removal and on copy.
  opLog.aliasSearches = true;
  installGame();
  writeFile(at("MOVIE/notes.data"), "the player's");
  writeFile(at("MOVIE/OP.DAT.bak"), "backup");
  EXPECT_TRUE(removeInstalledFiles(0));
  EXPECT_FALSE(exists(at("MOVIE/OP.DAT")));
  EXPECT_FALSE(exists(at("MOVIE/ED.DAT")));
  EXPECT_EQ(readFile(at("MOVIE/notes.data")), "the player's");
  EXPECT_EQ(readFile(at("MOVIE/OP.DAT.bak")), "backup");

  TempDir disc;
  ASSERT_EQ(mkdir(disc.file("MOVIE").c_str(), 0777), 0);
  writeFile(disc.file("MOVIE/OP.DAT"), "op");
  writeFile(disc.file("MOVIE/NOTES.DATA"), "not listed");
  clearInstallLists();
  setFileNames(0, {"MOVIE\\*.DAT"});
  config.fileOption[0][0] = 8;
  setTexts(config.makeFolder, {"MOVIE"});
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  const std::string root = disc.path + "\\";
  CopyJob job = {0, 8, folder.c_str(), root.c_str(), &bytesRead, &bytesWritten,
                 [](void*) { return int(kCopyContinue); },
                 [](void*, uint32_t, int, int) {}, nullptr, nullptr};
  EXPECT_EQ(copyDisc(&job), kCopyDone);
  EXPECT_EQ(readFile(at("MOVIE/OP.DAT")), "op");
  EXPECT_EQ(readFile(at("MOVIE/notes.data")), "the player's");
  EXPECT_EQ(bytesRead.load(), 2u);
}

TEST(PatternNames, WindowsLongNameRulesWithShiftJis) {
  struct Case {
    const char* entry;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"MOVIE\\*.DAT", "op.dat", true},      {"MOVIE\\*.DAT", "notes.data", false},
      {"*.DAT", "A.DAT.bak", false},         {"DATA\\*.*", "README", true},
      {"A?.DAT", "A.DAT", true},             {"A?.DAT", "AB.DAT", true},
      {"A??", "A", true},                    {"A?B", "A.B", true},
      {"A?B", "AB", false},                  {"A?.DAT", "ABC.DAT", false},
      {"FOO.*", "FOO", true},                {"FOO.*", "FOO.BAR", true},
      {"FOO.*", "FOOD", false},              {"*", "anything.at.all", true},
      {"SAVE\\START*.SAV", "start1.sav", true},
      // Shift-JIS: a backslash byte ending a character is no separator, a
      // character is one '?', full-width letters fold.
      {"DATA\\\x95\x5C*.BIN", "\x95\x5C" "1.BIN", true},
      {"DATA\\\x95\x5C*.BIN", "1.BIN", false},
      {"?.BIN", "\x95\x5C.BIN", true},
      {"\x82\x60*", "\x82\x81\x82\x82", true},   // Ａ* takes ａｂ
      {"\x82\x60*", "\x82\x61", false},          // not Ｂ
      {"*\x83\x41", "\x83\x61", false},          // katakana are no letters
  };
  for (const Case& c : cases)
    EXPECT_EQ(nameMatchesPattern(c.entry, c.name), c.matches) << c.entry << " / " << c.name;
  char part[kPathSize];
  patternFolderPart("DATA\\\x95\x5C*.BIN", part);
  EXPECT_STREQ(part, "DATA");
  patternFolderPart("\x95\x5C\\*.BIN", part);
  EXPECT_STREQ(part, "\x95\x5C");
}

}  // namespace
