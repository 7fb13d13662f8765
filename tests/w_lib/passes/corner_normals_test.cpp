// Smoothed corner normals: the angle test per material, faces without
// material, repeated vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "test_scenes.h"
#include "vector_expectations.h"

namespace {

constexpr float kDegree = 0.017453292f;

// The unit normal tilted by deg degrees from +z towards +x.
WVector Tilted(float deg) { return WVector(std::sin(deg * kDegree), 0, std::cos(deg * kDegree)); }

// Two triangles sharing the side 1-2, with the given face normals (set
// directly: only they and the shared vertices matter here) and materials.
WScene Hinge(WVector n0, WVector n1, int m0 = 0, int m1 = 0) {
  WScene scene;
  scene.AddMaterial("a");
  scene.AddMaterial("b");
  WObject& obj = AddObjectAt(scene, "hinge", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  const int f0 = AddFaceOver(obj, {0, 1, 2}, m0);
  const int f1 = AddFaceOver(obj, {2, 1, 3}, m1);
  obj.faces[f0].normal = n0;
  obj.faces[f1].normal = n1;
  return scene;
}

// Every corner of the hinge's faces keeps its face's normal.
void ExpectFlat(const WObject& hinge, const WVector& n0, const WVector& n1) {
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(hinge.faces[0].CornerNormal(k), n0);
    ExpectNear(hinge.faces[1].CornerNormal(k), n1);
  }
}

}  // namespace

TEST(SmoothCornerNormals, WithinTheAngleSharedCornersAverage) {
  WScene scene = Hinge(Tilted(0), Tilted(30));
  SmoothCornerNormals(scene);
  const WObject& obj = scene.objects[0];
  const WFace& a = obj.faces[0];
  const WFace& b = obj.faces[1];
  // Shared vertices 1 and 2: both faces' corners point half way.
  ExpectNear(a.CornerNormal(1), Tilted(15));
  ExpectNear(a.CornerNormal(2), Tilted(15));
  EXPECT_EQ(a.CornerNormal(1), b.CornerNormal(1));
  EXPECT_EQ(a.CornerNormal(2), b.CornerNormal(0));
  // Vertices of one face only keep that face's normal.
  EXPECT_EQ(a.CornerNormal(0), Tilted(0));
  ExpectNear(b.CornerNormal(2), Tilted(30));

  // 60 degrees is past the default 59.5: every corner keeps its face's.
  WScene sharp = Hinge(Tilted(0), Tilted(60));
  SmoothCornerNormals(sharp);
  ExpectFlat(sharp.objects[0], Tilted(0), Tilted(60));

  // 59 degrees is still within it.
  WScene wide = Hinge(Tilted(0), Tilted(59));
  SmoothCornerNormals(wide);
  ExpectNear(wide.objects[0].faces[0].CornerNormal(1), Tilted(29.5f));
}

TEST(SmoothCornerNormals, EachCornerJudgesByItsOwnMaterial) {
  WScene scene = Hinge(Tilted(0), Tilted(30), 0, 1);
  scene.materials[1].smoothing_angle = 20 * kDegree;
  SmoothCornerNormals(scene);
  const WObject& obj = scene.objects[0];
  ExpectNear(obj.faces[0].CornerNormal(1), Tilted(15));  // 30 <= 59.5
  ExpectNear(obj.faces[1].CornerNormal(1), Tilted(30));  // 30 > 20
}

TEST(SmoothCornerNormals, FacesWithoutMaterialNeitherSmoothNorAreSmoothed) {
  // -1 is no material; 7 names no material of the scene and counts as none.
  for (int bad : {-1, 7}) {
    WScene scene = Hinge(Tilted(0), Tilted(30), 0, bad);
    SmoothCornerNormals(scene);
    ExpectFlat(scene.objects[0], Tilted(0), Tilted(30));
  }
}

TEST(SmoothCornerNormals, ZeroNormalsNeitherSmoothNorAreSmoothed) {
  WScene scene = Hinge(WVector(), Tilted(30));
  SmoothCornerNormals(scene);
  ExpectFlat(scene.objects[0], WVector(), Tilted(30));
}

TEST(SmoothCornerNormals, AVertexUsedTwiceByOneFaceCountsTwice) {
  // Face 0 passes vertex 1 at corners 1 and 3; face 1 uses it once. Each of
  // face 0's corners there sums its own normal twice and face 1's once.
  WScene scene;
  scene.AddMaterial("m");
  WObject& obj = AddObjectAt(scene, "twice", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}});
  AddFaceOver(obj, {0, 1, 2, 1, 3}, 0);
  AddFaceOver(obj, {1, 4, 2}, 0);
  obj.faces[0].normal = Tilted(0);
  obj.faces[1].normal = Tilted(30);
  SmoothCornerNormals(scene);
  // Two of 0 degrees and one of 30 around vertex 1: atan(sin30 / (2 + cos30)).
  const float twice = std::atan(0.5f / (2 + std::cos(30 * kDegree))) / kDegree;
  ExpectNear(obj.faces[0].CornerNormal(1), Tilted(twice));
  ExpectNear(obj.faces[0].CornerNormal(3), Tilted(twice));
  ExpectNear(obj.faces[1].CornerNormal(0), Tilted(twice));
  // Vertex 2: one each, half way.
  ExpectNear(obj.faces[0].CornerNormal(2), Tilted(15));
}

TEST(SmoothCornerNormals, ObjectsWithoutVerticesAndBadIndices) {
  WScene scene;
  scene.AddMaterial("m");
  WObject& obj = AddObjectAt(scene, "no vertices");
  AddFaceOver(obj, {0, 1, 2}, 0);
  obj.faces[0].normal = WVector(0, 0, 1);
  obj.faces[0].CornerNormals()[0] = WVector(3, 0, 0);
  SmoothCornerNormals(scene);
  EXPECT_EQ(obj.faces[0].CornerNormal(0), WVector(3, 0, 0));

  // A corner naming no vertex keeps its face normal; the others smooth.
  WScene bad = Hinge(Tilted(0), Tilted(30));
  bad.objects[0].faces[1].v[0] = 99;
  bad.objects[0].faces[1].v[2] = -5;
  SmoothCornerNormals(bad);
  const WObject& b = bad.objects[0];
  ExpectNear(b.faces[1].CornerNormal(0), Tilted(30));
  ExpectNear(b.faces[1].CornerNormal(1), Tilted(15));
  ExpectNear(b.faces[0].CornerNormal(1), Tilted(15));
  EXPECT_EQ(b.faces[0].CornerNormal(2), Tilted(0));
}

TEST(SmoothCornerNormals, PolygonsOfManyCorners) {
  // A 300-gon (more corners than a compact corner list entry holds) and a
  // triangle on its side 299-0.
  WScene scene;
  scene.AddMaterial("m");
  WObject& obj = AddObjectAt(scene, "big");
  for (int i = 0; i <= 300; ++i) AddVertexAt(obj, static_cast<float>(i), 0, 0);
  const int big = obj.AddFace(300);
  for (int k = 0; k < 300; ++k) obj.faces[big].v[k] = k;
  obj.faces[big].material = 0;
  const int tri = AddFaceOver(obj, {0, 299, 300}, 0);
  obj.faces[big].normal = Tilted(0);
  obj.faces[tri].normal = Tilted(30);
  SmoothCornerNormals(scene);
  ExpectNear(obj.faces[big].CornerNormal(0), Tilted(15));
  ExpectNear(obj.faces[big].CornerNormal(299), Tilted(15));
  EXPECT_EQ(obj.faces[big].CornerNormal(150), Tilted(0));
  ExpectNear(obj.faces[tri].CornerNormal(1), Tilted(15));
  ExpectNear(obj.faces[tri].CornerNormal(2), Tilted(30));
}

TEST(SmoothCornerNormals, AFlatFanWithZerosOfEitherSign) {
  // Four faces around vertex 0 with equal normals that differ in the sign of
  // their zeros, and a fifth without material. A sum of zeros is -0 only when
  // every term is -0, so the centre corners with a material get +0 in x and
  // y; the face without material keeps its own normal.
  WScene scene;
  scene.AddMaterial("m");
  WObject& obj = AddObjectAt(scene, "fan", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}});
  const WVector normals[] = {{-0.0f, -0.0f, 1}, {0, -0.0f, 1}, {-0.0f, 0, 1}, {-0.0f, -0.0f, 1}, {-0.0f, -0.0f, 1}};
  for (int i = 0; i < 5; ++i) {
    const int f = AddFaceOver(obj, {0, 1 + i % 4, 1 + (i + 1) % 4}, i < 4 ? 0 : -1);
    obj.faces[f].normal = normals[i];
  }
  SmoothCornerNormals(scene);
  for (int f = 0; f < 5; ++f) {
    const WVector& n = obj.faces[f].CornerNormal(0);
    EXPECT_EQ(n, WVector(0, 0, 1));
    EXPECT_EQ(std::signbit(n.x), f == 4) << f;
    EXPECT_EQ(std::signbit(n.y), f == 4) << f;
  }
}

TEST(SmoothWeldNormals, GivesWhatSmoothingThenExpandAndWeldGive) {
  // Random faces over few vertices, so that fans grow long (past the short
  // list that is compared pairwise), with face normals from a small set
  // (equal sums then meet), signed zeros, a NaN and a zero normal; corners at
  // bad and repeated vertices; faces without corners, without material and
  // with a material outside the list; earlier normal records and corner
  // normals in the way; an object without vertices; and one of quads large
  // enough that its records are filled a part of its vertices at a time.
  uint32_t seed = 11;
  const auto rnd = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 16; };
  const float nan = std::nanf("");
  const WVector normals[] = {Tilted(0), Tilted(30), Tilted(80), {-0.0f, -0.0f, 1}, {0, 0, -1}, {nan, 0, 1}, {}};
  WScene scene;
  const float angles[] = {0.1f, 0.6f, 3.0f};
  for (float angle : angles) {
    const int m = scene.AddMaterial("m");
    scene.materials[m].smoothing_angle = angle;
  }
  for (int o = 0; o < 4; ++o) {
    WObject& obj = AddObjectAt(scene, "o");
    const int vertices = o == 2 ? 0 : (o == 0 ? 6 : (o == 1 ? 40 : 20000));
    for (int i = 0; i < vertices; ++i) AddVertexAt(obj, 0, 0, 0);
    AddNormalAlong(obj, WVector(9, 9, 9));
    for (int f = 0; f < (o == 3 ? 70000 : 300); ++f) {
      const int n = o == 3 ? 4 : static_cast<int>(rnd() % 6);
      const int added = obj.AddFace(n);
      WFace& face = obj.faces[added];
      for (int k = 0; k < n; ++k) {
        face.v[k] = static_cast<int>(rnd() % static_cast<uint32_t>(vertices + 2)) - 1;
        face.vn()[k] = 0;
        if (rnd() % 8 == 0) face.CornerNormals()[k] = WVector(7, 7, 7);
      }
      face.normal = normals[rnd() % 7];
      face.material = static_cast<int>(rnd() % 5) - 1;
    }
  }
  WScene expected = scene;
  SmoothCornerNormals(expected);
  ExpandWeldNormals(expected);
  ReleaseCornerNormals(expected);
  SmoothWeldNormals(scene);
  for (int o = 0; o < scene.onum; ++o) {
    const WObject &a = scene.objects[o], &b = expected.objects[o];
    ASSERT_EQ(a.nnum, b.nnum) << o;
    for (int i = 0; i < a.nnum; ++i) {  // bit for bit: -0 is not 0 here
      EXPECT_EQ(std::memcmp(&a.normals[i].normal, &b.normals[i].normal, sizeof(WVector)), 0) << o << " " << i;
      EXPECT_EQ(a.normals[i].remap, b.normals[i].remap);
      EXPECT_EQ(a.normals[i].flags, b.normals[i].flags);
    }
    for (int f = 0; f < a.fnum; ++f) {
      EXPECT_EQ(Corners(a.faces[f], &WFace::vn), Corners(b.faces[f], &WFace::vn)) << o << " " << f;
      EXPECT_EQ(a.faces[f].corner_normals(), nullptr);
    }
  }
}
