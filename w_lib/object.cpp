// WObject lifecycle: reset, copy, move, faces and keys.
#include <utility>

#include "w_lib/w_scene.h"

void WObject::Reset() {
  ReleaseRecords(vertices, vnum, vmax);
  ReleaseRecords(lines, lnum, lmax);
  ReleaseRecords(faces, fnum, fmax);
  ReleaseRecords(uvs, unum, umax);
  ReleaseRecords(normals, nnum, nmax);
  ReleaseRecords(colors, cnum, cmax);
  ReleaseRecords(keys, anum, amax);
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
  CopyRecords(vertices, vnum, vmax, o.vertices, o.vnum, o.vmax);
  CopyRecords(lines, lnum, lmax, o.lines, o.lnum, o.lmax);
  CopyRecords(faces, fnum, fmax, o.faces, o.fnum, o.fmax);
  CopyRecords(uvs, unum, umax, o.uvs, o.unum, o.umax);
  CopyRecords(normals, nnum, nmax, o.normals, o.nnum, o.nmax);
  CopyRecords(colors, cnum, cmax, o.colors, o.cnum, o.cmax);
  CopyRecords(keys, anum, amax, o.keys, o.anum, o.amax);
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
  std::swap(vnum, o.vnum); std::swap(vmax, o.vmax); std::swap(vertices, o.vertices);
  std::swap(lnum, o.lnum); std::swap(lmax, o.lmax); std::swap(lines, o.lines);
  std::swap(fnum, o.fnum); std::swap(fmax, o.fmax); std::swap(faces, o.faces);
  std::swap(unum, o.unum); std::swap(umax, o.umax); std::swap(uvs, o.uvs);
  std::swap(nnum, o.nnum); std::swap(nmax, o.nmax); std::swap(normals, o.normals);
  std::swap(cnum, o.cnum); std::swap(cmax, o.cmax); std::swap(colors, o.colors);
  std::swap(anum, o.anum); std::swap(amax, o.amax); std::swap(keys, o.keys);
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
