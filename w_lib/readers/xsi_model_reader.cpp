// dotXSI models: one object per SI_Model, its parent the model it is nested
// in, with its transform, its global material and its mesh. Nesting is
// followed with a stack of open models instead of recursion, so that a deep
// hierarchy cannot exhaust the call stack.
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/readers/xsi_reading.h"

namespace {

// SI_Transform: scaling, rotation and translation about x, y and z. The
// rotation stays in the file's unit and order until the file is read
// (FinishXsiScene). A base pose gives only the translation of its own.
void ReadTransform(XsiReading& r, std::string_view name, int object) {
  XsiText& text = r.text;
  float v[9];
  for (float& value : v) value = text.Float();
  text.Expect('}', "'}' after the nine numbers of a transform");
  WTransform& t = r.scene.objects[object].transform;
  if (name.compare(0, 9, "BASEPOSE-") == 0) {
    t.base_translate = WVector(v[6], v[7], v[8]);
    return;
  }
  t.scale = WVector(v[0], v[1], v[2]);
  t.rotate = WVector(v[3], v[4], v[5]);
  t.translate = WVector(v[6], v[7], v[8]);
}

}  // namespace

void ReadXsiModel(XsiReading& r, std::string_view name, int parent) {
  XsiText& text = r.text;
  struct Open {
    int object;
    int global_material;  // for polygon lists that name no known material
    int line;
  };
  std::vector<Open> open;
  const auto open_model = [&](std::string_view model, int parent_object, int inherited_material) {
    const int k = r.scene.AddObject(XsiNameWithoutPrefix(model, "MDL-").c_str());
    r.scene.objects[k].parent = parent_object;
    open.push_back({k, inherited_material, text.line()});
  };
  open_model(name, parent, -1);
  std::string keyword;
  std::string instance;
  while (!open.empty()) {
    const Open top = open.back();
    if (!NextXsiTemplateHead(text, "model", top.line, keyword, instance)) {
      open.pop_back();
      continue;
    }
    if (keyword == "SI_Model") {
      open_model(instance, top.object, top.global_material);
    } else if (keyword == "SI_Transform") {
      ReadTransform(r, instance, top.object);
    } else if (keyword == "SI_GlobalMaterial") {
      const int m = text.Next() == '"' ? r.FindMaterial(text.String()) : -1;
      if (m >= 0) open.back().global_material = m;
      SkipXsiTemplate(r);
    } else if (keyword == "SI_Mesh") {
      ReadXsiMesh(r, top.object, top.global_material);
    } else {
      CountXsiLeftOut(r.report, keyword);
      SkipXsiTemplate(r);
    }
  }
}
