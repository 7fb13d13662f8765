// Dropping the texture coordinates of untextured faces: a face whose
// material shows no texture keeps none, so that equal positions of such
// faces are not split by coordinates that nothing reads.
#include "w_lib/passes/corner_record_kinds.h"

using namespace corner_records;

namespace {

// True when the face's corners can carry texture coordinates: its material
// exists and names an existing texture.
bool Textured(const WScene& scene, const WFace& face) {
  if (face.material < 0 || face.material >= scene.mnum) return false;
  const int tex = scene.materials[face.material].tex;
  return tex >= 0 && tex < scene.tnum;
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

void DropUntexturedUvs(WScene& scene) {
  ForEachObject(scene, [&scene](WObject& object) { DropUntexturedUvs(scene, object); });
}
