#include "tools/lib/image_drive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "install/install_path.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "platform/text.h"
#include "tools/lib/host_files.h"
#include "tools/lib/iso_image.h"

// ---- Images standing for drives ------------------------------------------------------

// A folder's entries as the program sees them: the code page 932 form of
// each name, or `foreign` with the UTF-8 name when it has none.
struct ImageName {
  std::string name;  // code page 932, or UTF-8 when foreign
  bool foreign;
  IsoEntry entry;  // as stored (UTF-8)
};

struct ImageDrive {
  std::string host;  // the image file as given
  IsoReader* reader = nullptr;
  std::map<std::string, std::vector<ImageName>> folders;  // by image path
};

static ImageDrive drives[26];

static ImageDrive* driveOf(char letter) {
  char upper = letter >= 'a' && letter <= 'z' ? char(letter - 32) : letter;
  if (upper < 'A' || upper > 'Z') return nullptr;
  ImageDrive* drive = &drives[upper - 'A'];
  return drive->reader ? drive : nullptr;
}

static void unmapImage(ImageDrive* drive) {
  closeIsoImage(drive->reader);
  *drive = ImageDrive();
}

void unmapImageDrives() {
  for (ImageDrive& drive : drives)
    if (drive.reader) unmapImage(&drive);
}

std::string mapDisc(char letter, const std::string& hostPath, std::string* reason) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) {
    *reason = "no such folder or disc image";
    return "";
  }
  char upper = letter >= 'a' && letter <= 'z' ? char(letter - 32) : letter;
  ImageDrive* drive = &drives[upper - 'A'];
  if (drive->reader) unmapImage(drive);
  if (S_ISDIR(st.st_mode)) return mapDrive(upper, hostPath);
  std::string why;
  IsoReader* reader = openIsoImage(hostPath, &why);
  if (!reader) {
    *reason = "neither a disc folder nor a disc image: " + why;
    return "";
  }
  setDriveFolder(upper, nullptr);
  drive->host = hostPath;
  drive->reader = reader;
  return std::string(1, upper) + ":\\";
}

// The entries of an image folder, listed once.
static const std::vector<ImageName>* imageFolder(ImageDrive* drive, const std::string& path) {
  auto it = drive->folders.find(path);
  if (it != drive->folders.end()) return &it->second;
  std::vector<IsoEntry> entries;
  if (!listIsoFolder(drive->reader, path, &entries)) return nullptr;
  std::vector<ImageName> names;
  for (const IsoEntry& e : entries) {
    ImageName n;
    // A name whose code page 932 bytes Windows reads as other characters
    // (〜 U+301C, stored by a tool that took the other table) is not found
    // by the script's name on Windows, and so not here either.
    std::string reading;
    n.foreign = !utf8ToCp932(e.name.data(), e.name.size(), &n.name) ||
                !windowsReading(e.name, &reading) || reading != e.name;
    if (n.foreign) n.name = e.name;
    n.entry = e;
    names.push_back(n);
  }
  return &drive->folders.emplace(path, names).first->second;
}

// A program path on an image drive, resolved component by component as
// Windows resolves names on a disc. `image` receives the image's path of
// what it names, or of as much as exists plus the rest converted.
struct Resolved {
  ImageDrive* drive = nullptr;  // null: the path is on no image drive
  bool found = false;
  bool isFolder = false;
  uint64_t size = 0;
  std::string image;
};

static Resolved resolve(const char* path) {
  Resolved r;
  if (!path[0] || path[1] != ':' || (path[2] && path[2] != '\\' && path[2] != '/')) return r;
  r.drive = driveOf(path[0]);
  if (!r.drive) return r;
  const char* rest = path + 2;
  r.found = true;
  r.isFolder = true;  // the root
  while (*rest) {
    while (*rest == '\\' || *rest == '/') rest++;
    if (!*rest) break;
    ptrdiff_t end = sjisFindFirstOf(rest, "\\/");
    std::string part(rest, end < 0 ? strlen(rest) : size_t(end));
    rest += part.size();
    const ImageName* match = nullptr;
    if (r.found && r.isFolder && part != "." && part != "..") {
      if (const std::vector<ImageName>* names = imageFolder(r.drive, r.image))
        for (const ImageName& n : *names)
          if (!n.foreign && sjisSameNoCase(n.name.c_str(), part.c_str())) {
            match = &n;
            break;
          }
    }
    std::string name = match ? match->entry.name : cp932ToUtf8(part.data(), part.size());
    r.image += (r.image.empty() ? "" : "/") + name;
    if (match) {
      r.isFolder = match->entry.isFolder;
      r.size = match->entry.size;
    } else {
      r.found = false;
    }
  }
  if (!r.found) r.isFolder = false;
  return r;
}

std::string shownPath(const std::string& programPath) {
  Resolved r = resolve(programPath.c_str());
  if (!r.drive) return hostPath(programPath.c_str());
  return r.drive->host + ":" + r.image;
}

// ---- File operations -------------------------------------------------------------------
// Every open file and search is wrapped, so that the record can tell an
// image's from the platform's.

struct DiscHandle {
  IsoFileReader* image;  // a file of an image, or null
  void* platform;        // a file or search of the platform
};

struct ImageSearch {
  const std::vector<ImageName>* names;
  size_t next;
  std::string pattern;  // code page 932
};

struct DiscSearch {
  ImageSearch* image;
  void* platform;
};

static const FileOps* host() { return platformFileOps(); }

static void* discOpenRead(const char* path) {
  Resolved r = resolve(path);
  if (!r.drive) {
    void* file = host()->openRead(path);
    return file ? new DiscHandle{nullptr, file} : nullptr;
  }
  IsoFileReader* file = r.found && !r.isFolder ? openIsoFile(r.drive->reader, r.image) : nullptr;
  if (!file) {
    errno = r.found ? EISDIR : ENOENT;
    return nullptr;
  }
  return new DiscHandle{file, nullptr};
}

static bool discSize(void* file, uint64_t* bytes) {
  DiscHandle* h = static_cast<DiscHandle*>(file);
  if (!h->image) return host()->size(h->platform, bytes);
  *bytes = isoFileSize(h->image);
  return true;
}

static void* discCreate(const char* path) {
  if (resolve(path).drive) {
    errno = EROFS;
    return nullptr;
  }
  void* file = host()->create(path);
  return file ? new DiscHandle{nullptr, file} : nullptr;
}

static bool discRead(void* file, void* buffer, uint32_t bytes, uint32_t* moved) {
  DiscHandle* h = static_cast<DiscHandle*>(file);
  if (!h->image) return host()->read(h->platform, buffer, bytes, moved);
  if (readIsoFile(h->image, buffer, bytes, moved)) return true;
  errno = EIO;
  return false;
}

static bool discWrite(void* file, const void* buffer, uint32_t bytes, uint32_t* moved) {
  DiscHandle* h = static_cast<DiscHandle*>(file);
  if (!h->image) return host()->write(h->platform, buffer, bytes, moved);
  *moved = 0;
  errno = EROFS;
  return false;
}

static void discClose(void* file) {
  DiscHandle* h = static_cast<DiscHandle*>(file);
  if (!h) return;
  if (h->image)
    closeIsoFile(h->image);
  else
    host()->close(h->platform);
  delete h;
}

static bool nextImageMatch(ImageSearch* s, FoundName* found) {
  while (s->next < s->names->size()) {
    const ImageName& n = (*s->names)[s->next++];
    if (n.name.size() >= sizeof found->name) continue;
    if (!nameMatchesPattern(s->pattern.c_str(), n.name.c_str())) continue;
    memcpy(found->name, n.name.c_str(), n.name.size() + 1);
    found->isFolder = n.entry.isFolder;
    found->foreign = n.foreign;
    return true;
  }
  return false;
}

static void* discFindFirst(const char* pattern, FoundName* found) {
  Resolved r = resolve(pattern);
  if (!r.drive) {
    void* search = host()->findFirst(pattern, found);
    return search ? new DiscSearch{nullptr, search} : nullptr;
  }
  ptrdiff_t cut = sjisFindLastOf(pattern, "\\/");
  std::string folder(pattern, cut < 0 ? 2 : size_t(cut));
  Resolved f = resolve(folder.c_str());
  const std::vector<ImageName>* names =
      f.found && f.isFolder ? imageFolder(f.drive, f.image) : nullptr;
  if (!names) return nullptr;
  ImageSearch* search = new ImageSearch{names, 0, pattern + (cut < 0 ? 2 : cut + 1)};
  if (!nextImageMatch(search, found)) {
    delete search;
    return nullptr;
  }
  return new DiscSearch{search, nullptr};
}

static bool discFindNext(void* search, FoundName* found) {
  DiscSearch* s = static_cast<DiscSearch*>(search);
  return s->image ? nextImageMatch(s->image, found) : host()->findNext(s->platform, found);
}

static void discFindClose(void* search) {
  DiscSearch* s = static_cast<DiscSearch*>(search);
  if (!s) return;
  if (s->image)
    delete s->image;
  else
    host()->findClose(s->platform);
  delete s;
}

static DeleteResult discDeleteFile(const char* path) {
  if (!resolve(path).drive) return host()->deleteFile(path);
  errno = EROFS;
  return kDeleteFailed;
}

static bool discCreateFolder(const char* path) {
  if (!resolve(path).drive) return host()->createFolder(path);
  errno = EROFS;
  return false;
}

static MoveResult discMoveFile(const char* from, const char* to) {
  if (!resolve(from).drive && !resolve(to).drive) return host()->moveFile(from, to);
  errno = EROFS;
  return kMoveFailed;
}

static bool discRemoveFolder(const char* path) {
  if (!resolve(path).drive) return host()->removeFolder(path);
  errno = EROFS;
  return false;
}

static bool discSetCurrent(const char* path) {
  return !resolve(path).drive && host()->setCurrent(path);
}

static void discSleep(uint32_t milliseconds) { host()->sleep(milliseconds); }

static bool discIsLink(const char* path) { return !resolve(path).drive && host()->isLink(path); }

static const FileOps discOps = {
    discOpenRead,     discSize,       discCreate,    discRead,       discWrite,    discClose,
    discFindFirst,    discFindNext,   discFindClose, discDeleteFile, discMoveFile, discCreateFolder,
    discRemoveFolder, discSetCurrent, discSleep,     discIsLink,
};

const FileOps* discFileOps() { return &discOps; }

DiscEntryKind discEntryKind(const std::string& programPath, uint64_t* size) {
  const FileOps* ops = discFileOps();
  if (void* file = ops->openRead(programPath.c_str())) {
    uint64_t bytes = 0;
    bool known = ops->size(file, &bytes);
    ops->close(file);
    if (size) *size = known ? bytes : 0;
    return kFileEntry;
  }
  Resolved r = resolve(programPath.c_str());
  if (r.drive) return r.found && r.isFolder ? kFolderEntry : kNoEntry;
  struct stat st;
  return stat(hostPath(programPath.c_str()).c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? kFolderEntry
                                                                                      : kNoEntry;
}

int entryFiles(const std::string& root, const std::string& entry, uint64_t* bytes, int* folders,
               std::vector<std::string>* paths) {
  *bytes = 0;
  if (folders) *folders = 0;
  if (!entryIsPattern(entry.c_str())) {
    if (discEntryKind(root + entry, bytes) != kFileEntry) return 0;
    if (paths) paths->push_back(entry);
    return 1;
  }
  const FileOps* ops = discFileOps();
  ptrdiff_t last = sjisFindLastOf(entry.c_str(), "\\/");
  std::string folder = last < 0 ? "" : entry.substr(0, size_t(last) + 1);
  int files = 0;
  FoundName found;
  void* search = ops->findFirst((root + entry).c_str(), &found);
  if (!search) return 0;
  do {
    uint64_t size = 0;
    if (found.isFolder) {
      if (folders) ++*folders;
    } else if (!found.foreign && discEntryKind(root + folder + found.name, &size) == kFileEntry) {
      files++;
      *bytes += size;
      if (paths) paths->push_back(folder + found.name);
    }
  } while (ops->findNext(search, &found));
  ops->findClose(search);
  return files;
}

// ---- The script folder of an image -----------------------------------------------------

static std::vector<std::string> scriptFolders;  // made for images, removed at exit

static std::vector<std::string> scriptFiles;  // what was copied into them

static void removeScriptFolders() {
  for (const std::string& folder : scriptFolders) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);  // else left in the temporary folder
  }
  scriptFolders.clear();
  scriptFiles.clear();
}

// Ctrl+C before a command catches it itself ends the process without exit
// handlers: the copies and their folders go first (with what is safe in a
// signal handler), then the signal takes its course.
static void removeOnSignal(int signo) {
  for (const std::string& file : scriptFiles) unlink(file.c_str());
  for (const std::string& folder : scriptFolders) rmdir(folder.c_str());
  signal(signo, SIG_DFL);
  raise(signo);
}

static void removeOnSignals() {
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction now;
    if (sigaction(signo, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = removeOnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(signo, &sa, nullptr);
  }
}

// Copies the image's file `name` to the host file `to`, a block at a time.
static bool copyOut(IsoReader* image, const std::string& name, const std::string& to) {
  IsoFileReader* file = openIsoFile(image, name);
  FILE* out = file ? fopen(to.c_str(), "wb") : nullptr;
  bool ok = out != nullptr;
  std::vector<char> buffer(1 << 16);
  uint64_t copied = 0;
  for (uint32_t got = 0; ok; copied += got) {
    ok = readIsoFile(file, buffer.data(), uint32_t(buffer.size()), &got);
    if (!ok || got == 0) break;
    ok = fwrite(buffer.data(), 1, got, out) == got;
  }
  ok = ok && copied == isoFileSize(file);
  if (out && fclose(out) != 0) ok = false;
  closeIsoFile(file);
  return ok;
}

// The names the program reads from the root of disc 1 by itself.
static bool loaderReads(const std::string& name) {
  std::string upper;
  for (char c : name) upper += c >= 'a' && c <= 'z' ? char(c - 32) : c;
  auto endsWith = [&](const char* tail) {
    size_t n = strlen(tail);
    return upper.size() > n && upper.compare(upper.size() - n, n, tail) == 0;
  };
  return upper == "KSETUP.INI" || upper == "INSTDATA.PAK" || endsWith(".EPA") || endsWith(".BMP");
}

bool scriptFolderOf(const std::string& dir, std::string* folder, std::string* reason) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    *reason = "no such folder or disc image";
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *folder = dir;
    return true;
  }
  IsoReader* image = openIsoImage(dir, reason);
  if (!image) {
    *reason = "neither a folder nor a disc image: " + *reason;
    return false;
  }
  const char* base = getenv("TMPDIR");
  std::string made = std::string(base && *base ? base : "/tmp") + "/ksetup-image-XXXXXX";
  if (!mkdtemp(&made[0])) {
    *reason = std::string("cannot make a temporary folder: ") + strerror(errno);
    closeIsoImage(image);
    return false;
  }
  if (scriptFolders.empty()) {
    atexit(removeScriptFolders);
    removeOnSignals();
  }
  scriptFiles.reserve(scriptFiles.size() + 8);
  scriptFolders.push_back(made);
  std::vector<IsoEntry> root;
  listIsoFolder(image, "", &root);
  bool ok = true;
  for (const IsoEntry& e : root) {
    if (e.isFolder || !loaderReads(e.name)) continue;
    scriptFiles.push_back(made + "/" + e.name);
    if (!copyOut(image, e.name, made + "/" + e.name)) {
      *reason = e.name + " cannot be read from the image";
      ok = false;
      break;
    }
  }
  closeIsoImage(image);
  *folder = made;
  return ok;
}
