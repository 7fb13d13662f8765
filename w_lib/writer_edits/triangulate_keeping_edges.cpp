// The triangulation of a writer's working copy: the two-corner faces kept
// aside before the triangulation removes them (in the host's documents they
// are edges, and the writers that triangulate still write them), and only
// the objects' own lines kept after it.
#include "w_lib/writer_edits/writer_edits.h"

namespace {

// Takes away the lines from index `own` on, which the triangulation added
// for its ears, and the face sides that name them.
void DropAddedLines(WObject& object, int own) {
  if (object.lnum <= own) return;
  for (int i = own; i < object.lnum; ++i) object.lines[i] = WLine();
  object.lnum = own;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    if (int* const e = face.e())
      for (int k = 0; k < face.num; ++k)
        if (e[k] >= own) e[k] = -1;
  }
  // Back to an exact fit, as a compaction leaves it; without memory for the
  // smaller block the larger one stays.
  static_cast<void>(object.ReserveLines(own));
}

}  // namespace

TwoCornerFaces KeepTwoCornerFaces(const WScene& scene) {
  TwoCornerFaces kept(static_cast<size_t>(scene.onum > 0 ? scene.onum : 0));
  for (int o = 0; o < scene.onum; ++o) {
    const WObject& object = scene.objects[o];
    for (int f = 0; f < object.fnum; ++f)
      if (object.faces[f].num == 2) kept[static_cast<size_t>(o)].push_back(object.faces[f]);
  }
  return kept;
}

TwoCornerFaces TriangulateKeepingEdges(WScene& scene) {
  TwoCornerFaces edges = KeepTwoCornerFaces(scene);
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    // The triangulation appends its lines after the object's own, and its
    // compaction keeps the order of the lines that stay.
    const int own = object.lnum;
    TriangulateObject(object, true);
    DropAddedLines(object, own);
  }
  return edges;
}
