// The order of a glTF mesh's triangles and vertices: what is drawn stays the
// same, the vertex cache misses less, vertices come in the order of first
// use, and the threads change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "test_scenes.h"
#include "w_lib/writers/gltf/gltf_mesh.h"

namespace {

// A grid of side x side quads: vertex (x, y) is number x + y * (side + 1),
// with a normal leaning by x, a texture coordinate and a colour by y. Its
// triangles run row by row, those of the left half in a primitive of
// material 0 and the right half in one of material 1, then a primitive of
// lines along the bottom row.
GltfMesh MakeGridMesh(int side) {
  GltfMesh mesh;
  const int row = side + 1;
  const size_t n = static_cast<size_t>(row) * row;
  mesh.vertex_count = n;
  mesh.normals = 3 * n;
  mesh.uvs = 6 * n;
  mesh.colors = 8 * n;
  mesh.attributes.resize(12 * n);
  for (int y = 0; y < row; ++y)
    for (int x = 0; x < row; ++x) {
      const size_t v = static_cast<size_t>(x + y * row);
      const float fx = static_cast<float>(x), fy = static_cast<float>(y), fs = static_cast<float>(side);
      float* a = mesh.attributes.data();
      std::copy_n(std::array<float, 3>{fx, fy, 0}.data(), 3, a + 3 * v);
      std::copy_n(std::array<float, 3>{fx / 1000, 0, 1}.data(), 3, a + mesh.normals + 3 * v);
      std::copy_n(std::array<float, 2>{fx / fs, fy / fs}.data(), 2, a + mesh.uvs + 2 * v);
      std::copy_n(std::array<float, 4>{fy / fs, 0, 1, 1}.data(), 4, a + mesh.colors + 4 * v);
    }
  mesh.primitives.resize(3);
  mesh.primitives[1].material = 1;
  mesh.primitives[2].mode = kGltfLines;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const uint32_t a = static_cast<uint32_t>(x + y * row), b = a + 1, c = a + row + 1, d = a + row;
      std::vector<uint32_t>& to = mesh.primitives[x < side / 2 ? 0 : 1].indices;
      to.insert(to.end(), {a, b, c, a, c, d});
    }
  for (int x = 0; x < side; ++x) mesh.primitives[2].indices.insert(mesh.primitives[2].indices.end(), {uint32_t(x), uint32_t(x + 1)});
  return mesh;
}

// A corner as drawn: all twelve numbers of its vertex.
using Corner = std::array<float, 12>;

Corner CornerOf(const GltfMesh& mesh, uint32_t v) {
  Corner c;
  const float* a = mesh.attributes.data();
  std::copy_n(a + 3 * v, 3, c.begin());
  std::copy_n(a + mesh.normals + 3 * v, 3, c.begin() + 3);
  std::copy_n(a + mesh.uvs + 2 * v, 2, c.begin() + 6);
  std::copy_n(a + mesh.colors + 4 * v, 4, c.begin() + 8);
  return c;
}

// Per primitive, its elements as their corners, in corner order: the
// triangles sorted (their order may change), the lines as they come.
std::vector<std::vector<std::vector<Corner>>> Drawn(const GltfMesh& mesh) {
  std::vector<std::vector<std::vector<Corner>>> drawn;
  for (const GltfPrimitive& p : mesh.primitives) {
    const size_t size = p.mode == kGltfLines ? 2 : 3;
    std::vector<std::vector<Corner>> elements;
    for (size_t i = 0; i + size <= p.indices.size(); i += size) {
      elements.emplace_back();
      for (size_t k = 0; k < size; ++k) elements.back().push_back(CornerOf(mesh, p.indices[i + k]));
    }
    if (p.mode == kGltfTriangles) std::sort(elements.begin(), elements.end());
    drawn.push_back(std::move(elements));
  }
  return drawn;
}

// Vertices missed per triangle by a first-in first-out cache of 16.
double MissesPerTriangle(const GltfMesh& mesh) {
  std::deque<uint32_t> cache;
  size_t misses = 0, triangles = 0;
  for (const GltfPrimitive& p : mesh.primitives) {
    if (p.mode != kGltfTriangles) continue;
    triangles += p.indices.size() / 3;
    for (const uint32_t v : p.indices) {
      if (std::find(cache.begin(), cache.end(), v) != cache.end()) continue;
      ++misses;
      cache.push_back(v);
      if (cache.size() > 16) cache.pop_front();
    }
  }
  return static_cast<double>(misses) / static_cast<double>(triangles);
}

// Runs f with VELLMAR_THREADS set to threads, then restores it.
template <class F>
void WithThreads(const char* threads, F&& f) {
  const char* before = std::getenv("VELLMAR_THREADS");
  const std::string saved = before ? before : "";
  setenv("VELLMAR_THREADS", threads, 1);
  f();
  if (before) setenv("VELLMAR_THREADS", saved.c_str(), 1);
  else unsetenv("VELLMAR_THREADS");
}

}  // namespace

TEST(OrderGltfMesh, DrawsTheSameWithVerticesInOrderOfFirstUse) {
  const GltfMesh grid = MakeGridMesh(40);
  // Row by row, every quad brings about one vertex the cache has lost.
  EXPECT_GT(MissesPerTriangle(grid), 0.95);
  for (const GltfMeshOrder order : {GltfMeshOrder::kVertexCache, GltfMeshOrder::kStrips}) {
    GltfMesh mesh = grid;
    OrderGltfMesh(mesh, order);
    ASSERT_EQ(mesh.VertexCount(), grid.VertexCount());
    ASSERT_EQ(mesh.primitives.size(), 3u);
    for (size_t p = 0; p < 3; ++p) {
      EXPECT_EQ(mesh.primitives[p].mode, grid.primitives[p].mode);
      EXPECT_EQ(mesh.primitives[p].material, grid.primitives[p].material);
    }
    // The same triangles, each with its winding, and the lines as they were.
    EXPECT_TRUE(Drawn(mesh) == Drawn(grid));
    // Every vertex is numbered when first used, triangles first.
    uint32_t next = 0;
    for (const GltfPrimitive& p : mesh.primitives)
      for (const uint32_t v : p.indices) {
        ASSERT_LE(v, next);
        if (v == next) ++next;
      }
    EXPECT_EQ(next, mesh.VertexCount());
  }
  // The order for the vertex cache makes it miss about a third less.
  GltfMesh cached = grid;
  OrderGltfMesh(cached, GltfMeshOrder::kVertexCache);
  EXPECT_LT(MissesPerTriangle(cached), 0.75);
}

TEST(OrderGltfMesh, AVertexThatNoneUsesGoesLast) {
  GltfMesh mesh = MakeGridMesh(2);
  // Vertex 6, the top left corner, is in one triangle, which is left out.
  std::vector<uint32_t>& left = mesh.primitives[0].indices;
  for (size_t i = 0; i < left.size(); i += 3)
    if (left[i] == 6 || left[i + 1] == 6 || left[i + 2] == 6) left.erase(left.begin() + long(i), left.begin() + long(i) + 3);
  const Corner corner = CornerOf(mesh, 6);
  OrderGltfMesh(mesh, GltfMeshOrder::kVertexCache);
  EXPECT_TRUE(CornerOf(mesh, 8) == corner);
  for (const GltfPrimitive& p : mesh.primitives)
    for (const uint32_t v : p.indices) EXPECT_LT(v, 8u);
}

TEST(OrderGltfMesh, RunsOfTrianglesGiveTheSameOnAnyNumberOfThreads) {
  // 300 x 300 quads: three runs ordered on their own.
  const GltfMesh grid = MakeGridMesh(300);
  ASSERT_GT(grid.primitives[0].indices.size() / 3, kGltfOrderChunkTriangles);
  for (const GltfMeshOrder order : {GltfMeshOrder::kVertexCache, GltfMeshOrder::kStrips}) {
    std::vector<GltfMesh> made;
    for (const char* threads : {"1", "2", "3"}) {
      WithThreads(threads, [&] {
        made.push_back(grid);
        OrderGltfMesh(made.back(), order);
      });
    }
    for (size_t i = 1; i < made.size(); ++i) {
      EXPECT_TRUE(made[i].attributes == made[0].attributes) << i;
      for (size_t p = 0; p < 3; ++p) EXPECT_TRUE(made[i].primitives[p].indices == made[0].primitives[p].indices) << i;
    }
    EXPECT_TRUE(Drawn(made[0]) == Drawn(grid));
  }
}

TEST(OrderGltfMesh, RunsOrderedWhileTheMeshIsBuiltGiveTheSameMesh) {
  // 400 x 300 quads of one material: 240,000 triangles, three whole runs of
  // 65,536 triangles (589,824 indices), which are ordered while the rest is
  // built when there are threads for it, and a part run ordered after.
  constexpr int kWide = 400, kHigh = 300;
  WScene scene;
  WObject& o = AddObjectAt(scene, "grid");
  ASSERT_TRUE(o.ReserveVertices((kWide + 1) * (kHigh + 1)) && o.ReserveFaces(kWide * kHigh));
  for (int y = 0; y <= kHigh; ++y)
    for (int x = 0; x <= kWide; ++x) AddVertexAt(o, static_cast<float>(x), static_cast<float>(y), 0.0f);
  for (int y = 0; y < kHigh; ++y)
    for (int x = 0; x < kWide; ++x) {
      const int a = x + y * (kWide + 1);
      AddFaceOver(o, {a, a + 1, a + kWide + 2, a + kWide + 1});
    }
  UpdateMatrices(scene);
  GltfMesh after;  // every run ordered once the mesh is built
  WithThreads("1", [&] { ASSERT_TRUE(BuildGltfMesh(scene, o, after)); });
  ASSERT_EQ(after.primitives.size(), 1u);
  ASSERT_EQ(after.primitives[0].indices.size(), 720000u);
  OrderGltfMesh(after, GltfMeshOrder::kVertexCache);
  const GltfRunOrder runs = GltfRunOrderOf(GltfMeshOrder::kVertexCache);
  for (const char* threads : {"1", "2", "3"}) {
    GltfMesh mesh;
    WithThreads(threads, [&] { ASSERT_TRUE(BuildGltfMesh(scene, o, mesh, &runs)); });
    ASSERT_EQ(mesh.primitives.size(), 1u);
    // One thread orders no run early: there is none to overlap the build.
    EXPECT_EQ(mesh.primitives[0].ordered, std::string(threads) == "1" ? 0u : 589824u) << threads;
    WithThreads(threads, [&] { OrderGltfMesh(mesh, GltfMeshOrder::kVertexCache); });
    EXPECT_TRUE(mesh.primitives[0].indices == after.primitives[0].indices) << threads;
    EXPECT_TRUE(mesh.attributes == after.attributes) << threads;
  }
}

// The vertices of a fan of `triangles` around vertex 0, each outer corner
// a vertex of its own, with one primitive that has no indices yet.
static GltfMesh FanVerticesWithOnePrimitive(uint32_t triangles) {
  GltfMesh fan;
  const size_t n = 1 + 2 * static_cast<size_t>(triangles);
  fan.vertex_count = n;
  fan.normals = 3 * n;
  fan.uvs = 6 * n;
  fan.colors = 8 * n;
  fan.attributes.assign(12 * n, 0.5f);
  for (size_t v = 0; v < n; ++v) fan.attributes[3 * v] = static_cast<float>(v);
  fan.primitives.resize(1);
  return fan;
}

TEST(OrderGltfMesh, AFanAroundOneVertexIsOrderedInPiecesThatDrawTheSame) {
  // 20,000 triangles around vertex 0, a vertex of its own for each outer
  // corner: one vertex shares every triangle of the run, which the
  // optimiser would pay for with the square of the run; it is ordered in
  // pieces of 4,096 triangles instead.
  constexpr uint32_t kTriangles = 20000;
  GltfMesh fan = FanVerticesWithOnePrimitive(kTriangles);
  for (uint32_t t = 0; t < kTriangles; ++t) fan.primitives[0].indices.insert(fan.primitives[0].indices.end(), {0, 1 + 2 * t, 2 + 2 * t});
  for (const GltfMeshOrder order : {GltfMeshOrder::kVertexCache, GltfMeshOrder::kStrips}) {
    GltfMesh mesh = fan;
    OrderGltfMesh(mesh, order);
    EXPECT_TRUE(Drawn(mesh) == Drawn(fan));
    EXPECT_LE(MissesPerTriangle(mesh), MissesPerTriangle(fan));
    GltfMesh again = fan;
    OrderGltfMesh(again, order);
    EXPECT_TRUE(again.primitives[0].indices == mesh.primitives[0].indices);
  }
}

TEST(OrderGltfMesh, TrianglesThatDrawNothingCostTheOrderNothing) {
  // A run in which vertex 0 serves 6,000 triangles (of a fan, and of
  // triangles on that one point, every fourth) is ordered in pieces of 256
  // of its drawn triangles, each of which the optimiser pays for with the
  // square of its size, not of the run's; the triangles on one point come
  // last, as they came.
  constexpr uint32_t kTriangles = 8000;
  GltfMesh fan = FanVerticesWithOnePrimitive(kTriangles);
  std::vector<uint32_t> drawn, nothing;
  for (uint32_t t = 0; t < kTriangles; ++t) {
    const std::vector<uint32_t> triangle =
        t % 4 == 3 ? std::vector<uint32_t>{0, 0, 1 + 2 * t} : std::vector<uint32_t>{0, 1 + 2 * t, 2 + 2 * t};
    (t % 4 == 3 ? nothing : drawn).insert((t % 4 == 3 ? nothing : drawn).end(), triangle.begin(), triangle.end());
    fan.primitives[0].indices.insert(fan.primitives[0].indices.end(), triangle.begin(), triangle.end());
  }
  GltfMesh mesh = fan;
  OrderGltfMesh(mesh, GltfMeshOrder::kVertexCache);
  EXPECT_TRUE(Drawn(mesh) == Drawn(fan));
  // The vertices are renumbered: compare by position.
  const auto x = [](const GltfMesh& m, uint32_t v) { return m.attributes[3 * v]; };
  const std::vector<uint32_t>& out = mesh.primitives[0].indices;
  for (size_t i = 0; i < nothing.size(); ++i)
    ASSERT_EQ(x(mesh, out[drawn.size() + i]), x(fan, nothing[i])) << i;
  for (size_t at = 0; at < drawn.size(); at += 3 * 256) {
    std::vector<float> before, after;
    for (size_t i = at; i < std::min(drawn.size(), at + 3 * 256); ++i) {
      before.push_back(x(fan, drawn[i]));
      after.push_back(x(mesh, out[i]));
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    ASSERT_EQ(before, after) << "the piece at " << at;
  }
}
