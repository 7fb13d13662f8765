// The glTF form of one object: vertex arrays in which every vertex carries
// one position, normal, texture coordinate and colour, and primitives that
// index them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "w_lib/w_scene.h"

// glTF primitive modes.
constexpr int kGltfLines = 1;
constexpr int kGltfTriangles = 4;

struct GltfPrimitive {
  int mode = kGltfTriangles;
  int material = -1;  // scene material index; -1 none
  std::vector<uint32_t> indices;
};

struct GltfMesh {
  // Per vertex: x y z; x y z; u v; r g b a. An attribute the object does not
  // have is left empty: normals when no corner names one, texture
  // coordinates likewise, colours when every corner is white or names none.
  std::vector<float> positions;
  std::vector<float> normals;
  std::vector<float> uvs;
  std::vector<float> colors;
  // Triangles by material in material order (no material first), then one
  // primitive of lines.
  std::vector<GltfPrimitive> primitives;

  size_t VertexCount() const { return positions.size() / 3; }
};

// Builds the mesh of object, which belongs to scene as the library formats'
// passes leave it (faces counter-clockwise seen from outside, attribute
// records welded). object is not changed: positions and normals go through
// its world matrix as FreezeTransforms would move them, and polygons are cut
// into triangles by TriangulateObject on small copies of a few at a time.
// Two-corner faces and loose lines (lines that are no face's side) become
// the lines primitive. A
// vertex is split wherever its corners differ in normal, texture coordinate
// or colour; vertices that no corner uses are left out. A normal that names
// nothing or has no length is written as (0, 1, 0); a texture coordinate
// that names nothing as (0, 0); a colour that names nothing as white, and
// colours are clamped to 0..1. Faces and lines that name a vertex outside
// the object are left out; a face material outside the scene's list counts
// as none. False, leaving mesh unspecified, when a written number is not
// finite.
bool BuildGltfMesh(const WScene& scene, const WObject& object, GltfMesh& mesh);
