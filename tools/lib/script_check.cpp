#include "tools/lib/script_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "install/install_path.h"
#include "install/file_ops.h"
#include "media/epa.h"

#include "media/pack.h"
#include "platform/platform.h"
#include "platform/sjis.h"
#include "platform/text.h"
#include "script/config.h"
#include "script/scanner.h"
#include "tools/lib/host_files.h"
#include "tools/lib/image_drive.h"

// ---- Loading with a report --------------------------------------------------------

static bool isWordByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The token at `at` for a message: up to a blank or line end, at most 40
// bytes, decoded for the terminal.
static std::string token(const char* at) {
  if (!at) return "";
  const char* end = skipWord(at);
  size_t n = size_t(end - at);
  if (n > 40) n = 40;
  return cp932ToUtf8(at, n);
}

static std::string keywordName(int keyword) {
  return keyword > 0 && keyword < kLineKeywordCount ? lineKeywords[keyword].word : "the line";
}

static void addFinding(LoadRun* run, int line, bool error, const std::string& message) {
  run->findings.push_back({line, error, message});
}

// Looks at a line as a whole: words the loader passes over without a word.
static void checkLine(LoadRun* run, int line, const char* at, int keyword) {
  const char* end = lineEnd(at);
  if (keyword == kKeyComment) return;
  if (keyword != 0) {
    const char* after = at + strlen(lineKeywords[keyword].word);
    if (isWordByte(*after))
      addFinding(run, line, false,
                 "'" + token(at) + "' is read as the keyword " + keywordName(keyword));
    if (keyword == kKeyFile && memchr(at, ',', size_t(end - at)))
      addFinding(run, line, false,
                 "FILE line with a comma: its tokens are separated by blanks only, and a comma "
                 "makes the numbers after it read as 0");
    return;
  }
  const char* word = skipBlanks(at);
  if (word == end) return;  // blank line
  // The first word, upper-cased, to tell a keyword in the wrong case or
  // place from a word that is no keyword at all.
  std::string upper;
  for (const char* p = word; p < end && isWordByte(*p) && upper.size() < 32; p++)
    upper.push_back(*p >= 'a' && *p <= 'z' ? char(*p - 'a' + 'A') : *p);
  if (upper == "REM") return;
  int meant = matchLineKeyword(upper.c_str());
  if (word != at) {
    if (meant != 0 && meant == matchLineKeyword(word))
      addFinding(run, line, false,
                 keywordName(meant) + " is indented: a keyword must start its line; line skipped");
    else if (meant != 0)
      addFinding(run, line, false,
                 "indented lower-case keyword '" + token(word) + "'; line skipped");
    return;
  }
  if (meant != 0)
    addFinding(run, line, false,
               "lower-case keyword '" + token(word) + "': keywords are upper case; line skipped");
  else
    addFinding(run, line, false, "unknown keyword '" + token(word) + "'; line skipped");
}

// After a file list line has been read: the entries whose text or size it
// changed came from it.
static void noteListLine(LoadRun* run) {
  ItemLines& items = run->items;
  int key = run->keyword;
  if (key != kKeyFileList && key != kKeyFileSize && key != kKeyFile) return;
  for (int d = 0; d < kDiscs; d++) {
    for (int i = 0; i < kFilesPerDisc && config.fileList[d][i]; i++) {
      size_t k = size_t(d) * kFilesPerDisc + i;
      if (key != kKeyFileSize && items.path[k] != config.fileList[d][i]) {
        items.path[k] = config.fileList[d][i];
        items.pathLine[k] = run->line;
      }
      if (key != kKeyFileList && items.size[k] != config.fileSize[d][i]) {
        items.size[k] = config.fileSize[d][i];
        items.sizeLine[k] = run->line;
      }
    }
  }
}

// A line starts: the one before it is done. Scene lines fill the first free
// slot, which is known before the line is read.
static void noteLineStart(LoadRun* run, int line, int keyword) {
  noteListLine(run);
  run->keyword = keyword;
  run->line = line;
  ItemLines& items = run->items;
  switch (keyword) {
    case kKeyKeyFile: items.keyFileLine = line; break;
    case kKeyMakeFolder: items.makeFolderLine = line; break;
    case kKeyRegAddress: items.regAddressLine = line; break;
    case kKeyMustMakeFolder: items.mustMakeFolderLine = line; break;
    case kKeyUninstallEntry: items.uninstallEntryLine = line; break;
    case kKeyDxPlace: items.dxPlaceLine = line; break;
    case kKeyDxDisc: items.dxDiscLine = line; break;
    case kKeyDiscNum: items.discNumLine = line; break;
  }
  if (keyword >= kKeyBack && keyword <= kKeyFinish) {
    for (int slot = 0; slot < kSceneSlots; slot++)
      if (config.scene[slot].type == kSceneFree) {
        items.sceneLine[slot] = line;
        break;
      }
  }
}

static void onNote(void* context, int kind, int line, const char* at, uint32_t detail) {
  LoadRun* run = static_cast<LoadRun*>(context);
  std::string key = keywordName(run->keyword);
  switch (kind) {
    case kNoteLine:
      noteLineStart(run, line, int(detail));
      checkLine(run, line, at, int(detail));
      return;
    case kNoteNotFound:
      return addFinding(run, line, true, "no KSetup.ini, and no Instdata.pak that holds one");
    case kNoteReadError: return addFinding(run, line, true, "the script cannot be read");
    case kNoteNoMemory: return addFinding(run, line, true, "out of memory");
    case kNoteNoEquals:
      if (run->keyword == kKeyExec)
        return addFinding(run, line, true, "EXEC command '" + token(at) + "' has no '='");
      return addFinding(run, line, true, key + " needs '=' before its value");
    case kNoteDiscNumZero:
      return addFinding(run, line, true, "DISCNUM is 0 or no number");
    case kNoteDxDiscZero: {
      std::string why = "DXDISC item " + std::to_string(detail + 1) + " is 0 or no number";
      if (!*at) why += " (the last line of the script needs a line break after DXDISC)";
      return addFinding(run, line, true, why);
    }
    case kNoteFileNoDisc:
      return addFinding(run, line, true,
                        "FILE names no disc DISC1 to DISC10 as its fourth token (found '" +
                            token(at) + "')");
    case kNoteFileListFull:
      return addFinding(run, line, true,
                        "FILE: the list of disc " + std::to_string(detail + 1) +
                            " already holds 1024 files");
    case kNoteBeyondCapacity:
      return addFinding(run, line, false,
                        key + " holds at most " + std::to_string(detail) + " items; '" +
                            token(at) + "' and the rest of the line are ignored");
    case kNoteTextCut:
      return addFinding(run, line, false,
                        "quoted text longer than " + std::to_string(detail) +
                            " bytes is cut to fit");
    case kNoteQuoteNotClosed:
      if (*at == ',')
        return addFinding(run, line, false,
                          "a comma inside quotes ends the text there and ends the " + key +
                              " list");
      return addFinding(run, line, false, "quoted text is not closed on its line");
    case kNoteBlankInQuotedItem:
      if (run->keyword == kKeyFile)
        return addFinding(run, line, false,
                          "a blank inside the quoted path shifts the tokens after it");
      if (run->keyword >= kKeyBack && run->keyword <= kKeyFinish)
        return addFinding(run, line, false,
                          "a blank inside the quoted name shifts the arguments after it");
      return addFinding(run, line, false,
                        "a blank inside quotes splits the item in two: " + key +
                            " items are separated by blanks");
    case kNoteCommaAfterItem:
      return addFinding(run, line, false,
                        "comma after a " + key + " item: a disc word must follow a comma, so '" +
                            token(at) + "' and the rest of the line are ignored");
    case kNoteUnknownDisc:
      return addFinding(run, line, false,
                        "'" + token(at) + "' is no disc word (DISC1 to DISC10); " + key +
                            " ignores the rest of the line");
    case kNoteUnknownCommand:
      return addFinding(run, line, false,
                        "'" + token(at) + "' is no EXEC command; the rest of the line is ignored");
    case kNoteUnquotedText:
      return addFinding(run, line, false,
                        key + " value is not quoted; the field stays as it was");
    case kNoteDiscNumLarge:
      return addFinding(run, line, false,
                        "DISCNUM " + std::to_string(detail) + " is more than the 10 discs a set can have");
    case kNoteSceneFull:
      return addFinding(run, line, false, "all 256 scene slots are taken; the line is ignored");
  }
  addFinding(run, line, false, "note " + std::to_string(kind));
}

// Enters `dir` (a folder, or the files of a disc image's root) and loads
// the script into `config` as the program does.
bool loadInFolder(const std::string& dir, LoadRun* run) {
  std::string folder, reason;
  if (!scriptFolderOf(dir, &folder, &reason)) {
    run->source = dir;
    addFinding(run, 0, true, reason);
    return false;
  }
  std::string in = folder == dir ? dir + "/" : dir + ":";
  run->source = in + "KSetup.ini";
  if (!setCurrentFolder(folder.c_str())) {
    run->source = dir;
    addFinding(run, 0, true, "cannot enter the folder");
    return false;
  }
  if (PackHandle* h = packOpen("KSetup.ini", "Instdata.pak")) {
    if (h->inArchive) run->source = in + "Instdata.pak:KSetup.ini";
    packClose(h);
  }
  ScriptReport report = {onNote, run};
  releaseConfig();
  run->loaded = loadConfigReported(&report);
  noteListLine(run);
  if (!run->loaded && (run->findings.empty() || !run->findings.back().error))
    addFinding(run, 0, true, "the load fails");
  return run->loaded;
}

std::string where(const CheckFinding& f) {
  return f.line > 0 ? "line " + std::to_string(f.line) + ": " : "";
}

// ---- Paths as Windows sees them ----

static const char kSeparators[] = "\\/";

std::string comparable(const std::string& path) {
  std::vector<char> out(path.size() + 1);
  sjisFoldPath(path.c_str(), kSeparators, out.data(), out.size());
  return out.data();
}

static std::string quoted(const std::string& text);

std::string windowsNameProblem(const std::string& path, bool pattern) {
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* p = path.c_str(); *p;) {
    size_t length = sjisPartLength(p, kSeparators);
    std::string name(p, length);
    p += length;
    if (*p) p++;
    if (name.empty() || name == "." || name == ".." || (pattern && !*p)) continue;
    std::string shown = quoted(name);
    for (size_t i = 0; i < name.size(); i += sjisCharLength(name.c_str() + i))
      if (sjisCharLength(name.c_str() + i) == 1 &&
          (static_cast<unsigned char>(name[i]) < 0x20 || strchr("<>:\"|?*", name[i])))
        return shown +
               " holds a character Windows refuses in names (< > : \" | ? * or a "
               "control character)";
    if (sjisEndsWithOneOf(name.c_str(), ". "))
      return shown + " ends in a dot or a blank, which Windows drops from names";
    std::string stem = comparable(name.substr(0, size_t(sjisPartLength(name.c_str(), "."))));
    bool device = stem.size() == 4 &&
                  (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                  stem[3] >= '1' && stem[3] <= '9';
    for (const char* d : kDevices) device = device || stem == d;
    if (device) return shown + " is the name of a device on Windows";
  }
  return "";
}

// The paths of the folders above a comparable path, outermost first
// ("A\\B\\C" gives "A" and "A\\B").
static std::vector<std::string> parentsOf(const std::string& path) {
  std::vector<std::string> parents;
  for (size_t at = sjisPartLength(path.c_str(), "\\"); at < path.size();
       at += 1 + sjisPartLength(path.c_str() + at + 1, "\\"))
    parents.push_back(path.substr(0, at));
  return parents;
}

// The folder below the install folder that an entry's file goes into: the
// text before its last separator, empty for the install folder itself.
static std::string folderOfEntry(const std::string& entry) {
  ptrdiff_t last = sjisFindLastOf(entry.c_str(), kSeparators);
  return last < 0 ? "" : comparable(entry.substr(0, size_t(last)));
}

static std::string quoted(const std::string& text) {
  return "\"" + cp932ToUtf8(text.data(), text.size()) + "\"";
}

// The root of disc d (0-based) given with --disc, as a drive ("E:\\").
static std::string discRoot(int disc) { return std::string(1, char(kFirstDiscDrive + disc)) + ":\\"; }

// What a path on a disc (a folder or an image) names, each part matched
// without regard to case as Windows would.
static DiscEntryKind onDisc(int disc, const std::string& relative, uint64_t* size) {
  return discEntryKind(discRoot(disc) + relative, size);
}

// ---- The checks ----

struct DiscCheck {
  const CheckOptions* options;
  const ItemLines* items;
  std::vector<CheckFinding>* findings;
  void add(int line, bool error, const std::string& message) {
    findings->push_back({line, error, message});
  }
  int entryLine(int disc, int i) const { return items->pathLine[size_t(disc) * kFilesPerDisc + i]; }
  int sizeLine(int disc, int i) const {
    int line = items->sizeLine[size_t(disc) * kFilesPerDisc + i];
    return line ? line : entryLine(disc, i);
  }
};

static const uint32_t kAnyOption = 8 | 4 | 2;

// Entries the loop over a disc's list reaches: up to the first empty one.
static int listLength(int disc) {
  int n = 0;
  while (n < kFilesPerDisc && config.fileList[disc][n] && config.fileList[disc][n][0]) n++;
  return n;
}

// The discs the install asks for: those below DISCNUM whose list some
// install choice selects something of.
static bool discIsCopied(int disc) {
  if (uint32_t(disc) >= config.discNum) return false;
  for (int i = 0, n = listLength(disc); i < n; i++)
    if (config.fileOption[disc][i] & kAnyOption) return true;
  return false;
}

// What the program refuses at start, and the entry's folder: the install
// record needs a key of its own, and the game's folder and the entry's stay
// below the folders they are joined to.
static void checkRecordAndGameFolder(DiscCheck* c) {
  const ItemLines* items = c->items;
  if (!config.regAddress[0] || sjisFindFirstOf(config.regAddress, "\\ ") == 0)
    c->add(items->regAddressLine, true,
           "REGADDRESS gives no registry key for the install record: the program refuses the script");
  if (config.mustMakeFolder[0] && !entryIsSafe(config.mustMakeFolder))
    c->add(items->mustMakeFolderLine, true,
           "MUSTMAKEFOLDER " + quoted(config.mustMakeFolder) +
               " would put the game outside the folder the player chooses: the program refuses the script");
  if (config.uninstallEntry[0] && !entryIsSafe(config.uninstallEntry))
    c->add(items->uninstallEntryLine, true,
           "UNINSTALLENTRY " + quoted(config.uninstallEntry) +
               " would reach outside the install folder: no entry is made");
}

// Script-level rules of the folders: every folder a copied file goes into
// must be made by MAKEFOLDER, and what MAKEFOLDER makes must be undone by
// the uninstall.
static void checkFolders(DiscCheck* c) {
  int makeLine = c->items->makeFolderLine;
  std::vector<std::string> made;  // listed folders, comparable form
  for (int k = 0; k < kMakeFolders && config.makeFolder[k][0]; k++) {
    const char* entry = config.makeFolder[k];
    if (!entryIsSafe(entry)) {
      c->add(makeLine, true,
             "MAKEFOLDER item " + quoted(entry) +
                 " is refused (it would reach outside the install folder): no folder from it "
                 "on is made");
      break;
    }
    made.push_back(comparable(entry));
  }
  // Every level of a listed folder is made; levels not listed themselves are
  // left behind by the uninstall, and so is a parent listed after its child
  // (folders are removed last to first).
  std::set<std::string> listed(made.begin(), made.end()), created = listed;
  std::set<std::string> warned;
  for (size_t k = 0; k < made.size(); k++) {
    std::string folder = made[k];
    for (const std::string& parent : parentsOf(folder)) {
      created.insert(parent);
      if (!warned.insert(parent).second) continue;
      auto first = std::find(made.begin(), made.end(), parent);
      if (first == made.end())
        c->add(makeLine, false,
               "MAKEFOLDER " + quoted(folder) + " also makes its parent " + quoted(parent) +
                   ", which is not listed itself: the uninstall leaves it, and so the install "
                   "folder, behind");
      else if (size_t(first - made.begin()) > k)
        c->add(makeLine, false,
               "MAKEFOLDER lists " + quoted(parent) + " after its subfolder " + quoted(folder) +
                   ": folders are removed last to first, so the uninstall leaves " +
                   quoted(parent) + " behind");
    }
  }

  // Folders the file lists write into, each reported once.
  std::set<std::string> reported;
  for (int d = 0; d < kDiscs; d++) {
    for (int i = 0, n = listLength(d); i < n; i++) {
      const char* entry = config.fileList[d][i];
      if (!(config.fileOption[d][i] & kAnyOption)) continue;
      if (!entryIsSafe(entry)) {
        c->add(c->entryLine(d, i), true,
               "disc " + std::to_string(d + 1) + ": " + quoted(entry) +
                   " is refused (it would reach outside the install folder): the install stops "
                   "there with a write error");
        continue;
      }
      std::string folder = folderOfEntry(entry);
      if (folder.empty() || created.count(folder) || !reported.insert(folder).second) continue;
      c->add(c->entryLine(d, i), true,
             "disc " + std::to_string(d + 1) + ": " + quoted(entry) + " goes into the folder " +
                 quoted(folder) +
                 ", which no MAKEFOLDER item makes: the install stops there with a write error");
    }
  }
}

// Names the copy and MAKEFOLDER would ask Windows to make and it refuses.
static void checkWindowsNames(DiscCheck* c) {
  for (int k = 0; k < kMakeFolders && config.makeFolder[k][0]; k++) {
    std::string problem = windowsNameProblem(config.makeFolder[k], false);
    if (!problem.empty())
      c->add(c->items->makeFolderLine, true,
             "MAKEFOLDER " + quoted(config.makeFolder[k]) + ": " + problem +
                 ": Windows cannot make the folder");
  }
  for (int d = 0; d < kDiscs; d++)
    for (int i = 0, n = listLength(d); i < n; i++) {
      const char* entry = config.fileList[d][i];
      std::string problem = windowsNameProblem(entry, entryIsPattern(entry));
      if (!problem.empty())
        c->add(c->entryLine(d, i), true,
               "disc " + std::to_string(d + 1) + ": " + quoted(entry) + ": " + problem +
                   ": Windows cannot make the file, and the install stops there");
    }
}

// The install skips a disc whose FILESIZE total for the chosen option is 0,
// even when the option selects files on it.
static void checkDiscTotals(DiscCheck* c) {
  for (int d = 0; d < kDiscs && uint32_t(d) < config.discNum; d++) {
    std::string skipped;
    for (uint32_t bit : {8u, 4u, 2u}) {
      bool selects = false;
      for (int i = 0, n = listLength(d); i < n && !selects; i++)
        selects = (config.fileOption[d][i] & bit) != 0;
      if (selects && selectedByteTotal(d, bit) == 0)
        skipped += (skipped.empty() ? "" : ", ") + std::to_string(bit);
    }
    if (!skipped.empty())
      c->add(c->sizeLine(d, 0), false,
             "disc " + std::to_string(d + 1) + ": the FILESIZE total of the files install choice " +
                 skipped + " selects is 0, so the install skips the disc and copies none of them");
  }
}

// Every listed file on its disc, with the size FILESIZE gives.
static void checkDiscFiles(DiscCheck* c) {
  const std::vector<std::string>& discs = c->options->discs;
  for (int d = 0; d < kDiscs; d++) {
    int n = listLength(d);
    if (n == 0) continue;
    std::string disc = "disc " + std::to_string(d + 1);
    if (uint32_t(d) >= config.discNum) {
      c->add(c->entryLine(d, 0), false,
             disc + " has a file list, but DISCNUM is " + std::to_string(config.discNum) +
                 ": its files are never installed");
      continue;
    }
    if (d > 0 && listLength(d - 1) == 0)
      c->add(c->entryLine(d, 0), false,
             disc + " has a file list after the empty list of disc " + std::to_string(d) +
                 ": the progress and the uninstall stop at the empty list and leave its files out");
    if (size_t(d) >= discs.size()) {
      c->add(0, false, disc + " is not given (--disc): its files are not checked");
      continue;
    }
    for (int i = 0; i < n; i++) {
      std::string entry = config.fileList[d][i];
      uint32_t option = config.fileOption[d][i];
      uint32_t declared = config.fileSize[d][i];
      int line = c->entryLine(d, i);
      std::string what = disc + ": " + quoted(entry);
      if (!(option & kAnyOption)) {
        c->add(line, false,
               what + " is never installed: its FILEOPTION " + std::to_string(option) +
                   " has none of the bits 8, 4, 2 of the install choices");
        continue;
      }
      if (!entryIsSafe(entry.c_str())) continue;  // reported with the folders
      uint64_t size = 0;
      if (entryIsPattern(entry.c_str())) {
        int folders = 0;
        int files = entryFiles(discRoot(d), entry, &size, &folders, nullptr);
        if (files == 0) {
          c->add(line, true,
                 what + " matches no file in " + discs[d] +
                     (folders ? " (only folders, which are not copied)" : ""));
          continue;
        }
        if (size != declared)
          c->add(c->sizeLine(d, i), false,
                 what + ": the " + std::to_string(files) + " matching files are " +
                     std::to_string(size) + " bytes together, FILESIZE says " +
                     std::to_string(declared));
        continue;
      }
      DiscEntryKind kind = onDisc(d, entry, &size);
      if (kind == kNoEntry) {
        c->add(line, true, what + " is not in " + discs[d]);
      } else if (kind == kFolderEntry) {
        c->add(line, true, what + " is a folder in " + discs[d] + ", not a file");
      } else if (size > 0xFFFFFFFFull) {
        c->add(line, true, what + " is 4 GiB or larger, which the install cannot copy");
      } else if (size != declared) {
        c->add(c->sizeLine(d, i), false,
               what + " is " + std::to_string(size) + " bytes, FILESIZE says " +
                   std::to_string(declared));
      }
    }
  }
}

// Each disc the program asks for must be recognisable by its key file, and
// the DirectX setup must be on one of its discs.
static void checkKeyFilesAndDirectX(DiscCheck* c) {
  const std::vector<std::string>& discs = c->options->discs;
  std::map<int, std::string> asked;  // disc index -> why it is asked for
  for (int d = 0; d < kDiscs; d++)
    if (discIsCopied(d)) asked.emplace(d, "to install its files");
  for (int k = 0; k < kExecEntries && config.exec[k].command; k++)
    if (config.exec[k].command == kExecChangeCd) {
      uint32_t n = config.exec[k].argument;
      if (n >= 1 && n <= uint32_t(kDiscs))
        asked.emplace(int(n) - 1, "by EXEC CHANGECD at start-up");
      else
        c->add(0, true, "EXEC CHANGECD = " + std::to_string(n) + " names no disc 1 to 10");
    }
  if (config.dxPlace[0])
    for (int k = 0; k < kDxDiscs && config.dxDisc[k]; k++)
      if (config.dxDisc[k] <= uint32_t(kDiscs))
        asked.emplace(int(config.dxDisc[k]) - 1, "for the DirectX setup");

  int keyLine = c->items->keyFileLine;
  for (const auto& a : asked)
    if (!config.keyFile[a.first][0])
      c->add(keyLine, true,
             "disc " + std::to_string(a.first + 1) + " is asked for " + a.second +
                 ", but KEYFILE names no key file for it: the program cannot recognise it");
  for (size_t d = 0; d < discs.size() && d < size_t(kDiscs); d++) {
    const char* key = config.keyFile[d];
    if (!key[0]) continue;
    if (onDisc(int(d), key, nullptr) != kFileEntry)
      c->add(keyLine, true,
             "disc " + std::to_string(d + 1) + ": the key file " + quoted(key) + " is not in " +
                 discs[d] + ": the program does not recognise the disc");
  }

  if (!config.dxPlace[0]) return;
  int dxLine = c->items->dxPlaceLine;
  std::vector<int> dxDiscs;
  for (int k = 0; k < kDxDiscs && config.dxDisc[k]; k++) dxDiscs.push_back(int(config.dxDisc[k]));
  if (dxDiscs.empty()) {
    c->add(dxLine, false, "DXPLACE is set, but DXDISC names no disc to look for it on");
    return;
  }
  std::string notGiven, looked;
  for (int n : dxDiscs) {
    if (n < 1 || size_t(n) > discs.size()) {
      notGiven += (notGiven.empty() ? "" : ", ") + std::to_string(n);
      continue;
    }
    if (onDisc(n - 1, config.dxPlace, nullptr) == kFileEntry) return;
    looked += (looked.empty() ? "" : ", ") + std::to_string(n);
  }
  if (notGiven.empty())
    c->add(dxLine, true,
           "DXPLACE " + quoted(config.dxPlace) + " is on none of the DXDISC discs (" + looked +
               ")");
  else
    c->add(dxLine, false,
           "DXPLACE " + quoted(config.dxPlace) + " is not on the discs given" +
               (looked.empty() ? "" : " (" + looked + ")") + "; disc " + notGiven +
               " is not given (--disc)");
}

// A picture as the program finds it in the script's folder (the current
// folder here): loose first, else in Instdata.pak.
struct PictureLook {
  bool found = false;
  bool loose = false;      // found as a loose file
  bool inArchive = false;  // Instdata.pak holds it
  bool epa = false;
  EpaInfo info = {};
  size_t bytes = 0;
};

static PictureLook lookUpPicture(const std::string& name) {
  PictureLook look;
  if (PackHandle* h = packOpen(name.c_str(), "Instdata.pak")) {
    look.found = true;
    look.loose = !h->inArchive;
    std::vector<uint8_t> data(packSize(h) ? packSize(h) : 1);
    if (packSize(h) && packRead(h, data.data()) && packWait(h)) {
      look.bytes = h->transferred;
      look.epa = readEpaHeader(data.data(), look.bytes, &look.info) == 0;
    }
    packClose(h);
  }
  look.inArchive = !look.loose && look.found;
  if (look.loose) {
    // Does the archive hold it as well?
    if (PackHandle* archive = packOpen("Instdata.pak", nullptr)) {
      look.inArchive = packFindMember(archive, name.c_str()) != 0;
      packClose(archive);
    }
  }
  return look;
}

static void checkPictures(DiscCheck* c) {
  std::map<std::string, PictureLook> seen;
  std::set<std::string> looseWarned;
  auto look = [&](const std::string& name, int line) -> const PictureLook& {
    std::string key = comparable(name);
    auto it = seen.find(key);
    if (it == seen.end()) it = seen.emplace(key, lookUpPicture(name)).first;
    const PictureLook& l = it->second;
    if (l.found && !l.inArchive && looseWarned.insert(key).second)
      c->add(line, false,
             quoted(name) + " is only a loose file beside the script: the program runs from a "
                            "copy of KSetup.exe, KSetup.ini and Instdata.pak in the temporary "
                            "folder and finds pictures there only in Instdata.pak");
    return l;
  };
  const std::string lookedIn = " in " + c->options->dir + " (loose or in Instdata.pak)";

  // The launcher's title and the options dialog's logo are drawn at a fixed size.
  struct Fixed {
    const char* name;
    uint32_t width, height;
    const char* shownBy;
  } fixed[] = {{"TITLE.EPA", 320, 320, "the launcher"},
               {"LOGO.EPA", 400, 98, "the install options dialog"}};
  for (const Fixed& f : fixed) {
    const PictureLook& l = look(f.name, 0);
    std::string size = std::to_string(f.width) + " x " + std::to_string(f.height);
    if (!l.found) {
      c->add(0, true,
             std::string(f.name) + " is not found" + lookedIn + ": " + f.shownBy + " cannot open");
    } else if (l.epa && (l.info.width != f.width || l.info.height != f.height)) {
      c->add(0, true,
             std::string(f.name) + " is " + std::to_string(l.info.width) + " x " +
                 std::to_string(l.info.height) + " pixels; " + f.shownBy + " needs " + size);
    } else if (!l.epa && l.bytes != kBitmapHeaderSize + size_t(f.width) * f.height * 4) {
      c->add(0, true,
             std::string(f.name) + " is not an EPA picture, nor a bitmap of " + size +
                 " pixels (54 header bytes and 4 bytes a pixel), which " + f.shownBy + " needs");
    }
  }

  for (int slot = 0; slot < kSceneSlots && config.scene[slot].type != kSceneFree; slot++) {
    const SceneElement& e = config.scene[slot];
    int line = c->items->sceneLine[slot];
    std::string key = keywordName(kKeyBack + e.type - kSceneBack);
    if (!e.name[0]) {
      c->add(line, false, key + " names no picture: it shows nothing");
      continue;
    }
    const PictureLook& l = look(e.name, line);
    if (!l.found) {
      c->add(line, true, key + " picture " + quoted(e.name) + " is not found" + lookedIn);
      continue;
    }
    if (!l.epa) {
      c->add(line, false,
             key + " picture " + quoted(e.name) +
                 " is not an EPA picture: the scene cannot tell its size and shows nothing");
      continue;
    }
    if (e.type == kSceneSprite1 || e.type == kSceneSprite2) {
      int32_t height = int32_t(l.info.height);
      if (e.cellHeight <= 0 || e.cellHeight > height)
        c->add(line, false,
               key + " cell height " + std::to_string(e.cellHeight) + " does not fit the " +
                   std::to_string(height) + " rows of " + quoted(e.name) + ": it shows nothing");
      else if (height % e.cellHeight)
        c->add(line, false,
               key + ": the " + std::to_string(height) + " rows of " + quoted(e.name) +
                   " are no whole number of " + std::to_string(e.cellHeight) +
                   "-row cells; the rows left over are never shown");
    }
  }
}

// Loads the script with its diagnostics, then checks the loaded record: the
// folders always, and with discs given the disc set as the installer meets it.
void checkScript(const CheckOptions& options, CheckResult* result) {
  LoadRun run;
  loadInFolder(options.dir, &run);
  result->source = options.shownScript.empty() ? run.source : options.shownScript;
  result->loaded = run.loaded;
  result->findings = run.findings;
  if (run.loaded) {
    DiscCheck c = {&options, &run.items, &result->findings};
    checkRecordAndGameFolder(&c);
    checkFolders(&c);
    checkWindowsNames(&c);
    checkDiscTotals(&c);
    if (!options.discs.empty()) {
      checkDiscFiles(&c);
      checkKeyFilesAndDirectX(&c);
      checkPictures(&c);
    }
  }
  releaseConfig();
}

bool checkDiscSet(const std::string& dir, const std::vector<std::string>& discs,
                  const std::string& shownScript, CheckResult* result, Failure* failure) {
  CheckOptions options;
  options.dir = dir;
  options.shownScript = shownScript;
  for (const std::string& disc : discs) {
    std::string reason;
    if (mapDisc(char(kFirstDiscDrive + options.discs.size()), disc, &reason).empty()) {
      *failure = {disc, reason};
      return false;
    }
    options.discs.push_back(disc);
  }
  checkScript(options, result);
  return true;
}
