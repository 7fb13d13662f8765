// WObject: faces, keys and corner counts.
#include "w_lib/w_scene.h"

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
