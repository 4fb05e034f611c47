#include "script/config.h"

#include <cstring>

#include "media/pack.h"
#include "platform/platform.h"
#include "script/scanner.h"

SetupConfig config;
bool configInitialised;

// The report of the load under way (null for the program) and the line the
// loader is on; the loader runs on the main thread only.
static const ScriptReport* activeReport;
static int lineNumber;

static void note(int kind, const char* at, uint32_t detail = 0) {
  if (activeReport) activeReport->note(activeReport->context, kind, lineNumber, at, detail);
}

static bool fail(int kind, const char* at, uint32_t detail = 0) {
  note(kind, at, detail);
  return false;
}

static bool isLineOver(char c) { return c == 0 || c == '\r' || c == '\n'; }

// ---- Release ------------------------------------------------------------------

static void freeOwned() {
  for (ExecEntry& entry : config.exec) {
    heapFree(entry.text);
    entry.text = nullptr;
  }
  for (auto& list : config.fileList)
    for (char*& entry : list)
      if (entry) {
        heapFree(entry);
        entry = nullptr;
      }
  for (SceneElement& element : config.scene) {
    if (element.pixels) heapFree(element.pixels);
    if (element.savedBackground) heapFree(element.savedBackground);
    element.pixels = nullptr;
    element.savedBackground = nullptr;
    element.backgroundSaved = 0;  // nothing is saved any more
  }
}

void releaseConfig() {
  // Owned blocks are freed on every call; on the first they are all null
  // unless something was loaded before it.
  freeOwned();
  if (!configInitialised) {
    memset(config.exec, 0, sizeof config.exec);
    memset(config.fileList, 0, sizeof config.fileList);
    memset(config.fileSize, 0, sizeof config.fileSize);
    memset(config.fileOption, 0, sizeof config.fileOption);
    memset(config.discLabel, 0, sizeof config.discLabel);
    memset(config.discName, 0, sizeof config.discName);
    memset(config.keyFile, 0, sizeof config.keyFile);
    memset(config.scene, 0, sizeof config.scene);
    configInitialised = true;
  } else {
    // A reload keeps keyFile and the scene lines read so far: its own scene
    // lines go to the slots after them.
    for (ExecEntry& entry : config.exec) entry.command = 0;
    memset(config.discName, 0, sizeof config.discName);
    memset(config.discLabel, 0, sizeof config.discLabel);
    memset(config.fileSize, 0, sizeof config.fileSize);
    memset(config.fileOption, 0, sizeof config.fileOption);
    for (SceneElement& element : config.scene) element.state = kWaiting;
  }
  memset(config.optionTitle, 0, sizeof config.optionTitle);
  memset(config.makeFolder, 0, sizeof config.makeFolder);
  memset(config.saveData, 0, sizeof config.saveData);
  memset(config.shortcutLabel, 0, sizeof config.shortcutLabel);
  memset(config.shortcutName, 0, sizeof config.shortcutName);
  memset(config.shortcutLink, 0, sizeof config.shortcutLink);
  memset(config.shortcutFolder, 0, sizeof config.shortcutFolder);
  memset(config.shortcutParam, 0, sizeof config.shortcutParam);
  memset(config.brandName, 0, sizeof config.brandName);
  memset(config.uninstallEntry, 0, sizeof config.uninstallEntry);
  memset(config.dxPlace, 0, sizeof config.dxPlace);
  memset(config.dxMessage, 0, sizeof config.dxMessage);
  memset(config.regAddress, 0, sizeof config.regAddress);
  memset(config.mustMakeFolder, 0, sizeof config.mustMakeFolder);
  memset(config.exeName, 0, sizeof config.exeName);
  memset(config.appliTitle, 0, sizeof config.appliTitle);
  memset(config.dxDisc, 0, sizeof config.dxDisc);
}

// ---- Selected bytes -------------------------------------------------------------

static uint64_t discByteTotal(int disc, uint32_t mask) {
  uint64_t total = 0;
  for (int i = 0; i < kFilesPerDisc && config.fileList[disc][i]; i++)
    if (config.fileOption[disc][i] & mask) total += config.fileSize[disc][i];
  return total;
}

uint64_t selectedByteTotal(int disc, uint32_t mask) {
  if (disc >= 0 && disc < kDiscs) return discByteTotal(disc, mask);
  if (disc != -1) return 0;
  uint64_t total = 0;
  for (int d = 0; d < kDiscs && config.fileList[d][0]; d++) total += discByteTotal(d, mask);
  return total;
}

// ---- Values ---------------------------------------------------------------------

// Where a quoted read from the opening quote at `open` stops: the closing
// quote, or the NUL, CR, LF or comma met before it.
static const char* quoteStop(const char* open) {
  const char* p = open + 1;
  while (!isLineOver(*p) && *p != '"' && *p != ',') p++;
  return p;
}

// readQuoted into a field of `capacity` bytes, noting text that is cut or
// not closed, and, for a list item, quotes that hold a blank.
static bool readText(const char* p, char* dest, size_t capacity, bool listItem) {
  bool ok = readQuoted(p, dest, capacity);
  if (activeReport) {
    const char* open = skipBlanks(p);
    if (*open == '"') {
      const char* stop = quoteStop(open);
      size_t length = size_t(stop - open - 1);
      if (length >= capacity) note(kNoteTextCut, open, uint32_t(capacity - 1));
      if (!ok) note(kNoteQuoteNotClosed, stop);
      if (ok && listItem && (memchr(open + 1, ' ', length) || memchr(open + 1, '\t', length)))
        note(kNoteBlankInQuotedItem, open);
    }
  }
  return ok;
}

// The value after the line's first '=', blanks skipped; null, noting the
// failure, when the line has none.
static const char* valueAfterEquals(const char* from) {
  const char* equals = findEquals(from);
  if (!equals) return note(kNoteNoEquals, from), nullptr;
  return skipBlanks(equals + 1);
}

// The first byte after the keyword token and its blanks.
static const char* afterKeyword(const char* line) { return skipBlanks(skipWord(line)); }

// The disc index (0 to 9) of a disc value, or -1.
static int discIndex(uint32_t value) {
  return value >= kValueDisc1 && value <= kValueDisc10 ? int(value - kValueDisc1) : -1;
}

// ---- Handlers -------------------------------------------------------------------

static char* singleText(int key) {
  switch (key) {
    case kKeyAppliTitle: return config.appliTitle;
    case kKeyExeName: return config.exeName;
    case kKeyMustMakeFolder: return config.mustMakeFolder;
    case kKeyRegAddress: return config.regAddress;
    case kKeyDxMessage: return config.dxMessage;
    case kKeyDxPlace: return config.dxPlace;
    case kKeyBrandName: return config.brandName;
    case kKeyUninstallEntry: return config.uninstallEntry;
  }
  return nullptr;
}

// KEYWORD = "text": the rest of the line is ignored.
static bool readSingleText(char* field, const char* line) {
  const char* p = valueAfterEquals(line);
  if (!p) return false;
  if (*p != '"' && !isLineOver(*p)) note(kNoteUnquotedText, p);
  readText(p, field, kTextSize, false);
  return true;
}

typedef char TextItem[kTextSize];

static TextItem* textList(int key, int* capacity) {
  switch (key) {
    case kKeyDiscLabel: return *capacity = kDiscs, config.discLabel;
    case kKeyDiscName: return *capacity = kDiscs, config.discName;
    case kKeyShortcutLabel: return *capacity = kShortcuts, config.shortcutLabel;
    case kKeyShortcutName: return *capacity = kShortcuts, config.shortcutName;
    case kKeyShortcutLink: return *capacity = kShortcuts, config.shortcutLink;
    case kKeyShortcutFolder: return *capacity = kShortcuts, config.shortcutFolder;
    case kKeyShortcutParam: return *capacity = kShortcuts, config.shortcutParam;
    case kKeySaveData: return *capacity = kSaveDataItems, config.saveData;
    case kKeyKeyFile: return *capacity = kDiscs, config.keyFile;
    case kKeyOptionTitle: return *capacity = kOptionTitles, config.optionTitle;
    case kKeyMakeFolder: return *capacity = kMakeFolders, config.makeFolder;
  }
  return nullptr;
}

// KEYWORD = "a" "b" ...: every line fills the list again from item 0. Items
// are tokens split at blanks; an unquoted token skips its item.
static bool readTextList(TextItem* items, int capacity, const char* line) {
  const char* p = valueAfterEquals(line);
  if (!p) return false;
  for (int i = 0; !isLineOver(*p); i++) {
    if (i == capacity) return note(kNoteBeyondCapacity, p, uint32_t(capacity)), true;
    if (!readText(p, items[i], kTextSize, true)) break;
    p = skipBlanks(skipWord(p));
  }
  return true;
}

// DISCNUM = n, not 0.
static bool readDiscNum(const char* line) {
  const char* p = valueAfterEquals(line);
  if (!p) return false;
  uint32_t count = readUnsigned(p);
  if (count == 0) return fail(kNoteDiscNumZero, p);
  if (count > kDiscs) note(kNoteDiscNumLarge, p, count);
  config.discNum = count;
  return true;
}

// DXDISC = n n ...: every item not 0; the line break ends the list, so at
// the end of the text without one the next item reads as 0, however many
// came before. Items past the capacity are passed over.
static bool readDxDisc(const char* line) {
  const char* p = valueAfterEquals(line);
  if (!p) return false;
  for (int i = 0;; i++) {
    if (i == kDxDiscs) {
      if (*p) note(kNoteBeyondCapacity, p, kDxDiscs);
      for (; *p && *p != '\r' && *p != '\n'; i++) p = skipBlanks(skipWord(p));
      return *p ? true : fail(kNoteDxDiscZero, p, uint32_t(i));
    }
    uint32_t disc = readUnsigned(p);
    if (disc == 0) return fail(kNoteDxDiscZero, p, uint32_t(i));
    config.dxDisc[i] = disc;
    p = skipBlanks(skipWord(p));
    if (*p == '\r' || *p == '\n') return true;
  }
}

// EXEC command = argument, command = argument, ...: fills the list from
// entry 0. A quoted argument becomes an owned text, anything else a number.
static bool readExec(const char* line) {
  const char* p = afterKeyword(line);
  uint32_t command = readValueWord(p);
  for (int i = 0; command != 0; i++) {
    if (i == kExecEntries) return note(kNoteBeyondCapacity, p, kExecEntries), true;
    ExecEntry& entry = config.exec[i];
    entry.command = command;
    const char* value = valueAfterEquals(p);
    if (!value) return false;
    if (*value == '"') {
      if (entry.text)
        memset(entry.text, 0, kPathSize);
      else if (!(entry.text = static_cast<char*>(heapAlloc(kPathSize))))
        return fail(kNoteNoMemory, value);
      readText(value, entry.text, kPathSize, false);
      entry.argument = 0;
      p = quoteStop(value);
      if (*p == '"') p++;
    } else {
      heapFree(entry.text);
      entry.text = nullptr;
      entry.argument = readUnsigned(value);
      p = skipToSeparator(value);
    }
    p = skipBlanks(p);
    if (isLineOver(*p)) return true;
    if (*p == ',') p = skipBlanks(p + 1);
    command = readValueWord(p);
  }
  if (!isLineOver(*p)) note(kNoteUnknownCommand, p);
  return true;
}

// One item of a per-disc list at index `index` of disc `disc`.
static bool storeDiscItem(int key, int disc, int index, const char* p) {
  if (key == kKeyFileList) {
    char*& entry = config.fileList[disc][index];
    if (entry)
      memset(entry, 0, kPathSize);
    else if (!(entry = static_cast<char*>(heapAlloc(kPathSize))))
      return fail(kNoteNoMemory, p);
    readText(p, entry, kPathSize, true);  // an unquoted token leaves the text empty
  } else {
    uint32_t(&list)[kDiscs][kFilesPerDisc] = key == kKeyFileSize ? config.fileSize : config.fileOption;
    list[disc][index] = readUnsigned(p);
  }
  return true;
}

// KEYWORD DISCn = item item ..., DISCm = item ...: each disc's items from
// index 0; items are split at blanks, a comma goes on to the next disc.
static bool readDiscLists(int key, const char* line) {
  const char* p = afterKeyword(line);
  for (bool first = true;; first = false) {
    uint32_t word = readValueWord(p);
    int disc = discIndex(word);
    if (disc < 0) {
      // Not a disc: the line ends here.
      if (word != 0)
        note(kNoteUnknownDisc, p, word);
      else if (!isLineOver(*p))
        note(first ? kNoteUnknownDisc : kNoteCommaAfterItem, p, 0);
      return true;
    }
    p = valueAfterEquals(p);
    if (!p) return false;
    for (int i = 0; !isLineOver(*p) && *p != ','; i++) {
      if (i < kFilesPerDisc) {
        if (!storeDiscItem(key, disc, i, p)) return false;
      } else if (i == kFilesPerDisc) {
        note(kNoteBeyondCapacity, p, kFilesPerDisc);
      }
      p = skipBlanks(skipToSeparator(p));
    }
    if (*p != ',') return true;
    p = skipBlanks(p + 1);
  }
}

// FILE = "path" size option DISCn: adds one entry after the disc's last.
static bool readFileEntry(const char* line) {
  const char* p = valueAfterEquals(line);
  if (!p) return false;
  char* path = static_cast<char*>(heapAlloc(kPathSize));
  if (!path) return fail(kNoteNoMemory, p);
  readText(p, path, kPathSize, true);
  p = skipBlanks(skipToSeparator(p));
  uint32_t size = readUnsigned(p);
  p = skipBlanks(skipToSeparator(p));
  uint32_t option = readUnsigned(p);
  p = skipBlanks(skipToSeparator(p));
  uint32_t word = readValueWord(p);
  int disc = discIndex(word);
  if (disc >= 0) {
    for (int i = 0; i < kFilesPerDisc; i++) {
      if (config.fileList[disc][i]) continue;
      config.fileList[disc][i] = path;
      config.fileSize[disc][i] = size;
      config.fileOption[disc][i] = option;
      return true;
    }
  }
  heapFree(path);
  return disc < 0 ? fail(kNoteFileNoDisc, p, word) : fail(kNoteFileListFull, p, uint32_t(disc));
}

// The arguments of each scene keyword after the name, in order:
// c cellHeight, x, y, X moveX, Y moveY, f showFrom, u showUntil,
// i frameInterval, d startDelay, j firstFrameInterval, m mode.
static const char* const kSceneArguments[] = {
    "xym",            // BACK
    "xyXYm",          // BASE
    "xyfm",           // WRITE
    "xyfum",          // ELEMENT
    "xyXYfum",        // PROGRESSBAR
    "cxyXYfuim",      // SPRITE1
    "cxyXYfuidjm",    // SPRITE2
    "xym",            // FINISH
};

static int32_t* sceneNumber(SceneElement* element, char argument) {
  switch (argument) {
    case 'c': return &element->cellHeight;
    case 'x': return &element->x;
    case 'y': return &element->y;
    case 'X': return &element->moveX;
    case 'Y': return &element->moveY;
    case 'f': return &element->showFrom;
    case 'u': return &element->showUntil;
    case 'i': return &element->frameInterval;
    case 'd': return &element->startDelay;
    case 'j': return &element->firstFrameInterval;
  }
  return nullptr;
}

// KEYWORD "name" arguments... mode: one token each, in the first free slot.
static bool readSceneLine(int key, const char* line) {
  SceneElement* element = nullptr;
  for (SceneElement& slot : config.scene)
    if (slot.type == kSceneFree) {
      element = &slot;
      break;
    }
  if (!element) return note(kNoteSceneFull, line, kSceneSlots), true;
  // A free slot owns nothing; start it from zero all the same.
  heapFree(element->pixels);
  heapFree(element->savedBackground);
  memset(element, 0, sizeof *element);
  element->type = key - kKeyBack + kSceneBack;
  element->state = kWaiting;

  const char* p = afterKeyword(line);
  if (isLineOver(*p) || !readText(p, element->name, kTextSize, true)) return true;
  for (const char* a = kSceneArguments[key - kKeyBack]; *a; a++) {
    p = skipBlanks(skipWord(p));
    if (isLineOver(*p)) break;
    if (*a == 'm') {
      element->mode = readValueWord(p);
      break;
    }
    *sceneNumber(element, *a) = readSigned(p);
  }
  return true;
}

static bool readLine(int key, const char* line) {
  switch (key) {
    case 0:
    case kKeyComment: return true;
    case kKeyExec: return readExec(line);
    case kKeyDiscNum: return readDiscNum(line);
    case kKeyFileList:
    case kKeyFileSize:
    case kKeyFileOption: return readDiscLists(key, line);
    case kKeyDxDisc: return readDxDisc(line);
    case kKeyFile: return readFileEntry(line);
  }
  if (key >= kKeyBack && key <= kKeyFinish) return readSceneLine(key, line);
  if (char* field = singleText(key)) return readSingleText(field, line);
  int capacity = 0;
  if (TextItem* items = textList(key, &capacity)) return readTextList(items, capacity, line);
  return true;
}

// ---- Loading --------------------------------------------------------------------

bool loadConfigText(const char* text, const ScriptReport* report) {
  if (!text) return false;
  activeReport = report;
  lineNumber = 1;
  bool ok = true;
  for (const char* p = text; *p;) {
    int key = matchLineKeyword(p);
    note(kNoteLine, p, uint32_t(key));
    if (!readLine(key, p)) {
      ok = false;
      break;
    }
    // Any run of CR and LF separates lines; CR LF counts as one break.
    for (p = lineEnd(p); *p == '\r' || *p == '\n'; p++)
      if (*p == '\n' || p[1] != '\n') lineNumber++;
  }
  activeReport = nullptr;
  return ok;
}

bool loadConfigReported(const ScriptReport* report) {
  activeReport = report;
  lineNumber = 0;
  bool ok = false;
  PackHandle* source = packOpen("KSetup.ini", "Instdata.pak");
  if (!source) {
    note(kNoteNotFound, nullptr);
  } else {
    uint32_t size = packSize(source);
    // The text is followed by two zero bytes; a size that leaves no room for
    // them cannot be held anyway.
    char* text = size <= 0xFFFFFFFFu - 2 ? static_cast<char*>(heapAlloc(size_t(size) + 2)) : nullptr;
    if (!text) {
      note(kNoteNoMemory, nullptr);
      packClose(source);
    } else {
      bool read = packRead(source, text) && packWait(source);
      packClose(source);
      if (read)
        ok = loadConfigText(text, report);
      else
        note(kNoteReadError, nullptr);
      heapFree(text);
    }
  }
  activeReport = nullptr;
  return ok;
}

bool loadConfig() { return loadConfigReported(nullptr); }
