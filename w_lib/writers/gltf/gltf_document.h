// The glTF document as the file writers build it: each object's mesh built
// and its arrays placed in the buffer (gltf_document.cpp), then the JSON
// written straight to the file (gltf_json.cpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "w_lib/util/code_page.h"
#include "w_lib/writers/gltf/gltf_buffer.h"
#include "w_lib/writers/gltf/gltf_images.h"
#include "w_lib/writers/gltf/gltf_mesh.h"
#if VELLMAR_MESHOPT
#include "w_lib/writers/gltf/gltf_mesh_compression.h"
#endif
#include "w_lib/writers/gltf/json_writer.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

// After every other header: tinygltf includes the JSON library with hidden
// visibility, which on targets without symbol visibility would also hide the
// standard headers it pulls in first, and with them the types of our fields.
// Only the writer is used, and it must never read or write an image file.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>

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
  GltfDocument(const WScene& scene, WScene* release, const WriterOptions& options, GltfBuffer& data)
      : scene_(scene), release_(release), options_(options), data_(data) {}

  // False when a number to write is not finite.
  bool Build();

  // The JSON text, its buffer named by uri (a .gltf file) or by none (the
  // binary chunk of a .glb file). indent as nlohmann::json::dump takes it
  // (-1: on one line). The few top members are serialised as tinygltf
  // serialises them; the long arrays are written here.
  void WriteJson(TextOutput& out, const std::string& uri, int indent);

 private:
  std::string Utf8(const char* name) const { return NameAsUtf8(name, scene_.utf8_names); }

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

  // Checks the materials' colours and gives each image that they use a
  // texture, in the order of the images (the order the materials first
  // name them).
  bool PlaceMaterials();

  // The images' bytes go into the buffer after every mesh's arrays, each in
  // a view of its own, numbered after the meshes' views.
  void PlaceImages();

  // Objects [first, last): their meshes are built on the machine's
  // threads, then placed in the buffer and numbered in order.
  bool PlaceObjects(int first, int last);

  // On any thread.
  void Build(int object, BuiltMesh& made) const;

  // Names the object's mesh and puts its arrays in the buffer, in the
  // objects' order. A small mesh's arrays are copied, and the mesh let go;
  // a large one's stay where they are, kept by the buffer.
  void Place(const WObject& object, BuiltMesh& made);
#if VELLMAR_MESHOPT
  // The encoded views are copied into the buffer, and the mesh let go.
  void PlaceCompressed(PlacedObject& placed, BuiltMesh& made);
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

  // The JSON arrays (gltf_json.cpp).
  // The elements of the arrays, each object's formatted apart on the
  // machine's threads: an element at index i of its array is preceded by
  // the separator when i > 0, and pushed in to its place (the second level).
  static JsonWriter Element(TextOutput& to, int index, int indent);
  void WriteViews(TextOutput& out, int indent);
  // A view of decoded bytes in the fallback buffer, with the encoded bytes'
  // place in the buffer. Vertex views give their stride (always a multiple
  // of 4, as glTF asks of vertex attributes).
  static void WriteCompressedView(JsonWriter& w, const PlacedObject::View& view, int target);
  void WriteAccessors(TextOutput& out, int indent);
  // On one thread: names are made UTF-8 as they are written.
  void WriteMaterials(TextOutput& out, int indent);
  // The texture transform that takes the stored integers of the texture
  // coordinates' grid to the coordinates.
  void WriteUvTransform(JsonWriter& w) const;
  void WriteMeshes(TextOutput& out, int indent);
  void WriteNodes(TextOutput& out, int indent);

#if VELLMAR_MESHOPT
  GltfMeshOrder MeshOrder() const { return options_.compress ? GltfMeshOrder::kStrips : GltfMeshOrder::kVertexCache; }
#endif

  bool HasTexture(int material) const {
    return material >= 0 && static_cast<size_t>(material) < material_texture_.size() &&
           material_texture_[static_cast<size_t>(material)] != -1;
  }

  static constexpr int kObjectChunk = 4096;
  static constexpr size_t kMinObjectsPerThread = 64;
  static constexpr size_t kCopiedMeshBytes = size_t{64} << 10;
  const WScene& scene_;
  WScene* const release_;
  const WriterOptions& options_;
  GltfBuffer& data_;
  GltfRunOrder run_order_;  // none when the meshes keep their order
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
