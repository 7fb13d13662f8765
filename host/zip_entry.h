// Unpacking one document from a zip archive held in memory (.mqoz), with
// zlib: stored and deflated entries, no encryption, sizes up to 4 GiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Checks an entry's text as it is unpacked: data holds all of it so far,
// first a first piece (or all of it when it is shorter), then more after
// each step, and complete says that it is all there. True to go on, false
// with error set to refuse the entry.
using EntryTextCheck = bool (*)(const char* data, size_t size, bool complete, const std::string& entry_name,
                                void* context, std::string& error);

// Unpacks the first entry whose name ends in ".mqo" (any case) into text and
// its name, control bytes shown as '?', into entry_name. The archive is not trusted: every offset and
// length is checked against it. An entry whose stated size passes max_size
// is refused before any unpacking, one that unpacks to more or less than its
// stated size or fails its CRC is refused, and check sees the first unpacked
// bytes before the rest is unpacked, and the rest as it comes. On failure
// error holds a message
// without the file name ("the archive holds no .mqo document"), or the
// message of check.
bool UnpackFirstMqoEntry(const unsigned char* archive, size_t size, uint64_t max_size, EntryTextCheck check,
                         void* check_context, std::vector<char>& text, std::string& entry_name, std::string& error);
