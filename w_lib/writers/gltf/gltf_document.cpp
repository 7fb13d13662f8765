// The glTF document's meshes: each object's mesh built on the machine's
// threads (ordered and compressed as the options ask), then its arrays
// placed in the buffer and its views numbered, in the objects' order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "w_lib/util/parallel.h"
#include "w_lib/writers/gltf/gltf_document.h"

#ifndef VELLMAR_VERSION
#define VELLMAR_VERSION "0"
#endif

// False when a number to write is not finite.
bool GltfDocument::Build() {
  model_.asset.version = "2.0";
  model_.asset.generator = std::string("Vellmar ") + VELLMAR_VERSION;
#if VELLMAR_MESHOPT
  if (!options_.keep_order) run_order_ = GltfRunOrderOf(MeshOrder());
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

// Checks the materials' colours and gives each image that they use a
// texture, in the order of the images (the order the materials first
// name them).
bool GltfDocument::PlaceMaterials() {
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
void GltfDocument::PlaceImages() {
  for (size_t k = 0; k < images_.images.size(); ++k) {
    const std::vector<unsigned char>& bytes = images_.images[k].bytes;
    image_views_.push_back(PlacedObject::View{data_.Add(bytes.data(), bytes.size(), false), bytes.size()});
    model_.images[k].bufferView = next_view_ + static_cast<int>(k);
  }
}

// Objects [first, last): their meshes are built on the machine's
// threads, then placed in the buffer and numbered in order.
bool GltfDocument::PlaceObjects(int first, int last) {
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
void GltfDocument::Build(int object, BuiltMesh& made) const {
  const GltfRunOrder* runs = run_order_.make_orderer ? &run_order_ : nullptr;
  made.finite = release_ ? BuildGltfMeshReleasing(scene_, release_->objects[object], made.mesh, runs)
                         : BuildGltfMesh(scene_, scene_.objects[object], made.mesh, runs);
  GltfMesh& mesh = made.mesh;
  if (!made.finite || mesh.primitives.empty()) return;
#if VELLMAR_MESHOPT
  if (!options_.keep_order)
    OrderGltfMesh(mesh, MeshOrder());
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
void GltfDocument::Place(const WObject& object, BuiltMesh& made) {
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
void GltfDocument::PlaceCompressed(PlacedObject& placed, BuiltMesh& made) {
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
