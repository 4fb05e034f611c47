// ksetup-tool: the authoring tool. Each subcommand group lives in its own
// file and returns the process exit code: 0 success, 1 bad input (one line on
// stderr naming the file and the reason), 2 usage error.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/host_files.h"

enum { kExitOk = 0, kExitBadInput = 1, kExitUsage = 2 };

int toolPak(int argc, char** argv);     // pak list|extract|create
int toolScript(int argc, char** argv);  // script dump|check
int toolEpa(int argc, char** argv);     // epa info|decode|encode
int toolScene(int argc, char** argv);   // scene render
int toolInstall(int argc, char** argv);    // install: the copy walk, natively
int toolUninstall(int argc, char** argv);  // uninstall: the removal of installed files
int toolDisc(int argc, char** argv);       // disc build|list: disc sets from a project

// script check of a disc set (folders or images, disc 1 first; none for the
// script alone): prints the findings and the verdict as `script check` does
// and returns its exit code. `shownScript`, when not empty, names the script
// in the report in place of the file read.
int checkDiscSet(const std::string& dir, const std::vector<std::string>& discs,
                 const std::string& shownScript);

// Prints "ksetup-tool: FILE: REASON" to stderr and returns kExitBadInput.
int failInput(const std::string& file, const std::string& reason);
// Prints the usage line to stderr and returns kExitUsage.
int failUsage(const char* usage);
