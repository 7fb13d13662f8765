// Reading the host's .mqo text documents (and .mqoz archives holding one)
// into the stand-in host's document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/host_document.h"

// The largest document text read by default: an unpacked .mqoz entry, or a
// file that is not a regular file (a device, a pipe), is refused beyond it.
constexpr uint64_t kDefaultMaxDocumentSize = uint64_t{1} << 30;

// Reads the document file at path: .mqo text, or a .mqoz zip archive whose
// first entry named "*.mqo" holds the text. The first bytes (of the text
// inside an archive) are checked before the rest is read, so that a file
// that is no document is refused at once. On success doc is replaced by what
// was read, and warning (when given) holds one line about a document that
// looks cut short, or stays empty. On failure doc is left as it was and error
// holds one line: "FILE:LINE: what was expected" for malformed text (FILE is
// path, or "path(entry.mqo)" inside an archive), or "FILE: message" for
// files that cannot be read (with the system's reason), for unsupported
// formats and for documents larger than max_document_size. A document read
// never holds an index out of range: every face vertex index is within its
// object and every face material is -1 or within the document's materials.
[[nodiscard]] bool ReadMqoDocument(const char* path, MQDocumentRecord& doc, std::string& error, std::string* warning = nullptr,
                     uint64_t max_document_size = kDefaultMaxDocumentSize);

// The same from the file's bytes in memory; name stands for the file.
[[nodiscard]] bool ReadMqoDocumentBytes(const char* data, size_t size, const char* name, MQDocumentRecord& doc,
                          std::string& error, std::string* warning = nullptr,
                          uint64_t max_document_size = kDefaultMaxDocumentSize);

// The same from the text in memory (size bytes, no terminating zero needed);
// name stands for the file in messages.
bool ParseMqoDocument(const char* data, size_t size, const char* name, MQDocumentRecord& doc,
                      std::string& error, std::string* warning = nullptr);

class MqoTextWindow;

// The same from text read a piece at a time (see MqoTextWindow), the whole
// of it never at hand at once; it is read twice, once for the token limit
// and once for the grammar. Besides the faults above, error tells of a file
// that could not be read ("NAME: cannot read: REASON") or that gave fewer
// bytes than its size ("NAME: the file was cut short while it was read").
bool ParseMqoText(MqoTextWindow& text, const char* name, MQDocumentRecord& doc, std::string& error,
                  std::string* warning = nullptr);

// Whether data (the first bytes of a document's text, or all of it) starts
// with the line that every document starts with; otherwise error holds
// "name:1: expected ..., found ...".
bool CheckMqoHeader(const char* data, size_t size, const char* name, std::string& error);
