// The JSON dump of the setup configuration, the code page 932 decoder, and
// `ksetup-tool script dump` and `script check` end to end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "tools/lib/config_json.h"
#include "tools/lib/pak_writer.h"

namespace {

std::string utf8(const char* bytes, size_t n = std::string::npos) {
  return cp932ToUtf8(bytes, n == std::string::npos ? strlen(bytes) : n);
}

bool haveDoubleByteTable() { return utf8("\x82\xa0") == "\xe3\x81\x82"; }

// The JSON of a record that holds nothing.
const char kEmptyJson[] =
    "{\"discNum\":0,\"appliTitle\":\"\",\"exeName\":\"\",\"mustMakeFolder\":\"\",\"regAddress\":\"\","
    "\"dxMessage\":\"\",\"dxPlace\":\"\",\"brandName\":\"\",\"uninstallEntry\":\"\",\"discLabel\":[],\"discName\":[],"
    "\"shortcutLabel\":[],\"shortcutName\":[],\"shortcutLink\":[],\"shortcutFolder\":[],"
    "\"shortcutParam\":[],\"saveData\":[],\"keyFile\":[],\"optionTitle\":[],\"makeFolder\":[],"
    "\"dxDisc\":[],\"exec\":[],\"fileList\":[[],[],[],[],[],[],[],[],[],[]],"
    "\"fileSize\":[[],[],[],[],[],[],[],[],[],[]],\"fileOption\":[[],[],[],[],[],[],[],[],[],[]],"
    "\"scene\":[]}\n";

// ---- Code page 932 ----------------------------------------------------------------

TEST(Cp932, SingleBytesAndBytesThatAreNoCharacter) {
  EXPECT_EQ(utf8("A\\b~"), "A\\b~");
  EXPECT_EQ(utf8("\xb1\xa1\xdf"), "\xef\xbd\xb1\xef\xbd\xa1\xef\xbe\x9f");  // ｱ｡ﾟ
  const std::string bad = "\xef\xbf\xbd";
  EXPECT_EQ(utf8("\x80\xa0\xfd\xfe\xff"), bad + bad + bad + bad + bad);
  EXPECT_EQ(utf8("A\x82"), "A" + bad);           // a lead byte at the end
  EXPECT_EQ(utf8("\x82 x"), bad + " x");         // a trail byte that cannot be one
  EXPECT_EQ(utf8("\x82\x7f"), bad + "\x7f");
  EXPECT_EQ(utf8("AB\0CD", 5), "AB");            // the first zero ends the text
  EXPECT_EQ(utf8("ABCD", 2), "AB");
  EXPECT_EQ(utf8("\x82\xa0", 1), bad);           // the size cuts the pair
}

TEST(Cp932, DoubleByteCharactersWithTheVendorExtensions) {
  if (!haveDoubleByteTable()) GTEST_SKIP() << "built without the iconv CP932 table";
  EXPECT_EQ(utf8("\x83\x65\x83\x58\x83\x67"), "テスト");
  EXPECT_EQ(utf8("\x90\xdd\x92\xe8"), "設定");
  EXPECT_EQ(utf8("\x95\x5c"), "表");        // trail byte 0x5C, the backslash
  EXPECT_EQ(utf8("\x81\x40"), "\xe3\x80\x80");  // ideographic space
  EXPECT_EQ(utf8("\x87\x40"), "①");         // NEC row 13
  EXPECT_EQ(utf8("\xed\x40"), "纊");        // NEC-selected IBM extensions
  EXPECT_EQ(utf8("\xfa\x40"), "ⅰ");         // IBM extensions
  EXPECT_EQ(utf8("\xfc\x4b"), "黑");
  // An unused pair: one U+FFFD, and an ASCII trail byte is read again.
  EXPECT_EQ(utf8("\x85\x40"), "\xef\xbf\xbd@");
  EXPECT_EQ(utf8("\x85\x5c\""), "\xef\xbf\xbd\\\"");
  EXPECT_EQ(utf8("\x85\x9f"), "\xef\xbf\xbd");
}

// ---- JSON of the record -----------------------------------------------------------

class ConfigJson : public ::testing::Test {
 protected:
  // From an empty record, as at program start.
  void SetUp() override {
    releaseConfig();
    memset(&config, 0, sizeof config);
    configInitialised = false;
    releaseConfig();
  }
  void TearDown() override { releaseConfig(); }
};

TEST_F(ConfigJson, EmptyRecord) { EXPECT_EQ(configToJson(), kEmptyJson); }

TEST_F(ConfigJson, ListsEndAfterTheirLastItemAndTextIsEscaped) {
  ASSERT_TRUE(loadConfigText(
      "DISCNAME = - \"B\"\r\nDXDISC = 3 1\r\nEXEC POPUPMESSAGE = \"M\\\", CHANGECD = 2\r\n"
      "FILESIZE DISC2 = 0 5 0\r\nAPPLITITLE = \"a\tb\x01/\"\r\n"
      "SPRITE2 \"S.EPA\" 1 -2 3 -4 5 6 INFINITE 7 8 9 INFINITE\r\n",
      nullptr));
  config.fileList[2][1] = static_cast<char*>(heapAlloc(kPathSize));
  strcpy(config.fileList[2][1], "X");
  std::string json = configToJson();
  EXPECT_NE(json.find("\"appliTitle\":\"a\\tb\\u0001/\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"discName\":[\"\",\"B\"]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"dxDisc\":[3,1]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"exec\":[{\"command\":2147483649,\"argument\":\"M\\\\\"},"
                      "{\"command\":1,\"argument\":2}]"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"fileList\":[[],[],[null,\"X\"],[]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"fileSize\":[[],[0,5],[]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"scene\":[{\"type\":7,\"name\":\"S.EPA\",\"x\":-2,\"y\":3,\"moveX\":-4,"
                      "\"moveY\":5,\"showFrom\":6,\"showUntil\":-1,\"frameInterval\":7,"
                      "\"startDelay\":8,\"firstFrameInterval\":9,\"cellHeight\":1,"
                      "\"mode\":4294967295}]}\n"),
            std::string::npos)
      << json;
  EXPECT_EQ(json.find('\n'), json.size() - 1);
}

// ---- script dump ------------------------------------------------------------------

// A script with every kind of line; Shift-JIS text as bytes.
const char kScript[] =
    "REM a test script\n"
    "APPLITITLE = \"\x83\x65\x83\x58\x83\x67\"\n"
    "EXENAME = \"GAME.EXE\"\n"
    "MUSTMAKEFOLDER = \"\\Maker\\Game\"\n"
    "REGADDRESS = \"Software\\Maker\"\n"
    "DXMESSAGE = \"DX\"\n"
    "DXPLACE = \"DIRECTX\\DXSETUP.EXE\"\n"
    "BRANDNAME = \"Maker\"\n"
    "DISCNUM = 2\n"
    "DISCLABEL = \"L1\" \"L2\"\n"
    "DISCNAME = \"\x83\x66\x83\x42\x83\x58\x83\x4e" "1\" \"\xb1\xb2\"\n"
    "KEYFILE = \"K1.KEY\" \"K2.KEY\"\n"
    "SHORTCUTLABEL = \"Play\"\n"
    "SHORTCUTNAME = \"Play\" \"Readme\"\n"
    "SHORTCUTLINK = \"GAME.EXE\" \"README.TXT\"\n"
    "SHORTCUTFOLDER = - \"DOC\"\n"
    "SHORTCUTPARAM = \"-w\"\n"
    "SAVEDATA = \"SAVE\\*.DAT\"\n"
    "OPTIONTITLE = \"Full\" \"Normal\" \"Small\"\n"
    "MAKEFOLDER = \"SAVE\" \"DOC\"\n"
    "DXDISC = 2\n"
    "EXEC CHANGECD = 1, LOADINIFROMCD = 0\n"
    "FILELIST DISC1 = \"GAME.EXE\" \"DATA\\A.DAT\", DISC2 = \"DATA\\B.DAT\"\n"
    "FILESIZE DISC1 = 100 200, DISC2 = 300\n"
    "FILEOPTION DISC1 = 14 8, DISC2 = 12\n"
    "FILE = \"DOC\\README.TXT\" 5 14 DISC1\n"
    "BACK \"BG.EPA\" 0 0 STRETCH_DESKTOP\n"
    "PROGRESSBAR \"BAR.EPA\" 10 400 0 0 0 TO_FINISH DIRECTION_RIGHT\n"
    "// end\n";

const char kScriptJson[] =
    "{\"discNum\":2,\"appliTitle\":\"テスト\",\"exeName\":\"GAME.EXE\","
    "\"mustMakeFolder\":\"\\\\Maker\\\\Game\",\"regAddress\":\"Software\\\\Maker\","
    "\"dxMessage\":\"DX\",\"dxPlace\":\"DIRECTX\\\\DXSETUP.EXE\",\"brandName\":\"Maker\",\"uninstallEntry\":\"\","
    "\"discLabel\":[\"L1\",\"L2\"],\"discName\":[\"ディスク1\",\"ｱｲ\"],"
    "\"shortcutLabel\":[\"Play\"],\"shortcutName\":[\"Play\",\"Readme\"],"
    "\"shortcutLink\":[\"GAME.EXE\",\"README.TXT\"],\"shortcutFolder\":[\"\",\"DOC\"],"
    "\"shortcutParam\":[\"-w\"],\"saveData\":[\"SAVE\\\\*.DAT\"],\"keyFile\":[\"K1.KEY\",\"K2.KEY\"],"
    "\"optionTitle\":[\"Full\",\"Normal\",\"Small\"],\"makeFolder\":[\"SAVE\",\"DOC\"],"
    "\"dxDisc\":[2],\"exec\":[{\"command\":1,\"argument\":1},{\"command\":2,\"argument\":0}],"
    "\"fileList\":[[\"GAME.EXE\",\"DATA\\\\A.DAT\",\"DOC\\\\README.TXT\"],[\"DATA\\\\B.DAT\"],"
    "[],[],[],[],[],[],[],[]],"
    "\"fileSize\":[[100,200,5],[300],[],[],[],[],[],[],[],[]],"
    "\"fileOption\":[[14,8,14],[12],[],[],[],[],[],[],[],[]],"
    "\"scene\":[{\"type\":1,\"name\":\"BG.EPA\",\"x\":0,\"y\":0,\"moveX\":0,\"moveY\":0,"
    "\"showFrom\":0,\"showUntil\":0,\"frameInterval\":0,\"startDelay\":0,"
    "\"firstFrameInterval\":0,\"cellHeight\":0,\"mode\":65537},"
    "{\"type\":5,\"name\":\"BAR.EPA\",\"x\":10,\"y\":400,\"moveX\":0,\"moveY\":0,"
    "\"showFrom\":0,\"showUntil\":101,\"frameInterval\":0,\"startDelay\":0,"
    "\"firstFrameInterval\":0,\"cellHeight\":0,\"mode\":131074}]}\n";

std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(ScriptDump, LooseScriptsWithLfOrCrLfAndOneOnlyInTheArchive) {
  if (!haveDoubleByteTable()) GTEST_SKIP() << "built without the iconv CP932 table";
  TempDir lf, crlf, packed;
  writeFile(lf.file("KSetup.ini"), kScript);
  writeFile(crlf.file("KSETUP.INI"), withCrLf(kScript));  // found without regard to case
  std::string archive, error;
  ASSERT_TRUE(buildPack({{"TITLE.EPA", "x"}, {"KSetup.ini", withCrLf(kScript)}}, false, &archive,
                        &error));
  writeFile(packed.file("Instdata.pak"), archive);

  for (const TempDir* dir : {&lf, &crlf, &packed}) {
    std::string out, err;
    EXPECT_EQ(runTool("script dump " + quote(dir->path), &out, &err), 0) << err;
    EXPECT_EQ(out, kScriptJson);
    EXPECT_EQ(err, "");
  }

  // The loose script wins over the archive member.
  writeFile(packed.file("KSetup.ini"), "APPLITITLE = \"loose\"\r\n");
  std::string out;
  EXPECT_EQ(runTool("script dump " + quote(packed.path), &out), 0);
  EXPECT_NE(out.find("\"appliTitle\":\"loose\""), std::string::npos);
}

TEST(ScriptDump, FailedLoadsExitOneWithOneLine) {
  TempDir dir;
  std::string out, err;
  EXPECT_EQ(runTool("script dump " + quote(dir.path), &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("no KSetup.ini"), std::string::npos) << err;

  writeFile(dir.file("KSetup.ini"), "APPLITITLE = \"A\"\r\nDISCNUM = 0\r\n");
  EXPECT_EQ(runTool("script dump " + quote(dir.path), &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "ksetup-tool: " + dir.path + "/KSetup.ini: line 2: DISCNUM is 0 or no number\n");

  EXPECT_EQ(runTool("script dump " + quote(dir.file("none")), &out, &err), 1);
  EXPECT_NE(err.find("no such folder or disc image"), std::string::npos) << err;

  // Bytes that are no text at all still give a record or a clean failure.
  std::string noise;
  for (int i = 0; i < 4096; i++) noise.push_back(char((i * 7919) % 251));
  writeFile(dir.file("KSetup.ini"), noise);
  int rc = runTool("script dump " + quote(dir.path), &out, &err);
  EXPECT_TRUE(rc == 0 || rc == 1) << rc << err;
}

TEST(ScriptTool, UsageErrorsExitTwo) {
  EXPECT_EQ(runTool("script"), 2);
  EXPECT_EQ(runTool("script dump"), 2);
  EXPECT_EQ(runTool("script dump a b"), 2);
  EXPECT_EQ(runTool("script check"), 2);
  EXPECT_EQ(runTool("script check a b"), 2);
  EXPECT_EQ(runTool("script check --unknown a"), 2);
  EXPECT_EQ(runTool("script frobnicate a"), 2);
  std::string out;
  EXPECT_EQ(runTool("script help", &out), 0);
  EXPECT_NE(out.find("one line of compact JSON"), std::string::npos);
}

// ---- script check -----------------------------------------------------------------

TEST(ScriptCheck, WarningsCarryLineNumbersAndDoNotFail) {
  TempDir dir;
  writeFile(dir.file("KSetup.ini"),
            "APPLITITLE = \"" + std::string(70, 'T') + "\"\r\n"  // 1 cut
            "exec CHANGECD = 1\r\n"                              // 2 lower case
            "SETUP = 1\r\n"                                      // 3 unknown
            "OPTIONTITLE = \"1\" \"2\" \"3\" \"4\"\r\n"          // 4 beyond capacity
            "MAKEFOLDER = \"A B\"\r\n"                           // 5 blank in quotes
            "FILELIST DISC1 = \"A\", \"B\"\r\n"                  // 6 comma after item
            "FILE = \"C\" 1 1 DISC1, x\r\n"                      // 7 comma in FILE
            "  DISCNUM = 1\r\n"                                  // 8 indented
            "REM fine\r\n"                                       // 9
            "\r\n"                                               // 10
            "DISCNAME = \"D1\"\r\n"                              // 11
            "REGADDRESS = \"Software\\Maker\\Game\"\r\n");       // 12
  std::string out, err;
  EXPECT_EQ(runTool("script check " + quote(dir.path), &out, &err), 0) << err;
  EXPECT_EQ(err, "");
  const std::string src = dir.path + "/KSetup.ini:";
  const char* expected[] = {"1: warning: quoted text longer than 63 bytes",
                            "2: warning: lower-case keyword 'exec'",
                            "3: warning: unknown keyword 'SETUP'",
                            "4: warning: OPTIONTITLE holds at most 3 items",
                            "5: warning: a blank inside quotes",
                            "6: warning: comma after a FILELIST item",
                            "7: warning: FILE line with a comma",
                            "8: warning: DISCNUM is indented"};
  size_t from = 0;
  for (const char* line : expected) {
    size_t found = out.find(src + line, from);
    EXPECT_NE(found, std::string::npos) << line << "\n" << out;
    if (found != std::string::npos) from = found;
  }
  EXPECT_NE(out.find(dir.path + "/KSetup.ini: loads, 8 warnings\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(":9:"), std::string::npos) << out;
  EXPECT_EQ(out.find(":11:"), std::string::npos) << out;
}

TEST(ScriptCheck, AFailingLineGivesItsNumberAndRule) {
  TempDir dir;
  struct Case {
    const char* script;
    const char* error;
  } cases[] = {
      {"REM\r\nDISCNUM = 0\r\n", "line 2: DISCNUM is 0 or no number"},
      {"EXENAME \"A\"\r\n", "line 1: EXENAME needs '=' before its value"},
      {"REM\nREM\nEXEC CHANGECD = 1, LOADINIFROMCD 0\n", "line 3: EXEC command 'LOADINIFROMCD' has no '='"},
      {"DXDISC = 1 0\r\n", "line 1: DXDISC item 2 is 0 or no number"},
      {"DXDISC = 1", "line 1: DXDISC item 2 is 0 or no number (the last line of the script needs a "
                     "line break after DXDISC)"},
      {"FILE = \"A\" 1 1 DISK1\r\n", "line 1: FILE names no disc DISC1 to DISC10 as its fourth "
                                     "token (found 'DISK1')"},
  };
  for (const Case& c : cases) {
    writeFile(dir.file("KSetup.ini"), c.script);
    std::string out, err;
    EXPECT_EQ(runTool("script check " + quote(dir.path), &out, &err), 1) << c.script;
    EXPECT_EQ(err, "ksetup-tool: " + dir.path + "/KSetup.ini: " + c.error + "\n") << c.script;
    EXPECT_NE(out.find(dir.path + "/KSetup.ini: does not load\n"), std::string::npos) << out;
  }

  TempDir packed;
  std::string archive, error;
  ASSERT_TRUE(buildPack({{"KSetup.ini", "DISCNUM = 0\r\n"}}, true, &archive, &error));
  writeFile(packed.file("Instdata.pak"), archive);
  std::string out, err;
  EXPECT_EQ(runTool("script check " + quote(packed.path), &out, &err), 1);
  EXPECT_EQ(err, "ksetup-tool: " + packed.path + "/Instdata.pak:KSetup.ini: line 1: DISCNUM is 0 or no number\n");
}

}  // namespace
