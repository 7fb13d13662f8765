// The edits that the writers make to their working copies of a scene
// before they write it. Each has an object form and a scene-wide form that
// applies it to every object in index order.
#pragma once

#include <vector>

#include "w_lib/w_scene.h"

// Calls edit(object) on every object of scene in index order: the scene-wide
// form of an object edit.
template <class ObjectEdit>
void ForEachObject(WScene& scene, ObjectEdit edit) {
  for (int o = 0; o < scene.onum; ++o) edit(scene.objects[o]);
}

// Mask bit of FlipUvs: u := 1 - u.
constexpr unsigned kFlipU = 0x100;
// Mask bit of FlipUvs: v := 1 - v.
constexpr unsigned kFlipV = 0x200;

// Mirrors every texture coordinate record of the object within the unit
// square; other mask bits do nothing.
void FlipUvs(WObject& object, unsigned mask);
void FlipUvs(WScene& scene, unsigned mask);

// Removes the lines that faces name as their sides and compacts the object:
// loose lines survive, every side index becomes -1. An object without
// vertices is left alone.
void DropFaceEdges(WObject& object);
void DropFaceEdges(WScene& scene);

// Turns every line into a two-corner face over its two vertices (no
// material, no other corner attributes), appended in line order, and leaves
// the object without lines.
void LinesToFaces(WObject& object);
void LinesToFaces(WScene& scene);

// Applies the world matrix of the object's transform (as the last matrix
// update left it) to its geometry: positions as points (x, y, z, 1) with the
// division by w when w > 0.0001; face, corner and record normals as
// directions (without the translation row), normalised. Then resets the
// transform to identity matrices, zero translations and rotations, unit
// scales.
void FreezeTransforms(WObject& object);
void FreezeTransforms(WScene& scene);

// Removes the faces and lines that name a vertex outside their object (and
// compacts it when there were any). The .mqo and DXF writers run it on their
// working copies right after dropping the face edges: such an element has no
// position to write, and an index written as it is would make a file that
// names vertices it lacks.
bool DropDanglingGeometry(WObject& object);
bool DropDanglingGeometry(WScene& scene);

// Copies of the faces of exactly two corners of every object, per object
// index and in face order. Writers that triangulate take them before the
// triangulation removes them: in the host's documents they are edges, and
// are written as such.
using TwoCornerFaces = std::vector<std::vector<WFace>>;
TwoCornerFaces KeepTwoCornerFaces(const WScene& scene);
// Cuts the polygons of more than four corners into triangles
// (TriangulateScene, quadrilaterals kept) and returns the two-corner faces
// that it removes, as KeepTwoCornerFaces takes them. The lines that the
// triangulation adds for its ears are taken away again: a conversion adds
// no geometry, and each object keeps only its own lines.
TwoCornerFaces TriangulateKeepingEdges(WScene& scene);

// Splits every vertex whose corners use different texture coordinates (vt)
// or colours (vc): the first value met at a vertex keeps the vertex, every
// further distinct value gets a full copy of it appended, vertex by vertex
// and in order of first appearance (-1 counts as a value). Then every corner
// with a valid index copies its record into its vertex's uv or col. Corners
// whose vertex index is out of range are left alone. Linear in the corners.
bool SplitVerticesByUv(WObject& object);
bool SplitVerticesByColor(WObject& object);
bool SplitVerticesByUv(WScene& scene);
bool SplitVerticesByColor(WScene& scene);
// SplitVerticesByUv then SplitVerticesByColor, with the same result, growing
// the vertex block once instead of twice.
bool SplitVerticesByUvAndColor(WObject& object);
bool SplitVerticesByUvAndColor(WScene& scene);

// Per vertex of an object, the texture-coordinate and colour record that
// SplitVerticesByUvAndColor copies into it, or -1 where it leaves the
// vertex's own value.
struct VertexRecords {
  std::vector<int> uv;
  std::vector<int> color;

  // The values that SplitVerticesByUvAndColor leaves in vertex v of o.
  const WUv& Uv(const WObject& o, int v) const {
    const int t = uv[static_cast<size_t>(v)];
    return t >= 0 ? o.uvs[t] : o.vertices[v].uv();
  }
  const WColor& Color(const WObject& o, int v) const {
    const int c = color[static_cast<size_t>(v)];
    return c >= 0 ? o.colors[c].col : o.vertices[v].col();
  }
};
// SplitVerticesByUvAndColor for a writer that reads the values once: the
// same vertices and corners, but the values are named rather than copied
// into every vertex, which would then hold a block of its own for them.
VertexRecords SplitVerticesNamingRecords(WObject& object);

// Converts every name of the scene (objects, materials, texture paths,
// cameras, lights, pars) from the scene's code page to UTF-8, a byte that
// is no character becoming U+FFFD, and marks the scene's names UTF-8.
// Names already in UTF-8 stay as they are when they are valid.
void NamesToUtf8(WScene& scene);
