// Vertex splits by texture coordinate and by colour: which corners keep a
// vertex, the order of the new vertices, what they copy.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

namespace {

// Adds a face over the given vertices with the given per-corner indices of
// one corner array (vt or vc).
void AddCorners(WObject& obj, std::initializer_list<int> v, std::initializer_list<int> values,
                WritableCornerArray index) {
  SetCorners(obj, AddFaceOver(obj, v), index, values);
}

}  // namespace

TEST(SplitVerticesByUv, FirstValueKeepsTheVertexOthersFollowInOrder) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o");
  for (int i = 0; i < 3; ++i) AddVertexAt(obj, static_cast<float>(i), 0.0f, 0.0f);
  obj.vertices[2].SetUv(WUv(9.0f, 9.0f));  // what a copy of vertex 2 keeps for -1
  const int w = obj.vertices[0].AddWeight();
  obj.vertices[0].weights()[w].bone = 4;
  for (int i = 0; i < 3; ++i) AddUvAt(obj, static_cast<float>(i), 0.5f);
  const int A = 0, B = 1, C = 2;
  // Uses in face then corner order:
  //   vertex 0: A B A C B     -> B and C get vertices 3 and 4
  //   vertex 1: B A B A C     -> A and C get 5 and 6
  //   vertex 2: A A A -1 -1   -> -1 gets 7
  AddCorners(obj, {1, 0, 2}, {B, A, A}, &WFace::vt);
  AddCorners(obj, {0, 1, 2}, {B, A, A}, &WFace::vt);
  AddCorners(obj, {2, 0, 1}, {A, A, B}, &WFace::vt);
  AddCorners(obj, {0, 2, 1}, {C, -1, A}, &WFace::vt);
  AddCorners(obj, {0, 1, 2}, {B, C, -1}, &WFace::vt);

  SplitVerticesByUv(scene);
  ASSERT_EQ(obj.vnum, 8);
  EXPECT_EQ(Corners(obj.faces[0]), (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(Corners(obj.faces[1]), (std::vector<int>{3, 5, 2}));
  EXPECT_EQ(Corners(obj.faces[2]), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(Corners(obj.faces[3]), (std::vector<int>{4, 7, 5}));
  EXPECT_EQ(Corners(obj.faces[4]), (std::vector<int>{3, 6, 7}));

  // Copies are whole: position and weights of their vertex.
  const int source[8] = {0, 1, 2, 0, 0, 1, 1, 2};
  for (int v = 0; v < 8; ++v) EXPECT_EQ(obj.vertices[v].pos.x, static_cast<float>(source[v])) << v;
  ASSERT_EQ(obj.vertices[3].wnum(), 1);
  EXPECT_EQ(obj.vertices[3].weights()[0].bone, 4);
  EXPECT_EQ(obj.vertices[4].wnum(), 1);
  EXPECT_NE(obj.vertices[4].weights(), obj.vertices[0].weights());
  // Each vertex carries its corners' coordinate; the -1 copy keeps its own.
  const float u[8] = {0, 1, 0, 1, 2, 0, 2, 9};
  for (int v = 0; v < 8; ++v) EXPECT_EQ(obj.vertices[v].uv().u, u[v]) << v;
  EXPECT_EQ(obj.faces[3].vt()[1], -1);  // the corner indices themselves stay
}

TEST(SplitVerticesByUv, BadIndicesAreSplitOrSkippedButNeverRead) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o");
  AddVertexAt(obj, 0.0f, 0.0f, 0.0f);
  AddVertexAt(obj, 1.0f, 0.0f, 0.0f);
  AddUvAt(obj, 0.25f, 0.75f);
  // Vertex 99 does not exist; uv 50 and -3 do not either.
  AddCorners(obj, {0, 99, 1}, {0, 0, 50}, &WFace::vt);
  AddCorners(obj, {1, 0, 1}, {-3, 50, 50}, &WFace::vt);
  SplitVerticesByUv(obj);
  ASSERT_EQ(obj.vnum, 4);
  EXPECT_EQ(Corners(obj.faces[0]), (std::vector<int>{0, 99, 1}));
  EXPECT_EQ(Corners(obj.faces[1]), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(obj.vertices[0].uv().v, 0.75f);
  EXPECT_EQ(obj.vertices[2].uv().v, 0.0f);  // a copy of vertex 0 before its uv was set

  // No vertices: nothing to split.
  WObject empty;
  empty.AddFace(3);
  SplitVerticesByUv(empty);
  EXPECT_EQ(empty.vnum, 0);
}

TEST(SplitVerticesByColor, SplitsByColourRecordAndCopiesTheColour) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o");
  for (int i = 0; i < 3; ++i) AddVertexAt(obj, 0.0f, 0.0f, 0.0f);
  AddColorOf(obj, WColor(1.0f, 0.0f, 0.0f, 1.0f));
  AddColorOf(obj, WColor(0.0f, 0.0f, 1.0f, 0.5f));
  AddCorners(obj, {0, 1, 2}, {0, 0, 0}, &WFace::vc);
  AddCorners(obj, {2, 1, 0}, {1, 0, 0}, &WFace::vc);
  // Texture coordinates play no part here.
  obj.faces[1].vt()[0] = 7;
  SplitVerticesByColor(scene);
  ASSERT_EQ(obj.vnum, 4);
  EXPECT_EQ(Corners(obj.faces[1]), (std::vector<int>{3, 1, 0}));
  EXPECT_EQ(obj.vertices[2].col(), WColor(1.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(obj.vertices[3].col(), WColor(0.0f, 0.0f, 1.0f, 0.5f));
}

TEST(SplitVerticesByUv, LargeFansSplitInLinearTime) {
  // One centre vertex in 200000 triangles, each with its own coordinate at
  // the centre (half of them indices outside the list): pairwise matching
  // would take hours.
  const int n = 200000;
  WObject obj;
  ASSERT_TRUE(obj.ReserveVertices(n + 2));
  ASSERT_TRUE(obj.ReserveFaces(n));
  for (int i = 0; i < n + 1; ++i) AddVertexAt(obj, static_cast<float>(i), 0.0f, 0.0f);
  ASSERT_TRUE(obj.ReserveUvs(n / 2));
  for (int i = 0; i < n / 2; ++i) obj.AddUv();
  for (int i = 0; i < n; ++i) {
    const int value = i % 2 == 0 ? i / 2 : n + i;
    AddCorners(obj, {0, i + 1, (i + 1) % n + 1}, {value, -1, -1}, &WFace::vt);
  }
  SplitVerticesByUv(obj);
  // The centre keeps the first value and gains n - 1 copies; every rim
  // vertex sees only -1.
  EXPECT_EQ(obj.vnum, (n + 1) + (n - 1));
  EXPECT_EQ(obj.faces[0].v[0], 0);
  EXPECT_EQ(obj.faces[1].v[0], n + 1);
  EXPECT_EQ(obj.faces[n - 1].v[0], 2 * n - 1);
}

// The one-growth form must give what the two splits give one after the
// other: the same corners, and vertices with the same positions, texture
// coordinates and colours, on faces whose corners mix values, repeat them,
// and name bad records and bad vertices. The form that names the records
// instead must give the same again.
TEST(SplitVerticesByUvAndColor, GivesWhatTheTwoSplitsGiveInTurn) {
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    WObject obj;
    const int vertices = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < vertices; ++i) {
      const int v = AddVertexAt(obj, float(i), float(round), 0.0f);
      obj.vertices[v].SetUv(WUv(-float(i), 0.5f));           // kept where no corner names a record
      obj.vertices[v].SetCol(WColor(0.0f, 0.0f, float(i), 1.0f));
    }
    for (int i = 0; i < 4; ++i) AddUvAt(obj, 0.1f * float(i), 1.0f);
    for (int i = 0; i < 3; ++i) AddColorOf(obj, WColor(float(i), 1.0f, 0.0f, 1.0f));
    for (int f = 0; f < 30; ++f) {
      const int n = 2 + static_cast<int>(random() % 4);
      const int face = obj.AddFace(n);
      for (int k = 0; k < n; ++k) {
        // Now and then a vertex index out of range: below 0, or past the
        // vertices, where the splits' new vertices will be numbered.
        const auto pick = random() % 12;
        obj.faces[face].v[k] = pick == 0   ? -1
                               : pick == 1 ? vertices + static_cast<int>(random() % 40)
                                           : static_cast<int>(random() % static_cast<unsigned>(vertices));
        obj.faces[face].vt()[k] = static_cast<int>(random() % 7) - 1;  // -1 .. 5: two past the records
        obj.faces[face].vc()[k] = static_cast<int>(random() % 6) - 1;
      }
    }
    WObject twice = obj;
    WObject named = obj;
    SplitVerticesByUv(twice);
    SplitVerticesByColor(twice);
    SplitVerticesByUvAndColor(obj);
    const VertexRecords records = SplitVerticesNamingRecords(named);
    ASSERT_EQ(obj.vnum, twice.vnum) << round;
    ASSERT_EQ(named.vnum, obj.vnum) << round;
    ASSERT_EQ(records.uv.size(), static_cast<size_t>(obj.vnum)) << round;
    ASSERT_EQ(records.color.size(), static_cast<size_t>(obj.vnum)) << round;
    for (int v = 0; v < obj.vnum; ++v) {
      EXPECT_EQ(obj.vertices[v].pos, twice.vertices[v].pos) << round << " " << v;
      EXPECT_EQ(obj.vertices[v].uv().u, twice.vertices[v].uv().u) << round << " " << v;
      EXPECT_EQ(obj.vertices[v].uv().v, twice.vertices[v].uv().v) << round << " " << v;
      EXPECT_EQ(obj.vertices[v].col(), twice.vertices[v].col()) << round << " " << v;
      EXPECT_EQ(named.vertices[v].pos, obj.vertices[v].pos) << round << " " << v;
      EXPECT_EQ(records.Uv(named, v).u, obj.vertices[v].uv().u) << round << " " << v;
      EXPECT_EQ(records.Uv(named, v).v, obj.vertices[v].uv().v) << round << " " << v;
      EXPECT_EQ(records.Color(named, v), obj.vertices[v].col()) << round << " " << v;
    }
    for (int f = 0; f < obj.fnum; ++f) {
      EXPECT_EQ(Corners(obj.faces[f]), Corners(twice.faces[f])) << round;
      EXPECT_EQ(Corners(named.faces[f]), Corners(obj.faces[f])) << round;
    }
  }
}

// Naming the records leaves vertices that hold no value of their own
// without a block: the copies included, and whatever their corners name.
TEST(SplitVerticesNamingRecords, VerticesGetNoBlockOfTheirOwn) {
  WObject obj;
  for (int i = 0; i < 3; ++i) AddVertexAt(obj, float(i), 0.0f, 0.0f);
  const int a = AddUvAt(obj, 0.25f, 0.5f);
  const int b = AddUvAt(obj, 0.75f, 0.5f);
  const int red = AddColorOf(obj, WColor(1, 0, 0, 1));
  AddCorners(obj, {0, 1, 2}, {a, a, a}, &WFace::vt);
  AddCorners(obj, {2, 1, 0}, {b, a, b}, &WFace::vt);
  obj.faces[1].vc()[1] = red;
  const VertexRecords records = SplitVerticesNamingRecords(obj);
  // Vertices 0 and 2 meet b as their second value: copies 3 and 4. Vertex
  // 1's corner of the second face has a colour of its own: copy 5.
  ASSERT_EQ(obj.vnum, 6);
  EXPECT_EQ(Corners(obj.faces[1]), (std::vector<int>{4, 5, 3}));
  EXPECT_EQ(records.uv, (std::vector<int>{a, a, a, b, b, a}));
  EXPECT_EQ(records.color, (std::vector<int>{-1, -1, -1, -1, -1, red}));
  EXPECT_EQ(records.Color(obj, 5), WColor(1, 0, 0, 1));
  EXPECT_EQ(records.Color(obj, 0), WColor(0, 0, 0, 1));  // a vertex's own default
  for (int v = 0; v < obj.vnum; ++v) EXPECT_EQ(obj.vertices[v].extras.block, nullptr) << v;
}
