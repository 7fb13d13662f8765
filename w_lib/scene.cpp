// WScene lifecycle, add-with-name, find by name and the fallback material.
#include <string>
#include <utility>

#include "w_lib/w_scene.h"

void WScene::Reset() {
  ForEachArray([this](auto block, auto count, auto capacity) {
    ReleaseRecords(this->*block, this->*count, this->*capacity);
  });
  frame = 0;
  start_frame = 0;
  end_frame = 60;
  fps = 30.0f;
  scene_flags = 0;
  utf8_names = false;
}

void WScene::CopyFrom(const WScene& s) {
  if (this == &s) return;
  Reset();
  frame = s.frame;
  start_frame = s.start_frame;
  end_frame = s.end_frame;
  fps = s.fps;
  scene_flags = s.scene_flags;
  utf8_names = s.utf8_names;
  ForEachArray([this, &s](auto block, auto count, auto capacity) {
    CopyRecords(this->*block, this->*count, this->*capacity, s.*block, s.*count, s.*capacity);
  });
}

WScene& WScene::operator=(WScene&& s) noexcept {
  if (this == &s) return *this;
  frame = s.frame;
  start_frame = s.start_frame;
  end_frame = s.end_frame;
  fps = s.fps;
  scene_flags = s.scene_flags;
  utf8_names = s.utf8_names;
  // The arrays trade places: the source releases this scene's old ones.
  ForEachArray([this, &s](auto block, auto count, auto capacity) {
    std::swap(this->*block, s.*block);
    std::swap(this->*count, s.*count);
    std::swap(this->*capacity, s.*capacity);
  });
  return *this;
}

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

bool EnsureMaterial(WScene& scene) {
  if (scene.mnum == 0) scene.AddMaterial(kNoMaterialName);
  for (int o = 0; o < scene.onum; ++o) {
    WObject& obj = scene.objects[o];
    for (int f = 0; f < obj.fnum; ++f)
      if (obj.faces[f].material == -1) obj.faces[f].material = 0;
  }
  return true;
}
