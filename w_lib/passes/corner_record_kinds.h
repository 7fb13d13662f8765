// What the passes over corner attribute records share: the three kinds of
// record that face corners name by index (texture coordinates, colours,
// normals), exact equality of their values with a hash that agrees with it,
// and the purge of the records that no corner names.
#pragma once

#include <cstdint>

#include "w_lib/passes/first_equal_per_vertex.h"
#include "w_lib/w_scene.h"

namespace corner_records {

inline uint32_t Combine(uint32_t h, float f) { return (h ^ EqualityBits(f)) * 0x9e3779b1u + 0x7f4a7c15u; }

inline bool Same(const WUv& a, const WUv& b) { return a.u == b.u && a.v == b.v; }
inline bool Same(const WVertexColor& a, const WVertexColor& b) { return a.col == b.col; }
inline bool Same(const WNormal& a, const WNormal& b) { return a.normal == b.normal; }

// A value with a NaN equals nothing, itself included.
template <class R>
bool Comparable(const R& r) {
  return Same(r, r);
}

inline uint32_t Hash(const WUv& r) { return Combine(Combine(0, r.u), r.v); }
inline uint32_t Hash(const WVertexColor& r) {
  return Combine(Combine(Combine(Combine(0, r.col.r), r.col.g), r.col.b), r.col.a);
}
inline uint32_t Hash(const WNormal& r) { return Combine(Combine(Combine(0, r.normal.x), r.normal.y), r.normal.z); }

// One kind of record: its array in the object and its index per corner.
template <class R>
struct Kind {
  R* WObject::*block;
  int WObject::*count;
  int WObject::*capacity;
  int* (*index)(WFace& face);  // the face's corner indices of the kind
};

inline const Kind<WUv> kUvs{&WObject::uvs, &WObject::unum, &WObject::umax, [](WFace& f) { return f.vt(); }};
inline const Kind<WVertexColor> kColors{&WObject::colors, &WObject::cnum, &WObject::cmax,
                                        [](WFace& f) { return f.vc(); }};
inline const Kind<WNormal> kNormals{&WObject::normals, &WObject::nnum, &WObject::nmax,
                                    [](WFace& f) { return f.vn(); }};

inline bool Names(int index, int count) { return index >= 0 && index < count; }

// Marks every record of the kind deleted, with no merge target.
template <class R>
void MarkAll(WObject& object, const Kind<R>& kind) {
  R* records = object.*kind.block;
  for (int i = 0; i < object.*kind.count; ++i) {
    records[i].flags |= kDeleted;
    records[i].remap = -1;
  }
}

// Deletes the records that no corner names.
template <class R>
void Purge(WObject& object, const Kind<R>& kind) {
  MarkAll(object, kind);
  R* records = object.*kind.block;
  const int count = object.*kind.count;
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    const int* index = kind.index(object.faces[f]);
    for (int k = 0; k < face.num; ++k)
      if (Names(index[k], count)) records[index[k]].flags &= ~kDeleted;
  }
  object.Compact();
}

// op(object) on every object of the scene, in index order.
template <class Op>
void ForEachObject(WScene& scene, Op op) {
  for (int o = 0; o < scene.onum; ++o) op(scene.objects[o]);
}

}  // namespace corner_records
