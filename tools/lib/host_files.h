// Host files and folders in the tool's libraries: whole files read and
// written at once, and host folders standing for the drives of the
// program's paths.
#pragma once

#include <cstddef>
#include <string>

// Whole-file helpers for the tools (host paths).
bool readWholeFile(const std::string& path, std::string* data);
bool writeWholeFile(const std::string& path, const void* data, size_t size);
// True when `path` is a folder (or a link to one).
bool isFolder(const std::string& path);

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

// The name Windows reads from the code page 932 form of the UTF-8 name
// `utf8`: the same but for the characters two tables give different forms
// (〜 U+301C has the bytes of ～ U+FF5E, which is what Windows reads, and so
// for ∥ − ¢ £ ¬). False when the name has no code page 932 form.
bool windowsReading(const std::string& utf8, std::string* out);
