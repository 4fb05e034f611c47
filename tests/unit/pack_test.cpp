// The pack reader against archives built by the authoring writer, and against
// hand-made damaged archives.
#include <gtest/gtest.h>

#include <cstring>

#include "media/pack.h"
#include "tests/unit/test_util.h"
#include "tools/lib/pak_writer.h"

namespace {

std::string makePack(const std::vector<PackMember>& members, bool longNames = true) {
  std::string archive, error;
  EXPECT_TRUE(buildPack(members, longNames, &archive, &error)) << error;
  return archive;
}

// Opens `name` through the reader and returns the whole data, or "<null>".
std::string readThrough(const char* name, const char* archive, PackHandle** keep = nullptr) {
  PackHandle* h = packOpen(name, archive);
  if (!h) return "<null>";
  std::string data(packSize(h), '\0');
  EXPECT_EQ(packRead(h, &data[0]), 1);
  EXPECT_EQ(packWait(h), 1);
  if (keep) {
    *keep = h;
    return data;
  }
  packClose(h);
  return data;
}

TEST(PackReader, LooseFileWinsOverMemberAndMembersAreFoundByFoldedBaseName) {
  TempDir dir(true);
  writeFile(dir.file("Instdata.pak"),
            makePack({{"KSetup.ini", "from archive"}, {"TITLE.EPA", "title bytes"}}));
  EXPECT_EQ(readThrough("KSetup.ini", "Instdata.pak"), "from archive");
  writeFile(dir.file("KSetup.ini"), "loose");
  EXPECT_EQ(readThrough("KSetup.ini", "Instdata.pak"), "loose");

  // Folder part and letter case do not matter, and the lower-case spelling of
  // the archive reaches the same file on a case-sensitive file system.
  EXPECT_EQ(readThrough("data\\Title.epa", "instdata.pak"), "title bytes");
  EXPECT_EQ(readThrough("data\\sub\\title.EPA", "INSTDATA.PAK"), "title bytes");
  // A forward slash is not a separator: the whole text is the name.
  EXPECT_EQ(readThrough("data/TITLE.EPA", "Instdata.pak"), "<null>");
  EXPECT_EQ(readThrough("MISSING.EPA", "Instdata.pak"), "<null>");
  EXPECT_EQ(readThrough("TITLE.EPA", "nothing.pak"), "<null>");
}

TEST(PackReader, JapaneseNamesCompareByCharacter) {
  // ア (83 41) and ヂ (83 61) differ only in a letter-valued second byte;
  // ソ (83 5C) ends in a backslash byte that is no folder separator.
  TempDir dir(true);
  writeFile(dir.file("Instdata.pak"), makePack({{"\x83\x41.EPA", "a"},
                                                {"\x83\x61.EPA", "di"},
                                                {"\x83\x5C.EPA", "so"},
                                                {"\x82\x60.EPA", "full-width A"}}));
  EXPECT_EQ(readThrough("\x83\x61.EPA", "Instdata.pak"), "di");
  EXPECT_EQ(readThrough("\x83\x41.epa", "Instdata.pak"), "a");
  EXPECT_EQ(readThrough("DATA\\\x83\x5C.EPA", "Instdata.pak"), "so");
  EXPECT_EQ(readThrough("\x82\x81.EPA", "Instdata.pak"), "full-width A");  // ａ
}

TEST(PackReader, HandleFieldsAndOffsetsRelativeToDirectoryEnd) {
  TempDir dir(true);
  writeFile(dir.file("a.pak"), makePack({{"A", "aaaa"}, {"B", "bb"}, {"C", "c"}}));
  PackHandle* h = nullptr;
  EXPECT_EQ(readThrough("B", "a.pak", &h), "bb");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->inArchive, 1u);
  EXPECT_EQ(h->dataOffset, 16u + 3 * 40 + 4);
  EXPECT_EQ(h->size, 2u);
  EXPECT_EQ(h->requested, 2u);
  EXPECT_EQ(h->transferred, 2u);
  packClose(h);

  EXPECT_EQ(readThrough("A", "a.pak", &h), "aaaa");
  EXPECT_EQ(h->dataOffset, 136u);  // offset 0 in a 3-member long-name archive
  packClose(h);

  writeFile(dir.file("loose"), "xyz");
  EXPECT_EQ(readThrough("loose", "a.pak", &h), "xyz");
  EXPECT_EQ(h->inArchive, 0u);
  EXPECT_EQ(h->dataOffset, 0u);
  packClose(h);
}

TEST(PackReader, NameVariantsDuplicatesAndEmptyMembers) {
  TempDir dir(true);
  std::string name31(31, 'N');
  writeFile(dir.file("long.pak"), makePack({{name31, "long"}}));
  EXPECT_EQ(readThrough(name31.c_str(), "long.pak"), "long");

  // Variant other than '2': 16-byte names, 24-byte entries.
  writeFile(dir.file("short.pak"), makePack({{"ONE", "1"}, {"FIFTEENCHARSXXX", "15"}}, false));
  EXPECT_EQ(readThrough("fifteencharsxxx", "short.pak"), "15");
  std::string shortPack = readFile(dir.file("short.pak"));
  shortPack[11] = 'x';  // still the short layout
  writeFile(dir.file("short2.pak"), shortPack);
  EXPECT_EQ(readThrough("ONE", "short2.pak"), "1");

  writeFile(dir.file("dup.pak"), makePack({{"x.epa", "first"}, {"X.EPA", "second"}, {"E", ""}}));
  EXPECT_EQ(readThrough("X.Epa", "dup.pak"), "first");
  EXPECT_EQ(readThrough("E", "dup.pak"), "<null>");  // size 0 cannot be opened

  writeFile(dir.file("none.pak"), makePack({}));
  EXPECT_EQ(readThrough("E", "none.pak"), "<null>");
}

TEST(PackReader, DamagedArchivesOpenNothingAndReadNothingWrong) {
  TempDir dir(true);
  writeFile(dir.file("tiny.pak"), "abc");  // header cut short
  EXPECT_EQ(readThrough("abc", "tiny.pak"), "<null>");

  // A member count far beyond what the file holds: no huge allocation, no hit.
  std::string huge = makePack({{"A", "data"}});
  huge[12] = huge[13] = huge[14] = '\xff';
  huge[15] = '\x0f';
  writeFile(dir.file("huge.pak"), huge);
  EXPECT_EQ(readThrough("A", "huge.pak"), "<null>");

  // A name field filled to the end without a terminator is compared safely.
  std::string full = makePack({{"A", "data"}}, false);
  memset(&full[16], 'Q', 16);
  writeFile(dir.file("full.pak"), full);
  EXPECT_EQ(readThrough(std::string(16, 'Q').c_str(), "full.pak"), "data");

  // A member reaching past the end: a short read, which still completes.
  std::string cut = makePack({{"A", "0123456789"}});
  cut.resize(cut.size() - 4);
  writeFile(dir.file("cut.pak"), cut);
  PackHandle* h = packOpen("A", "cut.pak");
  ASSERT_NE(h, nullptr);
  std::string data(packSize(h), '\0');
  EXPECT_EQ(packRead(h, &data[0]), 1);
  EXPECT_EQ(h->transferred, 6u);
  EXPECT_EQ(h->requested, 10u);
  EXPECT_EQ(packWait(h), 1);  // returns, does not wait for bytes that never come
  packClose(h);

  EXPECT_EQ(packRead(nullptr, &data[0]), 0);
  EXPECT_EQ(packWait(nullptr), 0);
}

TEST(PackReader, AllocationFailuresOpenNothing) {
  TempDir dir(true);
  writeFile(dir.file("a.pak"), makePack({{"A", "data"}}));
  heapFailAfter(1);  // the handle
  EXPECT_EQ(packOpen("A", "a.pak"), nullptr);
  heapFailAfter(2);  // the directory
  EXPECT_EQ(packOpen("A", "a.pak"), nullptr);
  heapFailAfter(0);
  EXPECT_EQ(readThrough("A", "a.pak"), "data");
}

TEST(PakTool, CreateListExtractRoundTrip) {
  TempDir dir;
  writeFile(dir.file("KSetup.ini"), "APPLITITLE = \"x\"\r\n");
  writeFile(dir.file("TITLE.EPA"), std::string(300, '\x7f'));
  std::string out, err;
  ASSERT_EQ(runTool("pak create '" + dir.file("I.pak") + "' '" + dir.file("KSetup.ini") + "' '" +
                    dir.file("TITLE.EPA") + "'"),
            0);
  ASSERT_EQ(runTool("pak list '" + dir.file("I.pak") + "'", &out), 0);
  EXPECT_EQ(out, "KSetup.ini\t0\t18\nTITLE.EPA\t18\t300\n");
  EXPECT_EQ(readFile(dir.file("I.pak"))[11], '2');

  ASSERT_EQ(system(("mkdir '" + dir.file("out") + "'").c_str()), 0);
  ASSERT_EQ(runTool("pak extract '" + dir.file("I.pak") + "' '" + dir.file("out") + "' 'x\\title.epa'"), 0);
  EXPECT_EQ(readFile(dir.file("out/TITLE.EPA")), std::string(300, '\x7f'));
  EXPECT_FALSE(fileExists(dir.file("out/KSetup.ini")));
  ASSERT_EQ(runTool("pak extract '" + dir.file("I.pak") + "' '" + dir.file("out") + "'"), 0);
  EXPECT_EQ(readFile(dir.file("out/KSetup.ini")), "APPLITITLE = \"x\"\r\n");
  EXPECT_EQ(runTool("pak extract '" + dir.file("I.pak") + "' '" + dir.file("out") + "' NOPE", &out, &err), 1);
  EXPECT_NE(err.find("NOPE"), std::string::npos);

  ASSERT_EQ(runTool("pak create '" + dir.file("S.pak") + "' --short-names '" + dir.file("TITLE.EPA") + "'"), 0);
  EXPECT_EQ(readFile(dir.file("S.pak"))[11], '1');
}

TEST(PakTool, ExtractWritesTheMemberUnderItsOwnNameWhenDataIsShared) {
  TempDir dir;
  std::string archive, error;
  ASSERT_TRUE(buildPack({{"A.EPA", "shared"}, {"B.EPA", "other"}}, true, &archive, &error));
  // B's extent (after the two 32-byte names) made the same as A's.
  archive.replace(16 + 2 * 32 + 8, 8, archive.substr(16 + 2 * 32, 8));
  writeFile(dir.file("I.pak"), archive);
  ASSERT_EQ(system(("mkdir '" + dir.file("out") + "'").c_str()), 0);
  ASSERT_EQ(runTool("pak extract '" + dir.file("I.pak") + "' '" + dir.file("out") + "' b.epa"), 0);
  EXPECT_EQ(readFile(dir.file("out/B.EPA")), "shared");
  EXPECT_FALSE(fileExists(dir.file("out/A.EPA")));
}

TEST(PakTool, RefusesBadInputWithoutCrashing) {
  TempDir dir;
  std::string err;
  writeFile(dir.file("a-name-of-thirty-two-characters!"), "x");
  EXPECT_EQ(runTool("pak create '" + dir.file("L.pak") + "' '" + dir.file("a-name-of-thirty-two-characters!") + "'",
                    nullptr, &err),
            1);
  writeFile(dir.file("sixteen-chars-xx"), "x");
  EXPECT_EQ(runTool("pak create '" + dir.file("S.pak") + "' --short-names '" + dir.file("sixteen-chars-xx") + "'"), 1);

  // A member that would be written outside the output folder.
  std::string evil, error;
  ASSERT_TRUE(buildPack({{"../escape", "x"}}, true, &evil, &error));
  writeFile(dir.file("evil.pak"), evil);
  ASSERT_EQ(system(("mkdir '" + dir.file("out") + "'").c_str()), 0);
  EXPECT_EQ(runTool("pak extract '" + dir.file("evil.pak") + "' '" + dir.file("out") + "'", nullptr, &err), 1);
  EXPECT_FALSE(fileExists(dir.file("escape")));

  writeFile(dir.file("junk.pak"), "junk");
  EXPECT_EQ(runTool("pak list '" + dir.file("junk.pak") + "'", nullptr, &err), 1);
  EXPECT_NE(err.find("junk.pak"), std::string::npos);
  EXPECT_EQ(runTool("pak list"), 2);
  EXPECT_EQ(runTool("pak frobnicate x"), 2);
}

}  // namespace
