// The pass sequences. Each pass feeds the next: normals are computed after
// the first pass has set the winding, corner normals from face normals and
// normal records from corner normals; texture coordinates are dropped and
// purged before equal ones are shared; edges come from the final faces;
// scaling comes last. A pass that runs out of memory throws
// std::bad_alloc, which the export reports as its failure.
#include "Vellmar/export_passes.h"

namespace {

// True when some vertex or face is marked deleted. The compactions of the
// record steps remove such records; no document read through the host has
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

// Which objects the edge list is made for.
enum class Edges { kAll, kNone, kWhereLinesAre };

// The texture-coordinate records: those of untextured faces dropped, the
// ones no corner names purged (DropUntexturedUvs purges as it ends), the
// equal ones of a vertex shared.
void MakeUvRecords(WScene& scene) {
  DropUntexturedUvs(scene);
  WeldUvs(scene);
}

// The normal records, one per corner shared per vertex, from the corner
// normals. Smoothed at the weld: the corner normals are worked out in the
// same walk and never stored. Otherwise from the stored corner normals,
// which are released once the records hold them.
void MakeNormalRecords(WScene& scene, bool smoothed_at_weld) {
  if (smoothed_at_weld) {
    SmoothWeldNormals(scene);
    return;
  }
  ExpandWeldNormals(scene);
  ReleaseCornerNormals(scene);
}

void MakeEdges(WScene& scene, Edges edges) {
  if (edges == Edges::kAll) BuildEdges(scene);
  if (edges == Edges::kWhereLinesAre) BuildEdgesWhereLinesAre(scene);
}

// The passes in order; only the one that sets the winding differs between
// the sequences.
template <class SetWinding>
void RunPasses(WScene& scene, SetWinding set_winding, Edges edges) {
  set_winding(scene);
  ComputeFaceNormals(scene);
  // The uv and colour steps leave vertices, faces and face normals as they
  // are unless some are marked deleted. Then smoothing can wait for the
  // normal records and run in the same walk, with no normal kept per
  // corner.
  const bool smooth_at_weld = !HasDeletedVerticesOrFaces(scene);
  if (!smooth_at_weld) SmoothCornerNormals(scene);
  MakeUvRecords(scene);
  ExpandWeldColors(scene);  // a colour record per corner, shared per vertex
  MakeNormalRecords(scene, smooth_at_weld);
  MakeEdges(scene, edges);
  ScaleScene(scene, kExportUnitScale);
}

void Mirror(WScene& scene) { MirrorScene(scene, kExportMirrorMask); }
void Reverse(WScene& scene) { ReverseObjectFaces(scene); }

}  // namespace

void RunExportPasses(WScene& scene) { RunPasses(scene, Mirror, Edges::kAll); }

void RunExportPassesWithoutEdges(WScene& scene) { RunPasses(scene, Mirror, Edges::kNone); }

void RunLibraryFormatPasses(WScene& scene) { RunPasses(scene, Reverse, Edges::kAll); }

void RunLibraryFormatPassesForWriters(WScene& scene) { RunPasses(scene, Reverse, Edges::kWhereLinesAre); }
