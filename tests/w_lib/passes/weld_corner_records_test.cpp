// Welding corner attribute records: equal texture coordinates, colours and
// normals shared per vertex.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "test_scenes.h"

namespace {

using Ints = std::vector<int>;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The export's uv steps on every object.
void ShareUvs(WScene& scene) {
  DropUntexturedUvs(scene);
  WeldUvs(scene);
}

}  // namespace

TEST(CornerUvs, QuadsSharingAnEdgeWeldWhereTheyAgree) {
  WScene scene = MakeTexturedQuads(false);
  ShareUvs(scene);
  const WObject& obj = scene.objects[0];
  ASSERT_EQ(obj.unum, 6);
  EXPECT_EQ(obj.umax, 6);
  // First appearance order: quad 0 1 4 3's four corners, then the two new
  // ones of quad 1 2 5 4.
  EXPECT_EQ(Corners(obj.faces[0], &WFace::vt), (Ints{0, 1, 2, 3}));
  EXPECT_EQ(Corners(obj.faces[1], &WFace::vt), (Ints{1, 4, 5, 2}));
  EXPECT_EQ(obj.uvs[4].u, 1.0f);
  EXPECT_EQ(obj.uvs[4].v, 0.0f);

  WScene seam = MakeTexturedQuads(true);
  ShareUvs(seam);
  EXPECT_EQ(seam.objects[0].unum, 8);
  EXPECT_EQ(Corners(seam.objects[0].faces[1], &WFace::vt), (Ints{4, 5, 6, 7}));
}

TEST(CornerUvs, WeldMatchesExactValuesOnlyAroundOneVertex) {
  // Three corners at vertex 0: (0, 0), (-0, 0) and (0, 0) share the first's
  // record, since -0 == 0. NaNs equal nothing. Vertex 1 has the same value
  // as vertex 0 but keeps its own record.
  WObject obj;
  AddVertexAt(obj, 0, 0, 0);
  AddVertexAt(obj, 1, 0, 0);
  const int f = AddFaceOver(obj, {0, 0, 0, 1, 1, 0});
  SetFaceUvs(obj, f, {0, 0, -0.0f, 0, 0, 0, 0, 0, kNaN, 1, kNaN, 1});
  WeldUvs(obj);
  EXPECT_EQ(obj.unum, 4);
  EXPECT_EQ(Corners(obj.faces[f], &WFace::vt), (Ints{0, 0, 0, 1, 2, 3}));
  EXPECT_FALSE(std::signbit(obj.uvs[0].u));  // the first corner's record
}

TEST(CornerRecords, ObjectsWithoutVerticesAndBadIndices) {
  // No vertices: welding changes no index and deletes nothing.
  WObject empty;
  const int f = empty.AddFace(2);
  empty.faces[f].vt()[0] = empty.AddUv();
  empty.faces[f].vt()[1] = empty.AddUv();
  empty.AddUv();
  WeldUvs(empty);
  EXPECT_EQ(empty.unum, 3);
  EXPECT_EQ(empty.faces[f].vt()[1], 1);

  // Corners 1 and 3 name no vertex and weld nothing; corner 2 names no
  // record and keeps its index through the purge. Neither is read.
  WObject obj;
  AddVertexAt(obj, 0, 0, 0);
  const int g = AddFaceOver(obj, {0, 7, 0, -3});
  SetFaceUvs(obj, g, {1, 1, 1, 1, 1, 1, 1, 1});
  obj.faces[g].vt()[2] = 50;
  WeldUvs(obj);
  EXPECT_EQ(obj.unum, 3);
  EXPECT_EQ(Corners(obj.faces[g], &WFace::vt), (Ints{0, 1, 50, 2}));
}

TEST(CornerUvs, WeldGivesThePairwiseResult) {
  // Random objects of few vertices: values repeat within and across
  // vertices, and some vertices collect more distinct values than a short
  // list holds; -0, NaN, corners without a record and records shared by
  // several corners. Welding stands for the pairwise comparison: at each
  // vertex, each corner in list order hands its current record to every
  // later corner whose record equals it.
  const float values[] = {0.0f, -0.0f, 1.0f, 0.5f, kNaN, 2.0f, 3.0f, 0.25f};
  std::mt19937 rng(7);
  const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  for (int round = 0; round < 300; ++round) {
    WObject obj;
    const int vertices = 1 + below(6);
    for (int i = 0; i < vertices; ++i) AddVertexAt(obj, 0, 0, 0);
    const int faces = below(12);
    for (int f = 0; f < faces; ++f) {
      const int face = obj.AddFace(1 + below(7));
      for (int k = 0; k < obj.faces[face].num; ++k) {
        obj.faces[face].v[k] = below(vertices);
        const int pick = below(10);
        if (pick == 0) continue;  // no record
        if (pick == 1 && obj.unum > 0) {
          obj.faces[face].vt()[k] = below(obj.unum);  // shared
          continue;
        }
        obj.faces[face].vt()[k] = AddUvAt(obj, values[below(8)], values[below(8)]);
      }
    }
    WObject expected = obj;
    std::vector<std::vector<int*>> around(static_cast<size_t>(vertices));
    for (int f = 0; f < expected.fnum; ++f) {
      WFace& face = expected.faces[f];
      for (int k = 0; k < face.num; ++k)
        if (face.vt()[k] != -1) around[static_cast<size_t>(face.v[k])].push_back(&face.vt()[k]);
    }
    for (const auto& corners : around)
      for (size_t i = 0; i < corners.size(); ++i)
        for (size_t j = i + 1; j < corners.size(); ++j) {
          const WUv &a = expected.uvs[*corners[i]], &b = expected.uvs[*corners[j]];
          if (a.u == b.u && a.v == b.v) *corners[j] = *corners[i];
        }
    PurgeUvs(expected);

    WeldUvs(obj);
    ASSERT_EQ(obj.unum, expected.unum) << "round " << round;
    for (int t = 0; t < obj.unum; ++t)  // bit for bit: -0 is not 0 here
      EXPECT_EQ(std::memcmp(&obj.uvs[t].u, &expected.uvs[t].u, 2 * sizeof(float)), 0) << "round " << round;
    for (int f = 0; f < obj.fnum; ++f)
      ASSERT_EQ(Corners(obj.faces[f], &WFace::vt), Corners(expected.faces[f], &WFace::vt)) << "round " << round;
  }
}
