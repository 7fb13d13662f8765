// File mappings that survive the file being cut short under them.
#include "host/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "test_files.h"

namespace {

// Writes one page of each of chars to the file at path and returns its bytes.
std::string WritePages(const std::string& path, std::initializer_list<char> chars) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::string bytes;
  for (char c : chars) bytes += std::string(page, c);
  std::ofstream(path, std::ios::binary) << bytes;
  return bytes;
}

// Maps the first size bytes of the file at path; the mapping outlives the
// descriptor.
bool MapWholeFile(const std::string& path, size_t size, MappedFile& file) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool mapped = file.Map(fd, size);
  close(fd);
  return mapped;
}

TEST(MappedFile, PagesLostToACutReadAsZerosAndTheMappingSaysSo) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::string path = TempPath("mapped.bin");
  const std::string bytes = WritePages(path, {'a', 'b', 'c'});

  MappedFile file;
  ASSERT_TRUE(MapWholeFile(path, bytes.size(), file));
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

namespace {

// The resident bytes of this process's mapping that starts at begin, as the
// system counts them (0 when there is none).
size_t ResidentBytes(const char* begin) {
  std::ifstream maps("/proc/self/smaps");
  std::ostringstream start;
  start << std::hex << reinterpret_cast<uintptr_t>(begin) << '-';
  bool in_mapping = false;
  for (std::string line; std::getline(maps, line);) {
    if (line.rfind(start.str(), 0) == 0) in_mapping = true;
    if (in_mapping && line.rfind("Rss:", 0) == 0) return std::stoul(line.substr(4)) * 1024;
  }
  return 0;
}

// Pages that a reader has passed go back to the system, and read again they
// hold the file's bytes; a partial page at either end of the range stays,
// and memory that is not the mapping is never touched.
TEST(MappedFile, PassedPagesGoBackAndReadAgainAsTheFile) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::string path = TempPath("passed.bin");
  const std::string bytes = WritePages(path, {'a', 'b', 'c', 'd'});
  MappedFile file;
  ASSERT_TRUE(MapWholeFile(path, bytes.size(), file));
  EXPECT_EQ(std::string(file.data(), file.size()), bytes);

  // An emulator that runs this program may show the system's own view of
  // the process, without this mapping: then only the bytes are checked.
  const bool counted = ResidentBytes(file.data()) != 0;
  if (counted) {
    EXPECT_EQ(ResidentBytes(file.data()), bytes.size());
  }
  // Of the bytes 1 .. 3 pages - 2, only the second page is wholly passed.
  ReleaseMappedPages(file.data() + 1, file.data() + 3 * page - 1);
  if (counted) {
    EXPECT_EQ(ResidentBytes(file.data()), 3 * page);
  }
  EXPECT_EQ(std::string(file.data(), file.size()), bytes);
  EXPECT_FALSE(file.Damaged());

  // A reader's own buffer is never given back, even where it looks like
  // the file.
  std::string copy = bytes;
  ReleaseMappedPages(copy.data(), copy.data() + copy.size());
  EXPECT_EQ(copy, bytes);

  // Once unmapped, nothing is given back any more.
  file.Unmap();
  ReleaseMappedPages(copy.data(), copy.data() + copy.size());
  EXPECT_EQ(copy, bytes);
  std::remove(path.c_str());
}

}  // namespace
