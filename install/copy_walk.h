// Copying one disc's files to the install folder, and the path rules shared
// with the removal of installed files. Everything here works through the
// FileOps record (install/file_ops.h) and the setup configuration; the
// install window supplies the thread, the message checks and the posting.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

enum : uint32_t { kCopyBlock = 4096 };

// Private window messages the copy posts (wParam disc index, lParam entry index).
enum : uint32_t {
  MSG_READ_ERROR = 0x500,
  MSG_WRITE_ERROR = 0x502,
  MSG_NEXT_DISC = 0x510,
};

// Answer of a message check.
enum CopyCheck : int { kCopyContinue = 0, kCopyAbort = 1 };

// How a copy ended.
enum CopyEnd : int {
  kCopyDone = 0,     // list done, MSG_NEXT_DISC posted
  kCopyFailed = 1,   // error posted, installed files removed
  kCopyAborted = 2,  // abort at a check, installed files removed
};

// Called at each message check; may block (pause) and returns kCopyContinue
// or kCopyAbort.
typedef int (*CopyCheckFn)(void* context);
// Called to post one of the messages above.
typedef void (*CopyPostFn)(void* context, uint32_t message, int disc, int entry);

// Everything one copy reads, set before it starts and unchanged while it runs.
struct CopyJob {
  int disc;                             // from 0
  uint32_t installOption;               // option bit mask: 8, 4 or 2
  const char* installFolder;            // destination
  const char* sourceRoot;               // "E:\" (see sourceRootOf)
  std::atomic<uint64_t>* bytesRead;     // increased per block read
  std::atomic<uint64_t>* bytesWritten;  // increased per block written
  CopyCheckFn check;
  CopyPostFn post;
  void* context;  // passed to check and post
};

// Copies the entries of config.fileList[disc] that share a bit with
// installOption, in 4096-byte blocks. Checks for messages at the start of
// every entry and before every block of a file but its last. On a read or
// write error posts MSG_READ_ERROR or MSG_WRITE_ERROR (disc, entry), and on an
// error or abort removes everything installed so far with the save data kept
// (removeInstalledFilesIn). When the list is done posts MSG_NEXT_DISC.
// Runs on the caller's thread; the counters are the only shared output.
CopyEnd copyDisc(const CopyJob* job);

// The root of the drive numbered `drive` (1 = A:): "A:\" ... "Z:\" in a buffer
// of at least 4 bytes. False for a number outside 1..26.
bool sourceRootOf(int drive, char* root);

// Creates `installFolder` (uninstall/removal.h) and the configuration's
// makeFolder folders below it, in order. False when the install folder is not
// usable, a makeFolder entry is refused or a working buffer cannot be had
// (folders that exist already are no failure).
bool createInstallFolders();
// Creates every level of a folder path, shortest first; levels that exist
// or cannot be made are passed over. False only when the working buffer
// cannot be had or the path does not fit in 260 bytes.
bool createPath(const char* path);

// ---- Path rules ---------------------------------------------------------------

// An install folder the program may write and delete in: not empty, shorter
// than 260 bytes, and rooted (a drive "X:\", a network share "\\server\share",
// or a POSIX path "/...").
bool folderIsUsable(const char* folder);
// A relative path from a file list, save-data list or makeFolder list that
// stays below the folder it is joined to: not empty, no colon (drive or
// stream), no component made of dots but ".", not starting with two
// separators. One leading separator is allowed: it is a doubled separator
// once joined.
bool entryIsSafe(const char* entry);
// True when the entry holds `*` or `?` anywhere.
bool entryIsPattern(const char* entry);
// The folder part of a pattern: the text before its last separator, empty
// when that is the first character or there is none. `out` holds 260 bytes.
void patternFolderPart(const char* entry, char* out);
// True when a name a folder search returned is one the entry's last component
// matches by itself: `*` any run, `?` one character (a run of `?` before a
// dot or the end also none), letters without regard to case, "*.*" every
// name, a trailing ".*" also names without an extension. Searches on Windows
// also match short 8.3 aliases, which the copy and the removal must not act
// on. Shift-JIS characters count as one.
bool nameMatchesPattern(const char* entry, const char* name);
// Joins folder and parts into `out` (260 bytes) as "a\b\c" (second and third
// may be null). False, with `out` emptied, when the folder is not usable, a
// part is not safe or the result does not fit.
bool installPath(char* out, const char* folder, const char* part, const char* name);
// The root of the file system a rooted folder lies on: "D:\" for "D:\...",
// "\\server\share\" for a share, "/" for a POSIX path. False otherwise.
bool driveRootOf(const char* folder, char* root, size_t size);
