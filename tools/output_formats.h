// The formats that vellmar convert writes, by name and by file extension.
#pragma once

#include <string>

#include "Vellmar/host_binding.h"
#include "w_lib/w_scene.h"

struct OutputFormat {
  const char* name;       // as given to --format
  const char* extension;  // with the dot
  // Reads the document through the bound host functions into an empty
  // scene and runs the passes that the writer expects: the export's for
  // dotXSI, the library formats' for the others.
  void (*prepare)(const HostTable& host, MQDocument doc, WScene& scene);
  // Writes the prepared scene; false when the file could not be written.
  // Null when this build has no writer for the format.
  bool (*write)(const char* path, const WScene& scene);
};

// The format of that name, or null.
const OutputFormat* FindFormat(const std::string& name);
// The format that a path's extension names (case-insensitive), or null.
const OutputFormat* FormatForPath(const std::string& path);
// The names of all formats, separated by ", ".
std::string FormatNames();
