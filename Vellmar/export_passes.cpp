// The pass sequences. Each pass feeds the next: normals are computed after
// the first pass has set the winding, corner normals from face normals and
// normal records from corner normals; texture coordinates are dropped and
// purged before equal ones are shared; edges come from the final faces;
// scaling comes last.
#include "Vellmar/export_passes.h"

namespace {

// True when some vertex or face is marked deleted. The compactions of
// passes 5 to 8 remove such records; no document read through the host has
// them, but a scene built by a caller may.
bool HasDeletedVerticesOrFaces(const WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    const WObject& object = scene.objects[o];
    for (int v = 0; v < object.vnum; ++v)
      if (object.vertices[v].flags & kDeleted) return true;
    for (int f = 0; f < object.fnum; ++f)
      if (object.faces[f].flags & kDeleted) return true;
  }
  return false;
}

// Which objects pass 11 makes the edge list of.
enum class Edges { kAll, kNone, kWhereLinesAre };

// The twelve passes in order; only the first differs between the sequences.
template <class FirstPass>
void RunPasses(WScene& scene, FirstPass first, Edges edges) {
  first(scene);  // 1
  ComputeFaceNormals(scene);
  // Passes 4 to 8 leave vertices, faces and face normals as they are unless
  // some are marked deleted. Then smoothing can wait for the weld and run in
  // the same walk (3, 9 and 10 at once), with no normal kept per corner.
  const bool smooth_at_weld = !HasDeletedVerticesOrFaces(scene);
  if (!smooth_at_weld) SmoothCornerNormals(scene);
  DropUntexturedUvs(scene);
  PurgeUvs(scene);  // 5
  WeldUvs(scene);
  ExpandWeldColors(scene);  // 7, 8: ExpandColors, WeldColors in one walk
  if (smooth_at_weld) {
    SmoothWeldNormals(scene);
  } else {
    ExpandWeldNormals(scene);     // 9, 10: ExpandNormals, WeldNormals in one walk
    ReleaseCornerNormals(scene);  // the normal records hold them now
  }
  if (edges == Edges::kAll) BuildEdges(scene);
  if (edges == Edges::kWhereLinesAre) BuildEdgesWhereLinesAre(scene);
  ScaleScene(scene, kExportUnitScale);  // 12
}

}  // namespace

void RunExportPasses(WScene& scene) {
  RunPasses(scene, [](WScene& s) { MirrorScene(s, kExportMirrorMask); }, Edges::kAll);
}

void RunExportPassesWithoutEdges(WScene& scene) {
  RunPasses(scene, [](WScene& s) { MirrorScene(s, kExportMirrorMask); }, Edges::kNone);
}

void RunLibraryFormatPasses(WScene& scene) {
  RunPasses(scene, [](WScene& s) { ReverseObjectFaces(s); }, Edges::kAll);
}

void RunLibraryFormatPassesForWriters(WScene& scene) {
  RunPasses(scene, [](WScene& s) { ReverseObjectFaces(s); }, Edges::kWhereLinesAre);
}
