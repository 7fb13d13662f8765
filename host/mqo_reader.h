// Reading the host's .mqo text documents (and .mqoz archives holding one)
// into the stand-in host's document.
#pragma once

#include <string>

#include "host/host_document.h"

// Reads the document file at path: .mqo text, or a .mqoz zip archive whose
// first entry named "*.mqo" holds the text. On success doc is replaced by
// what was read. On failure doc is left as it was and error holds one line:
// "FILE:LINE: what was expected" for malformed text (FILE is path, or
// "path(entry.mqo)" inside an archive), or "FILE: message" for files that
// cannot be read and for unsupported formats. A document read never holds an
// index out of range: every face vertex index is within its object and every
// face material is -1 or within the document's materials.
bool ReadMqoDocument(const char* path, MQDocumentRecord& doc, std::string& error);

// The same from the text in memory (size bytes, no terminating zero needed);
// name stands for the file in messages.
bool ParseMqoDocument(const char* data, size_t size, const char* name, MQDocumentRecord& doc,
                      std::string& error);
