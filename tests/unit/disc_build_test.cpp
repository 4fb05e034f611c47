// `ksetup-tool disc build` and `disc list` on small projects made here, and
// the image engine's name rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "media/epa.h"
#include "tests/unit/test_util.h"
#include "tools/lib/iso_image.h"
#include "tools/lib/pak_writer.h"
#include "tools/lib/png_io.h"

namespace {

namespace fs = std::filesystem;

void writePicture(const std::string& path, uint32_t width, uint32_t height, uint32_t colour) {
  std::vector<uint32_t> pixels(size_t(width) * height, colour);
  pixels[0] = 0xFF000000u;  // two colours
  std::string error;
  ASSERT_TRUE(writePng(path, pixels.data(), width, height, &error)) << error;
}

// A two-disc project: a UTF-8 script with {size} everywhere, Japanese names
// (ソ and 表 have 0x5C as their second byte), a folder stored in lower case
// that the script names in upper case, a pattern, a key file the project
// gives and one it leaves to the build, a picture with its EPA mode set.
const char kScript[] =
    "// {size GAME.EXE} stays in a comment\n"
    "DISCNUM = 2\n"
    "KEYFILE = \"GAME1.KEY\" \"DATA\\KEY2.DAT\"\n"
    "DISCLABEL = \"GAME_1\"\n"
    "DISCNAME = \"\xE4\xB8\x80\" \"SECOND_DISC_OF_THE_GAME\"\n"  // 一
    "APPLITITLE = \"\xE3\x82\xBD\xE8\xA1\xA8\"\n"                // ソ表
    "EXENAME = \"GAME.EXE\"\n"
    "MUSTMAKEFOLDER = \"\\Game\"\n"
    "REGADDRESS = \"Software\\KSetupTest\\Disc\"\n"
    "MAKEFOLDER = \"DATA\" \"\xE8\xA1\xA8\"\n"
    "FILELIST DISC1 = \"GAME.EXE\" \"DATA\\A.BIN\" \"\xE8\xA1\xA8\\\xE3\x82\xBD.DAT\"\n"
    "FILESIZE DISC1 = {size GAME.EXE} {size DATA\\A.BIN} {size \xE8\xA1\xA8\\\xE3\x82\xBD.DAT}\n"
    "FILEOPTION DISC1 = 14 14 14\n"
    "FILE = \"DATA\\*.PAK\" {size DATA\\*.PAK} 8 DISC2\n"
    "BACK \"BACK.EPA\" 0 0 STRETCH_DESKTOP\n";

const std::string kTable = "\xE8\xA1\xA8", kSo = "\xE3\x82\xBD";  // 表, ソ

struct Project {
  TempDir root;
  std::string dir = root.file("project"), out = root.file("out"), exe = root.file("KSetup.exe");
  explicit Project(const std::string& script = kScript) {
    for (const std::string& f : {std::string(), std::string("/files/data"), "/files/" + kTable,
                                 std::string("/pictures"), std::string("/disc1")})
      fs::create_directories(dir + f);
    writeFile(exe, "MZ" + bytes(3000, 9));
    writeFile(dir + "/KSetup.ini", script);
    writeFile(dir + "/files/GAME.EXE", bytes(5000, 1));
    writeFile(dir + "/files/data/a.bin", bytes(3000, 2));
    writeFile(dir + "/files/" + kTable + "/" + kSo + ".DAT", bytes(100, 3));
    writeFile(dir + "/files/data/X.PAK", bytes(700, 4));
    writeFile(dir + "/files/data/Y.PAK", bytes(900, 5));
    writeFile(dir + "/disc1/GAME1.KEY", "key one");
    writeFile(dir + "/disc1/README.TXT", "read me");
    writePicture(dir + "/pictures/TITLE.png", 320, 320, 0xFF203040u);
    writePicture(dir + "/pictures/LOGO.png", 400, 98, 0xFF405060u);
    writePicture(dir + "/pictures/back.png", 8, 8, 0xFF102030u);
    writeFile(dir + "/project.ini",
              "# full colour, although two colours would fit a palette\nEPAMODE BACK.EPA = 1\n");
  }
  int build(const std::string& options, std::string* out, std::string* err) {
    return runTool("disc build " + quote(dir) + " --out " + quote(this->out) + " --exe " +
                       quote(exe) + " " + options,
                   out, err);
  }
  std::string disc(int n) const { return out + "/disc" + std::to_string(n); }
  std::string image(int n) const { return disc(n) + ".iso"; }
};

std::string cp932(const std::string& utf8) {
  // The few characters the tests need, by hand.
  std::string out = utf8;
  const std::pair<std::string, std::string> table[] = {
      {"\xE8\xA1\xA8", "\x95\x5C"}, {"\xE3\x82\xBD", "\x83\x5C"}, {"\xE4\xB8\x80", "\x88\xEA"}};
  for (const auto& t : table)
    for (size_t at; (at = out.find(t.first)) != std::string::npos;)
      out.replace(at, t.first.size(), t.second);
  return out;
}

// Replaces the first `from` of the project's script by `to`.
void editScript(Project* p, const std::string& from, const std::string& to) {
  std::string script = readFile(p->dir + "/KSetup.ini");
  script.replace(script.find(from), from.size(), to);
  writeFile(p->dir + "/KSetup.ini", script);
}

std::vector<std::string> names(const std::map<std::string, std::string>& files) {
  std::vector<std::string> out;
  for (const auto& f : files) out.push_back(f.first);
  return out;
}

TEST(DiscBuild, LaysOutTheDiscsAsTheListsAndKeyFilesAskAndImagesThem) {
  Project p;
  writeFile(p.dir + "/files/NOTES.TXT", "not on any list");
  writePicture(p.dir + "/pictures/UNUSED.png", 4, 4, 0xFF000000u);
  std::string out, err;
  ASSERT_EQ(p.build("--image", &out, &err), 0) << out << err;
  EXPECT_NE(err.find("files: warning: 1 file no list names, left off the discs: NOTES.TXT"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("UNUSED.png: warning: no picture of the script"), std::string::npos) << err;
  EXPECT_NE(out.find("disc1/KSetup.ini: loads, 0 warnings"), std::string::npos) << out;

  std::map<std::string, std::string> one = filesBelow(p.disc(1)), two = filesBelow(p.disc(2));
  EXPECT_EQ(names(one), (std::vector<std::string>{"GAME.EXE", "GAME1.KEY", "Instdata.pak",
                                                  "KSetup.exe", "KSetup.ini", "README.TXT",
                                                  "data/a.bin", kTable + "/" + kSo + ".DAT"}));
  // The generated key goes into the folder the pattern's files are in.
  EXPECT_EQ(names(two), (std::vector<std::string>{"data/KEY2.DAT", "data/X.PAK", "data/Y.PAK"}));
  EXPECT_EQ(two["data/KEY2.DAT"], cp932("\xE3\x82\xBD\xE8\xA1\xA8") + " DISC 2\r\n");
  EXPECT_EQ(one["GAME1.KEY"], "key one");
  EXPECT_EQ(one["KSetup.exe"], readFile(p.exe));
  EXPECT_EQ(one["data/a.bin"], readFile(p.dir + "/files/data/a.bin"));

  // The script: code page 932 with CR LF, sizes filled outside comments.
  const std::string& script = one["KSetup.ini"];
  EXPECT_EQ(script.find("\n"), script.find("\r\n") + 1);
  EXPECT_EQ(script.rfind("// {size GAME.EXE} stays in a comment\r\n", 0), 0u);
  EXPECT_NE(script.find("FILESIZE DISC1 = 5000 3000 100\r\n"), std::string::npos) << script;
  EXPECT_NE(script.find("FILE = \"DATA\\*.PAK\" 1600 8 DISC2\r\n"), std::string::npos);
  EXPECT_NE(script.find("APPLITITLE = \"" + cp932("\xE3\x82\xBD\xE8\xA1\xA8") + "\""),
            std::string::npos);

  // The archive: the launcher's, the dialog's, then the scene's pictures;
  // BACK in the mode project.ini asks for.
  std::vector<PackEntry> members;
  uint32_t dataStart = 0;
  std::string error;
  ASSERT_TRUE(parsePack(one["Instdata.pak"], &members, &dataStart, &error)) << error;
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[0].name, "TITLE.EPA");
  EXPECT_EQ(members[1].name, "LOGO.EPA");
  EXPECT_EQ(members[2].name, "BACK.EPA");
  EpaInfo info;
  ASSERT_EQ(readEpaHeader(reinterpret_cast<const uint8_t*>(one["Instdata.pak"].data()) + dataStart +
                              members[2].offset,
                          members[2].size, &info),
            0);
  EXPECT_EQ(info.bitsPerPixel, 24u);

  // The images: labels from DISCLABEL and from DISCNAME cut to 16
  // characters; listed by the names Windows sees.
  EXPECT_EQ(runTool("disc list " + quote(p.image(1)), &out, &err), 0) << err;
  EXPECT_EQ(out.substr(0, out.find('\n')), "label GAME_1");
  EXPECT_NE(out.find("         100  " + kTable + "/" + kSo + ".DAT\n"), std::string::npos) << out;
  EXPECT_NE(out.find("          47  autorun.inf\n"), std::string::npos) << out;
  EXPECT_EQ(runTool("disc list " + quote(p.image(2)), &out, &err), 0) << err;
  EXPECT_EQ(out,
            "label SECOND_DISC_OF_T\n              data/\n          13  data/KEY2.DAT\n"
            "         700  data/X.PAK\n         900  data/Y.PAK\n");

  // Installed from the images (names matched without regard to case, as on
  // Windows): the files of the folders.
  TempDir target;
  ASSERT_EQ(runTool("install " + quote(p.image(1)) + " --disc " + quote(p.image(1)) + " --disc " +
                        quote(p.image(2)) + " --to " + quote(target.file("a")),
                    &out, &err),
            0)
      << err;
  ASSERT_EQ(runTool("install " + quote(p.disc(1)) + " --disc " + quote(p.disc(1)) + " --disc " +
                        quote(p.disc(2)) + " --to " + quote(target.file("b")),
                    &out, &err),
            0)
      << err;
  EXPECT_EQ(filesBelow(target.file("a")).size(), 5u);
  EXPECT_TRUE(filesBelow(target.file("a")) == filesBelow(target.file("b")));

  // A second build replaces what the first wrote, leftovers included.
  writeFile(p.disc(1) + "/STRAY.TXT", "left from before");
  ASSERT_EQ(p.build("", &out, &err), 0) << err;
  EXPECT_FALSE(fileExists(p.disc(1) + "/STRAY.TXT"));
  EXPECT_FALSE(fileExists(p.image(1))) << "an image of the disc before is gone";
}

TEST(DiscBuild, AScriptInCodePage932IsTakenAsItIs) {
  // LF line ends kept, and a placeholder whose name holds マ, whose second
  // byte is the closing brace.
  const std::string ma = "\x83\x7D";  // マ
  std::string script =
      cp932(kScript) + "FILE = \"" + ma + ".DAT\" {size " + ma + ".DAT} 14 DISC1\n";
  Project p(script);
  writeFile(p.dir + "/files/\xE3\x83\x9E.DAT", bytes(77, 6));  // マ.DAT
  std::string out, err;
  ASSERT_EQ(p.build("", &out, &err), 0) << out << err;
  std::string expected = script;
  const std::pair<std::string, std::string> sizes[] = {
      {"{size GAME.EXE} {", "5000 {"},
      {"{size DATA\\A.BIN}", "3000"},
      {"{size " + cp932(kTable + "\\" + kSo) + ".DAT}", "100"},
      {"{size DATA\\*.PAK}", "1600"},
      {"{size " + ma + ".DAT}", "77"}};
  for (const auto& s : sizes) expected.replace(expected.find(s.first), s.first.size(), s.second);
  EXPECT_EQ(readFile(p.disc(1) + "/KSetup.ini"), expected);
}

// Every way a project can be wrong before anything is written: one line on
// stderr that names the file, exit 1, no disc folder and no image.
TEST(DiscBuild, BadProjectsGetOneLineAndWriteNothing) {
  const std::string longName(65, 'N');
  struct Case {
    const char* what;
    std::function<void(Project*)> spoil;
    std::string options;
    std::string expected;  // in the one line
  } cases[] = {
      {"missing picture", [](Project* p) { fs::remove(p->dir + "/pictures/back.png"); }, "--image",
       "pictures/BACK.png: missing: the script shows the picture BACK.EPA"},
      {"missing listed file",
       [](Project* p) {
         editScript(p, "{size GAME.EXE} {", "5000 {");
         fs::remove(p->dir + "/files/GAME.EXE");
       },
       "--image", "files/GAME.EXE: missing: the file lists name it (disc 1 entry \"GAME.EXE\")"},
      {"size of no file",
       [](Project* p) {
         fs::remove(p->dir + "/files/data/X.PAK"), fs::remove(p->dir + "/files/data/Y.PAK");
       },
       "--image", "KSetup.ini:14: {size DATA\\*.PAK}: no such file in "},
      {"name too long for the image",
       [&](Project* p) { writeFile(p->dir + "/disc1/" + longName + ".TXT", "x"); }, "--image",
       "disc 1 image cannot hold it: \"" + longName +
           ".TXT\" is 69 characters long; a Joliet name holds at most 64"},
      {"character Joliet refuses", [](Project* p) { writeFile(p->dir + "/disc1/a;b.txt", "x"); },
       "--image", "holds a character Joliet names cannot"},
      {"label too long", [](Project* p) { editScript(p, "GAME_1", "A_LABEL_OF_17_CHR"); },
       "--image",
       "KSetup.ini:4: DISCLABEL item 1 \"A_LABEL_OF_17_CHR\" cannot label the disc image: it is "
       "17 characters long"},
      {"path longer than a Joliet tree keeps",
       [&](Project* p) {
         fs::create_directories(p->dir + "/disc1/" + std::string(60, 'd'));
         writeFile(p->dir + "/disc1/" + std::string(60, 'd') + "/" + std::string(60, 'f'), "x");
       },
       "--image", "bytes in a Joliet tree (two a character, one before each name)"},
      {"character Windows refuses", [](Project* p) { writeFile(p->dir + "/disc1/A|B.DAT", "x"); },
       "",
       "disc 1: Windows cannot read it from the disc: \"A|B.DAT\" holds a character Windows "
       "refuses"},
      {"device name", [](Project* p) { writeFile(p->dir + "/disc1/DOC/aux.txt", "x"); }, "",
       "\"aux.txt\" is the name of a device on Windows"},
      {"name ending in a dot", [](Project* p) { writeFile(p->dir + "/disc1/NOTE.", "x"); }, "",
       "\"NOTE.\" ends in a dot or a blank"},
      {"file of 5 GiB without --image",
       [](Project* p) {
         writeFile(p->dir + "/disc1/BIG.DAT", "");
         fs::resize_file(p->dir + "/disc1/BIG.DAT", 5ull << 30);  // sparse
       },
       "", "disc 1: it is 4 GiB or larger"},
      {"files that are one name on Windows",
       [](Project* p) { writeFile(p->dir + "/files/data/A.BIN", "twin"); }, "",
       "one name on Windows with files/"},
      {"clash with a listed file", [](Project* p) { writeFile(p->dir + "/disc1/game.exe", "x"); },
       "", "disc1/game.exe: it goes to game.exe, where files/GAME.EXE goes too"},
      {"clash with the script", [](Project* p) { writeFile(p->dir + "/disc1/KSETUP.INI", "x"); },
       "", "it goes to KSETUP.INI, where the setup script goes too"},
      {"no Windows program", [](Project* p) { writeFile(p->exe, "#!/bin/sh\n"); }, "",
       "KSetup.exe: not a Windows program"},
      {"script that does not load",
       [](Project* p) { writeFile(p->dir + "/KSetup.ini", "DISCNUM = 0\nAPPLITITLE = \"A\"\n"); },
       "", "project/KSetup.ini: line 1: DISCNUM is 0 or no number"},
      {"a character code page 932 lacks",
       [](Project* p) {
         writeFile(p->dir + "/KSetup.ini", kScript + std::string("REM \xF0\x9F\x8C\x9F\n"));
       },
       "", "KSetup.ini:16: a character that code page 932"},
      {"bad setting",
       [](Project* p) { writeFile(p->dir + "/project.ini", "EPAMODE BACK.EPA = 3\n"); }, "",
       "project.ini:1: not a setting"},
      {"no files folder", [](Project* p) { fs::remove_all(p->dir + "/files"); }, "",
       "files: missing: a project keeps its files here"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Project p;
    fs::create_directories(p.dir + "/disc1/DOC");
    c.spoil(&p);
    std::string out, err;
    EXPECT_EQ(p.build(c.options, &out, &err), 1) << out;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("ksetup-tool: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.expected), std::string::npos) << err;
    EXPECT_FALSE(fileExists(p.disc(1)));
    EXPECT_TRUE(filesBelow(p.out).empty()) << "nothing written";
  }
}

// The check runs over the written discs: its errors stop the build before
// any image, and the folders stay to be looked at.
TEST(DiscBuild, CheckErrorsStopBeforeTheImages) {
  std::string script = kScript;
  const std::string table = " \"" + kTable + "\"\n";
  script.replace(script.find(table), table.size(), "\n");  // MAKEFOLDER without 表
  Project p(script);
  std::string out, err;
  EXPECT_EQ(p.build("--image", &out, &err), 1);
  EXPECT_NE(err.find("disc1/KSetup.ini: 1 error, the first: line 11: disc 1:"), std::string::npos)
      << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_TRUE(fileExists(p.disc(1) + "/KSetup.ini"));
  EXPECT_FALSE(fileExists(p.image(1)));
  EXPECT_FALSE(fileExists(p.image(1) + ".part"));
}

// A disc folder the build did not write is never replaced.
TEST(DiscBuild, KeepsDiscFoldersItDidNotWrite) {
  Project p;
  fs::create_directories(p.disc(1));
  writeFile(p.disc(1) + "/MINE.TXT", "someone's");
  std::string out, err;
  EXPECT_EQ(p.build("", &out, &err), 1);
  EXPECT_NE(err.find("disc1: is there and was not written by disc build"), std::string::npos)
      << err;
  EXPECT_EQ(readFile(p.disc(1) + "/MINE.TXT"), "someone's");
}

// --merged: one folder with every disc's files and key files, checked as
// each disc of the set and installed like the disc folders; a path two
// discs both hold, and images of a merged folder, are refused.
TEST(DiscBuild, MergedFolderHoldsEveryDisc) {
  Project p;
  std::string out, err;
  ASSERT_EQ(p.build("--merged", &out, &err), 0) << out << err;
  const std::string merged = p.out + "/merged";
  EXPECT_NE(out.find("merged/KSetup.ini: loads, 0 warnings"), std::string::npos) << out;
  EXPECT_EQ(names(filesBelow(merged)),
            (std::vector<std::string>{"GAME.EXE", "GAME1.KEY", "Instdata.pak", "KSetup.exe",
                                      "KSetup.ini", "README.TXT", "data/KEY2.DAT", "data/X.PAK",
                                      "data/Y.PAK", "data/a.bin", kTable + "/" + kSo + ".DAT"}));
  EXPECT_FALSE(fileExists(p.disc(1))) << "no disc folders beside the merged one";
  // Installed from the merged folder and from the disc folders of a build
  // after it (which takes the merged folder away): the same files.
  TempDir target;
  for (bool fromMerged : {true, false}) {
    if (!fromMerged) ASSERT_EQ(p.build("", &out, &err), 0) << err;
    std::string one = fromMerged ? merged : p.disc(1), two = fromMerged ? merged : p.disc(2);
    ASSERT_EQ(runTool("install " + quote(one) + " --disc " + quote(one) + " --disc " + quote(two) +
                          " --to " + quote(target.file(fromMerged ? "m" : "d")),
                      &out, &err),
              0)
        << err;
  }
  EXPECT_FALSE(fileExists(merged)) << "the disc folders replace the merged one";
  EXPECT_TRUE(filesBelow(target.file("m")) == filesBelow(target.file("d")));

  struct Refused {
    const char* what;
    std::function<void(Project*)> change;
    std::string options, message;
  } refused[] = {
      {"a path on two discs",
       [](Project* q) {
         fs::create_directories(q->dir + "/disc2");
         writeFile(q->dir + "/disc2/readme.txt", "two");
       },
       "--merged",
       "disc 2 cannot be merged: disc2/readme.txt: it goes to readme.txt, where disc1/README.TXT goes too"},
      {"images of a merged folder", [](Project*) {}, "--merged --image", "usage:"},
  };
  for (const Refused& r : refused) {
    Project q;
    r.change(&q);
    EXPECT_NE(q.build(r.options, &out, &err), 0) << r.what;
    EXPECT_NE(err.find(r.message), std::string::npos) << r.what << ": " << err;
    EXPECT_FALSE(fileExists(q.out + "/merged")) << r.what;
  }
}

// Names typed on Linux with the characters two code page 932 tables spell
// differently go on the disc as Windows reads the script's bytes; a name code
// page 932 cannot spell is named as such; a folder name ending in a byte 0x5C
// is no clash with a name that runs on.
TEST(DiscBuild, DiscNamesAreTheOnesWindowsReads) {
  const struct {
    const char *typed, *read;  // UTF-8
  } twins[] = {
      {"\xE3\x80\x9C", "\xEF\xBD\x9E"},  // 〜 U+301C, ～ U+FF5E
      {"\xE2\x80\x96", "\xE2\x88\xA5"},  // ‖ U+2016, ∥ U+2225
      {"\xE2\x88\x92", "\xEF\xBC\x8D"},  // − U+2212, － U+FF0D
      {"\xC2\xA2", "\xEF\xBF\xA0"},      // ¢ U+00A2, ￠ U+FFE0
      {"\xC2\xA3", "\xEF\xBF\xA1"},      // £ U+00A3, ￡ U+FFE1
      {"\xC2\xAC", "\xEF\xBF\xA2"},      // ¬ U+00AC, ￢ U+FFE2
  };
  std::string typed, read;
  for (const auto& t : twins) typed += t.typed, read += t.read;
  Project p(kScript + std::string("FILE = \"") + typed + ".DAT\" {size " + typed +
            ".DAT} 14 DISC1\n" + "FILE = \"" + kTable + "A.TXT\" {size " + kTable +
            "A.TXT} 14 DISC1\n");
  writeFile(p.dir + "/files/" + typed + ".DAT", "twins");
  writeFile(p.dir + "/files/" + kTable + "A.TXT", "runs on");
  fs::create_directories(p.dir + "/disc1/" + kTable);
  writeFile(p.dir + "/disc1/" + kTable + "/A.TXT", "in the folder");
  fs::create_directories(p.dir + "/files/MISC");
  writeFile(p.dir + "/files/MISC/\xF0\xA0\xAE\xB7.DAT", "x");  // 𠮷
  std::string out, err;
  ASSERT_EQ(p.build("--image", &out, &err), 0) << out << err;
  EXPECT_NE(err.find("files/MISC/\xF0\xA0\xAE\xB7.DAT: warning: code page 932, the script's text, "
                     "cannot spell its name"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("no list names"), std::string::npos) << err;
  EXPECT_EQ(runTool("disc list " + quote(p.image(1)), &out, &err), 0) << err;
  EXPECT_NE(out.find("  " + read + ".DAT\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(typed), std::string::npos) << out;
  EXPECT_NE(out.find("  " + kTable + "A.TXT\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  " + kTable + "/A.TXT\n"), std::string::npos) << out;

  // An image that holds the typed form: the script's name does not find it,
  // as Windows would not.
  TempDir other;
  writeFile(other.file("KSetup.ini"),
            "DISCNUM = 1\r\nKEYFILE = \"K\"\r\nREGADDRESS = \"S\\M\\G\"\r\n" +
                cp932("FILE = \"" + std::string("\x81\x60") + ".DAT\" 1 8 DISC1\r\n"));
  writeFile(other.file("K"), "k");
  writeFile(other.file(std::string("\xE3\x80\x9C") + ".DAT"), "x");
  std::string error;
  ASSERT_TRUE(writeIsoImage(other.path, {}, "T", other.file("t.iso"), nullptr, nullptr, &error));
  runTool("script check " + quote(other.file("t.iso")) + " --disc " + quote(other.file("t.iso")),
          &out, &err);
  EXPECT_NE(out.find(".DAT\" is not in "), std::string::npos) << out << err;
}

// A build replaces what an earlier build of the same project left, discs
// beyond its own count included; another project's output is refused.
TEST(DiscBuild, AnEarlierBuildLeavesNoStaleDisc) {
  Project p;
  std::string out, err;
  ASSERT_EQ(p.build("--image", &out, &err), 0) << err;
  fs::create_directories(p.disc(3));
  writeFile(p.disc(3) + "/KEY3", "from a three-disc build");
  writeFile(p.image(3), "an image of it");
  writeFile(p.out + "/NOTES.TXT", "the author's");
  ASSERT_EQ(p.build("", &out, &err), 0) << err;
  EXPECT_FALSE(fs::exists(p.disc(3)));
  EXPECT_FALSE(fs::exists(p.image(3)));
  EXPECT_FALSE(fs::exists(p.image(1)));
  EXPECT_TRUE(fs::exists(p.disc(2)));
  EXPECT_EQ(readFile(p.out + "/NOTES.TXT"), "the author's");

  Project q;
  EXPECT_EQ(
      runTool("disc build " + quote(q.dir) + " --out " + quote(p.out) + " --exe " + quote(q.exe),
              &out, &err),
      1);
  EXPECT_NE(err.find("holds the discs of another project"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists(p.disc(2)));
}

TEST(IsoNames, WhatAJolietTreeHolds) {
  EXPECT_EQ(isoPathProblem("DATA/" + kTable + "/" + kSo + ".DAT"), "");
  EXPECT_EQ(isoPathProblem(std::string(64, 'a')), "");
  EXPECT_NE(isoPathProblem(std::string(65, 'a')).find("65 characters long"), std::string::npos);
  // 64 Japanese characters are 64, not 192.
  std::string japanese;
  for (int i = 0; i < 64; i++) japanese += kSo;
  EXPECT_EQ(isoPathProblem(japanese), "");
  EXPECT_EQ(isoPathProblem("a/b/c/d/e/f/g/file"), "");
  EXPECT_NE(isoPathProblem("a/b/c/d/e/f/g/h/file").find("8 folders deep"), std::string::npos);
  std::string longPath;
  for (int i = 0; i < 5; i++) longPath += std::string(60, char('a' + i)) + "/";
  EXPECT_NE(isoPathProblem(longPath + "x").find("at most 240 are kept"), std::string::npos);
  for (const char* bad : {"a:b", "a*b", "a?b", "a;b", "a\\b",
                          "a\x01"
                          "b"})
    EXPECT_NE(isoPathProblem(bad).find("character Joliet names cannot"), std::string::npos) << bad;
  EXPECT_NE(isoPathProblem("\xF0\x9F\x8C\x9F.txt").find("UCS-2"), std::string::npos);  // 🌟
  EXPECT_NE(isoPathProblem("\xFF.txt").find("no UTF-8"), std::string::npos);

  EXPECT_EQ(isoLabelProblem("HOSHIMI_1"), "");
  EXPECT_NE(isoLabelProblem("").find("empty"), std::string::npos);
  EXPECT_NE(isoLabelProblem(std::string(17, 'A')).find("17 characters"), std::string::npos);
  EXPECT_EQ(isoCutLabel("SECOND_DISC_OF_THE_GAME"), "SECOND_DISC_OF_T");
  EXPECT_EQ(isoCutLabel("a:b" + japanese), "ab" + japanese.substr(0, 14 * 3));
}

// The path limit isoPathProblem gives is the one the image engine keeps:
// each path at the limit is in a written image, each one past it is refused
// here and left out by the engine. A name without a dot counts one more.
TEST(IsoImages, ThePathLimitIsTheOneTheEngineKeeps) {
  const struct {
    std::string path;
    bool fits;
  } cases[] = {
      // 1 + (1 + 2 x 60) + (1 + 2 x 58) = 239
      {std::string(60, 'a') + "/" + std::string(54, 'b') + ".txt", true},
      {std::string(60, 'a') + "/" + std::string(55, 'b') + ".txt", false},
      {std::string(60, 'a') + "/" + std::string(57, 'c'), true},  // and its dot
      {std::string(60, 'a') + "/" + std::string(58, 'c'), false},
      // 1 + 3 + 3 + 3 + (1 + 2 x 60) + (1 + 2 x 54) = 240
      {"d/e/f/" + std::string(60, 'g') + "/" + std::string(50, 'h') + ".txt", true},
      {"d/e/f/" + std::string(60, 'g') + "/" + std::string(51, 'h') + ".txt", false},
      {std::string(30, 'i') + "/" + std::string(30, 'j') + "/" + std::string(54, 'k') + ".txt",
       true},
      {std::string(30, 'i') + "/" + std::string(30, 'j') + "/" + std::string(55, 'k') + ".txt",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(isoPathProblem(c.path).empty(), c.fits) << isoPathProblem(c.path);
    TempDir dir;
    fs::create_directories(fs::path(dir.file("disc/" + c.path)).parent_path());
    writeFile(dir.file("disc/" + c.path), "x");
    std::string error;
    ASSERT_TRUE(
        writeIsoImage(dir.file("disc"), {}, "X", dir.file("x.iso"), nullptr, nullptr, &error))
        << error;
    IsoReader* image = openIsoImage(dir.file("x.iso"), &error);
    ASSERT_NE(image, nullptr) << error;
    bool there = false;
    for (const IsoEntry& e : listIsoTree(image)) there = there || e.name == c.path;
    closeIsoImage(image);
    EXPECT_EQ(there, c.fits);
  }
}

// Writing stops cleanly when asked to; what is no image is not opened.
TEST(IsoImages, AStoppedWriteLeavesNothingAndNonImagesAreRefused) {
  TempDir dir;
  fs::create_directories(dir.file("disc"));
  writeFile(dir.file("disc/BIG.BIN"), bytes(3 << 20, 7));
  std::string error;
  auto stop = [](void*, uint64_t done, uint64_t) { return done < (1u << 20); };
  EXPECT_FALSE(writeIsoImage(dir.file("disc"), {}, "X", dir.file("x.iso"), stop, nullptr, &error));
  EXPECT_EQ(error, "stopped");
  EXPECT_FALSE(fileExists(dir.file("x.iso")));
  EXPECT_FALSE(fileExists(dir.file("x.iso.part")));

  ASSERT_TRUE(writeIsoImage(dir.file("disc"), {{"NOTE.TXT", "hello"}}, "X", dir.file("x.iso"),
                            nullptr, nullptr, &error))
      << error;
  EXPECT_TRUE(looksLikeIsoImage(dir.file("x.iso")));
  EXPECT_FALSE(openIsoImage(dir.file("disc/BIG.BIN"), &error));
  EXPECT_EQ(error, "not an ISO 9660 image");
  EXPECT_FALSE(openIsoImage(dir.file("none.iso"), &error));
  std::string out, err;
  EXPECT_EQ(runTool("install " + quote(dir.file("x.iso")) + " --disc " +
                        quote(dir.file("disc/BIG.BIN")) + " --to " + quote(dir.file("to")),
                    &out, &err),
            1);
  EXPECT_NE(err.find("BIG.BIN: neither a disc folder nor a disc image: not an ISO 9660 image"),
            std::string::npos)
      << err;
}

}  // namespace
