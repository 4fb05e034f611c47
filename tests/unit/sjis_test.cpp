// The Shift-JIS rules every name goes through: a double-byte character's
// second byte may be 0x5C (ソ 83 5C, 表 95 5C) or an ASCII letter (ア 83 41,
// ヂ 83 61), and is never a separator or a letter of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install/install_path.h"
#include "platform/sjis.h"

namespace {

// Code page 932 spellings used below.
const char kSo[] = "\x83\x5C";          // ソ
const char kHyou[] = "\x95\x5C";        // 表
const char kGame[] = "\x83\x51\x81\x5B\x83\x80";  // ゲーム
const char kA[] = "\x83\x41";           // ア
const char kDi[] = "\x83\x61";          // ヂ

std::string s(std::initializer_list<const char*> parts) {
  std::string out;
  for (const char* p : parts) out += p;
  return out;
}

TEST(Sjis, SeparatorsAreCharactersOfTheirOwn) {
  std::string folder = s({"D:\\", kGame, kSo});  // D:\ゲームソ
  EXPECT_EQ(sjisFindLastOf(folder.c_str(), "\\"), 2);
  EXPECT_EQ(sjisFindFirstOf(s({kSo, "\\x"}).c_str(), "\\/"), 2);
  EXPECT_EQ(sjisFindFirstOf(s({kHyou, kSo}).c_str(), "\\"), -1);
  EXPECT_EQ(sjisFindLastOf("a/b\\c", "\\/"), 3);
  EXPECT_FALSE(sjisEndsWithOneOf(folder.c_str(), "\\"));
  EXPECT_TRUE(sjisEndsWithOneOf((folder + "\\").c_str(), "\\"));
  EXPECT_FALSE(sjisEndsWithOneOf("", "\\"));
  EXPECT_STREQ(sjisAfterLastBackslash(s({"DATA\\", kSo, ".EPA"}).c_str()), s({kSo, ".EPA"}).c_str());
  EXPECT_STREQ(sjisAfterLastBackslash(s({kSo, ".EPA"}).c_str()), s({kSo, ".EPA"}).c_str());
  // A lead byte that ends the text is a character of one byte.
  EXPECT_EQ(sjisCharLength("\x83"), 1u);
  EXPECT_EQ(sjisFindLastOf("\x83\\", "\\"), -1);
  EXPECT_EQ(sjisCharLength("\xB1\\"), 1u);  // half-width katakana is one byte
}

TEST(Sjis, TrimmingAndJoiningKeepFinalDoubleByteCharacters) {
  char path[64];
  strcpy(path, s({"D:\\", kGame, kSo}).c_str());
  EXPECT_FALSE(sjisDropLastOf(path, "\\"));
  EXPECT_EQ(std::string(path), s({"D:\\", kGame, kSo}));
  strcat(path, "\\");
  EXPECT_TRUE(sjisDropLastOf(path, "\\"));
  EXPECT_EQ(std::string(path), s({"D:\\", kGame, kSo}));

  char out[16];
  ASSERT_TRUE(sjisJoin(out, sizeof out, s({"D:\\", kSo}).c_str(), "A"));
  EXPECT_EQ(std::string(out), s({"D:\\", kSo, "\\A"}));
  ASSERT_TRUE(sjisJoin(out, sizeof out, "D:\\", "A"));
  EXPECT_STREQ(out, "D:\\A");
  ASSERT_TRUE(sjisJoin(out, sizeof out, "", "A"));
  EXPECT_STREQ(out, "A");
  EXPECT_FALSE(sjisJoin(out, sizeof out, "D:\\0123456789", "AB"));
  EXPECT_STREQ(out, "");
  strcpy(out, "abc");
  EXPECT_FALSE(sjisAppend(out, 5, "de"));
  EXPECT_STREQ(out, "abc");

  // Doubled backslashes made one, but for a network path's start and the
  // second byte of ソ before a backslash.
  char joined[64];
  strcpy(joined, s({"C:\\Slumber\\\\", kSo, "\\\\A"}).c_str());
  collapseSeparators(joined);
  EXPECT_EQ(std::string(joined), s({"C:\\Slumber\\", kSo, "\\A"}));
  strcpy(joined, "\\\\server\\\\share");
  collapseSeparators(joined);
  EXPECT_STREQ(joined, "\\\\server\\share");
}

TEST(Sjis, FoldingTakesLettersNeverBytesInsideCharacters) {
  size_t n;
  EXPECT_EQ(sjisFoldedChar("a", &n), unsigned('A'));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(sjisFoldedChar("\x82\x81", &n), 0x8260u);  // ａ → Ａ
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(sjisFoldedChar("\x83\xBF", &n), 0x839Fu);  // α → Α
  EXPECT_EQ(sjisFoldedChar("\x84\x70", &n), 0x8440u);  // а → А
  EXPECT_EQ(sjisFoldedChar("\x84\x7E", &n), 0x844Eu);  // н → Н
  EXPECT_EQ(sjisFoldedChar("\x84\x80", &n), 0x844Fu);  // о → О, after the gap at 0x847F
  EXPECT_EQ(sjisFoldedChar("\x84\x91", &n), 0x8460u);  // я → Я
  EXPECT_EQ(sjisFoldedChar(kDi, &n), 0x8361u);         // ヂ stays: its 0x61 is no letter
  EXPECT_EQ(sjisFoldedChar("\xB1", &n), 0xB1u);        // ｱ
}

TEST(Sjis, ComparingWithoutCase) {
  EXPECT_TRUE(sjisSameNoCase("Title.epa", "TITLE.EPA"));
  EXPECT_TRUE(sjisSameNoCase("\x82\x81\x82\x82", "\x82\x60\x82\x61"));  // ａｂ, ＡＢ
  EXPECT_FALSE(sjisSameNoCase(s({kA, ".EPA"}).c_str(), s({kDi, ".EPA"}).c_str()));
  EXPECT_FALSE(sjisSameNoCase("\x82\x81", "A"));  // ａ is no A
  EXPECT_FALSE(sjisSameNoCase("AB", "A"));
  EXPECT_LT(sjisCompareNoCase("a", "B"), 0);
  EXPECT_GT(sjisCompareNoCase(kA, "Z"), 0);
  EXPECT_EQ(sjisCompareNoCase(s({kSo, "x"}).c_str(), s({kSo, "X"}).c_str()), 0);
}

// Paths folded for comparing: a backslash second byte stays inside its
// character and never merges or splits a separator run.
TEST(Sjis, FoldedPathsAndTheirParts) {
  const struct {
    std::string path, folded;
  } cases[] = {
      {s({kHyou, "\\data"}), s({kHyou, "\\DATA"})},
      {s({"\\\\", kSo, "//", kHyou, "\\"}), s({kSo, "\\", kHyou})},
      {s({kHyou, kSo}), s({kHyou, kSo})},
      {s({"a", kDi, "\\b/"}), s({"A", kDi, "\\B"})},
      {"", ""},
      {"\\/", ""},
  };
  for (const auto& c : cases) {
    char out[64];
    ASSERT_TRUE(sjisFoldPath(c.path.c_str(), "\\/", out, sizeof out)) << c.path;
    EXPECT_EQ(std::string(out), c.folded) << c.path;
  }
  char small[4] = "x";
  EXPECT_FALSE(sjisFoldPath(s({kHyou, "\\A"}).c_str(), "\\", small, sizeof small));
  EXPECT_STREQ(small, "");
  EXPECT_EQ(sjisPartLength(s({kHyou, "\\A"}).c_str(), "\\"), 2u);
  EXPECT_EQ(sjisPartLength(s({kSo, kHyou}).c_str(), "\\"), 4u);
}

}  // namespace
