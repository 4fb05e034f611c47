// The project disc build reads:
//   PROJECT/KSetup.ini     the setup script, UTF-8 (made code page 932 with CR LF
//                          line ends) or code page 932 (taken as it is);
//                          "{size PATH}" becomes the size of PATH in files/
//   PROJECT/pictures/      NAME.png for every NAME.EPA the script names (made
//                          EPA), or the picture itself under its own name
//   PROJECT/files/         the game's files as they are installed: every file
//                          the lists name, by the path they name it
//   PROJECT/discN/         optional: anything else disc N holds, as it is (key
//                          files, the DirectX setup, a manual, autorun.inf)
//   PROJECT/project.ini    optional: EPAMODE NAME.EPA = 0|1|2, and the release
//                          settings (tools/lib/disc_release.h)
// and the rules for the names of a disc that the layout shares with it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/lib/disc_release.h"
#include "tools/lib/failure.h"
#include "tools/lib/host_files.h"

// The drive the project's files/ folder stands for, so that the script's
// names are found there as on a disc.
static const char kFilesDrive = 'P';

struct Project {
  std::string folder;                // absolute, no '/' at the end
  std::string scriptName;            // folder/KSetup.ini
  std::string script;                // code page 932, sizes filled
  std::map<std::string, int> modes;  // pathKey of a picture -> EPAMODE
  ReleaseOptions settings;           // project.ini's release settings
};

// Takes the project folder `folder`: checks that it has its files/ and
// pictures/, makes files/ drive kFilesDrive and reads project.ini.
bool openProject(const std::string& folder, Project* project, Failure* failure);
// Reads the setup script as code page 932 and fills in its sizes.
bool readProjectScript(Project* project, Failure* failure);

// ---- Names ----

// A disc path (UTF-8) for comparing names as Windows does (the path itself
// when it has no code page 932 form).
std::string pathKey(const std::string& utf8);
// A script path (code page 932, backslashes) as a disc path (UTF-8, '/').
std::string discPathOf(const std::string& cp932);
// Code page 932 text as UTF-8.
std::string shownText(const char* cp932);
// The regular files below a host folder, paths relative to it, sorted.
std::vector<std::string> regularFilesBelow(const std::string& folder);
