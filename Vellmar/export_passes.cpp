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

// Which objects get colour records.
enum class Colors { kAll, kWhereNotAllWhite };

// Whether the glTF writers write the same bytes for an object without colour
// records as with the white ones that ExpandWeldColors would make: it has
// none yet, every corner holds white, and no face has two corners. They
// write no colour for a white corner, and white records, one per vertex,
// split no vertex; only a line's end finds its vertex otherwise when it
// names a colour record.
bool WritesWithoutColorRecords(const WObject& object) {
  if (object.cnum != 0) return false;
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    if (face.num == 2) return false;
    if (face.corner_colors() == nullptr) continue;
    for (int k = 0; k < face.num; ++k)
      if (face.CornerColor(k) != WFaceCorners::kCornerColor) return false;
  }
  return true;
}

// A colour record per corner, shared per vertex, for every object, or only
// for those that would not be written the same without them.
void MakeColorRecords(WScene& scene, Colors colors) {
  if (colors == Colors::kAll) {
    ExpandWeldColors(scene);
    return;
  }
  for (int o = 0; o < scene.onum; ++o)
    if (!WritesWithoutColorRecords(scene.objects[o])) ExpandWeldColors(scene.objects[o]);
}

void MakeEdges(WScene& scene, Edges edges) {
  if (edges == Edges::kAll) BuildEdges(scene);
  if (edges == Edges::kWhereLinesAre) BuildEdgesWhereLinesAre(scene);
}

// The passes in order; only the one that sets the winding differs between
// the sequences.
template <class SetWinding>
void RunPasses(WScene& scene, SetWinding set_winding, Edges edges, Colors colors = Colors::kAll) {
  set_winding(scene);
  ComputeFaceNormals(scene);
  // The uv and colour steps leave vertices, faces and face normals as they
  // are unless some are marked deleted. Then smoothing can wait for the
  // normal records and run in the same walk, with no normal kept per
  // corner.
  const bool smooth_at_weld = !HasDeletedVerticesOrFaces(scene);
  if (!smooth_at_weld) SmoothCornerNormals(scene);
  MakeUvRecords(scene);
  MakeColorRecords(scene, colors);
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

void RunLibraryFormatPassesForGltf(WScene& scene) {
  RunPasses(scene, Reverse, Edges::kWhereLinesAre, Colors::kWhereNotAllWhite);
}
