// `ksetup-tool install` and `uninstall`: the program's copy walk and removal
// run natively over a two-disc set made here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/unit/test_util.h"

namespace {

namespace fs = std::filesystem;

const char kScript[] =
    "DISCNUM = 2\r\n"
    "KEYFILE = \"DISC1.KEY\" \"DISC2.KEY\"\r\n"
    "MAKEFOLDER = \"DATA\" \"MOVIE\" \"SAVE\"\r\n"
    "SAVEDATA = \"SAVE\\*.SAV\"\r\n"
    "FILELIST DISC1 = \"GAME.EXE\" \"data\\a.bin\" \"DATA\\EMPTY.BIN\" \"MANUAL.TXT\"\r\n"
    "FILESIZE DISC1 = 10000 4096 0 4097\r\n"
    "FILEOPTION DISC1 = 14 14 14 8\r\n"
    "FILE = \"MOVIE\\*.DAT\" 700 8 DISC2\r\n"
    "FILE = \"VOICE.PAK\" 9000 12 DISC2\r\n";

// disc1 holds the script beside its files; names are stored in another
// letter case than the script uses where Windows would not mind.
struct DiscSet {
  TempDir root;
  std::string disc1 = root.file("disc1"), disc2 = root.file("disc2");
  std::string target = root.file("Games/Game");
  explicit DiscSet(const std::string& script = kScript) {
    for (const char* folder :
         {"disc1", "disc1/DATA", "disc2", "disc2/MOVIE", "disc2/MOVIE/OLD.DAT"})
      mkdir(root.file(folder).c_str(), 0777);
    writeFile(disc1 + "/KSetup.ini", script);
    writeFile(disc1 + "/DISC1.KEY", "1");
    writeFile(disc1 + "/GAME.EXE", bytes(10000, 1));
    writeFile(disc1 + "/DATA/A.BIN", bytes(4096, 2));
    writeFile(disc1 + "/DATA/EMPTY.BIN", "");
    writeFile(disc1 + "/MANUAL.TXT", bytes(4097, 3));
    writeFile(disc2 + "/DISC2.KEY", "2");
    writeFile(disc2 + "/MOVIE/M1.DAT", bytes(300, 4));
    writeFile(disc2 + "/MOVIE/m2.dat", bytes(400, 5));
    writeFile(disc2 + "/MOVIE/NOTES.TXT", "not matched");
    writeFile(disc2 + "/VOICE.PAK", bytes(9000, 6));
  }
  std::string discs(int count = 2) const {
    std::string s = " --disc " + quote(disc1);
    if (count > 1) s += " --disc " + quote(disc2);
    return s;
  }
  int install(const std::string& extra, std::string* out = nullptr, std::string* err = nullptr,
              int discCount = 2) const {
    return runTool("install " + quote(disc1) + discs(discCount) + " --to " + quote(target) + extra,
                   out, err);
  }
  int uninstall(const std::string& extra, std::string* out = nullptr,
                std::string* err = nullptr) const {
    return runTool("uninstall " + quote(disc1) + " --from " + quote(target) + extra, out, err);
  }
  // What the install folder should hold: (name there, file on the disc).
  std::map<std::string, std::string> expected(const std::vector<std::string>& names) const {
    std::map<std::string, std::string> from = {{"GAME.EXE", disc1 + "/GAME.EXE"},
                                               {"DATA/a.bin", disc1 + "/DATA/A.BIN"},
                                               {"DATA/EMPTY.BIN", disc1 + "/DATA/EMPTY.BIN"},
                                               {"MANUAL.TXT", disc1 + "/MANUAL.TXT"},
                                               {"MOVIE/M1.DAT", disc2 + "/MOVIE/M1.DAT"},
                                               {"MOVIE/m2.dat", disc2 + "/MOVIE/m2.dat"},
                                               {"VOICE.PAK", disc2 + "/VOICE.PAK"}};
    std::map<std::string, std::string> files;
    for (const std::string& n : names) files[n] = readFile(from.at(n));
    return files;
  }
};

// Each option copies what its bit selects, byte for byte, patterns matched
// without regard to case and never into folders; a disc with nothing for the
// option is not needed.
TEST(InstallTool, OptionsCopyWhatTheySelect) {
  struct Case {
    const char* option;
    int discs;
    std::vector<std::string> files;
  } cases[] = {
      {"",
       2,
       {"GAME.EXE", "DATA/a.bin", "DATA/EMPTY.BIN", "MANUAL.TXT", "MOVIE/M1.DAT", "MOVIE/m2.dat",
        "VOICE.PAK"}},
      {" --option 4", 2, {"GAME.EXE", "DATA/a.bin", "DATA/EMPTY.BIN", "VOICE.PAK"}},
      {" --option 2", 1, {"GAME.EXE", "DATA/a.bin", "DATA/EMPTY.BIN"}},
  };
  for (const Case& c : cases) {
    DiscSet set;
    std::string out, err;
    ASSERT_EQ(set.install(c.option, &out, &err, c.discs), 0) << c.option << "\n" << err;
    EXPECT_EQ(filesBelow(set.target), set.expected(c.files)) << c.option;
    EXPECT_NE(out.find("installed " + std::to_string(c.files.size()) + " files"), std::string::npos)
        << out;
    EXPECT_TRUE(fs::is_directory(set.target + "/SAVE"));
  }
  DiscSet set;
  std::string out, err;
  ASSERT_EQ(set.install("", &out, &err), 0) << err;
  // Not a terminal: one line per disc and one at the end, no bar.
  EXPECT_NE(out.find("disc 1: 4 files, 17.8 KB\ndisc 2: 3 files, 9.5 KB\ninstalled 7 files"),
            std::string::npos)
      << out;
  EXPECT_EQ(err, "");
}

// Names in the script are code page 932; on the discs and in the install
// folder they are UTF-8, as Linux file managers and make-samples write them.
// Folders whose own names hold ソ or 表 (second byte 0x5C) and letters that
// differ only in case (full-width ａ in the script, Ａ on the disc) are found.
TEST(InstallTool, JapaneseNamesOnUtf8DiscFolders) {
  const std::string script =
      "DISCNUM = 1\r\n"
      "KEYFILE = \"\x83\x4C\x81\x5B.KEY\"\r\n"  // キー.KEY
      "MAKEFOLDER = \"\x95\x5C\x8F\xEE\" \"\x95\x5C\x8F\xEE\\\x89\xB9\x90\xBA\x83\x5C\"\r\n"  // 表情, 表情\音声ソ
      "FILELIST DISC1 = \"\x95\x5C\x8F\xEE\\\x89\xB9\x90\xBA\x83\x5C\\\x82\x81.DAT\" "  // 表情\音声ソ\ａ.DAT
      "\"\x95\x5C\x8F\xEE\\*.PAK\"\r\n"  // 表情\*.PAK
      "FILESIZE DISC1 = 5 3\r\n"
      "FILEOPTION DISC1 = 8 8\r\n";
  TempDir root;
  const std::string disc = root.file("\u30c7\u30a3\u30b9\u30af");  // ディスク: any UTF-8 name
  fs::create_directories(disc + "/\u8868\u60c5/\u97f3\u58f0\u30bd");  // 表情/音声ソ
  writeFile(disc + "/KSetup.ini", script);
  writeFile(disc + "/\u30ad\u30fc.KEY", "k");                        // キー.KEY
  writeFile(disc + "/\u8868\u60c5/\u97f3\u58f0\u30bd/\uff21.DAT", "voice");  // Ａ.DAT
  writeFile(disc + "/\u8868\u60c5/\u30bd.pak", "pak");                   // ソ.pak
  const std::string target = root.file("\u30b2\u30fc\u30e0");            // ゲーム
  std::string out, err;
  // The check finds every file and the key (the pictures it misses are no
  // concern here).
  runTool("script check " + quote(disc) + " --disc " + quote(disc), &out, &err);
  for (const char* finding : {"is not in", "matches no file", "key file"})
    EXPECT_EQ(out.find(finding), std::string::npos) << out;
  ASSERT_EQ(runTool("install " + quote(disc) + " --disc " + quote(disc) + " --to " + quote(target), &out, &err), 0)
      << err;
  EXPECT_EQ(filesBelow(target), (std::map<std::string, std::string>{
                                    {"\u8868\u60c5/\u97f3\u58f0\u30bd/\uff41.DAT", "voice"},  // as the script names it
                                    {"\u8868\u60c5/\u30bd.pak", "pak"}}));
  EXPECT_EQ(runTool("uninstall " + quote(disc) + " --from " + quote(target), &out, &err), 0) << err;
  EXPECT_FALSE(fs::exists(target));
  // An install folder whose name code page 932 cannot write is refused.
  EXPECT_EQ(runTool("install " + quote(disc) + " --disc " + quote(disc) + " --to " + quote(root.file("Zo\u00eb")),
                    &out, &err),
            1);
  EXPECT_NE(err.find("code page 932"), std::string::npos) << err;
}

TEST(InstallTool, UninstallKeepsSaveDataUnlessAsked) {
  for (bool saveData : {false, true}) {
    DiscSet set;
    ASSERT_EQ(set.install(""), 0);
    writeFile(set.target + "/SAVE/GAME1.SAV", "saved");
    std::string out, err;
    EXPECT_EQ(set.uninstall(saveData ? " --save-data" : "", &out, &err), 0) << err;
    if (saveData) {
      EXPECT_FALSE(fs::exists(set.target)) << out;
      EXPECT_NE(out.find("removed 8 files, save data included\n"), std::string::npos) << out;
    } else {
      EXPECT_EQ(filesBelow(set.target),
                (std::map<std::string, std::string>{{"SAVE/GAME1.SAV", "saved"}}));
      EXPECT_NE(out.find("removed 7 files\n" + set.target + " stays"), std::string::npos) << out;
    }
    EXPECT_TRUE(fs::is_directory(set.root.file("Games")));  // only the install folder goes
  }
}

// A file the removal cannot delete (here a folder where the file was) is
// named and makes the exit code 1; the rest still goes.
TEST(InstallTool, UninstallNamesWhatItCannotDelete) {
  DiscSet set;
  ASSERT_EQ(set.install(""), 0);
  std::string blocked = set.target + "/MANUAL.TXT";
  unlink(blocked.c_str());
  mkdir(blocked.c_str(), 0777);
  writeFile(blocked + "/inside", "x");
  std::string out, err;
  EXPECT_EQ(set.uninstall("", &out, &err), 1);
  EXPECT_NE(err.find("ksetup-tool: " + blocked + ": "), std::string::npos) << err;
  EXPECT_EQ(filesBelow(set.target),
            (std::map<std::string, std::string>{{"MANUAL.TXT/inside", "x"}}));
  EXPECT_EQ(set.uninstall("", &out, &err), 1);  // again: still there
  EXPECT_EQ(runTool("uninstall " + quote(set.disc1) + " --from " + quote(set.root.file("none")),
                    &out, &err),
            1);
  EXPECT_NE(err.find("none: no such folder"), std::string::npos) << err;
}

// SIGINT at a check aborts the copy and removes everything installed so
// far, also the files of an earlier disc; the exit code tells the signal.
TEST(InstallTool, InterruptRemovesWhatWasInstalled) {
  // Checks: 1 at the first entry, 3 inside GAME.EXE (before its second
  // block), 9 at the first entry of disc 2.
  for (const char* at : {"1", "3", "9"}) {
    DiscSet set;
    setenv("KSETUP_TOOL_TEST_SIGINT_AT", at, 1);
    std::string out, err;
    int rc = set.install("", &out, &err);
    unsetenv("KSETUP_TOOL_TEST_SIGINT_AT");
    EXPECT_EQ(rc, 130) << at << "\n" << out << err;
    EXPECT_EQ(err, "ksetup-tool: " + set.target + ": interrupted; removed what was installed\n")
        << at;
    EXPECT_FALSE(fs::exists(set.target)) << at;
    if (std::string(at) == "9") {
      EXPECT_NE(out.find("disc 1: 4 files"), std::string::npos) << out;
    }
  }
}

// A copy error names the file and the entry, exits 1 and leaves nothing, also
// of the disc copied before. (Which errors arise, and the clean-up after each,
// are tested on the copy walk itself.)
TEST(InstallTool, CopyErrorsLeaveNothing) {
  DiscSet set;
  unlink((set.disc2 + "/VOICE.PAK").c_str());
  std::string out, err;
  EXPECT_EQ(set.install("", &out, &err), 1);
  EXPECT_NE(err.find("ksetup-tool: " + set.disc2 +
                     "/VOICE.PAK: read error (disc 2 entry 2 "
                     "\"VOICE.PAK\"): No such file or directory; removed what was installed"),
            std::string::npos)
      << err;
  EXPECT_NE(out.find("disc 1: 4 files"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(set.target));
}

TEST(InstallTool, RefusesWrongDiscsAndArguments) {
  DiscSet set;
  std::string out, err;
  EXPECT_EQ(runTool("install " + quote(set.disc1) + " --disc " + quote(set.disc2) + " --disc " +
                        quote(set.disc2) + " --to " + quote(set.target),
                    &out, &err),
            1);
  EXPECT_NE(err.find("this is not disc 1: its key file DISC1.KEY is not there"), std::string::npos)
      << err;
  EXPECT_EQ(set.install("", &out, &err, 1), 1);
  EXPECT_NE(err.find("disc 2 has files for option 8: give it with --disc"), std::string::npos)
      << err;
  EXPECT_FALSE(fs::exists(set.target));

  EXPECT_EQ(set.install(" --option 3"), 2);
  EXPECT_EQ(runTool("install " + quote(set.disc1) + " --to " + quote(set.target)), 2);
  EXPECT_EQ(runTool("install " + quote(set.disc1) + set.discs()), 2);
  EXPECT_EQ(runTool("install " + quote(set.disc1) + set.discs() + " --to /", &out, &err), 1);
  EXPECT_NE(err.find("is the root folder"), std::string::npos) << err;
  EXPECT_EQ(runTool("uninstall " + quote(set.disc1)), 2);
  EXPECT_EQ(runTool("uninstall " + quote(set.disc1) + " --from x --frobnicate"), 2);
}

// Script names in messages are shown in UTF-8, as the terminal reads them:
// a missing key file and a failed read, each named in Japanese (表 is
// 0x95 0x5C).
TEST(InstallTool, ErrorsShowScriptNamesInUtf8) {
  const std::string hyou = "\x95\x5C", hyouUtf8 = "\xE8\xA1\xA8";
  const struct {
    std::string from, to, message;
  } cases[] = {
      {"\"DISC1.KEY\"", "\"" + hyou + ".KEY\"",
       "this is not disc 1: its key file " + hyouUtf8 + ".KEY is not there"},
      {"\"VOICE.PAK\" 9000", "\"" + hyou + ".PAK\" 9000",
       "(disc 2 entry 2 \"" + hyouUtf8 + ".PAK\")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::string script = kScript;
    script.replace(script.find(c.from), c.from.size(), c.to);
    DiscSet set(script);
    std::string out, err;
    EXPECT_EQ(set.install("", &out, &err), 1);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

}  // namespace
