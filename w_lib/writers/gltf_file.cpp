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
#include <new>
#include <string>
#include <vector>

#include "w_lib/util/code_page.h"
#include "w_lib/util/parallel.h"
#include "w_lib/util/text.h"
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

// The binary buffer: the meshes' arrays, kept where they were built, each
// at a 4-byte boundary with zeros between.
class GltfBuffer {
 public:
  // Appends bytes that stay where they are until the buffer is written;
  // returns their offset.
  size_t Add(const void* bytes, size_t size) {
    const size_t offset = (size_ + 3) & ~size_t{3};
    pieces_.push_back(Piece{static_cast<const unsigned char*>(bytes), size, offset});
    size_ = offset + size;
    return offset;
  }
  // Keeps the arrays that Add was given (moving a vector keeps its storage).
  void Keep(GltfMesh&& mesh) { meshes_.push_back(std::move(mesh)); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  void Put(TextOutput& out) const {
    static const char kZeros[4] = {0, 0, 0, 0};
    size_t at = 0;
    for (const Piece& piece : pieces_) {
      out.Put(std::string_view(kZeros, piece.offset - at));
      out.Put(std::string_view(reinterpret_cast<const char*>(piece.bytes), piece.size));
      at = piece.offset + piece.size;
    }
  }

 private:
  struct Piece {
    const unsigned char* bytes;
    size_t size;
    size_t offset;
  };
  std::vector<Piece> pieces_;
  std::vector<GltfMesh> meshes_;
  size_t size_ = 0;
};

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

// One of the document's long arrays (accessors, buffer views, materials,
// meshes, nodes), kept as text: each element is written as it is made, as a
// dump of the whole document would write it at its place (the second level,
// under a member of the top object).
class StreamedArray {
 public:
  explicit StreamedArray(int indent) : indent_(indent) {}

  // A writer of the next element, which must be written, one value, before
  // the next call; its index is size() before the call.
  JsonWriter Add() {
    if (count_ > 0) text_ += indent_ < 0 ? "," : ",\n";
    if (indent_ >= 0) text_.append(static_cast<size_t>(2 * indent_), ' ');
    ++count_;
    return JsonWriter(text_, indent_, indent_ < 0 ? 0 : 2 * indent_);
  }
  int size() const { return count_; }

  // Moves the array, as the value of a member of the top object, into
  // pieces: its opening, its elements and its close.
  void MoveValue(std::vector<std::string>& pieces) {
    pieces.push_back(indent_ < 0 ? "[" : "[\n");
    pieces.push_back(std::move(text_));
    text_.clear();
    pieces.push_back(indent_ < 0 ? "]" : "\n" + std::string(static_cast<size_t>(indent_), ' ') + "]");
  }

 private:
  int indent_;
  std::string text_;
  int count_ = 0;
};

// A JSON text in pieces that are written one after the other, so that the
// large arrays are never copied into one string.
struct JsonText {
  std::vector<std::string> pieces;
  size_t size() const {
    size_t n = 0;
    for (const std::string& piece : pieces) n += piece.size();
    return n;
  }
  void Put(TextOutput& out) const {
    for (const std::string& piece : pieces) out.Put(piece);
  }
};

// The long arrays of a document.
struct StreamedArrays {
  explicit StreamedArrays(int indent)
      : accessors(indent), views(indent), materials(indent), meshes(indent), nodes(indent) {}
  StreamedArray accessors;
  StreamedArray views;
  StreamedArray materials;
  StreamedArray meshes;
  StreamedArray nodes;
};

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
    for (int o = 0; o < scene_.onum; ++o) {
      const WObject& object = scene_.objects[o];
      const std::string name = Utf8(object.name.c_str());
      GltfMesh mesh;
      if (!BuildGltfMesh(scene_, object, mesh)) return false;
      int mesh_index = -1;
      if (!mesh.primitives.empty()) {
        mesh_index = arrays_.meshes.size();
        AddMesh(mesh, name);
        data_.Keep(std::move(mesh));
      }
      model.scenes[0].nodes.push_back(arrays_.nodes.size());
      JsonWriter node = arrays_.nodes.Add();
      node.BeginObject();
      if (mesh_index != -1) node.Key("mesh").Int(mesh_index);
      if (!name.empty()) node.Key("name").String(name);
      node.EndObject();
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

  // Appends bytes to the buffer as a buffer view of its own, starting on a
  // 4-byte boundary; returns the view's index.
  int AddView(const void* bytes, size_t size, int target) {
    const size_t offset = data_.Add(bytes, size);
    JsonWriter view = arrays_.views.Add();
    view.BeginObject().Key("buffer").Int(0).Key("byteLength").Unsigned(size);
    if (offset > 0) view.Key("byteOffset").Unsigned(offset);
    view.Key("target").Int(target).EndObject();
    return arrays_.views.size() - 1;
  }

  // low and high, when given, are the accessor's bounds, three each.
  int AddAccessor(int view, int component_type, const char* type, size_t count, const double* low = nullptr,
                  const double* high = nullptr) {
    JsonWriter accessor = arrays_.accessors.Add();
    accessor.BeginObject()
        .Key("bufferView").Int(view)
        .Key("componentType").Int(component_type)
        .Key("count").Unsigned(count);
    if (low && high) {
      accessor.Key("max").BeginArray().Double(high[0]).Double(high[1]).Double(high[2]).EndArray();
      accessor.Key("min").BeginArray().Double(low[0]).Double(low[1]).Double(low[2]).EndArray();
    }
    accessor.Key("type").String(type).EndObject();
    return arrays_.accessors.size() - 1;
  }

  int AddFloats(const float* values, size_t count, const char* type, int components, const double* low = nullptr,
                const double* high = nullptr) {
    const int view = AddView(values, count * components * sizeof(float), kArrayBuffer);
    return AddAccessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, type, count, low, high);
  }

  // Adds the mesh's views over its arrays, which the caller then hands to
  // the buffer to keep; 16-bit indices are packed in the storage of the
  // 32-bit ones.
  void AddMesh(GltfMesh& mesh, const std::string& name) {
    const size_t n = mesh.VertexCount();
    double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0};
    const float* positions = mesh.Positions();
    for (size_t i = 0; i < 3 * n; ++i) {
      const double x = positions[i];
      const size_t axis = i % 3;
      if (i < 3 || x < low[axis]) low[axis] = x;
      if (i < 3 || x > high[axis]) high[axis] = x;
    }
    const int position = AddFloats(mesh.Positions(), n, kVec3, 3, low, high);
    const int normal = mesh.Normals() ? AddFloats(mesh.Normals(), n, kVec3, 3) : -1;
    const int uv = mesh.Uvs() ? AddFloats(mesh.Uvs(), n, kVec2, 2) : -1;
    const int color = mesh.Colors() ? AddFloats(mesh.Colors(), n, kVec4, 4) : -1;
    // 0xFFFF is not a valid 16-bit index (it means a primitive restart):
    // 65,535 vertices, numbered up to 0xFFFE, are the most that 16 bits take.
    const bool short_indices = n <= 0xFFFF;
    // The mesh is written as the primitives are made: each primitive's
    // indices take the next view and accessor.
    JsonWriter out = arrays_.meshes.Add();
    out.BeginObject();
    if (!name.empty()) out.Key("name").String(name);
    out.Key("primitives").BeginArray();
    for (GltfPrimitive& p : mesh.primitives) {
      size_t width = sizeof(uint32_t);
      if (short_indices) {
        // Each 16-bit value goes no later than the 32-bit one it comes from.
        unsigned char* bytes = reinterpret_cast<unsigned char*>(p.indices.data());
        for (size_t i = 0; i < p.indices.size(); ++i) {
          const uint16_t index = static_cast<uint16_t>(p.indices[i]);
          std::memcpy(bytes + 2 * i, &index, sizeof index);
        }
        width = sizeof(uint16_t);
      }
      const int view = AddView(p.indices.data(), p.indices.size() * width, kElementArrayBuffer);
      const int indices = AddAccessor(
          view, short_indices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
          kScalar, p.indices.size());
      const bool triangles = p.mode == kGltfTriangles;
      // Lines have no surface to shade: their vertices carry position and
      // colour. Texture coordinates only where a texture uses them.
      out.BeginObject().Key("attributes").BeginObject();
      if (color != -1) out.Key("COLOR_0").Int(color);
      if (triangles && normal != -1) out.Key("NORMAL").Int(normal);
      out.Key("POSITION").Int(position);
      if (triangles && uv != -1 && HasTexture(p.material)) out.Key("TEXCOORD_0").Int(uv);
      out.EndObject().Key("indices").Int(indices);
      if (triangles && p.material > -1) out.Key("material").Int(p.material);
      out.Key("mode").Int(p.mode).EndObject();
    }
    out.EndArray().EndObject();
  }

  bool HasTexture(int material) const {
    return material >= 0 && static_cast<size_t>(material) < textured_.size() &&
           textured_[static_cast<size_t>(material)];
  }

  const WScene& scene_;
  GltfBuffer& data_;
  StreamedArrays& arrays_;
  std::vector<bool> textured_;  // per material: it has a texture
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
