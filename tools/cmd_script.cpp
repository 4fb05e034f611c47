// script dump | check: the setup script as the program loads it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/config.h"
#include "tools/cmd_script.h"
#include "tools/lib/config_json.h"
#include "tools/lib/script_check.h"
#include "tools/tool.h"

static const char kScriptUsage[] =
    "script dump DIR | script check DIR [--disc DISC1 ...]  (script help for more)";

static const char kScriptHelp[] =
    "usage: ksetup-tool script dump DIR | script check DIR [--disc DISC1 ...]\n"
    "\n"
    "Both load KSetup.ini the way the program does with DIR as its current\n"
    "folder: the loose file first, else the member of Instdata.pak. DIR and\n"
    "each disc may be a folder or an ISO 9660 disc image (read by its Joliet\n"
    "names, as Windows reads a disc).\n"
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
    "script check DIR [--disc DISC1 [--disc DISC2 ...]]\n"
    "  Prints warnings for lines that load but are most likely mistakes, and\n"
    "  the line and rule that makes the load fail, as FILE:LINE: warning|error:\n"
    "  TEXT, then a verdict line. Also checks that every folder a file list\n"
    "  writes into is made by MAKEFOLDER (else the install stops with a write\n"
    "  error) and that the uninstall can remove what MAKEFOLDER makes, and\n"
    "  that REGADDRESS names a key and MUSTMAKEFOLDER and UNINSTALLENTRY stay\n"
    "  below their folders (the program refuses such scripts).\n"
    "  With --disc (disc 1 first, one per disc) it checks the disc set as the\n"
    "  installer meets it, names matched without regard to case:\n"
    "    error    a listed file or pattern has no file on its disc\n"
    "    warning  a file's size differs from FILESIZE (a pattern: the sum)\n"
    "    error    a disc that is asked for has no key file, or it is missing\n"
    "    error    DXPLACE is on none of the DXDISC discs\n"
    "    error    TITLE.EPA (320 x 320), LOGO.EPA (400 x 98) or a scene\n"
    "             picture is missing, or TITLE/LOGO has another size\n"
    "    warning  a picture only loose beside the script (not in Instdata.pak),\n"
    "             a sprite strip that does not divide into its cells, lists\n"
    "             beyond DISCNUM, discs not given\n"
    "  Pictures are looked up in DIR, loose or in Instdata.pak.\n"
    "  Exit 1 when the load fails or anything is an error (the first error\n"
    "  also goes to stderr), 0 otherwise, warnings or not.\n";

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

static const char kCheckUsage[] = "script check DIR [--disc DISC1 [--disc DISC2 ...]]";

// An existing file or folder as an absolute path, or empty.
static std::string absoluteExisting(const char* path) {
  char* real = realpath(path, nullptr);
  if (!real) return "";
  std::string out = real;
  free(real);
  return out;
}

static int scriptCheck(int argc, char** argv) {
  std::string dir;
  std::vector<std::string> discs;
  bool haveDir = false;
  for (int i = 0; i < argc; i++) {
    if (!strcmp(argv[i], "--disc") && i + 1 < argc) {
      std::string disc = absoluteExisting(argv[++i]);
      if (disc.empty()) return failInput(argv[i], "no such folder or disc image");
      discs.push_back(disc);
      continue;
    }
    if (argv[i][0] == '-' && argv[i][1]) return failUsage(kCheckUsage);
    if (haveDir) return failUsage(kCheckUsage);
    dir = argv[i];
    haveDir = true;
  }
  if (!haveDir) return failUsage(kCheckUsage);
  if (discs.size() > size_t(kDiscs)) return failUsage(kCheckUsage);
  return runDiscSetCheck(dir, discs, "");
}

int runDiscSetCheck(const std::string& dir, const std::vector<std::string>& discs,
                    const std::string& shownScript) {
  CheckResult result;
  Failure failure;
  if (!checkDiscSet(dir, discs, shownScript, &result, &failure))
    return failInput(failure.file, failure.reason);
  return printCheck(result);
}

int printCheck(const CheckResult& result) {
  int warnings = 0, errors = 0;
  const CheckFinding* error = nullptr;
  for (const CheckFinding& f : result.findings) {
    std::string at = f.line > 0 ? ":" + std::to_string(f.line) : "";
    printf("%s%s: %s: %s\n", result.source.c_str(), at.c_str(), f.error ? "error" : "warning",
           f.message.c_str());
    if (f.error) {
      if (!error) error = &f;
      errors++;
    } else {
      warnings++;
    }
  }
  if (!result.loaded) {
    printf("%s: does not load\n", result.source.c_str());
    fflush(stdout);
    const CheckFinding* last = nullptr;
    for (const CheckFinding& f : result.findings)
      if (f.error) last = &f;
    return failInput(result.source, last ? where(*last) + last->message : "the load fails");
  }
  auto plural = [](int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  if (errors) {
    printf("%s: loads, %s, %s\n", result.source.c_str(), plural(errors, "error").c_str(),
           plural(warnings, "warning").c_str());
    fflush(stdout);
    return failInput(result.source,
                     plural(errors, "error") + ", the first: " + where(*error) + error->message);
  }
  printf("%s: loads, %s\n", result.source.c_str(), plural(warnings, "warning").c_str());
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
