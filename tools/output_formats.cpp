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
// The dotXSI and glTF writers work on the scene as it is; the others' forms
// that take the scene by rvalue reference prepare it in place instead of a
// copy. Only glTF stores texture images.
WriteResult WriteXsi(const char* path, WScene&& scene) { return WriteXsiFile(path, scene); }
#if VELLMAR_GLTF
GltfWriteOptions GltfOptions(const WriterOptions& options) {
  GltfWriteOptions gltf;
  gltf.keep_order = options.keep_order;
  gltf.compress = options.compress;
  gltf.textures = options.textures;
  return gltf;
}
WriteResult WriteGltf(const char* path, WScene&& scene, const WriterOptions& options) {
  return WriteGltfFile(path, std::move(scene), GltfOptions(options));
}
WriteResult WriteGlb(const char* path, WScene&& scene, const WriterOptions& options) {
  return WriteGlbFile(path, std::move(scene), GltfOptions(options));
}
#else
// A build without glTF lists the formats all the same, and refuses them.
constexpr decltype(OutputFormat::write) WriteGltf = nullptr;
constexpr decltype(OutputFormat::write) WriteGlb = nullptr;
#endif

// A writer that takes no options.
template <WriteResult (*Write)(const char*, WScene&&)>
WriteResult Plain(const char* path, WScene&& scene, const WriterOptions&) {
  return Write(path, std::move(scene));
}

// --names for the formats that read it: whether names are converted to
// UTF-8 before the writer sees them.
bool NamesInUtf8(const WriterOptions& options, bool by_default) {
  return options.names == NamesOption::kFormatDefault ? by_default : options.names == NamesOption::kUtf8;
}
template <WriteResult (*Write)(const char*, WScene&&), bool kUtf8ByDefault>
WriteResult WithNames(const char* path, WScene&& scene, const WriterOptions& options) {
  if (NamesInUtf8(options, kUtf8ByDefault)) NamesToUtf8(scene);
  return Write(path, std::move(scene));
}
// OBJ in UTF-8 also names textures by their relative path, as readers that
// take UTF-8 names look for them.
WriteResult WriteObj(const char* path, WScene&& scene, const WriterOptions& options) {
  if (!NamesInUtf8(options, true)) return WriteObjFile(path, std::move(scene));
  NamesToUtf8(scene);
  return WriteObjFile(path, std::move(scene), ObjTexturePaths::kRelative);
}
constexpr auto WriteX = WithNames<WriteXFile, false>;
constexpr auto WriteDump = WithNames<WriteSceneDump, false>;

// A dotXSI file's scene: the dotXSI writer writes its rotations as they are,
// so they go back to the order that dotXSI files turn by.
void PrepareReadSceneForXsi(WScene& scene) {
  PrepareReadScene(scene);
  RotationsToXsiOrder(scene);
}
void PrepareReadSceneForWriters(WScene& scene) { PrepareReadScene(scene); }

const OutputFormat kFormats[] = {
    {"xsi", {".xsi"}, "dotXSI 3.0, as the plug-in exports it", nullptr, true, RunExportPassesWithoutEdges,
     PrepareReadSceneForXsi, Plain<WriteXsi>},
    {"x", {".x"}, "DirectX text", nullptr, true, RunLibraryFormatPassesForWriters, PrepareReadSceneForWriters,
     WriteX},
    {"obj", {".obj"}, "Wavefront OBJ with its material file", ".mtl", false, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteObj},
    {"mqo", {".mqo"}, "the host's own document text", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, Plain<WriteMqoFile>},
    {"dxf", {".dxf"}, "DXF with 3DFACE entities", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, Plain<WriteDxfFaces>},
    {"dxf-polyface", {".dxf"}, "DXF with polyface meshes", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, Plain<WriteDxfPolyface>},
    {"dump", {".txt"}, "a diagnostic listing of the scene", nullptr, true, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteDump},
    {"gltf", {".gltf"}, "glTF 2.0 with its buffer file", ".bin", false, RunLibraryFormatPassesForWriters,
     PrepareReadSceneForWriters, WriteGltf, true},
    {"glb", {".glb"}, "binary glTF 2.0", nullptr, true, RunLibraryFormatPassesForWriters, PrepareReadSceneForWriters,
     WriteGlb, true},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string LowerCaseExtension(const std::string& path) {
  return Lower(SystemExtension(path));
}

bool FormatTakesNamesOption(const OutputFormat& format) {
  return format.write == WriteObj || format.write == WriteX || format.write == WriteDump;
}

bool CompressionAvailable() {
#if VELLMAR_MESHOPT
  return true;
#else
  return false;
#endif
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

std::string FormatNames() {
  std::string names;
  for (const OutputFormat& f : kFormats) {
    if (!names.empty()) names += ", ";
    names += f.name;
  }
  return names;
}
