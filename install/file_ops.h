// The file and folder operations the copy walk and the removal of installed
// files need, as one record of function pointers. file_ops_win.cpp fills it
// with kernel32 calls, file_ops_posix.cpp with POSIX calls; both take the
// program's paths (code page 932, backslashes, any letter case).
// Tests wrap the platform's record to inject faults and watch every path.
#pragma once

#include <cstdint>

// One name returned by a folder search, in code page 932. A name the system
// holds that code page 932 cannot write is returned as `foreign` with its
// system bytes in `name` (UTF-8 on POSIX, empty on Windows): it cannot be
// named in a program path.
struct FoundName {
  char name[260];
  int isFolder;
  int foreign;
};

// What deleting a file came to.
enum DeleteResult : int {
  kDeleteDone = 0,
  kDeleteMissing = 1,  // the file or its folder does not exist
  kDeleteFailed = 2,   // locked, protected, a folder, ...
};

// What renaming a file came to.
enum MoveResult : int {
  kMoveDone = 0,
  kMoveMissing = 1,  // the file to move does not exist
  kMoveExists = 2,   // something already has the new name (it is never replaced)
  kMoveFailed = 3,   // locked, protected, ...
};

// Open files and searches are opaque; null means failure.
struct FileOps {
  // An existing file for sequential reading, shared for reading.
  void* (*openRead)(const char* path);
  // The file's size in bytes. False when it cannot be told.
  bool (*size)(void* file, uint64_t* bytes);
  // A file created anew for writing (an existing one is replaced).
  void* (*create)(const char* path);
  // Move up to `bytes` bytes; *moved receives how many moved. False on failure.
  bool (*read)(void* file, void* buffer, uint32_t bytes, uint32_t* moved);
  bool (*write)(void* file, const void* buffer, uint32_t bytes, uint32_t* moved);
  void (*close)(void* file);
  // Searches the folder a pattern names for matching entries (`*` and `?` in
  // the last component). Null when nothing matches or the folder is missing.
  void* (*findFirst)(const char* pattern, FoundName* found);
  bool (*findNext)(void* search, FoundName* found);
  void (*findClose)(void* search);
  DeleteResult (*deleteFile)(const char* path);
  // Gives a file (or folder) a new name in the same folder; never replaces.
  MoveResult (*moveFile)(const char* from, const char* to);
  bool (*createFolder)(const char* path);
  bool (*removeFolder)(const char* path);
  bool (*setCurrent)(const char* path);
  void (*sleep)(uint32_t milliseconds);
  // True when the path is a link to elsewhere (a symbolic link, a junction,
  // any reparse point), which a removal in a folder other programs of the
  // player can write must not follow. May be null: nothing is a link.
  bool (*isLink)(const char* path);
};

// The operating system's record.
const FileOps* platformFileOps();

// The record the copy walk and the removal use: the platform's unless a test
// chose another. Null restores the platform's. Set it only while no copy or
// removal runs.
const FileOps* fileOps();
void setFileOps(const FileOps* ops);
