// ksetup-tool: the authoring tool. Each subcommand group lives in its own
// file and returns the process exit code: 0 success, 1 bad input (one line on
// stderr naming the file and the reason), 2 usage error.
#pragma once

#include <string>
#include <vector>

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

// Whole-file helpers for the tools (host paths).
bool readWholeFile(const std::string& path, std::string* data);
bool writeWholeFile(const std::string& path, const void* data, size_t size);

// A path of the script (code page 932) for comparing names as the program
// does: letters folded as it folds them, separators as single backslashes,
// none at either end.
std::string comparable(const std::string& path);
// Why Windows cannot make the file or folder at the script path `path`
// (code page 932): a name with a character Windows refuses in names
// (< > : " | ? * or a control character), a device name (CON, AUX.TXT,
// COM1 ...), or one that ends in a dot or a blank. Empty when it can; the
// last name of a pattern (DATA\*.PAK) is not looked at.
std::string windowsNameProblem(const std::string& path);
// The name Windows reads from the code page 932 form of the UTF-8 name
// `utf8`: the same but for the characters two tables give different forms
// (〜 U+301C has the bytes of ～ U+FF5E, which is what Windows reads, and so
// for ∥ − ¢ £ ¬). False when the name has no code page 932 form.
bool windowsReading(const std::string& utf8, std::string* out);

// ---- Host folders in the program's paths ----
// The core names files the Windows way: drive roots ("E:\") and code page
// 932 names below them. A host folder the tool is given (any UTF-8 name)
// becomes a drive, so that the script's names are resolved below it exactly
// as the program resolves them on a disc.

// Drive letters: the install location, and disc n at kFirstDiscDrive + n - 1.
enum : char { kInstallDrive = 'C', kFirstDiscDrive = 'E' };

// Makes `hostFolder` stand for drive `letter`; the program path of its root
// ("E:\").
std::string mapDrive(char letter, const std::string& hostFolder);
// The program path of `hostFolder`, for a folder the program is to make or
// remove there itself (an install folder): its parent becomes kInstallDrive
// and its own name is given in code page 932. Empty, with *reason set, when
// the name has no code page 932 form.
std::string mapInstallFolder(const std::string& hostFolder, std::string* reason);
