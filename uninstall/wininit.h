// The text edit of the start-up rename file WININIT.INI that deletes a file
// at the next system start (the Windows 95 family acts on "NUL = path" lines
// in its [rename] section). Portable: the caller reads and writes the file.
#pragma once

#include <cstdint>

// Bytes to write into the file at `offset`; the file's bytes before the
// offset stay, and the text written is never shorter than what it replaces.
// `text` is a heap block, freed with heapFree.
struct WininitEdit {
  uint32_t offset;
  uint32_t length;
  char* text;
};

// Plans the edit that adds "NUL = <path>" to the [rename] section:
// - no file (`exists` false): "[rename]" CR LF "NUL = <path>", no line end;
// - a [rename] section (letters compared without regard to case, searched up
//   to the first zero byte): CR LF "NUL = <path>" CR LF written right after
//   the section name, followed by every byte the file had after it;
// - no such section (also an empty file): CR LF "[rename]" CR LF
//   "NUL = <path>" CR LF appended at the end, since the system reads NUL
//   lines only inside that section.
// False when no memory could be had.
bool planWininitEdit(const char* fileText, uint32_t fileSize, bool exists, const char* ownPath,
                     WininitEdit* edit);

// The offset of the first "[rename]" in the text (a..z taken as A..Z on both
// sides) before its first zero byte or `size`, or -1.
int64_t findRenameSection(const char* text, uint32_t size);

// ---- Windows (self_removal_win.cpp) ------------------------------------------

// Asks the system to delete the running program's file at the next start,
// and with `withFolder` the folder that holds it after it: the delayed-delete
// service first, else a line in WININIT.INI for the file (the system that
// reads that file deletes no folders). Silent.
void scheduleSelfRemoval(bool withFolder);
// The WININIT.INI step alone, for the file at `ownPath`.
void scheduleInWininit(const wchar_t* ownPath);
