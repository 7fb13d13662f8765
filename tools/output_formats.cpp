// The table of output formats.
#include "tools/output_formats.h"

#include <cctype>

#include "Vellmar/export_driver.h"
#include "w_lib/writers/w_writers.h"

namespace {

const OutputFormat kFormats[] = {
    {"xsi", ".xsi", PrepareExportScene, WriteXsiFile},
    {"x", ".x", PrepareLibraryFormatScene, WriteXFile},
    {"obj", ".obj", PrepareLibraryFormatScene, WriteObjFile, ".mtl"},
    {"mqo", ".mqo", PrepareLibraryFormatScene, WriteMqoFile},
    {"dxf", ".dxf", PrepareLibraryFormatScene, WriteDxfFaces},
    {"dxf-polyface", ".dxf", PrepareLibraryFormatScene, WriteDxfPolyface},
    {"dump", ".txt", PrepareLibraryFormatScene, WriteSceneDump},
#if VELLMAR_GLTF
    {"gltf", ".gltf", PrepareLibraryFormatScene, WriteGltfFile, ".bin"},
    {"glb", ".glb", PrepareLibraryFormatScene, WriteGlbFile},
#else
    {"gltf", ".gltf", PrepareLibraryFormatScene, nullptr, ".bin"},
    {"glb", ".glb", PrepareLibraryFormatScene, nullptr},
#endif
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
