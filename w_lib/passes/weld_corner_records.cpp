// Welding corner attribute records: the corners of one vertex whose texture
// coordinates, colours or normals are equal share one record, the first of
// them in face and corner order.
#include "w_lib/passes/corner_record_kinds.h"

using namespace corner_records;

namespace {

// Makes every corner of one vertex whose record equals that of an earlier
// corner of the vertex (faces in order, then corners in order) name the
// earlier corner's record, then purges the records left unnamed.
//
// Equal values form classes, so the earlier corner found is the first of
// its class; that lets a per-vertex lookup stand in for comparing every
// pair of corners around a vertex.
template <class R>
void Weld(WObject& object, const Kind<R>& kind) {
  if (object.vnum <= 0) return;
  const R* records = object.*kind.block;
  const int count = object.*kind.count;
  // Room for one first record per record: reserved, touched only as used.
  FirstEqualPerVertex firsts(object.vnum, static_cast<size_t>(count));
  const auto same = [records](int a, int b) { return Same(records[a], records[b]); };
  const auto hash = [records](int a) { return Hash(records[a]); };
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    int* index = kind.index(face);
    for (int k = 0; k < face.num; ++k) {
      const int v = face.v[k];
      if (v < 0 || v >= object.vnum || !Names(index[k], count) || !Comparable(records[index[k]])) continue;
      index[k] = firsts.FindOrAdd(v, index[k], same, hash);
    }
  }
  Purge(object, kind);
}

}  // namespace

void WeldUvs(WObject& object) { Weld(object, kUvs); }
void WeldUvs(WScene& scene) { ForEachObject(scene, [](WObject& o) { WeldUvs(o); }); }

void WeldColors(WObject& object) { Weld(object, kColors); }
void WeldColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { WeldColors(o); }); }

void WeldNormals(WObject& object) { Weld(object, kNormals); }
void WeldNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { WeldNormals(o); }); }
