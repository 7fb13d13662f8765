// The document as the host shows it: --freeze and --visible-only applied in
// the stand-in host, or a note on what they would change.
#pragma once

#include <string>
#include <vector>

#include "host/host_api.h"
#include "tools/command_line.h"

// Prepares a loaded document as the command line asks. Returns false with
// error set to one line when it cannot; note gets one line on what the
// document still holds that the host shows otherwise, or stays empty, and
// warnings one line each about objects prepared otherwise than the document
// asks.
bool PrepareDocument(const CommandLine& line, MQDocument doc, std::string& error, std::string& note,
                     std::vector<std::string>& warnings);

// The first option on the command line that changes a host document as the
// stand-in host or its export dialog reads it (--scale, --axes, --cancel,
// --freeze, --visible-only), or null when none is given.
const char* HostDocumentOption(const CommandLine& line);
