// File mappings that survive the file being cut short under them.
#include "host/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "test_files.h"

namespace {

TEST(MappedFile, PagesLostToACutReadAsZerosAndTheMappingSaysSo) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::string path = TempPath("mapped.bin");
  std::string bytes;
  for (char c : {'a', 'b', 'c'}) bytes += std::string(page, c);
  std::ofstream(path, std::ios::binary) << bytes;

  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  MappedFile file;
  ASSERT_TRUE(file.Map(fd, bytes.size()));
  close(fd);
  EXPECT_EQ(std::string(file.data(), file.size()), bytes);
  EXPECT_FALSE(file.Damaged());
  // One watched mapping at a time: another is refused, not half made.
  MappedFile other;
  const int fd2 = open(path.c_str(), O_RDONLY);
  EXPECT_FALSE(other.Map(fd2, bytes.size()));
  EXPECT_EQ(other.data(), nullptr);

  // Another program cuts the file to one page and ten bytes.
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(page + 10)), 0);
  const std::string seen(file.data(), file.size());
  EXPECT_EQ(seen.substr(0, page + 10), bytes.substr(0, page + 10));
  EXPECT_EQ(seen.substr(page + 10), std::string(2 * page - 10, '\0'));
  EXPECT_TRUE(file.Damaged());

  // Unmapped, the slot is free again and a new mapping starts undamaged.
  file.Unmap();
  EXPECT_TRUE(other.Map(fd2, page + 10));
  EXPECT_FALSE(other.Damaged());
  close(fd2);
  std::remove(path.c_str());
}

}  // namespace
