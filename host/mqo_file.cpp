// Reading a document file: plain .mqo text, or a .mqoz zip archive whose
// first .mqo entry holds the text. Builds without libzip (the Windows build)
// read .mqo text only and refuse archives with a message that says so.
#if defined(VHOST_READ_MQOZ)
#include <zip.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "host/mqo_reader.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

bool ReadWholeFile(const char* path, std::vector<char>& bytes, std::string& error) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) {
    error = std::string(path) + ": cannot open: " + std::strerror(errno);
    return false;
  }
  // A first piece, then one read of the rest when the file can tell its
  // size; pieces otherwise. The size is trusted only once a read succeeded:
  // a folder opens here on some systems and tells a size near 2^63.
  long size = -1;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    size = std::ftell(file.get());
    std::rewind(file.get());
  }
  constexpr size_t kPiece = size_t{1} << 20;
  for (;;) {
    const size_t have = bytes.size();
    if (have == kPiece && size > 0 && static_cast<unsigned long>(size) >= have)
      bytes.reserve(static_cast<size_t>(size) + 1);
    const size_t want = std::max(kPiece, bytes.capacity() - have);
    bytes.resize(have + want);
    const size_t got = std::fread(bytes.data() + have, 1, want, file.get());
    bytes.resize(have + got);
    if (got < want) break;
  }
  if (std::ferror(file.get())) {
    error = std::string(path) + ": cannot read: " + std::strerror(errno);
    return false;
  }
  return true;
}

#if defined(VHOST_READ_MQOZ)

bool EndsWithMqo(const char* name) {
  const size_t n = std::strlen(name);
  if (n < 4) return false;
  const char* ext = name + n - 4;
  return ext[0] == '.' && (ext[1] | 0x20) == 'm' && (ext[2] | 0x20) == 'q' && (ext[3] | 0x20) == 'o';
}

struct ArchiveDiscarder {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
  void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};

// Unpacks the first entry whose name ends in ".mqo" (its name goes to
// entry_name) from the archive in memory.
bool UnpackMqo(const char* path, const std::vector<char>& archive_bytes, std::vector<char>& text,
               std::string& entry_name, std::string& error) {
  zip_error_t zerror;
  zip_error_init(&zerror);
  zip_source_t* source = zip_source_buffer_create(archive_bytes.data(), archive_bytes.size(), 0, &zerror);
  std::unique_ptr<zip_t, ArchiveDiscarder> archive;
  if (source != nullptr) {
    archive.reset(zip_open_from_source(source, ZIP_RDONLY, &zerror));
    if (!archive) zip_source_free(source);
  }
  if (!archive) {
    error = std::string(path) + ": cannot open as a zip archive: " + zip_error_strerror(&zerror);
    zip_error_fini(&zerror);
    return false;
  }
  zip_error_fini(&zerror);

  const zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
  zip_int64_t index = -1;
  for (zip_int64_t i = 0; i < entries && index < 0; ++i) {
    const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name != nullptr && EndsWithMqo(name)) {
      index = i;
      entry_name = name;
    }
  }
  if (index < 0) {
    error = std::string(path) + ": the archive holds no .mqo document";
    return false;
  }
  std::unique_ptr<zip_file_t, EntryCloser> entry(
      zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0));
  if (!entry) {
    error = std::string(path) + ": cannot unpack " + entry_name + ": " + zip_strerror(archive.get());
    return false;
  }
  // The stored size only guides the reservation; the data read decides.
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) == 0 &&
      (stat.valid & ZIP_STAT_SIZE) != 0 && stat.size < (zip_uint64_t{1} << 31))
    text.reserve(static_cast<size_t>(stat.size));
  constexpr size_t kPiece = size_t{1} << 20;
  for (;;) {
    const size_t have = text.size();
    const size_t want = std::max(kPiece, text.capacity() - have);
    text.resize(have + want);
    const zip_int64_t got = zip_fread(entry.get(), text.data() + have, want);
    if (got < 0) {
      error = std::string(path) + ": cannot unpack " + entry_name + ": " + zip_file_strerror(entry.get());
      return false;
    }
    text.resize(have + static_cast<size_t>(got));
    if (got == 0) break;
  }
  return true;
}

#else

bool UnpackMqo(const char* path, const std::vector<char>&, std::vector<char>&, std::string&, std::string& error) {
  error = std::string(path) + ": reading .mqoz is not supported in this build (built without libzip); "
                              "save the document as .mqo";
  return false;
}

#endif

}  // namespace

bool ReadMqoDocument(const char* path, MQDocumentRecord& doc, std::string& error) {
  try {
    std::vector<char> bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    // A zip archive (.mqoz) starts with a local file header.
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "PK\x03\x04", 4) == 0) {
      std::vector<char> text;
      std::string entry_name;
      if (!UnpackMqo(path, bytes, text, entry_name, error)) return false;
      bytes = std::vector<char>();
      const std::string name = std::string(path) + "(" + entry_name + ")";
      return ParseMqoDocument(text.data(), text.size(), name.c_str(), doc, error);
    }
    return ParseMqoDocument(bytes.data(), bytes.size(), path, doc, error);
  } catch (const std::bad_alloc&) {
    error = std::string(path) + ": not enough memory to read the file";
    return false;
  } catch (const std::length_error&) {
    error = std::string(path) + ": not enough memory to read the file";
    return false;
  }
}
