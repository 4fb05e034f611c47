// The few operating-system services the portable core needs: zero-filled heap
// blocks, reading files, the current folder and the program's folder.
// platform_win.cpp implements them with kernel32; platform_posix.cpp with
// POSIX calls, taking the program's Windows-style paths (backslashes, any
// letter case) so the same core code runs and is tested on Linux.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Heap -------------------------------------------------------------------

// A zero-filled block, or null. Freed with heapFree (null is ignored).
void* heapAlloc(size_t bytes);
void heapFree(void* block);

// Tests make the n-th following heapAlloc fail (1 = the next one); 0 turns
// the fault off. Counted per thread.
void heapFailAfter(unsigned n);

// ---- Files ------------------------------------------------------------------

typedef void* FileRef;  // an open file; null means failure

// Opens an existing file for sequential reading, shared for reading.
FileRef fileOpenRead(const char* path);
// The file's size in bytes; 0 when it cannot be told.
uint64_t fileSize(FileRef file);
// Reads up to `bytes` bytes at the current position; *got receives the count
// read (less at the end of the file). False on a read error.
bool fileRead(FileRef file, void* buffer, uint32_t bytes, uint32_t* got);
// Moves the position `bytes` forward from where it is. False on failure.
bool fileSkip(FileRef file, uint32_t bytes);
void fileClose(FileRef file);

// ---- Clock ------------------------------------------------------------------

// A millisecond counter that wraps at 2^32, for timing animation steps.
uint32_t clockMilliseconds();

// ---- Folders ----------------------------------------------------------------

// The process-wide current folder, named in the program's form.
bool setCurrentFolder(const char* path);
bool getCurrentFolder(char* buffer, size_t size);

// Makes the folder that holds the running program the current folder. Its
// name comes from the system and is used as the system gives it, whatever
// characters it holds. Tools and tests may name another one in the host's
// form (setProgramFolder; null restores the program's), so that pictures are
// looked up beside a script rather than beside the tool itself.
bool enterProgramFolder();
void setProgramFolder(const char* hostFolder);

// The current folder is process-wide: code that sets it and then opens names
// relative to it holds this lock across both steps, so that another thread
// cannot move it in between. Recursive on every platform.
void lockCurrentFolder();
void unlockCurrentFolder();

#ifndef _WIN32
#include <string>
// POSIX only: the host folder that stands for drive `letter`, so that program
// paths "E:\..." reach below it (null or empty forgets the drive). Tools map
// disc folders and install locations this way; their host names may hold any
// characters, while what the program names below them is code page 932.
void setDriveFolder(char letter, const char* hostFolder);
// POSIX only: a program path in host form: a mapped drive replaced by its
// folder, separators turned into '/', each name in UTF-8 and matched without
// regard to letter case (see platform_posix.cpp).
std::string hostPath(const char* path);
// POSIX only: opens an existing file (not a folder) named by a program path
// for reading; the descriptor, or -1.
int hostOpenRead(const char* path);
#endif
