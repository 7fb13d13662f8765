// The compressed form of a glTF mesh, read back through meshoptimizer's own
// decoders: the integers, the grids they stand on and the largest errors.
#include <gtest/gtest.h>
#include <meshoptimizer.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "test_scenes.h"
#include "w_lib/writers/gltf/gltf_mesh_compression.h"

namespace {

// Six vertices: positions from (0, 0, 0) to (8, 1, 0.5), so that x spans
// the grid; normals along the six axes and one leaning below the plane;
// texture coordinates from -1 to 2.5; colours of whole bytes. Two
// triangles and a line.
GltfMesh MakeMesh() {
  GltfMesh mesh;
  const float positions[6][3] = {{0, 0, 0}, {8, 0, 0}, {8, 1, 0.5f}, {0, 1, 0}, {2, 0.5f, 0.25f}, {3, 0.2f, 0.1f}};
  const float normals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0.6f, 0, -0.8f}};
  const float uvs[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {-1, 2.5f}, {0.3f, 0.7f}};
  mesh.vertex_count = 6;
  mesh.normals = 18;
  mesh.uvs = 36;
  mesh.colors = 48;
  mesh.attributes.resize(72);
  for (size_t v = 0; v < 6; ++v) {
    for (size_t k = 0; k < 3; ++k) mesh.attributes[3 * v + k] = positions[v][k];
    for (size_t k = 0; k < 3; ++k) mesh.attributes[18 + 3 * v + k] = normals[v][k];
    for (size_t k = 0; k < 2; ++k) mesh.attributes[36 + 2 * v + k] = uvs[v][k];
    for (size_t k = 0; k < 4; ++k) mesh.attributes[48 + 4 * v + k] = static_cast<float>(40 * v + 10 * k) / 255.0f;
  }
  mesh.primitives.resize(2);
  mesh.primitives[0].indices = {0, 1, 2, 0, 2, 3};
  mesh.primitives[1].mode = kGltfLines;
  mesh.primitives[1].indices = {4, 5};
  return mesh;
}

std::vector<unsigned char> DecodeVertices(const GltfEncodedView& view) {
  std::vector<unsigned char> out(view.count * view.stride);
  EXPECT_EQ(meshopt_decodeVertexBuffer(out.data(), view.count, view.stride, view.bytes.data(), view.bytes.size()), 0);
  return out;
}

double AngleDegrees(const double a[3], const float b[3]) {
  const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  const double lb = std::sqrt(double(b[0]) * b[0] + double(b[1]) * b[1] + double(b[2]) * b[2]);
  const double c = (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) / (la * lb);
  return std::acos(c > 1.0 ? 1.0 : c) * 180.0 / 3.14159265358979;
}

}  // namespace

TEST(CompressGltfMesh, DecodesToTheMeshWithinTheStatedErrors) {
  const GltfMesh source = MakeMesh();
  GltfMesh mesh = source;
  const double low[3] = {0, 0, 0}, high[3] = {8, 1, 0.5};
  GltfUvGrid grid;
  grid.quantized = true;
  grid.offset[0] = -1.0f;
  grid.offset[1] = 0.0f;
  PrepareGltfCodecs();
  GltfCompressedMesh packed;
  CompressGltfMesh(mesh, low, high, grid, true, packed);
  EXPECT_TRUE(mesh.attributes.empty());  // let go once encoded
  ASSERT_EQ(packed.views.size(), 6u);

  // Positions: x spans the 2^14 - 1 steps; y's 1 is 16383 / 8 = 2047.875
  // steps, z's 0.5 half that.
  const std::vector<unsigned char> p = DecodeVertices(packed.views[0]);
  ASSERT_EQ(packed.views[0].stride, 8u);
  const double step = packed.scale;
  EXPECT_NEAR(step, 8.0 / 16383, 1e-9);
  const int expected_low[3] = {0, 0, 0}, expected_high[3] = {16383, 2048, 1024};
  for (int a = 0; a < 3; ++a) {
    EXPECT_EQ(packed.low[a], expected_low[a]) << a;
    EXPECT_EQ(packed.high[a], expected_high[a]) << a;
    EXPECT_EQ(packed.translation[a], 0.0);
  }
  for (size_t v = 0; v < 6; ++v)
    for (size_t a = 0; a < 3; ++a) {
      uint16_t q;
      std::memcpy(&q, &p[8 * v + 2 * a], 2);
      EXPECT_LE(std::fabs(packed.translation[a] + step * q - source.Positions()[3 * v + a]), step / 2) << v << a;
    }

  // Normals: octahedral bytes, the axes exact, the leaning one within 1.3 degrees.
  std::vector<unsigned char> n = DecodeVertices(packed.views[1]);
  EXPECT_TRUE(packed.views[1].octahedral);
  meshopt_decodeFilterOct(n.data(), 6, 4);
  for (size_t v = 0; v < 6; ++v) {
    const double decoded[3] = {static_cast<int8_t>(n[4 * v]) / 127.0, static_cast<int8_t>(n[4 * v + 1]) / 127.0,
                               static_cast<int8_t>(n[4 * v + 2]) / 127.0};
    if (v < 5) {
      for (size_t k = 0; k < 3; ++k) EXPECT_EQ(decoded[k], source.Normals()[3 * v + k]) << v << k;
    } else {
      EXPECT_LT(AngleDegrees(decoded, source.Normals() + 3 * v), 1.3);
    }
  }

  // Texture coordinates: steps of 2^-12 from (-1, 0), at most 2^-13 off.
  const std::vector<unsigned char> t = DecodeVertices(packed.views[2]);
  EXPECT_FALSE(packed.uv_floats);
  for (size_t i = 0; i < 12; ++i) {
    uint16_t q;
    std::memcpy(&q, &t[2 * i], 2);
    EXPECT_LE(std::fabs(grid.offset[i % 2] + q / 4096.0 - source.Uvs()[i]), 1.0 / 8192) << i;
  }
  uint16_t corner4[2];
  std::memcpy(corner4, &t[16], 4);
  EXPECT_EQ(corner4[0], 0);              // u -1 is the offset
  EXPECT_EQ(corner4[1], 2.5 * 4096);     // v 2.5 lies on the grid

  // Colours of whole bytes come back as those bytes.
  const std::vector<unsigned char> c = DecodeVertices(packed.views[3]);
  for (size_t v = 0; v < 6; ++v)
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(c[4 * v + k], 40 * v + 10 * k);

  // Indices: 16-bit triangles and a line, as they were.
  uint16_t triangles[6], line[2];
  EXPECT_EQ(meshopt_decodeIndexBuffer(triangles, 6, 2, packed.views[4].bytes.data(), packed.views[4].bytes.size()), 0);
  EXPECT_EQ(packed.views[4].mode, GltfEncodedView::kTriangles);
  // The codec may start a triangle at another corner; the winding stays.
  const std::vector<std::vector<uint16_t>> turns = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}};
  for (size_t tri = 0; tri < 2; ++tri) {
    bool found = false;
    for (const auto& turn : turns) {
      bool same = true;
      for (size_t k = 0; k < 3; ++k) same = same && triangles[3 * tri + k] == source.primitives[0].indices[3 * tri + turn[k]];
      found = found || same;
    }
    EXPECT_TRUE(found) << tri;
  }
  EXPECT_EQ(meshopt_decodeIndexSequence(line, 2, 2, packed.views[5].bytes.data(), packed.views[5].bytes.size()), 0);
  EXPECT_EQ(packed.views[5].mode, GltfEncodedView::kIndices);
  EXPECT_EQ(line[0], 4);
  EXPECT_EQ(line[1], 5);
}

TEST(CompressGltfMesh, TextureCoordinatesOffTheGridStayFloats) {
  GltfMesh mesh = MakeMesh();
  const double low[3] = {0, 0, 0}, high[3] = {8, 1, 0.5};
  GltfCompressedMesh packed;
  CompressGltfMesh(mesh, low, high, GltfUvGrid(), false, packed);
  EXPECT_TRUE(packed.uv_floats);
  const std::vector<unsigned char> t = DecodeVertices(packed.views[2]);
  ASSERT_EQ(packed.views[2].stride, 8u);
  float v4[2];
  std::memcpy(v4, &t[32], 8);
  EXPECT_EQ(v4[0], -1.0f);
  EXPECT_EQ(v4[1], 2.5f);
  EXPECT_EQ(packed.views[4].stride, 4u);  // 32-bit indices
}

TEST(CompressGltfMesh, PositionsAFewOfTheSmallestFloatsApartGetAGrid) {
  // The first guess at the step rounds to zero; the grid still spans them.
  GltfMesh mesh = MakeMesh();
  const float tiny = std::numeric_limits<float>::denorm_min();
  for (size_t v = 0; v < 6; ++v)
    for (size_t k = 0; k < 3; ++k) mesh.attributes[3 * v + k] = static_cast<float>(v % 3) * tiny;
  const double low[3] = {0, 0, 0}, high[3] = {2.0 * tiny, 2.0 * tiny, 2.0 * tiny};
  GltfCompressedMesh packed;
  CompressGltfMesh(mesh, low, high, GltfUvGrid(), false, packed);
  EXPECT_GT(packed.scale, 0.0);
  EXPECT_GE(packed.scale * ((1 << kGltfPositionBits) - 1), 2.0 * tiny);
  EXPECT_EQ(packed.low[0], 0);
  EXPECT_GE(packed.high[0], 1);
}

TEST(ChooseGltfUvGrid, WholeNumberOffsetWhenTheCoordinatesSpanLessThanSixteen) {
  const auto grid_of = [](std::vector<float> uv) {
    WScene scene;
    WObject& o = AddObjectAt(scene, "o", {{0, 0, 0}});
    for (size_t i = 0; i + 1 < uv.size(); i += 2) AddUvAt(o, uv[i], uv[i + 1]);
    return ChooseGltfUvGrid(scene);
  };
  EXPECT_FALSE(grid_of({}).quantized);  // nothing to quantise
  GltfUvGrid g = grid_of({0.25f, 3.0f, 0.5f, 0.75f});
  EXPECT_TRUE(g.quantized);
  EXPECT_EQ(g.offset[0], 0.0f);
  EXPECT_EQ(g.offset[1], 0.0f);
  // The lowest value rounds down to a whole number; 0 is always in range,
  // for corners without a texture coordinate.
  g = grid_of({-1.5f, 2.0f, 0.5f, -0.25f});
  EXPECT_TRUE(g.quantized);
  EXPECT_EQ(g.offset[0], -2.0f);
  EXPECT_EQ(g.offset[1], -1.0f);
  EXPECT_TRUE(grid_of({15.9f, 0.0f}).quantized);
  EXPECT_FALSE(grid_of({16.5f, 0.0f}).quantized);      // 0 .. 16.5 is too wide
  EXPECT_FALSE(grid_of({0.0f, 0.0f, 0.0f, -17.0f}).quantized);
  // A coordinate that is not finite is left to the write to refuse.
  EXPECT_TRUE(grid_of({std::numeric_limits<float>::quiet_NaN(), 0.5f}).quantized);
}

TEST(EncodeOctahedral, AxesComeBackExactly) {
  const float axes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  // On the octahedron: +z at its centre, -z folded out to a corner.
  const int8_t expected[6][2] = {{127, 0}, {-127, 0}, {0, 127}, {0, -127}, {0, 0}, {127, 127}};
  int8_t bytes[24];
  for (int i = 0; i < 6; ++i) {
    EncodeOctahedral(axes[i][0], axes[i][1], axes[i][2], 8, bytes + 4 * i);
    EXPECT_EQ(bytes[4 * i], expected[i][0]) << i;
    EXPECT_EQ(bytes[4 * i + 1], expected[i][1]) << i;
    EXPECT_EQ(bytes[4 * i + 2], 127) << i;
  }
  meshopt_decodeFilterOct(bytes, 6, 4);
  for (int i = 0; i < 6; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(bytes[4 * i + k], 127 * axes[i][k]) << i << k;
}
