// Writers and passes split work over threads: the bytes written must not
// depend on how many there are.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "writer_checks.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/round_crew.h"
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

// count small objects, each a textured quad of one of seven materials, every
// fifth a child of the one before it, with a large grid among them: the
// writers format runs of small objects on the threads and the grid alone.
WScene SmallObjectsAroundALargeOne(int count) {
  WScene scene = LargeGrid(150);
  for (int i = 0; i < count; ++i) {
    const float x = float(i);
    WObject& o = AddObjectAt(scene, ("small" + std::to_string(i)).c_str(),
                             {{x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, 0}, {x, 1, 0}});
    if (i < 7) scene.AddMaterial(("m" + std::to_string(i)).c_str());
    const int f = AddFaceOver(o, {0, 1, 2, 3}, 1 + i % 7);
    SetFaceUvs(o, f, {0, 0, 1, 0, 1, 1, 0, 1});
    if (i % 5 == 4) o.parent = scene.onum - 2;
    // The grid moves to the middle of the list.
    if (i == count / 2) std::swap(scene.objects[0], scene.objects[scene.onum - 1]);
  }
  ComputeFaceNormals(scene);
  SmoothCornerNormals(scene);
  WeldUvs(scene);
  ExpandWeldNormals(scene);
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
  for (const bool many : {false, true}) {
    std::string first;
    for (const char* threads : {"1", "2", "3"}) {
      setenv("VELLMAR_THREADS", threads, 1);
      const std::string text = AllWriters(many ? SmallObjectsAroundALargeOne(3000) : LargeGrid(190));
      if (first.empty()) first = text;
      EXPECT_TRUE(text == first) << threads << " threads" << (many ? ", many objects" : "");
    }
    EXPECT_GT(first.size(), 10000000u);
  }
  if (before) setenv("VELLMAR_THREADS", saved.c_str(), 1);
  else unsetenv("VELLMAR_THREADS");
}

TEST(Threads, WeightedItemsAreWrittenInOrderWhateverTheirWeights) {
  // Light runs, items heavy enough to go alone, and a light item that
  // does not fit what is left of a thread's share.
  const auto weight = [](size_t i) { return i % 97 == 0 ? 3 * kItemsPerBlock : (i % 10) * 500; };
  const auto format = [](TextOutput& to, size_t i) { to.Int(static_cast<long long>(i)).Put('\n'); };
  TextOutput serial;
  for (size_t i = 0; i < 5000; ++i) format(serial, i);
  // Each part is one thread's at a time.
  std::vector<std::atomic<int>> busy(3);
  std::atomic<bool> shared{false};
  TextOutput weighted;
  PutWeightedItems(weighted, 5000, 3, weight, [&](TextOutput& to, size_t i, int part) {
    if (busy[static_cast<size_t>(part)]++ != 0) shared = true;
    format(to, i);
    busy[static_cast<size_t>(part)]--;
  });
  EXPECT_TRUE(weighted.text() == serial.text());
  EXPECT_FALSE(shared);
}

TEST(Threads, RoundCrewPassesOnErrorsAndKeepsRoundsInOrder) {
  std::string written;
  {
    RoundCrew crew(3);
    std::vector<std::string> parts(3);
    for (int round = 0; round < 200; ++round) {
      crew.Format([&](int part) { parts[static_cast<size_t>(part)] = std::to_string(round * 3 + part) + ","; });
      crew.WaitWritten();
      std::string joined = parts[0] + parts[1] + parts[2];
      crew.StartWrite([&written, joined] { written += joined; });
    }
    crew.WaitWritten();

    // A part that throws: the others finish, and the error comes back.
    std::atomic<int> finished{0};
    EXPECT_THROW(crew.Format([&](int part) {
      if (part == 2) throw std::bad_alloc();
      ++finished;
    }),
                 std::bad_alloc);
    EXPECT_EQ(finished, 2);
    // A write that throws: passed on by the next wait, and only once.
    crew.StartWrite([] { throw std::bad_alloc(); });
    EXPECT_THROW(crew.WaitWritten(), std::bad_alloc);
    EXPECT_NO_THROW(crew.WaitWritten());
    // Still at work after both.
    crew.Format([&](int) { ++finished; });
    EXPECT_EQ(finished, 5);
    crew.StartWrite([&written] { written += "end"; });
  }  // the write under way is waited for
  std::string expected;
  for (int i = 0; i < 600; ++i) expected += std::to_string(i) + ",";
  EXPECT_EQ(written, expected + "end");
}
