// Vertex splits for formats that carry one texture coordinate and one colour
// per vertex: every distinct value among a vertex's corners gets a vertex.
#include <climits>
#include <new>
#include <unordered_map>
#include <vector>

#include "w_lib/writer_edits/writer_edits.h"

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

  // The uses of vertices 0 .. vnum - 1; corners naming others are left out.
  VertexUses(const WObject& o, int vnum) : start(static_cast<size_t>(vnum) + 1, 0) {
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

// Renumbers the corners of o's vertices 0 .. vnum - 1 by the corner index
// array indices_of(face), whose valid values are -1 .. value_count - 1
// (others are told apart all the same): the corners of each further value of a vertex
// go to a new vertex, numbered from vnum on. Returns, per new vertex, the
// vertex it copies; the vertices themselves are left to the caller.
template <class IndicesOf>
std::vector<int> SplitCorners(WObject& o, int vnum, IndicesOf indices_of, int value_count) {
  std::vector<int> copied_from;  // per new vertex: the vertex it copies
  if (vnum <= 0) return copied_from;
  const VertexUses uses(o, vnum);

  // Per value (slot value + 1): the vertex that met it last, and the vertex
  // that its corners go to there. Values out of range take the map, which
  // is emptied after each vertex that used it.
  const size_t slots = static_cast<size_t>(value_count < 0 ? 0 : value_count) + 1;
  std::vector<int> met_at(slots, -1);
  std::vector<int> target_of(slots, -1);
  std::unordered_map<int, int> odd_targets;

  for (int v = 0; v < vnum; ++v) {
    const size_t end = uses.start[static_cast<size_t>(v) + 1];
    bool first = true;
    for (size_t u = uses.start[static_cast<size_t>(v)]; u < end; ++u) {
      WFace& face = o.faces[uses.at[u].face];
      const int k = uses.at[u].corner;
      const int value = indices_of(face)[k];
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
  if (copied_from.size() > static_cast<size_t>(INT_MAX - vnum)) throw std::bad_alloc();
  return copied_from;
}

// Makes room for n vertices in all.
void ReserveVertexTotal(WObject& o, size_t n) {
  if (n > static_cast<size_t>(INT_MAX) || !o.ReserveVertices(static_cast<int>(n))) throw std::bad_alloc();
}

// Appends the copies of the vertices that copied_from names, in order. The
// block must have room for them: no add moves it.
void AppendCopies(WObject& o, const std::vector<int>& copied_from) {
  for (int source : copied_from) {
    const int added = o.AddVertex();
    o.vertices[added] = o.vertices[source];
  }
}

// Every corner whose record index (record_of(face)[k]) is below count
// copies that record into its vertex: copy(vertex, index).
template <class RecordOf, class Copy>
void CopyCornerRecordsToVertices(WObject& o, int count, RecordOf record_of, Copy copy) {
  for (int f = 0; f < o.fnum; ++f) {
    const WFace& face = o.faces[f];
    const int* records = record_of(face);
    for (int k = 0; k < face.num; ++k) {
      const int r = records[k];
      const int v = face.v[k];
      if (r >= 0 && r < count && v >= 0 && v < o.vnum) copy(o.vertices[v], r);
    }
  }
}

void CopyUvsToVertices(WObject& o) {
  CopyCornerRecordsToVertices(o, o.unum, [](const WFace& face) { return face.vt(); },
                              [&](WVertex& vertex, int t) { vertex.SetUv(o.uvs[t]); });
}

void CopyColorsToVertices(WObject& o) {
  CopyCornerRecordsToVertices(o, o.cnum, [](const WFace& face) { return face.vc(); },
                              [&](WVertex& vertex, int c) { vertex.SetCol(o.colors[c].col); });
}

// The corner arrays that the splits go by, as types of their own so that
// each split is compiled with its array's lookup inline.
constexpr auto kUvIndices = [](const WFace& face) { return face.vt(); };
constexpr auto kColorIndices = [](const WFace& face) { return face.vc(); };

template <class IndicesOf>
void SplitBy(WObject& o, IndicesOf indices_of, int value_count) {
  const std::vector<int> copied_from = SplitCorners(o, o.vnum, indices_of, value_count);
  if (copied_from.empty()) return;
  ReserveVertexTotal(o, static_cast<size_t>(o.vnum) + copied_from.size());
  AppendCopies(o, copied_from);
}

}  // namespace

bool SplitVerticesByUv(WObject& object) {
  SplitBy(object, kUvIndices, object.unum);
  CopyUvsToVertices(object);
  return true;
}

bool SplitVerticesByColor(WObject& object) {
  SplitBy(object, kColorIndices, object.cnum);
  CopyColorsToVertices(object);
  return true;
}

// Both corner renumberings run before any vertex is copied, so that the
// vertex block grows once. The texture coordinates go to their vertices
// between the two renumberings, as in the two splits one after the other:
// those of the texture split's copies, which do not exist yet, are kept
// aside and given to the copies when they are made.
bool SplitVerticesByUvAndColor(WObject& object) {
  const int vnum = object.vnum;
  const std::vector<int> by_uv = SplitCorners(object, vnum, kUvIndices, object.unum);
  const int uv_vnum = vnum + static_cast<int>(by_uv.size());
  std::vector<WUv> copy_uvs(by_uv.size());
  for (size_t i = 0; i < by_uv.size(); ++i) copy_uvs[i] = object.vertices[by_uv[i]].uv();
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      const int t = face.vt()[k];
      const int v = face.v[k];
      if (t < 0 || t >= object.unum || v < 0 || v >= uv_vnum) continue;
      if (v < vnum)
        object.vertices[v].SetUv(object.uvs[t]);
      else
        copy_uvs[static_cast<size_t>(v - vnum)] = object.uvs[t];
    }
  }
  const std::vector<int> by_color = SplitCorners(object, uv_vnum, kColorIndices, object.cnum);
  if (by_uv.size() + by_color.size() > 0)
    ReserveVertexTotal(object, static_cast<size_t>(uv_vnum) + by_color.size());
  AppendCopies(object, by_uv);
  for (size_t i = 0; i < copy_uvs.size(); ++i) object.vertices[vnum + static_cast<int>(i)].SetUv(copy_uvs[i]);
  AppendCopies(object, by_color);
  CopyColorsToVertices(object);
  return true;
}

VertexRecords SplitVerticesNamingRecords(WObject& object) {
  // The steps of SplitVerticesByUvAndColor, each copy into a vertex an index.
  const int vnum = object.vnum;
  const std::vector<int> by_uv = SplitCorners(object, vnum, kUvIndices, object.unum);
  const int uv_vnum = vnum + static_cast<int>(by_uv.size());
  VertexRecords records;
  records.uv.assign(static_cast<size_t>(uv_vnum), -1);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      const int t = face.vt()[k];
      const int v = face.v[k];
      if (t >= 0 && t < object.unum && v >= 0 && v < uv_vnum) records.uv[static_cast<size_t>(v)] = t;
    }
  }
  const std::vector<int> by_color = SplitCorners(object, uv_vnum, kColorIndices, object.cnum);
  if (by_uv.size() + by_color.size() > 0)
    ReserveVertexTotal(object, static_cast<size_t>(uv_vnum) + by_color.size());
  AppendCopies(object, by_uv);
  AppendCopies(object, by_color);
  // A copy for a colour takes its vertex's texture coordinate with it.
  records.uv.reserve(static_cast<size_t>(object.vnum));
  for (int source : by_color) records.uv.push_back(records.uv[static_cast<size_t>(source)]);
  records.color.assign(static_cast<size_t>(object.vnum), -1);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      const int c = face.vc()[k];
      const int v = face.v[k];
      if (c >= 0 && c < object.cnum && v >= 0 && v < object.vnum) records.color[static_cast<size_t>(v)] = c;
    }
  }
  return records;
}

bool SplitVerticesByUv(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) SplitVerticesByUv(scene.objects[o]);
  return true;
}

bool SplitVerticesByColor(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) SplitVerticesByColor(scene.objects[o]);
  return true;
}

bool SplitVerticesByUvAndColor(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) SplitVerticesByUvAndColor(scene.objects[o]);
  return true;
}
