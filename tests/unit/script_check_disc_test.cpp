// `ksetup-tool script check DIR --disc ...`: the disc set as the installer
// meets it. Each case breaks one thing in a fresh copy of a good set made
// here with our own archive writer and picture encoder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/test_util.h"
#include "tools/lib/epa_encode.h"
#include "tools/lib/pak_writer.h"

namespace {

std::string epaPicture(uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(size_t(width) * height, 0xFF336699u);
  std::string epa, error;
  if (!encodeEpa(pixels.data(), width, height, 0, &epa, &error)) ADD_FAILURE() << error;
  return epa;
}

struct Picture {
  std::string name;
  uint32_t width, height;
};

void writeArchive(const std::string& path, const std::vector<Picture>& pictures) {
  std::vector<PackMember> members;
  for (const Picture& p : pictures) members.push_back({p.name, epaPicture(p.width, p.height)});
  std::string archive, error;
  ASSERT_TRUE(buildPack(members, true, &archive, &error)) << error;
  writeFile(path, archive);
}

const std::vector<Picture> kGoodPictures = {
    {"TITLE.EPA", 320, 320}, {"LOGO.EPA", 400, 98}, {"BAR.EPA", 50, 8}, {"STRIP.EPA", 16, 32}};

// Script lines, numbered from 1 in the findings.
std::vector<std::string> goodScript() {
  return {
      "DISCNUM = 2",                                               // 1
      "KEYFILE = \"DISC1.KEY\" \"DISC2.KEY\"",                     // 2
      "MAKEFOLDER = \"DATA\" \"MOVIE\"",                           // 3
      "FILELIST DISC1 = \"game.exe\" \"DATA\\A.BIN\"",             // 4
      "FILESIZE DISC1 = 1000 5000",                                // 5
      "FILEOPTION DISC1 = 14 8",                                   // 6
      "FILE = \"MOVIE\\*.DAT\" 700 8 DISC2",                       // 7
      "DXDISC = 1",                                                // 8
      "DXPLACE = \"DIRECTX\\DXSETUP.EXE\"",                        // 9
      "PROGRESSBAR \"BAR.EPA\" 10 10 50 0 0 100 DIRECTION_RIGHT",  // 10
      "SPRITE1 \"STRIP.EPA\" 16 0 0 100 0 0 100 50 NORMAL",        // 11
      "REGADDRESS = \"Software\\Maker\\Game\"",                   // 12
  };
}

void writeScript(const std::string& disc1, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  writeFile(disc1 + "/KSetup.ini", text);
}

// disc1: script, archive, GAME.EXE (stored in upper case, listed in lower),
// DATA\A.BIN, the key file, the DirectX setup; disc2: its key file and two
// files the pattern MOVIE\*.DAT matches, with a folder and a file it must not.
struct DiscSet {
  TempDir root;
  std::string disc1 = root.file("disc1"), disc2 = root.file("disc2");
  DiscSet() {
    for (const char* folder :
         {"disc1", "disc1/DATA", "disc1/DIRECTX", "disc2", "disc2/MOVIE", "disc2/MOVIE/OLD.DAT"})
      mkdir(root.file(folder).c_str(), 0777);
    writeScript(disc1, goodScript());
    writeArchive(disc1 + "/Instdata.pak", kGoodPictures);
    writeFile(disc1 + "/GAME.EXE", std::string(1000, 'g'));
    writeFile(disc1 + "/DATA/A.BIN", std::string(5000, 'a'));
    writeFile(disc1 + "/DISC1.KEY", "1");
    writeFile(disc1 + "/DIRECTX/DXSETUP.EXE", "dx");
    writeFile(disc2 + "/DISC2.KEY", "2");
    writeFile(disc2 + "/MOVIE/M1.DAT", std::string(300, '1'));
    writeFile(disc2 + "/MOVIE/m2.dat", std::string(400, '2'));
    writeFile(disc2 + "/MOVIE/NOTES.TXT", "not matched");
  }
  int check(std::string* out, std::string* err) const {
    return runTool(
        "script check " + quote(disc1) + " --disc " + quote(disc1) + " --disc " + quote(disc2), out,
        err);
  }
};

TEST(ScriptCheckDiscs, AGoodSetHasNoFindings) {
  DiscSet set;
  std::string out, err;
  EXPECT_EQ(set.check(&out, &err), 0) << out << err;
  EXPECT_EQ(out, set.disc1 + "/KSetup.ini: loads, 0 warnings\n");
}

TEST(ScriptCheckDiscs, EachBreakIsFoundAtItsLineWithItsWeight) {
  struct Case {
    const char* what;
    std::function<void(DiscSet&)> breakIt;
    const char* finding;  // after "KSetup.ini"
    int exitCode;
  };
  auto editScript = [](int line, const std::string& text) {
    return [line, text](DiscSet& s) {
      std::vector<std::string> lines = goodScript();
      lines[size_t(line - 1)] = text;
      writeScript(s.disc1, lines);
    };
  };
  const Case cases[] = {
      {"missing file", [](DiscSet& s) { unlink((s.disc1 + "/DATA/A.BIN").c_str()); },
       ":4: error: disc 1: \"DATA\\A.BIN\" is not in ", 1},
      {"wrong size", [](DiscSet& s) { writeFile(s.disc1 + "/GAME.EXE", std::string(999, 'g')); },
       ":5: warning: disc 1: \"game.exe\" is 999 bytes, FILESIZE says 1000", 0},
      {"missing MAKEFOLDER", editScript(3, "MAKEFOLDER = \"DATA\""),
       ":7: error: disc 2: \"MOVIE\\*.DAT\" goes into the folder \"MOVIE\", which no MAKEFOLDER "
       "item makes: the install stops there with a write error",
       1},
      {"missing key file", [](DiscSet& s) { unlink((s.disc2 + "/DISC2.KEY").c_str()); },
       ":2: error: disc 2: the key file \"DISC2.KEY\" is not in ", 1},
      {"wrong-sized logo",
       [](DiscSet& s) {
         writeArchive(s.disc1 + "/Instdata.pak", {{"TITLE.EPA", 320, 320},
                                                  {"LOGO.EPA", 400, 99},
                                                  {"BAR.EPA", 50, 8},
                                                  {"STRIP.EPA", 16, 32}});
       },
       ": error: LOGO.EPA is 400 x 99 pixels; the install options dialog needs 400 x 98", 1},
      {"missing title",
       [](DiscSet& s) {
         writeArchive(s.disc1 + "/Instdata.pak",
                      {{"LOGO.EPA", 400, 98}, {"BAR.EPA", 50, 8}, {"STRIP.EPA", 16, 32}});
       },
       ": error: TITLE.EPA is not found in ", 1},
      {"pattern without files",
       [](DiscSet& s) {
         unlink((s.disc2 + "/MOVIE/M1.DAT").c_str());
         unlink((s.disc2 + "/MOVIE/m2.dat").c_str());
       },
       ":7: error: disc 2: \"MOVIE\\*.DAT\" matches no file in ", 1},
      {"pattern total", editScript(7, "FILE = \"MOVIE\\*.DAT\" 701 8 DISC2"),
       ":7: warning: disc 2: \"MOVIE\\*.DAT\": the 2 matching files are 700 bytes together, "
       "FILESIZE says 701",
       0},
      {"DirectX setup elsewhere", editScript(9, "DXPLACE = \"DX\\SETUP.EXE\""),
       ":9: error: DXPLACE \"DX\\SETUP.EXE\" is on none of the DXDISC discs (1)", 1},
      {"scene picture missing",
       [](DiscSet& s) {
         writeArchive(s.disc1 + "/Instdata.pak",
                      {{"TITLE.EPA", 320, 320}, {"LOGO.EPA", 400, 98}, {"STRIP.EPA", 16, 32}});
       },
       ":10: error: PROGRESSBAR picture \"BAR.EPA\" is not found in ", 1},
      {"loose picture only",
       [](DiscSet& s) {
         writeArchive(s.disc1 + "/Instdata.pak",
                      {{"TITLE.EPA", 320, 320}, {"LOGO.EPA", 400, 98}, {"BAR.EPA", 50, 8}});
         writeFile(s.disc1 + "/STRIP.EPA", epaPicture(16, 32));
       },
       ":11: warning: \"STRIP.EPA\" is only a loose file beside the script", 0},
      {"sprite cells", editScript(11, "SPRITE1 \"STRIP.EPA\" 12 0 0 100 0 0 100 50 NORMAL"),
       ":11: warning: SPRITE1: the 32 rows of \"STRIP.EPA\" are no whole number of 12-row cells",
       0},
      {"disc without key file", editScript(2, "KEYFILE = \"DISC1.KEY\""),
       ":2: error: disc 2 is asked for to install its files, but KEYFILE names no key file for it",
       1},
      {"list beyond DISCNUM", editScript(1, "DISCNUM = 1"),
       ":7: warning: disc 2 has a file list, but DISCNUM is 1: its files are never installed", 0},
  };
  for (const Case& c : cases) {
    DiscSet set;
    c.breakIt(set);
    std::string out, err;
    EXPECT_EQ(set.check(&out, &err), c.exitCode) << c.what << "\n" << out << err;
    EXPECT_NE(out.find(set.disc1 + "/KSetup.ini" + c.finding), std::string::npos) << c.what << "\n"
                                                                                  << out;
    // Each break gives exactly one finding.
    const char* verdict = c.exitCode ? "loads, 1 error, 0 warnings\n" : "loads, 1 warning\n";
    EXPECT_NE(out.find(verdict), std::string::npos) << c.what << "\n" << out;
    if (c.exitCode) {
      EXPECT_NE(err.find("1 error, the first: "), std::string::npos) << err;
    }
  }
}

TEST(ScriptCheckDiscs, DiscsNotGivenAreNamedNotChecked) {
  DiscSet set;
  std::string out, err;
  EXPECT_EQ(runTool("script check " + quote(set.disc1) + " --disc " + quote(set.disc1), &out, &err),
            0)
      << out << err;
  EXPECT_NE(out.find("warning: disc 2 is not given (--disc): its files are not checked"),
            std::string::npos)
      << out;
  EXPECT_EQ(runTool("script check " + quote(set.disc1) + " --disc " + quote(set.root.file("none")),
                    &out, &err),
            1);
  EXPECT_NE(err.find("none: no such folder"), std::string::npos) << err;
  EXPECT_EQ(runTool("script check " + quote(set.disc1) + " --disc"), 2);
}

// Without --disc only the script's own rules are added: what MAKEFOLDER
// makes, what the uninstall can take away again, discs the install skips.
TEST(ScriptCheckDiscs, FolderRulesWithoutDiscs) {
  TempDir dir;
  writeScript(dir.path,
              {
                  "DISCNUM = 2",
                  "MAKEFOLDER = \"DATA\\SUB\" \"MOVIE\\HD\" \"MOVIE\"",
                  "FILELIST DISC1 = \"DATA\\SUB\\A\" \"data\\B\" \"MOVIE\\HD\\C\" \"X\\Y\\Z\"",
                  "FILEOPTION DISC1 = 8 8 8 8",
                  "FILE = \"..\\OUT\" 1 8 DISC1",
                  "FILE = \"NOWHERE\\NEVER\" 1 0 DISC1",
                  "FILE = \"README.TXT\" 0 12 DISC2",
                  "REGADDRESS = \"Software\\Maker\\Game\"",
              });
  std::string out, err;
  EXPECT_EQ(runTool("script check " + quote(dir.path), &out, &err), 1) << out;
  const std::string src = dir.path + "/KSetup.ini:";
  for (const std::string& finding : {
           src +
               "2: warning: MAKEFOLDER \"DATA\\SUB\" also makes its parent \"DATA\", which is not "
               "listed itself: the uninstall leaves it, and so the install folder, behind",
           src + "2: warning: MAKEFOLDER lists \"MOVIE\" after its subfolder \"MOVIE\\HD\"",
           src + "3: error: disc 1: \"X\\Y\\Z\" goes into the folder \"X\\Y\", which no MAKEFOLDER "
                 "item makes",
           src + "5: error: disc 1: \"..\\OUT\" is refused",
           src + "7: warning: disc 2: the FILESIZE total of the files install choice 8, 4 selects "
                 "is 0, so the install skips the disc and copies none of them",
           dir.path + "/KSetup.ini: loads, 2 errors, 3 warnings\n",
       })
    EXPECT_NE(out.find(finding), std::string::npos) << finding << "\n" << out;
  // DATA is made as the parent of DATA\SUB, in any letter case; an entry no
  // install choice selects is not looked at; no picture is looked for.
  EXPECT_EQ(out.find("\"data\\B\""), std::string::npos) << out;
  EXPECT_EQ(out.find("NOWHERE"), std::string::npos) << out;
  EXPECT_EQ(out.find("TITLE.EPA"), std::string::npos) << out;
}

// What the program refuses at start: no key for the install record, a game
// folder that leaves the chosen folder; and an entry folder that leaves the
// install folder.
TEST(ScriptCheckDiscs, RecordKeyAndGameFolders) {
  TempDir dir;
  writeScript(dir.path, {"MUSTMAKEFOLDER = \"\\..\\Game\"", "UNINSTALLENTRY = \"..\"", "DISCNUM = 1"});
  std::string out, err;
  EXPECT_EQ(runTool("script check " + quote(dir.path), &out, &err), 1) << out;
  const std::string src = dir.path + "/KSetup.ini:";
  for (const std::string& finding : {
           dir.path + "/KSetup.ini: error: REGADDRESS gives no registry key",
           src + "1: error: MUSTMAKEFOLDER \"\\..\\Game\" would put the game outside",
           src + "2: error: UNINSTALLENTRY \"..\" would reach outside the install folder",
       })
    EXPECT_NE(out.find(finding), std::string::npos) << finding << "\n" << out;
  writeScript(dir.path, {"MUSTMAKEFOLDER = \"\\Game\"", "REGADDRESS = \"Software\\M\\G\"", "DISCNUM = 1"});
  EXPECT_EQ(runTool("script check " + quote(dir.path), &out, &err), 0) << out;
}

// Folder rules over names whose second byte is a backslash (表 is 0x95 0x5C):
// each case beside its ASCII twin, which must be judged the same.
TEST(ScriptCheckDiscs, FolderRulesStepOverBackslashSecondBytes) {
  struct Case {
    const char* what;
    std::string makeFolder, entry;
    std::string finding;  // empty: no finding at all
  };
  for (const std::string& first : {std::string("\x95\x5C"), std::string("X")}) {
    const std::string shown = first == "X" ? "X" : "\xE8\xA1\xA8";  // as reported, UTF-8
    const Case cases[] = {
        {"a folder whose name runs into the next", "\"" + first + "DATA\"", first + "\\DATA\\A.TXT",
         "error: disc 1: \"" + shown + "\\DATA\\A.TXT\" goes into the folder \"" + shown +
             "\\DATA\", which no MAKEFOLDER item makes"},
        {"a parent made but not listed", "\"" + first + "\\SUB\"", first + "\\SUB\\A.TXT",
         "warning: MAKEFOLDER \"" + shown + "\\SUB\" also makes its parent \"" + shown + "\""},
        {"a doubled separator", "\"" + first + "\" \"" + first + "\\SUB\"",
         first + "\\\\SUB\\A.TXT", ""},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + " after " + (first == "X" ? "X" : "a kanji"));
      TempDir dir;
      writeScript(dir.path, {"DISCNUM = 1", "MAKEFOLDER = " + c.makeFolder,
                             "FILE = \"" + c.entry + "\" 1 8 DISC1",
                             "REGADDRESS = \"Software\\Maker\\Game\""});
      std::string out, err;
      runTool("script check " + quote(dir.path), &out, &err);
      if (c.finding.empty())
        EXPECT_NE(out.find("loads, 0 warnings"), std::string::npos) << out;
      else
        EXPECT_NE(out.find(c.finding), std::string::npos) << out;
    }
  }
}

// Names Windows cannot make are errors where the install would make them;
// a pattern's wildcards and a name that merely starts like a device are not.
TEST(ScriptCheckDiscs, NamesWindowsCannotMake) {
  const struct {
    std::string entry;
    std::string problem;  // empty: no finding
  } cases[] = {
      {"A|B.DAT", "holds a character Windows refuses"},
      {"DATA\\a<b>.TXT", "holds a character Windows refuses"},
      {"AUX.TXT", "\"AUX.TXT\" is the name of a device"},
      {"DATA\\con", "\"con\" is the name of a device"},
      {"COM1.DAT", "is the name of a device"},
      {"lpt9", "is the name of a device"},
      {"NOTE.", "ends in a dot or a blank"},
      {"DATA.\\X.DAT", "\"DATA.\" ends in a dot or a blank"},
      {"DATA\\*.DAT", ""},
      {"CONFIG.SYS", ""},
      {"COM10.DAT", ""},
      {"\x95\x5C.DAT", ""},  // 表, whose second byte is no separator
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    TempDir dir;
    writeScript(dir.path,
                {"DISCNUM = 1", "MAKEFOLDER = \"DATA\"", "FILE = \"" + c.entry + "\" 1 8 DISC1",
                 "REGADDRESS = \"Software\\Maker\\Game\""});
    std::string out, err;
    runTool("script check " + quote(dir.path), &out, &err);
    if (c.problem.empty()) {
      EXPECT_EQ(out.find("Windows"), std::string::npos) << out;
    } else {
      EXPECT_NE(out.find(":3: error: disc 1: "), std::string::npos) << out;
      EXPECT_NE(out.find(c.problem), std::string::npos) << out;
      EXPECT_NE(out.find("Windows cannot make the file"), std::string::npos) << out;
    }
  }
  TempDir dir;
  writeScript(dir.path, {"DISCNUM = 1", "MAKEFOLDER = \"PRN\"", "REGADDRESS = \"S\\M\\G\""});
  std::string out, err;
  EXPECT_EQ(runTool("script check " + quote(dir.path), &out, &err), 1);
  EXPECT_NE(out.find(":2: error: MAKEFOLDER \"PRN\": \"PRN\" is the name of a device on Windows"),
            std::string::npos)
      << out;
}

}  // namespace
