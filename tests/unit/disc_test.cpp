// Where a disc is looked for: root paths of drives, folders and shares
// (names whose second byte is a backslash included), and the order of the
// search over CD-ROM drives, the start folder and the folders beside it.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "media/disc.h"

namespace {

// Shift-JIS bytes: ソ and 表 end in 0x5C.
const std::string kSo = "\x83\x5c";
const std::string kHyo = "\x95\x5c";
const std::string kSoft = kSo + "\x83\x74\x83\x67";  // ソフト

TEST(DiscRoot, RootsOfFolders) {
  struct Case {
    std::string folder, root;
  } cases[] = {
      {"E:", "E:\\"},
      {"E:\\", "E:\\"},
      {"C:\\Games\\Set\\disc2", "C:\\Games\\Set\\disc2\\"},
      {"C:\\Games\\Set\\disc2\\", "C:\\Games\\Set\\disc2\\"},
      {"C:\\" + kHyo, "C:\\" + kHyo + "\\"},  // the trail byte is no separator
      {"C:\\" + kHyo + "\\", "C:\\" + kHyo + "\\"},
      {"\\\\server\\share\\disc1", "\\\\server\\share\\disc1\\"},
      {"", ""},
      {std::string(259, 'a'), ""},  // no room for the backslash
  };
  for (const Case& c : cases) {
    char out[kDiscRootSize];
    EXPECT_EQ(discRootOf(out, sizeof out, c.folder.c_str()), !c.root.empty()) << c.folder;
    EXPECT_EQ(out, c.root) << c.folder;
  }
}

TEST(DiscRoot, DrivesAndParents) {
  struct Case {
    std::string root;
    int drive;
    std::string parent, name;  // empty: no parent
  } cases[] = {
      {"E:\\", 5, "", ""},
      {"e:\\", 5, "", ""},
      {"C:\\disc1\\", 0, "C:\\", "disc1"},
      {"C:\\" + kSoft + "\\disc1\\", 0, "C:\\" + kSoft + "\\", "disc1"},
      {"C:\\Set\\" + kHyo + "\\", 0, "C:\\Set\\", kHyo},
      {"C:\\" + kSo + "\\", 0, "C:\\", kSo},
      {"\\\\server\\share\\", 0, "", ""},
      {"\\\\server\\share\\disc2\\", 0, "\\\\server\\share\\", "disc2"},
      {"C:\\disc1", 0, "", ""},  // not a root
  };
  for (const Case& c : cases) {
    EXPECT_EQ(driveOfRoot(c.root.c_str()), c.drive) << c.root;
    char parent[kDiscRootSize], name[kDiscRootSize];
    EXPECT_EQ(parentRootOf(c.root.c_str(), parent, sizeof parent, name, sizeof name),
              !c.parent.empty())
        << c.root;
    EXPECT_EQ(parent, c.parent) << c.root;
    EXPECT_EQ(name, c.name) << c.root;
  }
}

// Drives, media, files and folders as a test lays them out.
struct FakeSystem : DiscSystem {
  std::string drives_;  // letters; upper case for CD-ROM drives, lower for fixed ones
  std::map<char, MediumState> media;
  std::set<std::string> files;
  std::map<std::string, std::vector<std::string>> folders;
  std::vector<std::string> probed;

  int drives(char* letters, DriveKind* kinds, int max) override {
    int n = 0;
    for (char c : drives_) {
      if (n == max) break;
      bool cdrom = c >= 'A' && c <= 'Z';
      letters[n] = cdrom ? c : static_cast<char>(c - 32);
      kinds[n++] = cdrom ? kDriveCdrom : kDriveFixed;
    }
    return n;
  }
  MediumState medium(char letter) override {
    return media.count(letter) ? media[letter] : kMediumPresent;
  }
  bool fileExists(const char* path) override {
    probed.push_back(path);
    return files.count(path) != 0;
  }
  void eachFolder(const char* root, void (*visit)(void*, const char*), void* context) override {
    for (const std::string& name : folders[root]) visit(context, name.c_str());
  }
};

TEST(DiscSearch, Order) {
  const std::string set = "C:\\" + kSoft + "\\";
  struct Case {
    const char* what;
    std::string drives;
    std::map<char, MediumState> media;
    std::set<std::string> files;
    std::string start;
    std::string found;  // empty: not found
  } cases[] = {
      {"second CD-ROM drive", "cDE", {{'D', kMediumAbsent}}, {"E:\\K.DAT"}, "", "E:\\"},
      {"empty drive passed over", "cDE", {{'D', kMediumAbsent}}, {"D:\\K.DAT"}, "", ""},
      {"no CD-audio device: probed", "cD", {{'D', kMediumUnknown}}, {"D:\\K.DAT"}, "", "D:\\"},
      {"fixed drive's root is no disc", "cD", {}, {"C:\\K.DAT"}, "", ""},
      {"drive before folder",
       "cD",
       {},
       {"D:\\K.DAT", set + "disc1\\K.DAT"},
       set + "disc1\\",
       "D:\\"},
      {"start folder (merged set)",
       "cD",
       {},
       {set + "disc1\\K.DAT"},
       set + "disc1\\",
       set + "disc1\\"},
      {"folder beside", "c", {}, {set + "disc2\\K.DAT"}, set + "disc1\\", set + "disc2\\"},
      {"beside, first by name",
       "c",
       {},
       {set + "b\\K.DAT", set + "A\\K.DAT"},
       set + "disc1\\",
       set + "A\\"},
      {"trail byte folder beside",
       "c",
       {},
       {set + kHyo + "\\K.DAT"},
       set + "disc1\\",
       set + kHyo + "\\"},
      {"share",
       "",
       {},
       {"\\\\srv\\games\\d2\\K.DAT"},
       "\\\\srv\\games\\d1\\",
       "\\\\srv\\games\\d2\\"},
      {"no start folder: drives only", "cD", {}, {set + "disc2\\K.DAT"}, "", ""},
      {"drive root start has no siblings", "c", {}, {"C:\\disc2\\K.DAT"}, "C:\\", ""},
      {"nowhere", "cDE", {}, {"C:\\K.DAT"}, set + "disc1\\", ""},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.drives_ = c.drives;
    system.media = c.media;
    system.files = c.files;
    system.folders[set] = {"disc1", "b", "disc2", kHyo, "A"};
    system.folders["\\\\srv\\games\\"] = {"d2", "d1"};
    system.folders["C:\\"] = {"disc2", kSoft};
    char root[kDiscRootSize];
    EXPECT_EQ(findDisc(system, "K.DAT", c.start.c_str(), root, sizeof root), !c.found.empty())
        << c.what;
    EXPECT_EQ(root, c.found) << c.what;
    // The start folder itself is probed once, never again as a sibling.
    int startProbes = 0;
    for (const std::string& p : system.probed) startProbes += p == c.start + "K.DAT";
    EXPECT_LE(startProbes, 1) << c.what;
  }
}

}  // namespace
