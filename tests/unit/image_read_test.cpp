// Damaged disc images: every command that reads one refuses it in a moment,
// with a reason, and leaves nothing in the temporary folder. The images are
// written by the image engine here and then spoiled byte by byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/unit/test_util.h"
#include "tools/lib/iso_image.h"

namespace {

namespace fs = std::filesystem;

uint32_t le32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
         uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}

// A number stored both ways (little-endian, then big-endian), as ISO 9660 does.
void putBoth(std::string* s, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) {
    (*s)[at + i] = char(value >> (8 * i));
    (*s)[at + 7 - i] = char(value >> (8 * i));
  }
}

// The offsets of the records of the Joliet root folder, its own two left out.
struct JolietRoot {
  uint32_t block = 0;           // where the root's records are
  std::vector<size_t> records;  // offsets in the image
};

JolietRoot jolietRoot(const std::string& image) {
  JolietRoot root;
  for (size_t d = 16 * 2048; d + 2048 <= image.size(); d += 2048) {
    if (uint8_t(image[d]) == 255) break;
    if (image[d] == 2 && image.compare(d + 88, 2, "%/") == 0) {
      root.block = le32(image, d + 156 + 2);
      break;
    }
  }
  size_t at = size_t(root.block) * 2048, end = at + 2048;
  while (at < end && image[at] != 0) {
    if (!(uint8_t(image[at + 32]) == 1 && uint8_t(image[at + 33]) <= 1)) root.records.push_back(at);
    at += uint8_t(image[at]);
  }
  return root;
}

// The first record of the root that is (or is not) a folder.
size_t firstRecord(const std::string& image, bool folder) {
  for (size_t at : jolietRoot(image).records)
    if (((image[at + 25] & 2) != 0) == folder) return at;
  return 0;
}

// Runs the tool with TMPDIR set, killed after 30 s: its exit code.
int runBounded(const std::string& args, const std::string& tmp, std::string* err) {
  std::string errFile = tmp + "/../stderr.txt";
  std::string cmd = "TMPDIR='" + tmp + "' timeout -s KILL 30 '" KSETUP_TOOL "' " + args +
                    " >/dev/null 2>'" + errFile + "'";
  int status = system(cmd.c_str());
  *err = readFile(errFile);
  fs::remove(errFile);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DamagedImages, AreRefusedByEveryCommandWithoutHangingOrLeftovers) {
  TempDir dir;
  fs::create_directories(dir.file("disc/DATA/SUB"));
  writeFile(dir.file("disc/KSetup.ini"), "DISCNUM = 1\r\nAPPLITITLE = \"A\"\r\n");
  writeFile(dir.file("disc/DATA/SUB/A.BIN"), bytes(5000, 1));
  std::string error;
  ASSERT_TRUE(writeIsoImage(dir.file("disc"), {}, "DAMAGED", dir.file("good.iso"), nullptr, nullptr,
                            &error))
      << error;
  const std::string good = readFile(dir.file("good.iso"));
  ASSERT_NE(firstRecord(good, true), 0u);
  ASSERT_NE(firstRecord(good, false), 0u);

  struct Case {
    const char* what;
    std::function<void(std::string*)> spoil;
    const char* reason;
  } cases[] = {
      {"a folder pointing back at the root",
       [](std::string* s) { putBoth(s, firstRecord(*s, true) + 2, jolietRoot(*s).block); },
       "a loop"},
      {"a file forged to 4 GiB",
       [](std::string* s) { putBoth(s, firstRecord(*s, false) + 10, 0xFFFFFFFFu); },
       "reaches past the end of the image"},
      {"a file whose extents go on past its folder",
       [](std::string* s) { (*s)[firstRecord(*s, false) + 25] |= char(0x80); },
       "extents are broken off"},
      {"a file forged to start past the end",
       [](std::string* s) { putBoth(s, firstRecord(*s, false) + 2, 0x7FFFFFFFu); },
       "reaches past the end of the image"},
      {"a name longer than its record",
       [](std::string* s) { (*s)[firstRecord(*s, true) + 32] = char(200); },
       "does not fit its record"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    c.spoil(&bad);
    writeFile(dir.file("bad.iso"), bad);
    EXPECT_EQ(openIsoImage(dir.file("bad.iso"), &error), nullptr);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    const std::string image = quote(dir.file("bad.iso"));
    for (const std::string& command :
         {"disc list " + image, "script check " + image, "script dump " + image,
          "install " + image + " --disc " + image + " --to " + quote(dir.file("to"))}) {
      SCOPED_TRACE(command);
      fs::create_directories(dir.file("tmp"));
      std::string err;
      EXPECT_EQ(runBounded(command, dir.file("tmp"), &err), 1) << err;
      EXPECT_NE(err.find(c.reason), std::string::npos) << err;
      EXPECT_TRUE(fs::is_empty(dir.file("tmp"))) << "a temporary folder is left";
    }
  }

  // The undamaged image reads, and its copies of the script go at the end.
  fs::create_directories(dir.file("tmp"));
  std::string err;
  EXPECT_EQ(runBounded("script dump " + quote(dir.file("good.iso")), dir.file("tmp"), &err), 0)
      << err;
  EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
}

}  // namespace
