// The names and figures of the game's entry in the system's list of
// installed programs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/install_path.h"
#include "script/config.h"
#include "tests/unit/disc_fixture.h"
#include "uninstall/run_folder.h"
#include "uninstall/uninstall_entry.h"

namespace {

TEST(UninstallEntry, KeyFolderAndSize) {
  releaseConfig();
  char out[kPathSize];
  EXPECT_FALSE(uninstallEntryKey(out, sizeof out));  // no record key, no entry key
  // Separators are written out; the 0x5C second byte of ソ stays.
  strcpy(config.regAddress, "\\Software\\\x83\x5C\x83\x74\x83\x67/Game");
  ASSERT_TRUE(uninstallEntryKey(out, sizeof out));
  EXPECT_STREQ(out, "KSetup Software_5C\x83\x5C\x83\x74\x83\x67_2FGame");
  EXPECT_FALSE(uninstallEntryKey(out, 12));

  setInstallFolder("C:\\Games\\Game");
  EXPECT_FALSE(uninstallEntryFolder(out));  // not asked for
  strcpy(config.uninstallEntry, "UNINST");
  ASSERT_TRUE(uninstallEntryFolder(out));
  EXPECT_STREQ(out, "C:\\Games\\Game\\UNINST");
  strcpy(config.uninstallEntry, "..\\UNINST");
  EXPECT_FALSE(uninstallEntryFolder(out));

  clearInstallLists();
  setFileList(0, {{"A", 8}, {"B", 4}});
  config.fileSize[0][0] = 1;
  config.fileSize[0][1] = 2048;
  EXPECT_EQ(installedKilobytes(8), 1u);
  EXPECT_EQ(installedKilobytes(4), 2u);
  EXPECT_EQ(installedKilobytes(2), 0u);
  clearInstallLists();
  releaseConfig();
  installFolder[0] = 0;
}

// Record keys that differ (other than in letter case, as the registry
// compares) never share an entry key.
TEST(UninstallEntry, KeysOfDifferentRecordsDiffer) {
  const char* const keys[] = {
      "Software\\Maker\\Game",   "Software\\Maker_Game",   "Software_Maker\\Game",
      "Software\\Maker/Game",    "Software\\Maker\\_Game", "Software\\Maker_\\Game",
      "Software\\Maker_5CGame",  "Software\\Maker__Game",  "Software\\\x83\x5C\\Game",
      "Software\\\x83\x5C_Game",
  };
  std::vector<std::string> made;
  for (const char* key : keys) {
    releaseConfig();
    strcpy(config.regAddress, key);
    char out[kPathSize];
    ASSERT_TRUE(uninstallEntryKey(out, sizeof out)) << key;
    for (const std::string& other : made) EXPECT_NE(other, out) << key;
    made.push_back(out);
  }
  releaseConfig();
}

// The run folders' names: the form made, and only that form taken for one.
TEST(RunFolder, NamesMadeAndRecognised) {
  const unsigned char random[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  char name[32];
  runFolderName(random, name);
  EXPECT_STREQ(name, "KSetup-0123456789ABCDEF");
  const struct {
    const char* name;
    bool isRun;
  } cases[] = {
      {"KSetup-0123456789ABCDEF", true},
      {"ksetup-0123456789abcdef", true},
      {"KSetup-0123456789ABCDE", false},
      {"KSetup-0123456789ABCDEF0", false},
      {"KSetup-0123456789ABCDEG", false},
      {"KSetup-0123456789ABCDE ", false},
      {"KSetup_0123456789ABCDEF", false},
      {"KSetup-", false},
      {"KSetup-Saves", false},
      {"KSetup-0123456789ABCDEF.old", false},
      {"", false},
      {"XKSetup-0123456789ABCDEF", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isRunFolderName(c.name), c.isRun) << c.name;
}

}  // namespace
