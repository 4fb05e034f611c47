// Finding where a given disc of the set lies, and asking the user for a
// disc. A disc is recognised by its key file (keyFile[n - 1] of the setup
// configuration) below its root: the root of a CD-ROM drive (E:\), or a
// folder the disc was copied to (C:\Games\Set\disc2\, \\server\share\disc2\).
// Drive numbers are 1 for A: up to 26 for Z:.
//
// The search order, the root paths and the text helpers are portable; the
// system's side (drives, files, the prompts, the folder browser and the
// registry descriptions) is in disc_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

enum { kDiscRootSize = 260 };

// The root of the disc last located or chosen, ending with a backslash:
// every source path on a disc is built from it. Empty before any.
extern char discRoot[kDiscRootSize];
// The drive of that disc when its root is a drive's root (1 = A:); 0 before
// any, and for a disc in a folder.
extern uint8_t cdDrive;
// The folder the player started the program from, as a root (ending with a
// backslash), when it is not the root of a CD-ROM drive: discs are then also
// looked for there and in the folders beside it. Empty otherwise.
extern char startRoot[kDiscRootSize];
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

// ---- Root paths -------------------------------------------------------------

// `folder` as a root: the path with one backslash at its end ("C:" and "C:\"
// give "C:\", "C:\ソフト" gives "C:\ソフト\" even though ト ends in 0x5C).
// False, with `out` emptied, when `folder` is empty or the root does not fit.
bool discRootOf(char* out, size_t size, const char* folder);
// The drive number of a root that is a drive's root ("E:\"), else 0.
int driveOfRoot(const char* root);
// Splits a root into the root of its parent and its last name
// ("C:\ソフト\disc1\" gives "C:\ソフト\" and "disc1"). False for a drive's
// root and a share's root (\\server\share\), which have no parent.
bool parentRootOf(const char* root, char* parentOut, size_t parentSize, char* nameOut,
                  size_t nameSize);

// ---- Search -----------------------------------------------------------------

enum DriveKind : uint8_t { kDriveOther, kDriveCdrom, kDriveFixed, kDriveRemovable, kDriveRemote };
enum MediumState { kMediumAbsent, kMediumPresent, kMediumUnknown };

// What the search asks of the system; the Windows layer answers with the
// real drives and files, tests with their own.
class DiscSystem {
 public:
  // The drives' letters (upper case) and kinds, in letter order; returns the
  // count (at most `max`).
  virtual int drives(char* letters, DriveKind* kinds, int max) = 0;
  // Whether a CD-ROM drive reports a medium; kMediumUnknown when its
  // CD-audio device cannot be opened (a mounted image has none).
  virtual MediumState medium(char letter) = 0;
  virtual bool fileExists(const char* path) = 0;
  // Calls `visit` with the name of each folder directly in `root`.
  virtual void eachFolder(const char* root, void (*visit)(void* context, const char* name),
                          void* context) = 0;

 protected:
  ~DiscSystem() = default;
};

// The root of the disc whose key file is `keyFile`, into rootOut: first the
// CD-ROM drives in letter order (a drive that reports no medium is passed
// over; one whose medium cannot be told is probed all the same); then, when
// `start` is not empty, that folder and the folders beside it, by name. False
// when no place holds the key file.
bool findDisc(DiscSystem& system, const char* keyFile, const char* start, char* rootOut,
              size_t size);

// ---- Windows (disc_win.cpp) -------------------------------------------------

// The first CD-ROM drive, in letter order, that holds the key file; 0 when
// none. Folders are not looked at.
int probeDisc(const char* keyFileName);
// Locates a disc by its key file the way requestDisc does without asking:
// on success discRoot and cdDrive hold where it lies.
bool locateDisc(const char* keyFileName);

// 1 once the place of disc `discNumber` (1-based) is known and in discRoot
// (and cdDrive);
// asks with the insert-disc and select-drive dialogs (owned by `owner`, a
// window handle or null) until then. `keyFile` and `discName` are the disc's
// key file and the name the prompt shows (the caller takes them from the
// script). 0 when the user cancelled or the number names no disc.
int requestDisc(void* owner, uint32_t discNumber, const char* keyFile, const char* discName);
// Ends the disc prompt that is open, as its Cancel does, and makes the
// requestDisc that shows it return 0 (a close of the prompt's owner from
// outside). Nothing when no prompt is open.
void cancelDiscPrompt();

// The list entry of a CD-ROM drive ("D:\"): its description from the
// registry, else the "CDROM DRIVE" form. entryOut holds 260 bytes. 1, or 0
// when no working memory could be had.
int describeCdDrive(const char* driveRoot, char* entryOut);
