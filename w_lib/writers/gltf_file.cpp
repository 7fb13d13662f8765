// glTF 2.0 files: the document's few top members are built with tinygltf
// records and serialised by tinygltf; its long arrays (an element or more
// per object and per material) are written as JSON text directly, in the
// same layout, as their elements are made. The buffer stays apart, as the
// arrays the meshes were built in, and is written, in its .bin file or in
// the binary chunk of a .glb, from where they lie.
// Every byte reaches the disk through the same staged replacement as every
// other writer's, so that a failure leaves the old files as they were.
#define TINYGLTF_IMPLEMENTATION
// Only the writer is used, and it must never read or write an image file.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "w_lib/util/code_page.h"
#include "w_lib/util/parallel.h"
#include "w_lib/util/text.h"
#include "w_lib/writers/gltf_arrays.h"
#include "w_lib/writers/gltf_buffer.h"
#include "w_lib/writers/gltf_mesh.h"
#include "w_lib/writers/json_writer.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

#ifndef VELLMAR_VERSION
#define VELLMAR_VERSION "0"
#endif

namespace {

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

// The specular power that the other library formats write for every
// material (the scene keeps none of its own), and the roughness it maps to:
// the Blinn-Phong exponent n as the microfacet width a = sqrt(2 / (n + 2)),
// and roughness as sqrt(a), so that roughness = (2 / (n + 2))^(1/4).
constexpr double kSpecularPower = 5.0;
double RoughnessOfPower(double n) { return std::pow(2.0 / (n + 2.0), 0.25); }

// A relative URI for a file name: every byte but the unreserved characters
// percent-encoded, so that blanks, '#', '%' and non-ASCII names survive.
std::string FileUri(const std::string& utf8_name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri;
  for (const char ch : utf8_name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

// Appends a dump of a value to text, indented by depth spaces after every
// line break (JSON text holds no line break inside a string), but not at
// its start.
void AppendIndented(std::string& text, const std::string& dumped, int depth) {
  if (depth <= 0) {
    text += dumped;
    return;
  }
  const std::string pad(static_cast<size_t>(depth), ' ');
  for (const char c : dumped) {
    text += c;
    if (c == '\n') text += pad;
  }
}

// glTF accessor types, by the names the file gives them.
constexpr const char* kScalar = "SCALAR";
constexpr const char* kVec2 = "VEC2";
constexpr const char* kVec3 = "VEC3";
constexpr const char* kVec4 = "VEC4";

// Builds the document's arrays. Every element is written with its members
// in the order of their names and with the members a glTF library writes
// for the same record: defaults are left out (an opaque alpha mode, zero
// emission, a white base colour, a buffer view's zero offset).
class ModelBuilder {
 public:
  ModelBuilder(const WScene& scene, GltfBuffer& data, StreamedArrays& arrays)
      : scene_(scene), data_(data), arrays_(arrays) {}

  // False when a number to write is not finite.
  bool Build(tinygltf::Model& model) {
    model.asset.version = "2.0";
    model.asset.generator = std::string("Vellmar ") + VELLMAR_VERSION;
    model_ = &model;
    if (!AddMaterials()) return false;
    model.scenes.emplace_back();
    model.defaultScene = 0;
    model.scenes[0].nodes.reserve(static_cast<size_t>(scene_.onum > 0 ? scene_.onum : 0));
    for (int first = 0; first < scene_.onum; first += kObjectChunk) {
      const int last = scene_.onum - first < kObjectChunk ? scene_.onum : first + kObjectChunk;
      if (!AddObjects(first, last)) return false;
      for (int o = first; o < last; ++o) model.scenes[0].nodes.push_back(o);
    }
    return true;
  }

 private:
  std::string Utf8(const char* name) const { return NameAsUtf8(name, scene_.utf8_names); }

  bool AddMaterials() {
    std::vector<int> texture_of(static_cast<size_t>(scene_.tnum > 0 ? scene_.tnum : 0), -1);
    for (int i = 0; i < scene_.mnum; ++i) {
      const WMaterial& m = scene_.materials[i];
      if (!std::isfinite(m.col.r) || !std::isfinite(m.col.g) || !std::isfinite(m.col.b) || !std::isfinite(m.col.a))
        return false;
      const auto factor = [](float x) { return x < 0.0f ? 0.0 : (x > 1.0f ? 1.0 : static_cast<double>(x)); };
      const double color[4] = {factor(m.col.r), factor(m.col.g), factor(m.col.b), factor(m.col.a)};
      // A texture without a file name has nothing to point at.
      int texture = -1;
      if (m.tex >= 0 && m.tex < scene_.tnum && !FileName(scene_.textures[m.tex].name.c_str()).empty()) {
        int& made = texture_of[static_cast<size_t>(m.tex)];
        if (made == -1) made = AddTexture(scene_.textures[m.tex]);
        texture = made;
      }
      textured_.push_back(texture != -1);
      const std::string name = Utf8(m.name.c_str());
      JsonWriter material = arrays_.materials.Add();
      material.BeginObject();
      if (color[3] < 1.0) material.Key("alphaMode").String("BLEND");
      if (!name.empty()) material.Key("name").String(name);
      material.Key("pbrMetallicRoughness").BeginObject();
      // White, to within the library's tolerance, is the default.
      if (std::any_of(color, color + 4, [](double c) { return !(std::fabs(1.0 - c) < 1e-12); })) {
        material.Key("baseColorFactor").BeginArray();
        for (const double c : color) material.Double(c);
        material.EndArray();
      }
      if (texture != -1) material.Key("baseColorTexture").BeginObject().Key("index").Int(texture).EndObject();
      material.Key("metallicFactor").Double(0.0);
      material.Key("roughnessFactor").Double(RoughnessOfPower(kSpecularPower));
      material.EndObject().EndObject();
    }
    return true;
  }

  int AddTexture(const WTexture& t) {
    tinygltf::Image image;
    image.uri = FileUri(Utf8(FileName(t.name.c_str()).c_str()));
    tinygltf::Texture texture;
    texture.source = static_cast<int>(model_->images.size());
    model_->images.push_back(std::move(image));
    model_->textures.push_back(std::move(texture));
    return static_cast<int>(model_->textures.size()) - 1;
  }

  // An object's mesh on its way into the document.
  struct ObjectMesh {
    GltfMesh mesh;
    bool finite = true;
    bool short_indices = false;  // 16-bit indices, packed in the 32-bit ones' storage
    bool copied = false;         // the arrays were copied into the buffer
    double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0};  // the positions' bounds
    std::string name;            // UTF-8
    int index = -1;              // in the meshes; -1: the object has none
    int meshes_before = 0;
    // The views of its arrays, an accessor each with the same number:
    // positions, then normals, texture coordinates and colours where
    // present, then each primitive's indices; and where each view's bytes
    // start in the buffer.
    int first_view = 0;
    std::vector<size_t> offsets;
  };

  // Objects [first, last): their meshes are built on the machine's threads,
  // then placed in the buffer and numbered in order, then their elements
  // are written on the threads, each part of the objects into arrays of
  // its own that are appended in order.
  bool AddObjects(int first, int last) {
    std::vector<ObjectMesh> chunk(static_cast<size_t>(last - first));
    ParallelFor(chunk.size(), kMinObjectsPerThread, [&](size_t begin, size_t end) {
      for (size_t k = begin; k < end; ++k) Prepare(scene_.objects[first + static_cast<int>(k)], chunk[k]);
    });
    for (size_t k = 0; k < chunk.size(); ++k) {
      if (!chunk[k].finite) return false;
      Place(scene_.objects[first + static_cast<int>(k)], chunk[k]);
    }
    const int indent = arrays_.nodes.indent();
    const int parts = chunk.size() >= 2 * kMinObjectsPerThread ? WorkerCount() : 1;
    std::vector<std::unique_ptr<StreamedArrays>> written(static_cast<size_t>(parts));
    ParallelParts(chunk.size(), parts, [&](int part, size_t begin, size_t end) {
      if (begin == end) return;
      const ObjectMesh& head = chunk[begin];
      auto out = std::make_unique<StreamedArrays>(indent, head.first_view, head.meshes_before,
                                                  first + static_cast<int>(begin));
      for (size_t k = begin; k < end; ++k) WriteObject(chunk[k], *out);
      written[static_cast<size_t>(part)] = std::move(out);
    });
    for (std::unique_ptr<StreamedArrays>& part : written)
      if (part) arrays_.AppendObjects(std::move(*part));
    // A large mesh's arrays are written from where they lie.
    for (ObjectMesh& made : chunk)
      if (made.index != -1 && !made.copied) data_.Keep(std::move(made.mesh));
    return true;
  }

  // Builds the object's mesh, its bounds and its 16-bit indices; on any
  // thread.
  void Prepare(const WObject& object, ObjectMesh& made) const {
    made.finite = BuildGltfMesh(scene_, object, made.mesh);
    const GltfMesh& mesh = made.mesh;
    if (!made.finite || mesh.primitives.empty()) return;
    const size_t n = mesh.VertexCount();
    const float* positions = mesh.Positions();
    for (size_t i = 0; i < 3 * n; ++i) {
      const double x = positions[i];
      const size_t axis = i % 3;
      if (i < 3 || x < made.low[axis]) made.low[axis] = x;
      if (i < 3 || x > made.high[axis]) made.high[axis] = x;
    }
    // 0xFFFF is not a valid 16-bit index (it means a primitive restart):
    // 65,535 vertices, numbered up to 0xFFFE, are the most that 16 bits take.
    made.short_indices = n <= 0xFFFF;
    if (!made.short_indices) return;
    for (GltfPrimitive& p : made.mesh.primitives) {
      // Each 16-bit value goes no later than the 32-bit one it comes from.
      unsigned char* bytes = reinterpret_cast<unsigned char*>(p.indices.data());
      for (size_t i = 0; i < p.indices.size(); ++i) {
        const uint16_t index = static_cast<uint16_t>(p.indices[i]);
        std::memcpy(bytes + 2 * i, &index, sizeof index);
      }
    }
  }

  // Names the object's mesh and puts its arrays in the buffer, in the
  // objects' order. A small mesh's arrays are copied, so that the mesh can
  // be let go.
  void Place(const WObject& object, ObjectMesh& made) {
    made.name = Utf8(object.name.c_str());
    made.meshes_before = next_mesh_;
    made.first_view = next_view_;
    const GltfMesh& mesh = made.mesh;
    if (mesh.primitives.empty()) return;
    made.index = next_mesh_++;
    size_t bytes = mesh.attributes.size() * sizeof(float);
    for (const GltfPrimitive& p : mesh.primitives) bytes += p.indices.size() * sizeof(uint32_t);
    made.copied = bytes < kCopiedMeshBytes;
    const auto add = [&](const void* data, size_t size) {
      made.offsets.push_back(data_.Add(data, size, made.copied));
      ++next_view_;
    };
    const size_t n = mesh.VertexCount();
    add(mesh.Positions(), n * 3 * sizeof(float));
    if (mesh.Normals()) add(mesh.Normals(), n * 3 * sizeof(float));
    if (mesh.Uvs()) add(mesh.Uvs(), n * 2 * sizeof(float));
    if (mesh.Colors()) add(mesh.Colors(), n * 4 * sizeof(float));
    for (const GltfPrimitive& p : mesh.primitives) add(p.indices.data(), p.indices.size() * IndexWidth(made));
  }

  static size_t IndexWidth(const ObjectMesh& made) {
    return made.short_indices ? sizeof(uint16_t) : sizeof(uint32_t);
  }

  // Writes the object's node and, when it has one, its mesh with the views
  // and accessors of its arrays; on any thread.
  void WriteObject(const ObjectMesh& made, StreamedArrays& out) const {
    if (made.index != -1) WriteMesh(made, out);
    JsonWriter node = out.nodes.Add();
    node.BeginObject();
    if (made.index != -1) node.Key("mesh").Int(made.index);
    if (!made.name.empty()) node.Key("name").String(made.name);
    node.EndObject();
  }

  void WriteMesh(const ObjectMesh& made, StreamedArrays& out) const {
    const GltfMesh& mesh = made.mesh;
    const size_t n = mesh.VertexCount();
    int view = made.first_view;
    size_t at = 0;
    const auto floats = [&](const char* type, int components, const double* low = nullptr,
                            const double* high = nullptr) {
      WriteView(out.views, n * components * sizeof(float), made.offsets[at++], kArrayBuffer);
      WriteAccessor(out.accessors, view, TINYGLTF_COMPONENT_TYPE_FLOAT, type, n, low, high);
      return view++;
    };
    const int position = floats(kVec3, 3, made.low, made.high);
    const int normal = mesh.Normals() ? floats(kVec3, 3) : -1;
    const int uv = mesh.Uvs() ? floats(kVec2, 2) : -1;
    const int color = mesh.Colors() ? floats(kVec4, 4) : -1;
    JsonWriter w = out.meshes.Add();
    w.BeginObject();
    if (!made.name.empty()) w.Key("name").String(made.name);
    w.Key("primitives").BeginArray();
    for (const GltfPrimitive& p : mesh.primitives) {
      // Each primitive's indices take the next view and accessor.
      WriteView(out.views, p.indices.size() * IndexWidth(made), made.offsets[at++], kElementArrayBuffer);
      WriteAccessor(out.accessors, view,
                    made.short_indices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                    kScalar, p.indices.size());
      const int indices = view++;
      const bool triangles = p.mode == kGltfTriangles;
      // Lines have no surface to shade: their vertices carry position and
      // colour. Texture coordinates only where a texture uses them.
      w.BeginObject().Key("attributes").BeginObject();
      if (color != -1) w.Key("COLOR_0").Int(color);
      if (triangles && normal != -1) w.Key("NORMAL").Int(normal);
      w.Key("POSITION").Int(position);
      if (triangles && uv != -1 && HasTexture(p.material)) w.Key("TEXCOORD_0").Int(uv);
      w.EndObject().Key("indices").Int(indices);
      if (triangles && p.material > -1) w.Key("material").Int(p.material);
      w.Key("mode").Int(p.mode).EndObject();
    }
    w.EndArray().EndObject();
  }

  static void WriteView(StreamedArray& views, size_t size, size_t offset, int target) {
    JsonWriter view = views.Add();
    view.BeginObject().Key("buffer").Int(0).Key("byteLength").Unsigned(size);
    if (offset > 0) view.Key("byteOffset").Unsigned(offset);
    view.Key("target").Int(target).EndObject();
  }

  // low and high, when given, are the accessor's bounds, three each.
  static void WriteAccessor(StreamedArray& accessors, int view, int component_type, const char* type, size_t count,
                            const double* low = nullptr, const double* high = nullptr) {
    JsonWriter accessor = accessors.Add();
    accessor.BeginObject()
        .Key("bufferView").Int(view)
        .Key("componentType").Int(component_type)
        .Key("count").Unsigned(count);
    if (low && high) {
      accessor.Key("max").BeginArray().Double(high[0]).Double(high[1]).Double(high[2]).EndArray();
      accessor.Key("min").BeginArray().Double(low[0]).Double(low[1]).Double(low[2]).EndArray();
    }
    accessor.Key("type").String(type).EndObject();
  }

  bool HasTexture(int material) const {
    return material >= 0 && static_cast<size_t>(material) < textured_.size() &&
           textured_[static_cast<size_t>(material)];
  }

  const WScene& scene_;
  GltfBuffer& data_;
  StreamedArrays& arrays_;
  static constexpr int kObjectChunk = 4096;
  static constexpr size_t kMinObjectsPerThread = 64;
  static constexpr size_t kCopiedMeshBytes = size_t{64} << 10;
  std::vector<bool> textured_;  // per material: it has a texture
  int next_mesh_ = 0;           // the meshes and views placed so far
  int next_view_ = 0;
  tinygltf::Model* model_ = nullptr;
};

// The JSON of model and the long arrays, whose buffer is kept apart,
// with that buffer named: by uri (a .gltf file), or without one (the binary
// chunk of a .glb file). indent as nlohmann::json::dump takes it (-1:
// compact), and as the arrays were made with. The model's members are
// serialised as tinygltf's stream writer serialises them; the members of
// the top object are joined in the order of their names, as a dump of the
// whole document joins them.
JsonText GltfJson(tinygltf::Model& model, StreamedArrays& arrays, size_t buffer_size, const std::string& uri,
                  int indent) {
  nlohmann::json document;
  tinygltf::SerializeGltfModel(&model, document);
  if (!model.images.empty()) {
    nlohmann::json images = nlohmann::json::array();
    for (const tinygltf::Image& image : model.images) {
      nlohmann::json entry;
      tinygltf::SerializeGltfImage(image, image.uri, entry);
      images.push_back(std::move(entry));
    }
    document["images"] = std::move(images);
  }
  model = tinygltf::Model();
  if (buffer_size > 0) {
    nlohmann::json buffer = {{"byteLength", buffer_size}};
    if (!uri.empty()) buffer["uri"] = uri;
    document["buffers"] = nlohmann::json::array({buffer});
  }
  // Every member, by name: the streamed arrays (left out when empty, as
  // tinygltf leaves out empty arrays) and the document's own.
  std::map<std::string, StreamedArray*> streamed;
  const std::pair<const char*, StreamedArray*> named[] = {
      {"accessors", &arrays.accessors}, {"bufferViews", &arrays.views}, {"materials", &arrays.materials},
      {"meshes", &arrays.meshes}, {"nodes", &arrays.nodes}};
  for (const auto& [name, array] : named)
    if (array->size() > 0) streamed[name] = array;
  std::vector<std::string> names;
  for (const auto& member : document.items()) names.push_back(member.key());
  for (const auto& member : streamed) names.push_back(member.first);
  std::sort(names.begin(), names.end());

  JsonText result;
  std::string text;  // the text between the streamed arrays
  text += indent < 0 || names.empty() ? "{" : "{\n";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += indent < 0 ? "," : ",\n";
    if (indent >= 0) text += std::string(static_cast<size_t>(indent), ' ');
    text += nlohmann::json(names[i]).dump();
    text += indent < 0 ? ":" : ": ";
    const auto found = streamed.find(names[i]);
    if (found != streamed.end()) {
      result.pieces.push_back(std::move(text));
      text.clear();
      found->second->MoveValue(result.pieces);
    } else {
      AppendIndented(text, document[names[i]].dump(indent), indent);
    }
  }
  if (indent >= 0) text += names.empty() ? "" : "\n";
  text += "}";
  result.pieces.push_back(std::move(text));
  return result;
}

void PutWord(TextOutput& out, uint32_t word) {
  const char bytes[4] = {static_cast<char>(word & 0xFF), static_cast<char>((word >> 8) & 0xFF),
                         static_cast<char>((word >> 16) & 0xFF), static_cast<char>(word >> 24)};
  out.Put(std::string_view(bytes, 4));
}

// The binary container: a 12-byte head, the JSON chunk padded with blanks
// and the buffer chunk padded with zeros to 4 bytes. tinygltf's own writer
// would first copy the whole buffer; this writes it from where it lies.
void PutGlb(TextOutput& out, const JsonText& text, const GltfBuffer& data) {
  const auto padded = [](size_t n) { return static_cast<uint32_t>((n + 3) & ~size_t{3}); };
  const uint32_t json_length = padded(text.size());
  const uint32_t bin_length = padded(data.size());
  PutWord(out, 0x46546C67u);  // "glTF"
  PutWord(out, 2);
  PutWord(out, 12 + 8 + json_length + (data.empty() ? 0 : 8 + bin_length));
  PutWord(out, json_length);
  PutWord(out, 0x4E4F534Au);  // "JSON"
  text.Put(out);
  out.Put(std::string(json_length - text.size(), ' '));
  if (data.empty()) return;
  PutWord(out, bin_length);
  PutWord(out, 0x004E4942u);  // "BIN"
  data.Put(out);
  out.Put(std::string(bin_length - data.size(), '\0'));
}

// Runs write, turning what the libraries throw into false with errno set.
template <class Write>
bool Guarded(Write&& write) {
  try {
    return write();
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
  } catch (const std::exception&) {
    errno = EINVAL;
  }
  return false;
}

bool BuildModel(const WScene& scene, tinygltf::Model& model, GltfBuffer& data, StreamedArrays& arrays) {
  if (ModelBuilder(scene, data, arrays).Build(model)) return true;
  errno = ERANGE;  // a coordinate, normal, texture coordinate or colour that is not finite
  return false;
}

// Removes the lines that some face has as a side: glTF writes only the
// others, and on a large mesh the sides are as many as its edges.
void DropFaceSideLines(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    bool any = false;
    for (int f = 0; f < object.fnum; ++f) {
      const WFace& face = object.faces[f];
      for (int k = 0; k < face.num; ++k) {
        const int line = face.e()[k];
        if (line < 0 || line >= object.lnum) continue;
        object.lines[line].flags |= kDeleted;
        object.lines[line].remap = -1;
        any = true;
      }
    }
    if (any) object.Compact();
  }
}

}  // namespace

std::string GltfBufferPath(const char* path) { return ReplaceExtension(path, ".bin"); }

bool WriteGlbFile(const char* path, const WScene& scene) {
  return Guarded([&] {
    tinygltf::Model model;
    GltfBuffer data;
    StreamedArrays arrays(-1);
    if (!BuildModel(scene, model, data, arrays)) return false;
    const JsonText text = GltfJson(model, arrays, data.size(), "", -1);
    // The whole file, chunk heads and padding included, is counted in 32 bits.
    if (data.size() > 0xFFFFFFFFu - 64u || text.size() > 0xFFFFFFFFu - 64u - data.size()) {
      errno = EFBIG;
      return false;
    }
    const FileWriteResult result = WriteWholeFile(path, "wb", [&](TextOutput& out) { PutGlb(out, text, data); });
    return result == FileWriteResult::kWritten;
  });
}

bool WriteGltfFile(const char* path, const WScene& scene) {
  return Guarded([&] {
    const std::string buffer_path = GltfBufferPath(path);
    if (buffer_path == path) {
      errno = EINVAL;  // the buffer would replace the file that names it
      return false;
    }
    tinygltf::Model model;
    GltfBuffer data;
    StreamedArrays arrays(2);
    if (!BuildModel(scene, model, data, arrays)) return false;
    JsonText text = GltfJson(model, arrays, data.size(), FileUri(FileName(buffer_path.c_str())), 2);
    text.pieces.push_back("\n");
    // Both files are complete before either replaces anything.
    TextOutput gltf;
    const FileWriteResult staged = StageWholeFile(gltf, path, "wb", [&](TextOutput& out) { text.Put(out); });
    if (staged != FileWriteResult::kWritten) return false;
    if (data.empty()) return gltf.Commit();
    TextOutput bin;
    const FileWriteResult bin_staged = StageWholeFile(bin, buffer_path.c_str(), "wb", [&](TextOutput& out) {
      data.Put(out);
    });
    if (bin_staged != FileWriteResult::kWritten) {
      const int error = errno;
      gltf.Discard();
      errno = error;
      return false;
    }
    if (!bin.Commit()) {
      const int error = errno;
      gltf.Discard();
      errno = error;
      return false;
    }
    return gltf.Commit();
  });
}

bool WriteGlbFile(const char* path, WScene&& scene) {
  DropFaceSideLines(scene);
  return WriteGlbFile(path, static_cast<const WScene&>(scene));
}

bool WriteGltfFile(const char* path, WScene&& scene) {
  DropFaceSideLines(scene);
  return WriteGltfFile(path, static_cast<const WScene&>(scene));
}
