// Removing the faces and lines of a writer's working copy that name a vertex
// their object lacks, so that nothing is read or written through them.
#include "w_lib/writer_edits/writer_edits.h"

namespace {

bool Names(const WObject& object, int v) { return v >= 0 && v < object.vnum; }

}  // namespace

bool DropDanglingGeometry(WObject& object) {
  bool any = false;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) {
      if (Names(object, face.v[k])) continue;
      face.flags |= kDeleted;
      face.remap = -1;
      any = true;
      break;
    }
  }
  for (int i = 0; i < object.lnum; ++i) {
    WLine& line = object.lines[i];
    if (Names(object, line.v[0]) && Names(object, line.v[1])) continue;
    line.flags |= kDeleted;
    line.remap = -1;
    any = true;
  }
  if (any) object.Compact();
  return true;
}

bool DropDanglingGeometry(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) DropDanglingGeometry(scene.objects[o]);
  return true;
}
