// Compaction: removes records marked deleted, merges duplicates into their
// survivors and rewrites every index that refers to them.
#include "w_lib/w_scene.h"

namespace {

template <class R>
void RemoveOrFit(bool some_dead, R*& block, int& count, int& capacity) {
  if (some_dead) {
    RemoveDeadRecords(block, count, capacity);
  } else {
    // Shrinking can only fail for want of memory; the larger block then stays.
    static_cast<void>(ReserveRecords(block, count, capacity, count));
  }
}

}  // namespace

void WObject::Compact() {
  // Number the survivors, then resolve merges: a dead record merged into
  // another takes the survivor's new index. An array without dead records
  // keeps every index, so the references into it need no rewriting; the
  // passes compact one kind of record at a time, and this spares them a
  // walk through every other kind's references.
  const bool vertices_die = NumberSurvivors(vertices, vnum) != vnum;
  const bool lines_die = NumberSurvivors(lines, lnum) != lnum;
  const bool normals_die = NumberSurvivors(normals, nnum) != nnum;
  const bool colors_die = NumberSurvivors(colors, cnum) != cnum;
  const bool uvs_die = NumberSurvivors(uvs, unum) != unum;
  if (vertices_die) ResolveMerges(vertices, vnum);
  if (lines_die) ResolveMerges(lines, lnum);
  if (normals_die) ResolveMerges(normals, nnum);
  if (colors_die) ResolveMerges(colors, cnum);
  if (uvs_die) ResolveMerges(uvs, unum);

  if (vertices_die) {
    for (int i = 0; i < lnum; ++i) {
      WLine& line = lines[i];
      line.v[0] = Remapped(vertices, vnum, line.v[0]);
      line.v[1] = Remapped(vertices, vnum, line.v[1]);
    }
  }

  // Faces are rewritten dead or alive; -1 entries stay -1.
  if (vertices_die || lines_die || normals_die || colors_die || uvs_die) {
    for (int f = 0; f < fnum; ++f) {
      WFace& face = faces[f];
      int* const e = face.e();
      int* const vn = face.vn();
      int* const vc = face.vc();
      int* const vt = face.vt();
      for (int k = 0; k < face.num; ++k) {
        if (vertices_die) face.v[k] = Remapped(vertices, vnum, face.v[k]);
        if (lines_die && e && e[k] != -1) e[k] = Remapped(lines, lnum, e[k]);
        if (normals_die && vn[k] != -1) vn[k] = Remapped(normals, nnum, vn[k]);
        if (colors_die && vc[k] != -1) vc[k] = Remapped(colors, cnum, vc[k]);
        if (uvs_die && vt[k] != -1) vt[k] = Remapped(uvs, unum, vt[k]);
      }
    }
  }

  // A kind without dead records is only fitted to its count.
  RemoveOrFit(vertices_die, vertices, vnum, vmax);
  RemoveOrFit(lines_die, lines, lnum, lmax);
  RemoveOrFit(normals_die, normals, nnum, nmax);
  RemoveOrFit(colors_die, colors, cnum, cmax);
  RemoveOrFit(uvs_die, uvs, unum, umax);
  RemoveDeadRecords(faces, fnum, fmax);
}

namespace {

// The new index of a scene-record reference; -1 stays -1.
template <class R>
void Rewrite(int& index, const R* block, int count) {
  if (index != -1) index = Remapped(block, count, index);
}

// Scene compaction without references to rewrite.
template <class R>
void CompactPlain(R*& block, int& count, int& capacity) {
  NumberSurvivors(block, count);
  ResolveMerges(block, count);
  RemoveDeadRecords(block, count, capacity);
}

}  // namespace

void WScene::CompactObjects() {
  NumberSurvivors(objects, onum);
  ResolveMerges(objects, onum);
  for (int o = 0; o < onum; ++o) {
    WObject& obj = objects[o];
    Rewrite(obj.parent, objects, onum);
    if (obj.flags & kDeleted) continue;  // its weights go with it
    for (int v = 0; v < obj.vnum; ++v) {
      WVertex& vert = obj.vertices[v];
      for (int w = 0; w < vert.wnum(); ++w) Rewrite(vert.weights()[w].bone, objects, onum);
    }
  }
  RemoveDeadRecords(objects, onum, omax);
}

void WScene::CompactMaterials() {
  NumberSurvivors(materials, mnum);
  ResolveMerges(materials, mnum);
  for (int o = 0; o < onum; ++o) {
    WObject& obj = objects[o];
    for (int f = 0; f < obj.fnum; ++f) Rewrite(obj.faces[f].material, materials, mnum);
  }
  RemoveDeadRecords(materials, mnum, mmax);
}

void WScene::CompactTextures() {
  NumberSurvivors(textures, tnum);
  ResolveMerges(textures, tnum);
  for (int m = 0; m < mnum; ++m) {
    WMaterial& mat = materials[m];
    Rewrite(mat.tex, textures, tnum);
    for (int& slot : mat.further_tex) Rewrite(slot, textures, tnum);
  }
  RemoveDeadRecords(textures, tnum, tmax);
}

void WScene::CompactCameras() { CompactPlain(cameras, camnum, cammax); }
void WScene::CompactLights() { CompactPlain(lights, lignum, ligmax); }
void WScene::CompactPars() { CompactPlain(pars, parnum, parmax); }
