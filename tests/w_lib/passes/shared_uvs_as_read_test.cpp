#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "test_scenes.h"
#include "w_lib/w_scene.h"

namespace {

struct Face {
  std::vector<int> v;
  int material;
  std::vector<WUv> uvs;
};

// An object of vertex_count vertices with the given faces, in a scene whose
// material 0 has a texture and material 1 has none. With shared, the
// texture coordinates are made as read; otherwise one record per corner.
WScene Build(int vertex_count, const std::vector<Face>& faces, bool shared) {
  WScene scene;
  AddMaterialOf(scene, "textured", WColor(), "t.png");
  AddMaterialOf(scene, "plain", WColor());
  WObject& obj = AddObjectAt(scene, "o");
  for (int i = 0; i < vertex_count; ++i) AddVertexAt(obj, float(i), 0, 0);
  WSharedUvMaker maker(scene, obj);
  for (const Face& face : faces) {
    const int f = obj.AddFace(static_cast<int>(face.v.size()));
    obj.faces[f].material = face.material;
    for (size_t k = 0; k < face.v.size(); ++k) obj.faces[f].v[k] = face.v[k];
    if (shared) {
      maker.SetFaceUvs(f, face.uvs.data());
      continue;
    }
    for (size_t k = 0; k < face.v.size(); ++k) obj.faces[f].vt()[k] = AddUvAt(obj, face.uvs[k].u, face.uvs[k].v);
  }
  return scene;
}

// What the passes make of the texture coordinates: the faces turned round,
// the coordinates of untextured faces dropped, equal ones of a vertex shared.
void RunUvPasses(WScene& scene) {
  ReverseObjectFaces(scene);
  DropUntexturedUvs(scene);
  WeldUvs(scene);
}

struct Result {
  std::vector<std::vector<int>> vt;
  std::vector<float> values;  // u, v of each record, in order
};

Result Of(const WScene& scene) {
  const WObject& obj = scene.objects[0];
  Result r;
  for (int f = 0; f < obj.fnum; ++f) r.vt.push_back(Corners(obj.faces[f], &WFace::vt));
  for (int i = 0; i < obj.unum; ++i) {
    r.values.push_back(obj.uvs[i].u);
    r.values.push_back(obj.uvs[i].v);
  }
  return r;
}

// Made as read, the records are those that the passes leave: the same after
// the passes (which then find nothing to share), and the same as one record
// per corner gives after them.
void ExpectAsThePassesMakeThem(int vertex_count, const std::vector<Face>& faces) {
  WScene per_corner = Build(vertex_count, faces, false);
  RunUvPasses(per_corner);
  WScene shared = Build(vertex_count, faces, true);
  const WObject& obj = shared.objects[0];
  for (int f = 0; f < obj.fnum; ++f)
    for (int k = 0; k < obj.faces[f].num; ++k) ASSERT_LT(obj.faces[f].vt()[k], obj.unum);
  const int made = obj.unum;
  RunUvPasses(shared);
  EXPECT_EQ(shared.objects[0].unum, made);
  const Result a = Of(per_corner), b = Of(shared);
  EXPECT_EQ(a.vt, b.vt);
  ASSERT_EQ(a.values.size(), b.values.size());
  for (size_t i = 0; i < a.values.size(); ++i)
    EXPECT_TRUE(a.values[i] == b.values[i] || (std::isnan(a.values[i]) && std::isnan(b.values[i]))) << i;
}

}  // namespace

TEST(SharedUvsAsRead, SharedPerVertexInTheOrderOfOneRecordPerCorner) {
  // Two quads over a shared side: equal coordinates there are shared, and
  // the second face's new records follow the first face's.
  const std::vector<Face> quads = {
      {{0, 1, 4, 3}, 0, {{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}},
      {{1, 2, 5, 4}, 0, {{0.5f, 0}, {1, 0}, {1, 1}, {0.5f, 1}}},
  };
  WScene scene = Build(6, quads, true);
  const WObject& obj = scene.objects[0];
  EXPECT_EQ(obj.unum, 6);
  EXPECT_EQ(Corners(obj.faces[0], &WFace::vt), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Corners(obj.faces[1], &WFace::vt), (std::vector<int>{1, 4, 5, 2}));
  ExpectAsThePassesMakeThem(6, quads);

  // A seam: the same vertices with other coordinates keep records apart.
  std::vector<Face> seam = quads;
  seam[1].uvs[0] = {0.75f, 0};
  ExpectAsThePassesMakeThem(6, seam);
}

TEST(SharedUvsAsRead, FacesThatRepeatAVertexShareAsTheTurnedFaceIsVisited) {
  // Vertex 0 twice in one face with equal coordinates: the passes visit the
  // turned face from its last corner, so the record kept is that of corner
  // 2, and it comes after corner 1's record (worked out by hand).
  const std::vector<Face> bow = {{{0, 1, 0, 2}, 0, {{0.25f, 0.25f}, {1, 0}, {0.25f, 0.25f}, {0, 1}}}};
  WScene scene = Build(3, bow, true);
  const WObject& obj = scene.objects[0];
  EXPECT_EQ(Corners(obj.faces[0], &WFace::vt), (std::vector<int>{1, 0, 1, 2}));
  EXPECT_EQ(obj.uvs[1].u, 0.25f);
  ExpectAsThePassesMakeThem(3, bow);

  // The same in a face of many corners (looked up by vertex), with a later
  // face sharing the repeated vertex's record.
  Face ring{{}, 0, {}};
  for (int k = 0; k < 40; ++k) {
    ring.v.push_back(k % 13);
    ring.uvs.push_back({float(k % 3), 0.5f});
  }
  ExpectAsThePassesMakeThem(13, {ring, {{3, 4, 5}, 0, {{0, 0.5f}, {1, 0.5f}, {9, 9}}}});
}

TEST(SharedUvsAsRead, UntexturedFacesNaNsAndBadVerticesAsThePassesHaveThem) {
  const float nan = std::nanf("");
  const std::vector<Face> faces = {
      {{0, 1, 2}, 1, {{0, 0}, {1, 0}, {0, 1}}},      // no texture: no records
      {{0, 1, 2}, -1, {{0, 0}, {1, 0}, {0, 1}}},     // no material
      {{0, 1, 2}, 7, {{0, 0}, {1, 0}, {0, 1}}},      // a material the scene lacks
      {{0, 1, 2}, 0, {{nan, 0}, {1, 0}, {0, 1}}},    // NaN equals nothing
      {{0, 1, 2}, 0, {{nan, 0}, {1, 0}, {0, 1}}},
      {{0, 9, 2}, 0, {{0, 0}, {1, 0}, {0, 1}}},      // vertex 9 is not there
      {{0, 9, 2}, 0, {{0, 0}, {1, 0}, {0, 1}}},
  };
  WScene scene = Build(3, faces, true);
  EXPECT_EQ(Corners(scene.objects[0].faces[0], &WFace::vt), (std::vector<int>{-1, -1, -1}));
  ExpectAsThePassesMakeThem(3, faces);
}
