// A small zip reader: the end of the central directory, the central
// directory's entries, one local header, and the entry's data stored or
// inflated in a stream.
#include "host/zip_entry.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kMaxComment = 0xFFFF;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kFlagEncrypted = 1;
// The first piece unpacked, which check sees before the rest is unpacked.
constexpr size_t kStartPiece = size_t{64} << 10;
// At most this much input per inflate call: zlib counts in 32 bits.
constexpr size_t kMaxStep = size_t{1} << 30;
// The text grows by at most this much per inflate call.
constexpr size_t kOutStep = size_t{4} << 20;

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint64_t U64(const unsigned char* p) { return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32; }

// True when [offset, offset + length) lies inside size bytes.
bool Inside(uint64_t offset, uint64_t length, size_t size) { return offset <= size && length <= size - offset; }

bool EndsWithMqo(const std::string& name) {
  const size_t n = name.size();
  return n >= 4 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'm' && (name[n - 2] | 0x20) == 'q' &&
         (name[n - 1] | 0x20) == 'o';
}

// The entry chosen from the central directory.
struct Entry {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t packed_size = 0;
  uint64_t size = 0;
  uint64_t local_offset = 0;
};

bool FindEnd(const unsigned char* data, size_t size, size_t& end, std::string& error) {
  if (size < kEndSize) {
    error = "not a zip archive: too short for its directory";
    return false;
  }
  const size_t lowest = size - kEndSize > kMaxComment ? size - kEndSize - kMaxComment : 0;
  for (size_t at = size - kEndSize + 1; at-- > lowest;) {
    if (U32(data + at) == kEndSignature && at + kEndSize + U16(data + at + 20) <= size) {
      end = at;
      return true;
    }
  }
  error = "not a zip archive: no end of its central directory";
  return false;
}

// Reads the zip64 sizes and offset of a central directory entry from its
// extra field: each one whose 32-bit field is saturated comes there, in order.
bool ReadZip64Extra(const unsigned char* extra, size_t length, Entry& entry, bool size_saturated,
                    bool packed_saturated, bool offset_saturated) {
  size_t at = 0;
  while (at + 4 <= length) {
    const uint16_t id = U16(extra + at);
    const size_t field = U16(extra + at + 2);
    at += 4;
    if (field > length - at) return false;
    if (id == kZip64ExtraId) {
      size_t k = 0;
      auto take = [&](bool wanted, uint64_t& value) {
        if (!wanted) return true;
        if (k + 8 > field) return false;
        value = U64(extra + at + k);
        k += 8;
        return true;
      };
      return take(size_saturated, entry.size) && take(packed_saturated, entry.packed_size) &&
             take(offset_saturated, entry.local_offset);
    }
    at += field;
  }
  return false;
}

// The first entry named "*.mqo" in the central directory.
bool FindMqoEntry(const unsigned char* data, size_t size, Entry& entry, std::string& error) {
  size_t end = 0;
  if (!FindEnd(data, size, end, error)) return false;
  const unsigned char* e = data + end;
  const uint16_t disk = U16(e + 4), directory_disk = U16(e + 6);
  const uint16_t count = U16(e + 10);
  const uint32_t directory_size = U32(e + 12), directory_offset = U32(e + 16);
  if (end >= kZip64LocatorSize && U32(data + end - kZip64LocatorSize) == kZip64LocatorSignature &&
      (count == 0xFFFF || directory_size == kSaturated32 || directory_offset == kSaturated32)) {
    error = "zip64 archives with a directory beyond 4 GiB or 65535 entries are not supported";
    return false;
  }
  if (disk != 0 || directory_disk != 0) {
    error = "archives split over several disks are not supported";
    return false;
  }
  if (count == 0) {
    error = "the archive is empty: it holds no .mqo document";
    return false;
  }
  if (!Inside(directory_offset, directory_size, end)) {
    error = "damaged zip archive: its central directory lies outside the file";
    return false;
  }
  size_t at = directory_offset;
  const size_t directory_end = static_cast<size_t>(directory_offset) + directory_size;
  for (uint32_t i = 0; i < count; ++i) {
    if (!Inside(at, kCentralSize, directory_end) || U32(data + at) != kCentralSignature) {
      error = "damaged zip archive: entry " + std::to_string(i + 1) + " of its central directory is cut or corrupt";
      return false;
    }
    const unsigned char* c = data + at;
    const size_t name_length = U16(c + 28), extra_length = U16(c + 30), comment_length = U16(c + 32);
    const size_t record = kCentralSize + name_length + extra_length + comment_length;
    if (!Inside(at, record, directory_end)) {
      error = "damaged zip archive: entry " + std::to_string(i + 1) + " of its central directory is cut short";
      return false;
    }
    std::string name(reinterpret_cast<const char*>(c + kCentralSize), name_length);
    if (EndsWithMqo(name)) {
      // The name goes into one-line messages: control bytes show as '?'.
      for (char& ch : name)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
      entry.name = std::move(name);
      entry.flags = U16(c + 8);
      entry.method = U16(c + 10);
      entry.crc = U32(c + 16);
      entry.packed_size = U32(c + 20);
      entry.size = U32(c + 24);
      entry.local_offset = U32(c + 42);
      const bool packed_saturated = entry.packed_size == kSaturated32;
      const bool size_saturated = entry.size == kSaturated32;
      const bool offset_saturated = entry.local_offset == kSaturated32;
      if ((packed_saturated || size_saturated || offset_saturated) &&
          !ReadZip64Extra(c + kCentralSize + name_length, extra_length, entry, size_saturated, packed_saturated,
                          offset_saturated)) {
        error = "damaged zip archive: " + entry.name + " lacks its zip64 sizes";
        return false;
      }
      return true;
    }
    at += record;
  }
  error = "the archive holds no .mqo document";
  return false;
}

// Inflates packed into text, which ends up holding the entry's stated
// entry.size bytes. check sees the first piece before the rest is unpacked,
// then the text after each step.
// The text grows with what is really unpacked, so that a stated size that
// lies costs no more memory than the data behind it.
bool Inflate(const unsigned char* packed, uint64_t packed_size, const Entry& entry, EntryTextCheck check,
             void* context, std::vector<char>& text, std::string& error) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
    error = "cannot unpack " + entry.name + ": " + (z.msg ? z.msg : "zlib failed to start");
    return false;
  }
  struct End {
    z_stream& z;
    ~End() { inflateEnd(&z); }
  } end{z};
  const size_t total = static_cast<size_t>(entry.size);
  text.clear();
  text.reserve(total);
  size_t out = 0;
  uint64_t in = 0;
  bool checked = false;
  unsigned char spare = 0;  // catches data beyond the stated size
  for (;;) {
    size_t limit = checked ? total : std::min(total, kStartPiece);
    if (out == limit && !checked) {
      if (!check(text.data(), out, false, entry.name, context, error)) return false;
      checked = true;
      limit = total;
    }
    const size_t in_step = static_cast<size_t>(std::min<uint64_t>(packed_size - in, kMaxStep));
    z.next_in = const_cast<unsigned char*>(packed + in);
    z.avail_in = static_cast<uInt>(in_step);
    const size_t out_step = out < limit ? std::min(limit - out, kOutStep) : 0;
    if (out_step > 0) {
      text.resize(out + out_step);
      z.next_out = reinterpret_cast<unsigned char*>(text.data() + out);
      z.avail_out = static_cast<uInt>(out_step);
    } else {
      z.next_out = &spare;
      z.avail_out = 1;
    }
    const uInt room = z.avail_out;
    const int status = inflate(&z, Z_NO_FLUSH);
    const size_t produced = room - z.avail_out;
    in += in_step - z.avail_in;
    if (out_step == 0 && produced > 0) {
      error = entry.name + " unpacks to more than its stated size of " + std::to_string(total) + " bytes";
      return false;
    }
    out += out_step == 0 ? 0 : produced;
    text.resize(out);
    if (checked && produced > 0 && !check(text.data(), out, false, entry.name, context, error)) return false;
    if (status == Z_STREAM_END) break;
    if (status == Z_DATA_ERROR || status == Z_NEED_DICT || status == Z_MEM_ERROR) {
      error = "cannot unpack " + entry.name + ": " + (z.msg ? z.msg : "corrupt compressed data");
      return false;
    }
    if (produced == 0 && z.avail_in == in_step) {
      // No progress: the input ran out, or inflate can go no further.
      error = "cannot unpack " + entry.name + ": its compressed data is " +
              (in == packed_size ? "cut short" : "corrupt");
      return false;
    }
  }
  if (out != total) {
    error = entry.name + " unpacks to " + std::to_string(out) + " bytes, not its stated " + std::to_string(total);
    return false;
  }
  return check(text.data(), out, true, entry.name, context, error);
}

}  // namespace

bool UnpackFirstMqoEntry(const unsigned char* archive, size_t size, uint64_t max_size, EntryTextCheck check,
                         void* check_context, std::vector<char>& text, std::string& entry_name, std::string& error) {
  Entry entry;
  if (!FindMqoEntry(archive, size, entry, error)) return false;
  entry_name = entry.name;
  if (entry.flags & kFlagEncrypted) {
    error = entry.name + " is encrypted, which is not supported";
    return false;
  }
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
    error = entry.name + " uses compression method " + std::to_string(entry.method) +
            ", which is not supported (only stored and deflated entries are)";
    return false;
  }
  if (entry.size > max_size) {
    error = entry.name + " holds " + std::to_string(entry.size) + " bytes, more than the document size limit of " +
            std::to_string(max_size) + " bytes";
    return false;
  }
  if (!Inside(entry.local_offset, kLocalSize, size) || U32(archive + entry.local_offset) != kLocalSignature) {
    error = "damaged zip archive: the local header of " + entry.name + " is missing";
    return false;
  }
  const unsigned char* local = archive + entry.local_offset;
  const uint64_t data_offset = entry.local_offset + kLocalSize + U16(local + 26) + U16(local + 28);
  if (!Inside(data_offset, entry.packed_size, size)) {
    error = "damaged zip archive: the data of " + entry.name + " lies outside the file";
    return false;
  }
  if (entry.size > SIZE_MAX) {
    error = entry.name + " is too large for this system";
    return false;
  }
  const unsigned char* packed = archive + data_offset;
  text.clear();
  if (entry.method == kMethodStored) {
    if (entry.packed_size != entry.size) {
      error = "damaged zip archive: the stored entry " + entry.name + " has two different sizes";
      return false;
    }
    const size_t n = static_cast<size_t>(entry.size);
    const char* stored = reinterpret_cast<const char*>(packed);
    if (!check(stored, std::min(n, kStartPiece), n <= kStartPiece, entry.name, check_context, error) ||
        (n > kStartPiece && !check(stored, n, true, entry.name, check_context, error)))
      return false;
    text.assign(stored, stored + n);
  } else {
    if (!Inflate(packed, entry.packed_size, entry, check, check_context, text, error)) return false;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  for (size_t at = 0; at < text.size(); at += kMaxStep) {
    const size_t step = std::min(kMaxStep, text.size() - at);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(text.data() + at), static_cast<uInt>(step));
  }
  if (static_cast<uint32_t>(crc) != entry.crc) {
    error = entry.name + " fails its CRC check: the archive is damaged";
    return false;
  }
  return true;
}
