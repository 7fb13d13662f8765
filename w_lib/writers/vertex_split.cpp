// Vertex splits for formats that carry one texture coordinate and one colour
// per vertex: every distinct value among a vertex's corners gets a vertex.
#include <climits>
#include <new>
#include <unordered_map>
#include <vector>

#include "w_lib/writers/w_writers.h"

namespace {

// The corners of each vertex, grouped by vertex in one array: the uses of
// vertex v are at[start[v]] .. at[start[v + 1] - 1], in face order and
// within a face in corner order.
struct VertexUses {
  struct Use {
    int face;
    int corner;
  };
  std::vector<size_t> start;
  std::vector<Use> at;

  explicit VertexUses(const WObject& o) : start(static_cast<size_t>(o.vnum) + 1, 0) {
    const int vnum = o.vnum;
    for (int f = 0; f < o.fnum; ++f) {
      const WFace& face = o.faces[f];
      for (int k = 0; k < face.num; ++k)
        if (face.v[k] >= 0 && face.v[k] < vnum) ++start[static_cast<size_t>(face.v[k]) + 1];
    }
    for (int v = 0; v < vnum; ++v) start[v + 1] += start[v];
    at.resize(start[static_cast<size_t>(vnum)]);
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (int f = 0; f < o.fnum; ++f) {
      const WFace& face = o.faces[f];
      for (int k = 0; k < face.num; ++k)
        if (face.v[k] >= 0 && face.v[k] < vnum) at[fill[static_cast<size_t>(face.v[k])]++] = Use{f, k};
    }
  }
};

// Splits the vertices of o by the corner index array `index`, whose valid
// values are -1 .. value_count - 1 (others are told apart all the same).
void SplitBy(WObject& o, int* WFace::*index, int value_count) {
  if (o.vnum <= 0) return;
  const int vnum = o.vnum;
  const VertexUses uses(o);

  // Per value (slot value + 1): the vertex that met it last, and the vertex
  // that its corners go to there. Values out of range take the map, which
  // is emptied after each vertex that used it.
  const size_t slots = static_cast<size_t>(value_count < 0 ? 0 : value_count) + 1;
  std::vector<int> met_at(slots, -1);
  std::vector<int> target_of(slots, -1);
  std::unordered_map<int, int> odd_targets;
  std::vector<int> copied_from;  // per new vertex: the vertex it copies

  for (int v = 0; v < vnum; ++v) {
    const size_t end = uses.start[static_cast<size_t>(v) + 1];
    bool first = true;
    for (size_t u = uses.start[static_cast<size_t>(v)]; u < end; ++u) {
      WFace& face = o.faces[uses.at[u].face];
      const int k = uses.at[u].corner;
      const int value = (face.*index)[k];
      // The first value keeps the vertex; each further one gets the next
      // new vertex, numbered after all earlier ones.
      const int fresh = first ? v : vnum + static_cast<int>(copied_from.size());
      int target;
      if (value >= -1 && value < value_count) {
        const size_t s = static_cast<size_t>(value + 1);
        if (met_at[s] != v) {
          met_at[s] = v;
          target_of[s] = fresh;
          if (!first) copied_from.push_back(v);
        }
        target = target_of[s];
      } else {
        const auto found = odd_targets.emplace(value, fresh);
        if (found.second && !first) copied_from.push_back(v);
        target = found.first->second;
      }
      face.v[k] = target;
      first = false;
    }
    if (!odd_targets.empty()) odd_targets.clear();
  }

  if (copied_from.empty()) return;
  if (copied_from.size() > static_cast<size_t>(INT_MAX - vnum) ||
      !o.ReserveVertices(vnum + static_cast<int>(copied_from.size())))
    throw std::bad_alloc();
  // The block is large enough: no add below moves it.
  for (int source : copied_from) {
    const int added = o.AddVertex();
    o.vertices[added] = o.vertices[source];
  }
}

}  // namespace

bool SplitVerticesByUv(WObject& object) {
  SplitBy(object, &WFace::vt, object.unum);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      const int t = face.vt[k];
      const int v = face.v[k];
      if (t >= 0 && t < object.unum && v >= 0 && v < object.vnum) object.vertices[v].uv = object.uvs[t];
    }
  }
  return true;
}

bool SplitVerticesByColor(WObject& object) {
  SplitBy(object, &WFace::vc, object.cnum);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      const int c = face.vc[k];
      const int v = face.v[k];
      if (c >= 0 && c < object.cnum && v >= 0 && v < object.vnum) object.vertices[v].col = object.colors[c].col;
    }
  }
  return true;
}

bool SplitVerticesByUv(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) SplitVerticesByUv(scene.objects[o]);
  return true;
}

bool SplitVerticesByColor(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) SplitVerticesByColor(scene.objects[o]);
  return true;
}
