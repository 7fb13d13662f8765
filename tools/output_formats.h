// The formats that vellmar writes: one table, read by the command line's
// parser, its help text and info.
#pragma once

#include <string>

#include "Vellmar/host_binding.h"
#include "w_lib/w_scene.h"
#include "w_lib/writers/w_writers.h"

struct OutputFormat {
  const char* name;  // as given to --format (any case)
  // The extensions (with the dot) that name the format; the first is the one
  // that --out-dir gives; unused entries are null.
  const char* extensions[3];
  const char* description;  // one line for the help text
  // The file written beside the output with this extension (OBJ's material
  // file), or null.
  const char* companion_extension;
  // Whether the whole output is one file that can go to standard output.
  bool can_stream;
  // The passes that the writer expects on a scene read from a document
  // (ReadDocumentWithDialog): the export's for dotXSI, the library formats'
  // for the others.
  void (*passes)(WScene& scene);
  // The passes that the writer expects on a scene read from a dotXSI file,
  // which is in the scene library's convention already.
  void (*read_scene_passes)(WScene& scene);
  // Writes the prepared scene, which it may use up as its working copy;
  // returns whether the file was written, or why not. Null when this build
  // has no writer for the format.
  WriteResult (*write)(const char* path, WScene&& scene, const WriterOptions& options);
  // The writer options that the writer reads (WriterOption bits): the
  // command line takes no other for the format. An option that no format
  // of this build takes is not available in it.
  unsigned options = 0;
};

// Every format, in the order of the help text; count gets their number.
const OutputFormat* AllFormats(size_t& count);
// The format of that name (case-insensitive), or null.
const OutputFormat* FindFormat(const std::string& name);
// The format that a path's extension names (case-insensitive), or null;
// where two formats share an extension, the first in the table.
const OutputFormat* FormatForPath(const std::string& path);
// Whether the format has the extension of path among its own.
bool FormatHasExtensionOf(const OutputFormat& format, const std::string& path);
// The extension of the path's file name (from its last dot on), in lower
// case, or empty.
std::string LowerCaseExtension(const std::string& path);
// The names of all formats, separated by ", ".
std::string FormatNames();
// The names of the formats that take a writer option (a WriterOption bit),
// separated by ", "; empty when no format of this build takes it.
std::string FormatNamesTaking(unsigned option);
