// WScene: add-with-name, find by name and the fallback material.
#include <string>

#include "w_lib/w_scene.h"

namespace {

// prefix followed by the index as "%02d": at least two digits, wider as needed.
std::string DefaultName(const char* prefix, int index) {
  std::string digits = std::to_string(index);
  if (index >= 0 && digits.size() < 2) digits.insert(0, 1, '0');
  return prefix + digits;
}

template <class R>
int AddNamed(R*& block, int& count, int& capacity, const char* name, const char* prefix) {
  const int i = AddRecord<kSceneGrowth>(block, count, capacity);
  if (name && name[0])
    block[i].SetName(name);
  else
    block[i].SetName(DefaultName(prefix, i).c_str());
  return i;
}

template <class R>
int FindNamed(const R* block, int count, const char* name) {
  for (int i = 0; i < count; ++i)
    if (block[i].name.Equals(name)) return i;
  return -1;
}

}  // namespace

int WScene::AddObject(const char* name) { return AddNamed(objects, onum, omax, name, "obj_"); }
int WScene::AddMaterial(const char* name) { return AddNamed(materials, mnum, mmax, name, "mat_"); }
int WScene::AddTexture(const char* name) { return AddNamed(textures, tnum, tmax, name, "tex_"); }
int WScene::AddCamera(const char* name) { return AddNamed(cameras, camnum, cammax, name, "cam_"); }
int WScene::AddLight(const char* name) { return AddNamed(lights, lignum, ligmax, name, "lig_"); }
int WScene::AddPar(const char* name) { return AddNamed(pars, parnum, parmax, name, "par_"); }

int WScene::FindObject(const char* name) const { return FindNamed(objects, onum, name); }
int WScene::FindMaterial(const char* name) const { return FindNamed(materials, mnum, name); }
int WScene::FindTexture(const char* name) const { return FindNamed(textures, tnum, name); }
int WScene::FindCamera(const char* name) const { return FindNamed(cameras, camnum, name); }
int WScene::FindLight(const char* name) const { return FindNamed(lights, lignum, name); }
int WScene::FindPar(const char* name) const { return FindNamed(pars, parnum, name); }

void EnsureMaterial(WScene& scene) {
  if (scene.mnum == 0) scene.AddMaterial(kNoMaterialName);
  for (int o = 0; o < scene.onum; ++o) {
    WObject& obj = scene.objects[o];
    for (int f = 0; f < obj.fnum; ++f)
      if (obj.faces[f].material == -1) obj.faces[f].material = 0;
  }
}
