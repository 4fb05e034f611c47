// The layout of a disc set from a project (tools/lib/project.h): which file
// goes on which disc under which name, checked before anything is written (a
// missing picture or file, a name Windows or an image cannot hold, a clash
// between sources).
//
// Disc 1 holds KSetup.exe, KSetup.ini and Instdata.pak (the pictures, made
// EPA from pictures/); every disc its listed files from files/, its
// PROJECT/discN files and its key file (written when the project has none).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/lib/failure.h"
#include "tools/lib/project.h"
#include "tools/lib/script_check.h"

// One file of a disc: copied from `source`, or written from `data`.
struct DiscFile {
  std::string path;    // on the disc: UTF-8, '/' between parts
  std::string source;  // host file, or empty
  std::string data;
  uint64_t size = 0;
  std::string from;  // where it comes from, for messages
};

struct Disc {
  std::vector<DiscFile> files;
  std::map<std::string, size_t> byKey;         // pathKey -> index
  std::map<std::string, std::string> folders;  // pathKey -> the folder's path on the disc
  std::string label;
};

struct DiscSet {
  std::vector<Disc> discs;
  std::string title;              // APPLITITLE (UTF-8): the signed program's name
  std::string archive;            // Instdata.pak
  std::set<std::string> unnamed;  // files/ names without a code page 932 form
  // When the script does not load: the script check's report of it, made
  // from a copy in a private folder, which tells why line by line.
  bool scriptFails = false;
  CheckResult scriptCheck;
};

// Adds a file to a disc, its folders spelled as the disc has them already;
// false with a reason when another source already put something there (the
// same file named twice is fine).
bool addDiscFile(Disc* disc, DiscFile file, std::string* reason);

// The layout in two steps, for the program may have to be signed between
// them (with the title the first step reads from the script).
// First: loads the project's script, checks the names of files/, makes
// Instdata.pak and checks that `exe` is a Windows program. False with the
// failure, or with set->scriptFails when the script does not load.
bool beginLayout(const Project& project, const std::string& exe, DiscSet* set, Warnings* warnings,
                 Failure* failure);
// Then: puts `program` (the KSetup.exe for disc 1), the script and the
// archive on disc 1 and every other file on its disc, chooses the volume
// labels and checks every name; `image` asks for the names an image holds.
bool finishLayout(const Project& project, const std::string& program, bool image, DiscSet* set,
                  Warnings* warnings, Failure* failure);
// Leaves the layout after the first step without the second.
void abandonLayout();

// Puts every disc's files into one disc, for one folder that holds the whole
// set; a path that two discs both hold (other than the same source file)
// cannot be merged: false with the failure, named by the project `folder`.
bool mergeDiscs(DiscSet* set, const std::string& folder, Failure* failure);
