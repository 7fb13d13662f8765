// One input of convert, loaded, converted to its output.
#pragma once

#include <string>

#include "Vellmar/host_binding.h"
#include "tools/input_loading.h"
#include "tools/output_formats.h"

// What every input of one conversion shares.
struct Conversion {
  const OutputFormat& format;
  WriterOptions options;  // as the command line asks; the textures per input
  HostTable host;         // the stand-in host, bound as the plug-in binds it
};

// Converts the input to the output: a host document through
// ConvertDocument, which gives the document back once it is read, or a
// dotXSI file's scene through the passes that the format expects on it.
// Warnings of the writer are reported naming the input. Returns 0 or the
// system error code that says why the output was not written.
int ConvertInput(const Conversion& conversion, LoadedInput& input, const std::string& output);
