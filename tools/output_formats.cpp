// The table of output formats.
#include "tools/output_formats.h"

#include <cctype>

#include "Vellmar/export_passes.h"
#include "w_lib/writers/w_writers.h"

namespace {

// The dotXSI writer works on the scene as it is; the others' forms that take
// the scene by rvalue reference prepare it in place instead of a copy.
bool WriteXsi(const char* path, WScene&& scene) { return WriteXsiFile(path, scene); }

const OutputFormat kFormats[] = {
    {"xsi", ".xsi", RunExportPasses, WriteXsi},
    {"x", ".x", RunLibraryFormatPasses, WriteXFile},
    {"obj", ".obj", RunLibraryFormatPasses, WriteObjFile},
    {"mqo", ".mqo", RunLibraryFormatPasses, WriteMqoFile},
    {"dxf", ".dxf", RunLibraryFormatPasses, WriteDxfFaces},
    {"dxf-polyface", ".dxf", RunLibraryFormatPasses, WriteDxfPolyface},
    {"dump", ".txt", RunLibraryFormatPasses, WriteSceneDump},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const OutputFormat* FindFormat(const std::string& name) {
  for (const OutputFormat& f : kFormats)
    if (name == f.name) return &f;
  return nullptr;
}

const OutputFormat* FormatForPath(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  const std::string extension = Lower(path.substr(dot));
  // The first format of an extension is its default (.dxf: 3DFACE entities).
  for (const OutputFormat& f : kFormats)
    if (extension == f.extension) return &f;
  return nullptr;
}

std::string FormatNames() {
  std::string names;
  for (const OutputFormat& f : kFormats) {
    if (!names.empty()) names += ", ";
    names += f.name;
  }
  return names;
}
