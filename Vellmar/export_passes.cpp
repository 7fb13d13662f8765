// The pass sequences. Each pass feeds the next: normals are computed after
// the first pass has set the winding, corner normals from face normals and
// normal records from corner normals; texture coordinates are dropped and
// purged before equal ones are shared; edges come from the final faces;
// scaling comes last.
#include "Vellmar/export_passes.h"

namespace {

// The twelve passes in order; only the first differs between the sequences.
template <class FirstPass>
void RunPasses(WScene& scene, FirstPass first) {
  first(scene);  // 1
  ComputeFaceNormals(scene);
  SmoothCornerNormals(scene);
  DropUntexturedUvs(scene);
  PurgeUvs(scene);  // 5
  WeldUvs(scene);
  ExpandWeldColors(scene);   // 7, 8: ExpandColors, WeldColors in one walk
  ExpandWeldNormals(scene);  // 9, 10: ExpandNormals, WeldNormals in one walk
  ReleaseCornerNormals(scene);  // the normal records hold them now
  BuildEdges(scene);
  ScaleScene(scene, kExportUnitScale);  // 12
}

}  // namespace

void RunExportPasses(WScene& scene) {
  RunPasses(scene, [](WScene& s) { MirrorScene(s, kExportMirrorMask); });
}

void RunLibraryFormatPasses(WScene& scene) {
  RunPasses(scene, [](WScene& s) { ReverseObjectFaces(s); });
}
