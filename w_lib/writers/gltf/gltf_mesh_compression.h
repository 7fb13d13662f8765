// A glTF mesh in the compressed form of --compress: attributes quantised
// to integers (KHR_mesh_quantization) and every array encoded by
// meshoptimizer's codecs (EXT_meshopt_compression).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "w_lib/w_scene.h"
#include "w_lib/writers/gltf/gltf_mesh.h"

// Positions: integers of 14 bits in unsigned 16-bit components, on a grid
// of one step for all three axes (the mesh's largest extent over 2^14 - 1),
// from the mesh's lowest corner; the node's scale and translation restore
// them. A position is at most half a step off.
constexpr int kGltfPositionBits = 14;
// Normals: octahedral, 8 bits a component. Colours: unsigned bytes.
constexpr int kGltfNormalBits = 8;
// Texture coordinates: unsigned 16-bit integers in steps of 2^-12 from a
// whole-number offset, on one grid for the whole file (the texture
// transform that restores them belongs to the materials, which meshes
// share). A coordinate is at most 2^-13 off.
constexpr int kGltfUvFractionBits = 12;

// The file's grid of texture coordinates.
struct GltfUvGrid {
  // False when the coordinates span 16 units or more, or there are none:
  // then they stay floats.
  bool quantized = false;
  float offset[2] = {0.0f, 0.0f};  // whole numbers
  static constexpr double kStep = 1.0 / (1 << kGltfUvFractionBits);
};
// The grid for every texture coordinate record of the scene's objects.
GltfUvGrid ChooseGltfUvGrid(const WScene& scene);

// One encoded array: a buffer view of EXT_meshopt_compression.
struct GltfEncodedView {
  enum Mode { kAttributes, kTriangles, kIndices };
  std::vector<unsigned char> bytes;  // as the codec wrote them
  size_t count = 0;                  // elements: vertices or indices
  size_t stride = 0;                 // bytes an element once decoded
  Mode mode = kAttributes;
  bool octahedral = false;  // decoded through the octahedral filter
};

struct GltfCompressedMesh {
  // The node's transform: a stored position q stands for
  // translation + scale * q.
  double translation[3] = {0.0, 0.0, 0.0};
  double scale = 1.0;
  // The stored positions' bounds, exact.
  int low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
  bool uv_floats = false;  // texture coordinates kept as floats
  // Positions (x y z and a zero, unsigned 16-bit), then where the mesh has
  // them normals (octahedral bytes), texture coordinates (unsigned 16-bit,
  // or floats) and colours (unsigned bytes, normalised), then each
  // primitive's indices (16-bit when short_indices, else 32-bit).
  std::vector<GltfEncodedView> views;
};

// Quantises and encodes mesh, whose vertex arrays are let go as soon as
// they are encoded. The mesh's positions lie within low and high.
void CompressGltfMesh(GltfMesh& mesh, const double low[3], const double high[3], const GltfUvGrid& uv_grid,
                      bool short_indices, GltfCompressedMesh& compressed);
// The octahedral form of a unit normal as the filter of
// EXT_meshopt_compression decodes it: x and y of the octahedron in bits
// (at most 8) signed, then the filter's one, then 0.
void EncodeOctahedral(float x, float y, float z, int bits, int8_t out[4]);
// Sets the codecs' format versions that the extension reads: once, before
// any mesh is compressed.
void PrepareGltfCodecs();
