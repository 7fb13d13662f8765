// Zip archives made by the tests with zlib: one entry, stored or deflated,
// whose recorded sizes, CRC and flags may lie, as hostile archives do.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <string>

struct ZipEntryData {
  std::string name;
  std::string packed;
  uint16_t method = 0;  // 0 stored, 8 deflated
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint32_t size = 0;  // as recorded
};

inline void PutU16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void PutU32(std::string& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// text followed by zero_count zero bytes, deflated in pieces, so that a
// huge entry never has to be held whole.
inline ZipEntryData DeflatedEntry(const std::string& name, const std::string& text, uint64_t zero_count = 0) {
  ZipEntryData entry{name, "", 8};
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  uLong crc = crc32(0L, Z_NULL, 0);
  const std::string zeros(1 << 20, '\0');
  char buffer[1 << 16];
  auto feed = [&](const std::string& bytes, size_t n, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(n);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n));
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer);
      z.avail_out = sizeof buffer;
      deflate(&z, flush);
      entry.packed.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
  };
  feed(text, text.size(), Z_NO_FLUSH);
  for (uint64_t left = zero_count; left > 0;) {
    const size_t n = left < zeros.size() ? static_cast<size_t>(left) : zeros.size();
    feed(zeros, n, Z_NO_FLUSH);
    left -= n;
  }
  feed(std::string(), 0, Z_FINISH);
  deflateEnd(&z);
  entry.crc = static_cast<uint32_t>(crc);
  entry.size = static_cast<uint32_t>(text.size() + zero_count);
  return entry;
}

inline ZipEntryData StoredEntry(const std::string& name, const std::string& text) {
  const uint32_t crc = static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
  return ZipEntryData{name, text, 0, 0, crc, static_cast<uint32_t>(text.size())};
}

// An archive of the entries (none: an empty archive).
inline std::string ZipArchive(std::initializer_list<ZipEntryData> entries) {
  std::string zip, directory;
  for (const ZipEntryData& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    auto head = [&](std::string& out) {
      PutU16(out, 20);
      PutU16(out, e.flags);
      PutU16(out, e.method);
      PutU32(out, 0);  // time and date
      PutU32(out, e.crc);
      PutU32(out, static_cast<uint32_t>(e.packed.size()));
      PutU32(out, e.size);
      PutU16(out, static_cast<uint32_t>(e.name.size()));
      PutU16(out, 0);
    };
    PutU32(zip, 0x04034b50);
    head(zip);
    zip += e.name + e.packed;
    PutU32(directory, 0x02014b50);
    PutU16(directory, 20);
    head(directory);
    PutU16(directory, 0);  // comment
    PutU16(directory, 0);  // disk
    PutU16(directory, 0);
    PutU32(directory, 0);
    PutU32(directory, offset);
    directory += e.name;
  }
  const uint32_t directory_offset = static_cast<uint32_t>(zip.size());
  zip += directory;
  PutU32(zip, 0x06054b50);
  PutU32(zip, 0);
  PutU16(zip, static_cast<uint32_t>(entries.size()));
  PutU16(zip, static_cast<uint32_t>(entries.size()));
  PutU32(zip, static_cast<uint32_t>(directory.size()));
  PutU32(zip, directory_offset);
  PutU16(zip, 0);
  return zip;
}
