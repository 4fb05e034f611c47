// What install and uninstall need around the core's copy walk and removal
// when they run on the host: the install folder in the program's form,
// checked as the program checks it; the setup script loaded from a disc
// folder or image as the program loads it; the bytes a disc's copy moves.
#pragma once

#include <cstdint>
#include <string>

// The install folder `host` (absolute) in the program's form (see
// mapInstallFolder), checked as the program checks a folder it installs
// into. Empty with *reason, which starts with `what`, when it cannot be one.
std::string programInstallFolder(const std::string& host, const std::string& what,
                                 std::string* reason);

// Loads KSetup.ini from `dir` (a folder or disc image) into `config` as the
// program does; the current folder stays there. False with *reason.
bool loadScriptOf(const std::string& dir, std::string* reason);

// The bytes the copy of disc `disc` (from 0) will move for `option`: the
// real sizes of the selected files on the drive `root` ("E:\"), for the
// script's FILESIZE may be off.
uint64_t bytesToCopy(int disc, const std::string& root, uint32_t option);
