// glTF 2.0 files: the meshes are built and their arrays laid out in the
// buffer first; then the JSON is written straight to the file, its few top
// members built with tinygltf records and serialised by tinygltf, its long
// arrays (an element or more per object and per material) written directly
// in the same layout. The buffer is written, in its .bin file or in the
// binary chunk of a .glb, from where its arrays lie; the texture images
// follow the meshes' arrays in it.
// Every byte reaches the disk through the same staged replacement as every
// other writer's, so that a failure leaves the old files as they were.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/util/code_page.h"
#include "w_lib/util/parallel.h"
#include "w_lib/util/text.h"
#include "w_lib/writers/gltf_buffer.h"
#include "w_lib/writers/gltf_images.h"
#include "w_lib/writers/gltf_mesh.h"
#if VELLMAR_MESHOPT
#include "w_lib/writers/gltf_mesh_compression.h"
#endif
#include "w_lib/writers/json_writer.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

// After every other header: tinygltf includes the JSON library with hidden
// visibility, which on targets without symbol visibility would also hide the
// standard headers it pulls in first, and with them the types of our fields.
#define TINYGLTF_IMPLEMENTATION
// Only the writer is used, and it must never read or write an image file.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

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

constexpr int kByte = 5120;
constexpr int kUnsignedByte = 5121;
constexpr int kUnsignedShort = 5123;

// The extensions of a compressed file, all of them required.
constexpr const char* kMeshopt = "EXT_meshopt_compression";
constexpr const char* kQuantization = "KHR_mesh_quantization";
constexpr const char* kTextureTransform = "KHR_texture_transform";

// A primitive once its indices are in the buffer.
struct PlacedPrimitive {
  int mode;
  int material;  // scene material index; -1 none
  size_t count;  // indices
};

// An object once its mesh's arrays are in the buffer: what its node, mesh,
// views and accessors say.
struct PlacedObject {
  std::string name;  // UTF-8
  int mesh = -1;     // in the meshes; -1: the object has none
  // The views of its arrays, an accessor each with the same number:
  // positions, then normals, texture coordinates and colours where
  // present, then each primitive's indices; and where each view's bytes
  // lie in the buffer. A compressed view's bytes are the encoded ones; it
  // names its decoded bytes' place in the fallback buffer, which holds none.
  struct View {
    size_t offset;
    size_t size;
    size_t fallback_offset = 0;
    size_t count = 0;   // compressed: elements
    size_t stride = 0;  // compressed: decoded bytes an element
    int mode = -1;      // compressed: GltfEncodedView::Mode
    bool octahedral = false;
  };
  int first_view = 0;
  std::vector<View> views;
  size_t vertex_count = 0;
  bool normals = false, uvs = false, colors = false;
  bool short_indices = false;                                    // 16-bit indices
  double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0};  // the positions' bounds
  std::vector<PlacedPrimitive> primitives;
  // Compressed: the integer positions' bounds and the node's transform
  // that restores them; texture coordinates kept as floats.
  bool compressed = false;
  int stored_low[3] = {0, 0, 0}, stored_high[3] = {0, 0, 0};
  double translation[3] = {0.0, 0.0, 0.0};
  double scale = 1.0;
  bool uv_floats = false;
};

// The document: its meshes built and their arrays placed in the buffer
// first, then its JSON written straight to the file, member by member in
// the order of their names. Every element is written with its members in
// the order of their names and with the members a glTF library writes for
// the same record: defaults are left out (an opaque alpha mode, zero
// emission, a white base colour, a buffer view's zero offset).
class GltfDocument {
 public:
  // release: the scene itself when the document may use up each object's
  // arrays as it builds the object's mesh, else null.
  GltfDocument(const WScene& scene, WScene* release, const GltfWriteOptions& options, GltfBuffer& data)
      : scene_(scene), release_(release), options_(options), data_(data) {}

  // False when a number to write is not finite.
  bool Build() {
    model_.asset.version = "2.0";
    model_.asset.generator = std::string("Vellmar ") + VELLMAR_VERSION;
#if VELLMAR_MESHOPT
    if (options_.compress) {
      PrepareGltfCodecs();
      uv_grid_ = ChooseGltfUvGrid(scene_);
    }
#endif
    if (!PlaceMaterials()) return false;
    model_.scenes.emplace_back();
    model_.defaultScene = 0;
    const size_t objects = static_cast<size_t>(scene_.onum > 0 ? scene_.onum : 0);
    model_.scenes[0].nodes.reserve(objects);
    placed_.reserve(objects);
    for (int first = 0; first < scene_.onum; first += kObjectChunk) {
      const int last = scene_.onum - first < kObjectChunk ? scene_.onum : first + kObjectChunk;
      if (!PlaceObjects(first, last)) return false;
    }
    for (size_t o = 0; o < objects; ++o) model_.scenes[0].nodes.push_back(static_cast<int>(o));
    if (options_.compress && next_mesh_ > 0) {
      std::vector<std::string> extensions = {kMeshopt, kQuantization};
      if (TexturesTransformed()) extensions.push_back(kTextureTransform);
      model_.extensionsUsed = extensions;
      model_.extensionsRequired = extensions;
    }
    PlaceImages();
    return true;
  }

  // The JSON text, its buffer named by uri (a .gltf file) or by none (the
  // binary chunk of a .glb file). indent as nlohmann::json::dump takes it
  // (-1: on one line). The few top members are serialised as tinygltf
  // serialises them; the long arrays are written here.
  void WriteJson(TextOutput& out, const std::string& uri, int indent) {
    nlohmann::json document;
    tinygltf::SerializeGltfModel(&model_, document);
    if (!model_.images.empty()) {
      nlohmann::json images = nlohmann::json::array();
      for (const tinygltf::Image& image : model_.images) {
        nlohmann::json entry;
        tinygltf::SerializeGltfImage(image, image.uri, entry);
        images.push_back(std::move(entry));
      }
      document["images"] = std::move(images);
    }
    if (data_.size() > 0) {
      nlohmann::json buffer = {{"byteLength", data_.size()}};
      if (!uri.empty()) buffer["uri"] = uri;
      document["buffers"] = nlohmann::json::array({buffer});
      // The compressed views' decoded bytes have their places in a buffer
      // of their own, which holds no data: the extension is required.
      if (fallback_size_ > 0)
        document["buffers"].push_back(
            {{"byteLength", fallback_size_}, {"extensions", {{kMeshopt, {{"fallback", true}}}}}});
    }
    // Every member, by name: the long arrays (left out when empty, as
    // tinygltf leaves out empty arrays) and the document's own.
    using ArrayWriter = void (GltfDocument::*)(TextOutput&, int);
    std::map<std::string, ArrayWriter> arrays;
    if (next_view_ > 0) arrays["accessors"] = &GltfDocument::WriteAccessors;
    if (next_view_ > 0 || !image_views_.empty()) arrays["bufferViews"] = &GltfDocument::WriteViews;
    if (scene_.mnum > 0) arrays["materials"] = &GltfDocument::WriteMaterials;
    if (next_mesh_ > 0) arrays["meshes"] = &GltfDocument::WriteMeshes;
    if (!placed_.empty()) arrays["nodes"] = &GltfDocument::WriteNodes;
    std::vector<std::string> names;
    for (const auto& member : document.items()) names.push_back(member.key());
    for (const auto& member : arrays) names.push_back(member.first);
    std::sort(names.begin(), names.end());

    const std::string pad(static_cast<size_t>(indent > 0 ? indent : 0), ' ');
    out.Put(indent < 0 || names.empty() ? "{" : "{\n");
    for (size_t i = 0; i < names.size(); ++i) {
      if (i > 0) out.Put(indent < 0 ? "," : ",\n");
      out.Put(pad).Put(nlohmann::json(names[i]).dump()).Put(indent < 0 ? ":" : ": ");
      const auto found = arrays.find(names[i]);
      if (found == arrays.end()) {
        std::string value;
        AppendIndented(value, document[names[i]].dump(indent), indent);
        out.Put(value);
        continue;
      }
      // An array as the value of a member of the top object: its elements
      // one level deeper than the member.
      out.Put(indent < 0 ? "[" : "[\n");
      (this->*found->second)(out, indent);
      if (indent >= 0) out.Put("\n").Put(pad);
      out.Put("]");
    }
    if (indent >= 0 && !names.empty()) out.Put("\n");
    out.Put("}");
  }

 private:
  std::string Utf8(const char* name) const { return NameAsUtf8(name, scene_.utf8_names); }

  // Checks the materials' colours and gives each image that they use a
  // texture, in the order of the images (the order the materials first
  // name them).
  bool PlaceMaterials() {
    for (int i = 0; i < scene_.mnum; ++i) {
      const WMaterial& m = scene_.materials[i];
      if (!std::isfinite(m.col.r) || !std::isfinite(m.col.g) || !std::isfinite(m.col.b) || !std::isfinite(m.col.a))
        return false;
    }
    images_ = CollectGltfImages(scene_, options_.textures);
    material_texture_ = images_.material_image;  // one texture per image, of the same number
    for (size_t k = 0; k < images_.images.size(); ++k) {
      tinygltf::Image image;
      image.name = images_.images[k].name;
      image.mimeType = images_.images[k].mime_type;
      tinygltf::Texture texture;
      texture.source = static_cast<int>(k);
      model_.images.push_back(std::move(image));
      model_.textures.push_back(std::move(texture));
    }
    return true;
  }

  // The images' bytes go into the buffer after every mesh's arrays, each in
  // a view of its own, numbered after the meshes' views.
  void PlaceImages() {
    for (size_t k = 0; k < images_.images.size(); ++k) {
      const std::vector<unsigned char>& bytes = images_.images[k].bytes;
      image_views_.push_back(PlacedObject::View{data_.Add(bytes.data(), bytes.size(), false), bytes.size()});
      model_.images[k].bufferView = next_view_ + static_cast<int>(k);
    }
  }

  // An object's mesh as it is built, with its bounds and 16-bit indices,
  // and its compressed form when the file is compressed.
  struct BuiltMesh {
    GltfMesh mesh;
    bool finite = true;
    bool short_indices = false;
    double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0};
#if VELLMAR_MESHOPT
    bool compressed = false;
    GltfCompressedMesh packed;
#endif
  };

  // Objects [first, last): their meshes are built on the machine's
  // threads, then placed in the buffer and numbered in order.
  bool PlaceObjects(int first, int last) {
    std::vector<BuiltMesh> built(static_cast<size_t>(last - first));
    ParallelFor(built.size(), kMinObjectsPerThread, [&](size_t begin, size_t end) {
      for (size_t k = begin; k < end; ++k) Build(first + static_cast<int>(k), built[k]);
    });
    for (size_t k = 0; k < built.size(); ++k) {
      if (!built[k].finite) return false;
      Place(scene_.objects[first + static_cast<int>(k)], built[k]);
    }
    return true;
  }

  // On any thread.
  void Build(int object, BuiltMesh& made) const {
    made.finite = release_ ? BuildGltfMeshReleasing(scene_, release_->objects[object], made.mesh)
                           : BuildGltfMesh(scene_, scene_.objects[object], made.mesh);
    GltfMesh& mesh = made.mesh;
    if (!made.finite || mesh.primitives.empty()) return;
#if VELLMAR_MESHOPT
    if (!options_.keep_order)
      OrderGltfMesh(mesh, options_.compress ? GltfMeshOrder::kStrips : GltfMeshOrder::kVertexCache);
#endif
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
#if VELLMAR_MESHOPT
    if (options_.compress) {
      CompressGltfMesh(mesh, made.low, made.high, uv_grid_, made.short_indices, made.packed);
      made.compressed = true;
      return;
    }
#endif
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
  // objects' order. A small mesh's arrays are copied, and the mesh let go;
  // a large one's stay where they are, kept by the buffer.
  void Place(const WObject& object, BuiltMesh& made) {
    placed_.emplace_back();
    PlacedObject& placed = placed_.back();
    placed.name = Utf8(object.name.c_str());
    placed.first_view = next_view_;
    GltfMesh& mesh = made.mesh;
    if (mesh.primitives.empty()) return;
    placed.mesh = next_mesh_++;
#if VELLMAR_MESHOPT
    if (made.compressed) {
      PlaceCompressed(placed, made);
      return;
    }
#endif
    placed.vertex_count = mesh.VertexCount();
    placed.normals = mesh.Normals() != nullptr;
    placed.uvs = mesh.Uvs() != nullptr;
    placed.colors = mesh.Colors() != nullptr;
    placed.short_indices = made.short_indices;
    std::copy(made.low, made.low + 3, placed.low);
    std::copy(made.high, made.high + 3, placed.high);
    size_t bytes = mesh.attributes.size() * sizeof(float);
    for (const GltfPrimitive& p : mesh.primitives) bytes += p.indices.size() * sizeof(uint32_t);
    const bool copy = bytes < kCopiedMeshBytes;
    const auto add = [&](const void* data, size_t size) {
      placed.views.push_back(PlacedObject::View{data_.Add(data, size, copy), size});
      ++next_view_;
    };
    const size_t n = mesh.VertexCount();
    add(mesh.Positions(), n * 3 * sizeof(float));
    if (placed.normals) add(mesh.Normals(), n * 3 * sizeof(float));
    if (placed.uvs) add(mesh.Uvs(), n * 2 * sizeof(float));
    if (placed.colors) add(mesh.Colors(), n * 4 * sizeof(float));
    placed.primitives.reserve(mesh.primitives.size());
    for (const GltfPrimitive& p : mesh.primitives) {
      add(p.indices.data(), p.indices.size() * IndexWidth(placed));
      placed.primitives.push_back(PlacedPrimitive{p.mode, p.material, p.indices.size()});
    }
    if (!copy) data_.Keep(std::move(mesh));
  }

#if VELLMAR_MESHOPT
  // The encoded views are copied into the buffer, and the mesh let go.
  void PlaceCompressed(PlacedObject& placed, BuiltMesh& made) {
    const GltfMesh& mesh = made.mesh;
    GltfCompressedMesh& packed = made.packed;
    placed.compressed = true;
    placed.vertex_count = mesh.VertexCount();
    placed.normals = mesh.normals != GltfMesh::kNone;
    placed.uvs = mesh.uvs != GltfMesh::kNone;
    placed.colors = mesh.colors != GltfMesh::kNone;
    placed.short_indices = made.short_indices;
    std::copy(packed.low, packed.low + 3, placed.stored_low);
    std::copy(packed.high, packed.high + 3, placed.stored_high);
    std::copy(packed.translation, packed.translation + 3, placed.translation);
    placed.scale = packed.scale;
    placed.uv_floats = packed.uv_floats;
    any_uv_grid_ |= placed.uvs && !packed.uv_floats;
    for (const GltfEncodedView& encoded : packed.views) {
      PlacedObject::View view{data_.Add(encoded.bytes.data(), encoded.bytes.size(), true), encoded.bytes.size()};
      fallback_size_ = (fallback_size_ + 3) & ~size_t{3};
      view.fallback_offset = fallback_size_;
      view.count = encoded.count;
      view.stride = encoded.stride;
      view.mode = encoded.mode;
      view.octahedral = encoded.octahedral;
      fallback_size_ += encoded.count * encoded.stride;
      placed.views.push_back(view);
      ++next_view_;
    }
    const size_t vertex_views = placed.views.size() - mesh.primitives.size();
    for (size_t p = 0; p < mesh.primitives.size(); ++p)
      placed.primitives.push_back(
          PlacedPrimitive{mesh.primitives[p].mode, mesh.primitives[p].material, placed.views[vertex_views + p].count});
    made = BuiltMesh();
  }
#endif

  // Whether the materials' textures carry the transform that restores the
  // texture coordinates' grid: when some mesh stores them so, and some
  // material has a texture.
  bool TexturesTransformed() const {
    return any_uv_grid_ && std::any_of(material_texture_.begin(), material_texture_.end(), [](int t) { return t != -1; });
  }

  static size_t IndexWidth(const PlacedObject& placed) {
    return placed.short_indices ? sizeof(uint16_t) : sizeof(uint32_t);
  }

  // The elements of the arrays, each object's formatted apart on the
  // machine's threads: an element at index i of its array is preceded by
  // the separator when i > 0, and pushed in to its place (the second level).
  static JsonWriter Element(TextOutput& to, int index, int indent) {
    if (index > 0) to.Put(indent < 0 ? "," : ",\n");
    constexpr std::string_view kBlanks = "                ";
    if (indent > 0) to.Put(kBlanks.substr(0, static_cast<size_t>(2 * indent)));
    return JsonWriter(to, indent, indent < 0 ? 0 : 2 * indent);
  }

  void WriteViews(TextOutput& out, int indent) {
    PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
      const PlacedObject& placed = placed_[o];
      if (placed.mesh == -1) return;
      // The vertex arrays' views, then the primitives' index views.
      const size_t vertex_views = placed.views.size() - placed.primitives.size();
      for (size_t k = 0; k < placed.views.size(); ++k) {
        const PlacedObject::View& view = placed.views[k];
        const int target = k < vertex_views ? kArrayBuffer : kElementArrayBuffer;
        JsonWriter w = Element(to, placed.first_view + static_cast<int>(k), indent);
        if (placed.compressed) {
          WriteCompressedView(w, view, target);
          continue;
        }
        w.BeginObject().Key("buffer").Int(0).Key("byteLength").Unsigned(view.size);
        if (view.offset > 0) w.Key("byteOffset").Unsigned(view.offset);
        w.Key("target").Int(target).EndObject();
      }
    });
    // An image's view has no target: it holds no vertex attribute or index.
    for (size_t k = 0; k < image_views_.size(); ++k) {
      JsonWriter w = Element(out, next_view_ + static_cast<int>(k), indent);
      w.BeginObject().Key("buffer").Int(0).Key("byteLength").Unsigned(image_views_[k].size);
      if (image_views_[k].offset > 0) w.Key("byteOffset").Unsigned(image_views_[k].offset);
      w.EndObject();
    }
  }

  // A view of decoded bytes in the fallback buffer, with the encoded bytes'
  // place in the buffer. Vertex views give their stride (always a multiple
  // of 4, as glTF asks of vertex attributes).
  static void WriteCompressedView(JsonWriter& w, const PlacedObject::View& view, int target) {
    static const char* const kModes[] = {"ATTRIBUTES", "TRIANGLES", "INDICES"};
    w.BeginObject().Key("buffer").Int(1).Key("byteLength").Unsigned(view.count * view.stride);
    if (view.fallback_offset > 0) w.Key("byteOffset").Unsigned(view.fallback_offset);
    if (target == kArrayBuffer) w.Key("byteStride").Unsigned(view.stride);
    w.Key("extensions").BeginObject().Key(kMeshopt).BeginObject();
    w.Key("buffer").Int(0).Key("byteLength").Unsigned(view.size);
    if (view.offset > 0) w.Key("byteOffset").Unsigned(view.offset);
    w.Key("byteStride").Unsigned(view.stride).Key("count").Unsigned(view.count);
    if (view.octahedral) w.Key("filter").String("OCTAHEDRAL");
    w.Key("mode").String(kModes[view.mode]).EndObject().EndObject();
    w.Key("target").Int(target).EndObject();
  }

  void WriteAccessors(TextOutput& out, int indent) {
    PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
      const PlacedObject& placed = placed_[o];
      if (placed.mesh == -1) return;
      int view = placed.first_view;
      // low and high, when given, are the accessor's bounds (floats, or the
      // integers of the compressed positions).
      struct Bounds {
        const double* low;
        const double* high;
        const int* stored_low;
        const int* stored_high;
      };
      const auto put = [&](int component_type, const char* type, size_t count, const Bounds& bounds = Bounds{},
                           bool normalized = false) {
        JsonWriter w = Element(to, view, indent);
        w.BeginObject().Key("bufferView").Int(view++).Key("componentType").Int(component_type);
        w.Key("count").Unsigned(count);
        if (bounds.low && bounds.high) {
          w.Key("max").BeginArray().Double(bounds.high[0]).Double(bounds.high[1]).Double(bounds.high[2]).EndArray();
          w.Key("min").BeginArray().Double(bounds.low[0]).Double(bounds.low[1]).Double(bounds.low[2]).EndArray();
        }
        if (bounds.stored_low && bounds.stored_high) {
          w.Key("max").BeginArray().Int(bounds.stored_high[0]).Int(bounds.stored_high[1]);
          w.Int(bounds.stored_high[2]).EndArray();
          w.Key("min").BeginArray().Int(bounds.stored_low[0]).Int(bounds.stored_low[1]);
          w.Int(bounds.stored_low[2]).EndArray();
        }
        if (normalized) w.Key("normalized").Bool(true);
        w.Key("type").String(type).EndObject();
      };
      const size_t n = placed.vertex_count;
      if (placed.compressed) {
        put(kUnsignedShort, kVec3, n, Bounds{nullptr, nullptr, placed.stored_low, placed.stored_high});
        if (placed.normals) put(kByte, kVec3, n, Bounds{}, true);
        if (placed.uvs) put(placed.uv_floats ? TINYGLTF_COMPONENT_TYPE_FLOAT : kUnsignedShort, kVec2, n);
        if (placed.colors) put(kUnsignedByte, kVec4, n, Bounds{}, true);
      } else {
        put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec3, n, Bounds{placed.low, placed.high, nullptr, nullptr});
        if (placed.normals) put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec3, n);
        if (placed.uvs) put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec2, n);
        if (placed.colors) put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec4, n);
      }
      const int index_type =
          placed.short_indices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
      for (const PlacedPrimitive& p : placed.primitives) put(index_type, kScalar, p.count);
    });
  }

  // On one thread: names are made UTF-8 as they are written.
  void WriteMaterials(TextOutput& out, int indent) {
    for (int i = 0; i < scene_.mnum; ++i) {
      const WMaterial& m = scene_.materials[i];
      const auto factor = [](float x) { return x < 0.0f ? 0.0 : (x > 1.0f ? 1.0 : static_cast<double>(x)); };
      const double color[4] = {factor(m.col.r), factor(m.col.g), factor(m.col.b), factor(m.col.a)};
      const int texture = material_texture_[static_cast<size_t>(i)];
      const std::string name = Utf8(m.name.c_str());
      JsonWriter w = Element(out, i, indent);
      w.BeginObject();
      if (color[3] < 1.0) w.Key("alphaMode").String("BLEND");
      if (!name.empty()) w.Key("name").String(name);
      w.Key("pbrMetallicRoughness").BeginObject();
      // White, to within the library's tolerance, is the default.
      if (std::any_of(color, color + 4, [](double c) { return !(std::fabs(1.0 - c) < 1e-12); })) {
        w.Key("baseColorFactor").BeginArray();
        for (const double c : color) w.Double(c);
        w.EndArray();
      }
      if (texture != -1) {
        w.Key("baseColorTexture").BeginObject();
        if (TexturesTransformed()) WriteUvTransform(w);
        w.Key("index").Int(texture).EndObject();
      }
      w.Key("metallicFactor").Double(0.0);
      w.Key("roughnessFactor").Double(RoughnessOfPower(kSpecularPower));
      w.EndObject().EndObject();
    }
  }

  // The texture transform that takes the stored integers of the texture
  // coordinates' grid to the coordinates.
  void WriteUvTransform(JsonWriter& w) const {
#if VELLMAR_MESHOPT
    const double step = GltfUvGrid::kStep;
    w.Key("extensions").BeginObject().Key(kTextureTransform).BeginObject();
    w.Key("offset").BeginArray().Double(uv_grid_.offset[0]).Double(uv_grid_.offset[1]).EndArray();
    w.Key("scale").BeginArray().Double(step).Double(step).EndArray();
    w.EndObject().EndObject();
#else
    static_cast<void>(w);
#endif
  }

  void WriteMeshes(TextOutput& out, int indent) {
    PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
      const PlacedObject& placed = placed_[o];
      if (placed.mesh == -1) return;
      // The arrays' accessors, as WriteAccessors numbers them.
      int accessor = placed.first_view;
      const int position = accessor++;
      const int normal = placed.normals ? accessor++ : -1;
      const int uv = placed.uvs ? accessor++ : -1;
      const int color = placed.colors ? accessor++ : -1;
      JsonWriter w = Element(to, placed.mesh, indent);
      w.BeginObject();
      if (!placed.name.empty()) w.Key("name").String(placed.name);
      w.Key("primitives").BeginArray();
      for (const PlacedPrimitive& p : placed.primitives) {
        const bool triangles = p.mode == kGltfTriangles;
        // Lines have no surface to shade: their vertices carry position and
        // colour. Texture coordinates only where a texture uses them.
        w.BeginObject().Key("attributes").BeginObject();
        if (color != -1) w.Key("COLOR_0").Int(color);
        if (triangles && normal != -1) w.Key("NORMAL").Int(normal);
        w.Key("POSITION").Int(position);
        if (triangles && uv != -1 && HasTexture(p.material)) w.Key("TEXCOORD_0").Int(uv);
        w.EndObject().Key("indices").Int(accessor++);
        if (triangles && p.material > -1) w.Key("material").Int(p.material);
        w.Key("mode").Int(p.mode).EndObject();
      }
      w.EndArray().EndObject();
    });
  }

  void WriteNodes(TextOutput& out, int indent) {
    PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
      const PlacedObject& placed = placed_[o];
      JsonWriter w = Element(to, static_cast<int>(o), indent);
      w.BeginObject();
      if (placed.mesh != -1) w.Key("mesh").Int(placed.mesh);
      if (!placed.name.empty()) w.Key("name").String(placed.name);
      if (placed.compressed) {
        w.Key("scale").BeginArray().Double(placed.scale).Double(placed.scale).Double(placed.scale).EndArray();
        w.Key("translation").BeginArray();
        for (const double t : placed.translation) w.Double(t);
        w.EndArray();
      }
      w.EndObject();
    });
  }

  bool HasTexture(int material) const {
    return material >= 0 && static_cast<size_t>(material) < material_texture_.size() &&
           material_texture_[static_cast<size_t>(material)] != -1;
  }

  static constexpr int kObjectChunk = 4096;
  static constexpr size_t kMinObjectsPerThread = 64;
  static constexpr size_t kCopiedMeshBytes = size_t{64} << 10;
  const WScene& scene_;
  WScene* const release_;
  const GltfWriteOptions& options_;
  GltfBuffer& data_;
#if VELLMAR_MESHOPT
  GltfUvGrid uv_grid_;
#endif
  bool any_uv_grid_ = false;  // some mesh stores texture coordinates on the grid
  size_t fallback_size_ = 0;  // the decoded bytes of the compressed views
  tinygltf::Model model_;  // the few top members
  GltfImages images_;                  // kept until the buffer is written
  std::vector<PlacedObject::View> image_views_;
  std::vector<int> material_texture_;  // per material: its texture, or -1
  std::vector<PlacedObject> placed_;   // per object
  int next_mesh_ = 0;                  // the meshes and views placed so far
  int next_view_ = 0;
};

// A 32-bit word as the container stores it: little-endian.
std::array<char, 4> WordBytes(uint32_t word) {
  return {static_cast<char>(word & 0xFF), static_cast<char>((word >> 8) & 0xFF),
          static_cast<char>((word >> 16) & 0xFF), static_cast<char>(word >> 24)};
}

void PutWord(TextOutput& out, uint32_t word) {
  const std::array<char, 4> bytes = WordBytes(word);
  out.Put(std::string_view(bytes.data(), bytes.size()));
}

void OverwriteWord(TextOutput& out, size_t offset, uint32_t word) {
  const std::array<char, 4> bytes = WordBytes(word);
  out.Overwrite(offset, std::string_view(bytes.data(), bytes.size()));
}

// The binary container: a 12-byte head, the JSON chunk padded with blanks
// and the buffer chunk padded with zeros to 4 bytes. The JSON is written
// straight to the file, and the head's lengths filled in once it is;
// false when the file would pass the 32 bits its lengths are counted in.
bool PutGlb(TextOutput& out, GltfDocument& document, const GltfBuffer& data) {
  const auto padded = [](size_t n) { return (n + 3) & ~size_t{3}; };
  PutWord(out, 0x46546C67u);  // "glTF"
  PutWord(out, 2);
  PutWord(out, 0);  // the file's length, filled in below
  PutWord(out, 0);  // the JSON's length, likewise
  PutWord(out, 0x4E4F534Au);  // "JSON"
  const size_t json_start = out.Written();
  document.WriteJson(out, "", -1);
  const size_t json_size = out.Written() - json_start;
  const size_t json_length = padded(json_size);
  const size_t bin_length = padded(data.size());
  const size_t total = 12 + 8 + json_length + (data.empty() ? 0 : 8 + bin_length);
  if (total > 0xFFFFFFFFu) return false;
  out.Put(std::string(json_length - json_size, ' '));
  if (!data.empty()) {
    PutWord(out, static_cast<uint32_t>(bin_length));
    PutWord(out, 0x004E4942u);  // "BIN"
    data.Put(out);
    out.Put(std::string(bin_length - data.size(), '\0'));
  }
  OverwriteWord(out, 8, static_cast<uint32_t>(total));
  OverwriteWord(out, 12, static_cast<uint32_t>(json_length));
  return true;
}

// Runs write, turning what the libraries throw into a failure.
template <class Write>
WriteResult Guarded(Write&& write) {
  try {
    return write();
  } catch (const std::bad_alloc&) {
    return WriteResult::Failure(ENOMEM);
  } catch (const std::exception&) {
    return WriteResult::Failure(EINVAL);
  }
}

WriteResult BuildDocument(GltfDocument& document, const GltfWriteOptions& options) {
#if !VELLMAR_MESHOPT
  if (options.compress) return WriteResult::Failure(ENOTSUP);  // compression needs meshoptimizer
#else
  static_cast<void>(options);
#endif
  if (document.Build()) return WriteResult::Written();
  return WriteResult::Failure(ERANGE);  // a coordinate, normal, texture coordinate or colour that is not finite
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

namespace {

// The writes, from a scene that the document reads, and that it may use up
// object by object when release is that scene.
WriteResult WriteGlb(const char* path, const WScene& scene, WScene* release, const GltfWriteOptions& options) {
  return Guarded([&]() -> WriteResult {
    GltfBuffer data;
    GltfDocument document(scene, release, options, data);
    if (const WriteResult built = BuildDocument(document, options); !built) return built;
    // The whole file, chunk heads and padding included, is counted in 32 bits.
    if (data.size() > 0xFFFFFFFFu - 64u) return WriteResult::Failure(EFBIG);
    TextOutput glb;
    bool fits = true;
    const WriteResult staged =
        StageWholeFile(glb, path, "wb", [&](TextOutput& out) { fits = PutGlb(out, document, data); });
    if (!staged) return staged;
    if (!fits) {
      glb.Discard();
      return WriteResult::Failure(EFBIG);
    }
    return glb.Commit();
  });
}

WriteResult WriteGltf(const char* path, const WScene& scene, WScene* release, const GltfWriteOptions& options) {
  return Guarded([&]() -> WriteResult {
    const std::string buffer_path = GltfBufferPath(path);
    // The buffer would replace the file that names it.
    if (buffer_path == path) return WriteResult::Failure(EINVAL);
    GltfBuffer data;
    GltfDocument document(scene, release, options, data);
    if (const WriteResult built = BuildDocument(document, options); !built) return built;
    const std::string uri = FileUri(FileName(buffer_path.c_str()));
    // Both files are complete before either replaces anything.
    TextOutput gltf;
    const WriteResult staged = StageWholeFile(gltf, path, "wb", [&](TextOutput& out) {
      document.WriteJson(out, uri, 2);
      out.Put("\n");
    });
    if (!staged) return staged;
    if (data.empty()) return gltf.Commit();
    TextOutput bin;
    const WriteResult bin_staged = StageWholeFile(bin, buffer_path.c_str(), "wb", [&](TextOutput& out) {
      data.Put(out);
    });
    if (!bin_staged) {
      gltf.Discard();
      return bin_staged;
    }
    return gltf.CommitWith(bin);
  });
}

}  // namespace

WriteResult WriteGlbFile(const char* path, const WScene& scene, const GltfWriteOptions& options) {
  return WriteGlb(path, scene, nullptr, options);
}

WriteResult WriteGltfFile(const char* path, const WScene& scene, const GltfWriteOptions& options) {
  return WriteGltf(path, scene, nullptr, options);
}

WriteResult WriteGlbFile(const char* path, WScene&& scene, const GltfWriteOptions& options) {
  DropFaceSideLines(scene);
  return WriteGlb(path, scene, &scene, options);
}

WriteResult WriteGltfFile(const char* path, WScene&& scene, const GltfWriteOptions& options) {
  DropFaceSideLines(scene);
  return WriteGltf(path, scene, &scene, options);
}
