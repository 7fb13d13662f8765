// Corner attribute records: texture coordinates, colours and normals that
// face corners name by index. Untextured corners lose their texture
// coordinates, every corner can get a colour or normal record of its own,
// equal records around a vertex are shared, and unused ones are purged.
#include <cstdint>
#include <new>
#include <vector>

#include "w_lib/passes/first_equal_per_vertex.h"
#include "w_lib/w_scene.h"

namespace {

// --- Record values: exact equality, and a hash that agrees with it -------

uint32_t Combine(uint32_t h, float f) { return (h ^ EqualityBits(f)) * 0x9e3779b1u + 0x7f4a7c15u; }

bool Same(const WUv& a, const WUv& b) { return a.u == b.u && a.v == b.v; }
bool Same(const WVertexColor& a, const WVertexColor& b) { return a.col == b.col; }
bool Same(const WNormal& a, const WNormal& b) { return a.normal == b.normal; }

// A value with a NaN equals nothing, itself included.
bool Comparable(const WUv& r) { return Same(r, r); }
bool Comparable(const WVertexColor& r) { return Same(r, r); }
bool Comparable(const WNormal& r) { return Same(r, r); }

uint32_t Hash(const WUv& r) { return Combine(Combine(0, r.u), r.v); }
uint32_t Hash(const WVertexColor& r) {
  return Combine(Combine(Combine(Combine(0, r.col.r), r.col.g), r.col.b), r.col.a);
}
uint32_t Hash(const WNormal& r) { return Combine(Combine(Combine(0, r.normal.x), r.normal.y), r.normal.z); }

// --- One kind of record: its array in the object and its index per corner

template <class R>
struct Kind {
  R* WObject::*block;
  int WObject::*count;
  int WObject::*capacity;
  int* (*index)(WFace& face);  // the face's corner indices of the kind
};

const Kind<WUv> kUvs{&WObject::uvs, &WObject::unum, &WObject::umax, [](WFace& f) { return f.vt(); }};
const Kind<WVertexColor> kColors{&WObject::colors, &WObject::cnum, &WObject::cmax, [](WFace& f) { return f.vc(); }};
const Kind<WNormal> kNormals{&WObject::normals, &WObject::nnum, &WObject::nmax, [](WFace& f) { return f.vn(); }};

bool Names(int index, int count) { return index >= 0 && index < count; }

// Deletes the records that no corner names.
template <class R>
void Purge(WObject& object, const Kind<R>& kind) {
  R* records = object.*kind.block;
  const int count = object.*kind.count;
  for (int i = 0; i < count; ++i) {
    records[i].flags |= kDeleted;
    records[i].remap = -1;
  }
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    const int* index = kind.index(object.faces[f]);
    for (int k = 0; k < face.num; ++k)
      if (Names(index[k], count)) records[index[k]].flags &= ~kDeleted;
  }
  object.Compact();
}

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

// Deletes every record of the kind and compacts: every corner's index of
// the kind becomes -1.
template <class R>
void RemoveAll(WObject& object, const Kind<R>& kind) {
  R* records = object.*kind.block;
  for (int i = 0; i < object.*kind.count; ++i) {
    records[i].flags |= kDeleted;
    records[i].remap = -1;
  }
  object.Compact();
}

// Replaces all records of the kind with one new record per corner, made
// from the corner's own value (value: face, corner -> record value).
template <class R, class Value>
void Expand(WObject& object, const Kind<R>& kind, const Value& value) {
  RemoveAll(object, kind);
  R*& records = object.*kind.block;
  int& count = object.*kind.count;
  int& capacity = object.*kind.capacity;

  // Exact room for one record per corner; without it the records grow as
  // they are added, and a compaction trims them at the end.
  const long long corners = object.CornerCount();
  const bool exact =
      ReserveRecords(records, count, capacity, corners < INT32_MAX ? static_cast<int>(corners) : INT32_MAX);
  for (int f = 0; f < object.fnum; ++f) {
    for (int k = 0; k < object.faces[f].num; ++k) {
      const int i = AddRecord<kGeometryGrowth>(records, count, capacity);
      kind.index(object.faces[f])[k] = i;
      value(records[i], object.faces[f], k);
      // What a compaction would number it: its own index.
      records[i].remap = i;
    }
  }
  if (!exact) object.Compact();
}

// Expand followed by Weld of the same kind, in one walk over the corners:
// a corner whose value equals that of an earlier corner of its vertex names
// that corner's record at once, so the records that the weld would purge
// are never made. The result is the same records in the same order (each
// the first of its value at its vertex, in corner order), the same indices
// and flags.
//
// The walk keeps, for each record to be, only the corner it comes from;
// the records are made afterwards in a block of exactly their number, so
// that no growing block is copied while the walk runs.
template <class R, class Value>
void ExpandWeld(WObject& object, const Kind<R>& kind, const Value& value) {
  if (object.vnum <= 0) {
    Expand(object, kind, value);  // the weld does nothing then
    return;
  }
  RemoveAll(object, kind);
  struct Source {
    int face;
    int corner;
  };
  std::vector<Source> sources;
  sources.reserve(static_cast<size_t>(object.vnum));
  const auto record_of = [&](int r) {
    R record;
    const Source& s = sources[static_cast<size_t>(r)];
    value(record, object.faces[s.face], s.corner);
    return record;
  };
  {
    FirstEqualPerVertex firsts(object.vnum, static_cast<size_t>(object.vnum));
    const auto same = [&record_of](int a, int b) { return Same(record_of(a), record_of(b)); };
    const auto hash = [&record_of](int a) { return Hash(record_of(a)); };
    for (int f = 0; f < object.fnum; ++f) {
      WFace& face = object.faces[f];
      for (int k = 0; k < face.num; ++k) {
        if (sources.size() >= static_cast<size_t>(INT32_MAX)) throw std::bad_alloc();
        const int r = static_cast<int>(sources.size());
        sources.push_back(Source{f, k});
        int named = r;
        const int v = face.v[k];
        if (v >= 0 && v < object.vnum && Comparable(record_of(r))) named = firsts.FindOrAdd(v, r, same, hash);
        if (named != r) sources.pop_back();  // an equal record is there already
        kind.index(face)[k] = named;
      }
    }
  }
  R*& records = object.*kind.block;
  int& count = object.*kind.count;
  if (!ReserveRecords(records, count, object.*kind.capacity, static_cast<int>(sources.size())))
    throw std::bad_alloc();
  for (size_t r = 0; r < sources.size(); ++r) {
    records[r] = record_of(static_cast<int>(r));
    records[r].remap = static_cast<int>(r);
  }
  count = static_cast<int>(sources.size());
}

// True when the face's corners can carry texture coordinates: its material
// exists and names an existing texture.
bool Textured(const WScene& scene, const WFace& face) {
  if (face.material < 0 || face.material >= scene.mnum) return false;
  const int tex = scene.materials[face.material].tex;
  return tex >= 0 && tex < scene.tnum;
}

template <class Op>
void ForEachObject(WScene& scene, Op op) {
  for (int o = 0; o < scene.onum; ++o) op(scene.objects[o]);
}

}  // namespace

void DropUntexturedUvs(const WScene& scene, WObject& object) {
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    if (Textured(scene, face)) continue;
    for (int k = 0; k < face.num; ++k) face.vt()[k] = -1;
  }
  // The purge's compaction leaves every array an exact fit with nothing
  // marked, so a second compaction would change nothing.
  Purge(object, kUvs);
}

void PurgeUvs(WObject& object) { Purge(object, kUvs); }
void PurgeColors(WObject& object) { Purge(object, kColors); }
void PurgeNormals(WObject& object) { Purge(object, kNormals); }

void WeldUvs(WObject& object) { Weld(object, kUvs); }
void WeldColors(WObject& object) { Weld(object, kColors); }
void WeldNormals(WObject& object) { Weld(object, kNormals); }

void ExpandColors(WObject& object) {
  Expand(object, kColors, [](WVertexColor& r, const WFace& face, int k) { r.col = face.CornerColor(k); });
}

void ExpandNormals(WObject& object) {
  Expand(object, kNormals, [](WNormal& r, const WFace& face, int k) { r.normal = face.CornerNormal(k); });
}

void ExpandWeldColors(WObject& object) {
  ExpandWeld(object, kColors, [](WVertexColor& r, const WFace& face, int k) { r.col = face.CornerColor(k); });
}

void ExpandWeldNormals(WObject& object) {
  ExpandWeld(object, kNormals, [](WNormal& r, const WFace& face, int k) { r.normal = face.CornerNormal(k); });
}

void DropUntexturedUvs(WScene& scene) {
  ForEachObject(scene, [&scene](WObject& object) { DropUntexturedUvs(scene, object); });
}
void PurgeUvs(WScene& scene) { ForEachObject(scene, [](WObject& o) { PurgeUvs(o); }); }
void PurgeColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { PurgeColors(o); }); }
void PurgeNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { PurgeNormals(o); }); }
void WeldUvs(WScene& scene) { ForEachObject(scene, [](WObject& o) { WeldUvs(o); }); }
void WeldColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { WeldColors(o); }); }
void WeldNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { WeldNormals(o); }); }
void ExpandColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandColors(o); }); }
void ExpandNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandNormals(o); }); }
void ExpandWeldColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandWeldColors(o); }); }
void ExpandWeldNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandWeldNormals(o); }); }
