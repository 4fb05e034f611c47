// The script scanner's readers and its two keyword tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/scanner.h"

namespace {

// Offset of a reader's result in `text`, or -1 for null.
long at(const char* text, const char* result) { return result ? long(result - text) : -1; }

TEST(ScannerSkips, StopAtTheirClassesAndNeverCrossALineBreak) {
  const char* t = " \t A,B C\r\nD";
  EXPECT_EQ(at(t, skipBlanks(t)), 3);
  EXPECT_EQ(at(t, skipBlanks(t + 3)), 3);
  EXPECT_EQ(at(t, skipWord(t + 3)), 6);         // the comma is part of the word
  EXPECT_EQ(at(t, skipToSeparator(t + 3)), 4);  // the comma is a separator
  EXPECT_EQ(at(t, skipToSeparator(t + 4)), 4);  // already on one
  EXPECT_EQ(at(t, skipWord(t + 7)), 8);         // CR ends a word
  EXPECT_EQ(at(t, lineEnd(t)), 8);
  EXPECT_EQ(at(t, lineEnd(t + 9)), 9);          // LF
  EXPECT_EQ(at(t, lineEnd(t + 10)), 11);        // NUL
  EXPECT_EQ(at(t, skipWord(t + 10)), 11);
  EXPECT_EQ(at("a\tb", skipWord("a\tb")), 1);

  EXPECT_EQ(skipBlanks(nullptr), nullptr);
  EXPECT_EQ(skipWord(nullptr), nullptr);
  EXPECT_EQ(skipToSeparator(nullptr), nullptr);
  EXPECT_EQ(lineEnd(nullptr), nullptr);
  EXPECT_EQ(findEquals(nullptr), nullptr);
}

TEST(ScannerSkips, FindEqualsStaysOnItsLine) {
  const char* t = "KEY  = 1";
  EXPECT_EQ(at(t, findEquals(t)), 5);
  EXPECT_EQ(findEquals("KEY 1\r= 2"), nullptr);
  EXPECT_EQ(findEquals("KEY 1\n= 2"), nullptr);
  EXPECT_EQ(findEquals("KEY"), nullptr);
  const char* two = "A = B = C";
  EXPECT_EQ(at(two, findEquals(two)), 2);
  EXPECT_EQ(at(two, findEquals(two + 3)), 6);
}

TEST(ScannerNumbers, ReadUnsignedDecimalHexAndStops) {
  EXPECT_EQ(readUnsigned("0x1F"), 31u);
  EXPECT_EQ(readUnsigned("0X1f"), 31u);
  EXPECT_EQ(readUnsigned("31"), 31u);
  EXPECT_EQ(readUnsigned(" \t31"), 31u);
  EXPECT_EQ(readUnsigned("0x"), 0u);
  EXPECT_EQ(readUnsigned("0xg1"), 0u);
  EXPECT_EQ(readUnsigned("12ab"), 12u);
  EXPECT_EQ(readUnsigned("abc"), 0u);
  EXPECT_EQ(readUnsigned(""), 0u);
  EXPECT_EQ(readUnsigned("-5"), 0u);
  EXPECT_EQ(readUnsigned("007"), 7u);
  EXPECT_EQ(readUnsigned("4294967295"), 4294967295u);
  EXPECT_EQ(readUnsigned("4294967296"), 0u);  // modulo 2^32
  EXPECT_EQ(readUnsigned("0xFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(readUnsigned("0x123456789"), 0x23456789u);
  EXPECT_EQ(readUnsigned(nullptr), 0u);
}

TEST(ScannerNumbers, ReadSignedTakesMinusBlanksAndValueWords) {
  EXPECT_EQ(readSigned("- 5"), -5);
  EXPECT_EQ(readSigned("  -5"), -5);
  EXPECT_EQ(readSigned("-0x10"), -16);
  EXPECT_EQ(readSigned("0x10"), 16);
  EXPECT_EQ(readSigned("INFINITE"), -1);
  EXPECT_EQ(readSigned("to_finish"), 101);
  EXPECT_EQ(readSigned("-TO_FINISH"), -101);
  EXPECT_EQ(readSigned("AFTER_FINISH"), 102);
  EXPECT_EQ(readSigned("DIRECTION_UP"), 0x20004);
  EXPECT_EQ(readSigned("4294967295"), -1);
  EXPECT_EQ(readSigned("-"), 0);
  EXPECT_EQ(readSigned("x"), 0);
  EXPECT_EQ(readSigned(nullptr), 0);
}

TEST(ScannerValueWords, DiscWordsNumbersAndCase) {
  EXPECT_EQ(readValueWord("disc3"), 6u);
  EXPECT_EQ(readValueWord("DISC10"), 13u);
  EXPECT_EQ(readValueWord("DISC1,"), 4u);
  EXPECT_EQ(readValueWord("DISC1"), 4u);
  EXPECT_EQ(readValueWord("DISC9"), 12u);
  EXPECT_EQ(readValueWord("DISC12"), 4u);  // DISC1 is a prefix of it
  EXPECT_EQ(readValueWord("DISC"), 0u);
  EXPECT_EQ(readValueWord("7"), 7u);
  EXPECT_EQ(readValueWord("0x0D"), 13u);
  EXPECT_EQ(readValueWord("XYZ"), 0u);
  EXPECT_EQ(readValueWord(" DISC1"), 0u);  // blanks are not skipped
  EXPECT_EQ(readValueWord("REM"), 0u);     // never tried
  EXPECT_EQ(readValueWord(""), 0u);
  EXPECT_EQ(readValueWord(nullptr), 0u);
  EXPECT_EQ(readValueWord("loadinifromhd = 0"), 3u);
  EXPECT_EQ(readValueWord("Stretch_Desktop"), 0x10001u);
  // Digits and the underscore of a word compare exactly; a longer word is
  // read by its longest listed prefix.
  EXPECT_EQ(readValueWord("STRETCH-DESKTOP"), 0u);
  EXPECT_EQ(readValueWord("direction_leftdown"), 0x20009u);
  EXPECT_EQ(readValueWord("DIRECTION_LEFTX"), 0x20001u);
}

// First-match prefix lookup needs every word to stand before the words it
// is a prefix of; then each word, read alone, gives its own value.
TEST(ScannerTables, OrderAndValues) {
  for (int i = 1; i < kValueWordCount; i++) {
    EXPECT_EQ(readValueWord(valueWords[i].word), valueWords[i].value) << valueWords[i].word;
    for (int j = i + 1; j < kValueWordCount; j++)
      EXPECT_NE(strncmp(valueWords[i].word, valueWords[j].word, strlen(valueWords[i].word)), 0)
          << valueWords[i].word << " hides " << valueWords[j].word;
  }
  EXPECT_STREQ(valueWords[0].word, "REM");
  EXPECT_STREQ(lineKeywords[0].word, "REM");
  for (int i = 1; i < kLineKeywordCount; i++) {
    EXPECT_EQ(lineKeywords[i].value, uint32_t(i));
    EXPECT_EQ(matchLineKeyword(lineKeywords[i].word), i) << lineKeywords[i].word;
  }
}

TEST(ScannerLineKeywords, ExactUpperCasePrefixAtTheLineStart) {
  EXPECT_EQ(matchLineKeyword("FILE = \"A\""), kKeyFile);
  EXPECT_EQ(matchLineKeyword("FILELIST DISC1"), kKeyFileList);
  EXPECT_EQ(matchLineKeyword("FILESIZE"), kKeyFileSize);
  EXPECT_EQ(matchLineKeyword("FILEOPTION"), kKeyFileOption);
  EXPECT_EQ(matchLineKeyword("FILELISTS"), kKeyFileList);
  EXPECT_EQ(matchLineKeyword("EXECUTE"), kKeyExec);
  EXPECT_EQ(matchLineKeyword("exec"), 0);
  EXPECT_EQ(matchLineKeyword(" EXEC"), 0);
  EXPECT_EQ(matchLineKeyword("\tEXEC"), 0);
  EXPECT_EQ(matchLineKeyword("REM EXEC"), 0);
  EXPECT_EQ(matchLineKeyword("//"), kKeyComment);
  EXPECT_EQ(matchLineKeyword("// EXEC"), kKeyComment);
  EXPECT_EQ(matchLineKeyword("/"), 0);
  EXPECT_EQ(matchLineKeyword("FIL"), 0);  // shorter than every keyword it starts
  EXPECT_EQ(matchLineKeyword("BAS"), 0);
  EXPECT_EQ(matchLineKeyword(""), 0);
  EXPECT_EQ(matchLineKeyword(nullptr), 0);
}

TEST(ScannerQuoted, CopiesBetweenQuotesAndStopsAtCommaOrLineEnd) {
  char dest[64];
  memset(dest, 'x', sizeof dest);
  EXPECT_TRUE(readQuoted("  \"ABC\"", dest, sizeof dest));
  EXPECT_STREQ(dest, "ABC");

  // Without a quote nothing is copied, not even the terminator.
  strcpy(dest, "old");
  EXPECT_TRUE(readQuoted("ABC", dest, sizeof dest));
  EXPECT_STREQ(dest, "old");
  EXPECT_TRUE(readQuoted("", dest, sizeof dest));
  EXPECT_STREQ(dest, "old");

  EXPECT_FALSE(readQuoted("\"AB,C\"", dest, sizeof dest));
  EXPECT_STREQ(dest, "AB");
  EXPECT_FALSE(readQuoted("\"ABC\r\nD\"", dest, sizeof dest));
  EXPECT_STREQ(dest, "ABC");
  EXPECT_FALSE(readQuoted("\"ABC\nD\"", dest, sizeof dest));
  EXPECT_STREQ(dest, "ABC");
  EXPECT_FALSE(readQuoted("\"AB", dest, sizeof dest));
  EXPECT_STREQ(dest, "AB");
  EXPECT_TRUE(readQuoted("\"\"", dest, sizeof dest));
  EXPECT_STREQ(dest, "");
  EXPECT_TRUE(readQuoted("\"A B\tC\" rest", dest, sizeof dest));
  EXPECT_STREQ(dest, "A B\tC");

  // Shift-JIS trail bytes at or above 0x40 pass through, the backslash too.
  EXPECT_TRUE(readQuoted("\"\x95\x5c\x83\x65\"", dest, sizeof dest));
  EXPECT_STREQ(dest, "\x95\x5c\x83\x65");

  EXPECT_FALSE(readQuoted(nullptr, dest, sizeof dest));
  EXPECT_FALSE(readQuoted("\"A\"", nullptr, 64));
  EXPECT_FALSE(readQuoted("\"A\"", dest, 0));
}

TEST(ScannerQuoted, LongerTextIsCutToTheDestination) {
  char buffer[16];
  memset(buffer, '#', sizeof buffer);
  std::string text = "\"" + std::string(20, 'A') + "\"";
  EXPECT_TRUE(readQuoted(text.c_str(), buffer, 8));
  EXPECT_EQ(std::string(buffer), std::string(7, 'A'));
  EXPECT_EQ(buffer[8], '#');  // nothing past the capacity

  // Exactly capacity - 1 bytes fit whole.
  EXPECT_TRUE(readQuoted("\"1234567\"", buffer, 8));
  EXPECT_STREQ(buffer, "1234567");
  // The cut does not hide a failure further on.
  EXPECT_FALSE(readQuoted("\"123456789,\"", buffer, 8));
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_TRUE(readQuoted("\"AB\"", buffer, 1));
  EXPECT_STREQ(buffer, "");
}

}  // namespace
