// Compaction: removes records marked deleted, merges duplicates into their
// survivors and rewrites every index that refers to them.
#include "w_lib/w_scene.h"

bool WObject::Compact() {
  // Number the survivors, then resolve merges: a dead record merged into
  // another takes the survivor's new index.
  NumberSurvivors(vertices, vnum);
  NumberSurvivors(lines, lnum);
  NumberSurvivors(normals, nnum);
  NumberSurvivors(colors, cnum);
  NumberSurvivors(uvs, unum);
  ResolveMerges(vertices, vnum);
  ResolveMerges(lines, lnum);
  ResolveMerges(normals, nnum);
  ResolveMerges(colors, cnum);
  ResolveMerges(uvs, unum);

  for (int i = 0; i < lnum; ++i) {
    WLine& line = lines[i];
    line.v[0] = Remapped(vertices, vnum, line.v[0]);
    line.v[1] = Remapped(vertices, vnum, line.v[1]);
  }

  // Faces are rewritten dead or alive; -1 entries stay -1.
  for (int f = 0; f < fnum; ++f) {
    WFace& face = faces[f];
    for (int k = 0; k < face.num; ++k) {
      face.v[k] = Remapped(vertices, vnum, face.v[k]);
      if (face.e[k] != -1) face.e[k] = Remapped(lines, lnum, face.e[k]);
      if (face.vn[k] != -1) face.vn[k] = Remapped(normals, nnum, face.vn[k]);
      if (face.vc[k] != -1) face.vc[k] = Remapped(colors, cnum, face.vc[k]);
      if (face.vt[k] != -1) face.vt[k] = Remapped(uvs, unum, face.vt[k]);
    }
  }

  RemoveDeadRecords(vertices, vnum, vmax);
  RemoveDeadRecords(lines, lnum, lmax);
  RemoveDeadRecords(normals, nnum, nmax);
  RemoveDeadRecords(colors, cnum, cmax);
  RemoveDeadRecords(uvs, unum, umax);
  RemoveDeadRecords(faces, fnum, fmax);
  return true;
}

namespace {

// The new index of a scene-record reference; -1 stays -1.
template <class R>
void Rewrite(int& index, const R* block, int count) {
  if (index != -1) index = Remapped(block, count, index);
}

// Scene compaction without references to rewrite.
template <class R>
bool CompactPlain(R*& block, int& count, int& capacity) {
  NumberSurvivors(block, count);
  ResolveMerges(block, count);
  RemoveDeadRecords(block, count, capacity);
  return true;
}

}  // namespace

bool WScene::CompactObjects() {
  NumberSurvivors(objects, onum);
  ResolveMerges(objects, onum);
  for (int o = 0; o < onum; ++o) {
    WObject& obj = objects[o];
    Rewrite(obj.parent, objects, onum);
    if (obj.flags & kDeleted) continue;  // its weights go with it
    for (int v = 0; v < obj.vnum; ++v) {
      WVertex& vert = obj.vertices[v];
      for (int w = 0; w < vert.wnum; ++w) Rewrite(vert.weights[w].bone, objects, onum);
    }
  }
  RemoveDeadRecords(objects, onum, omax);
  return true;
}

bool WScene::CompactMaterials() {
  NumberSurvivors(materials, mnum);
  ResolveMerges(materials, mnum);
  for (int o = 0; o < onum; ++o) {
    WObject& obj = objects[o];
    for (int f = 0; f < obj.fnum; ++f) Rewrite(obj.faces[f].material, materials, mnum);
  }
  RemoveDeadRecords(materials, mnum, mmax);
  return true;
}

bool WScene::CompactTextures() {
  NumberSurvivors(textures, tnum);
  ResolveMerges(textures, tnum);
  for (int m = 0; m < mnum; ++m) {
    WMaterial& mat = materials[m];
    Rewrite(mat.tex, textures, tnum);
    for (int& slot : mat.further_tex) Rewrite(slot, textures, tnum);
  }
  RemoveDeadRecords(textures, tnum, tmax);
  return true;
}

bool WScene::CompactCameras() { return CompactPlain(cameras, camnum, cammax); }
bool WScene::CompactLights() { return CompactPlain(lights, lignum, ligmax); }
bool WScene::CompactPars() { return CompactPlain(pars, parnum, parmax); }
