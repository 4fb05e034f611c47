// Copying one disc's files to the install folder, and the path rules shared
// with the removal of installed files. Everything here works through the
// FileOps record (install/file_ops.h) and the setup configuration; the
// install window supplies the thread, the message checks and the posting.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "install/removal.h"  // InstallJournal

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
  const char* sourceRoot;               // the disc's root: "E:\" or a folder ending in "\"
  std::atomic<uint64_t>* bytesRead;     // increased per block read
  std::atomic<uint64_t>* bytesWritten;  // increased per block written
  CopyCheckFn check;
  CopyPostFn post;
  void* context;  // passed to check and post
  // Notes every file the copy creates or replaces, over all discs of one
  // install; on an error or abort exactly those changes are taken back.
  // Null: everything the file lists name is removed instead.
  InstallJournal* journal;
};

// Copies the entries of config.fileList[disc] that share a bit with
// installOption, in 4096-byte blocks. Checks for messages at the start of
// every entry and before every block of a file but its last. On a read or
// write error posts MSG_READ_ERROR or MSG_WRITE_ERROR (disc, entry), and on an
// error or abort takes back what the install has written so far
// (takeBackInstall with the job's journal). When the list is done posts
// MSG_NEXT_DISC.
// Runs on the caller's thread; the counters are the only shared output.
CopyEnd copyDisc(const CopyJob* job);

// The root of the drive numbered `drive` (1 = A:): "A:\" ... "Z:\" in a buffer
// of at least 4 bytes. False for a number outside 1..26.
bool sourceRootOf(int drive, char* root);

// Creates `installFolder` (install/install_path.h) and the configuration's
// makeFolder folders below it, in order, noting every folder it makes in
// `journal` (when given). False when the install folder is not usable, a
// makeFolder entry is refused (its index then in *refusedEntry, else -1
// there), a working buffer cannot be had or a made folder could not be
// noted (folders that exist already are no failure).
bool createInstallFolders(int* refusedEntry = nullptr, InstallJournal* journal = nullptr);
// Creates every level of a folder path, shortest first, noting the levels
// it makes in `journal` (when given); levels that exist or cannot be made
// are passed over. False only when the working buffer cannot be had, the
// path does not fit in 260 bytes or a made level could not be noted.
bool createPath(const char* path, InstallJournal* journal = nullptr);
