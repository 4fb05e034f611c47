// The pack reader on archives of 2 GiB and more, as sparse files: sizes and
// offsets past 31 and 32 bits, where 32-bit builds (size_t, off_t) give way
// first. These run in the 32-bit unit tests as well as in the 64-bit ones.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "media/pack.h"
#include "tests/unit/test_util.h"

namespace {

std::string le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; i++) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

// A short-name archive header (16-byte names) for `count` members, and a
// name field of it.
std::string shortHeader(uint32_t count) { return std::string("KSETUP-PACK1", 12) + le32(count); }
std::string nameField(const char* name) {
  std::string field(name);
  field.resize(16, '\0');
  return field;
}

// A sparse file of `size` bytes that holds each piece at its offset.
void writeSparse(const std::string& path, uint64_t size,
                 const std::vector<std::pair<uint64_t, std::string>>& pieces) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(ftruncate(fd, off_t(size)), 0) << "no sparse file of " << size << " bytes";
  for (const auto& piece : pieces)
    ASSERT_EQ(pwrite(fd, piece.second.data(), piece.second.size(), off_t(piece.first)),
              ssize_t(piece.second.size()));
  close(fd);
}

TEST(PackLarge, MemberAtAnOffsetBeyondTwoGibibytesReadsRight) {
  TempDir dir(true);
  // One member 2^31 + 8 bytes into the data, which starts after 16 + 24 bytes.
  const uint32_t offset = 0x80000008u;
  std::string directory = nameField("BIG.DAT") + le32(offset) + le32(6);
  ASSERT_NO_FATAL_FAILURE(writeSparse(dir.file("big.pak"), 40ull + offset + 6,
                                      {{0, shortHeader(1) + directory}, {40ull + offset, "bigone"}}));
  PackHandle* h = packOpen("DATA\\big.dat", "big.pak");
  ASSERT_NE(h, nullptr) << "the archive did not open, or the member was not found";
  ASSERT_EQ(packSize(h), 6u);
  std::string data(6, '\0');
  EXPECT_EQ(packRead(h, &data[0]), 1);
  EXPECT_EQ(data, "bigone");
  EXPECT_EQ(h->dataOffset, 40u + offset);
  packClose(h);
}

TEST(PackLarge, DirectoryOfFourGibibytesOrMoreIsRefused) {
  TempDir dir(true);
  // 178956972 entries of 24 bytes: a directory of 2^32 + 32 bytes, which the
  // file (4 GiB + 64 bytes) holds, but no 32-bit size or read count does.
  const uint32_t count = 178956972u;
  ASSERT_NO_FATAL_FAILURE(
      writeSparse(dir.file("huge.pak"), (1ull << 32) + 64, {{0, shortHeader(count) + nameField("A")}}));
  EXPECT_EQ(packOpen("A", "huge.pak"), nullptr);
  EXPECT_EQ(packOpen("MISSING", "huge.pak"), nullptr);
}

}  // namespace
