// Corner attribute records: dropping, purging, expanding and welding texture
// coordinates, colours and normals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "test_scenes.h"

namespace {

// Runs passes 4 to 6 of the export on every object.
void ShareUvs(WScene& scene) {
  DropUntexturedUvs(scene);
  PurgeUvs(scene);
  WeldUvs(scene);
}

// A fan of `spokes` triangles (0, i, i + 1) around vertex 0, untextured, with
// one uv record per corner: the corner at the centre of triangle t gets
// centre(t), the rim corners values of their own.
template <class Centre>
WObject Fan(int spokes, Centre centre) {
  WObject obj;
  for (int i = 0; i <= spokes + 1; ++i) AddVertexAt(obj, static_cast<float>(i), 0, 0);
  for (int t = 0; t < spokes; ++t) {
    const int f = AddFaceOver(obj, {0, t + 1, t + 2});
    const WUv c = centre(t);
    SetFaceUvs(obj, f, {c.u, c.v, 1000.0f + static_cast<float>(t), 1, 2000.0f + static_cast<float>(t), 2});
  }
  return obj;
}

}  // namespace

TEST(CornerUvs, QuadsSharingAnEdgeWeldWhereTheyAgree) {
  WScene scene = MakeTexturedQuads(false);
  ShareUvs(scene);
  const WObject& obj = scene.objects[0];
  ASSERT_EQ(obj.unum, 6);
  const WFace& a = obj.faces[0];  // 0 1 4 3
  const WFace& b = obj.faces[1];  // 1 2 5 4
  // First appearance order: a's four corners, then b's two new ones.
  for (int k = 0; k < 4; ++k) EXPECT_EQ(a.vt[k], k);
  EXPECT_EQ(b.vt[0], 1);
  EXPECT_EQ(b.vt[1], 4);
  EXPECT_EQ(b.vt[2], 5);
  EXPECT_EQ(b.vt[3], 2);
  EXPECT_EQ(obj.uvs[4].u, 1.0f);
  EXPECT_EQ(obj.uvs[4].v, 0.0f);
  EXPECT_EQ(obj.umax, 6);

  WScene seam = MakeTexturedQuads(true);
  ShareUvs(seam);
  EXPECT_EQ(seam.objects[0].unum, 8);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(seam.objects[0].faces[1].vt[k], 4 + k);
}

TEST(CornerUvs, UntexturedFacesLoseTheirs) {
  // Quad 0 keeps its uvs; quad 1 loses its material; four more faces have
  // no material, a material without texture, a material index and a texture
  // index out of range.
  WScene scene = MakeTexturedQuads(false);
  const int plain = scene.AddMaterial("plain");
  const int broken = scene.AddMaterial("broken");
  scene.materials[broken].tex = 5;
  WObject& obj = scene.objects[0];
  const int materials[4] = {-1, plain, 9, broken};
  for (int m : materials) {
    const int f = AddFaceOver(obj, {0, 1, 2}, m);
    SetFaceUvs(obj, f, {7, 7, 8, 8, 9, 9});
  }
  obj.faces[1].material = -1;
  ShareUvs(scene);
  EXPECT_EQ(obj.unum, 4);
  for (int f = 1; f < obj.fnum; ++f)
    for (int k = 0; k < obj.faces[f].num; ++k) EXPECT_EQ(obj.faces[f].vt[k], -1);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(obj.faces[0].vt[k], k);
}

TEST(CornerUvs, WeldMatchesExactValuesOnlyAroundOneVertex) {
  // Three corners at vertex 0: (0, 0), (-0, 0) and (0, 0) share the first's
  // record, since -0 == 0. NaNs equal nothing. Vertex 1 has the same value
  // as vertex 0 but keeps its own record.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  WObject obj;
  AddVertexAt(obj, 0, 0, 0);
  AddVertexAt(obj, 1, 0, 0);
  const int f = AddFaceOver(obj, {0, 0, 0, 1, 1, 0});
  SetFaceUvs(obj, f, {0, 0, -0.0f, 0, 0, 0, 0, 0, nan, 1, nan, 1});
  WeldUvs(obj);
  const WFace& face = obj.faces[f];
  EXPECT_EQ(obj.unum, 4);
  EXPECT_EQ(face.vt[0], 0);
  EXPECT_EQ(face.vt[1], 0);
  EXPECT_EQ(face.vt[2], 0);
  EXPECT_EQ(face.vt[3], 1);  // vertex 1
  EXPECT_EQ(face.vt[4], 2);
  EXPECT_EQ(face.vt[5], 3);
  EXPECT_EQ(obj.uvs[0].u, 0.0f);
  EXPECT_FALSE(std::signbit(obj.uvs[0].u));  // the first corner's record
}

TEST(CornerUvs, WeldAroundAFanCentreStaysExact) {
  // 3000 corners at the centre, cycling through 40 values, among them -0
  // and +0 (equal) and NaN (never equal).
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const auto centre = [nan](int t) {
    const int c = t % 40;
    if (c == 0) return WUv(t % 80 == 0 ? 0.0f : -0.0f, 5);
    if (c == 1) return WUv(nan, 5);
    return WUv(static_cast<float>(c), 5);
  };
  const int spokes = 3000;
  WObject obj = Fan(spokes, centre);
  WeldUvs(obj);
  // The centre: record of the first triangle with the same value; the NaN
  // corners keep records of their own. The rim: 2 corners per triangle,
  // all values distinct.
  const int nans = spokes / 40;
  EXPECT_EQ(obj.unum, 39 + nans + 2 * spokes);
  for (int t = 0; t < spokes; ++t) {
    const WFace& face = obj.faces[t];
    if (t % 40 == 1) continue;
    EXPECT_EQ(face.vt[0], obj.faces[t % 40].vt[0]) << t;
  }
  for (int t = 41; t < spokes; t += 40) EXPECT_NE(obj.faces[t].vt[0], obj.faces[1].vt[0]);
  // Triangle 40's -0 names triangle 0's +0.
  EXPECT_FALSE(std::signbit(obj.uvs[obj.faces[40].vt[0]].u));
}

TEST(CornerColors, ExpandGivesEveryCornerOneThenWeldOnePerVertex) {
  WScene scene = MakeTexturedQuads(false);
  WObject& obj = scene.objects[0];
  obj.faces[1].corner_colors[2] = WColor(1, 0, 0, 1);  // vertex 5
  obj.AddColor();  // an old record, replaced
  ExpandColors(obj);
  ASSERT_EQ(obj.cnum, 8);
  EXPECT_EQ(obj.cmax, 8);
  for (int f = 0; f < 2; ++f)
    for (int k = 0; k < 4; ++k) EXPECT_EQ(obj.faces[f].vc[k], 4 * f + k);
  EXPECT_EQ(obj.colors[6].col, WColor(1, 0, 0, 1));
  EXPECT_EQ(obj.colors[0].col, WColor(1, 1, 1, 1));

  WeldColors(obj);
  EXPECT_EQ(obj.cnum, 6);  // one per used vertex
  EXPECT_EQ(obj.faces[1].vc[0], obj.faces[0].vc[1]);
  EXPECT_EQ(obj.faces[1].vc[3], obj.faces[0].vc[2]);
  EXPECT_EQ(obj.colors[obj.faces[1].vc[2]].col, WColor(1, 0, 0, 1));

  // Without faces every record goes.
  WObject no_faces;
  no_faces.AddUv();
  no_faces.AddColor();
  no_faces.AddNormal();
  PurgeUvs(no_faces);
  ExpandColors(no_faces);
  ExpandNormals(no_faces);
  EXPECT_EQ(no_faces.unum + no_faces.cnum + no_faces.nnum, 0);
}

TEST(CornerNormals, CubeKeepsThreePerVertexAndASquareOne) {
  WScene cube = MakeCube();
  ComputeFaceNormals(cube);
  SmoothCornerNormals(cube);
  ExpandNormals(cube);
  EXPECT_EQ(cube.objects[0].nnum, 24);
  WeldNormals(cube);
  EXPECT_EQ(cube.objects[0].nnum, 24);
  // The faces at z = 0 and x = 0 meet at vertex 0 but keep their own.
  const WObject& obj = cube.objects[0];
  EXPECT_EQ(obj.normals[obj.faces[0].vn[0]].normal, WVector(0, 0, -1));
  EXPECT_EQ(obj.normals[obj.faces[4].vn[0]].normal, WVector(-1, 0, 0));

  // Two coplanar triangles forming a square: one record per vertex.
  WScene square;
  square.AddMaterial("m");
  const int o = square.AddObject("square");
  WObject& sq = square.objects[o];
  AddVertexAt(sq, 0, 0, 0);
  AddVertexAt(sq, 1, 0, 0);
  AddVertexAt(sq, 1, 1, 0);
  AddVertexAt(sq, 0, 1, 0);
  AddFaceOver(sq, {0, 1, 2}, 0);
  AddFaceOver(sq, {0, 2, 3}, 0);
  ComputeFaceNormals(square);
  SmoothCornerNormals(square);
  ExpandNormals(square);
  WeldNormals(square);
  ASSERT_EQ(sq.nnum, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sq.normals[i].normal, WVector(0, 0, 1));
}

TEST(CornerRecords, ObjectsWithoutVerticesAndBadIndices) {
  // No vertices: welding changes no index and deletes nothing.
  WObject empty;
  const int f = empty.AddFace(2);
  empty.faces[f].vt[0] = empty.AddUv();
  empty.faces[f].vt[1] = empty.AddUv();
  empty.AddUv();
  WeldUvs(empty);
  EXPECT_EQ(empty.unum, 3);
  EXPECT_EQ(empty.faces[f].vt[1], 1);

  // Indices that name no vertex or no record are left alone, never read.
  WObject obj;
  AddVertexAt(obj, 0, 0, 0);
  const int g = AddFaceOver(obj, {0, 7, 0, -3});
  SetFaceUvs(obj, g, {1, 1, 1, 1, 1, 1, 1, 1});
  obj.faces[g].vt[2] = 50;
  WeldUvs(obj);
  // Corners 1 and 3 name no vertex and weld nothing; corner 2 names no
  // record and keeps its index through the purge.
  EXPECT_EQ(obj.unum, 3);
  EXPECT_EQ(obj.faces[g].vt[0], 0);
  EXPECT_EQ(obj.faces[g].vt[1], 1);
  EXPECT_EQ(obj.faces[g].vt[2], 50);
  EXPECT_EQ(obj.faces[g].vt[3], 2);
}

namespace {

// Welding as the pairwise comparison it stands for: at each vertex, each
// corner in list order hands its current record to every later corner whose
// record equals it.
void PairwiseWeldUvs(WObject& obj) {
  std::vector<std::vector<std::pair<int, int>>> lists(static_cast<size_t>(obj.vnum));
  for (int f = 0; f < obj.fnum; ++f)
    for (int k = 0; k < obj.faces[f].num; ++k)
      if (obj.faces[f].vt[k] != -1) lists[static_cast<size_t>(obj.faces[f].v[k])].push_back({f, k});
  for (const auto& list : lists)
    for (size_t i = 0; i < list.size(); ++i) {
      const int a = obj.faces[list[i].first].vt[list[i].second];
      for (size_t j = i + 1; j < list.size(); ++j) {
        int& b = obj.faces[list[j].first].vt[list[j].second];
        if (obj.uvs[b].u == obj.uvs[a].u && obj.uvs[b].v == obj.uvs[a].v) b = a;
      }
    }
  PurgeUvs(obj);
}

}  // namespace

TEST(CornerUvs, WeldGivesThePairwiseResult) {
  // Random small objects: few vertices and values, so that values repeat
  // within and across vertices; -0, NaN, corners without a record and
  // records shared by several corners.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float values[] = {0.0f, -0.0f, 1.0f, 0.5f, nan};
  std::mt19937 rng(7);
  const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  for (int round = 0; round < 200; ++round) {
    WObject obj;
    const int vertices = 1 + below(6);
    for (int i = 0; i < vertices; ++i) AddVertexAt(obj, 0, 0, 0);
    const int faces = below(8);
    for (int f = 0; f < faces; ++f) {
      const int n = 1 + below(7);
      const int face = obj.AddFace(n);
      for (int k = 0; k < n; ++k) {
        obj.faces[face].v[k] = below(vertices);
        const int pick = below(10);
        if (pick == 0) continue;  // no record
        if (pick == 1 && obj.unum > 0) {
          obj.faces[face].vt[k] = below(obj.unum);  // shared
          continue;
        }
        const int t = obj.AddUv();
        obj.uvs[t].Set(values[below(5)], values[below(5)]);
        obj.faces[face].vt[k] = t;
      }
    }
    WObject expected = obj;
    PairwiseWeldUvs(expected);
    WeldUvs(obj);
    ASSERT_EQ(obj.unum, expected.unum) << "round " << round;
    for (int t = 0; t < obj.unum; ++t) {
      EXPECT_EQ(std::memcmp(&obj.uvs[t].u, &expected.uvs[t].u, sizeof(float)), 0) << "round " << round;
      EXPECT_EQ(std::memcmp(&obj.uvs[t].v, &expected.uvs[t].v, sizeof(float)), 0) << "round " << round;
    }
    for (int f = 0; f < obj.fnum; ++f)
      for (int k = 0; k < obj.faces[f].num; ++k)
        ASSERT_EQ(obj.faces[f].vt[k], expected.faces[f].vt[k]) << "round " << round;
  }
}
