// Reading ISO 9660 images (tools/lib/iso_image.h): our own reader, not the image
// engine's import, because an image may come from anywhere and the import
// follows whatever the image says (a folder pointing back at the root, a file
// forged to 4 GiB). Nothing here needs the engine, so the fuzz target and the
// 32-bit replay build take this file alone.
//
// The whole tree is read once, when the image is opened, one 2048-byte block
// at a time; every number the image gives is checked before it is used:
// extents lie inside the image, folders are visited once and at most
// kMaxDepth deep, entries and folder bytes are counted against their limits.
// Files are then read block by block from their extents, never as a whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "tools/lib/iso_image.h"

// ---- Limits -------------------------------------------------------------------------

static const uint32_t kBlock = 2048;
// Joliet allows 8 levels with the root; anything past this is damage.
static const int kMaxDepth = 64;
// Files and folders of the whole tree: far more than a DVD holds.
static const size_t kMaxEntries = 500000;
// Bytes of folder records read for the whole tree.
static const uint64_t kMaxFolderBytes = 64ull << 20;
// Volume descriptors looked at after block 16 before giving up.
static const int kMaxDescriptors = 64;

// ---- The image's bytes --------------------------------------------------------------

namespace {

struct Source {
  int fd = -1;                            // a host file, or
  const unsigned char* memory = nullptr;  // bytes in memory
  uint64_t size = 0;

  // Exactly `bytes` bytes from `offset`; false when they are not all there.
  bool read(uint64_t offset, void* out, size_t bytes) const {
    if (offset > size || bytes > size - offset) return false;
    if (memory) {
      memcpy(out, memory + offset, bytes);
      return true;
    }
    size_t done = 0;
    while (done < bytes) {
      ssize_t n = pread(fd, static_cast<char*>(out) + done, bytes - done, off_t(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }
};

struct Extent {
  uint64_t offset;
  uint64_t bytes;
};

struct Node {
  std::string name;  // UTF-8
  bool isFolder = false;
  uint64_t size = 0;
  std::vector<Extent> extents;     // a file's data, in order
  std::vector<uint32_t> children;  // a folder's entries, as stored
};

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void appendUtf8(std::string* out, uint32_t c) {
  if (c < 0x80) {
    *out += char(c);
  } else if (c < 0x800) {
    *out += char(0xC0 | c >> 6);
    *out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += char(0xE0 | c >> 12);
    *out += char(0x80 | (c >> 6 & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  } else {
    *out += char(0xF0 | c >> 18);
    *out += char(0x80 | (c >> 12 & 0x3F));
    *out += char(0x80 | (c >> 6 & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  }
}

// A Joliet name (UTF-16, big-endian) as UTF-8; a lone surrogate becomes
// U+FFFD, as does a zero.
std::string jolietName(const unsigned char* p, size_t bytes) {
  std::string out;
  size_t units = bytes / 2;
  for (size_t i = 0; i < units; i++) {
    uint32_t c = uint32_t(p[2 * i]) << 8 | p[2 * i + 1];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      uint32_t low = uint32_t(p[2 * i + 2]) << 8 | p[2 * i + 3];
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(&out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        i++;
        continue;
      }
    }
    if (c == 0 || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
    appendUtf8(&out, c);
  }
  return out;
}

// A plain ISO 9660 name: bytes outside printable ASCII shown as '?'.
std::string plainName(const unsigned char* p, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; i++) out += p[i] >= 0x20 && p[i] < 0x7F ? char(p[i]) : '?';
  return out;
}

// A file's name without its version (";1"), and without the dot of a name
// that has no extension ("KEY1.;1"), as Windows shows it.
void dropVersion(std::string* name) {
  size_t semicolon = name->rfind(';');
  if (semicolon != std::string::npos &&
      name->find_first_not_of("0123456789", semicolon + 1) == std::string::npos)
    name->resize(semicolon);
  if (name->size() > 1 && name->back() == '.') name->pop_back();
}

}  // namespace

struct IsoReader {
  Source source;
  bool joliet = false;
  std::string label;
  std::vector<Node> nodes;  // [0] is the root
  IsoFileReader* open = nullptr;
};

struct IsoFileReader {
  IsoReader* image = nullptr;
  const Node* node;
  size_t extent = 0;    // the extent being read
  uint64_t within = 0;  // bytes of it already read
};

// ---- The tree -----------------------------------------------------------------------

namespace {

struct TreeReader {
  IsoReader* image = nullptr;
  uint64_t folderBytes = 0;
  std::set<uint64_t> visited;  // folder extents, by their offset
  std::string error;

  bool fail(const std::string& why) {
    if (error.empty()) error = why;
    return false;
  }

  // An extent the image gives, checked to lie inside it.
  bool extentOf(const unsigned char* record, Extent* extent) {
    extent->offset = uint64_t(le32(record + 2)) * kBlock;
    extent->bytes = le32(record + 10);
    if (extent->offset > image->source.size || extent->bytes > image->source.size - extent->offset)
      return fail("damaged: an extent reaches past the end of the image");
    return true;
  }

  // Reads the folder whose records are `extent` into node `index`, and the
  // folders below it.
  bool readFolder(uint32_t index, const Extent& extent, int depth) {
    if (depth > kMaxDepth)
      return fail("damaged: folders nested more than " + std::to_string(kMaxDepth) + " deep");
    if (!visited.insert(extent.offset).second)
      return fail("damaged: a folder's records are those of another folder (a loop)");
    folderBytes += extent.bytes;
    if (folderBytes > kMaxFolderBytes) return fail("damaged: its folders are too large");
    std::vector<std::pair<uint32_t, Extent>> folders;  // read after this one
    unsigned char block[kBlock];
    Node* pending = nullptr;  // a file whose extents go on in the next record
    uint64_t offset = extent.offset;
    for (uint64_t left = extent.bytes; left > 0;) {
      size_t bytes = left < kBlock ? size_t(left) : kBlock;
      if (!image->source.read(offset, block, bytes)) return fail("cannot read a folder");
      offset += bytes;
      left -= bytes;
      for (size_t at = 0; at < bytes;) {
        size_t length = block[at];
        if (length == 0) break;  // the rest of the block is padding
        if (length < 34 || at + length > bytes)
          return fail("damaged: a folder record does not fit its block");
        const unsigned char* r = block + at;
        at += length;
        size_t nameBytes = r[32];
        if (33 + nameBytes > length) return fail("damaged: a name does not fit its record");
        if (nameBytes == 1 && r[33] <= 1) continue;  // the folder itself and its parent
        unsigned flags = r[25];
        if (r[26] != 0 || r[27] != 0) return fail("interleaved files are not read");
        Extent e;
        if (!extentOf(r, &e)) return false;
        std::string name =
            image->joliet ? jolietName(r + 33, nameBytes) : plainName(r + 33, nameBytes);
        bool folder = (flags & 2) != 0;
        if (!folder) dropVersion(&name);
        if (pending) {
          // The next piece of a file of several extents: the same name.
          if (folder || name != pending->name)
            return fail("damaged: a file's extents are broken off");
          pending->extents.push_back(e);
          pending->size += e.bytes;
          if (pending->size > image->source.size)
            return fail("damaged: \"" + pending->name + "\" is larger than the image");
          pending = (flags & 0x80) ? pending : nullptr;
          continue;
        }
        if (flags & 4) continue;  // an associated file: not shown by Windows
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
          return fail("damaged: a name no folder can hold");
        if (image->nodes.size() >= kMaxEntries)
          return fail("damaged: more than " + std::to_string(kMaxEntries) + " files and folders");
        uint32_t child = uint32_t(image->nodes.size());
        image->nodes.emplace_back();
        Node& n = image->nodes.back();
        n.name = name;
        n.isFolder = folder;
        if (folder) {
          folders.emplace_back(child, e);
        } else {
          n.extents.push_back(e);
          n.size = e.bytes;
          if (flags & 0x80) pending = &n;
        }
        image->nodes[index].children.push_back(child);
      }
      if (pending && left == 0) return fail("damaged: a file's extents are broken off");
    }
    if (pending) return fail("damaged: a file's extents are broken off");
    for (const auto& f : folders)
      if (!readFolder(f.first, f.second, depth + 1)) return false;
    return true;
  }
};

bool isJolietEscape(const unsigned char* d) {
  const unsigned char* e = d + 88;
  return e[0] == '%' && e[1] == '/' && (e[2] == '@' || e[2] == 'C' || e[2] == 'E');
}

IsoReader* openSource(const Source& source, std::string* error) {
  IsoReader* image = new IsoReader;
  image->source = source;
  unsigned char primary[kBlock], joliet[kBlock], d[kBlock];
  bool havePrimary = false, haveJoliet = false;
  for (int i = 0; i < kMaxDescriptors; i++) {
    if (!source.read(uint64_t(16 + i) * kBlock, d, kBlock)) break;
    if (memcmp(d + 1, "CD001", 5) != 0) break;
    if (d[0] == 255) break;
    if (d[0] == 1 && !havePrimary) {
      memcpy(primary, d, kBlock);
      havePrimary = true;
    } else if (d[0] == 2 && !haveJoliet && isJolietEscape(d)) {
      memcpy(joliet, d, kBlock);
      haveJoliet = true;
    }
  }
  if (!havePrimary) {
    *error = "not an ISO 9660 image";
    delete image;
    return nullptr;
  }
  image->label = plainName(primary + 40, 32);
  while (!image->label.empty() && image->label.back() == ' ') image->label.pop_back();
  image->joliet = haveJoliet;
  const unsigned char* descriptor = haveJoliet ? joliet : primary;
  if ((descriptor[128] | descriptor[129] << 8) != int(kBlock)) {
    *error = "not an image of 2048-byte blocks";
    delete image;
    return nullptr;
  }
  TreeReader tree;
  tree.image = image;
  const unsigned char* root = descriptor + 156;
  Extent rootExtent;
  image->nodes.emplace_back();
  image->nodes[0].isFolder = true;
  if (root[0] < 34 || !tree.extentOf(root, &rootExtent) || !tree.readFolder(0, rootExtent, 0)) {
    *error = tree.error.empty() ? "damaged: no root folder" : tree.error;
    delete image;
    return nullptr;
  }
  return image;
}

// The node at `path` ("" the root), matched exactly as stored; -1 when none.
long nodeAt(const IsoReader* image, const std::string& path) {
  uint32_t at = 0;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    start = end + 1;
    const Node& folder = image->nodes[at];
    if (!folder.isFolder) return -1;
    bool found = false;
    for (uint32_t child : folder.children)
      if (image->nodes[child].name == part) {
        at = child;
        found = true;
        break;
      }
    if (!found) return -1;
  }
  return long(at);
}

}  // namespace

// ---- The interface --------------------------------------------------------------------

bool looksLikeIsoImage(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char descriptor[6] = {};
  bool iso = pread(fd, descriptor, sizeof descriptor, 16 * kBlock) == ssize_t(sizeof descriptor) &&
             memcmp(descriptor + 1, "CD001", 5) == 0;
  close(fd);
  return iso;
}

IsoReader* openIsoImage(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "not an ISO 9660 image";
    close(fd);
    return nullptr;
  }
  Source source;
  source.fd = fd;
  source.size = uint64_t(st.st_size);
  IsoReader* image = openSource(source, error);
  if (!image) close(fd);
  return image;
}

IsoReader* openIsoImageBytes(const void* bytes, size_t size, std::string* error) {
  Source source;
  source.memory = static_cast<const unsigned char*>(bytes);
  source.size = size;
  return openSource(source, error);
}

void closeIsoImage(IsoReader* image) {
  if (!image) return;
  if (image->open) closeIsoFile(image->open);
  if (image->source.fd >= 0) close(image->source.fd);
  delete image;
}

std::string isoVolumeLabel(IsoReader* image) { return image->label; }

bool listIsoFolder(IsoReader* image, const std::string& path, std::vector<IsoEntry>* entries) {
  entries->clear();
  long at = nodeAt(image, path);
  if (at < 0 || !image->nodes[size_t(at)].isFolder) return false;
  for (uint32_t child : image->nodes[size_t(at)].children) {
    const Node& n = image->nodes[child];
    entries->push_back({n.name, n.isFolder, n.size});
  }
  return true;
}

std::vector<IsoEntry> listIsoTree(IsoReader* image) {
  // Depth first, each folder before what it holds, on a stack of our own.
  struct Level {
    uint32_t folder;
    size_t next;
    std::string path;
  };
  std::vector<IsoEntry> all;
  std::vector<Level> stack = {{0, 0, ""}};
  while (!stack.empty()) {
    Level& top = stack.back();
    const std::vector<uint32_t>& children = image->nodes[top.folder].children;
    if (top.next == children.size()) {
      stack.pop_back();
      continue;
    }
    uint32_t child = children[top.next++];
    const Node& n = image->nodes[child];
    std::string path = top.path.empty() ? n.name : top.path + "/" + n.name;
    all.push_back({path, n.isFolder, n.size});
    if (n.isFolder) stack.push_back({child, 0, path});
  }
  return all;
}

IsoFileReader* openIsoFile(IsoReader* image, const std::string& path) {
  if (image->open) return nullptr;
  long at = nodeAt(image, path);
  if (at <= 0 || image->nodes[size_t(at)].isFolder) return nullptr;
  image->open = new IsoFileReader{image, &image->nodes[size_t(at)]};
  return image->open;
}

uint64_t isoFileSize(IsoFileReader* file) { return file->node->size; }

bool readIsoFile(IsoFileReader* file, void* buffer, uint32_t bytes, uint32_t* got) {
  *got = 0;
  const std::vector<Extent>& extents = file->node->extents;
  while (*got < bytes && file->extent < extents.size()) {
    const Extent& e = extents[file->extent];
    uint64_t left = e.bytes - file->within;
    if (left == 0) {
      file->extent++;
      file->within = 0;
      continue;
    }
    uint32_t n = bytes - *got < left ? bytes - *got : uint32_t(left);
    if (!file->image->source.read(e.offset + file->within, static_cast<char*>(buffer) + *got, n))
      return false;
    file->within += n;
    *got += n;
  }
  return true;
}

void closeIsoFile(IsoFileReader* file) {
  if (!file) return;
  file->image->open = nullptr;
  delete file;
}
