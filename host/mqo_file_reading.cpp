// Reading a document file: plain .mqo text, or a .mqoz zip archive whose
// first .mqo entry holds the text. The first bytes decide what the file is
// before the rest is read, and no more than a cap is read from a file whose
// size is not known in advance. Builds without zlib read .mqo text only and
// refuse archives with a message that says so.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/mapped_file.h"
#include "host/mqo_reader.h"
#include "host/mqo_text_window.h"
#include "host/token_limit.h"
#include "w_lib/util/input_file.h"
#if defined(VHOST_READ_MQOZ)
#include "host/zip_entry.h"
#endif

namespace {

// The bytes that tell a document from anything else: the first line of its
// text, or a zip archive's first signature.
constexpr size_t kStartPiece = size_t{64} << 10;
constexpr size_t kPiece = size_t{1} << 20;

bool IsZip(const char* data, size_t size) {
  // A local file header, or the end of the directory of an empty archive.
  return size >= 4 && (std::memcmp(data, "PK\x03\x04", 4) == 0 || std::memcmp(data, "PK\x05\x06", 4) == 0);
}

// The first bytes of a file must start a document or an archive.
bool StartsDocumentOrArchive(const char* data, size_t size, const char* path, std::string& error) {
  return IsZip(data, size) || CheckMqoHeader(data, size, path, error);
}

std::string TooLarge(const char* path, uint64_t max_size) {
  return std::string(path) + ": the document is larger than the document size limit of " + std::to_string(max_size) +
         " bytes";
}

// Reads up to want more bytes onto bytes; false with error on a read error.
bool ReadMore(std::FILE* file, const char* path, size_t want, std::vector<char>& bytes, bool& at_end,
              std::string& error) {
  const size_t have = bytes.size();
  bytes.resize(have + want);
  const size_t got = std::fread(bytes.data() + have, 1, want, file);
  bytes.resize(have + got);
  if (std::ferror(file)) {
    error = std::string(path) + ": cannot read: " + std::strerror(errno);
    return false;
  }
  at_end = got < want;
  return true;
}

// Reads the open file: its first piece, which must start a document or an
// archive, then the rest. A regular file is read whole; anything else (a
// device, a pipe) only up to max_size bytes. Document text is refused as
// soon as a token passes the limit.
bool ReadDocumentFile(const InputFile& input, const char* path, uint64_t max_size, std::vector<char>& bytes, std::string& error) {
  bool at_end = false;
  if (!ReadMore(input.file.get(), path, kStartPiece, bytes, at_end, error)) return false;
  if (!StartsDocumentOrArchive(bytes.data(), bytes.size(), path, error)) return false;
  const bool text = !IsZip(bytes.data(), bytes.size());
  TokenLimit tokens;
  const auto tokens_fit = [&] {
    if (!text || tokens.Scan(bytes.data(), bytes.size(), at_end)) return true;
    error = tokens.Message(path);
    return false;
  };
  if (!tokens_fit()) return false;
  if (input.size > bytes.size() && input.size < SIZE_MAX - 1) bytes.reserve(static_cast<size_t>(input.size) + 1);
  while (!at_end) {
    if (!input.regular && bytes.size() > max_size) {
      error = TooLarge(path, max_size);
      return false;
    }
    // Pieces of a known size grow to the whole file; others stay small,
    // so that the cap is never passed by more than a piece.
    const size_t want = input.regular ? std::max(kPiece, bytes.capacity() - bytes.size()) : kPiece;
    if (!ReadMore(input.file.get(), path, want, bytes, at_end, error) || !tokens_fit()) return false;
  }
  if (!input.regular && bytes.size() > max_size) {
    error = TooLarge(path, max_size);
    return false;
  }
  return true;
}

// Whether a regular file's text is read a piece at a time where it is not
// mapped: in a 32-bit address space, whose largest free block may be
// smaller than a large document's file while the document read from it
// still fits. Elsewhere the whole file is read at once, which lets a large
// face chunk be read by two threads.
constexpr bool kTextInPieces = sizeof(void*) < 8;

// Reads the first piece of a regular file, which must start a document or
// an archive; text says which, and the file is back at its start.
bool StartsText(const InputFile& input, const char* path, bool& text, std::string& error) {
  std::vector<char> first;
  bool at_end = false;
  if (!ReadMore(input.file.get(), path, kStartPiece, first, at_end, error)) return false;
  if (!StartsDocumentOrArchive(first.data(), first.size(), path, error)) return false;
  text = !IsZip(first.data(), first.size());
  std::rewind(input.file.get());
  return true;
}

#if defined(VHOST_READ_MQOZ)

struct EntryContext {
  const char* path;
  bool started = false;
  TokenLimit tokens;
};

// The entry's first bytes must start a document, and no token of its text
// may pass the limit, as far as it is unpacked.
bool CheckEntryText(const char* data, size_t size, bool complete, const std::string& entry_name, void* context,
                    std::string& error) {
  EntryContext& entry = *static_cast<EntryContext*>(context);
  const std::string name = std::string(entry.path) + "(" + entry_name + ")";
  if (!entry.started && !CheckMqoHeader(data, size, name.c_str(), error)) return false;
  entry.started = true;
  if (entry.tokens.Scan(data, size, complete)) return true;
  error = entry.tokens.Message(name);
  return false;
}

bool ReadArchive(const char* data, size_t size, const char* path, MQDocumentRecord& doc, std::string& error,
                 std::string* warning, uint64_t max_size) {
  std::vector<char> text;
  std::string entry_name;
  EntryContext context{path, false, TokenLimit()};
  std::string message;
  if (!UnpackFirstMqoEntry(reinterpret_cast<const unsigned char*>(data), size, max_size, CheckEntryText, &context,
                           text, entry_name, message)) {
    // The header check names the entry itself; other messages get the file.
    const std::string inside = std::string(path) + "(";
    error = message.compare(0, inside.size(), inside) == 0 ? message : std::string(path) + ": " + message;
    return false;
  }
  const std::string name = std::string(path) + "(" + entry_name + ")";
  return ParseMqoDocument(text.data(), text.size(), name.c_str(), doc, error, warning);
}

#else

bool ReadArchive(const char*, size_t, const char* path, MQDocumentRecord&, std::string& error, std::string*,
                 uint64_t) {
  error = std::string(path) + ": reading .mqoz is not supported in this build (built without zlib); "
                              "save the document as .mqo";
  return false;
}

#endif

template <class Read>
bool CatchingMemory(const char* path, std::string& error, Read&& read) {
  try {
    return read();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  error = std::string(path) + ": not enough memory to read the file";
  return false;
}

// Reads a document from a mapping of its file, into doc only when the
// whole file was read as it was.
bool ReadMappedDocument(const MappedFile& file, const char* path, MQDocumentRecord& doc, std::string& error,
                        std::string* warning, uint64_t max_document_size) {
  if (!StartsDocumentOrArchive(file.data(), std::min(file.size(), kStartPiece), path, error)) return false;
  MQDocumentRecord read;
  const bool parsed = ReadMqoDocumentBytes(file.data(), file.size(), path, read, error, warning, max_document_size);
  if (file.Damaged()) {
    error = std::string(path) + ": the file was cut short while it was read";
    return false;
  }
  if (!parsed) return false;
  doc = std::move(read);
  return true;
}

}  // namespace

bool ReadMqoDocumentBytes(const char* data, size_t size, const char* name, MQDocumentRecord& doc, std::string& error,
                          std::string* warning, uint64_t max_document_size) {
  return CatchingMemory(name, error, [&] {
    if (IsZip(data, size)) return ReadArchive(data, size, name, doc, error, warning, max_document_size);
    return ParseMqoDocument(data, size, name, doc, error, warning);
  });
}

bool ReadMqoDocument(const char* path, MQDocumentRecord& doc, std::string& error, std::string* warning,
                     uint64_t max_document_size) {
  return CatchingMemory(path, error, [&] {
    InputFile input;
    if (!input.Open(path, error)) return false;
    // A regular file is read where it lies in the file cache, through a
    // mapping, when the system maps it.
    if (input.size > 0 && input.size <= SIZE_MAX) {
      MappedFile mapped;
      if (mapped.Map(fileno(input.file.get()), static_cast<size_t>(input.size)))
        return ReadMappedDocument(mapped, path, doc, error, warning, max_document_size);
    }
    if (kTextInPieces && input.regular && input.size > 0) {
      bool text = false;
      if (!StartsText(input, path, text, error)) return false;
      if (text) {
        MqoTextWindow window(input.file.get(), input.size);
        return ParseMqoText(window, path, doc, error, warning);
      }
    }
    std::vector<char> bytes;
    if (!ReadDocumentFile(input, path, max_document_size, bytes, error)) return false;
    return ReadMqoDocumentBytes(bytes.data(), bytes.size(), path, doc, error, warning, max_document_size);
  });
}
