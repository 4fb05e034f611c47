// The sample disc set, generated afresh into a temporary folder: its script
// loads and matches the discs byte for byte, every picture it names is in the
// archive and decodes, and every install option copies cleanly from both
// discs and uninstalls without leaving anything behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "install/copy_walk.h"
#include "media/epa.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/test_util.h"
#include "tools/pak_writer.h"
#include "uninstall/removal.h"

namespace {

std::string hostForm(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

uint64_t sizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : UINT64_MAX;
}

// What a file list entry stands for in `folder`: the file's size, or the
// total of the regular files its pattern matches (without regard to case).
uint64_t entryBytes(const std::string& folder, const std::string& entry) {
  std::string path = hostForm(entry);
  if (path.find_first_of("*?") == std::string::npos) return sizeOf(folder + "/" + path);
  size_t slash = path.rfind('/');
  std::string dir = folder + "/" + (slash == std::string::npos ? "" : path.substr(0, slash));
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  uint64_t total = 0;
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  while (dirent* e = readdir(d)) {
    std::string name = dir + "/" + e->d_name;
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        fnmatch(pattern.c_str(), e->d_name, FNM_CASEFOLD) == 0)
      total += uint64_t(st.st_size);
  }
  closedir(d);
  return total;
}

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

TEST_F(SampleDiscs, ScriptLoadsCleanlyAndEverySizeIsTheFileOnItsDisc) {
  std::string report;
  EXPECT_EQ(runTool("script check '" + disc(1) + "'", &report), 0);
  EXPECT_NE(report.find("loads, 0 warnings"), std::string::npos) << report;
  EXPECT_EQ(runTool("script dump '" + disc(1) + "'"), 0);

  ASSERT_EQ(config.discNum, 2u);
  for (int d = 0; d < int(config.discNum); d++) {
    SCOPED_TRACE("disc " + std::to_string(d + 1));
    EXPECT_LT(sizeOf(disc(d + 1) + "/" + config.keyFile[d]), UINT64_MAX) << "key file missing";
    ASSERT_NE(config.fileList[d][0], nullptr);
    for (int i = 0; i < kFilesPerDisc && config.fileList[d][i]; i++)
      EXPECT_EQ(entryBytes(disc(d + 1), config.fileList[d][i]), config.fileSize[d][i])
          << config.fileList[d][i];
  }
  EXPECT_EQ(config.fileList[2][0], nullptr);
  // The game is installed by every option; the DirectX setup is on its disc.
  EXPECT_EQ(std::string(config.fileList[0][0]), config.exeName);
  EXPECT_EQ(config.fileOption[0][0], 8u | 4u | 2u);
  ASSERT_NE(config.dxDisc[0], 0u);
  EXPECT_LT(sizeOf(disc(int(config.dxDisc[0])) + "/" + hostForm(config.dxPlace)), UINT64_MAX);
  // Three options, each larger than the next.
  EXPECT_GT(selectedByteTotal(-1, 8), selectedByteTotal(-1, 4));
  EXPECT_GT(selectedByteTotal(-1, 4), selectedByteTotal(-1, 2));
  EXPECT_GT(selectedByteTotal(-1, 2), 0u);
}

TEST_F(SampleDiscs, EveryPictureIsInTheArchiveAndDecodesAtTheSizeItIsUsedAt) {
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

  EpaInfo info;
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(decode("TITLE.EPA", &info, &pixels));
  EXPECT_EQ(info.width, 320u);
  EXPECT_EQ(info.height, 320u);
  ASSERT_TRUE(decode("LOGO.EPA", &info, &pixels));
  EXPECT_EQ(info.width, 400u);
  EXPECT_EQ(info.height, 98u);

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
    if (e.type == kSceneSprite1 || e.type == kSceneSprite2) {
      ASSERT_GT(e.cellHeight, 0);
      EXPECT_EQ(info.height % uint32_t(e.cellHeight), 0u) << "strip of whole cells";
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

TEST_F(SampleDiscs, EveryOptionCopiesFromBothDiscsAndUninstallsWithoutRemains) {
  TempDir base;
  const std::string folder = base.path + "/Hoshimi";
  for (uint32_t option : {8u, 4u, 2u}) {
    SCOPED_TRACE("option " + std::to_string(option));
    std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
    snprintf(installFolder, sizeof installFolder, "%s", folder.c_str());
    ASSERT_TRUE(createInstallFolders());
    for (int d = 0; d < int(config.discNum); d++) {
      std::string root = disc(d + 1) + "\\";
      CopyJob job = {d, option, folder.c_str(), root.c_str(), &bytesRead, &bytesWritten,
                     [](void*) { return int(kCopyContinue); },
                     [](void*, uint32_t, int, int) {}, nullptr};
      ASSERT_EQ(copyDisc(&job), kCopyDone);
    }
    EXPECT_EQ(bytesWritten.load(), selectedByteTotal(-1, option));
    EXPECT_TRUE(readFile(folder + "/" + config.exeName) == readFile(disc(1) + "/" + config.exeName));
    EXPECT_EQ(fileExists(folder + "/MOVIE/OPENING.DAT"), option == 8);
    // Save data that the game made is removed on request with the rest.
    writeFile(folder + "/SAVE/SLOT01.SAV", "save");
    EXPECT_TRUE(removeInstalledFilesIn(folder.c_str(), 1));
    EXPECT_FALSE(fileExists(folder));
  }
  installFolder[0] = 0;
}

}  // namespace
