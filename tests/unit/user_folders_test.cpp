// A player without administrator rights and the saves Windows moved: where
// the probe for a writable folder is made, where the VirtualStore keeps an
// install folder's redirected files, and the removal of the save data there
// (only what the save-data list names, the folders this leaves empty,
// nothing through a link, nothing outside).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "tests/unit/disc_fixture.h"

namespace {

// ---- The nearest existing level -------------------------------------------------

std::set<std::string> existing;
std::vector<std::string> asked;
bool fakeIsFolder(const char* path) {
  asked.push_back(path);
  return existing.count(path) > 0;
}

TEST(UserFolders, NearestExistingLevelStepsUpByWholeCharacters) {
  // ソ and 表 end in the byte of a backslash; a cut there would ask for
  // folders nobody named.
  const std::string so = "\x83\x5c", hyo = "\x95\x5c";
  struct Case {
    std::string folder;
    std::set<std::string> existing;
    bool found;
    std::string nearest;
    std::vector<std::string> asked;
  };
  const std::vector<Case> cases = {
      {"C:\\Program Files\\Slumber\\\\TestGame", {"C:\\", "C:\\Program Files"}, true, "C:\\Program Files",
       {"C:\\Program Files\\Slumber\\\\TestGame", "C:\\Program Files\\Slumber", "C:\\Program Files"}},
      {"C:\\Games\\\\", {"C:\\Games"}, true, "C:\\Games", {"C:\\Games"}},
      {"D:\\" + so + "\\" + hyo, {"D:\\"}, true, "D:\\", {"D:\\" + so + "\\" + hyo, "D:\\" + so, "D:\\"}},
      {"d:/x/y", {"d:\\"}, true, "d:\\", {"d:/x/y", "d:/x", "d:\\"}},
      {"Q:\\Games", {}, false, "", {"Q:\\Games", "Q:\\"}},
      {"\\\\srv\\share\\Games\\X", {"\\\\srv\\share\\"}, true, "\\\\srv\\share\\",
       {"\\\\srv\\share\\Games\\X", "\\\\srv\\share\\Games", "\\\\srv\\share\\"}},
      {"\\\\srv\\share", {"\\\\srv\\share\\"}, true, "\\\\srv\\share\\", {"\\\\srv\\share\\"}},
      {"/tmp/a/b", {"/tmp"}, true, "/tmp", {"/tmp/a/b", "/tmp/a", "/tmp"}},
      {"Games\\X", {"Games"}, false, "", {}},
      {"C:Games", {"C:"}, false, "", {}},
      {std::string("C:\\") + std::string(300, 'n'), {"C:\\"}, false, "", {}},
  };
  for (const Case& c : cases) {
    existing = c.existing;
    asked.clear();
    char out[kPathSize] = "junk";
    EXPECT_EQ(nearestExistingFolder(c.folder.c_str(), fakeIsFolder, out), c.found) << c.folder;
    EXPECT_EQ(std::string(out), c.nearest) << c.folder;
    EXPECT_EQ(asked, c.asked) << c.folder;
  }
}

// ---- The VirtualStore's place of a folder -----------------------------------------

TEST(UserFolders, VirtualStoreMirrorIsTheFolderWithoutItsDrive) {
  const std::string store = "C:\\Users\\p\\AppData\\Local\\VirtualStore";
  const std::string hyo = "\x95\x5c";
  struct Case {
    std::string store, folder;
    bool result;
    std::string mirror;
  };
  const std::vector<Case> cases = {
      {store, "C:\\Program Files\\Slumber\\\\TestGame", true, store + "\\Program Files\\Slumber\\TestGame"},
      {store, "c:/Program Files (x86)/Game", true, store + "/Program Files (x86)/Game"},
      // The second byte of 表 before a separator stays where it is.
      {store, "D:\\" + hyo + "\\\\x", true, store + "\\" + hyo + "\\x"},
      {store + "\\", "C:\\Games", true, store + "\\Games"},
      {"/home/p/VirtualStore", "/tmp/x/Game", true, "/home/p/VirtualStore/tmp/x/Game"},
      // A share is never redirected: nothing to look at, no failure.
      {store, "\\\\srv\\share\\Game", true, ""},
      {store, "C:\\", false, ""},
      {store, "Game", false, ""},
      {"", "C:\\Games", false, ""},
      {store, "C:\\" + std::string(259 - store.size(), 'n'), false, ""},
      {store, "C:\\" + std::string(258 - store.size(), 'n'), true, store + "\\" + std::string(258 - store.size(), 'n')},
  };
  for (const Case& c : cases) {
    char out[kPathSize] = "junk";
    EXPECT_EQ(virtualStoreMirror(out, c.store.c_str(), c.folder.c_str()), c.result) << c.folder;
    EXPECT_EQ(std::string(out), c.mirror) << c.folder;
  }
}

// ---- Removing the moved saves ------------------------------------------------------

// Every path below `root` ('/' separated, folders ending in '/'), sorted.
std::set<std::string> pathsBelow(const std::string& root) {
  std::set<std::string> out;
  std::string list = root + "/.list";
  std::string command = "cd '" + root + "' && find . -mindepth 1 \\( -type d -printf '%P/\\n' \\) -o -printf '%P\\n' >'" +
                        list + "'";
  if (system(command.c_str()) != 0) return out;
  std::string text = readFile(list);
  unlink(list.c_str());
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line != ".list") out.insert(line);
  }
  return out;
}

TEST(UserFolders, MovedSavesGoWithTheFoldersTheyLeaveEmptyAndNothingElse) {
  // In the store: the mirror of <base>/PF/Slumber/Game as "M/" in the
  // expectations, another program's file beside it, and a folder outside.
  struct Case {
    const char* what;
    std::vector<std::string> saveData;
    std::vector<std::string> files;                          // below the mirror
    std::vector<std::pair<std::string, std::string>> links;  // below the mirror, to a base folder
    bool result;
    std::set<std::string> left;  // below the mirror, besides what every case keeps
  };
  const std::vector<Case> cases = {
      {"saves only", {"SAVE\\*.SAV", "CONFIG.INI"}, {"SAVE/ONE.SAV", "SAVE/two.sav", "CONFIG.INI"}, {}, true, {}},
      {"a file of the player's keeps its folders",
       {"SAVE\\*.SAV"},
       {"SAVE/ONE.SAV", "SAVE/NOTES.TXT", "SAVE/OLD.SAV.BAK"},
       {},
       true,
       {"M/", "M/SAVE/", "M/SAVE/NOTES.TXT", "M/SAVE/OLD.SAV.BAK"}},
      {"nested folders, deepest first",
       {"SAVE\\SLOT\\*.DAT", "SAVE\\GLOBAL.DAT", "\\SYS\\*"},
       {"SAVE/SLOT/1.DAT", "SAVE/SLOT/2.DAT", "SAVE/GLOBAL.DAT", "SYS/A", "SYS/B"},
       {},
       true,
       {}},
      {"a folder the list does not name stays", {"*.SAV"}, {"A.SAV", "LOG/RUN.TXT"}, {}, true,
       {"M/", "M/LOG/", "M/LOG/RUN.TXT"}},
      {"nothing there", {"SAVE\\*.SAV"}, {}, {}, true, {}},
      {"a link on the way is not followed",
       {"SAVE\\*.SAV", "CONFIG.INI"},
       {"CONFIG.INI"},
       {{"SAVE", "outside"}},
       false,
       {"M/", "M/SAVE"}},
      {"an entry reaching out is refused", {"..\\*.SAV", "A.SAV"}, {"A.SAV"}, {}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir base;
    releaseConfig();
    clearInstallLists();
    setTexts(config.saveData, c.saveData);
    const std::string store = base.path + "/VirtualStore";
    const std::string folder = base.path + "/PF/Slumber/Game";
    const std::string mirror = store + folder;
    ASSERT_EQ(system(("mkdir -p '" + mirror + "' '" + base.path + "/outside'").c_str()), 0);
    putFile(store, "Other/KEEP.SAV", "another program's");
    putFile(base.path, "outside/ONE.SAV", "not the game's");
    putFile(base.path, "PF/A.SAV", "beside the mirror's parent");
    for (const std::string& f : c.files) putFile(mirror, f, f);
    for (const auto& l : c.links) ASSERT_EQ(symlink((base.path + "/" + l.second).c_str(), (mirror + "/" + l.first).c_str()), 0);
    if (c.files.empty() && c.links.empty()) ASSERT_EQ(rmdir(mirror.c_str()), 0);

    EXPECT_EQ(removeMovedSaveData(store.c_str(), folder.c_str()), c.result);

    // What is left in the store: the mirror's paths as "M/...", the levels
    // above it left out (checked below).
    std::set<std::string> left;
    const std::string rel = folder.substr(1) + "/";
    for (const std::string& p : pathsBelow(store)) {
      if (p.compare(0, rel.size(), rel) == 0)
        left.insert("M/" + p.substr(rel.size()));
      else if (rel.compare(0, p.size(), p) != 0)
        left.insert(p);
    }
    std::set<std::string> expected = c.left;
    expected.insert({"Other/", "Other/KEEP.SAV"});
    EXPECT_EQ(left, expected);
    EXPECT_EQ(readFile(base.path + "/outside/ONE.SAV"), "not the game's");
    EXPECT_EQ(readFile(base.path + "/PF/A.SAV"), "beside the mirror's parent");
    // The levels above the mirror are the store's own, and stay.
    struct stat st;
    EXPECT_EQ(stat((store + base.path + "/PF/Slumber").c_str(), &st), 0);
  }
  clearInstallLists();

  // An install folder on a share has no such place: nothing is looked at.
  setTexts(config.saveData, {"*.SAV"});
  opLog = OpLog();
  FileOps ops = loggingOps();
  setFileOps(&ops);
  EXPECT_TRUE(removeMovedSaveData("/nowhere/VirtualStore", "\\\\srv\\share\\Game"));
  EXPECT_TRUE(opLog.touched.empty());
  EXPECT_FALSE(removeMovedSaveData("/nowhere/VirtualStore", "Game"));
  EXPECT_TRUE(opLog.touched.empty());
  setFileOps(nullptr);
  clearInstallLists();
}

}  // namespace
