// install | uninstall: the program's copy walk and removal of installed files,
// run natively, for people who want a game's files from its discs without
// Windows. The same core code as the program: createInstallFolders, then
// copyDisc disc by disc, and removeInstalledFiles; only the disc prompts,
// the scene, the shortcuts and the registry are left out.
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
#include "platform/platform.h"
#include "script/config.h"
#include "script/sjis.h"
#include "tools/tool.h"
#include "uninstall/removal.h"

static const char kInstallUsage[] =
    "install DIR --disc DISC1DIR [--disc DISC2DIR ...] --to FOLDER [--option 8|4|2]";
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

static bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The install folder in the program's form (see mapInstallFolder), checked as
// the program checks a folder it installs into.
static int programInstallFolder(const std::string& host, const char* what, std::string* program) {
  if (host == "/") return failInput(host, std::string(what) + " is the root folder");
  std::string reason;
  *program = mapInstallFolder(host, &reason);
  if (program->empty()) return failInput(host, std::string(what) + ": " + reason);
  if (sjisFindFirstOf(program->c_str() + 3, "\\") >= 0)
    return failInput(host, std::string(what) +
                               "'s name holds a backslash, which the installer reads as a separator");
  if (!folderIsUsable(program->c_str()))
    return failInput(host, std::string(what) + " is longer than 259 bytes");
  return kExitOk;
}

// Program paths as the user knows them: the host's path.
static std::string shown(const std::string& programPath) { return hostPath(programPath.c_str()); }

// Loads KSetup.ini from `dir` as the program does; the current folder stays there.
static int loadScript(const std::string& dir) {
  if (chdir(dir.c_str()) != 0) return failInput(dir, "no such folder");
  releaseConfig();
  if (!loadConfig()) {
    releaseConfig();
    return failInput(dir, "the setup script does not load (see ksetup-tool script check)");
  }
  return kExitOk;
}

// ---- Interruption --------------------------------------------------------------------

static std::atomic<int> stopSignal{0};

static void onStopSignal(int signo) { stopSignal.store(signo); }

// SIGINT and SIGTERM ask the copy to stop at its next check; a second one
// ends the process at once (the handler is reset after the first).
static void catchStopSignals() {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = onStopSignal;
  sa.sa_flags = SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

// ---- File operations that remember -----------------------------------------------------
// The platform's operations, with the last paths opened, the last failure and
// the files made or deleted noted for the messages and summaries. Only the
// thread that copies or removes uses them; the main thread reads the notes
// after it has ended.

struct FileNotes {
  std::string source, destination;  // of the file being copied (program form)
  int error = 0;                    // errno of the last failure
  int openFiles = 0;
  int filesCopied = 0;
  int filesDeleted = 0;
  std::vector<std::string> failedDeletions;  // "path: reason"
};

static FileNotes notes;
static FileOps notingOps;

static void* notingOpenRead(const char* path) {
  notes.source = path;
  void* file = platformFileOps()->openRead(path);
  if (file)
    notes.openFiles++;
  else
    notes.error = errno;
  return file;
}

static void* notingCreate(const char* path) {
  notes.destination = path;
  void* file = platformFileOps()->create(path);
  if (file) {
    notes.openFiles++;
    notes.filesCopied++;
  } else {
    notes.error = errno;
  }
  return file;
}

static bool notingRead(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  bool ok = platformFileOps()->read(file, buffer, bytes, moved);
  if (!ok || *moved != bytes) notes.error = ok ? 0 : errno;
  return ok;
}

static bool notingWrite(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  bool ok = platformFileOps()->write(file, buffer, bytes, moved);
  if (!ok || *moved != bytes) notes.error = errno ? errno : ENOSPC;
  return ok;
}

static void notingClose(void* file) {
  if (file) notes.openFiles--;
  platformFileOps()->close(file);
}

static DeleteResult notingDelete(const char* path) {
  errno = 0;
  DeleteResult result = platformFileOps()->deleteFile(path);
  if (result == kDeleteDone) notes.filesDeleted++;
  if (result == kDeleteFailed) {
    std::string host = shown(path);
    std::string why = isFolder(host) ? "a folder stands where the file was"
                      : errno        ? strerror(errno)
                                     : "cannot delete";
    notes.failedDeletions.push_back(host + ": " + why);
  }
  return result;
}

static void useNotingOps() {
  notes = FileNotes();
  notingOps = *platformFileOps();
  notingOps.openRead = notingOpenRead;
  notingOps.create = notingCreate;
  notingOps.read = notingRead;
  notingOps.write = notingWrite;
  notingOps.close = notingClose;
  notingOps.deleteFile = notingDelete;
  setFileOps(&notingOps);
}

// ---- Progress ------------------------------------------------------------------------

struct Progress {
  bool bar = false;  // stderr is a terminal
  uint64_t total = 0;
  std::chrono::steady_clock::time_point start;
  bool drawn = false;
};

static std::string megabytes(uint64_t bytes) {
  char text[32];
  if (bytes < 1024)
    snprintf(text, sizeof text, "%u bytes", unsigned(bytes));
  else if (bytes < 1048576)
    snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
  else if (bytes < 1073741824)
    snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1048576.0);
  else
    snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1073741824.0);
  return text;
}

static std::string duration(double seconds) {
  long s = long(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

static void drawBar(Progress* p, uint64_t done, const char* state) {
  if (!p->bar) return;
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - p->start).count();
  uint64_t total = p->total > done ? p->total : done;
  double fraction = total ? double(done) / double(total) : 1.0;
  double rate = elapsed > 0.2 ? double(done) / elapsed : 0.0;
  std::string text = " " + megabytes(done) + " / " + megabytes(total);
  if (rate > 0) {
    text += "  " + megabytes(uint64_t(rate)) + "/s";
    if (!state[0]) text += "  " + duration(double(total - done) / rate) + " left";
  }
  if (state[0]) text += std::string("  ") + state;
  struct winsize ws;
  int columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col ? ws.ws_col : 80;
  int width = columns - int(text.size()) - 8;
  if (width > 40) width = 40;
  if (width < 10) width = 10;
  int filled = int(fraction * width);
  fprintf(stderr, "\r%3d%% [%s%s]%s\033[K", int(fraction * 100), std::string(filled, '#').c_str(),
          std::string(width - filled, '-').c_str(), text.c_str());
  fflush(stderr);
  p->drawn = true;
}

static void clearBar(Progress* p) {
  if (p->drawn) fputs("\r\033[K", stderr);
  p->drawn = false;
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
  if (notes.openFiles == 0) {
    notes.source.clear();
    notes.destination.clear();
    notes.error = 0;
  }
  if (run->raiseAt && ++run->checks == run->raiseAt) raise(SIGINT);
  return stopSignal.load() ? kCopyAbort : kCopyContinue;
}

static void installPost(void* context, uint32_t message, int disc, int entry) {
  InstallRun* run = static_cast<InstallRun*>(context);
  if (message == MSG_NEXT_DISC) return;
  run->message = message;
  run->disc = disc;
  run->entry = entry;
}

// The bytes the copy of one disc will move: the real sizes of the selected
// files (the script's FILESIZE may be off), for the progress bar.
static uint64_t bytesToCopy(int disc, const std::string& root, uint32_t option) {
  const FileOps* ops = platformFileOps();
  uint64_t total = 0;
  for (int i = 0; i < kFilesPerDisc && config.fileList[disc][i] && config.fileList[disc][i][0];
       i++) {
    if (!(config.fileOption[disc][i] & option)) continue;
    const char* entry = config.fileList[disc][i];
    struct stat st;
    if (!entryIsPattern(entry)) {
      if (stat(hostPath((root + entry).c_str()).c_str(), &st) == 0) total += uint64_t(st.st_size);
      continue;
    }
    char part[260];
    patternFolderPart(entry, part);
    FoundName found;
    void* search = ops->findFirst((root + entry).c_str(), &found);
    if (!search) continue;
    do {
      std::string file = root + part + "\\" + found.name;
      if (!found.isFolder && stat(hostPath(file.c_str()).c_str(), &st) == 0)
        total += uint64_t(st.st_size);
    } while (ops->findNext(search, &found));
    ops->findClose(search);
  }
  return total;
}

static int parseInstall(int argc, char** argv, std::string* dir, InstallRun* run) {
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--disc" && i + 1 < argc) {
      std::string disc = absolutePath(argv[++i]);
      if (!isFolder(disc)) return failInput(argv[i], "no such folder");
      if (run->discs.size() >= size_t(kDiscs)) return failUsage(kInstallUsage);
      run->roots.push_back(mapDrive(char(kFirstDiscDrive + run->discs.size()), disc));
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
  return programInstallFolder(run->folder, "the install folder", &run->programFolder);
}

// The message for a failed copy: the file it failed on and why.
static int reportCopyFailure(const InstallRun& run) {
  bool reading = run.message == MSG_READ_ERROR;
  const char* entry =
      run.disc >= 0 && run.disc < kDiscs && run.entry >= 0 && run.entry < kFilesPerDisc
          ? config.fileList[run.disc][run.entry]
          : nullptr;
  std::string path = reading ? notes.source : notes.destination;
  if (path.empty() && entry)
    path = reading ? run.roots[size_t(run.disc)] + entry : run.programFolder + "\\" + entry;
  std::string why;
  if (notes.error)
    why = strerror(notes.error);
  else if (reading)
    why = "the file could not be read whole, or the path does not fit in 259 bytes";
  else
    why = "the path does not fit in 259 bytes or would leave the install folder";
  std::string place = "disc " + std::to_string(run.disc + 1) + " entry " +
                      std::to_string(run.entry + 1) +
                      (entry ? std::string(" \"") + entry + "\"" : "");
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
      struct stat st;
      std::string keyPath = hostPath((run.roots[d] + key).c_str());
      if (stat(keyPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return failInput(run.discs[d], "this is not disc " + std::to_string(d + 1) +
                                           ": its key file " + key + " is not there");
    }
    copied.push_back(d);
  }

  Progress progress;
  progress.bar = isatty(STDERR_FILENO);
  for (int d : copied) progress.total += bytesToCopy(d, run.roots[d], run.option);

  catchStopSignals();
  useNotingOps();
  snprintf(installFolder, sizeof installFolder, "%s", run.programFolder.c_str());
  // As in the program, a refused MAKEFOLDER item does not stop the install
  // by itself: a file that needs a folder not made fails with a write error.
  if (!createInstallFolders())
    fprintf(stderr,
            "ksetup-tool: %s: warning: a MAKEFOLDER item is refused (it would leave the install "
            "folder); the folders from it on are not made\n",
            dir.c_str());

  progress.start = std::chrono::steady_clock::now();
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
      if (stopSignal.load() && !saidStop) {
        saidStop = true;
        drawBar(&progress, run.bytesWritten.load(), "stopping: removing what was installed");
      } else if (!saidStop && ++ticks % 5 == 0) {
        drawBar(&progress, run.bytesWritten.load(), "");
      }
    }
    worker.join();
    if (end != kCopyDone) break;
    clearBar(&progress);
    printf("disc %d: %d file%s, %s\n", d + 1, notes.filesCopied - files,
           notes.filesCopied - files == 1 ? "" : "s",
           megabytes(run.bytesWritten.load() - bytes).c_str());
    fflush(stdout);
    files = notes.filesCopied;
    bytes = run.bytesWritten.load();
  }
  clearBar(&progress);
  setFileOps(nullptr);
  journalFree(&run.journal);

  if (end == kCopyFailed) return reportCopyFailure(run);
  if (end == kCopyAborted) {
    int signo = stopSignal.load();
    fprintf(stderr, "ksetup-tool: %s: interrupted; removed what was installed\n",
            run.folder.c_str());
    return 128 + (signo ? signo : SIGINT);
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
  printf("installed %d file%s, %s, into %s in %.1f s\n", notes.filesCopied,
         notes.filesCopied == 1 ? "" : "s", megabytes(run.bytesWritten.load()).c_str(),
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
  if (int rc = programInstallFolder(folder, "the install folder", &programFolder)) return rc;
  if (int rc = loadScript(dir)) return rc;

  snprintf(installFolder, sizeof installFolder, "%s", programFolder.c_str());
  useNotingOps();
  bool removed = removeInstalledFiles(saveData ? 1 : 0);
  setFileOps(nullptr);

  for (const std::string& failure : notes.failedDeletions)
    fprintf(stderr, "ksetup-tool: %s\n", failure.c_str());
  printf("removed %d file%s%s\n", notes.filesDeleted, notes.filesDeleted == 1 ? "" : "s",
         saveData ? ", save data included" : "");
  if (isFolder(folder))
    printf("%s stays: it still holds files or folders the script does not name%s\n", folder.c_str(),
           saveData ? "" : " (save data is kept without --save-data)");
  if (!removed) {
    if (notes.failedDeletions.empty())
      return failInput(folder,
                       "an entry of the script was refused (it would leave the folder or "
                       "does not fit in 259 bytes)");
    return kExitBadInput;
  }
  return kExitOk;
}

int toolInstall(int argc, char** argv) { return install(argc, argv); }
int toolUninstall(int argc, char** argv) { return uninstall(argc, argv); }
