// The names and figures of the game's entry in the system's list of
// installed programs.
#include <gtest/gtest.h>

#include <cstring>

#include "install/install_path.h"
#include "script/config.h"
#include "tests/unit/disc_fixture.h"
#include "uninstall/uninstall_entry.h"

namespace {

TEST(UninstallEntry, KeyFolderAndSize) {
  releaseConfig();
  char out[kPathSize];
  EXPECT_FALSE(uninstallEntryKey(out, sizeof out));  // no record key, no entry key
  // Separators become '_'; the 0x5C second byte of ソ stays.
  strcpy(config.regAddress, "\\Software\\\x83\x5C\x83\x74\x83\x67/Game");
  ASSERT_TRUE(uninstallEntryKey(out, sizeof out));
  EXPECT_STREQ(out, "KSetup Software_\x83\x5C\x83\x74\x83\x67_Game");
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

}  // namespace
