#include "media/pack.h"

#include <cstring>

#include "platform/sjis.h"

static uint32_t readLe32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

PackHandle* packOpen(const char* name, const char* archivePath) {
  if (!name) return nullptr;
  PackHandle* handle = static_cast<PackHandle*>(heapAlloc(sizeof(PackHandle)));
  if (!handle) return nullptr;
  handle->inArchive = 0;
  handle->file = fileOpenRead(name);
  if (handle->file) {
    handle->size = static_cast<uint32_t>(fileSize(handle->file));
    handle->dataOffset = 0;
  } else {
    handle->file = archivePath ? fileOpenRead(archivePath) : nullptr;
    if (!handle->file) {
      heapFree(handle);
      return nullptr;
    }
    handle->inArchive = 1;
    handle->size = packFindMember(handle, name);
    if (handle->size == 0) {
      fileClose(handle->file);
      heapFree(handle);
      return nullptr;
    }
  }
  handle->transferred = 0;
  handle->requested = 0;
  return handle;
}

uint32_t packFindMember(PackHandle* handle, const char* name) {
  if (!handle || !handle->file || !name) return 0;
  // The name after its last backslash, which may also be the second byte
  // of a double-byte character.
  const char* base = sjisAfterLastBackslash(name);

  unsigned char header[kPackHeaderSize] = {};
  uint32_t got = 0;
  if (!fileRead(handle->file, header, sizeof header, &got)) return 0;
  uint32_t count = readLe32(header + 12);
  uint32_t nameSize = header[11] == '2' ? kPackLongName : kPackShortName;
  if (count == 0) return 0;

  // A directory the file cannot hold is not read at all: the count is
  // untrusted and would otherwise ask for up to 160 GB. Nor is one of 4 GiB
  // or more, which no 32-bit size or read count carries whole.
  uint64_t dirSize = uint64_t(nameSize + 8) * count;
  uint64_t total = fileSize(handle->file);
  if (total < kPackHeaderSize || dirSize > total - kPackHeaderSize) return 0;
  if (dirSize > UINT32_MAX) return 0;

  unsigned char* dir = static_cast<unsigned char*>(heapAlloc(static_cast<size_t>(dirSize)));
  if (!dir) return 0;
  if (!fileRead(handle->file, dir, static_cast<uint32_t>(dirSize), &got)) {
    heapFree(dir);
    return 0;
  }

  char field[kPackLongName + 1];
  uint32_t found = count;
  for (uint32_t i = 0; i < count; i++) {
    memcpy(field, dir + size_t(i) * nameSize, nameSize);
    field[nameSize] = 0;  // a name that fills its field has no terminator
    if (sjisSameNoCase(base, field)) {
      found = i;
      break;
    }
  }
  if (found == count) {
    heapFree(dir);
    return 0;
  }
  const unsigned char* extent = dir + size_t(nameSize) * count + size_t(8) * found;
  uint32_t offset = readLe32(extent);
  uint32_t size = readLe32(extent + 4);
  heapFree(dir);
  handle->dataOffset = static_cast<uint32_t>(dirSize) + offset + kPackHeaderSize;
  if (!fileSkip(handle->file, offset)) return 0;
  return size;
}

uint32_t packSize(const PackHandle* handle) { return handle ? handle->size : 0; }

int packRead(PackHandle* handle, void* buffer) {
  if (!handle || !handle->file || !buffer) return 0;
  handle->requested = handle->size;
  handle->transferred = 0;
  uint32_t got = 0;
  if (!fileRead(handle->file, buffer, handle->size, &got)) return 0;
  handle->transferred = got;
  return 1;
}

int packWait(PackHandle* handle) {
  if (!handle || !handle->file) return 0;
  // Reads complete before packRead returns: a short read will not grow, so
  // there is nothing to poll for.
  return 1;
}

void packClose(PackHandle* handle) {
  if (!handle) return;
  fileClose(handle->file);
  heapFree(handle);
}
