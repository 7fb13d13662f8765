// The formats that vellmar convert writes, by name and by file extension.
#pragma once

#include <string>

#include "Vellmar/host_interface.h"
#include "w_lib/w_scene.h"

struct OutputFormat {
  const char* name;       // as given to --format
  const char* extension;  // with the dot
  // The passes that the writer expects on a scene read from a document
  // (ReadDocumentWithDialog): the export's for dotXSI, the library formats'
  // for the others.
  void (*passes)(WScene& scene);
  // Writes the prepared scene, which it may use up as its working copy;
  // false when the file could not be written. Null when this build has no
  // writer for the format.
  bool (*write)(const char* path, WScene&& scene);
};

// The format of that name, or null.
const OutputFormat* FindFormat(const std::string& name);
// The format that a path's extension names (case-insensitive), or null.
const OutputFormat* FormatForPath(const std::string& path);
// The names of all formats, separated by ", ".
std::string FormatNames();
