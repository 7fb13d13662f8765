// The order of a glTF mesh's triangles and vertices, made by meshoptimizer:
// triangles for the GPU's vertex cache, vertices in the order the triangles
// first use them. Only the order changes, never what is drawn.
#include <meshoptimizer.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "w_lib/util/parallel.h"
#include "w_lib/writers/gltf/gltf_mesh.h"

namespace {

// A run of one primitive's triangles that is ordered on its own.
struct Chunk {
  uint32_t* indices;
  size_t count;  // indices, three a triangle
};

constexpr uint32_t kUnused = ~0u;

// For each triangle it places, the optimiser visits every triangle of the
// vertices it keeps in its cache: a vertex that a whole chunk shares (the
// fan of a polygon of a million corners) makes the chunk cost the square
// of its triangles, minutes for a million. A chunk in which one vertex
// serves more triangles than this is ordered in pieces of
// kSharedPieceTriangles triangles, each of which costs at most the square
// of that; no vertex of ordinary meshes comes near it.
constexpr size_t kMostSharedTriangles = 4096;
constexpr size_t kSharedPieceTriangles = 256;

// Moves the triangles that name a vertex twice (they draw nothing) behind
// the others, both in their order; returns the indices of the others.
size_t MoveDegenerateTrianglesLast(const Chunk& chunk, std::vector<uint32_t>& degenerate) {
  degenerate.clear();
  size_t kept = 0;
  for (size_t i = 0; i < chunk.count; i += 3) {
    const uint32_t a = chunk.indices[i], b = chunk.indices[i + 1], c = chunk.indices[i + 2];
    if (a == b || b == c || a == c) {
      degenerate.insert(degenerate.end(), {a, b, c});
    } else {
      chunk.indices[kept++] = a;
      chunk.indices[kept++] = b;
      chunk.indices[kept++] = c;
    }
  }
  std::copy(degenerate.begin(), degenerate.end(), chunk.indices + kept);
  return kept;
}

// Orders the triangles of one chunk. The chunk's vertices are numbered
// from 0 for the optimiser, whose work and memory then grow with the chunk
// and not with the mesh: local_of (one entry per mesh vertex, all kUnused)
// maps the mesh's numbers to the chunk's and is left as it was found.
void OrderChunk(const Chunk& chunk, GltfMeshOrder order, std::vector<uint32_t>& local_of,
                std::vector<uint32_t>& vertex_of, std::vector<uint32_t>& local) {
  vertex_of.clear();
  local.resize(chunk.count);
  std::vector<uint32_t>& uses = local;  // per chunk vertex, until local is filled
  size_t most_uses = 0;
  for (size_t i = 0; i < chunk.count; ++i) {
    uint32_t& l = local_of[chunk.indices[i]];
    if (l == kUnused) {
      l = static_cast<uint32_t>(vertex_of.size());
      vertex_of.push_back(chunk.indices[i]);
      uses[l] = 0;
    }
    most_uses = std::max(most_uses, static_cast<size_t>(++uses[l]));
  }
  if (most_uses > kMostSharedTriangles && chunk.count > 3 * kMostSharedTriangles) {
    for (const uint32_t v : vertex_of) local_of[v] = kUnused;
    // Triangles that draw nothing are left out of the order: a polygon
    // whose corners lie on one point gives nothing else, each of its
    // triangles using its one vertex three times.
    std::vector<uint32_t> degenerate;
    const size_t kept = MoveDegenerateTrianglesLast(chunk, degenerate);
    const size_t piece = 3 * kSharedPieceTriangles;
    for (size_t at = 0; at < kept; at += piece)
      OrderChunk(Chunk{chunk.indices + at, std::min(piece, kept - at)}, order, local_of, vertex_of, local);
    return;
  }
  for (size_t i = 0; i < chunk.count; ++i) local[i] = local_of[chunk.indices[i]];
  if (order == GltfMeshOrder::kStrips)
    meshopt_optimizeVertexCacheStrip(local.data(), local.data(), local.size(), vertex_of.size());
  else
    meshopt_optimizeVertexCache(local.data(), local.data(), local.size(), vertex_of.size());
  for (size_t i = 0; i < chunk.count; ++i) chunk.indices[i] = vertex_of[local[i]];
  for (const uint32_t v : vertex_of) local_of[v] = kUnused;
}

size_t RunIndices(GltfMeshOrder order) {
  return 3 * (order == GltfMeshOrder::kStrips ? kGltfStripChunkTriangles : kGltfOrderChunkTriangles);
}

void OrderTriangles(GltfMesh& mesh, GltfMeshOrder order) {
  const size_t most = RunIndices(order);
  std::vector<Chunk> chunks;
  for (GltfPrimitive& p : mesh.primitives) {
    if (p.mode != kGltfTriangles) continue;
    const size_t count = p.indices.size() - p.indices.size() % 3;
    // The runs ordered while the mesh was built are whole ones.
    const size_t ordered = std::min(p.ordered - p.ordered % most, count);
    for (size_t at = ordered; at < count; at += most)
      chunks.push_back(Chunk{p.indices.data() + at, std::min(most, count - at)});
  }
  // The chunks are fixed by the mesh alone, so the threads change nothing.
  ParallelFor(chunks.size(), 1, [&](size_t begin, size_t end) {
    std::vector<uint32_t> local_of(mesh.VertexCount(), kUnused);
    std::vector<uint32_t> vertex_of, local;
    for (size_t c = begin; c < end; ++c) OrderChunk(chunks[c], order, local_of, vertex_of, local);
  });
}

// Renumbers the vertices in the order in which the triangle primitives,
// one after the other, first use them (meshoptimizer's vertex fetch
// optimisation, which reads triangles only), then the lines; a vertex that
// none uses goes after the rest.
void OrderVertices(GltfMesh& mesh) {
  const size_t n = mesh.VertexCount();
  std::vector<uint32_t> remap(n);
  std::vector<const GltfPrimitive*> triangles;
  for (const GltfPrimitive& p : mesh.primitives)
    if (p.mode == kGltfTriangles && p.indices.size() % 3 == 0) triangles.push_back(&p);
  size_t next = 0;
  if (triangles.empty()) {
    std::fill(remap.begin(), remap.end(), kUnused);
  } else if (triangles.size() == 1) {
    next = meshopt_optimizeVertexFetchRemap(remap.data(), triangles[0]->indices.data(), triangles[0]->indices.size(), n);
  } else {
    std::vector<uint32_t> all;  // their indices end to end
    size_t total = 0;
    for (const GltfPrimitive* p : triangles) total += p->indices.size();
    all.reserve(total);
    for (const GltfPrimitive* p : triangles) all.insert(all.end(), p->indices.begin(), p->indices.end());
    next = meshopt_optimizeVertexFetchRemap(remap.data(), all.data(), all.size(), n);
  }
  for (const GltfPrimitive& p : mesh.primitives)
    if (p.mode != kGltfTriangles)
      for (const uint32_t index : p.indices)
        if (remap[index] == kUnused) remap[index] = static_cast<uint32_t>(next++);
  for (uint32_t& r : remap)
    if (r == kUnused) r = static_cast<uint32_t>(next++);

  for (GltfPrimitive& p : mesh.primitives)
    for (uint32_t& index : p.indices) index = remap[index];
  // Each array through a copy of its own size, so that the mesh grows by
  // its largest array and not by all of them.
  const size_t widths[4] = {3, mesh.normals == GltfMesh::kNone ? 0u : 3u, mesh.uvs == GltfMesh::kNone ? 0u : 2u,
                            mesh.colors == GltfMesh::kNone ? 0u : 4u};
  const size_t offsets[4] = {0, mesh.normals, mesh.uvs, mesh.colors};
  std::vector<float> copy;
  for (size_t a = 0; a < 4; ++a) {
    if (widths[a] == 0) continue;
    float* values = mesh.attributes.data() + offsets[a];
    copy.resize(n * widths[a]);
    meshopt_remapVertexBuffer(copy.data(), values, n, widths[a] * sizeof(float), remap.data());
    std::memcpy(values, copy.data(), copy.size() * sizeof(float));
  }
}

}  // namespace

GltfRunOrder GltfRunOrderOf(GltfMeshOrder order) {
  GltfRunOrder runs;
  runs.run = RunIndices(order);
  runs.make_orderer = [order]() -> GltfRunOrder::Orderer {
    // The lists grow to the largest vertex number that a run names.
    struct Lists {
      std::vector<uint32_t> local_of, vertex_of, local;
    };
    auto lists = std::make_shared<Lists>();
    return [order, lists](uint32_t* indices, size_t count) {
      uint32_t most = 0;
      for (size_t i = 0; i < count; ++i) most = std::max(most, indices[i]);
      if (lists->local_of.size() <= most) lists->local_of.resize(static_cast<size_t>(most) + 1, kUnused);
      OrderChunk(Chunk{indices, count}, order, lists->local_of, lists->vertex_of, lists->local);
    };
  };
  return runs;
}

void OrderGltfMesh(GltfMesh& mesh, GltfMeshOrder order) {
  if (mesh.VertexCount() == 0 || mesh.primitives.empty()) return;
  OrderTriangles(mesh, order);
  OrderVertices(mesh);
}
