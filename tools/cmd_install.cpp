// install | uninstall: the program's copy walk and removal of installed files,
// run natively, for people who want a game's files from its discs without
// Windows. The same core code as the program: createInstallFolders, then
// copyDisc disc by disc, and removeInstalledFiles; only the disc prompts,
// the scene, the shortcuts and the registry are left out.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "install/copy_walk.h"
#include "install/file_ops.h"
#include "install/install_path.h"
#include "install/removal.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "script/config.h"
#include "tools/lib/host_install.h"
#include "tools/lib/image_drive.h"
#include "tools/lib/noted_file_ops.h"
#include "tools/lib/progress.h"
#include "tools/tool.h"

static const char kInstallUsage[] =
    "install DIR --disc DISC1 [--disc DISC2 ...] --to FOLDER [--option 8|4|2]";
static const char kUninstallUsage[] = "uninstall DIR --from FOLDER [--save-data]";

// ---- Paths ---------------------------------------------------------------------------

// `path` as an absolute host path without trailing separators; relative paths
// are taken from the current folder. Empty when it cannot be made.
static std::string absolutePath(const std::string& path) {
  std::string out = path;
  if (out.empty()) return out;
  if (out[0] != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return "";
    out = std::string(cwd) + "/" + out;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

// The install folder in the program's form, or the one line of its fault.
static int checkedInstallFolder(const std::string& host, const char* what, std::string* program) {
  std::string reason;
  *program = programInstallFolder(host, what, &reason);
  return program->empty() ? failInput(host, reason) : kExitOk;
}

// Program paths as the user knows them: the host's path, or the image's.
static std::string shown(const std::string& programPath) { return shownPath(programPath); }

// Loads KSetup.ini from `dir` as the program does; the current folder stays
// there.
static int loadScript(const std::string& dir) {
  std::string reason;
  return loadScriptOf(dir, &reason) ? kExitOk : failInput(dir, reason);
}

// ---- install -------------------------------------------------------------------------

struct InstallRun {
  std::vector<std::string> discs;  // absolute, disc 1 first
  std::vector<std::string> roots;  // the discs as drives: "E:\\", "F:\\", ...
  std::string folder;              // absolute install folder
  std::string programFolder;       // the install folder in the program's form
  InstallJournal journal = {};     // what this install wrote, taken back on a stop
  uint32_t option = 8;
  std::atomic<uint64_t> bytesRead{0}, bytesWritten{0};
  // Set by the copy's post: the failure and where.
  uint32_t message = 0;
  int disc = -1, entry = -1;
  // Test hook: raise SIGINT at this check (0 never), so that an abort can be
  // tested at an exact point of the copy.
  unsigned long raiseAt = 0;
  unsigned long checks = 0;
};

static int installCheck(void* context) {
  InstallRun* run = static_cast<InstallRun*>(context);
  // With no file open this is the check at the start of an entry.
  if (fileNotes.openFiles == 0) {
    fileNotes.source.clear();
    fileNotes.destination.clear();
    fileNotes.error = 0;
  }
  if (run->raiseAt && ++run->checks == run->raiseAt) raise(SIGINT);
  return stopSignalSeen() ? kCopyAbort : kCopyContinue;
}

static void installPost(void* context, uint32_t message, int disc, int entry) {
  InstallRun* run = static_cast<InstallRun*>(context);
  if (message == MSG_NEXT_DISC) return;
  run->message = message;
  run->disc = disc;
  run->entry = entry;
}

static int parseInstall(int argc, char** argv, std::string* dir, InstallRun* run) {
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--disc" && i + 1 < argc) {
      std::string disc = absolutePath(argv[++i]);
      if (run->discs.size() >= size_t(kDiscs)) return failUsage(kInstallUsage);
      std::string reason;
      std::string root = mapDisc(char(kFirstDiscDrive + run->discs.size()), disc, &reason);
      if (root.empty()) return failInput(argv[i], reason);
      run->roots.push_back(root);
      run->discs.push_back(disc);
    } else if (a == "--to" && i + 1 < argc) {
      run->folder = absolutePath(argv[++i]);
      if (run->folder.empty()) return failUsage(kInstallUsage);
    } else if (a == "--option" && i + 1 < argc) {
      std::string o = argv[++i];
      if (o != "8" && o != "4" && o != "2") return failUsage(kInstallUsage);
      run->option = uint32_t(atoi(o.c_str()));
    } else if (a.size() > 1 && a[0] == '-') {
      return failUsage(kInstallUsage);
    } else if (dir->empty()) {
      *dir = a;
    } else {
      return failUsage(kInstallUsage);
    }
  }
  if (dir->empty() || run->discs.empty() || run->folder.empty()) return failUsage(kInstallUsage);
  return checkedInstallFolder(run->folder, "the install folder", &run->programFolder);
}

// The message for a failed copy: the file it failed on and why.
static int reportCopyFailure(const InstallRun& run) {
  bool reading = run.message == MSG_READ_ERROR;
  const char* entry =
      run.disc >= 0 && run.disc < kDiscs && run.entry >= 0 && run.entry < kFilesPerDisc
          ? config.fileList[run.disc][run.entry]
          : nullptr;
  std::string path = reading ? fileNotes.source : fileNotes.destination;
  if (path.empty() && entry)
    path = reading ? run.roots[size_t(run.disc)] + entry : run.programFolder + "\\" + entry;
  std::string why;
  if (fileNotes.error)
    why = strerror(fileNotes.error);
  else if (reading)
    why = "the file could not be read whole, or the path does not fit in 259 bytes";
  else
    why = "the path does not fit in 259 bytes or would leave the install folder";
  std::string place = "disc " + std::to_string(run.disc + 1) + " entry " +
                      std::to_string(run.entry + 1) +
                      (entry ? " \"" + cp932ToUtf8(entry, strlen(entry)) + "\"" : "");
  return failInput(shown(path), std::string(reading ? "read error" : "write error") + " (" + place +
                                    "): " + why + "; removed what was installed");
}

static int install(int argc, char** argv) {
  std::string dir;
  InstallRun run;
  if (int rc = parseInstall(argc, argv, &dir, &run)) return rc;
  if (const char* at = getenv("KSETUP_TOOL_TEST_SIGINT_AT")) run.raiseAt = strtoul(at, nullptr, 10);
  if (int rc = loadScript(dir)) return rc;

  // The discs the program would ask for: those below DISCNUM whose list
  // selects bytes for the option.
  std::vector<int> copied;
  uint32_t discCount = config.discNum < uint32_t(kDiscs) ? config.discNum : uint32_t(kDiscs);
  for (int d = 0; d < int(discCount); d++) {
    if (selectedByteTotal(d, run.option) == 0) continue;
    if (size_t(d) >= run.discs.size())
      return failInput(dir, "disc " + std::to_string(d + 1) + " has files for option " +
                                std::to_string(run.option) + ": give it with --disc");
    const char* key = config.keyFile[d];
    if (key[0]) {
      if (discEntryKind(run.roots[d] + key, nullptr) != kFileEntry)
        return failInput(run.discs[d], "this is not disc " + std::to_string(d + 1) +
                                           ": its key file " + cp932ToUtf8(key, strlen(key)) +
                                           " is not there");
    }
    copied.push_back(d);
  }

  uint64_t total = 0;
  for (int d : copied) total += bytesToCopy(d, run.roots[d], run.option);
  Progress progress;
  startProgress(&progress, total);

  catchStopSignals();
  useNotedFileOps();
  snprintf(installFolder, sizeof installFolder, "%s", run.programFolder.c_str());
  // As in the program, a refused MAKEFOLDER item does not stop the install
  // by itself: a file that needs a folder not made fails with a write error.
  if (!createInstallFolders(nullptr, &run.journal))
    fprintf(stderr,
            "ksetup-tool: %s: warning: a MAKEFOLDER item is refused (it would leave the install "
            "folder); the folders from it on are not made\n",
            dir.c_str());

  int files = 0;
  uint64_t bytes = 0;
  CopyEnd end = kCopyDone;
  for (int d : copied) {
    const std::string& root = run.roots[d];
    CopyJob job = {d,
                   run.option,
                   installFolder,
                   root.c_str(),
                   &run.bytesRead,
                   &run.bytesWritten,
                   installCheck,
                   installPost,
                   &run,
                   &run.journal};
    // The copy runs on its own thread, as in the program, so that the bar
    // moves also while one check is far from the next.
    std::atomic<bool> finished{false};
    std::thread worker([&] {
      end = copyDisc(&job);
      finished = true;
    });
    int ticks = 0;
    bool saidStop = false;
    while (!finished) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (stopSignalSeen() && !saidStop) {
        saidStop = true;
        drawBar(&progress, run.bytesWritten.load(), "stopping: removing what was installed");
      } else if (!saidStop && ++ticks % 5 == 0) {
        drawBar(&progress, run.bytesWritten.load(), "");
      }
    }
    worker.join();
    if (end != kCopyDone) break;
    clearBar(&progress);
    printf("disc %d: %d file%s, %s\n", d + 1, fileNotes.filesCopied - files,
           fileNotes.filesCopied - files == 1 ? "" : "s",
           megabytes(run.bytesWritten.load() - bytes).c_str());
    fflush(stdout);
    files = fileNotes.filesCopied;
    bytes = run.bytesWritten.load();
  }
  clearBar(&progress);
  setFileOps(nullptr);
  // Complete: the former content of the files it replaced goes.
  if (end == kCopyDone) journalCommit(&run.journal);
  journalFree(&run.journal);

  if (end == kCopyFailed) return reportCopyFailure(run);
  if (end == kCopyAborted) {
    int signo = stopSignalSeen();
    fprintf(stderr, "ksetup-tool: %s: interrupted; removed what was installed\n",
            run.folder.c_str());
    return 128 + (signo ? signo : SIGINT);
  }
  double seconds = progressSeconds(progress);
  printf("installed %d file%s, %s, into %s in %.1f s\n", fileNotes.filesCopied,
         fileNotes.filesCopied == 1 ? "" : "s", megabytes(run.bytesWritten.load()).c_str(),
         run.folder.c_str(), seconds);
  return kExitOk;
}

// ---- uninstall -------------------------------------------------------------------------

static int uninstall(int argc, char** argv) {
  std::string dir, folder;
  bool saveData = false;
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--from" && i + 1 < argc) {
      folder = absolutePath(argv[++i]);
    } else if (a == "--save-data") {
      saveData = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return failUsage(kUninstallUsage);
    } else if (dir.empty()) {
      dir = a;
    } else {
      return failUsage(kUninstallUsage);
    }
  }
  if (dir.empty() || folder.empty()) return failUsage(kUninstallUsage);
  if (!isFolder(folder)) return failInput(folder, "no such folder");
  std::string programFolder;
  if (int rc = checkedInstallFolder(folder, "the install folder", &programFolder)) return rc;
  if (int rc = loadScript(dir)) return rc;

  snprintf(installFolder, sizeof installFolder, "%s", programFolder.c_str());
  useNotedFileOps();
  bool removed = removeInstalledFiles(saveData ? 1 : 0);
  setFileOps(nullptr);

  for (const std::string& failure : fileNotes.failedDeletions)
    fprintf(stderr, "ksetup-tool: %s\n", failure.c_str());
  printf("removed %d file%s%s\n", fileNotes.filesDeleted, fileNotes.filesDeleted == 1 ? "" : "s",
         saveData ? ", save data included" : "");
  if (isFolder(folder))
    printf("%s stays: it still holds files or folders the script does not name%s\n", folder.c_str(),
           saveData ? "" : " (save data is kept without --save-data)");
  if (!removed) {
    if (fileNotes.failedDeletions.empty())
      return failInput(folder,
                       "an entry of the script was refused (it would leave the folder or "
                       "does not fit in 259 bytes)");
    return kExitBadInput;
  }
  return kExitOk;
}

int toolInstall(int argc, char** argv) { return install(argc, argv); }
int toolUninstall(int argc, char** argv) { return uninstall(argc, argv); }
