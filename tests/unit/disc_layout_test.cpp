// The libraries under disc build, called as a program other than the tool
// would call them: the project reader and the layout report every fault as a
// file and a reason (and print nothing), the writer refuses folders that are
// not its own and stops when asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/test_util.h"
#include "tools/lib/disc_layout.h"
#include "tools/lib/disc_writer.h"
#include "tools/lib/png_io.h"
#include "tools/lib/project.h"

namespace {

namespace fs = std::filesystem;

// Lines 1 to 9; line 3 is DISCLABEL, line 7 FILESIZE DISC1.
const char kScript[] =
    "DISCNUM = 2\n"
    "KEYFILE = \"ONE.KEY\" \"TWO.KEY\"\n"
    "DISCLABEL = \"ONE\"\n"
    "APPLITITLE = \"T\"\n"
    "MAKEFOLDER = \"DATA\"\n"
    "FILELIST DISC1 = \"GAME.EXE\" \"DATA\\A.BIN\"\n"
    "FILESIZE DISC1 = {size GAME.EXE} 3\n"
    "FILEOPTION DISC1 = 14 14\n"
    "FILE = \"DATA\\*.PAK\" {size DATA\\*.PAK} 8 DISC2\n";

struct Fixture {
  TempDir root;
  std::string dir = root.file("p"), exe = root.file("KSetup.exe");
  Fixture() {
    for (const char* f : {"/files/data", "/pictures"}) fs::create_directories(dir + f);
    writeFile(exe, "MZ" + bytes(100, 1));
    writeFile(dir + "/KSetup.ini", kScript);
    writeFile(dir + "/files/GAME.EXE", bytes(50, 2));
    writeFile(dir + "/files/data/A.BIN", "abc");
    writeFile(dir + "/files/data/X.PAK", bytes(20, 3));
    for (const char* name : {"TITLE", "LOGO"}) {
      std::vector<uint32_t> pixels(16, 0xFF102030u);
      std::string error;
      writePng(dir + "/pictures/" + name + ".png", pixels.data(), 4, 4, &error);
    }
  }
  // Writes the project's file `path`, its folders made.
  void put(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(dir + "/" + path).parent_path());
    writeFile(dir + "/" + path, data);
  }
  void script(const std::string& from, const std::string& to) {
    std::string text = readFile(dir + "/KSetup.ini");
    text.replace(text.find(from), from.size(), to);
    writeFile(dir + "/KSetup.ini", text);
  }
};

struct Outcome {
  bool ok = false;
  Failure failure;
  Warnings warnings;
  DiscSet set;
  std::string printed;
};

// The whole layout as disc build runs it, with stdout and stderr caught.
Outcome layOut(const Fixture& f, bool image) {
  Outcome o;
  Project project;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  o.ok = openProject(f.dir, &project, &o.failure) && readProjectScript(&project, &o.failure) &&
         beginLayout(project, f.exe, &o.set, &o.warnings, &o.failure) &&
         finishLayout(project, f.exe, image, &o.set, &o.warnings, &o.failure);
  fflush(stdout);
  fflush(stderr);
  o.printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  return o;
}

TEST(DiscLayout, ReportsEachFaultAsAFileAndAReasonWithoutPrinting) {
  struct Case {
    const char* name;
    std::function<void(Fixture*)> setup;
    bool image;
    const char* file;    // relative to the project; "EXE" for the program
    const char* reason;  // a part of it
  };
  const Case cases[] = {
      {"no pictures", [](Fixture* f) { fs::remove_all(f->dir + "/pictures"); }, false, "pictures",
       "missing: a project keeps its pictures here"},
      {"bad EPAMODE", [](Fixture* f) { f->put("project.ini", "# modes\nEPAMODE TITLE.EPA = 5\n"); },
       false, "project.ini:2", "not a setting: write EPAMODE"},
      {"size of no file", [](Fixture* f) { f->script("{size GAME.EXE}", "{size NONE.EXE}"); },
       false, "KSetup.ini:7", "{size NONE.EXE}: no such file in"},
      {"size not closed", [](Fixture* f) { f->script("{size GAME.EXE} 3", "{size GAME.EXE 3"); },
       false, "KSetup.ini:7", "{size without its closing }"},
      {"neither encoding", [](Fixture* f) { f->put("KSetup.ini", "A = \x80\xFF\n"); }, false,
       "KSetup.ini", "neither UTF-8 nor code page 932 text"},
      {"character code page 932 lacks",
       [](Fixture* f) { f->script("\"T\"", "\"T \xF0\x9F\x98\x80\""); }, false, "KSetup.ini:4",
       "a character that code page 932"},
      {"missing picture", [](Fixture* f) { fs::remove(f->dir + "/pictures/LOGO.png"); }, false,
       "pictures/LOGO.png", "missing: the script shows the picture LOGO.EPA"},
      {"program not Windows'", [](Fixture* f) { writeFile(f->exe, "#!/bin/sh\n"); }, false, "EXE",
       "not a Windows program"},
      {"listed file missing", [](Fixture* f) { fs::remove(f->dir + "/files/data/A.BIN"); }, false,
       "files/DATA/A.BIN", "missing: the file lists name it (disc 1 entry \"DATA\\A.BIN\")"},
      {"one name twice in files/", [](Fixture* f) { f->put("files/game.exe", "x"); }, false,
       "files/game.exe", "one name on Windows with files/GAME.EXE"},
      {"discN clashes with files/", [](Fixture* f) { f->put("disc1/game.exe", "x"); }, false,
       "disc1/game.exe", "it goes to game.exe, where files/GAME.EXE goes too"},
      {"label too long for an image",
       [](Fixture* f) { f->script("\"ONE\"", "\"A_LABEL_OF_20_CHARS\""); }, true, "KSetup.ini:3",
       "cannot label the disc image"},
      {"device name",
       [](Fixture* f) {
         f->put("files/CON.TXT", "x");
         f->script("\"GAME.EXE\" ", "\"CON.TXT\" \"GAME.EXE\" ");
       },
       false, "files/CON.TXT", "Windows cannot read it from the disc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.setup(&f);
    Outcome o = layOut(f, c.image);
    EXPECT_FALSE(o.ok);
    std::string file = std::string(c.file) == "EXE" ? f.exe : f.dir + "/" + c.file;
    EXPECT_EQ(o.failure.file, file);
    EXPECT_NE(o.failure.reason.find(c.reason), std::string::npos) << o.failure.reason;
    EXPECT_EQ(o.printed, "");
  }
}

TEST(DiscLayout, PlacesEveryFileAndWarnsOfWhatItLeavesOut) {
  struct Case {
    const char* name;
    std::function<void(Fixture*)> setup;
    std::vector<std::string> disc1, disc2;
    std::vector<std::string> warned;  // the files the warnings name, relative to the project
  };
  const std::vector<std::string> one = {"KSetup.exe", "KSetup.ini", "Instdata.pak",
                                        "GAME.EXE",   "data/A.BIN", "ONE.KEY"};
  const Case cases[] = {
      {"as listed", [](Fixture*) {}, one, {"data/X.PAK", "TWO.KEY"}, {}},
      {"a disc's own key file, its folder spelled as the disc has it",
       [](Fixture* f) {
         f->script("\"TWO.KEY\"", "\"DATA\\TWO.KEY\"");
         f->put("disc2/DATA/TWO.KEY", "mine");
       },
       one,
       {"data/X.PAK", "data/TWO.KEY"},
       {}},
      {"left out",
       [](Fixture* f) {
         f->put("pictures/SPARE.png", "x");
         f->put("files/NOTES.TXT", "x");
         f->put("disc3/README.TXT", "x");
       },
       one,
       {"data/X.PAK", "TWO.KEY"},
       {"pictures/SPARE.png", "disc3", "files"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.setup(&f);
    Outcome o = layOut(f, true);
    ASSERT_TRUE(o.ok) << o.failure.file << ": " << o.failure.reason;
    EXPECT_EQ(o.printed, "");
    ASSERT_EQ(o.set.discs.size(), 2u);
    const std::vector<std::string>* want[] = {&c.disc1, &c.disc2};
    for (size_t d = 0; d < 2; d++) {
      std::vector<std::string> paths;
      for (const DiscFile& file : o.set.discs[d].files) paths.push_back(file.path);
      EXPECT_EQ(paths, *want[d]) << "disc " << d + 1;
    }
    std::vector<std::string> warned;
    for (const Failure& w : o.warnings) warned.push_back(w.file.substr(f.dir.size() + 1));
    EXPECT_EQ(warned, c.warned);
  }
}

TEST(DiscLayout, AScriptThatDoesNotLoadComesWithTheCheckOfIt) {
  Fixture f;
  f.script("DISCNUM = 2", "DISCNUM = 0");
  Outcome o = layOut(f, false);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.printed, "");
  ASSERT_TRUE(o.set.scriptFails);
  EXPECT_FALSE(o.set.scriptCheck.loaded);
  EXPECT_EQ(o.set.scriptCheck.source, f.dir + "/KSetup.ini");
  ASSERT_FALSE(o.set.scriptCheck.findings.empty());
  EXPECT_EQ(o.set.scriptCheck.findings.back().line, 1);
  EXPECT_TRUE(o.set.scriptCheck.findings.back().error);
}

TEST(DiscLayout, MergesTheDiscsUnlessTwoHoldOnePath) {
  struct Case {
    const char* name;
    const char* keyFiles;
    bool ok;
    const char* reason;
  };
  const Case cases[] = {
      {"a key file each", "\"ONE.KEY\" \"TWO.KEY\"", true, ""},
      {"one key file name on both discs", "\"ONE.KEY\" \"one.key\"", false,
       "disc 2 cannot be merged: the key file: it goes to one.key, where the key file goes too"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.script("\"ONE.KEY\" \"TWO.KEY\"", c.keyFiles);
    Outcome o = layOut(f, false);
    ASSERT_TRUE(o.ok) << o.failure.reason;
    Failure failure;
    EXPECT_EQ(mergeDiscs(&o.set, f.dir, &failure), c.ok);
    if (!c.ok) {
      EXPECT_EQ(failure.file, f.dir);
      EXPECT_EQ(failure.reason, c.reason);
      continue;
    }
    ASSERT_EQ(o.set.discs.size(), 1u);
    std::vector<std::string> paths;
    for (const DiscFile& file : o.set.discs[0].files) paths.push_back(file.path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"KSetup.exe", "KSetup.ini", "Instdata.pak", "GAME.EXE",
                                        "data/A.BIN", "ONE.KEY", "data/X.PAK", "TWO.KEY"}));
  }
}

TEST(DiscWriter, PrepareOutputReplacesOnlyItsOwnFolders) {
  struct Case {
    const char* name;
    const char* stamp;                 // the stamp left there, or null
    std::vector<std::string> present;  // files there before
    bool ok;
    const char* file;                // of the failure, relative to OUT
    std::vector<std::string> after;  // what is left
  };
  const std::string ours = "disc folders written by ksetup-tool disc build from /p\n";
  const Case cases[] = {
      {"empty", nullptr, {}, true, "", {"disc1", "disc2"}},
      {"another project's",
       "disc folders written by ksetup-tool disc build from /q\n",
       {"disc1/A"},
       false,
       "",
       {"disc1/A"}},
      {"a disc folder of no build", nullptr, {"disc2/A"}, false, "disc2", {"disc2/A"}},
      {"an earlier build of a larger set",
       ours.c_str(),
       {"disc1/A", "disc3/B", "disc3.iso", "SHA256SUMS", "discs.txt", "disc.iso"},
       true,
       "",
       {"disc.iso", "disc1", "disc2", "discs.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir root;
    DiscOutput output{root.file("out"), "/p"};
    for (const std::string& p : c.present) {
      fs::create_directories(fs::path(output.out + "/" + p).parent_path());
      writeFile(output.out + "/" + p, "x");
    }
    if (c.stamp) {
      fs::create_directories(output.out);
      writeFile(output.out + "/.ksetup-disc-build", c.stamp);
    }
    Failure failure;
    EXPECT_EQ(prepareOutput(output, 2, &failure), c.ok) << failure.reason;
    if (!c.ok) EXPECT_EQ(failure.file, output.out + (*c.file ? "/" : "") + c.file);
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(output.out)) {
      std::string rel = fs::relative(e.path(), output.out).string();
      bool leaf = !e.is_directory() || fs::is_empty(e.path());
      if (rel != ".ksetup-disc-build" && leaf) left.push_back(rel);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, c.after);
  }
}

TEST(DiscWriter, WritesADiscFolderAndStopsWhenAsked) {
  // The bytes seen so far at each call; asks to stop at call `stopAt`.
  struct Watch {
    int calls = 0, stopAt = 0;
    uint64_t last = 0, total = 0;
  };
  auto progress = [](void* context, uint64_t done, uint64_t total) {
    Watch* w = static_cast<Watch*>(context);
    w->last = done;
    w->total = total;
    return ++w->calls != w->stopAt;
  };
  TempDir root;
  writeFile(root.file("big"), bytes(3 << 20, 4));
  Disc disc;
  std::string unused;
  addDiscFile(&disc, {"DATA/BIG.BIN", root.file("big"), "", 3 << 20, "big"}, &unused);
  addDiscFile(&disc, {"data/NOTE.TXT", "", "note", 4, "the note"}, &unused);
  struct Case {
    int stopAt;
    bool ok;
    const char* reason;
  };
  for (const Case& c : {Case{0, true, ""}, Case{2, false, "interrupted"}}) {
    SCOPED_TRACE(c.stopAt);
    std::string folder = root.file("disc" + std::to_string(c.stopAt));
    fs::create_directories(folder);
    Watch watch;
    watch.stopAt = c.stopAt;
    uint64_t done = 0;
    Failure failure;
    EXPECT_EQ(writeDiscFolder(disc, folder, 5 << 20, &done, progress, &watch, &failure), c.ok);
    EXPECT_EQ(failure.reason, c.reason);
    EXPECT_EQ(watch.total, uint64_t(5 << 20));
    if (c.ok) {
      // The data file counts, but calls nothing: one call per MiB copied.
      EXPECT_EQ(watch.calls, 3);
      EXPECT_EQ(done, uint64_t((3 << 20) + 4));
      EXPECT_EQ(readFile(folder + "/DATA/BIG.BIN"), readFile(root.file("big")));
      EXPECT_EQ(readFile(folder + "/DATA/NOTE.TXT"), "note");
    } else {
      EXPECT_EQ(failure.file, root.file("big"));
      EXPECT_EQ(watch.last, uint64_t(2 << 20));
    }
  }
}

}  // namespace
