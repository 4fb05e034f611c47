// The sample disc set, generated afresh into a temporary folder as
// make-samples.sh makes it (the project, then disc build with images): the
// disc check finds nothing (sizes, key files, patterns), every picture it
// names is in the archive and decodes, the scene matches the drawings, every
// install option installs from both discs and uninstalls without leaving
// anything behind, and the images hold every file by its Japanese name and
// install the same files as the folders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "media/epa.h"
#include "platform/platform.h"
#include "samples/pictures.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "tools/lib/iso_image.h"
#include "tools/lib/pak_writer.h"

namespace {

class SampleDiscs : public ::testing::Test {
 protected:
  static TempDir* out;
  static bool made;

  static void SetUpTestSuite() {
#ifdef KSETUP_MAKE_SAMPLES
    out = new TempDir;
    // Any Windows program will do for the build: the tests do not run it.
    writeFile(out->file("KSetup.exe"), "MZ stand-in for KSetup.exe");
    std::string cmd = std::string("'") + KSETUP_MAKE_SAMPLES + "' '" + out->file("project") +
                      "' >'" + out->file("log") + "' 2>&1 && '" + KSETUP_TOOL + "' disc build '" +
                      out->file("project") + "' --out '" + out->path + "' --image --exe '" +
                      out->file("KSetup.exe") + "' >>'" + out->file("log") + "' 2>&1";
    made = system(cmd.c_str()) == 0;
#endif
  }
  static void TearDownTestSuite() {
    delete out;
    out = nullptr;
  }

  std::string disc(int n) const { return out->path + "/disc" + std::to_string(n); }
  std::string image(int n) const { return disc(n) + ".iso"; }

  void SetUp() override {
#ifndef KSETUP_MAKE_SAMPLES
    GTEST_SKIP() << "make-samples is not part of this build";
#else
    ASSERT_TRUE(made) << readFile(out->file("log"));
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    previous = cwd;
    releaseConfig();
    ASSERT_TRUE(setCurrentFolder(disc(1).c_str()));
    ASSERT_TRUE(loadConfig());
#endif
  }
  void TearDown() override {
    releaseConfig();
    if (!previous.empty()) {
      ASSERT_EQ(chdir(previous.c_str()), 0);
    }
  }

  std::string previous;
};

TempDir* SampleDiscs::out = nullptr;
bool SampleDiscs::made = false;

TEST_F(SampleDiscs, DiscCheckFindsNothingAndOptionsAreNested) {
  std::string report, err;
  EXPECT_EQ(runTool("script check " + quote(disc(1)) + " --disc " + quote(disc(1)) + " --disc " +
                        quote(disc(2)),
                    &report, &err),
            0)
      << report << err;
  EXPECT_NE(report.find("loads, 0 warnings"), std::string::npos) << report;
  ASSERT_EQ(config.discNum, 2u);
  EXPECT_EQ(std::string(config.fileList[0][0]), config.exeName);
  EXPECT_EQ(config.fileOption[0][0], 8u | 4u | 2u);
  EXPECT_GT(selectedByteTotal(-1, 8), selectedByteTotal(-1, 4));
  EXPECT_GT(selectedByteTotal(-1, 4), selectedByteTotal(-1, 2));
  EXPECT_GT(selectedByteTotal(-1, 2), 0u);
}

TEST_F(SampleDiscs, EveryPictureDecodesAtTheSizeItIsUsedAtAndTheScenePlays) {
  const std::string archive = readFile(disc(1) + "/Instdata.pak");
  std::vector<PackEntry> entries;
  uint32_t dataStart = 0;
  std::string error;
  ASSERT_TRUE(parsePack(archive, &entries, &dataStart, &error)) << error;

  // Decodes a member; false when it is missing or broken.
  auto decode = [&](const std::string& name, EpaInfo* info, std::vector<uint32_t>* pixels) {
    for (const PackEntry& e : entries) {
      if (e.name != name) continue;
      const uint8_t* data = reinterpret_cast<const uint8_t*>(archive.data()) + dataStart + e.offset;
      if (readEpaHeader(data, e.size, info) != 0) return false;
      pixels->assign(size_t(info->width) * info->height, 0);
      return decodeEpa(data, e.size, pixels->data()) == 0;
    }
    return false;
  };

  // The disc check above already finds every picture and checks the title,
  // the logo and the sprite strips; here the sizes it does not know.
  EpaInfo info;
  std::vector<uint32_t> pixels;
  int types = 0;
  for (int i = 0; i < kSceneSlots && config.scene[i].type; i++) {
    const SceneElement& e = config.scene[i];
    SCOPED_TRACE(e.name);
    types |= 1 << e.type;
    ASSERT_TRUE(decode(e.name, &info, &pixels));
    if (e.type == kSceneBase) {
      EXPECT_EQ(info.width, uint32_t(e.moveX));
      EXPECT_EQ(info.height, uint32_t(e.moveY));
    }
    if (e.type == kSceneProgressBar) {
      // Drawn again on every tick without restoring what lies under it, so
      // any translucent pixel would darken from tick to tick.
      EXPECT_EQ(info.width, uint32_t(e.moveX));
      for (uint32_t p : pixels) ASSERT_EQ(p >> 24, 0xFFu);
    }
  }
  EXPECT_EQ(types, 0x1FE) << "every kind of scene line, BACK to FINISH";

  // The scene plays through with every picture found.
  TempDir frames;
  std::string err;
  EXPECT_EQ(runTool("scene render '" + disc(1) + "' --size 800x600 --values 0,500,1000,1010,1020 --finish --out '" +
                        frames.file("f") + "'",
                    nullptr, &err),
            0)
      << err;
  EXPECT_EQ(err, "");
  EXPECT_TRUE(fileExists(frames.file("f-004.png")));
}

TEST_F(SampleDiscs, EveryOptionInstallsAndUninstallsWithoutRemains) {
  TempDir base;
  const std::string folder = base.file("Hoshimi");
  const std::string discs = quote(disc(1)) + " --disc " + quote(disc(1)) + " --disc " + quote(disc(2));
  for (const char* option : {"8", "4", "2"}) {
    SCOPED_TRACE(option);
    std::string out, err;
    ASSERT_EQ(runTool("install " + discs + " --to " + quote(folder) + " --option " + option, &out, &err), 0)
        << err;
    EXPECT_TRUE(readFile(folder + "/" + config.exeName) == readFile(disc(1) + "/" + config.exeName));
    EXPECT_EQ(fileExists(folder + "/MOVIE/OPENING.DAT"), option[0] == '8');
    writeFile(folder + "/SAVE/SLOT01.SAV", "save");
    EXPECT_EQ(runTool("uninstall " + quote(disc(1)) + " --from " + quote(folder) + " --save-data", &out, &err), 0)
        << err;
    EXPECT_FALSE(fileExists(folder));
  }
}

// What make-samples drew the pictures for: the stage's size and the bar's place.
TEST_F(SampleDiscs, TheScenePlacesThePicturesWhereTheyWereDrawnFor) {
  bool stage = false, bar = false;
  for (int i = 0; i < kSceneSlots && config.scene[i].type; i++) {
    const SceneElement& e = config.scene[i];
    if (e.type == kSceneBase)
      stage = e.moveX == kStageWidth && e.moveY == kStageHeight;
    if (e.type == kSceneProgressBar && std::string(e.name) == kBarPlace.name)
      bar = e.x == kBarPlace.x && e.y == kBarPlace.y && e.moveX == kBarWidth;
  }
  EXPECT_TRUE(stage) << "the stage is 640 x 480";
  EXPECT_TRUE(bar) << "BAR.EPA lies where it was drawn for";
  EXPECT_STREQ(config.uninstallEntry, "\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B")
      << "UNINSTALLENTRY is on: アンインストール";
}

// Each image read back holds exactly its disc folder's files, by their
// Joliet names (Japanese ones among them) and sizes, and disc 1 the
// autorun.inf that starts the program.
TEST_F(SampleDiscs, TheImagesHoldEveryFileByItsNameAndSize) {
  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    std::string error;
    IsoReader* reader = openIsoImage(image(n), &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(isoVolumeLabel(reader), "HOSHIMI_" + std::to_string(n));
    std::map<std::string, uint64_t> held, wanted;
    for (const IsoEntry& e : listIsoTree(reader))
      if (!e.isFolder) held[e.name] = e.size;
    for (const auto& f : filesBelow(disc(n))) wanted[f.first] = f.second.size();
    if (n == 1) {
      wanted["autorun.inf"] = held["autorun.inf"];
      IsoFileReader* autorun = openIsoFile(reader, "autorun.inf");
      ASSERT_TRUE(autorun);
      char text[256] = {};
      uint32_t got = 0;
      EXPECT_TRUE(readIsoFile(autorun, text, sizeof text - 1, &got));
      closeIsoFile(autorun);
      EXPECT_EQ(std::string(text, got), "[autorun]\r\nopen=KSetup.exe\r\nicon=KSetup.exe,0\r\n");
      EXPECT_TRUE(held.count("\u8aac\u660e\u66f8/\u8aac\u660e\u66f8.TXT"));  // 説明書/説明書.TXT
      EXPECT_TRUE(held.count("DATA/\u8868\u60c5/\u8868\u60c5.PAK"));              // DATA/表情/表情.PAK
    } else {
      EXPECT_TRUE(held.count("DATA/\u97f3\u58f0/\u97f3\u58f01.DAT"));  // DATA/音声/音声1.DAT
    }
    EXPECT_EQ(held, wanted);
    // A file's bytes, read through the image, are the folder's.
    const std::string path = n == 1 ? "DATA/SYSTEM.PAK" : "MOVIE/OPENING.DAT";
    IsoFileReader* file = openIsoFile(reader, path);
    ASSERT_TRUE(file);
    std::string bytes(isoFileSize(file), '\0');
    uint32_t got = 0;
    EXPECT_TRUE(readIsoFile(file, &bytes[0], uint32_t(bytes.size()), &got));
    closeIsoFile(file);
    EXPECT_TRUE(bytes == readFile(disc(n) + "/" + path));
    closeIsoImage(reader);
  }
}

// A player who keeps the discs as images installs from them in one command:
// the same files as from the folders, the check as clean, the uninstall as
// complete.
TEST_F(SampleDiscs, InstallingFromTheImagesGivesTheFilesOfTheFolders) {
  TempDir base;
  const std::string fromFolders = base.file("folders"), fromImages = base.file("images");
  std::string out, err;
  ASSERT_EQ(runTool("install " + quote(disc(1)) + " --disc " + quote(disc(1)) + " --disc " +
                        quote(disc(2)) + " --to " + quote(fromFolders),
                    &out, &err),
            0)
      << err;
  const std::string images = quote(image(1)) + " --disc " + quote(image(1)) + " --disc " + quote(image(2));
  ASSERT_EQ(runTool("install " + images + " --to " + quote(fromImages), &out, &err), 0) << err;
  EXPECT_NE(out.find("installed 14 files"), std::string::npos) << out;
  std::map<std::string, std::string> a = filesBelow(fromFolders), b = filesBelow(fromImages);
  EXPECT_EQ(a.size(), 14u);
  EXPECT_TRUE(a == b);

  EXPECT_EQ(runTool("script check " + images, &out, &err), 0) << out << err;
  EXPECT_NE(out.find(image(1) + ":KSetup.ini: loads, 0 warnings"), std::string::npos) << out;

  EXPECT_EQ(runTool("uninstall " + quote(image(1)) + " --from " + quote(fromImages), &out, &err), 0) << err;
  EXPECT_FALSE(fileExists(fromImages));
}

}  // namespace
