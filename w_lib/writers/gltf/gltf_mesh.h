// The glTF form of one object: vertex arrays in which every vertex carries
// one position, normal, texture coordinate and colour, and primitives that
// index them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "w_lib/w_scene.h"

// glTF primitive modes.
constexpr int kGltfLines = 1;
constexpr int kGltfTriangles = 4;

struct GltfPrimitive {
  int mode = kGltfTriangles;
  int material = -1;  // scene material index; -1 none
  std::vector<uint32_t> indices;
  // Triangles: how many of the first indices are in the order that
  // OrderGltfMesh gives them already (whole runs, ordered while the mesh
  // was built).
  size_t ordered = 0;
};

// Orders the triangles of a run of a triangle primitive's indices as
// OrderGltfMesh orders each of its runs: runs of `run` indices from the
// start of each primitive, passed to order as soon as the mesh's build has
// made them, on another thread, so that ordering overlaps the build.
struct GltfRunOrder {
  using Orderer = std::function<void(uint32_t* indices, size_t count)>;
  size_t run = 0;  // indices, a multiple of 3
  // Makes an orderer for one thread, which keeps its working lists from one
  // run to the next.
  std::function<Orderer()> make_orderer;
};

struct GltfMesh {
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // The vertex arrays one after another in a single block, sized exactly,
  // so that the file writer takes each from where it lies: x y z per vertex
  // at 0; then, where present, x y z at normals, u v at uvs and r g b a at
  // colors (offsets in floats). An attribute the object does not have is
  // kNone: normals when no corner names one, texture coordinates likewise,
  // colours when every corner is white or names none.
  std::vector<float> attributes;
  size_t vertex_count = 0;
  size_t normals = kNone;
  size_t uvs = kNone;
  size_t colors = kNone;
  // Triangles by material in material order (no material first), then one
  // primitive of lines.
  std::vector<GltfPrimitive> primitives;

  size_t VertexCount() const { return vertex_count; }
  const float* Positions() const { return attributes.data(); }
  const float* Normals() const { return normals == kNone ? nullptr : attributes.data() + normals; }
  const float* Uvs() const { return uvs == kNone ? nullptr : attributes.data() + uvs; }
  const float* Colors() const { return colors == kNone ? nullptr : attributes.data() + colors; }
};

// Builds the mesh of object, which belongs to scene as the library formats'
// passes leave it (faces counter-clockwise seen from outside, attribute
// records welded). object is not changed: positions and normals go through
// its world matrix as FreezeTransforms would move them, and polygons are cut
// into triangles as TriangulateObject cuts them (quads that its first try
// takes directly, the rest on small copies of a few at a time). Two-corner
// faces and loose lines (lines that are no face's side) become the lines
// primitive.
//
// A vertex is split wherever its corners differ in texture coordinate or
// colour record, or in normal. Normals are compared as they are written:
// unit length, in float, each component rounded to a whole multiple of
// 2^-20 (kGltfNormalStep); two corners share a vertex when no component
// differs by more than one step, so that normals a few units in the last
// place apart (what smoothing leaves between the corners of one vertex) are
// welded, while any visible difference still splits. The vertex takes the
// normal of its first corner. Vertices that no corner uses are left out. A
// normal that names nothing or has no length is written as (0, 1, 0); a
// texture coordinate that names nothing as (0, 0); a colour that names
// nothing as white, and colours are clamped to 0..1. Faces and lines that
// name a vertex outside the object are left out; a face material outside
// the scene's list counts as none. False, leaving mesh unspecified, when a
// written number is not finite.
constexpr double kGltfNormalStep = 1.0 / 1048576.0;
// run_order, when given, orders the triangle primitives' whole runs as they
// are made (see GltfRunOrder); the mesh is the same as without it once
// OrderGltfMesh has ordered the rest.
bool BuildGltfMesh(const WScene& scene, const WObject& object, GltfMesh& mesh,
                   const GltfRunOrder* run_order = nullptr);
// The same mesh from an object of scene that is no longer needed: each of
// its arrays is let go as soon as the mesh no longer reads it (vertices
// once their positions are packed in their own block, normals once they
// are copied, faces and lines once the triangles are made), so that a large
// object and its mesh are never held whole at once.
// The object ends without geometry; its name stays.
bool BuildGltfMeshReleasing(const WScene& scene, WObject& object, GltfMesh& mesh,
                            const GltfRunOrder* run_order = nullptr);

// The orders that OrderGltfMesh gives a mesh's triangles.
enum class GltfMeshOrder {
  kVertexCache,  // the fewest vertex shader runs (meshoptimizer's vertex cache optimiser)
  kStrips,       // runs of neighbouring triangles, which compress smaller (its variant for strips)
};
// Triangles that OrderGltfMesh orders on their own, at most: in runs of
// this many for the vertex cache, and of 16 times as many in strips, whose
// files shrink with the length of their runs.
constexpr size_t kGltfOrderChunkTriangles = size_t{1} << 16;
constexpr size_t kGltfStripChunkTriangles = size_t{1} << 20;
// Reorders mesh for drawing: the triangles of each triangle primitive in
// runs of the size above, each ordered on its own (on the machine's
// threads; the runs depend on the mesh alone), then the vertices in the
// order in which the triangle primitives, one after the other, then the
// lines first use them, every attribute alike. Lines keep their order.
// The runs before a primitive's `ordered` count are taken as ordered.
// Triangles keep their corners' order; what is drawn does not change. Only
// in builds with meshoptimizer (VELLMAR_MESHOPT).
void OrderGltfMesh(GltfMesh& mesh, GltfMeshOrder order);
// The runs and their order as OrderGltfMesh makes them, for BuildGltfMesh.
GltfRunOrder GltfRunOrderOf(GltfMeshOrder order);
