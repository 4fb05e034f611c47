// Reading a loose file or a member of a Pack archive (Instdata.pak) whole.
//
// Archive layout, little-endian: a 16-byte header (11 signature bytes, a
// variant byte: '2' for 32-byte names, anything else for 16-byte names, and a
// 32-bit member count), then the name table (count x N bytes, NUL-padded base
// names), then the extent table (count x {offset, size}, 32 bits each).
// Member data starts at 16 + directory size + offset.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct PackHandle {
  uint32_t inArchive;    // 1 for an archive member, 0 for a plain file
  FileRef file;
  uint32_t dataOffset;   // absolute offset of the data in the file
  uint32_t size;         // bytes of data
  uint32_t requested;    // bytes asked for by the last packRead
  uint32_t transferred;  // bytes the last packRead got
};

enum {
  kPackHeaderSize = 16,
  kPackLongName = 32,   // variant '2'
  kPackShortName = 16,  // any other variant
};

// Opens `name` as a plain file, else looks its base name up (without regard
// to case) in the archive `archivePath`. Null when neither has it, or when
// the member is empty.
PackHandle* packOpen(const char* name, const char* archivePath);
uint32_t packSize(const PackHandle* handle);
// Reads the whole data into `buffer` (packSize bytes). 1, or 0 on failure;
// a short read still gives 1 with transferred < requested.
int packRead(PackHandle* handle, void* buffer);
// 1 once the last read is complete; reads are synchronous, so a short read is
// final and ends the wait at once as well. 0 for a null or closed handle.
int packWait(PackHandle* handle);
void packClose(PackHandle* handle);

// Finds `name` (its part after the last backslash) in the archive open in
// `handle`, positioned at its start. Returns the member's size, or 0 when it
// is missing or the directory cannot be read; on success the file position
// is at the member's data and dataOffset is set.
uint32_t packFindMember(PackHandle* handle, const char* name);
