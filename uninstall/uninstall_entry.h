// The game's entry in the system's list of installed programs, which the
// script asks for with UNINSTALLENTRY: a folder inside the install folder
// keeps a copy of the program, its script and its archive, so that the
// uninstall can be started from that list without the disc. The names and
// figures here are portable; uninstall_entry_win.cpp writes and removes the
// entry.
#pragma once

#include <cstddef>
#include <cstdint>

// The entry's key name below the list's key: "KSetup " and the install
// record's key (REGADDRESS, leading separators left out) with '\\', '/' and
// '_' written as "_5C", "_2F" and "_5F", so that every record key has an
// entry of its own. False when there is no record key or it does not fit in
// `size` bytes.
bool uninstallEntryKey(char* out, size_t size);
// The folder of the copies: the install folder and UNINSTALLENTRY (260
// bytes). False when the script asks for no entry or the folder would reach
// outside the install folder.
bool uninstallEntryFolder(char* out);
// What the install option puts on the disk, in whole kilobytes rounded up,
// as the list shows a program's size.
uint32_t installedKilobytes(uint32_t option);

// ---- Windows (uninstall_entry_win.cpp) ------------------------------------------

// After a complete install: copies KSetup.exe (the running program),
// KSetup.ini and Instdata.pak (from `scriptFolder`, where the script was
// read; a file that is not there is passed over) into the entry's folder and
// writes the entry for the current user. Nothing when the script asks for
// none. False, with nothing registered, when the program could not be copied
// or the entry not written.
bool addUninstallEntry(const wchar_t* scriptFolder);
// Deletes the copies, their folder and the entry. Nothing when the script
// asks for no entry.
void removeUninstallEntry();
