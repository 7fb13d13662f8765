// The lines that are face sides taken out of a writer's working copy.
#include "w_lib/writer_edits/writer_edits.h"

void DropFaceEdges(WObject& object) {
  if (object.vnum == 0) return;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    int* const e = face.e();
    if (!e) continue;
    for (int k = 0; k < face.num; ++k) {
      const int line = e[k];
      if (line >= 0 && line < object.lnum) {
        object.lines[line].flags |= kDeleted;
        object.lines[line].remap = -1;
      } else {
        e[k] = -1;  // names no line: nothing to keep it for
      }
    }
  }
  object.Compact();
}

void DropFaceEdges(WScene& scene) { ForEachObject(scene, [](WObject& o) { DropFaceEdges(o); }); }
