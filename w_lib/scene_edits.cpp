// Scene edits that prepare a working copy for writers: texture-coordinate
// flips, removal of face edges, loose lines made faces, frozen transforms.
#include <climits>
#include <new>

#include "w_lib/w_scene.h"

namespace {

// 1 - value, formed in double precision and stored as a float.
float OneMinus(float value) { return static_cast<float>(1.0 - static_cast<double>(value)); }

template <class ObjectEdit>
void ForEachObject(WScene& scene, ObjectEdit edit) {
  for (int o = 0; o < scene.onum; ++o) edit(scene.objects[o]);
}

}  // namespace

// p x M for the row vector (x, y, z, 1), divided by its fourth component
// when that is clearly positive.
WVector TransformPoint(const WVector& p, const WMatrix& m) {
  const float (&a)[4][4] = m.m;
  WVector r(p.x * a[0][0] + p.y * a[1][0] + p.z * a[2][0] + a[3][0],
            p.x * a[0][1] + p.y * a[1][1] + p.z * a[2][1] + a[3][1],
            p.x * a[0][2] + p.y * a[1][2] + p.z * a[2][2] + a[3][2]);
  const float w = p.x * a[0][3] + p.y * a[1][3] + p.z * a[2][3] + a[3][3];
  if (static_cast<double>(w) > 0.0001) {
    r.x /= w;
    r.y /= w;
    r.z /= w;
  }
  return r;
}

// d x M without the translation row, normalised (zero stays zero).
WVector TransformDirection(const WVector& d, const WMatrix& m) {
  const float (&a)[4][4] = m.m;
  WVector r(d.x * a[0][0] + d.y * a[1][0] + d.z * a[2][0],
            d.x * a[0][1] + d.y * a[1][1] + d.z * a[2][1],
            d.x * a[0][2] + d.y * a[1][2] + d.z * a[2][2]);
  return r.Normalize();
}

void FlipUvs(WObject& object, unsigned mask) {
  if (mask & kFlipU)
    for (int i = 0; i < object.unum; ++i) object.uvs[i].u = OneMinus(object.uvs[i].u);
  if (mask & kFlipV)
    for (int i = 0; i < object.unum; ++i) object.uvs[i].v = OneMinus(object.uvs[i].v);
}

void DropFaceEdges(WObject& object) {
  if (object.vnum == 0) return;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      const int line = face.e()[k];
      if (line >= 0 && line < object.lnum) {
        object.lines[line].flags |= kDeleted;
        object.lines[line].remap = -1;
      } else {
        face.e()[k] = -1;  // names no line: nothing to keep it for
      }
    }
  }
  object.Compact();
}

void LinesToFaces(WObject& object) {
  const int lines = object.lnum;
  if (object.fnum > INT_MAX - lines || !object.ReserveFaces(object.fnum + lines)) throw std::bad_alloc();
  for (int i = 0; i < lines; ++i) {
    const int f = object.AddFace(2);
    WLine& line = object.lines[i];
    object.faces[f].v[0] = line.v[0];
    object.faces[f].v[1] = line.v[1];
    line.flags |= kDeleted;
    line.remap = -1;
  }
  object.Compact();
}

void FreezeTransforms(WObject& object) {
  const WMatrix m = object.transform.world_matrix;
  for (int i = 0; i < object.vnum; ++i) object.vertices[i].pos = TransformPoint(object.vertices[i].pos, m);
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    face.normal = TransformDirection(face.normal, m);
    if (face.corner_normals())
      for (int k = 0; k < face.num; ++k) face.corner_normals()[k] = TransformDirection(face.corner_normals()[k], m);
  }
  for (int i = 0; i < object.nnum; ++i) object.normals[i].normal = TransformDirection(object.normals[i].normal, m);

  // Flags, frame and channels stay; the transform itself becomes neutral.
  WTransform& t = object.transform;
  t.world_matrix.SetIdentity();
  t.local_matrix.SetIdentity();
  t.base_translate = WVector();
  t.translate = WVector();
  t.base_rotate = WVector();
  t.rotate = WVector();
  t.base_scale = WVector(1.0f, 1.0f, 1.0f);
  t.scale = WVector(1.0f, 1.0f, 1.0f);
}

void FlipUvs(WScene& scene, unsigned mask) {
  ForEachObject(scene, [mask](WObject& o) { FlipUvs(o, mask); });
}
void DropFaceEdges(WScene& scene) { ForEachObject(scene, [](WObject& o) { DropFaceEdges(o); }); }
void LinesToFaces(WScene& scene) { ForEachObject(scene, [](WObject& o) { LinesToFaces(o); }); }
void FreezeTransforms(WScene& scene) { ForEachObject(scene, [](WObject& o) { FreezeTransforms(o); }); }
