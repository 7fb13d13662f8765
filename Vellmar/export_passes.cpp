// The export's pass sequence. Each pass feeds the next: normals are computed
// after the mirror, corner normals from face normals and normal records from
// corner normals; texture coordinates are dropped and purged before equal ones
// are shared; edges come from the final faces; scaling comes last.
#include "Vellmar/export_passes.h"

void RunExportPasses(WScene& scene) {
  MirrorScene(scene, kExportMirrorMask);
  ComputeFaceNormals(scene);
  SmoothCornerNormals(scene);
  DropUntexturedUvs(scene);
  PurgeUvs(scene);
  WeldUvs(scene);
  ExpandColors(scene);
  WeldColors(scene);
  ExpandNormals(scene);
  WeldNormals(scene);
  BuildEdges(scene);
  ScaleScene(scene, kExportUnitScale);
}
