// File operations that remember: the disc drives' operations
// (tools/lib/image_drive.h), with the last paths opened, the last failure
// and the files made or deleted noted for the messages and summaries of an
// install or a removal. Only the thread that copies or removes uses them;
// another thread reads the notes after it has ended.
#pragma once

#include <string>
#include <vector>

struct FileNotes {
  std::string source, destination;  // of the file being copied (program form)
  int error = 0;                    // errno of the last failure
  int openFiles = 0;
  int filesCopied = 0;
  int filesDeleted = 0;
  std::vector<std::string> failedDeletions;  // "path: reason", paths as the user knows them
};

// The notes of the operations since useNotedFileOps.
extern FileNotes fileNotes;

// Clears the notes and makes the noting operations the core's (setFileOps);
// setFileOps(nullptr) ends them.
void useNotedFileOps();
