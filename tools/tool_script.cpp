// script dump | check: the setup script as the program loads it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/pack.h"
#include "platform/platform.h"
#include "script/config.h"
#include "script/scanner.h"
#include "tools/config_json.h"
#include "tools/tool.h"

static const char kScriptUsage[] = "script dump DIR | script check DIR  (script help for more)";

static const char kScriptHelp[] =
    "usage: ksetup-tool script dump DIR | script check DIR\n"
    "\n"
    "Both load KSetup.ini the way the program does with DIR as its current\n"
    "folder: the loose file first, else the member of Instdata.pak.\n"
    "\n"
    "script dump DIR\n"
    "  Prints the configuration as one line of compact JSON (UTF-8, no blanks,\n"
    "  ending in a newline). Keys in order: discNum, appliTitle, exeName,\n"
    "  mustMakeFolder, regAddress, dxMessage, dxPlace, brandName, discLabel,\n"
    "  discName, shortcutLabel, shortcutName, shortcutLink, shortcutFolder,\n"
    "  shortcutParam, saveData, keyFile, optionTitle, makeFolder, dxDisc,\n"
    "  exec [{command, argument}], fileList, fileSize, fileOption (10 lists\n"
    "  each, one per disc), scene [{type, name, x, y, moveX, moveY, showFrom,\n"
    "  showUntil, frameInterval, startDelay, firstFrameInterval, cellHeight,\n"
    "  mode}]. Lists end after their last non-empty item; a text argument of\n"
    "  exec is a string, a missing fileList entry null; scene lists the slots\n"
    "  in use. Script text is decoded from code page 932.\n"
    "  Exit 1 with one line on stderr when the load fails.\n"
    "\n"
    "script check DIR\n"
    "  Prints warnings for lines that load but are most likely mistakes, and\n"
    "  the line and rule that makes the load fail, as FILE:LINE: warning|error:\n"
    "  TEXT, then a verdict line. Exit 1 when the load fails (the error also\n"
    "  goes to stderr), 0 otherwise, warnings or not.\n";

// ---- Loading with a report --------------------------------------------------------

struct CheckFinding {
  int line;
  bool error;
  std::string message;
};

struct LoadRun {
  std::string source;  // the script as read: DIR/KSetup.ini or DIR/Instdata.pak:KSetup.ini
  bool loaded = false;
  std::vector<CheckFinding> findings;
  int keyword = 0;  // of the line being read
};

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

static void onNote(void* context, int kind, int line, const char* at, uint32_t detail) {
  LoadRun* run = static_cast<LoadRun*>(context);
  std::string key = keywordName(run->keyword);
  switch (kind) {
    case kNoteLine:
      run->keyword = int(detail);
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

// Enters `dir` and loads the script into `config` as the program does.
static bool loadInFolder(const std::string& dir, LoadRun* run) {
  run->source = dir + "/KSetup.ini";
  if (!setCurrentFolder(dir.c_str())) {
    run->source = dir;
    addFinding(run, 0, true, "cannot enter the folder");
    return false;
  }
  if (PackHandle* h = packOpen("KSetup.ini", "Instdata.pak")) {
    if (h->inArchive) run->source = dir + "/Instdata.pak:KSetup.ini";
    packClose(h);
  }
  ScriptReport report = {onNote, run};
  releaseConfig();
  run->loaded = loadConfigReported(&report);
  if (!run->loaded && (run->findings.empty() || !run->findings.back().error))
    addFinding(run, 0, true, "the load fails");
  return run->loaded;
}

static std::string where(const CheckFinding& f) {
  return f.line > 0 ? "line " + std::to_string(f.line) + ": " : "";
}

// ---- dump -------------------------------------------------------------------------

static int scriptDump(const std::string& dir) {
  LoadRun run;
  if (!loadInFolder(dir, &run)) {
    const CheckFinding& f = run.findings.back();
    releaseConfig();
    return failInput(run.source, where(f) + f.message);
  }
  std::string json = configToJson();
  fwrite(json.data(), 1, json.size(), stdout);
  releaseConfig();
  return kExitOk;
}

// ---- check ------------------------------------------------------------------------

// What `script check` is asked to look at. Checks of the disc set beside the
// script will add their options here.
struct CheckOptions {
  std::string dir;
};

struct CheckResult {
  std::string source;
  bool loaded = false;
  std::vector<CheckFinding> findings;
};

// Loads the script with its diagnostics. Checks of the loaded record go
// after the load, before the record is released.
static void checkScript(const CheckOptions& options, CheckResult* result) {
  LoadRun run;
  loadInFolder(options.dir, &run);
  result->source = run.source;
  result->loaded = run.loaded;
  result->findings = run.findings;
  releaseConfig();
}

static int scriptCheck(int argc, char** argv) {
  CheckOptions options;
  bool haveDir = false;
  for (int i = 0; i < argc; i++) {
    if (argv[i][0] == '-' && argv[i][1]) return failUsage(kScriptUsage);
    if (haveDir) return failUsage(kScriptUsage);
    options.dir = argv[i];
    haveDir = true;
  }
  if (!haveDir) return failUsage(kScriptUsage);

  CheckResult result;
  checkScript(options, &result);
  int warnings = 0;
  const CheckFinding* error = nullptr;
  for (const CheckFinding& f : result.findings) {
    std::string at = f.line > 0 ? ":" + std::to_string(f.line) : "";
    printf("%s%s: %s: %s\n", result.source.c_str(), at.c_str(), f.error ? "error" : "warning",
           f.message.c_str());
    if (f.error)
      error = &f;
    else
      warnings++;
  }
  if (!result.loaded) {
    printf("%s: does not load\n", result.source.c_str());
    fflush(stdout);
    return failInput(result.source, error ? where(*error) + error->message : "the load fails");
  }
  printf("%s: loads, %d warning%s\n", result.source.c_str(), warnings, warnings == 1 ? "" : "s");
  return kExitOk;
}

int toolScript(int argc, char** argv) {
  if (argc >= 1 && (!strcmp(argv[0], "help") || !strcmp(argv[0], "--help"))) {
    fputs(kScriptHelp, stdout);
    return kExitOk;
  }
  if (argc < 1) return failUsage(kScriptUsage);
  if (!strcmp(argv[0], "dump")) {
    if (argc != 2) return failUsage(kScriptUsage);
    return scriptDump(argv[1]);
  }
  if (!strcmp(argv[0], "check")) return scriptCheck(argc - 1, argv + 1);
  return failUsage(kScriptUsage);
}
