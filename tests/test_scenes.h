// Small named scenes for the tests, built through the scene model's own
// add operations.
#pragma once

#include <initializer_list>

#include "w_lib/w_scene.h"

// Adds a vertex at (x, y, z); returns its index.
int AddVertexAt(WObject& obj, float x, float y, float z);
// Adds a face over the given vertex indices; returns its index.
int AddFaceOver(WObject& obj, std::initializer_list<int> corners, int material = -1);
// Gives every corner of face f its own new texture coordinate from (u, v) pairs.
void SetFaceUvs(WObject& obj, int f, std::initializer_list<float> uv_pairs);

// A unit cube of 8 vertices and 6 outward quads, all of material 0, in a
// scene with one material "cube".
WScene MakeCube();
// Two unit quads side by side sharing the edge x = 1 (vertices 1 and 4 ...),
// with material 0 that has a texture, each corner with its own uv record.
// When seam is true the quads' uvs differ at the shared vertices.
WScene MakeTexturedQuads(bool seam);
