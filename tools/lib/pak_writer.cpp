#include "tools/lib/pak_writer.h"

#include <cstdint>
#include <cstring>

static void putLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; i++) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

static uint32_t getLe32(const std::string& s, size_t at) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool buildPack(const std::vector<PackMember>& members, bool longNames, std::string* archive,
               std::string* error) {
  const size_t nameSize = longNames ? 32 : 16;
  std::string out("KSETUP-PACK", 11);
  out.push_back(longNames ? '2' : '1');
  putLe32(&out, static_cast<uint32_t>(members.size()));
  for (const PackMember& m : members) {
    if (m.name.empty() || m.name.size() >= nameSize || m.name.find('\0') != std::string::npos) {
      *error = "member name '" + m.name + "' does not fit a " + std::to_string(nameSize) +
               "-byte name field (at most " + std::to_string(nameSize - 1) + " bytes)";
      return false;
    }
    std::string field = m.name;
    field.resize(nameSize, '\0');
    out += field;
  }
  uint64_t offset = 0;
  for (const PackMember& m : members) {
    if (offset + m.data.size() > UINT32_MAX) {
      *error = "archive data exceeds 4 GB";
      return false;
    }
    putLe32(&out, static_cast<uint32_t>(offset));
    putLe32(&out, static_cast<uint32_t>(m.data.size()));
    offset += m.data.size();
  }
  for (const PackMember& m : members) out += m.data;
  *archive = std::move(out);
  return true;
}

bool parsePack(const std::string& archive, std::vector<PackEntry>* entries, uint32_t* dataStart,
               std::string* error) {
  entries->clear();
  if (archive.size() < 16) {
    *error = "header cut short (" + std::to_string(archive.size()) + " bytes)";
    return false;
  }
  const size_t nameSize = archive[11] == '2' ? 32 : 16;
  const uint64_t count = getLe32(archive, 12);
  const uint64_t dirSize = count * (nameSize + 8);
  if (16 + dirSize > archive.size()) {
    *error = "directory of " + std::to_string(count) + " members does not fit in the file";
    return false;
  }
  *dataStart = static_cast<uint32_t>(16 + dirSize);
  for (uint64_t i = 0; i < count; i++) {
    const char* field = archive.data() + 16 + i * nameSize;
    PackEntry e;
    e.name.assign(field, strnlen(field, nameSize));
    size_t extent = 16 + count * nameSize + i * 8;
    e.offset = getLe32(archive, extent);
    e.size = getLe32(archive, extent + 4);
    if (uint64_t(*dataStart) + e.offset + e.size > archive.size()) {
      *error = "member '" + e.name + "' reaches past the end of the file";
      return false;
    }
    entries->push_back(e);
  }
  return true;
}
