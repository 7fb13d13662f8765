#include "test_scenes.h"

#include <cmath>
#include <new>
#include <string>
#include <vector>

int AddVertexAt(WObject& obj, float x, float y, float z) {
  const int i = obj.AddVertex();
  obj.vertices[i].pos = WVector(x, y, z);
  return i;
}

WObject& AddFlowerAt(WScene& scene, int n) {
  WObject& obj = AddObjectAt(scene, "flower");
  const int f = obj.AddFace(n);
  for (int k = 0; k < n; ++k) {
    const double a = 6.283185307179586 * k / n, r = k % 2 ? 1000.0 : 0.0;
    obj.faces[f].v[k] = AddVertexAt(obj, float(r * std::cos(a)), float(r * std::sin(a)), 0.0f);
  }
  return obj;
}

WObject& AddAxisFlowerAt(WScene& scene, int n, bool reversed) {
  WObject& obj = AddObjectAt(scene, "axis flower");
  const int f = obj.AddFace(n);
  const int directions[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
  for (int j = 0; j < n; ++j) {
    const int k = reversed ? n - 1 - j : j, petal = k / 2, length = 1 + petal / 8;
    const float x = k % 2 ? float(directions[petal % 8][0] * length) : 0.0f;
    const float y = k % 2 ? float(directions[petal % 8][1] * length) : 0.0f;
    obj.faces[f].v[j] = AddVertexAt(obj, x, y, 0.0f);
  }
  return obj;
}

WObject& AddSpiralAt(WScene& scene, int n, bool reversed) {
  WObject& obj = AddObjectAt(scene, "spiral");
  const int f = obj.AddFace(n);
  for (int j = 0; j < n; ++j) {
    const int k = reversed ? n - 1 - j : j, half = n / 2;
    const int step = k < half ? k : n - 1 - k;
    const double r = (k < half ? 10.0 : 5.0) + step, a = 0.1 * step;
    obj.faces[f].v[j] = AddVertexAt(obj, float(r * std::cos(a)), float(r * std::sin(a)), 0.0f);
  }
  return obj;
}

WObject& AddObjectAt(WScene& scene, const char* name, std::initializer_list<WVector> points) {
  const int o = scene.AddObject(name);
  WObject& obj = scene.objects[o];
  for (const WVector& p : points) AddVertexAt(obj, p.x, p.y, p.z);
  return obj;
}

int AddMaterialOf(WScene& scene, const char* name, WColor col, const char* texture) {
  const int m = scene.AddMaterial(name);
  scene.materials[m].col = col;
  if (texture) scene.materials[m].tex = scene.AddTexture(texture);
  return m;
}

int AddFaceOver(WObject& obj, std::initializer_list<int> corners, int material) {
  const int f = obj.AddFace(static_cast<int>(corners.size()));
  WFace& face = obj.faces[f];
  int k = 0;
  for (int v : corners) face.v[k++] = v;
  face.material = material;
  return f;
}

int AddLineBetween(WObject& obj, int a, int b) {
  const int i = obj.AddLine();
  obj.lines[i].v[0] = a;
  obj.lines[i].v[1] = b;
  return i;
}

// Index first: the add may move the array.
int AddUvAt(WObject& obj, float u, float v) {
  const int i = obj.AddUv();
  obj.uvs[i].Set(u, v);
  return i;
}

int AddNormalAlong(WObject& obj, WVector normal) {
  const int i = obj.AddNormal();
  obj.normals[i].normal = normal;
  return i;
}

int AddColorOf(WObject& obj, WColor col) {
  const int i = obj.AddColor();
  obj.colors[i].col = col;
  return i;
}

void AddWeight(WVertex& vertex, int bone, float weight) {
  const int w = vertex.AddWeight();
  vertex.weights()[w].bone = bone;
  vertex.weights()[w].weight = weight;
}

void SetFaceUvs(WObject& obj, int f, std::initializer_list<float> uv_pairs) {
  std::vector<float> uv(uv_pairs);
  for (int k = 0; k < obj.faces[f].num; ++k) {
    const int t = obj.AddUv();
    obj.uvs[t].Set(uv[2 * k], uv[2 * k + 1]);
    obj.faces[f].vt()[k] = t;  // take the face afresh: AddUv does not move faces
  }
}

void SetCorners(WObject& obj, int f, VertexArray array, std::initializer_list<int> values) {
  int k = 0;
  for (int value : values) (obj.faces[f].*array)[k++] = value;
}

void SetCorners(WObject& obj, int f, WritableCornerArray array, std::initializer_list<int> values) {
  WFace& face = obj.faces[f];
  int* const target = array == static_cast<WritableCornerArray>(&WFace::e) ? face.SideLines() : (face.*array)();
  int k = 0;
  for (int value : values) target[k++] = value;
}

void MarkCorners(WFace& face) {
  for (int k = 0; k < face.num; ++k) {
    const float f = static_cast<float>(k);
    face.vt()[k] = 10 + k;
    face.vn()[k] = 20 + k;
    face.vc()[k] = 30 + k;
    face.CornerNormals()[k] = WVector(f, 0, 0);
    face.CornerColors()[k] = WColor(f, 0, 0, 1);
    face.CornerColors2()[k] = WColor(0, f, 0, 1);
  }
}

std::vector<int> Corners(const WFace& face, VertexArray array) {
  const int* values = face.*array;
  return std::vector<int>(values, values + face.num);
}

std::vector<int> Corners(const WFace& face, CornerArray array) {
  const int* values = (face.*array)();
  if (!values) return std::vector<int>(static_cast<size_t>(face.num > 0 ? face.num : 0), -1);
  return std::vector<int>(values, values + face.num);
}

std::vector<std::pair<int, int>> LinesOf(const WObject& obj, int from) {
  std::vector<std::pair<int, int>> out;
  for (int i = from; i < obj.lnum; ++i) out.emplace_back(obj.lines[i].v[0], obj.lines[i].v[1]);
  return out;
}

WScene MakeChain(int n) {
  WScene scene;
  if (!scene.ReserveObjects(n)) throw std::bad_alloc();
  for (int i = 0; i < n; ++i) AddObjectAt(scene, ("o" + std::to_string(i)).c_str()).parent = i - 1;
  return scene;
}

WScene MakeCube() {
  WScene scene;
  scene.AddMaterial("cube");
  WObject& obj = AddObjectAt(scene, "cube");
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
  WObject& obj = AddObjectAt(scene, "quads");
  // 0 1 2 along y = 0, 3 4 5 along y = 1.
  for (int i = 0; i < 6; ++i) AddVertexAt(obj, static_cast<float>(i % 3), static_cast<float>(i / 3), 0.0f);
  const int a = AddFaceOver(obj, {0, 1, 4, 3}, m);
  const int b = AddFaceOver(obj, {1, 2, 5, 4}, m);
  const float u = seam ? 0.6f : 0.5f;
  SetFaceUvs(obj, a, {0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 1.0f});
  SetFaceUvs(obj, b, {u, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, u, 1.0f});
  return scene;
}

WScene MakeTexturedTriangle() {
  WScene scene;
  const int m = scene.AddMaterial("m");
  scene.materials[m].col = WColor(0.5f, 0.25f, 1.0f, 0.75f);
  scene.materials[m].tex = scene.AddTexture("C:\\maps\\wood.bmp");
  WObject& obj = AddObjectAt(scene, "tri", {{-1.5f, 0.0f, 2.0f}, {1.0f, 0.0f, 2.0f}, {0.0f, 0.125f, -3.0f}});
  const int f = AddFaceOver(obj, {0, 1, 2}, m);
  SetFaceUvs(obj, f, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.25f});
  const int n = AddNormalAlong(obj, WVector(0.0f, 1.0f, 0.0f));
  const int c = AddColorOf(obj, WColor(1.0f, 0.5f, 0.25f, 1.0f));
  SetCorners(obj, f, &WFace::vn, {n, n, n});
  SetCorners(obj, f, &WFace::vc, {c, c, c});
  return scene;
}

WScene MakeUnassignedFaces() {
  WScene scene;
  WObject& quad = AddObjectAt(scene, "quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 2, 0}});
  AddFaceOver(quad, {0, 1, 2, 3}, -1);
  AddFaceOver(quad, {2, 4, 3}, 5);
  AddFaceOver(quad, {2, 4, 3}, 0);
  AddObjectAt(scene, "empty").AddFace(3);
  return scene;
}

WScene MakeHierarchy() {
  WScene scene;
  scene.AddMaterial("m");
  const int parents[] = {-1, 2, 0, 7, -1, 5};
  int o = 0;
  for (const char* name : {"top", "leaf", "mid", "stray", "other", "loop"}) AddObjectAt(scene, name).parent = parents[o++];

  WObject& t = scene.objects[0];
  t.transform.scale = WVector(2.0f, 2.0f, 2.0f);
  t.transform.rotate = WVector(1.0f, 1.5707964f, 0.0f);
  t.transform.translate = WVector(1.0f, -2.0f, 3.5f);
  t.transform.base_translate = WVector(0.25f, 0.0f, 0.0f);
  // Key 20's mask 0x8 selects no channel.
  const struct {
    int frame, mask;
    float value;
  } keys[] = {{0, kTranslateX | kRotateX, 1.0f}, {10, kTranslateX, 2.5f}, {20, 0x8, 7.0f}, {30, kScaleY, 0.5f}};
  for (const auto& key : keys) {
    const int k = t.FindOrAddKey(key.frame);  // index first: the add may move the key array
    t.keys[k].SetChannel(key.mask, key.value);
  }

  WObject& l = scene.objects[1];
  for (int i = 0; i < 3; ++i) AddVertexAt(l, static_cast<float>(i == 1), static_cast<float>(i == 2), 0.0f);
  const int f = AddFaceOver(l, {0, 1, 2}, 0);
  const int n = AddNormalAlong(l, WVector(0.0f, 0.0f, 1.0f));
  SetCorners(l, f, &WFace::vn, {n, n, n});
  return scene;
}

WScene MakeWeightedSkin() {
  WScene scene;
  const int skin = 0, bone1 = 1, bone2 = 2;
  for (const char* name : {"skin", "bone1", "bone2"}) scene.AddObject(name);
  WObject& obj = scene.objects[skin];
  for (int i = 0; i < 3; ++i) AddVertexAt(obj, static_cast<float>(i), 0.0f, 0.0f);
  AddWeight(obj.vertices[0], bone2, 0.5f);
  AddWeight(obj.vertices[0], bone1, 0.25f);
  AddWeight(obj.vertices[1], bone1, 0.00001f);  // at the threshold: no influence
  AddWeight(obj.vertices[1], bone2, 0.0000101f);
  AddWeight(obj.vertices[1], skin, 0.000005f);
  AddWeight(obj.vertices[2], bone1, 1.0f);
  AddWeight(obj.vertices[2], bone1, 0.75f);  // the same bone again
  AddWeight(obj.vertices[2], 9, 0.5f);       // no such object
  AddWeight(obj.vertices[2], -1, 0.5f);
  return scene;
}

WScene MakeQuadWithEdges() {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "q", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}});
  const int f = AddFaceOver(obj, {0, 1, 2, 3}, 0);
  for (int k = 0; k < 4; ++k) obj.faces[f].SideLines()[k] = AddLineBetween(obj, k, (k + 1) % 4);
  AddLineBetween(obj, 2, 5);
  return scene;
}
