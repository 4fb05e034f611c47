// The script check: the setup script loaded as the program loads it, with
// a finding for each line that loads but is most likely a mistake and for
// the rule that makes the load fail; then the loaded record checked against
// the folders it makes and, with discs given, against the disc set as the
// installer meets it, names compared as Windows compares them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/config.h"
#include "tools/lib/failure.h"

// ---- Loading with a report --------------------------------------------------------

struct CheckFinding {
  int line;
  bool error;
  std::string message;
};

// The script line that last set each item the disc-set check reports on,
// so that its findings can point at a line. 0 when unknown.
struct ItemLines {
  std::vector<std::string> path;  // kDiscs x kFilesPerDisc: text as last seen
  std::vector<uint32_t> size;
  std::vector<int> pathLine, sizeLine;
  int sceneLine[kSceneSlots] = {};
  int keyFileLine = 0, makeFolderLine = 0, dxPlaceLine = 0, dxDiscLine = 0, discNumLine = 0;
  int regAddressLine = 0, mustMakeFolderLine = 0, uninstallEntryLine = 0;
  ItemLines()
      : path(kDiscs * kFilesPerDisc), size(kDiscs * kFilesPerDisc),
        pathLine(kDiscs * kFilesPerDisc), sizeLine(kDiscs * kFilesPerDisc) {}
};

struct LoadRun {
  std::string source;  // the script as read: DIR/KSetup.ini or DIR/Instdata.pak:KSetup.ini
  bool loaded = false;
  std::vector<CheckFinding> findings;
  int keyword = 0;  // of the line being read
  int line = 0;
  ItemLines items;
};

// Enters `dir` (a folder, or the files of a disc image's root) and loads
// the script into `config` as the program does.
bool loadInFolder(const std::string& dir, LoadRun* run);
// "line N: " for a finding on a line, empty otherwise.
std::string where(const CheckFinding& f);

// ---- Checks of the loaded record ----

// What `script check` is asked to look at: the script's folder and, for the
// disc-set checks, the folder of each disc, disc 1 first (absolute paths).
struct CheckOptions {
  std::string dir;
  std::vector<std::string> discs;
  std::string shownScript;  // the script's name in the report, when not the one read
};

struct CheckResult {
  std::string source;
  bool loaded = false;
  std::vector<CheckFinding> findings;
};

// A path of the script (code page 932) for comparing names as the program
// does: letters folded as it folds them, separators as single backslashes,
// none at either end.
std::string comparable(const std::string& path);
// Why Windows cannot make the file or folder at the script path `path`
// (code page 932): a name with a character Windows refuses in names
// (< > : " | ? * or a control character), a device name (CON, AUX.TXT,
// COM1 ...), or one that ends in a dot or a blank. Empty when it can. With
// `pattern` the last name (*.PAK of DATA\*.PAK) is not looked at.
std::string windowsNameProblem(const std::string& path, bool pattern);

// Loads the script with its diagnostics, then checks the loaded record: the
// folders always, and with discs given the disc set as the installer meets it.
void checkScript(const CheckOptions& options, CheckResult* result);

// The check of a disc set: `discs` (folders or images, disc 1 first; none for
// the script alone) made the disc drives, then the script of `dir` checked
// against them. `shownScript`, when not empty, names the script in the
// findings in place of the file read. False with the failure when a disc
// cannot be taken; the findings and the verdict are in *result.
bool checkDiscSet(const std::string& dir, const std::vector<std::string>& discs,
                  const std::string& shownScript, CheckResult* result, Failure* failure);
