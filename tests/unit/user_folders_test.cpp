// A player without administrator rights and the saves Windows moved: the
// level the write probe is made at, the VirtualStore's place of an install
// folder, and the removal of the save data there.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/unit/disc_fixture.h"

namespace {

std::set<std::string> existing;
std::vector<std::string> asked;
bool fakeIsFolder(const char* path) {
  asked.push_back(path);
  return existing.count(path) > 0;
}

TEST(UserFolders, NearestExistingLevelStepsUpByWholeCharacters) {
  // ソ and 表 end in the byte of a backslash: never a level of its own.
  const std::string so = "\x83\x5c", hyo = "\x95\x5c";
  struct Case {
    std::string folder, exists, nearest;
    std::vector<std::string> asked;
  };
  for (const Case& c : std::vector<Case>{
           {"C:\\PF\\Slumber\\\\Game",
            "C:\\PF",
            "C:\\PF",
            {"C:\\PF\\Slumber\\\\Game", "C:\\PF\\Slumber", "C:\\PF"}},
           {"D:\\" + so + "\\" + hyo + "\\",
            "D:\\",
            "D:\\",
            {"D:\\" + so + "\\" + hyo, "D:\\" + so, "D:\\"}},
           {"\\\\srv\\share", "\\\\srv\\share\\", "\\\\srv\\share\\", {"\\\\srv\\share\\"}},
           {"Q:\\Games", "", "", {"Q:\\Games", "Q:\\"}},
           {"Games\\X", "Games", "", {}},
       }) {
    existing = {c.exists};
    asked.clear();
    char out[kPathSize] = "junk";
    EXPECT_EQ(nearestExistingFolder(c.folder.c_str(), fakeIsFolder, out), !c.nearest.empty())
        << c.folder;
    EXPECT_EQ(std::string(out), c.nearest) << c.folder;
    EXPECT_EQ(asked, c.asked) << c.folder;
  }
}

TEST(UserFolders, VirtualStoreMirrorIsTheFolderWithoutItsDrive) {
  const std::string vs = "C:\\Users\\p\\AppData\\Local\\VirtualStore", hyo = "\x95\x5c";
  const std::string fits(258 - vs.size(), 'n');
  struct Case {
    std::string store, folder;
    bool result;
    std::string mirror;
  };
  for (const Case& c : std::vector<Case>{
           {vs + "\\", "C:\\PF\\Slumber\\\\Game", true, vs + "\\PF\\Slumber\\Game"},
           {vs, "D:\\" + hyo + "\\\\x", true, vs + "\\" + hyo + "\\x"},  // 表's second byte stays
           {"/home/p/VS", "/tmp/x/Game", true, "/home/p/VS/tmp/x/Game"},
           {vs, "\\\\srv\\share\\Game", true, ""},  // a share is never redirected
           {vs, "C:\\", false, ""},
           {vs, "C:\\" + fits, true, vs + "\\" + fits},
           {vs, "C:\\" + fits + "n", false, ""},
       }) {
    char out[kPathSize] = "junk";
    EXPECT_EQ(virtualStoreMirror(out, c.store.c_str(), c.folder.c_str()), c.result) << c.folder;
    EXPECT_EQ(std::string(out), c.mirror) << c.folder;
  }
}

TEST(UserFolders, MovedSavesGoWithTheFoldersTheyLeaveEmptyAndNothingElse) {
  struct Case {
    std::vector<std::string> saveData, files;  // files below the mirror; "SAVE@" a link to outside
    bool result;
    std::set<std::string> left;  // below the mirror ("" for the mirror itself)
  };
  for (const Case& c : std::vector<Case>{
           {{"SAVE\\*.SAV", "CONFIG.INI"},
            {"SAVE/ONE.SAV", "SAVE/two.sav", "CONFIG.INI"},
            true,
            {}},
           {{"SAVE\\*.SAV"},
            {"SAVE/ONE.SAV", "SAVE/OLD.SAV.BAK", "LOG/A.TXT"},
            true,
            {"", "SAVE", "SAVE/OLD.SAV.BAK", "LOG", "LOG/A.TXT"}},
           {{"SAVE\\SLOT\\*.DAT", "\\SAVE\\G.DAT"}, {"SAVE/SLOT/1.DAT", "SAVE/G.DAT"}, true, {}},
           {{"SAVE\\*.SAV", "A.INI"}, {"SAVE@", "A.INI"}, false, {"", "SAVE"}},
           {{"..\\*.SAV", "A.SAV"}, {"A.SAV"}, false, {}},
       }) {
    SCOPED_TRACE(c.saveData[0]);
    TempDir base;
    releaseConfig();
    clearInstallLists();
    setTexts(config.saveData, c.saveData);
    const std::string store = base.path + "/VS", folder = base.path + "/PF/Game",
                      mirror = store + folder;
    std::filesystem::create_directories(mirror);
    putFile(base.path, "outside/ONE.SAV", "not the game's");
    putFile(base.path, "PF/A.SAV", "not the game's");
    putFile(store, "Other/KEEP.SAV", "another program's");
    for (const std::string& f : c.files) {
      if (f.back() == '@')
        ASSERT_EQ(symlink((base.path + "/outside").c_str(),
                          (mirror + "/" + f.substr(0, f.size() - 1)).c_str()),
                  0);
      else
        putFile(mirror, f, f);
    }

    EXPECT_EQ(removeMovedSaveData(store.c_str(), folder.c_str()), c.result);
    std::set<std::string> left;
    if (std::filesystem::exists(mirror)) {
      left.insert("");
      for (const auto& entry : std::filesystem::recursive_directory_iterator(mirror))
        left.insert(entry.path().string().substr(mirror.size() + 1));
    }
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(readFile(base.path + "/outside/ONE.SAV"), "not the game's");
    EXPECT_EQ(readFile(base.path + "/PF/A.SAV"), "not the game's");
    EXPECT_EQ(readFile(store + "/Other/KEEP.SAV"), "another program's");
    EXPECT_TRUE(std::filesystem::is_directory(store + base.path + "/PF"));  // the store's own level
  }
  clearInstallLists();
}

}  // namespace
