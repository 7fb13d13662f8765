// Preparing a scene read from a dotXSI file for the library's writers. The
// file is in the library's own convention already (right-handed, y up,
// faces counter-clockwise seen from outside, lengths in the output's unit),
// so nothing is mirrored, turned round or scaled, and the normals and
// colours that the file gives its corners are kept; corners without them
// get what the export's passes give a host document's corners.
#include <vector>

#include "w_lib/w_scene.h"

namespace {

// How many corners of an object name a record of a kind.
enum class Named { kNone, kSome, kAll };

template <class IndexOf>
Named CornersNaming(const WObject& object, IndexOf index_of) {
  long long named = 0, corners = 0;
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) named += index_of(face)[k] >= 0;
    corners += face.num > 0 ? face.num : 0;
  }
  return named == corners ? Named::kAll : named == 0 ? Named::kNone : Named::kSome;
}

// Smoothed normals for the corners that the file gave none; the others keep
// theirs. Equal normals around a vertex then share a record.
void CompleteNormals(const WScene& scene, WObject& object) {
  switch (CornersNaming(object, [](const WFace& f) { return f.vn(); })) {
    case Named::kAll: return;
    case Named::kNone: SmoothWeldNormals(scene, object); return;
    case Named::kSome: break;
  }
  SmoothCornerNormals(scene, object);
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k)
      if (face.vn()[k] >= 0) face.CornerNormals()[k] = object.normals[face.vn()[k]].normal;
  }
  ExpandWeldNormals(object);
  for (int f = 0; f < object.fnum; ++f) object.faces[f].ReleaseCornerNormals();
}

// White for the corners that the file gave no colour, as a host document's
// corners are; the others keep theirs.
void CompleteColors(WObject& object) {
  switch (CornersNaming(object, [](const WFace& f) { return f.vc(); })) {
    case Named::kAll: return;
    case Named::kNone: ExpandWeldColors(object); return;
    case Named::kSome: break;
  }
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k)
      if (face.vc()[k] >= 0) face.CornerColors()[k] = object.colors[face.vc()[k]].col;
  }
  ExpandWeldColors(object);
}

}  // namespace

void PrepareReadScene(WScene& scene) {
  ComputeFaceNormals(scene);
  for (int o = 0; o < scene.onum; ++o) {
    CompleteNormals(scene, scene.objects[o]);
    CompleteColors(scene.objects[o]);
  }
  DropUntexturedUvs(scene);
  WeldUvs(scene);
  BuildEdgesWhereLinesAre(scene);
  UpdateMatrices(scene);
}

void RotationsToXsiOrder(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    WVector& r = scene.objects[o].transform.rotate;
    // About one axis every order gives the same rotation.
    if ((r.x != 0.0f) + (r.y != 0.0f) + (r.z != 0.0f) <= 1) continue;
    WMatrix m;
    m.SetRotation(r.x, r.y, r.z, kRotateZXY);
    r = RotationAngles(m, kRotateXYZ);
  }
}
