// Quantisation and encoding of a glTF mesh for --compress. The integers are
// made here, in the library's own arithmetic, so that every platform writes
// the same; meshoptimizer's codecs, which work on integers alone, encode
// them.
#include "w_lib/writers/gltf/gltf_mesh_compression.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "w_lib/util/parallel.h"

namespace {

constexpr int kPositionMax = (1 << kGltfPositionBits) - 1;
// Vertices from which a mesh's arrays are encoded on several threads.
constexpr size_t kVerticesToShare = size_t{1} << 16;
constexpr double kUvMax = 65535.0;

// Encodes count vertices of stride bytes each.
GltfEncodedView EncodeVertices(const void* vertices, size_t count, size_t stride) {
  GltfEncodedView view;
  view.count = count;
  view.stride = stride;
  view.bytes.resize(meshopt_encodeVertexBufferBound(count, stride));
  view.bytes.resize(meshopt_encodeVertexBuffer(view.bytes.data(), view.bytes.size(), vertices, count, stride));
  view.bytes.shrink_to_fit();
  return view;
}

GltfEncodedView EncodeIndices(const GltfPrimitive& p, size_t vertex_count, bool short_indices) {
  GltfEncodedView view;
  view.count = p.indices.size();
  view.stride = short_indices ? 2 : 4;
  if (p.mode == kGltfTriangles) {
    view.mode = GltfEncodedView::kTriangles;
    view.bytes.resize(meshopt_encodeIndexBufferBound(p.indices.size(), vertex_count));
    view.bytes.resize(
        meshopt_encodeIndexBuffer(view.bytes.data(), view.bytes.size(), p.indices.data(), p.indices.size()));
  } else {
    view.mode = GltfEncodedView::kIndices;
    view.bytes.resize(meshopt_encodeIndexSequenceBound(p.indices.size(), vertex_count));
    view.bytes.resize(
        meshopt_encodeIndexSequence(view.bytes.data(), view.bytes.size(), p.indices.data(), p.indices.size()));
  }
  view.bytes.shrink_to_fit();
  return view;
}

// The float step of the position grid: the smallest that spans extent in
// kPositionMax steps, so that no position needs more. An extent of a few
// of the smallest floats rounds the first guess to zero, from which the
// search steps up (towards twice zero it would stay).
float PositionStep(double extent) {
  if (!(extent > 0.0)) return 1.0f;
  float step = static_cast<float>(extent / kPositionMax);
  while (static_cast<double>(step) * kPositionMax < extent) step = std::nextafter(step, HUGE_VALF);
  return step;
}

int Clamped(long value, int high) { return value < 0 ? 0 : (value > high ? high : static_cast<int>(value)); }

// Sets the grid and the bounds of compressed; returns the positions' view.
GltfEncodedView QuantizePositions(const GltfMesh& mesh, const double low[3], const double high[3],
                                  GltfCompressedMesh& compressed) {
  const size_t n = mesh.VertexCount();
  double extent = 0.0;
  for (int a = 0; a < 3; ++a) extent = std::max(extent, high[a] - low[a]);
  const double step = PositionStep(extent);
  for (int a = 0; a < 3; ++a) compressed.translation[a] = low[a];
  compressed.scale = step;
  std::vector<uint16_t> q(4 * n, 0);
  int lo[3] = {kPositionMax, kPositionMax, kPositionMax}, hi[3] = {0, 0, 0};
  const float* p = mesh.Positions();
  for (size_t v = 0; v < n; ++v)
    for (int a = 0; a < 3; ++a) {
      const int value = Clamped(std::lround((static_cast<double>(p[3 * v + a]) - low[a]) / step), kPositionMax);
      q[4 * v + a] = static_cast<uint16_t>(value);
      lo[a] = std::min(lo[a], value);
      hi[a] = std::max(hi[a], value);
    }
  for (int a = 0; a < 3; ++a) {
    compressed.low[a] = n > 0 ? lo[a] : 0;
    compressed.high[a] = hi[a];
  }
  return EncodeVertices(q.data(), n, 4 * sizeof(uint16_t));
}

GltfEncodedView EncodeNormals(const GltfMesh& mesh) {
  const size_t n = mesh.VertexCount();
  std::vector<int8_t> q(4 * n);
  const float* normal = mesh.Normals();
  for (size_t v = 0; v < n; ++v)
    EncodeOctahedral(normal[3 * v], normal[3 * v + 1], normal[3 * v + 2], kGltfNormalBits, &q[4 * v]);
  GltfEncodedView view = EncodeVertices(q.data(), n, 4);
  view.octahedral = true;
  return view;
}

GltfEncodedView EncodeUvs(const GltfMesh& mesh, const GltfUvGrid& grid) {
  const size_t n = mesh.VertexCount();
  const float* uv = mesh.Uvs();
  if (!grid.quantized) return EncodeVertices(uv, n, 2 * sizeof(float));
  std::vector<uint16_t> q(2 * n);
  for (size_t i = 0; i < 2 * n; ++i) {
    const double units = (static_cast<double>(uv[i]) - grid.offset[i % 2]) / GltfUvGrid::kStep;
    q[i] = static_cast<uint16_t>(Clamped(std::lround(units), static_cast<int>(kUvMax)));
  }
  return EncodeVertices(q.data(), n, 2 * sizeof(uint16_t));
}

GltfEncodedView EncodeColors(const GltfMesh& mesh) {
  const size_t n = mesh.VertexCount();
  std::vector<uint8_t> q(4 * n);
  const float* color = mesh.Colors();
  for (size_t i = 0; i < 4 * n; ++i) q[i] = static_cast<uint8_t>(Clamped(std::lround(color[i] * 255.0f), 255));
  return EncodeVertices(q.data(), n, 4);
}

// A signed normalised integer of bits bits for v in -1..1, rounded half away
// from zero, as the filter's decoder reads it.
int SignedNormalized(float v, int bits) {
  const float scale = static_cast<float>((1 << (bits - 1)) - 1);
  v = v >= -1.0f ? v : -1.0f;
  v = v <= 1.0f ? v : 1.0f;
  const float scaled = v * scale;
  return static_cast<int>(scaled + (v >= 0.0f ? 0.5f : -0.5f));
}

}  // namespace

void EncodeOctahedral(float x, float y, float z, int bits, int8_t out[4]) {
  // Onto the octahedron |x| + |y| + |z| = 1; the lower half folds out over
  // the diagonals.
  const float length = std::fabs(x) + std::fabs(y) + std::fabs(z);
  const float inverse = length == 0.0f ? 0.0f : 1.0f / length;
  const float ox = x * inverse, oy = y * inverse;
  const float u = z >= 0.0f ? ox : (1.0f - std::fabs(oy)) * (ox >= 0.0f ? 1.0f : -1.0f);
  const float v = z >= 0.0f ? oy : (1.0f - std::fabs(ox)) * (oy >= 0.0f ? 1.0f : -1.0f);
  out[0] = static_cast<int8_t>(SignedNormalized(u, bits));
  out[1] = static_cast<int8_t>(SignedNormalized(v, bits));
  out[2] = static_cast<int8_t>((1 << (bits - 1)) - 1);
  out[3] = 0;
}

GltfUvGrid ChooseGltfUvGrid(const WScene& scene) {
  // 0 is in the range: a corner without a texture coordinate is written as (0, 0).
  double low[2] = {0.0, 0.0}, high[2] = {0.0, 0.0};
  bool any = false;
  for (int o = 0; o < scene.onum; ++o) {
    const WObject& object = scene.objects[o];
    for (int t = 0; t < object.unum; ++t) {
      const double value[2] = {object.uvs[t].u, object.uvs[t].v};
      for (int a = 0; a < 2; ++a) {
        if (!std::isfinite(value[a])) continue;  // the write fails on it
        low[a] = std::min(low[a], value[a]);
        high[a] = std::max(high[a], value[a]);
      }
      any = true;
    }
  }
  GltfUvGrid grid;
  if (!any) return grid;
  grid.quantized = true;
  for (int a = 0; a < 2; ++a) {
    grid.offset[a] = static_cast<float>(std::floor(low[a]));
    if ((high[a] - grid.offset[a]) / GltfUvGrid::kStep > kUvMax) grid.quantized = false;
  }
  if (!grid.quantized) grid.offset[0] = grid.offset[1] = 0.0f;
  return grid;
}

void PrepareGltfCodecs() {
  // Version 0 of the vertex codec is the extension's; version 1 of the
  // index codec is what it reads and what compresses triangles best.
  meshopt_encodeVertexVersion(0);
  meshopt_encodeIndexVersion(1);
}

void CompressGltfMesh(GltfMesh& mesh, const double low[3], const double high[3], const GltfUvGrid& uv_grid,
                      bool short_indices, GltfCompressedMesh& compressed) {
  compressed = GltfCompressedMesh();
  const size_t n = mesh.VertexCount();
  compressed.uv_floats = !uv_grid.quantized;
  // Each array is encoded on its own, a large mesh's on the machine's threads.
  std::vector<std::function<GltfEncodedView()>> encode;
  encode.push_back([&] { return QuantizePositions(mesh, low, high, compressed); });
  if (mesh.Normals()) encode.push_back([&] { return EncodeNormals(mesh); });
  if (mesh.Uvs()) encode.push_back([&] { return EncodeUvs(mesh, uv_grid); });
  if (mesh.Colors()) encode.push_back([&] { return EncodeColors(mesh); });
  for (const GltfPrimitive& p : mesh.primitives)
    encode.push_back([&, primitive = &p] { return EncodeIndices(*primitive, n, short_indices); });
  compressed.views.resize(encode.size());
  ParallelFor(encode.size(), n >= kVerticesToShare ? 1 : encode.size(), [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) compressed.views[i] = encode[i]();
  });
  std::vector<float>().swap(mesh.attributes);
  for (GltfPrimitive& p : mesh.primitives) std::vector<uint32_t>().swap(p.indices);
}
