// Writing Pack archives (the program itself only reads them).
#pragma once

#include <string>
#include <vector>

struct PackMember {
  std::string name;  // base name stored in the directory
  std::string data;
};

// Builds the archive bytes: members in the given order, data packed one after
// another. Long names (variant '2', up to 31 bytes) or short names (variant
// '1', up to 15 bytes). False with a reason for a name that does not fit.
bool buildPack(const std::vector<PackMember>& members, bool longNames, std::string* archive,
               std::string* error);

// One directory entry as stored.
struct PackEntry {
  std::string name;
  uint32_t offset;  // relative to the end of the directory
  uint32_t size;
};

// Parses an archive's directory; false with a reason when the header or
// directory is cut short or a member reaches past the end of the file.
bool parsePack(const std::string& archive, std::vector<PackEntry>* entries, uint32_t* dataStart,
               std::string* error);
