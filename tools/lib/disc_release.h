// What disc build does for a release: a fixed date for every file, folder
// and image (DATE in project.ini, or SOURCE_DATE_EPOCH), a signed KSetup.exe,
// SHA256SUMS beside the images; and where the tool finds its KSetup.exe.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/lib/signing.h"

struct ReleaseOptions {
  SignSettings sign;
  int64_t date = -1;     // seconds since 1970 (UTC), or -1: the clock
  std::string dateFrom;  // where the date came from, for messages
};

// One option of disc build's command line at argv[*i] that belongs here:
// taken (with its value, *i moved on) -> 1; not one of these -> 0; its value
// missing -> -1.
int takeReleaseOption(int argc, char** argv, int* i, ReleaseOptions* options);
// The usage text of these options.
extern const char kReleaseUsage[];

// One line of project.ini (blank and comment lines already left out):
// taken -> 1; not one of these -> 0; one of these but wrong -> -1 with
// *reason. File names are relative to `project`.
int takeReleaseSetting(const std::string& line, const std::string& project,
                       ReleaseOptions* settings, std::string* reason);

// The options of the command line over the settings of project.ini, and
// SOURCE_DATE_EPOCH when neither gives a date. False with *reason when
// SOURCE_DATE_EPOCH is no date.
bool mergeReleaseOptions(const ReleaseOptions& commandLine, const ReleaseOptions& file,
                         ReleaseOptions* merged, std::string* reason);

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (UTC) as seconds
// since 1970; -1 when it is no such date.
int64_t parseDate(const std::string& text);

// Gives every file and folder below `folder`, and `folder` itself, the
// modification and access time `date`. False with *reason naming the path.
bool setTreeDate(const std::string& folder, int64_t date, std::string* reason);

// The KSetup.exe disc build takes without --exe: KSetup.exe in the tool's
// own folder, else the i686 build installed with the tool. Empty when
// neither is there; *searched then lists the places looked at.
std::string defaultProgram(std::string* searched);

// SHA-256 of a host file as 64 lower-case hex digits; empty with *reason on
// a read error.
std::string sha256OfFile(const std::string& path, std::string* reason);

// A private folder for a build's scratch files (the signed program), removed
// with everything in it when the object goes away.
struct ScratchFolder {
  std::string path;  // empty until made
  ~ScratchFolder();
  bool make(std::string* reason);
};

// Writes DIR/SHA256SUMS for the images `names` (file names in DIR), as
// sha256sum writes it. False with *reason.
bool writeChecksums(const std::string& dir, const std::vector<std::string>& names,
                    std::string* reason);

// The lines of SHA256SUMS: "HEX  NAME" or "HEX *NAME", the sums in lower
// case. False with the line number of one that is neither.
bool parseChecksums(const std::string& text, std::vector<std::pair<std::string, std::string>>* sums,
                    int* badLine);

// Reads every file of the image `path` to its end, as Windows would read it
// from the disc; the first one that does not read whole, or empty. *files
// and *bytes count what was read.
std::string readImageBack(const std::string& path, size_t* files, uint64_t* bytes);
