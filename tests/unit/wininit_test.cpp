// The WININIT.INI edit that deletes the program at the next start, byte for
// byte, and the names the drive list and the device lookup are built from.
#include <gtest/gtest.h>

#include <string>

#include "media/disc.h"
#include "platform/platform.h"
#include "uninstall/wininit.h"

namespace {

const char kOwn[] = "C:\\WINDOWS\\TEMP\\KSetup.exe";

// The file as it reads after the planned edit; `exists` false for no file.
std::string edited(const std::string& before, bool exists = true) {
  WininitEdit edit;
  EXPECT_TRUE(planWininitEdit(before.data(), static_cast<uint32_t>(before.size()), exists, kOwn, &edit));
  EXPECT_LE(edit.offset, before.size());
  // The edit never leaves bytes of the old file beyond what it writes.
  EXPECT_GE(edit.offset + edit.length, exists ? before.size() : 0u);
  std::string after = exists ? before.substr(0, edit.offset) : std::string();
  after.append(edit.text, edit.length);
  heapFree(edit.text);
  return after;
}

TEST(Wininit, NoFileGetsTheSectionAndTheLineWithoutLineEnd) {
  EXPECT_EQ(edited("", false), std::string("[rename]\r\nNUL = ") + kOwn);
}

TEST(Wininit, FileWithoutSectionGetsSectionAndLineAppended) {
  // The system acts on NUL lines only inside [rename], so the name comes too.
  EXPECT_EQ(edited(""), std::string("\r\n[rename]\r\nNUL = ") + kOwn + "\r\n");
  std::string boot = "[boot]\r\nshell=Explorer.exe\r\n";
  EXPECT_EQ(edited(boot), boot + "\r\n[rename]\r\nNUL = " + kOwn + "\r\n");
  // Near misses are no section.
  std::string nearMiss = "[renam]\r\n{rename}\r\n[re name]\r\n";
  EXPECT_EQ(edited(nearMiss), nearMiss + "\r\n[rename]\r\nNUL = " + kOwn + "\r\n");
}

TEST(Wininit, LineGoesRightAfterTheSectionNameInAnyLetterCase) {
  const std::string line = std::string("\r\nNUL = ") + kOwn + "\r\n";
  EXPECT_EQ(edited("[rename]\r\nNUL=C:\\OLD.TMP\r\n"), "[rename]" + line + "\r\nNUL=C:\\OLD.TMP\r\n");
  EXPECT_EQ(edited("[Rename]\r\n"), "[Rename]" + line + "\r\n");
  EXPECT_EQ(edited("[RENAME]"), "[RENAME]" + line);
  // Further down, after other sections; only the first section is used.
  std::string before = "[boot]\r\na=1\r\n[reNAME]\r\nX=Y\r\n[rename]\r\n";
  EXPECT_EQ(edited(before), "[boot]\r\na=1\r\n[reNAME]" + line + "\r\nX=Y\r\n[rename]\r\n");
}

TEST(Wininit, EveryByteAfterTheSectionStays) {
  // Double-byte text and a stray zero byte after the section move along.
  std::string tail("\r\n; \x83\x65\x83\x58\x83\x67\r\nA\0B\r\n", 17);
  std::string after = edited("[rename]" + tail);
  EXPECT_EQ(after, "[rename]\r\nNUL = " + std::string(kOwn) + "\r\n" + tail);
  // The section is looked for only up to the first zero byte.
  std::string hidden("x\0[rename]\r\n", 12);
  EXPECT_EQ(edited(hidden), hidden + "\r\n[rename]\r\nNUL = " + kOwn + "\r\n");
}

TEST(Wininit, SectionSearchComparesOnlyLettersWithoutCase) {
  EXPECT_EQ(findRenameSection("[RENAME]", 8), 0);
  EXPECT_EQ(findRenameSection("ab[rEnAmE]", 10), 2);
  EXPECT_EQ(findRenameSection("[rename]", 7), -1);  // cut by the size
}

TEST(DriveNames, DriveNumbersAndEntries) {
  EXPECT_EQ(driveNumberOfLetter('A'), 1);
  EXPECT_EQ(driveNumberOfLetter('d'), 4);
  EXPECT_EQ(driveNumberOfLetter('D'), 4);
  EXPECT_EQ(driveNumberOfLetter('z'), 26);
  EXPECT_EQ(driveNumberOfLetter('['), 0);
  EXPECT_EQ(driveNumberOfLetter('\\'), 0);

  char entry[260];
  formatDriveEntry(entry, sizeof entry, "e:\\", nullptr);
  EXPECT_STREQ(entry, "[-E-] CDROM DRIVE");
  formatDriveEntry(entry, sizeof entry, "E", "WINE CD-ROM");
  EXPECT_STREQ(entry, "[-E-] WINE CD-ROM");
  // The letter stays the third character however long the description.
  std::string longText(400, 'x');
  formatDriveEntry(entry, sizeof entry, "F", longText.c_str());
  EXPECT_EQ(std::string(entry), "[-F-] " + std::string(253, 'x'));
}

TEST(DriveNames, EnumKeyFromMountedDevicePath) {
  char key[260];
  ASSERT_TRUE(enumKeyFromDevicePath("\\??\\IDE#CdRomDEVICE#5&1a2b&0&1.0.0#{53f5630d-b6bf}", key, sizeof key));
  EXPECT_STREQ(key, "System\\CurrentControlSet\\Enum\\IDE\\CdRomDEVICE\\5&1a2b&0&1.0.0");
  ASSERT_TRUE(enumKeyFromDevicePath("\\??\\A#B#C#", key, sizeof key));
  EXPECT_STREQ(key, "System\\CurrentControlSet\\Enum\\A\\B\\C");
  // Fewer than three '#': the value ends before a key can be named.
  EXPECT_FALSE(enumKeyFromDevicePath("\\??\\IDE#CdRom#5&1a2b", key, sizeof key));
  EXPECT_STREQ(key, "");
  EXPECT_FALSE(enumKeyFromDevicePath("\\??\\", key, sizeof key));
  EXPECT_FALSE(enumKeyFromDevicePath("\\?", key, sizeof key));
  // A binary value (a disk signature) has no text to speak of.
  EXPECT_FALSE(enumKeyFromDevicePath("\x12\x34\x56\x78", key, sizeof key));
  // A key path that would not fit is refused, not cut.
  std::string longPath = "\\??\\A#" + std::string(300, 'b') + "#C#";
  EXPECT_FALSE(enumKeyFromDevicePath(longPath.c_str(), key, sizeof key));
}

}  // namespace
