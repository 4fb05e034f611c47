// The copy of a two-disc set under every fault it can meet, one case at a
// time: a failed or short read at every block of every file, a failed or
// short write at every block, a failed open and create of every file, an
// abort at every message check, and a pause with resume at every message
// check. The disc set has the sample set's shape (subfolders, a wildcard
// entry, an entry of another option, save data and foreign files in the
// install folder) with files of 0, 1, 4095, 4096, 4097 and over 3 blocks.
//
// What each case must show: the messages posted (kind, disc, entry); no file a
// list names left in the install folder after a failure or abort; the files
// that were there before and that no list names unchanged; every path the
// copy and its clean-up touch below the install folder (or, for reads, on a
// disc); after a pause and resume, every copy equal to its source.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "install/install_path.h"
#include "install/removal.h"
#include "platform/platform.h"
#include "script/config.h"
#include "tests/unit/disc_fixture.h"

namespace {

// ---- The disc set ------------------------------------------------------------------

struct DiscFile {
  const char* path;  // as the disc holds it, '\' separated
  uint32_t size;
};

struct ListEntry {
  const char* entry;
  uint32_t option;
  std::vector<DiscFile> files;  // what the entry copies (a pattern: every match)
};

const uint32_t kThreeBlocksAndMore = 3 * 4096 + 517;

// Disc 1 and disc 2 lists, with the install option 8 (full).
const std::vector<std::vector<ListEntry>> kLists = {
    {
        {"HOSHIMI.EXE", 14, {{"HOSHIMI.EXE", 4097}}},
        {"DATA\\SYSTEM.PAK", 14, {{"DATA\\SYSTEM.PAK", 4096}}},
        {"DATA\\EMPTY.DAT", 14, {{"DATA\\EMPTY.DAT", 0}}},
        {"DATA\\GRAPHIC.PAK", 12, {{"DATA\\GRAPHIC.PAK", kThreeBlocksAndMore}}},
        {"DATA\\MINIMAL.PAK", 2, {}},  // another option: passed over
        {"MANUAL\\README.TXT", 14, {{"MANUAL\\README.TXT", 4095}}},
        {"DATA\\ONE.DAT", 8, {{"DATA\\ONE.DAT", 1}}},
    },
    {
        {"DATA\\VOICE\\VOICE1.PAK", 8, {{"DATA\\VOICE\\VOICE1.PAK", 8192}}},
        // Both matches have the same size, so the order the search returns
        // them in changes no count below.
        {"MOVIE\\*.DAT", 8, {{"MOVIE\\OP.DAT", 5000}, {"MOVIE\\ED.DAT", 5000}}},
    },
};
const std::vector<std::string> kFolders = {"DATA", "DATA\\VOICE", "MOVIE", "MANUAL", "SAVE"};
const std::vector<std::string> kSaveData = {"SAVE\\*.SAV", "SAVE\\CONFIG.DAT"};
// Disc files no entry copies: a file of the other option, a name the pattern
// does not match, and a folder it does.
const std::vector<DiscFile> kDiscExtras = {
    {"DATA\\MINIMAL.PAK", 300}, {"MOVIE\\NOTE.TXT", 10}};
const char* const kDiscFolderMatch = "MOVIE\\EXTRA.DAT";
// In the install folder before the copy, named by no file list.
const std::vector<std::string> kForeign = {"mine.txt", "SAVE/SLOT1.SAV", "SAVE/CONFIG.DAT",
                                           "DATA/mods.txt"};

std::string content(const std::string& name, uint32_t size) {
  std::string s(size, '\0');
  uint32_t seed = 0;
  for (char c : name) seed = seed * 31 + uint8_t(c);
  for (uint32_t i = 0; i < size; i++) s[i] = char((i * 131 + seed + (i >> 12) * 7) & 0xFF);
  return s;
}

// ---- The expected run, from the lists alone ------------------------------------------

struct Step {
  int disc;
  int entry;
};

struct Model {
  std::vector<Step> blocks;  // every block read and written, in order
  std::vector<Step> files;   // every file opened and created
  std::vector<Step> checks;  // every message check
  std::vector<int> checksPerDisc;
};

Model model() {
  Model m;
  for (int d = 0; d < int(kLists.size()); d++) {
    size_t before = m.checks.size();
    for (int i = 0; i < int(kLists[d].size()); i++) {
      const ListEntry& e = kLists[d][i];
      m.checks.push_back({d, i});
      if ((e.option & 8) == 0) continue;
      for (const DiscFile& f : e.files) {
        m.files.push_back({d, i});
        uint32_t blocks = (f.size + 4095) / 4096;
        for (uint32_t b = 0; b < blocks; b++) {
          // A check before every block but a file's last.
          if (b + 1 < blocks) m.checks.push_back({d, i});
          m.blocks.push_back({d, i});
        }
      }
    }
    m.checks.push_back({d, int(kLists[d].size())});  // the end of the list
    m.checksPerDisc.push_back(int(m.checks.size() - before));
  }
  return m;
}

// ---- File operations with one fault, and a record of every path -------------------------

enum FaultKind { kNone, kOpen, kCreate, kRead, kShortRead, kWrite, kShortWrite, kAbort, kPause };
const char* const kKindNames[] = {"none", "open", "create", "read", "short read",
                                  "write", "short write", "abort", "pause"};

struct Fault {
  FaultKind kind = kNone;
  int at = 0;  // which call of its kind, from 1
};
Fault fault;

// The log's hooks for the fault: one failed or shortened call of its kind.
void armFault(FaultKind kind, int at) {
  fault.kind = kind;
  fault.at = at;
  opLog = OpLog();
  opLog.failOpen = [](int n) { return fault.kind == kOpen && n == fault.at; };
  opLog.failCreate = [](int n) { return fault.kind == kCreate && n == fault.at; };
  auto move = [](FaultKind fails, FaultKind shortens) {
    return [fails, shortens](int n, uint32_t* bytes) {
      if (n != fault.at) return true;
      if (fault.kind == shortens) --*bytes;
      return fault.kind != fails;
    };
  };
  opLog.onRead = move(kRead, kShortRead);
  opLog.onWrite = move(kWrite, kShortWrite);
}

// ---- Message checks and posts -------------------------------------------------------------

typedef std::tuple<uint32_t, int, int> Post;

struct CopyRun {
  int checks = 0;
  std::vector<Post> posts;
  // Pause: the check numbered fault.at blocks until the test resumes it.
  std::mutex m;
  std::condition_variable cv;
  bool paused = false, resumed = false;
};

int runCheck(void* context) {
  CopyRun* run = static_cast<CopyRun*>(context);
  int n = ++run->checks;
  if (n != fault.at) return kCopyContinue;
  if (fault.kind == kAbort) return kCopyAbort;
  if (fault.kind == kPause) {
    std::unique_lock<std::mutex> lock(run->m);
    run->paused = true;
    run->cv.notify_all();
    run->cv.wait(lock, [run] { return run->resumed; });
  }
  return kCopyContinue;
}

void runPost(void* context, uint32_t message, int disc, int entry) {
  static_cast<CopyRun*>(context)->posts.emplace_back(message, disc, entry);
}

// ---- The matrix ---------------------------------------------------------------------------

class FaultMatrix : public ::testing::Test {
 protected:
  TempDir discs[2], base;
  std::string roots[2], folder;
  KeepCurrentFolder keep;
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  FileOps ops = loggingOps();
  InstallJournal journal = {};

  void SetUp() override {
    releaseConfig();
    clearInstallLists();
    for (int d = 0; d < 2; d++) {
      roots[d] = discs[d].path + "\\";
      std::vector<std::pair<std::string, uint32_t>> list;
      for (const ListEntry& e : kLists[d]) {
        list.emplace_back(e.entry, e.option);
        for (const DiscFile& f : e.files) put(d, f);
      }
      setFileList(d, list);
    }
    for (const DiscFile& f : kDiscExtras) put(f.path[0] == 'M' ? 1 : 0, f);
    ASSERT_EQ(mkdir(discs[1].file(hostForm(kDiscFolderMatch)).c_str(), 0777), 0);
    setTexts(config.makeFolder, kFolders);
    setTexts(config.saveData, kSaveData);
    folder = base.path + "\\Game";
    setInstallFolder(folder);
    setFileOps(&ops);
  }
  void TearDown() override {
    setFileOps(nullptr);
    journalFree(&journal);
    clearInstallLists();
    installFolder[0] = 0;
  }
  void put(int d, const DiscFile& f) { putFile(discs[d].path, f.path, content(f.path, f.size)); }
  std::string installed(const std::string& name) { return base.path + "/Game/" + hostForm(name); }

  // The install window's part: folders, then one copy per disc while the
  // previous one finished its list.
  std::vector<CopyEnd> install(CopyRun* run) {
    std::vector<CopyEnd> ends;
    // One journal over the folders and both discs, as the program keeps it.
    for (int d = 0; d < 2; d++) {
      CopyJob job = {d, 8, folder.c_str(), roots[d].c_str(), &bytesRead, &bytesWritten,
                     runCheck, runPost, run, &journal};
      ends.push_back(copyDisc(&job));
      if (ends.back() != kCopyDone) break;
    }
    journalFree(&journal);
    return ends;
  }

  // A fresh install folder holding the foreign files.
  void prepare() {
    std::error_code error;
    std::filesystem::remove_all(base.path + "/Game", error);
    ASSERT_FALSE(error) << error.message();
    setFileOps(nullptr);
    journalFree(&journal);
    ASSERT_TRUE(createInstallFolders(nullptr, &journal));
    setFileOps(&ops);
    for (const std::string& f : kForeign) writeFile(installed(f), content(f, 100));
  }

  // Every path lies below the install folder (or is it), or is a read or
  // search on a disc; the only other folder made current is the drive root.
  void checkPaths() {
    const std::string inside = hostForm(folder);
    for (const auto& t : opLog.touched) {
      const std::string& op = t.first;
      if (op == "sleep") continue;
      const std::string path = hostForm(t.second);
      EXPECT_EQ(path.find("/../"), std::string::npos) << op << " " << t.second;
      bool below = path == inside || path.compare(0, inside.size() + 1, inside + "/") == 0;
      bool onDisc = false;
      for (const std::string& r : roots) onDisc = onDisc || path.compare(0, r.size(), hostForm(r)) == 0;
      if (op == "open")
        EXPECT_TRUE(onDisc) << op << " " << t.second;
      else if (op == "find")
        EXPECT_TRUE(onDisc || below) << op << " " << t.second;
      else if (op == "cd")
        EXPECT_TRUE(below || path == "/") << op << " " << t.second;
      else
        EXPECT_TRUE(below) << op << " " << t.second;
    }
  }

  void checkForeignUntouched() {
    for (const std::string& f : kForeign)
      EXPECT_TRUE(readFile(installed(f)) == content(f, 100)) << f << " changed";
  }

  // No file any list names (every option, patterns matched in the folder).
  void checkNothingListedLeft() {
    for (const auto& list : kLists)
      for (const ListEntry& e : list) {
        EXPECT_FALSE(fileExists(installed(e.entry))) << e.entry;
        for (const DiscFile& f : e.files) EXPECT_FALSE(fileExists(installed(f.path))) << f.path;
      }
    EXPECT_FALSE(fileExists(installed("DATA/VOICE")));
    EXPECT_FALSE(fileExists(installed("MOVIE")));
    EXPECT_FALSE(fileExists(installed("MANUAL")));
  }

  void checkAllCopied() {
    for (const auto& list : kLists)
      for (const ListEntry& e : list) {
        if ((e.option & 8) == 0) {
          EXPECT_FALSE(fileExists(installed(e.entry))) << e.entry;
          continue;
        }
        for (const DiscFile& f : e.files)
          EXPECT_TRUE(readFile(installed(f.path)) == content(f.path, f.size)) << f.path << " differs";
      }
    EXPECT_FALSE(fileExists(installed("MOVIE/NOTE.TXT")));
    EXPECT_FALSE(fileExists(installed("MOVIE/EXTRA.DAT")));
  }

  static int failures() {
    const ::testing::TestResult* r =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int n = 0;
    for (int i = 0; i < r->total_part_count(); i++) n += r->GetTestPartResult(i).failed();
    return n;
  }
};

TEST_F(FaultMatrix, EveryFaultAtEveryStepOfATwoDiscInstall) {
  const Model m = model();
  const uint64_t total = [] {
    uint64_t t = 0;
    for (const auto& list : kLists)
      for (const ListEntry& e : list)
        if (e.option & 8)
          for (const DiscFile& f : e.files) t += f.size;
    return t;
  }();
  const Post nextDisc{MSG_NEXT_DISC, 0, 0};

  // A clean run first: the counts of every kind of call match the model.
  prepare();
  armFault(kNone, 0);
  CopyRun clean;
  ASSERT_EQ(install(&clean), (std::vector<CopyEnd>{kCopyDone, kCopyDone}));
  EXPECT_EQ(clean.posts, (std::vector<Post>{nextDisc, nextDisc}));
  ASSERT_EQ(clean.checks, int(m.checks.size()));
  ASSERT_EQ(opLog.reads, int(m.blocks.size()));
  ASSERT_EQ(opLog.writes, int(m.blocks.size()));
  ASSERT_EQ(opLog.opens, int(m.files.size()));
  ASSERT_EQ(opLog.creates, int(m.files.size()));
  checkAllCopied();
  checkForeignUntouched();
  checkPaths();

  // Every case: a kind and the call of that kind it hits.
  std::vector<std::pair<FaultKind, int>> cases;
  for (FaultKind kind : {kOpen, kCreate})
    for (int k = 1; k <= int(m.files.size()); k++) cases.emplace_back(kind, k);
  for (FaultKind kind : {kRead, kShortRead, kWrite, kShortWrite})
    for (int k = 1; k <= int(m.blocks.size()); k++) cases.emplace_back(kind, k);
  for (FaultKind kind : {kAbort, kPause})
    for (int k = 1; k <= int(m.checks.size()); k++) cases.emplace_back(kind, k);

  int run = 0, passed = 0;
  for (const auto& c : cases) {
    const FaultKind kind = c.first;
    const int at = c.second;
    SCOPED_TRACE(std::string(kKindNames[kind]) + " #" + std::to_string(at));
    const int failuresBefore = failures();
    run++;
    prepare();
    armFault(kind, at);
    bytesRead = bytesWritten = 0;
    CopyRun r;

    // Where the fault falls, by the model.
    const Step where = kind == kOpen || kind == kCreate ? m.files[at - 1]
                       : kind == kAbort || kind == kPause ? m.checks[at - 1]
                                                          : m.blocks[at - 1];
    std::vector<Post> expected;
    if (where.disc == 1) expected.push_back(nextDisc);

    if (kind == kPause) {
      std::vector<CopyEnd> ends;
      std::thread worker([&] { ends = install(&r); });
      uint64_t held;
      {
        std::unique_lock<std::mutex> lock(r.m);
        r.cv.wait(lock, [&] { return r.paused; });
        held = bytesWritten.load();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      EXPECT_EQ(bytesWritten.load(), held);  // nothing moves while paused
      {
        std::lock_guard<std::mutex> lock(r.m);
        r.resumed = true;
      }
      r.cv.notify_all();
      worker.join();
      EXPECT_EQ(ends, (std::vector<CopyEnd>{kCopyDone, kCopyDone}));
      EXPECT_EQ(r.posts, (std::vector<Post>{nextDisc, nextDisc}));
      EXPECT_EQ(r.checks, int(m.checks.size()));
      EXPECT_EQ(bytesRead.load(), total);
      EXPECT_EQ(bytesWritten.load(), total);
      checkAllCopied();
    } else {
      std::vector<CopyEnd> ends = install(&r);
      std::vector<CopyEnd> expectedEnds(where.disc, kCopyDone);
      if (kind == kAbort) {
        expectedEnds.push_back(kCopyAborted);
      } else {
        expectedEnds.push_back(kCopyFailed);
        bool reading = kind == kOpen || kind == kRead || kind == kShortRead;
        expected.emplace_back(reading ? MSG_READ_ERROR : MSG_WRITE_ERROR, where.disc, where.entry);
      }
      EXPECT_EQ(ends, expectedEnds);
      EXPECT_EQ(r.posts, expected);
      // The copy stops at the fault: no check after it.
      if (kind == kAbort) {
        EXPECT_EQ(r.checks, at);
      }
      checkNothingListedLeft();
    }
    checkForeignUntouched();
    checkPaths();
    if (failures() == failuresBefore) passed++;
  }

  printf("fault matrix: %d cases run, %d passed (%zu files, %zu blocks, %zu checks)\n", run,
         passed, m.files.size(), m.blocks.size(), m.checks.size());
  RecordProperty("fault_cases_run", run);
  RecordProperty("fault_cases_passed", passed);
  EXPECT_EQ(passed, run);
}

}  // namespace
