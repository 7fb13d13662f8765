// The table of output formats.
#include "tools/output_formats.h"

#include <cctype>
#include <iterator>
#include <utility>

#include "Vellmar/export_passes.h"
#include "w_lib/writers/w_writers.h"

namespace {

// The scene library's writers drop the lines that are face sides, and the
// dotXSI writer reads no lines: no format needs the face sides' lines made.
// The table names the forms of the writers that take the scene by rvalue
// reference: those that prepare it do so in place instead of on a copy.
using Writer = decltype(OutputFormat::write);

#if VELLMAR_GLTF
constexpr Writer kGltfWriter = WriteGltfFile;
constexpr Writer kGlbWriter = WriteGlbFile;
#else
// A build without glTF lists the formats all the same, and refuses them.
constexpr Writer kGltfWriter = nullptr;
constexpr Writer kGlbWriter = nullptr;
#endif

// What the glTF writers read; compression needs meshoptimizer.
constexpr unsigned kGltfOptions = WriterOption::keep_order
#if VELLMAR_MESHOPT
                                  | WriterOption::compress
#endif
    ;

// A dotXSI file's scene: the dotXSI writer writes its rotations as they are,
// so they go back to the order that dotXSI files turn by.
void PrepareReadSceneForXsi(WScene& scene) {
  PrepareReadScene(scene);
  RotationsToXsiOrder(scene);
}
void PrepareReadSceneForWriters(WScene& scene) { PrepareReadScene(scene); }

const OutputFormat kFormats[] = {
    {"xsi", {".xsi"}, "dotXSI 3.0, as the plug-in exports it", nullptr, true, RunExportPassesWithoutEdges,
     PrepareReadSceneForXsi, WriteXsiFile},
    {"x", {".x"}, "DirectX text", nullptr, true, RunLibraryFormatPassesForWriters, PrepareReadSceneForWriters,
     WriteXFile},
    {"obj", {".obj"}, "Wavefront OBJ with its material file", ".mtl", false, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteObjFile},
    {"mqo", {".mqo"}, "the host's own document text", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteMqoFile},
    {"dxf", {".dxf"}, "DXF with 3DFACE entities", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteDxfFaces},
    {"dxf-polyface", {".dxf"}, "DXF with polyface meshes", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteDxfPolyface},
    {"dump", {".txt"}, "a diagnostic listing of the scene", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteSceneDump},
    {"gltf", {".gltf"}, "glTF 2.0 with its buffer file", ".bin", false, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, kGltfWriter, kGltfOptions},
    {"glb", {".glb"}, "binary glTF 2.0", nullptr, true, RunLibraryFormatPassesForWriters, PrepareReadSceneForWriters,
     kGlbWriter, kGltfOptions},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The names of the formats that have it, separated by ", ".
template <class Has>
std::string NamesOf(Has has) {
  std::string names;
  for (const OutputFormat& f : kFormats) {
    if (!has(f)) continue;
    if (!names.empty()) names += ", ";
    names += f.name;
  }
  return names;
}

}  // namespace

std::string LowerCaseExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot));
}

const OutputFormat* AllFormats(size_t& count) {
  count = std::size(kFormats);
  return kFormats;
}

const OutputFormat* FindFormat(const std::string& name) {
  const std::string lower = Lower(name);
  for (const OutputFormat& f : kFormats)
    if (lower == f.name) return &f;
  return nullptr;
}

bool FormatHasExtensionOf(const OutputFormat& format, const std::string& path) {
  const std::string extension = LowerCaseExtension(path);
  if (extension.empty()) return false;
  for (const char* e : format.extensions)
    if (e && extension == e) return true;
  return false;
}

const OutputFormat* FormatForPath(const std::string& path) {
  // The first format of an extension is its default (.dxf: 3DFACE entities).
  for (const OutputFormat& f : kFormats)
    if (FormatHasExtensionOf(f, path)) return &f;
  return nullptr;
}

std::string FormatNames() { return NamesOf([](const OutputFormat&) { return true; }); }

std::string FormatNamesTaking(unsigned option) {
  return NamesOf([option](const OutputFormat& f) { return (f.options & option) != 0; });
}
