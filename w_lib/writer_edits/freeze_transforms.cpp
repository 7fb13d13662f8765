// Transforms frozen into the geometry of a writer's working copy.
#include "w_lib/writer_edits/writer_edits.h"

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

void FreezeTransforms(WScene& scene) { ForEachObject(scene, [](WObject& o) { FreezeTransforms(o); }); }
