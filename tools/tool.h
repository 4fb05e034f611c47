// ksetup-tool: the authoring tool. Each subcommand group lives in its own
// file and returns the process exit code: 0 success, 1 bad input (one line on
// stderr naming the file and the reason), 2 usage error.
#pragma once

#include <string>

enum { kExitOk = 0, kExitBadInput = 1, kExitUsage = 2 };

int toolPak(int argc, char** argv);     // pak list|extract|create
int toolScript(int argc, char** argv);  // script dump|check
int toolEpa(int argc, char** argv);     // epa info|decode|encode
int toolScene(int argc, char** argv);   // scene render
int toolInstall(int argc, char** argv);    // install: the copy walk, natively
int toolUninstall(int argc, char** argv);  // uninstall: the removal of installed files

// Prints "ksetup-tool: FILE: REASON" to stderr and returns kExitBadInput.
int failInput(const std::string& file, const std::string& reason);
// Prints the usage line to stderr and returns kExitUsage.
int failUsage(const char* usage);

// Whole-file helpers for the tools (host paths).
bool readWholeFile(const std::string& path, std::string* data);
bool writeWholeFile(const std::string& path, const void* data, size_t size);
