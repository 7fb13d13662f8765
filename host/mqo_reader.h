// Reading the host's .mqo text documents (and .mqoz archives holding one)
// into the stand-in host's document.
#pragma once

#include <string>

#include "host/host_document.h"

// Fills doc (which should be empty) from the file at path. On failure
// returns false with error set to one line: "FILE:LINE: what was expected"
// for malformed input, or a plain message naming the file for unreadable
// or unsupported files. Never leaves an index out of range in doc: every
// face vertex index is within its object and every face material is -1 or
// within the document's materials.
bool ReadMqoDocument(const char* path, MQDocumentRecord& doc, std::string& error);

// The same from bytes already in memory; name is used in error messages.
bool ParseMqoDocument(const char* data, size_t size, const char* name, MQDocumentRecord& doc,
                      std::string& error);
