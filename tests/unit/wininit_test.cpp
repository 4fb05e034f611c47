// The WININIT.INI edit that deletes the program at the next start, byte for
// byte, also on files that are not the tidy text it expects (binary bytes,
// zero bytes before and after the section, several megabytes, no line ends):
// whatever the file holds, every byte of it must still be there afterwards,
// in order, with only the new line put in. And the names the drive list and
// the device lookup are built from.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "media/disc.h"
#include "platform/platform.h"
#include "tests/unit/test_util.h"
#include "uninstall/wininit.h"

namespace {

const char kOwn[] = "C:\\WINDOWS\\TEMP\\KSetup.exe";
const std::string kLine = std::string("\r\nNUL = ") + kOwn + "\r\n";
const std::string kAppended = "\r\n[rename]" + kLine;

// The file after the edit, applied as the program applies it: the file read
// into a zero-filled block one byte longer, the planned text written at its
// offset over the file; `exists` false for no file.
std::string edited(const std::string& before, bool exists = true) {
  char* text = static_cast<char*>(heapAlloc(before.size() + 1));
  EXPECT_TRUE(text);
  if (!text) return before;
  memcpy(text, before.data(), before.size());
  WininitEdit edit;
  bool planned = planWininitEdit(text, uint32_t(before.size()), exists, kOwn, &edit);
  heapFree(text);
  EXPECT_TRUE(planned);
  if (!planned) return before;
  EXPECT_LE(edit.offset, before.size());
  // The edit never leaves bytes of the old file beyond what it writes.
  EXPECT_GE(edit.offset + edit.length, exists ? before.size() : 0u);
  std::string after = exists ? before.substr(0, edit.offset) : std::string();
  after.append(edit.text, edit.length);
  heapFree(edit.text);
  return after;
}

// Bytes of every value, from a fixed generator, with no "[rename]" among them
// unless `allowSection`.
std::string noise(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
  for (size_t i = 0; i < size; i++) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    s[i] = char(x >> 24);
    // '[' never followed by 'r' or 'R': no section by chance.
    if (i > 0 && s[i - 1] == '[' && (s[i] == 'r' || s[i] == 'R')) s[i] = 'x';
  }
  return s;
}

// Checks the edit kept the file whole: the section name at `at` is followed
// by the new line and then by all the bytes that followed it before.
void expectInsertedAfter(const std::string& before, size_t at, const std::string& after) {
  const size_t cut = at + 8;
  ASSERT_EQ(after.size(), before.size() + kLine.size());
  EXPECT_TRUE(after.compare(0, cut, before, 0, cut) == 0) << "bytes before the line changed";
  EXPECT_TRUE(after.compare(cut, kLine.size(), kLine) == 0) << "the line is not right after [rename]";
  EXPECT_TRUE(after.compare(cut + kLine.size(), std::string::npos, before, cut, std::string::npos) == 0)
      << "bytes after the line changed";
}

void expectAppended(const std::string& before, const std::string& after) {
  ASSERT_EQ(after.size(), before.size() + kAppended.size());
  EXPECT_TRUE(after.compare(0, before.size(), before) == 0) << "bytes of the file changed";
  EXPECT_TRUE(after.compare(before.size(), std::string::npos, kAppended) == 0);
}

TEST(WininitStress, BinaryFilesKeepEveryByte) {
  for (uint32_t seed = 1; seed <= 8; seed++) {
    SCOPED_TRACE(seed);
    std::string bytes = noise(4096 + seed * 37, seed);
    // Without a section anywhere: appended after the last byte, zero bytes
    // inside included.
    expectAppended(bytes, edited(bytes));
    // With the section somewhere after the noise's first zero byte: not seen
    // (the search ends there), so appended again, nothing taken away.
    size_t zero = bytes.find('\0');
    ASSERT_NE(zero, std::string::npos);
    std::string hidden = bytes;
    hidden.insert(zero + 1, "[rename]");
    expectAppended(hidden, edited(hidden));
    // With the section before the first zero byte, in other letter case: the
    // line goes in there and everything after moves along, zeros included.
    std::string found = bytes;
    found.insert(0, "[ReNaMe]");
    expectInsertedAfter(found, 0, edited(found));
  }
  // A file of only zero bytes, and one of 0xFF bytes around the section.
  std::string zeros(1000, '\0');
  expectAppended(zeros, edited(zeros));
  std::string high = std::string(500, '\xFF') + "[RENAME]" + std::string(500, '\xFF');
  expectInsertedAfter(high, 500, edited(high));
}

TEST(WininitStress, MegabyteFilesEditedInPlaceWithoutLoss) {
  const size_t size = 6 * 1024 * 1024;
  std::string lines;
  lines.reserve(size + 64);
  for (int n = 0; lines.size() < size; n++)
    lines += "[section" + std::to_string(n) + "]\r\nkey=value " + std::to_string(n * 7919) + "\r\n";
  // Section at the start, in the middle, at the very end, and none.
  expectInsertedAfter("[rename]" + lines, 0, edited("[rename]" + lines));
  std::string middle = lines;
  size_t at = middle.find("[section", middle.size() / 2);
  middle.insert(at, "[rename]\r\nNUL=C:\\OLD.TMP\r\n");
  expectInsertedAfter(middle, at, edited(middle));
  expectInsertedAfter(lines + "[rename]", lines.size(), edited(lines + "[rename]"));
  expectAppended(lines, edited(lines));

  // Through a real file as well, written and read back whole.
  TempDir dir;
  const std::string path = dir.file("WININIT.INI");
  writeFile(path, middle);
  std::string before = readFile(path);
  writeFile(path, edited(before));
  expectInsertedAfter(middle, at, readFile(path));
}

TEST(WininitStress, TextWithoutLineEnds) {
  // One long line: the section name glued to what follows it.
  std::string glued = "[boot]shell=Explorer.exe[rename]NUL=C:\\A.TMP" + std::string(100000, 'a');
  expectInsertedAfter(glued, glued.find("[rename]"), edited(glued));
  // Bare LF and bare CR line ends stay as they are.
  std::string lf = "[boot]\nx=1\n[rename]\nNUL=C:\\B.TMP\n";
  expectInsertedAfter(lf, lf.find("[rename]"), edited(lf));
  std::string cr = "[boot]\rx=1\r[Rename]";
  expectInsertedAfter(cr, cr.find("[Rename]"), edited(cr));
  // Without line ends and without a section: appended after the last byte.
  std::string flat(70000, 'z');
  expectAppended(flat, edited(flat));
  // A section name cut off by the end of the file is no section.
  std::string cut = "x=1[renam";
  expectAppended(cut, edited(cut));
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
