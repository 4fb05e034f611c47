// The setup configuration loader: every handler, the failure rules, the
// first and later release, the capacity limits and selectedByteTotal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "tools/lib/pak_writer.h"

namespace {

// Notes of a load, line kinds left out: {kind, line}.
struct Notes {
  std::vector<std::pair<int, int>> seen;
  bool has(int kind, int line) const {
    for (const auto& n : seen)
      if (n.first == kind && n.second == line) return true;
    return false;
  }
};

void collect(void* context, int kind, int line, const char*, uint32_t) {
  if (kind != kNoteLine) static_cast<Notes*>(context)->seen.push_back({kind, line});
}

bool isZero(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; i++)
    if (b[i]) return false;
  return true;
}

class Config : public ::testing::Test {
 protected:
  // Every test starts from a record as at program start, released once.
  void SetUp() override { resetRecord(); }
  void TearDown() override {
    heapFailAfter(0);
    releaseConfig();
  }

  static void resetRecord() {
    releaseConfig();
    memset(&config, 0, sizeof config);
    configInitialised = false;
    releaseConfig();
  }

  // Loads `text`; with `notes`, through a report as well.
  static bool load(const std::string& text, Notes* notes = nullptr) {
    ScriptReport report = {collect, notes};
    return loadConfigText(text.c_str(), notes ? &report : nullptr);
  }

  static std::string file(int disc, int index) {
    const char* entry = config.fileList[disc][index];
    return entry ? entry : "<null>";
  }
};

// ---- Lines and comments -----------------------------------------------------------

TEST_F(Config, LinesCommentsAndLineNumbers) {
  ASSERT_TRUE(load("REM setup\r\n// comment\r\n\r\n   APPLITITLE = \"X\"\r\n\tDISCNUM = 0\r\n"
                   "exec CHANGECD = 1\r\nREMARK\r\n"));
  EXPECT_TRUE(isZero(&config, sizeof config));
  EXPECT_TRUE(load(""));
  EXPECT_TRUE(load("\r\n\n\r"));

  // Any run of CR and LF separates lines; the last needs no break.
  ASSERT_TRUE(load("APPLITITLE = \"A\"\rEXENAME = \"B\"\n\n\r\rREGADDRESS = \"C\"\r\nBRANDNAME = \"D\""));
  EXPECT_STREQ(config.appliTitle, "A");
  EXPECT_STREQ(config.exeName, "B");
  EXPECT_STREQ(config.regAddress, "C");
  EXPECT_STREQ(config.brandName, "D");

  // Notes count lines as an editor does.
  Notes notes;
  // Lines: 1 CRLF, 2 LF, 3 CR, 4 empty, 5 the failure.
  EXPECT_FALSE(load("REM\r\nREM\nREM\r\r\nDISCNUM = 0\r\n", &notes));
  EXPECT_TRUE(notes.has(kNoteDiscNumZero, 5));
}

// ---- Single texts -----------------------------------------------------------------

TEST_F(Config, SingleTextsTakeTheQuotedValue) {
  ASSERT_TRUE(load("APPLITITLE = \"Title  with blanks\" ignored\r\n"
                   "EXENAME=\"GAME.EXE\"\r\n"
                   "MUSTMAKEFOLDER anything here = \"\\Maker\\Game\"\r\n"
                   "REGADDRESS = \"Software\\Maker\\Game\"\r\n"
                   "DXMESSAGE = \"Insert disc 2\"\r\n"
                   "DXPLACE = \"DIRECTX\\DXSETUP.EXE\"\r\n"
                   "BRANDNAME = \"\x83\x65\x83\x58\x83\x67\"\r\n"));
  EXPECT_STREQ(config.appliTitle, "Title  with blanks");
  EXPECT_STREQ(config.exeName, "GAME.EXE");
  EXPECT_STREQ(config.mustMakeFolder, "\\Maker\\Game");
  EXPECT_STREQ(config.regAddress, "Software\\Maker\\Game");
  EXPECT_STREQ(config.dxMessage, "Insert disc 2");
  EXPECT_STREQ(config.dxPlace, "DIRECTX\\DXSETUP.EXE");
  EXPECT_STREQ(config.brandName, "\x83\x65\x83\x58\x83\x67");

  // Unquoted leaves the field; a later quoted value replaces all of it; a
  // failed read keeps what it copied.
  ASSERT_TRUE(load("APPLITITLE = Plain\r\nEXENAME = \"A\"\r\nDXPLACE = \"X,Y\"\r\n"));
  EXPECT_STREQ(config.appliTitle, "Title  with blanks");
  EXPECT_STREQ(config.exeName, "A");
  EXPECT_STREQ(config.dxPlace, "X");
}

TEST_F(Config, TextLongerThanItsFieldIsCutAndNothingSpills) {
  std::string long70(70, 'T');
  Notes notes;
  ASSERT_TRUE(load("EXENAME = \"" + long70 + "\"\r\nMUSTMAKEFOLDER = \"M\"\r\n", &notes));
  EXPECT_EQ(std::string(config.exeName), std::string(63, 'T'));
  EXPECT_STREQ(config.mustMakeFolder, "M");
  EXPECT_TRUE(notes.has(kNoteTextCut, 1));

  // A list item, a scene name and a 260-byte path are cut the same way.
  std::string long300(300, 'P');
  ASSERT_TRUE(load("DISCNAME = \"" + long70 + "\" \"B\"\r\nFILELIST DISC1 = \"" + long300 +
                   "\"\r\nBACK \"" + long70 + "\" 1 2 NORMAL\r\n"));
  EXPECT_EQ(std::string(config.discName[0]), std::string(63, 'T'));
  EXPECT_STREQ(config.discName[1], "B");
  EXPECT_EQ(file(0, 0), std::string(259, 'P'));
  EXPECT_EQ(std::string(config.scene[0].name), std::string(63, 'T'));
  EXPECT_EQ(config.scene[0].x, 1);
  EXPECT_EQ(config.scene[0].mode, 0x10000u);
}

TEST_F(Config, KeywordsThatTakeEqualsFailWithoutOne) {
  const char* lines[] = {"APPLITITLE \"A\"",       "DISCNAME \"A\"",   "DISCNUM 2",
                         "DXDISC 1",               "EXEC CHANGECD 1",  "FILELIST DISC1 \"A\"",
                         "FILESIZE DISC1 1",       "FILEOPTION DISC1 1", "FILE \"A\" 1 1 DISC1",
                         "EXEC CHANGECD = 1, LOADINIFROMCD 2"};
  for (const char* line : lines) {
    resetRecord();
    Notes notes;
    EXPECT_FALSE(load(std::string("REM\r\n") + line + "\r\n", &notes)) << line;
    EXPECT_TRUE(notes.has(kNoteNoEquals, 2)) << line;
  }
  // The '=' must be on the keyword's own line.
  EXPECT_FALSE(load("APPLITITLE\r\n= \"A\"\r\n"));
  // What the lines before the failure filled stays.
  resetRecord();
  EXPECT_FALSE(load("EXENAME = \"A\"\r\nDISCNUM 2\r\nBRANDNAME = \"B\"\r\n"));
  EXPECT_STREQ(config.exeName, "A");
  EXPECT_STREQ(config.brandName, "");
}

// ---- Text lists -------------------------------------------------------------------

TEST_F(Config, TextListsFillFromItemZeroSplitAtBlanksAndStopAtCapacity) {
  ASSERT_TRUE(load("DISCNAME = \"A\" \"B\"\r\nDISCNAME = \"C\"\r\n"));
  EXPECT_STREQ(config.discName[0], "C");
  EXPECT_STREQ(config.discName[1], "B");

  resetRecord();
  ASSERT_TRUE(load("DISCNAME = \"A\", \"B\"\r\nDISCLABEL = \"A\" , \"B\"\r\nKEYFILE = \"A B\"\r\n"));
  EXPECT_STREQ(config.discName[0], "A");
  EXPECT_STREQ(config.discName[1], "B");
  EXPECT_STREQ(config.discLabel[0], "A");
  EXPECT_STREQ(config.discLabel[1], "");
  EXPECT_STREQ(config.discLabel[2], "B");
  EXPECT_STREQ(config.keyFile[0], "A B");
  EXPECT_STREQ(config.keyFile[1], "");

  // An unquoted token skips its item; a failed quoted read ends the list.
  resetRecord();
  ASSERT_TRUE(load("SHORTCUTNAME = \"A\" \"B\" \"C\"\r\nSHORTCUTNAME = \"X\" - \"Z,\" \"W\"\r\n"));
  EXPECT_STREQ(config.shortcutName[0], "X");
  EXPECT_STREQ(config.shortcutName[1], "B");
  EXPECT_STREQ(config.shortcutName[2], "Z");
  EXPECT_STREQ(config.shortcutName[3], "");

  // Every text list reaches its field.
  ASSERT_TRUE(load("SHORTCUTLABEL = \"l\"\r\nSHORTCUTLINK = \"k\"\r\nSHORTCUTFOLDER = \"f\"\r\n"
                   "SHORTCUTPARAM = \"p\"\r\nSAVEDATA = \"s\"\r\nOPTIONTITLE = \"o\"\r\n"
                   "MAKEFOLDER = \"m\"\r\n"));
  EXPECT_STREQ(config.shortcutLabel[0], "l");
  EXPECT_STREQ(config.shortcutLink[0], "k");
  EXPECT_STREQ(config.shortcutFolder[0], "f");
  EXPECT_STREQ(config.shortcutParam[0], "p");
  EXPECT_STREQ(config.saveData[0], "s");
  EXPECT_STREQ(config.optionTitle[0], "o");
  EXPECT_STREQ(config.makeFolder[0], "m");

  // Items beyond a list's capacity are ignored; nothing spills.
  resetRecord();
  Notes notes;
  ASSERT_TRUE(load("OPTIONTITLE = \"1\" \"2\" \"3\" \"4\" \"5\"\r\n", &notes));
  EXPECT_STREQ(config.optionTitle[2], "3");
  EXPECT_TRUE(isZero(config.makeFolder, sizeof config.makeFolder));  // the next field
  EXPECT_TRUE(notes.has(kNoteBeyondCapacity, 1));

  std::string line = "KEYFILE =";
  for (int i = 0; i < 12; i++) line += " \"K" + std::to_string(i) + "\"";
  ASSERT_TRUE(load(line + "\r\n"));
  EXPECT_STREQ(config.keyFile[9], "K9");
  EXPECT_STREQ(config.optionTitle[0], "1");  // the next field

  line = "SAVEDATA =";
  for (int i = 0; i < 260; i++) line += " \"S" + std::to_string(i) + "\"";
  ASSERT_TRUE(load(line));
  EXPECT_STREQ(config.saveData[255], "S255");
}

// ---- DISCNUM and DXDISC -----------------------------------------------------------

TEST_F(Config, DiscNumAndDxDiscItemsAreNumbersNotZero) {
  ASSERT_TRUE(load("DISCNUM = 3\r\n"));
  EXPECT_EQ(config.discNum, 3u);
  ASSERT_TRUE(load("DISCNUM = 0x2"));
  EXPECT_EQ(config.discNum, 2u);
  EXPECT_FALSE(load("DISCNUM = 0\r\n"));
  EXPECT_FALSE(load("DISCNUM = two\r\n"));
  EXPECT_EQ(config.discNum, 2u);

  ASSERT_TRUE(load("DXDISC = 2 1\r\n"));
  EXPECT_EQ(config.dxDisc[0], 2u);
  EXPECT_EQ(config.dxDisc[1], 1u);
  EXPECT_EQ(config.dxDisc[2], 0u);
  ASSERT_TRUE(load("DXDISC = 3  \r\n"));
  EXPECT_EQ(config.dxDisc[0], 3u);

  Notes notes;
  EXPECT_FALSE(load("DXDISC = 1 0\r\n", &notes));
  EXPECT_TRUE(notes.has(kNoteDxDiscZero, 1));
  EXPECT_FALSE(load("DXDISC = 1 X\r\n"));
  EXPECT_FALSE(load("DXDISC =\r\n"));
  // At the very end of the text the item after the last reads as 0, also
  // after a full list or past it.
  EXPECT_FALSE(load("DXDISC = 1 2"));
  notes = Notes();
  EXPECT_FALSE(load("DXDISC = 1 2 3 4 5 6 7 8 9 10", &notes));
  EXPECT_TRUE(notes.has(kNoteDxDiscZero, 1));
  notes = Notes();
  EXPECT_FALSE(load("DXDISC = 1 2 3 4 5 6 7 8 9 10 11 12 ", &notes));
  EXPECT_TRUE(notes.has(kNoteDxDiscZero, 1));
  EXPECT_TRUE(load("DXDISC = 1 2 3 4 5 6 7 8 9 10\r\n"));

  // Eleven items: ten are kept.
  resetRecord();
  ASSERT_TRUE(load("DXDISC = 1 2 3 4 5 6 7 8 9 10 11\r\nBRANDNAME = \"B\"\r\n"));
  EXPECT_EQ(config.dxDisc[9], 10u);
  EXPECT_STREQ(config.dxMessage, "");
  EXPECT_STREQ(config.brandName, "B");
}

// ---- EXEC -------------------------------------------------------------------------

TEST_F(Config, ExecCommandsTextsAndCapacity) {
  ASSERT_TRUE(load("EXEC CHANGECD = 1, LOADINIFROMCD = 0\r\n"));
  EXPECT_EQ(config.exec[0].command, 1u);
  EXPECT_EQ(config.exec[0].argument, 1u);
  EXPECT_EQ(config.exec[1].command, 2u);
  EXPECT_EQ(config.exec[1].argument, 0u);
  EXPECT_EQ(config.exec[2].command, 0u);

  ASSERT_TRUE(load("EXEC CHANGECD = 2\r\n"));
  EXPECT_EQ(config.exec[0].argument, 2u);
  EXPECT_EQ(config.exec[1].command, 2u);

  // Without a comma, and with a hexadecimal argument.
  ASSERT_TRUE(load("EXEC LOADINIFROMHD = 0x10 CHANGECD = 3"));
  EXPECT_EQ(config.exec[0].command, 3u);
  EXPECT_EQ(config.exec[0].argument, 16u);
  EXPECT_EQ(config.exec[1].command, 1u);
  EXPECT_EQ(config.exec[1].argument, 3u);

  // A first word that is no command ignores the line; a later one ends it.
  ASSERT_TRUE(load("EXEC NOTHING = 5\r\nEXEC CHANGECD = 7, BOGUS = 1, LOADINIFROMCD = 1\r\n"));
  EXPECT_EQ(config.exec[0].argument, 7u);
  EXPECT_EQ(config.exec[1].command, 1u);  // as the line before left it
  EXPECT_EQ(config.exec[1].argument, 3u);

  // Text arguments are owned blocks.
  ASSERT_TRUE(load("EXEC POPUPMESSAGE = \"Hello, world\", CHANGECD = 2\r\n"));
  EXPECT_EQ(config.exec[0].command, 0x80000001u);
  ASSERT_NE(config.exec[0].text, nullptr);
  // The comma inside the quotes stops the text; reading goes on from there.
  EXPECT_STREQ(config.exec[0].text, "Hello");
  EXPECT_EQ(config.exec[0].argument, 0u);

  ASSERT_TRUE(load("EXEC POPUPMESSAGE = \"Hello world\" , CHANGECD = 2\r\n"));
  EXPECT_STREQ(config.exec[0].text, "Hello world");
  EXPECT_EQ(config.exec[1].command, 1u);
  EXPECT_EQ(config.exec[1].argument, 2u);
  EXPECT_EQ(config.exec[1].text, nullptr);

  // A number in a later line replaces the text, and the block goes.
  ASSERT_TRUE(load("EXEC CHANGECD = 4\r\n"));
  EXPECT_EQ(config.exec[0].text, nullptr);
  EXPECT_EQ(config.exec[0].argument, 4u);

  std::string longText(300, 'M');
  ASSERT_TRUE(load("EXEC POPUPMESSAGE = \"" + longText + "\"\r\n"));
  EXPECT_EQ(std::string(config.exec[0].text), std::string(259, 'M'));

  // Ten entries are kept.
  resetRecord();
  std::string line = "EXEC";
  for (int i = 1; i <= 12; i++) line += " CHANGECD = " + std::to_string(i) + ",";
  Notes notes;
  ASSERT_TRUE(load(line + "\r\n", &notes));
  EXPECT_EQ(config.exec[9].argument, 10u);
  EXPECT_EQ(config.discNum, 0u);  // the field after the list
  EXPECT_TRUE(notes.has(kNoteBeyondCapacity, 1));
}

// ---- Per-disc lists and FILE ------------------------------------------------------

TEST_F(Config, FileListsPerDiscSplitAtBlanksAndCommas) {
  ASSERT_TRUE(load("FILELIST DISC1 = \"X\" \"Y\", DISC2 = \"Z\"\r\n"
                   "FILESIZE DISC1 = 10 20, disc2 = 0x30\r\n"
                   "FILEOPTION DISC1 = 8 12,DISC2 = 2\r\n"));
  EXPECT_EQ(file(0, 0), "X");
  EXPECT_EQ(file(0, 1), "Y");
  EXPECT_EQ(file(0, 2), "<null>");
  EXPECT_EQ(file(1, 0), "Z");
  EXPECT_EQ(config.fileSize[0][1], 20u);
  EXPECT_EQ(config.fileSize[1][0], 48u);
  EXPECT_EQ(config.fileOption[0][1], 12u);
  EXPECT_EQ(config.fileOption[1][0], 2u);

  // After a comma a disc word is expected: the quoted B is none.
  resetRecord();
  Notes notes;
  ASSERT_TRUE(load("FILELIST DISC1 = \"A\", \"B\"\r\n", &notes));
  EXPECT_EQ(file(0, 0), "A");
  EXPECT_EQ(file(0, 1), "<null>");
  EXPECT_TRUE(notes.has(kNoteCommaAfterItem, 1));

  // A shorter line leaves the later entries; an unquoted token gives an
  // empty entry; a number may stand for the disc word (4 is disc 1).
  resetRecord();
  ASSERT_TRUE(load("FILELIST DISC10 = \"A\" \"B\" \"C\"\r\nFILELIST 13 = \"D\" E\r\n"));
  EXPECT_EQ(file(9, 0), "D");
  EXPECT_EQ(file(9, 1), "");
  EXPECT_EQ(file(9, 2), "C");
}

TEST_F(Config, PerDiscListsIgnoreLinesWithoutADisc) {
  Notes notes;
  ASSERT_TRUE(load("FILELIST DISK1 = \"A\"\r\nFILESIZE 3 = 5\r\nFILEOPTION 14 = 5\r\n"
                   "FILESIZE 0xFFFFFFFF = 5\r\nFILELIST DISC1 = \"B\", DISC0 = \"C\"\r\n"
                   "FILELIST = \"D\"\r\n",
                   &notes));
  EXPECT_EQ(file(0, 0), "B");
  EXPECT_EQ(file(0, 1), "<null>");
  EXPECT_TRUE(isZero(config.fileSize, sizeof config.fileSize));
  EXPECT_TRUE(isZero(config.fileOption, sizeof config.fileOption));
  EXPECT_TRUE(notes.has(kNoteUnknownDisc, 1));
  EXPECT_TRUE(notes.has(kNoteUnknownDisc, 3));
  EXPECT_TRUE(notes.has(kNoteUnknownDisc, 6));
}

TEST_F(Config, PerDiscListsKeep1024EntriesAndGoOnToTheNextDisc) {
  std::string sizes = "FILESIZE DISC1 =", names = "FILELIST DISC1 =";
  for (int i = 1; i <= 1030; i++) {
    sizes += " " + std::to_string(i);
    names += " \"F" + std::to_string(i) + "\"";
  }
  ASSERT_TRUE(load(sizes + ", DISC2 = 7\r\n" + names + ", DISC2 = \"G\"\r\n"));
  EXPECT_EQ(config.fileSize[0][1023], 1024u);
  EXPECT_EQ(config.fileSize[1][0], 7u);
  EXPECT_EQ(file(0, 1023), "F1024");
  EXPECT_EQ(file(1, 0), "G");
  EXPECT_EQ(file(1, 1), "<null>");
}

TEST_F(Config, FileLinesAddAfterTheEntriesPresent) {
  ASSERT_TRUE(load("FILELIST DISC1 = \"A\" \"B\" \"C\"\r\nFILE = \"D\" 10 1 DISC1\r\n"));
  EXPECT_EQ(file(0, 3), "D");
  EXPECT_EQ(config.fileSize[0][3], 10u);
  EXPECT_EQ(config.fileOption[0][3], 1u);

  resetRecord();
  ASSERT_TRUE(load("FILE = \"D\" 10 1 DISC1\r\nFILELIST DISC1 = \"A\" \"B\" \"C\"\r\n"));
  EXPECT_EQ(file(0, 0), "A");
  EXPECT_EQ(file(0, 3), "<null>");
  EXPECT_EQ(config.fileSize[0][0], 10u);  // FILELIST leaves the numbers

  resetRecord();
  ASSERT_TRUE(load("FILE = \"X\\Y.DAT\" 0x100 8 DISC10, trailing\r\nFILE = \"Z\" 1 2 5\r\n"));
  EXPECT_EQ(file(9, 0), "X\\Y.DAT");
  EXPECT_EQ(config.fileSize[9][0], 256u);
  EXPECT_EQ(file(1, 0), "Z");
}

TEST_F(Config, FileLinesFailWithoutADiscOrRoom) {
  const char* bad[] = {"FILE = \"A\" 1 1 DISK1", "FILE = \"A\", 1, 1, DISC1",
                       "FILE = \"A\" 1 1 14",    "FILE = \"A\" 1 1 3",
                       "FILE = \"A\" 1 1",       "FILE = \"A B\" 1 1 DISC1"};
  for (const char* line : bad) {
    resetRecord();
    Notes notes;
    EXPECT_FALSE(load(line, &notes)) << line;
    EXPECT_TRUE(notes.has(kNoteFileNoDisc, 1)) << line;
    EXPECT_EQ(file(0, 0), "<null>");
  }

  resetRecord();
  std::string full = "FILELIST DISC2 =";
  for (int i = 0; i < 1024; i++) full += " \"F\"";
  Notes notes;
  EXPECT_FALSE(load(full + "\r\nFILE = \"G\" 1 1 DISC2\r\n", &notes));
  EXPECT_TRUE(notes.has(kNoteFileListFull, 2));
  EXPECT_EQ(file(1, 1023), "F");
}

// ---- Scene lines ------------------------------------------------------------------

TEST_F(Config, SceneLinesReadTheirArgumentsInOrder) {
  ASSERT_TRUE(load("BACK \"B.EPA\" 1 2 STRETCH_DESKTOP\r\n"
                   "BASE \"S.EPA\" 3 4 -5 6 center_desktop\r\n"
                   "WRITE \"W.EPA\" 7 8 TO_FINISH SMALL\r\n"
                   "ELEMENT \"E.EPA\" 9, 10, 11, 12, NORMAL\r\n"
                   "PROGRESSBAR \"P.EPA\" 1 2 3 4 5 AFTER_FINISH DIRECTION_RIGHTDOWN\r\n"
                   "SPRITE1 \"S1.EPA\" 32 1 2 3 4 5 INFINITE 100 DIRECTION_LEFTUP\r\n"
                   "SPRITE2 \"S2.EPA\" 16 1 2 3 4 5 6 7 8 9 NORMAL extra\r\n"
                   "FINISH \"F.EPA\" 0x10 -0x10 NORMAL\r\n"));
  const SceneElement* s = config.scene;
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(s[i].type, i + 1);
    EXPECT_EQ(s[i].state, kWaiting);
  }
  EXPECT_EQ(s[8].type, kSceneFree);
  EXPECT_STREQ(s[0].name, "B.EPA");
  EXPECT_EQ(s[0].x, 1);
  EXPECT_EQ(s[0].y, 2);
  EXPECT_EQ(s[0].mode, 0x10001u);
  EXPECT_EQ(s[1].moveX, -5);
  EXPECT_EQ(s[1].moveY, 6);
  EXPECT_EQ(s[1].mode, 0x10002u);
  EXPECT_EQ(s[2].showFrom, 101);
  EXPECT_EQ(s[2].mode, 0x10003u);
  EXPECT_EQ(s[3].x, 9);  // a comma after a number belongs to its token
  EXPECT_EQ(s[3].showUntil, 12);
  EXPECT_EQ(s[3].mode, 0x10000u);
  EXPECT_EQ(s[4].showFrom, 5);
  EXPECT_EQ(s[4].showUntil, 102);
  EXPECT_EQ(s[4].mode, 0x2000Au);
  EXPECT_EQ(s[5].cellHeight, 32);
  EXPECT_EQ(s[5].showUntil, -1);
  EXPECT_EQ(s[5].frameInterval, 100);
  EXPECT_EQ(s[5].mode, 0x20005u);
  EXPECT_EQ(s[6].cellHeight, 16);
  EXPECT_EQ(s[6].frameInterval, 7);
  EXPECT_EQ(s[6].startDelay, 8);
  EXPECT_EQ(s[6].firstFrameInterval, 9);
  EXPECT_EQ(s[6].mode, 0x10000u);
  EXPECT_EQ(s[7].x, 16);
  EXPECT_EQ(s[7].y, -16);
}

TEST_F(Config, SceneLinesThatEndEarlyLeaveTheRestZero) {
  ASSERT_TRUE(load("ELEMENT \"A.EPA\" 10\r\nBACK\r\nBASE NAME 5 6\r\nWRITE \"X,Y\" 1 2\r\n"));
  const SceneElement* s = config.scene;
  EXPECT_EQ(s[0].type, kSceneElement);
  EXPECT_STREQ(s[0].name, "A.EPA");
  EXPECT_EQ(s[0].x, 10);
  EXPECT_EQ(s[0].y, 0);
  EXPECT_EQ(s[0].showFrom, 0);
  EXPECT_EQ(s[0].mode, 0u);
  EXPECT_EQ(s[1].type, kSceneBack);
  EXPECT_STREQ(s[1].name, "");
  EXPECT_EQ(s[2].type, kSceneBase);  // unquoted name: empty, reading goes on
  EXPECT_STREQ(s[2].name, "");
  EXPECT_EQ(s[2].x, 5);
  EXPECT_EQ(s[2].y, 6);
  EXPECT_EQ(s[3].type, kSceneWrite);  // a failed quoted name ends the line
  EXPECT_STREQ(s[3].name, "X");
  EXPECT_EQ(s[3].x, 0);
}

TEST_F(Config, ThePast256thSceneLineIsIgnored) {
  std::string script;
  for (int i = 0; i < 257; i++) script += "ELEMENT \"E.EPA\" " + std::to_string(i) + "\r\n";
  Notes notes;
  ASSERT_TRUE(load(script + "APPLITITLE = \"after\"\r\n", &notes));
  EXPECT_EQ(config.scene[255].x, 255);
  EXPECT_STREQ(config.appliTitle, "after");
  EXPECT_TRUE(notes.has(kNoteSceneFull, 257));
}

// ---- Release ----------------------------------------------------------------------

TEST_F(Config, FirstReleaseClearsEverythingLaterReleasesKeepSceneKeyFileAndDiscNum) {
  const std::string script =
      "DISCNUM = 2\r\nKEYFILE = \"K1\" \"K2\"\r\nDISCNAME = \"N\"\r\nDISCLABEL = \"L\"\r\n"
      "APPLITITLE = \"T\"\r\nDXDISC = 1\r\nEXEC POPUPMESSAGE = \"M\", CHANGECD = 2\r\n"
      "FILELIST DISC1 = \"A\"\r\nFILESIZE DISC1 = 5\r\nFILEOPTION DISC1 = 8\r\n"
      "BACK \"B.EPA\" 1 2 NORMAL\r\n";
  ASSERT_TRUE(load(script));
  config.scene[0].state = kActive;
  config.scene[0].pixels = static_cast<uint32_t*>(heapAlloc(16));
  config.scene[0].savedBackground = static_cast<uint32_t*>(heapAlloc(16));
  config.scene[0].backgroundSaved = 1;

  releaseConfig();  // a later call
  EXPECT_EQ(config.exec[0].command, 0u);
  EXPECT_EQ(config.exec[0].text, nullptr);
  EXPECT_EQ(config.exec[1].command, 0u);
  EXPECT_EQ(config.exec[1].argument, 2u);  // only the commands are cleared
  EXPECT_EQ(config.fileList[0][0], nullptr);
  EXPECT_EQ(config.fileSize[0][0], 0u);
  EXPECT_EQ(config.fileOption[0][0], 0u);
  EXPECT_STREQ(config.discName[0], "");
  EXPECT_STREQ(config.discLabel[0], "");
  EXPECT_STREQ(config.appliTitle, "");
  EXPECT_EQ(config.dxDisc[0], 0u);
  EXPECT_STREQ(config.keyFile[1], "K2");
  EXPECT_EQ(config.discNum, 2u);
  EXPECT_EQ(config.scene[0].type, kSceneBack);
  EXPECT_EQ(config.scene[0].x, 1);
  EXPECT_EQ(config.scene[0].state, kWaiting);
  EXPECT_EQ(config.scene[0].pixels, nullptr);
  EXPECT_EQ(config.scene[0].savedBackground, nullptr);
  EXPECT_EQ(config.scene[0].backgroundSaved, 0);

  // A reload adds its scene lines after those kept, and keeps keyFile
  // items and discNum that it does not set.
  ASSERT_TRUE(load("KEYFILE = \"N1\"\r\nFINISH \"F.EPA\" 0 0 NORMAL\r\n"));
  EXPECT_STREQ(config.keyFile[0], "N1");
  EXPECT_STREQ(config.keyFile[1], "K2");
  EXPECT_EQ(config.scene[1].type, kSceneFinish);

  // The first call of a run clears what later calls keep.
  releaseConfig();
  configInitialised = false;
  config.exec[3].command = 9;
  config.exec[3].argument = 9;
  config.fileSize[2][2] = 1;
  releaseConfig();
  EXPECT_TRUE(configInitialised);
  EXPECT_TRUE(isZero(config.exec, sizeof config.exec));
  EXPECT_TRUE(isZero(config.scene, sizeof config.scene));
  EXPECT_TRUE(isZero(config.keyFile, sizeof config.keyFile));
  EXPECT_TRUE(isZero(config.fileSize, sizeof config.fileSize));
  EXPECT_EQ(config.discNum, 2u);  // never cleared

  // A first release after a load frees what the load took.
  configInitialised = false;
  ASSERT_TRUE(load("FILELIST DISC1 = \"A\" \"B\"\r\nEXEC POPUPMESSAGE = \"M\"\r\n"));
  releaseConfig();  // the sanitizer build sees a leak if the blocks are dropped
  EXPECT_EQ(config.fileList[0][0], nullptr);
  EXPECT_EQ(config.exec[0].text, nullptr);
}

// ---- Reading the script file ------------------------------------------------------

TEST_F(Config, LoadReadsTheLooseScriptFirstThenTheArchiveMember) {
  TempDir dir(true);
  EXPECT_FALSE(loadConfig());

  std::string archive, error;
  ASSERT_TRUE(buildPack({{"KSETUP.INI", "APPLITITLE = \"packed\"\r\n"}}, true, &archive, &error));
  writeFile(dir.file("Instdata.pak"), archive);
  ASSERT_TRUE(loadConfig());
  EXPECT_STREQ(config.appliTitle, "packed");

  releaseConfig();
  writeFile(dir.file("KSetup.ini"), "APPLITITLE = \"loose\"");
  ASSERT_TRUE(loadConfig());
  EXPECT_STREQ(config.appliTitle, "loose");

  releaseConfig();
  writeFile(dir.file("KSetup.ini"), "DISCNUM = 0\r\n");
  EXPECT_FALSE(loadConfig());

  // An empty loose script loads, with nothing in it.
  writeFile(dir.file("KSetup.ini"), "");
  EXPECT_TRUE(loadConfig());
  EXPECT_STREQ(config.appliTitle, "");

  TempDir empty(true);
  Notes notes;
  ScriptReport report = {collect, &notes};
  EXPECT_FALSE(loadConfigReported(&report));
  EXPECT_TRUE(notes.has(kNoteNotFound, 0));
}

TEST_F(Config, FailedAllocationsFailTheLoad) {
  TempDir dir(true);
  writeFile(dir.file("KSetup.ini"), "APPLITITLE = \"A\"\r\n");
  heapFailAfter(2);  // the source handle, then the text buffer
  EXPECT_FALSE(loadConfig());
  EXPECT_STREQ(config.appliTitle, "");
  heapFailAfter(0);
  EXPECT_TRUE(loadConfig());

  const char* scripts[] = {"FILELIST DISC1 = \"A\" \"B\"", "FILE = \"A\" 1 1 DISC1",
                           "EXEC POPUPMESSAGE = \"A\""};
  for (const char* script : scripts) {
    resetRecord();
    heapFailAfter(1);
    Notes notes;
    EXPECT_FALSE(load(script, &notes)) << script;
    EXPECT_TRUE(notes.has(kNoteNoMemory, 1)) << script;
    heapFailAfter(0);
  }
  resetRecord();
  heapFailAfter(2);  // the second FILELIST entry
  EXPECT_FALSE(load("FILELIST DISC1 = \"A\" \"B\""));
  heapFailAfter(0);
  EXPECT_EQ(file(0, 0), "A");
  EXPECT_EQ(file(0, 1), "<null>");
}

// ---- Diagnostics ------------------------------------------------------------------

TEST_F(Config, AReportChangesNothingAndNotesDoubtfulLines) {
  const std::string script =
      "DISCNAME = \"A B\" \"C\"\r\nFILELIST DISC1 = \"A\", \"B\"\r\nEXEC JUMP = 1\r\n"
      "APPLITITLE = plain\r\nKEYFILE = \"A,B\"\r\nDISCNUM = 12\r\n";
  // The record as loaded without a report; the one owned block is compared
  // by its text.
  ASSERT_TRUE(load(script));
  ASSERT_EQ(file(0, 0), "A");
  heapFree(config.fileList[0][0]);
  config.fileList[0][0] = nullptr;
  std::vector<char> plain(reinterpret_cast<const char*>(&config),
                          reinterpret_cast<const char*>(&config) + sizeof config);

  resetRecord();
  Notes notes;
  ASSERT_TRUE(load(script, &notes));
  ASSERT_EQ(file(0, 0), "A");
  heapFree(config.fileList[0][0]);
  config.fileList[0][0] = nullptr;
  EXPECT_EQ(memcmp(plain.data(), &config, sizeof config), 0);

  EXPECT_TRUE(notes.has(kNoteBlankInQuotedItem, 1));
  EXPECT_TRUE(notes.has(kNoteCommaAfterItem, 2));
  EXPECT_TRUE(notes.has(kNoteUnknownCommand, 3));
  EXPECT_TRUE(notes.has(kNoteUnquotedText, 4));
  EXPECT_TRUE(notes.has(kNoteQuoteNotClosed, 5));
  EXPECT_TRUE(notes.has(kNoteDiscNumLarge, 6));
  EXPECT_EQ(notes.seen.size(), 6u);
}

// ---- Selected bytes ---------------------------------------------------------------

TEST_F(Config, SelectedByteTotalSumsTheEntriesAnOptionSelects) {
  ASSERT_TRUE(load("FILELIST DISC1 = \"A\" \"B\" \"C\", DISC2 = \"D\", DISC4 = \"F\"\r\n"
                   "FILESIZE DISC1 = 4000000000 3000000000 7, DISC2 = 100, DISC4 = 1000\r\n"
                   "FILEOPTION DISC1 = 8 12 2, DISC2 = 14, DISC4 = 14\r\n"
                   "FILESIZE DISC3 = 55\r\nFILEOPTION DISC3 = 14\r\n"));
  EXPECT_EQ(selectedByteTotal(0, 8), 7000000000ull);
  EXPECT_EQ(selectedByteTotal(0, 4), 3000000000ull);
  EXPECT_EQ(selectedByteTotal(0, 2), 7ull);
  EXPECT_EQ(selectedByteTotal(0, 0), 0ull);
  EXPECT_EQ(selectedByteTotal(1, 2), 100ull);
  EXPECT_EQ(selectedByteTotal(2, 2), 0ull);  // sizes without a list count for nothing
  EXPECT_EQ(selectedByteTotal(3, 2), 1000ull);
  // All discs stop at the first disc with an empty list: disc 4 is not reached.
  EXPECT_EQ(selectedByteTotal(-1, 8), 7000000100ull);
  EXPECT_EQ(selectedByteTotal(-1, 2), 107ull);
  EXPECT_EQ(selectedByteTotal(10, 8), 0ull);
  EXPECT_EQ(selectedByteTotal(-2, 8), 0ull);

  resetRecord();
  std::string names = "FILELIST DISC10 =", sizes = "FILESIZE DISC10 =", options = "FILEOPTION DISC10 =";
  for (int i = 0; i < 1024; i++) {
    names += " \"F\"";
    sizes += " 1";
    options += " 8";
  }
  ASSERT_TRUE(load(names + "\r\n" + sizes + "\r\n" + options + "\r\n"));
  EXPECT_EQ(selectedByteTotal(9, 8), 1024ull);
  EXPECT_EQ(selectedByteTotal(-1, 8), 0ull);  // disc 1 is empty
}

}  // namespace
