// WObject lifecycle: reset, copy, move, faces and keys.
#include <utility>

#include "w_lib/w_scene.h"

void WObject::Reset() {
  ForEachArray([this](auto block, auto count, auto capacity) {
    ReleaseRecords(this->*block, this->*count, this->*capacity);
  });
  name.Set(nullptr);
  tag = 0;
  parent = -1;
  flags = 0;
  remap = -1;
  bbox_min = WVector();
  bbox_max = WVector();
  transform = WTransform();
  btransform = WTransform();
}

WObject& WObject::operator=(const WObject& o) {
  if (this == &o) return *this;
  Reset();
  tag = o.tag;
  parent = o.parent;
  flags = o.flags;
  remap = o.remap;
  name = o.name;
  transform = o.transform;
  btransform = o.btransform;
  ForEachArray([this, &o](auto block, auto count, auto capacity) {
    CopyRecords(this->*block, this->*count, this->*capacity, o.*block, o.*count, o.*capacity);
  });
  bbox_min = o.bbox_min;
  bbox_max = o.bbox_max;
  return *this;
}

WObject& WObject::operator=(WObject&& o) noexcept {
  if (this == &o) return *this;
  tag = o.tag;
  parent = o.parent;
  flags = o.flags;
  remap = o.remap;
  name = std::move(o.name);
  transform = o.transform;
  btransform = o.btransform;
  // The arrays trade places: the source releases this object's old ones.
  ForEachArray([this, &o](auto block, auto count, auto capacity) {
    std::swap(this->*block, o.*block);
    std::swap(this->*count, o.*count);
    std::swap(this->*capacity, o.*capacity);
  });
  bbox_min = o.bbox_min;
  bbox_max = o.bbox_max;
  return *this;
}

int WObject::AddFace(int n) {
  const int i = AddRecord<kGeometryGrowth>(faces, fnum, fmax);
  faces[i].Size(n);
  return i;
}

int WObject::FindOrAddKey(int frame) {
  for (int i = 0; i < anum; ++i)
    if (keys[i].frame == frame) return i;
  return AddKey(keys, anum, amax, frame);
}

long long WObject::CornerCount() const {
  long long n = 0;
  for (int f = 0; f < fnum; ++f)
    if (faces[f].num > 0) n += faces[f].num;
  return n;
}
