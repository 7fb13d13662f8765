#include "test_scenes.h"

#include <vector>

int AddVertexAt(WObject& obj, float x, float y, float z) {
  const int i = obj.AddVertex();
  obj.vertices[i].pos = WVector(x, y, z);
  return i;
}

int AddFaceOver(WObject& obj, std::initializer_list<int> corners, int material) {
  const int f = obj.AddFace(static_cast<int>(corners.size()));
  WFace& face = obj.faces[f];
  int k = 0;
  for (int v : corners) face.v[k++] = v;
  face.material = material;
  return f;
}

void SetFaceUvs(WObject& obj, int f, std::initializer_list<float> uv_pairs) {
  std::vector<float> uv(uv_pairs);
  for (int k = 0; k < obj.faces[f].num; ++k) {
    const int t = obj.AddUv();
    obj.uvs[t].Set(uv[2 * k], uv[2 * k + 1]);
    obj.faces[f].vt[k] = t;  // take the face afresh: AddUv does not move faces
  }
}

WScene MakeCube() {
  WScene scene;
  scene.AddMaterial("cube");
  // Index first: the add may move the array.
  const int o = scene.AddObject("cube");
  WObject& obj = scene.objects[o];
  for (int i = 0; i < 8; ++i)
    AddVertexAt(obj, static_cast<float>(i & 1), static_cast<float>((i >> 1) & 1), static_cast<float>((i >> 2) & 1));
  // Counter-clockwise seen from outside.
  AddFaceOver(obj, {0, 2, 3, 1}, 0);  // z = 0
  AddFaceOver(obj, {4, 5, 7, 6}, 0);  // z = 1
  AddFaceOver(obj, {0, 1, 5, 4}, 0);  // y = 0
  AddFaceOver(obj, {2, 6, 7, 3}, 0);  // y = 1
  AddFaceOver(obj, {0, 4, 6, 2}, 0);  // x = 0
  AddFaceOver(obj, {1, 3, 7, 5}, 0);  // x = 1
  return scene;
}

WScene MakeTexturedQuads(bool seam) {
  WScene scene;
  const int m = scene.AddMaterial("wood");
  scene.materials[m].tex = scene.AddTexture("wood.bmp");
  // Index first: the add may move the array.
  const int o = scene.AddObject("quads");
  WObject& obj = scene.objects[o];
  // 0 1 2 along y = 0, 3 4 5 along y = 1.
  for (int i = 0; i < 6; ++i) AddVertexAt(obj, static_cast<float>(i % 3), static_cast<float>(i / 3), 0.0f);
  const int a = AddFaceOver(obj, {0, 1, 4, 3}, m);
  const int b = AddFaceOver(obj, {1, 2, 5, 4}, m);
  SetFaceUvs(obj, a, {0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 1.0f});
  if (seam)
    SetFaceUvs(obj, b, {0.6f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.6f, 1.0f});
  else
    SetFaceUvs(obj, b, {0.5f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.5f, 1.0f});
  return scene;
}
