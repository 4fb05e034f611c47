// ksetup-tool: the authoring tool. Each subcommand group lives in its own
// file and returns the process exit code: 0 success, 1 bad input (one line on
// stderr naming the file and the reason), 2 usage error.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/failure.h"
#include "tools/lib/host_files.h"

enum { kExitOk = 0, kExitBadInput = 1, kExitUsage = 2 };

int toolPak(int argc, char** argv);     // pak list|extract|create
int toolScript(int argc, char** argv);  // script dump|check
int toolEpa(int argc, char** argv);     // epa info|decode|encode
int toolScene(int argc, char** argv);   // scene render
int toolInstall(int argc, char** argv);    // install: the copy walk, natively
int toolUninstall(int argc, char** argv);  // uninstall: the removal of installed files
int toolDisc(int argc, char** argv);       // disc build|list: disc sets from a project

// Prints "ksetup-tool: FILE: REASON" to stderr and returns kExitBadInput.
int failInput(const std::string& file, const std::string& reason);
// The same for a library's failure.
int failInput(const Failure& failure);
// Prints each warning as "ksetup-tool: FILE: warning: REASON" to stderr.
void printWarnings(const Warnings& warnings);
// Prints the usage line to stderr and returns kExitUsage.
int failUsage(const char* usage);
