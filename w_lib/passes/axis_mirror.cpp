// Axis mirror: reflects an object's geometry across coordinate planes and
// reverses its faces so that they keep facing outward.
#include <utility>

#include "w_lib/w_scene.h"

namespace {

// Reverses the corner order of a face; every corner keeps its attributes.
void ReverseCorners(WFace& face) {
  const int n = face.num;
  for (int i = 0; i < n / 2; ++i) {
    const int j = n - 1 - i;
    std::swap(face.v[i], face.v[j]);
    std::swap(face.vt()[i], face.vt()[j]);
    std::swap(face.vn()[i], face.vn()[j]);
    std::swap(face.vc()[i], face.vc()[j]);
    if (face.corner_normals()) std::swap(face.corner_normals()[i], face.corner_normals()[j]);
    if (face.corner_colors()) std::swap(face.corner_colors()[i], face.corner_colors()[j]);
    if (face.corner_colors2()) std::swap(face.corner_colors2()[i], face.corner_colors2()[j]);
  }
  // Side k runs from corner k to k + 1. Reversed, side k is the old side
  // n - 2 - k, and the closing side n - 1 stays where it is.
  if (int* const e = face.e())
    for (int i = 0; i < (n - 1) / 2; ++i) std::swap(e[i], e[n - 2 - i]);
}

// Negates one component of a face's normals.
void NegateComponent(WFace& face, float WVector::*c) {
  if (face.corner_normals())
    for (int k = 0; k < face.num; ++k) face.corner_normals()[k].*c = -(face.corner_normals()[k].*c);
  face.normal.*c = -(face.normal.*c);
}

// Mirrors a transform across the plane where the given axis is 0: negates
// that translation and the rotations about the two other axes.
void MirrorTransform(WTransform& t, float WVector::*axis) {
  t.translate.*axis = -(t.translate.*axis);
  if (axis != &WVector::x) t.rotate.x = -t.rotate.x;
  if (axis != &WVector::y) t.rotate.y = -t.rotate.y;
  if (axis != &WVector::z) t.rotate.z = -t.rotate.z;
}

void MirrorTransforms(WObject& object, float WVector::*axis) {
  MirrorTransform(object.transform, axis);
  for (int i = 0; i < object.anum; ++i) MirrorTransform(object.keys[i], axis);
}

}  // namespace

void MirrorScene(WScene& scene, unsigned mask) {
  for (int o = 0; o < scene.onum; ++o) MirrorObject(scene.objects[o], mask);
}

void MirrorObject(WObject& object, unsigned mask) {
  float WVector::*const axes[3] = {&WVector::x, &WVector::y, &WVector::z};
  for (int a = 0; a < 3; ++a) {
    if (!(mask & (1u << a))) continue;
    for (int i = 0; i < object.vnum; ++i) {
      WVertex& vertex = object.vertices[i];
      vertex.pos.*axes[a] = -(vertex.pos.*axes[a]);
      // A normal that is not held is the zero vector, which the mirror keeps.
      if (vertex.HoldsExtras()) {
        WVector normal = vertex.normal();
        normal.*axes[a] = -(normal.*axes[a]);
        vertex.SetNormal(normal);
      }
    }
  }
  // Faces are independent of one another, so each goes through all its
  // steps at once: the negated components, then the reversal. The reversal
  // would negate the face and corner normals and the mirror would negate
  // them back, so that they stay the component-negated values; the two
  // cancel exactly and are left out.
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int a = 0; a < 3; ++a)
      if (mask & (1u << a)) NegateComponent(face, axes[a]);
    if (mask & 7u) ReverseCorners(face);
  }
  // The rest of the reversal: the normal records, negated whole.
  if (mask & 7u)
    for (int i = 0; i < object.nnum; ++i) object.normals[i].normal = -object.normals[i].normal;
  if (mask & 16u) MirrorTransforms(object, &WVector::x);
  if (mask & 32u) MirrorTransforms(object, &WVector::y);
  if (mask & 64u) MirrorTransforms(object, &WVector::z);
}

void ReverseObjectFaces(WObject& object) {
  for (int f = 0; f < object.fnum; ++f) ReverseFace(object.faces[f]);
  for (int i = 0; i < object.nnum; ++i) object.normals[i].normal = -object.normals[i].normal;
}

void ReverseObjectFaces(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) ReverseObjectFaces(scene.objects[o]);
}

void ReverseFace(WFace& face) {
  ReverseCorners(face);
  face.normal = -face.normal;
  if (face.corner_normals())
    for (int k = 0; k < face.num; ++k) face.corner_normals()[k] = -face.corner_normals()[k];
}
