// Small named scenes for the tests, built through the scene model's own
// add operations.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "w_lib/w_scene.h"

// Adds a material of colour col, textured by the file texture unless it is
// null; returns its index.
int AddMaterialOf(WScene& scene, const char* name, WColor col, const char* texture = nullptr);
// Adds a vertex at (x, y, z); returns its index.
int AddVertexAt(WObject& obj, float x, float y, float z);
// Adds an object with vertices at the given points; returns it (valid until
// the next object is added).
WObject& AddObjectAt(WScene& scene, const char* name, std::initializer_list<WVector> points = {});
// Adds an object "flower" with one face of n corners in the plane z = 0:
// every other corner on the centre, the others on a circle of radius 1000
// (a point that every other corner comes back to); returns it. The face's
// normal is left unset.
WObject& AddFlowerAt(WScene& scene, int n);
// Adds an object "axis flower" with one face of n corners at whole
// coordinates of the plane z = 0, which the side test takes exactly: every
// other corner on the centre, the others the tips of petals along the axes
// and the diagonals between them, turning counter-clockwise and one unit
// longer every eight petals. Reversed, the corners run the other way round,
// from the last tip. The face's normal is left unset.
WObject& AddAxisFlowerAt(WScene& scene, int n, bool reversed);
// Adds an object "spiral" with one face of n (even) corners in the plane
// z = 0: a strip five units wide wound outwards, a corner every tenth of a
// radian, out along one side and back along the other (reversed: the other
// way round). The face's normal is left unset.
WObject& AddSpiralAt(WScene& scene, int n, bool reversed);
// Adds a face over the given vertex indices; returns its index.
int AddFaceOver(WObject& obj, std::initializer_list<int> corners, int material = -1);
// Adds a line from vertex a to vertex b; returns its index.
int AddLineBetween(WObject& obj, int a, int b);
// Add a texture coordinate, normal record or colour record with the given
// value; each returns the new record's index.
int AddUvAt(WObject& obj, float u, float v);
int AddNormalAlong(WObject& obj, WVector normal);
int AddColorOf(WObject& obj, WColor col);
// Adds an influence of bone with the given weight to the vertex.
void AddWeight(WVertex& vertex, int bone, float weight);
// Gives every corner of face f its own new texture coordinate from (u, v) pairs.
void SetFaceUvs(WObject& obj, int f, std::initializer_list<float> uv_pairs);
// The corner arrays of a face beside v, for reading and for writing: e, vt,
// vn or vc.
using CornerArray = const int* (WFace::*)() const;
using WritableCornerArray = int* (WFace::*)();
// The vertex indices of a face: &WFace::v.
using VertexArray = WCornerIndexStore WCornerBlocks::*;

// Sets one corner array (v, e, vt, vn or vc) of face f to the given values;
// e is made when the face has none.
void SetCorners(WObject& obj, int f, VertexArray array, std::initializer_list<int> values);
void SetCorners(WObject& obj, int f, WritableCornerArray array, std::initializer_list<int> values);

// Gives corner k of the face distinct attributes: vt 10 + k, vn 20 + k,
// vc 30 + k, corner normal (k, 0, 0) and corner colours (k, 0, 0, 1) and
// (0, k, 0, 1).
void MarkCorners(WFace& face);

// One corner array of a face, in corner order; an e that the face does not
// hold reads as -1 on every side.
std::vector<int> Corners(const WFace& face, VertexArray array = &WFace::v);
std::vector<int> Corners(const WFace& face, CornerArray array);
// The vertex pairs of an object's lines from line `from` on.
std::vector<std::pair<int, int>> LinesOf(const WObject& obj, int from = 0);

// Objects o0 .. o<n-1> without geometry, each the child of the one before.
WScene MakeChain(int n);
// A unit cube of 8 vertices and 6 outward quads, all of material 0, in a
// scene with one material "cube".
WScene MakeCube();
// Two unit quads side by side sharing the edge x = 1 (vertices 1 and 4 ...),
// with material 0 that has a texture, each corner with its own uv record.
// When seam is true the quads' uvs differ at the shared vertices.
WScene MakeTexturedQuads(bool seam);

// One triangle "tri" of material "m" (colour 0.5, 0.25, 1, 0.75), textured
// with C:\maps\wood.bmp, with one normal, one colour and three uv records
// referenced from its corners, as the export passes leave a scene.
WScene MakeTexturedTriangle();
// No materials. Object "quad": five vertices, a quad without material, a
// triangle of material 5 (not in the list) and a triangle of material 0;
// no normals, colours or uvs. Object "empty": no vertices, one face.
WScene MakeUnassignedFaces();
// Material "m" (untextured) and objects top (root, no vertices, a transform
// and keys), leaf (child of mid, one triangle with a normal), mid (child of
// top), stray (parent 7, out of range), other (root) and loop (its own
// parent), in that index order.
WScene MakeHierarchy();
// No materials. Object "skin" with three vertices weighted to "bone1" and
// "bone2" (roots without vertices), with weights at and above the 0.00001
// threshold, a repeated bone and bones that name no object.
WScene MakeWeightedSkin();

// A quad over vertices 0..3 whose four sides name lines 0..3, and a loose
// line 4 from vertex 2 to vertex 5.
WScene MakeQuadWithEdges();
