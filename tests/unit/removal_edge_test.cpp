// The removal of installed files at its edges: read-only files (refused as
// Windows refuses them), save files a file list names as well, install folders
// holding the player's own files, a removal run twice, and searches that
// return more names than the pattern matches (as Windows does through short
// 8.3 aliases).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "uninstall/removal.h"

namespace {

// Every path a deletion, search or folder removal names; a file without write
// permission is refused as DeleteFileA refuses a read-only file (the tests
// may run with the rights to delete it anyway).
std::vector<std::string> touched;

const FileOps* real() { return platformFileOps(); }

DeleteResult eDelete(const char* path) {
  touched.push_back(path);
  struct stat st;
  std::string host = hostPath(path);
  if (lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & 0222))
    return kDeleteFailed;
  return real()->deleteFile(path);
}
bool eRemoveFolder(const char* path) {
  touched.push_back(path);
  return real()->removeFolder(path);
}
void eSleep(uint32_t) {}

// A search that returns every name of the pattern's folder, as a Windows
// search may return names whose short alias matches ("NOTES~1.DAT" for
// "notes.data" and "*.DAT").
bool aliasSearches = false;
void* eFindFirstAll(const char* pattern, FoundName* found) {
  touched.push_back(pattern);
  std::string all(pattern);
  size_t cut = all.find_last_of("\\/");
  all = (cut == std::string::npos ? std::string() : all.substr(0, cut + 1)) + "*";
  return real()->findFirst(aliasSearches ? all.c_str() : pattern, found);
}

FileOps edgeOps() {
  FileOps ops = *real();
  ops.deleteFile = eDelete;
  ops.findFirst = eFindFirstAll;
  ops.removeFolder = eRemoveFolder;
  ops.sleep = eSleep;
  return ops;
}

class RemovalEdge : public ::testing::Test {
 protected:
  TempDir base;
  std::string folder, previous;
  FileOps ops = edgeOps();

  void SetUp() override {
    releaseConfig();
    clear();
    touched.clear();
    aliasSearches = false;
    setFileOps(&ops);
    folder = base.path + "/Game";
    snprintf(installFolder, sizeof installFolder, "%s", folder.c_str());
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    previous = cwd;
    // The shape of an installed game: program, data and voice folders, a
    // manual, a movie pattern, save data.
    setList(0, {"HOSHIMI.EXE", "DATA\\SYSTEM.PAK", "DATA\\GRAPHIC.PAK", "MANUAL\\README.TXT"});
    setList(1, {"DATA\\VOICE\\VOICE1.PAK", "MOVIE\\*.DAT"});
    setTexts(config.makeFolder, {"DATA", "DATA\\VOICE", "MOVIE", "MANUAL", "SAVE"});
    setTexts(config.saveData, {"SAVE\\*.SAV", "SAVE\\CONFIG.DAT"});
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
        config.fileOption[d][i] = 0;
      }
    memset(config.makeFolder, 0, sizeof config.makeFolder);
    memset(config.saveData, 0, sizeof config.saveData);
  }
  void setList(int d, std::vector<std::string> entries) {
    for (size_t i = 0; i < entries.size(); i++) {
      config.fileList[d][i] = static_cast<char*>(heapAlloc(kPathSize));
      snprintf(config.fileList[d][i], kPathSize, "%s", entries[i].c_str());
    }
  }
  static void setTexts(char (*table)[kTextSize], std::vector<std::string> entries) {
    memset(table, 0, sizeof(char[kTextSize]) * entries.size());
    for (size_t k = 0; k < entries.size(); k++) snprintf(table[k], kTextSize, "%s", entries[k].c_str());
  }
  std::string at(const std::string& name) { return folder + "/" + name; }
  // The installed game with its save data.
  void installGame() {
    for (const char* f : {"", "/DATA", "/DATA/VOICE", "/MOVIE", "/MANUAL", "/SAVE"})
      ASSERT_TRUE(mkdir((folder + f).c_str(), 0777) == 0 || errno == EEXIST) << f;
    for (const char* f : {"HOSHIMI.EXE", "DATA/SYSTEM.PAK", "DATA/GRAPHIC.PAK", "MANUAL/README.TXT",
                          "DATA/VOICE/VOICE1.PAK", "MOVIE/OP.DAT", "MOVIE/ED.DAT", "SAVE/SLOT1.SAV",
                          "SAVE/CONFIG.DAT"})
      writeFile(at(f), f);
  }
  void checkOnlyInsideTouched() {
    for (const std::string& p : touched)
      EXPECT_EQ(p.compare(0, folder.size(), folder), 0) << p;
  }
};

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST_F(RemovalEdge, ReadOnlyFilesStayAndMakeTheResultFalseWhileEverythingElseGoes) {
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

TEST_F(RemovalEdge, SaveFileThatAFileListNamesGoesEvenWithoutTheSaveDataFlag) {
  // The disc ships a starting save and a default configuration: the lists
  // name them in another letter case and through a pattern.
  setList(2, {"save\\config.dat", "SAVE\\START*.SAV"});
  installGame();
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

TEST_F(RemovalEdge, PlayersOwnFilesAndFoldersStayAndSoDoesTheInstallFolder) {
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
  touched.clear();
  EXPECT_TRUE(removeInstalledFiles(1));
  EXPECT_EQ(readFile(at("SCREENSHOTS/0001.BMP")), "picture");
  EXPECT_EQ(readFile(at("MOVIE/OP.DAT.bak")), "backup");
  checkOnlyInsideTouched();

  // And over a folder that is gone altogether.
  ASSERT_EQ(system(("rm -rf '" + folder + "'").c_str()), 0);
  EXPECT_TRUE(removeInstalledFiles(1));
  EXPECT_FALSE(exists(folder));
}

TEST_F(RemovalEdge, PatternsActOnlyOnNamesTheyMatchThemselves) {
  // The search also returns names whose short alias would match: the
  // player's notes.data must survive "MOVIE\*.DAT", on removal and on copy.
  aliasSearches = true;
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
  clear();
  setList(0, {"MOVIE\\*.DAT"});
  config.fileOption[0][0] = 8;
  setTexts(config.makeFolder, {"MOVIE"});
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  const std::string root = disc.path + "\\";
  CopyJob job = {0, 8, folder.c_str(), root.c_str(), &bytesRead, &bytesWritten,
                 [](void*) { return int(kCopyContinue); },
                 [](void*, uint32_t, int, int) {}, nullptr};
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
