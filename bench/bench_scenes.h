// Large scenes for the benchmarks.
#pragma once

#include <new>

#include "w_lib/w_scene.h"

// A scene of one object, "grid", and one material, "grid", that shows the
// texture of that name.
inline WScene GridScene(const char* texture) {
  WScene scene;
  const int m = scene.AddMaterial("grid");
  scene.materials[m].tex = scene.AddTexture(texture);
  scene.AddObject("grid");
  return scene;
}

// Room for the grid's vertices, faces, texture coordinates and normals.
inline void ReserveGrid(WObject& obj, int vertices, int faces, int uvs, int normals) {
  if (!obj.ReserveVertices(vertices) || !obj.ReserveFaces(faces) || !obj.ReserveUvs(uvs) ||
      !obj.ReserveNormals(normals))
    throw std::bad_alloc();
}

// One object: a side x side grid of quads in the plane z = 0, one textured
// material, and a texture coordinate per corner as a host document gives
// them. With seam, the middle column of quads carries its own u range, so
// welding leaves a seam down the grid.
inline WScene MakeTexturedGrid(int side, bool seam) {
  WScene scene = GridScene("grid.bmp");
  const int m = 0;
  WObject& obj = scene.objects[0];
  const int row = side + 1;
  ReserveGrid(obj, row * row, side * side, 4 * side * side, 0);
  for (int y = 0; y <= side; ++y)
    for (int x = 0; x <= side; ++x) {
      const int v = obj.AddVertex();
      obj.vertices[v].pos = WVector(static_cast<float>(x), static_cast<float>(y), 0.0f);
    }
  const float step = 1.0f / static_cast<float>(side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const int f = obj.AddFace(4);
      WFace& face = obj.faces[f];
      const int corner[4] = {y * row + x, y * row + x + 1, (y + 1) * row + x + 1, (y + 1) * row + x};
      const int dx[4] = {0, 1, 1, 0};
      const int dy[4] = {0, 0, 1, 1};
      const float shift = (seam && x == side / 2) ? 0.5f : 0.0f;
      face.material = m;
      for (int k = 0; k < 4; ++k) {
        face.v[k] = corner[k];
        const int t = obj.AddUv();
        obj.uvs[t].Set(static_cast<float>(x + dx[k]) * step + shift, static_cast<float>(y + dy[k]) * step);
        face.vt()[k] = t;
      }
    }
  return scene;
}

// A side x side grid of textured quads as the export passes leave it: one
// normal record, one texture coordinate and the shared colour record per
// vertex, referenced from every face corner; every face on the textured
// material 0.
inline WScene MakePreparedGrid(int side) {
  WScene scene = GridScene("C:\\maps\\grid.bmp");
  const int m = 0;
  WObject& obj = scene.objects[0];
  const int row = side + 1;
  ReserveGrid(obj, row * row, side * side, row * row, row * row);
  const float step = 1.0f / static_cast<float>(side);
  for (int y = 0; y <= side; ++y)
    for (int x = 0; x <= side; ++x) {
      const int v = obj.AddVertex();
      // Scaled by 0.01 and mirrored in x, as an export writes them.
      obj.vertices[v].pos = WVector(-0.01f * static_cast<float>(x), 0.01f * static_cast<float>(y), 0.0f);
      const int n = obj.AddNormal();
      obj.normals[n].normal = WVector(0.0f, 0.0f, -1.0f);
      const int t = obj.AddUv();
      obj.uvs[t].Set(static_cast<float>(x) * step, static_cast<float>(y) * step);
    }
  const int c = obj.AddColor();
  obj.colors[c].col = WColor(0.8f, 0.6f, 0.4f, 1.0f);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const int f = obj.AddFace(4);
      WFace& face = obj.faces[f];
      const int corner[4] = {y * row + x, (y + 1) * row + x, (y + 1) * row + x + 1, y * row + x + 1};
      face.material = m;
      for (int k = 0; k < 4; ++k) {
        face.v[k] = corner[k];
        face.vn()[k] = corner[k];
        face.vt()[k] = corner[k];
        face.vc()[k] = c;
      }
    }
  return scene;
}

// One object: a side x side grid of hexagons of six vertices each, with a
// texture coordinate per corner and their face normals. Every other one is
// convex; the rest are L-shaped, their reflex corner in the middle of the
// list. Each hexagon has its own vertices.
inline WScene MakeHexagonGrid(int side) {
  WScene scene;
  scene.AddMaterial("hex");
  const int o = scene.AddObject("hexagons");
  WObject& obj = scene.objects[o];
  const int count = side * side;
  if (!obj.ReserveVertices(6 * count)) throw std::bad_alloc();
  if (!obj.ReserveUvs(6 * count)) throw std::bad_alloc();
  if (!obj.ReserveFaces(count)) throw std::bad_alloc();
  const float convex[6][2] = {{1.0f, 0.0f}, {2.0f, 0.0f}, {2.5f, 0.9f}, {2.0f, 1.8f}, {1.0f, 1.8f}, {0.5f, 0.9f}};
  const float bent[6][2] = {{0.0f, 0.0f}, {2.0f, 0.0f}, {2.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 2.0f}, {0.0f, 2.0f}};
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const float(&shape)[6][2] = (x + y) % 2 == 0 ? convex : bent;
      const int f = obj.AddFace(6);
      obj.faces[f].material = 0;
      for (int k = 0; k < 6; ++k) {
        const int v = obj.AddVertex();
        obj.vertices[v].pos =
            WVector(3.0f * static_cast<float>(x) + shape[k][0], 3.0f * static_cast<float>(y) + shape[k][1], 0.0f);
        const int t = obj.AddUv();
        obj.uvs[t].Set(shape[k][0] * 0.4f, shape[k][1] * 0.5f);
        obj.faces[f].v[k] = v;
        obj.faces[f].vt()[k] = t;
      }
    }
  ComputeFaceNormals(scene);
  return scene;
}
