// Writers and passes split work over threads: the bytes written must not
// depend on how many there are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "writer_checks.h"
#include "w_lib/writers/w_writers.h"

namespace {

// A grid of side x side quads with a texture coordinate per corner, taken
// through the passes that threads share (face normals, smoothing) and the
// record passes and the edge list, large enough for every writer's lists
// to be split.
WScene LargeGrid(int side) {
  WScene scene;
  const int m = scene.AddMaterial("grid");
  scene.materials[m].tex = scene.AddTexture("grid.bmp");
  WObject& obj = AddObjectAt(scene, "grid");
  const int row = side + 1;
  for (int y = 0; y <= side; ++y)
    for (int x = 0; x <= side; ++x) AddVertexAt(obj, float(x), float(y), float((x * y) % 7) * 0.25f);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const int f = AddFaceOver(obj, {y * row + x, y * row + x + 1, (y + 1) * row + x + 1, (y + 1) * row + x}, 0);
      SetFaceUvs(obj, f, {0.1f * float(x % 9), 0, 1, 0, 1, 1, 0, 0.5f});
    }
  ComputeFaceNormals(scene);
  SmoothCornerNormals(scene);
  WeldUvs(scene);
  ExpandWeldColors(scene);
  ExpandWeldNormals(scene);
  BuildEdges(scene);
  return scene;
}

std::string AllWriters(const WScene& scene) {
  std::string text = TextOf([](TextOutput& out, const WScene& s) { WriteXsiScene(out, s, 0); }, scene);
  const SceneWriter writers[] = {&WriteXFile, &WriteObjFile, &WriteMqoFile, &WriteDxfFaces, &WriteDxfPolyface};
  for (SceneWriter write : writers)
    text += FileTextOf(write, scene);
  return text;
}

}  // namespace

TEST(Threads, PassesAndWritersGiveTheSameBytesOnAnyNumberOfThreads) {
  const char* before = std::getenv("VELLMAR_THREADS");
  const std::string saved = before ? before : "";
  std::string first;
  for (const char* threads : {"1", "2", "3"}) {
    setenv("VELLMAR_THREADS", threads, 1);
    const std::string text = AllWriters(LargeGrid(190));
    if (first.empty()) first = text;
    EXPECT_TRUE(text == first) << threads << " threads";
  }
  if (before) setenv("VELLMAR_THREADS", saved.c_str(), 1);
  else unsetenv("VELLMAR_THREADS");
  EXPECT_GT(first.size(), 10000000u);
}
