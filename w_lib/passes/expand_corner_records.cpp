// Expanding corner attribute records: every corner gets a colour or normal
// record of its own, made from the value it holds itself; the fused forms
// share equal ones per vertex in the same walk.
#include <cstdint>
#include <new>
#include <vector>

#include "w_lib/passes/corner_record_kinds.h"

using namespace corner_records;

namespace {

// Replaces all records of the kind with one new record per corner, made
// from the corner's own value (value: face, corner -> record value).
template <class R, class Value>
void Expand(WObject& object, const Kind<R>& kind, const Value& value) {
  MarkAll(object, kind);
  object.Compact();
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
  MarkAll(object, kind);
  object.Compact();
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

}  // namespace

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

void ExpandColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandColors(o); }); }
void ExpandNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandNormals(o); }); }
void ExpandWeldColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandWeldColors(o); }); }
void ExpandWeldNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { ExpandWeldNormals(o); }); }
