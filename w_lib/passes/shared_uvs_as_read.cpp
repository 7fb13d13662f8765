// Texture-coordinate records made as the faces are read, already shared
// per vertex: the records that DropUntexturedUvs and WeldUvs leave after
// the faces have been turned round once, without a record per corner in
// between.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "w_lib/passes/first_equal_per_vertex.h"
#include "w_lib/w_scene.h"

namespace {

bool Same(const WUv& a, const WUv& b) { return a.u == b.u && a.v == b.v; }
// A value with a NaN equals nothing, itself included.
bool Comparable(const WUv& t) { return Same(t, t); }
uint32_t Hash(const WUv& t) {
  const uint32_t h = (EqualityBits(t.u) * 0x9e3779b1u + 0x7f4a7c15u) ^ EqualityBits(t.v);
  return h * 0x9e3779b1u + 0x7f4a7c15u;
}

// The entry that stands for the value looked up, which has no record yet.
constexpr int kProbe = -3;

}  // namespace

struct WSharedUvMaker::Lookup {
  explicit Lookup(int vertex_count) : firsts(vertex_count, 0) {}
  FirstEqualPerVertex firsts;
};

WSharedUvMaker::WSharedUvMaker(const WScene& scene, WObject& object)
    : scene_(scene), object_(object), lookup_(new Lookup(object.vnum)) {}

WSharedUvMaker::~WSharedUvMaker() = default;

bool WSharedUvMaker::Textured(const WFace& face) const {
  if (face.material < 0 || face.material >= scene_.mnum) return false;
  const int tex = scene_.materials[face.material].tex;
  return tex >= 0 && tex < scene_.tnum;
}

void WSharedUvMaker::SetFaceUvs(int f, const WUv* values) {
  WFace& face = object_.faces[f];
  const int n = face.num;
  int* const vt = face.vt();
  if (n <= 0) return;
  if (!Textured(face)) {
    for (int k = 0; k < n; ++k) vt[k] = -1;
    return;
  }
  WObject& o = object_;
  WUv probe;
  const auto value = [&o, &probe](int entry) -> const WUv& { return entry == kProbe ? probe : o.uvs[entry]; };
  const auto same = [&value](int a, int b) { return Same(value(a), value(b)); };
  const auto hash = [&value](int a) { return Hash(value(a)); };

  // What each corner takes, decided in the order in which the weld visits a
  // turned face (last corner first): a record of an earlier face (>= 0), a
  // new record (kNew, kNewShared when later corners may share it), or the
  // new record of a corner j of this face visited before it (-10 - j).
  constexpr int kNew = -1;
  constexpr int kNewShared = -2;
  std::vector<int>& take = take_;
  take.assign(static_cast<size_t>(n), kNew);
  // The corners of this face with a new shared record, by vertex: a plain
  // walk for small faces, a map for large ones.
  const bool large = n > 16;
  std::unordered_multimap<int, int>& in_face = in_face_;
  in_face.clear();
  const auto find_in_face = [&](int v, const WUv& t) {
    if (large) {
      const auto range = in_face.equal_range(v);
      for (auto i = range.first; i != range.second; ++i)
        if (Same(values[i->second], t)) return i->second;
      return -1;
    }
    for (int j = n - 1; j >= 0; --j)
      if (take[static_cast<size_t>(j)] == kNewShared && face.v[j] == v && Same(values[j], t)) return j;
    return -1;
  };
  for (int k = n - 1; k >= 0; --k) {
    const int v = face.v[k];
    if (v < 0 || v >= o.vnum || !Comparable(values[k])) continue;  // a record of its own
    const int j = find_in_face(v, values[k]);
    if (j >= 0) {
      take[static_cast<size_t>(k)] = -10 - j;
      continue;
    }
    probe = values[k];
    const int found = lookup_->firsts.Find(v, kProbe, same, Hash(probe));
    if (found >= 0) {
      take[static_cast<size_t>(k)] = found;
      continue;
    }
    take[static_cast<size_t>(k)] = kNewShared;
    if (large) in_face.emplace(v, k);
  }
  // The new records in corner order, as one record per corner would have
  // come; then the corners that share one.
  for (int k = 0; k < n; ++k) {
    const int t = take[static_cast<size_t>(k)];
    if (t != kNew && t != kNewShared) continue;
    const int r = o.AddUv();
    o.uvs[r] = WUv(values[k].u, values[k].v);
    vt[k] = r;
    if (t == kNewShared) lookup_->firsts.FindOrAdd(face.v[k], r, same, hash);
  }
  for (int k = 0; k < n; ++k) {
    const int t = take[static_cast<size_t>(k)];
    if (t >= 0) vt[k] = t;
    if (t <= -10) vt[k] = vt[-10 - t];
  }
}
