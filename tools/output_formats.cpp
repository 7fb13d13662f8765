// The table of output formats.
#include "tools/output_formats.h"

#include <cctype>
#include <iterator>
#include <utility>

#include "Vellmar/export_passes.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/writer_edits/writer_edits.h"
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

// --names for the formats that take it: whether names are converted to
// UTF-8 before the writer sees them.
bool NamesInUtf8(const WriterOptions& options, bool by_default) {
  return options.names == NamesOption::kFormatDefault ? by_default : options.names == NamesOption::kUtf8;
}
template <Writer kWrite, bool kUtf8ByDefault>
WriteResult WithNames(const char* path, WScene&& scene, const WriterOptions& options) {
  if (NamesInUtf8(options, kUtf8ByDefault)) NamesToUtf8(scene);
  return kWrite(path, std::move(scene), options);
}
// OBJ in UTF-8 also names textures by their relative path, as readers that
// take UTF-8 names look for them.
WriteResult WriteObj(const char* path, WScene&& scene, const WriterOptions& options) {
  if (!NamesInUtf8(options, true)) return WriteObjFile(path, std::move(scene), options);
  NamesToUtf8(scene);
  return WriteObjFile(path, std::move(scene), ObjTexturePaths::kRelative);
}
constexpr Writer kXWriter = WithNames<WriteXFile, false>;
constexpr Writer kDumpWriter = WithNames<WriteSceneDump, false>;

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
     kXWriter, WriterOption::names},
    {"obj", {".obj"}, "Wavefront OBJ with its material file", ".mtl", false, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteObj, WriterOption::names},
    {"mqo", {".mqo"}, "the host's own document text", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteMqoFile},
    {"dxf", {".dxf"}, "DXF with 3DFACE entities", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteDxfFaces},
    {"dxf-polyface", {".dxf"}, "DXF with polyface meshes", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteDxfPolyface},
    {"dump", {".txt"}, "a diagnostic listing of the scene", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, kDumpWriter, WriterOption::names},
    {"gltf", {".gltf"}, "glTF 2.0 with its buffer file", ".bin", false, RunLibraryFormatPassesForGltf,
     PrepareReadSceneForWriters, kGltfWriter, kGltfOptions},
    {"glb", {".glb"}, "binary glTF 2.0", nullptr, true, RunLibraryFormatPassesForGltf, PrepareReadSceneForWriters,
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

std::string LowerCaseExtension(const std::string& path) { return Lower(SystemExtension(path)); }

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
