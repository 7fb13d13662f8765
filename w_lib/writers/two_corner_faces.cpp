// The two-corner faces of a writer's working copy, kept aside before the
// triangulation removes them: in the host's documents they are edges, and
// the writers that triangulate still write them.
#include "w_lib/writers/w_writers.h"

TwoCornerFaces KeepTwoCornerFaces(const WScene& scene) {
  TwoCornerFaces kept(static_cast<size_t>(scene.onum > 0 ? scene.onum : 0));
  for (int o = 0; o < scene.onum; ++o) {
    const WObject& object = scene.objects[o];
    for (int f = 0; f < object.fnum; ++f)
      if (object.faces[f].num == 2) kept[static_cast<size_t>(o)].push_back(object.faces[f]);
  }
  return kept;
}
