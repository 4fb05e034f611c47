// Finding the CD-ROM drive that holds a given disc of the set, and asking the
// user for a disc. A disc is recognised by its key file (keyFile[n - 1] of the
// setup configuration) below the drive's root. Drive numbers are 1 for A:
// up to 26 for Z:.
//
// The text helpers are portable; probing, the prompts and the registry
// descriptions are in disc_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

// The drive of the disc last located or chosen; 0 before any.
extern uint8_t cdDrive;
// The 0-based disc the insert-disc prompt is asking for.
extern int32_t promptDiscIndex;

// 1..26 for a drive letter of either case, 0 for any other byte.
int driveNumberOfLetter(char letter);

// Entry of the drive list: "[-L-] description", cut to fit `size` bytes;
// without a description "[-L-] CDROM DRIVE" with L in upper case.
void formatDriveEntry(char* out, size_t size, const char* letter, const char* description);

// Turns a mounted-device path such as \??\IDE#CdRom...#5&1a&0&1.0.0#{guid}
// into the key path System\CurrentControlSet\Enum\IDE\CdRom...\5&1a&0&1.0.0
// below HKEY_LOCAL_MACHINE. False when the path has fewer than three '#' or
// the key path does not fit `size` bytes.
bool enumKeyFromDevicePath(const char* devicePath, char* keyOut, size_t size);

// ---- Windows (disc_win.cpp) -------------------------------------------------

// The first CD-ROM drive, in letter order, with a medium on which the key
// file exists; 0 when none.
int probeDisc(const char* keyFileName);

// 1 once the drive of disc `discNumber` (1-based) is known and in cdDrive;
// asks with the insert-disc and select-drive dialogs (owned by `owner`, a
// window handle or null) until then. 0 when the user cancelled or the number
// names no disc.
int requestDisc(void* owner, uint32_t discNumber);
// Ends the disc prompt that is open, as its Cancel does, and makes the
// requestDisc that shows it return 0 (a close of the prompt's owner from
// outside). Nothing when no prompt is open.
void cancelDiscPrompt();

// The list entry of a CD-ROM drive ("D:\"): its description from the
// registry, else the "CDROM DRIVE" form. entryOut holds 260 bytes. 1, or 0
// when no working memory could be had.
int describeCdDrive(const char* driveRoot, char* entryOut);
