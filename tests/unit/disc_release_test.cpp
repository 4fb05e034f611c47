// Release builds of a disc set: fixed dates that make two builds identical,
// SHA256SUMS and `disc verify`, the project's release settings, the
// KSetup.exe an installed tool finds, and the tool's help and version.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "ksetup_version.h"
#include "tests/unit/test_util.h"
#include "tools/lib/disc_release.h"
#include "tools/lib/png_io.h"

namespace {

namespace fs = std::filesystem;

// A one-disc project with a picture, a listed file, a folder and a file of
// the disc's own.
struct SmallProject {
  TempDir root;
  std::string dir = root.file("project"), out = root.file("out"), exe = root.file("KSetup.exe");
  SmallProject() {
    for (const char* f : {"/files/DATA", "/pictures", "/disc1"}) fs::create_directories(dir + f);
    writeFile(exe, "MZ" + bytes(4000, 1));
    writeFile(dir + "/KSetup.ini",
              "DISCNUM = 1\nKEYFILE = \"GAME.KEY\"\nAPPLITITLE = \"Test\"\nEXENAME = \"GAME.EXE\"\n"
              "MUSTMAKEFOLDER = \"\\Game\"\nREGADDRESS = \"Software\\KSetupTest\\Release\"\n"
              "MAKEFOLDER = \"DATA\"\nFILE = \"GAME.EXE\" {size GAME.EXE} 14 DISC1\n"
              "FILE = \"DATA\\A.BIN\" {size DATA\\A.BIN} 14 DISC1\n");
    writeFile(dir + "/files/GAME.EXE", bytes(70000, 2));
    writeFile(dir + "/files/DATA/A.BIN", bytes(300000, 3));
    writeFile(dir + "/disc1/README.TXT", "read me");
    const struct {
      const char* name;
      uint32_t width, height;
    } pictures[] = {{"TITLE.png", 320, 320}, {"LOGO.png", 400, 98}};
    for (const auto& picture : pictures) {
      std::vector<uint32_t> pixels(size_t(picture.width) * picture.height, 0xFF336699u);
      std::string error;
      writePng(dir + "/pictures/" + picture.name, pixels.data(), picture.width, picture.height,
               &error);
    }
  }
  int build(const std::string& options, std::string* o = nullptr, std::string* e = nullptr) {
    return runTool("disc build " + quote(dir) + " --out " + quote(out) + " --exe " + quote(exe) +
                       " " + options,
                   o, e);
  }
};

// Every file below a folder with its bytes and modification time.
std::map<std::string, std::string> filesAndDates(const std::string& folder) {
  std::map<std::string, std::string> files = filesBelow(folder);
  for (auto& f : files) {
    struct stat st;
    stat((folder + "/" + f.first).c_str(), &st);
    f.second += "@" + std::to_string(st.st_mtime);
  }
  return files;
}

struct ScopedEnv {
  std::string name;
  ScopedEnv(const char* n, const char* value) : name(n) {
    if (value)
      setenv(n, value, 1);
    else
      unsetenv(n);
  }
  ~ScopedEnv() { unsetenv(name.c_str()); }
};

// Two builds a few seconds apart are byte for byte and date for date the
// same with SOURCE_DATE_EPOCH or DATE; without either the images differ
// (which shows that the comparison sees dates).
TEST(ReleaseBuild, AFixedDateMakesTwoBuildsIdentical) {
  struct Case {
    const char* what;
    const char* epoch;
    const char* projectDate;
    bool same;
    time_t mtime;  // of every disc file, when same
  } cases[] = {
      {"SOURCE_DATE_EPOCH", "1700000000", nullptr, true, 1700000000},
      {"DATE in project.ini", nullptr, "DATE = 2024-03-01 12:30:00", true, 1709296200},
      {"DATE wins over SOURCE_DATE_EPOCH", "1700000000", "DATE = 2024-03-01", true, 1709251200},
      {"the clock", nullptr, nullptr, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv env("SOURCE_DATE_EPOCH", c.epoch);
    SmallProject p;
    if (c.projectDate) writeFile(p.dir + "/project.ini", std::string(c.projectDate) + "\n");
    std::string out, err;
    ASSERT_EQ(p.build("--image", &out, &err), 0) << out << err;
    std::map<std::string, std::string> first = filesAndDates(p.out);
    sleep(2);
    ASSERT_EQ(p.build("--image", &out, &err), 0) << out << err;
    std::map<std::string, std::string> second = filesAndDates(p.out);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_TRUE(first.count("disc1.iso") && first.count("SHA256SUMS"));
    EXPECT_EQ(first["disc1.iso"] == second["disc1.iso"], c.same);
    if (!c.same) continue;
    for (const auto& f : first) EXPECT_EQ(f.second, second[f.first]) << f.first;
    struct stat st;
    ASSERT_EQ(stat((p.out + "/disc1/DATA/A.BIN").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, c.mtime);
    ASSERT_EQ(stat((p.out + "/disc1/DATA").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, c.mtime);
  }
}

// SHA256SUMS is what sha256sum -c reads; disc verify passes on a fresh build
// and names the image when one byte of it changes.
TEST(ReleaseBuild, DiscVerifyCatchesAChangedByte) {
  SmallProject p;
  std::string out, err;
  ASSERT_EQ(p.build("--image", &out, &err), 0) << err;
  EXPECT_EQ(system(("cd " + quote(p.out) + " && sha256sum --quiet -c SHA256SUMS").c_str()), 0);
  ASSERT_EQ(runTool("disc verify " + quote(p.out), &out, &err), 0) << err;
  EXPECT_NE(out.find("disc1.iso: OK: SHA-256 matches, 8 files read back"), std::string::npos)
      << out;

  // One byte of A.BIN's data, found by its content.
  std::string image = readFile(p.out + "/disc1.iso");
  size_t at = image.find(bytes(300000, 3).substr(1000, 64));
  ASSERT_NE(at, std::string::npos);
  image[at] ^= 1;
  writeFile(p.out + "/disc1.iso", image);
  EXPECT_EQ(runTool("disc verify " + quote(p.out), &out, &err), 1);
  EXPECT_NE(err.find("out/disc1.iso: its SHA-256 differs from SHA256SUMS"), std::string::npos)
      << err;

  struct Case {
    const char* what;
    std::string sums;
    std::string expected;
  } cases[] = {
      {"no such image", std::string(64, 'a') + "  disc2.iso\n", "out/disc2.iso: No such file"},
      {"not sha256sum's format", "d41d8cd9  disc1.iso\n", "SHA256SUMS:1: not a line"},
      {"empty", "", "SHA256SUMS: lists no image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(p.out + "/SHA256SUMS", c.sums);
    EXPECT_EQ(runTool("disc verify " + quote(p.out), &out, &err), 1);
    EXPECT_NE(err.find(c.expected), std::string::npos) << err;
  }
  // A build without images leaves no sums of the images before it.
  ASSERT_EQ(p.build("", &out, &err), 0) << err;
  EXPECT_FALSE(fileExists(p.out + "/SHA256SUMS"));
}

TEST(ReleaseSettings, ProjectIniLines) {
  struct Case {
    const char* line;
    int result;
    std::string expected;  // the field set, or the reason's start
  } cases[] = {
      {"DATE = 2024-02-29", 1, "1709164800"},
      {"DATE = 2024-02-29 23:59", 1, "1709251140"},
      {"DATE = 2023-02-29", -1, "DATE \"2023-02-29\" is no date"},
      {"DATE = 2024-13-01", -1, "DATE \"2024-13-01\" is no date"},
      {"DATE = 1969-12-31", -1, "DATE"},
      {"DATE = 2024-01-01 10:00:00 extra", -1, "DATE"},
      {"SIGNPKCS12 = keys/studio.p12", 1, "/p/keys/studio.p12"},
      {"SIGNPKCS12 = \"/abs/studio.p12\"", 1, "/abs/studio.p12"},
      {"SIGNPASSWORDFILE = ../pass.txt", 1, "/pass.txt"},
      {"TIMESTAMP = http://ts.example/", 1, "http://ts.example/"},
      {"SIGNPASSWORD = hunter2", -1, "a password does not belong in the project"},
      {"SIGNKEY =", -1, "SIGNKEY without a value"},
      {"EPAMODE A.EPA = 1", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ReleaseOptions o;
    std::string reason;
    EXPECT_EQ(takeReleaseSetting(c.line, "/p", &o, &reason), c.result);
    std::string got = c.result < 0  ? reason
                      : o.date >= 0 ? std::to_string(o.date)
                                    : o.sign.pkcs12 + o.sign.passwordFile + o.sign.timestamp;
    EXPECT_EQ(got.rfind(c.expected, 0), 0u) << got;
  }

  // The command line wins, the material as a whole; SOURCE_DATE_EPOCH only
  // when nothing gives a date, and only as a plain count of seconds.
  ReleaseOptions file, line, merged;
  file.sign.pkcs12 = "/p/a.p12";
  file.sign.passwordFile = "/p/pass";
  line.sign.cert = "/c.pem";
  line.sign.key = "/k.pem";
  std::string reason;
  {
    ScopedEnv env("SOURCE_DATE_EPOCH", "1600000000");
    ASSERT_TRUE(mergeReleaseOptions(line, file, &merged, &reason));
  }
  EXPECT_EQ(merged.sign.pkcs12, "");
  EXPECT_EQ(merged.sign.cert + merged.sign.key + merged.sign.passwordFile, "/c.pem/k.pem/p/pass");
  EXPECT_EQ(merged.date, 1600000000);
  for (const char* bad : {"soon", "-5", "12abc", " 12"}) {
    ScopedEnv env("SOURCE_DATE_EPOCH", bad);
    EXPECT_FALSE(mergeReleaseOptions(line, file, &merged, &reason)) << bad;
  }
}

// A copied or installed tool finds its KSetup.exe without --exe: beside
// itself first, then in the data folder of its install, else it says where
// it looked. Also: the help of every command exits 0, unknown options are
// named.
TEST(ReleaseTool, FindsItsProgramAndAnswersHelpAndVersion) {
  SmallProject p;
  TempDir prefix;
  fs::create_directories(prefix.file("bin"));
  fs::create_directories(prefix.file("share/ksetup/win32"));
  fs::copy_file(KSETUP_TOOL, prefix.file("bin/ksetup-tool"));
  const std::string tool = prefix.file("bin/ksetup-tool");
  auto build = [&](std::string* err) {
    std::string cmd = quote(tool) + " disc build " + quote(p.dir) + " --out " + quote(p.out) +
                      " >/dev/null 2>" + quote(p.root.file("err"));
    int rc = system(cmd.c_str());
    *err = readFile(p.root.file("err"));
    return WEXITSTATUS(rc);
  };
  std::string err;
  EXPECT_EQ(build(&err), 1);
  EXPECT_NE(err.find("no KSetup.exe: give --exe (looked at " + prefix.file("bin/KSetup.exe") +
                     ", " + prefix.file("share/ksetup/win32/KSetup.exe") + ")"),
            std::string::npos)
      << err;
  writeFile(prefix.file("share/ksetup/win32/KSetup.exe"), "MZ installed");
  ASSERT_EQ(build(&err), 0) << err;
  EXPECT_EQ(readFile(p.out + "/disc1/KSetup.exe"), "MZ installed");
  writeFile(prefix.file("bin/KSetup.exe"), "MZ beside the tool");
  ASSERT_EQ(build(&err), 0) << err;
  EXPECT_EQ(readFile(p.out + "/disc1/KSetup.exe"), "MZ beside the tool");

  struct Case {
    std::string args;
    int rc;
    std::string expected;  // on stdout for 0, on stderr otherwise
  } cases[] = {
      {"--version", 0, "ksetup-tool " KSETUP_VERSION_TEXT "\n"},
      {"disc build --help", 0, "usage: ksetup-tool disc build PROJECT --out DIR"},
      {"disc verify --help", 0, "usage: ksetup-tool disc verify DIR"},
      {"disc --help", 0, "disc build makes"},
      {"script --help", 0, "script"},
      {"pak --help", 0, "pak"},
      {"epa --help", 0, "epa"},
      {"scene --help", 0, "scene render"},
      {"install --help", 0, "install"},
      {"uninstall --help", 0, "uninstall"},
      {"disc build P --out O --sing-pkcs12 x.p12", 2, "unknown option --sing-pkcs12"},
      {"disc build P --out O --sign-pkcs12", 2, "--sign-pkcs12 needs a value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    EXPECT_EQ(runTool(c.args, &out, &err), c.rc);
    EXPECT_NE((c.rc == 0 ? out : err).find(c.expected), std::string::npos) << out << err;
  }
}

}  // namespace
