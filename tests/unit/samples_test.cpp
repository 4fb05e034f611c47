// The sample disc set, generated afresh into a temporary folder: the disc
// check finds nothing (sizes, key files, patterns), every picture it names is
// in the archive and decodes, and every install option installs from both
// discs and uninstalls without leaving anything behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/epa.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "tools/pak_writer.h"

namespace {

class SampleDiscs : public ::testing::Test {
 protected:
  static TempDir* out;
  static bool made;

  static void SetUpTestSuite() {
#ifdef KSETUP_MAKE_SAMPLES
    out = new TempDir;
    std::string cmd = std::string("'") + KSETUP_MAKE_SAMPLES + "' '" + out->path + "' >'" +
                      out->file("log") + "' 2>&1";
    made = system(cmd.c_str()) == 0;
#endif
  }
  static void TearDownTestSuite() {
    delete out;
    out = nullptr;
  }

  std::string disc(int n) const { return out->path + "/disc" + std::to_string(n); }

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

}  // namespace
