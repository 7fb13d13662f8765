// Scenes of many objects, many materials and one huge polygon: the time of
// each should grow in proportion to its size, so a quadratic step shows at
// once when the argument grows fourfold.
#include <benchmark/benchmark.h>

#include <cmath>
#include <new>
#include <string>

#include "Vellmar/export_passes.h"
#include "bench_scenes.h"
#include "w_lib/writers/w_writers.h"

namespace {

// How the triangles of ManyTriangles are laid out.
enum class Layout {
  kObjects,                // an object each, all of one material
  kMaterials,              // one object, a material each
  kObjectsOfOwnMaterials,  // an object and a material each
};

// count triangles laid out as layout says, as the export driver fills a
// scene.
WScene ManyTriangles(int count, Layout layout) {
  const bool one_object = layout == Layout::kMaterials;
  const bool own_materials = layout != Layout::kObjects;
  WScene scene;
  if (!own_materials) scene.AddMaterial("m");
  for (int i = 0; i < count; ++i) {
    if (own_materials) scene.AddMaterial(("mat" + std::to_string(i)).c_str());
    if (!one_object || i == 0) {
      const int o = scene.AddObject(one_object ? "o" : ("o" + std::to_string(i)).c_str());
      WObject& obj = scene.objects[o];
      // Exact room, as the driver reserves it.
      if (!obj.ReserveVertices(3)) throw std::bad_alloc();
      if (!obj.ReserveFaces(one_object ? count : 1)) throw std::bad_alloc();
      if (!obj.ReserveUvs(one_object ? 3 * count : 3)) throw std::bad_alloc();
      for (int k = 0; k < 3; ++k) {
        const int v = obj.AddVertex();  // first: the add may move the array
        obj.vertices[v].pos = WVector(float(i + k % 2), float(k / 2), 0.0f);
      }
    }
    WObject& obj = scene.objects[scene.onum - 1];
    const int f = obj.AddFace(3);
    obj.faces[f].material = own_materials ? i : 0;
    for (int k = 0; k < 3; ++k) {
      obj.faces[f].v[k] = k;
      const int t = obj.AddUv();
      obj.faces[f].vt()[k] = t;
    }
  }
  return scene;
}

// Prepares the scene as an export does and writes it in every format;
// false when a writer failed, which would make the time meaningless.
// DirectX repeats the whole material list in every mesh, so its file, and
// time, grow with objects times materials: with_x false leaves it out.
bool ExportInEveryFormat(const WScene& source, bool with_x = true) {
  WScene scene(source);
  RunExportPasses(scene);
  bool written = WriteXsiFile("/dev/null", scene).written();
  if (with_x) written = WriteXFile("/dev/null", scene) && written;
  written = WriteObjFile("/dev/null", scene) && written;
  written = WriteMqoFile("/dev/null", scene) && written;
  written = WriteDxfFaces("/dev/null", scene) && written;
  written = WriteDxfPolyface("/dev/null", scene) && written;
#if VELLMAR_GLTF
  written = WriteGlbFile("/dev/null", scene) && written;
#endif
  return written;
}

}  // namespace

static void BM_ManyTriangles(benchmark::State& state, Layout layout) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state)
    if (!ExportInEveryFormat(ManyTriangles(count, layout))) state.SkipWithError("a write failed");
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK_CAPTURE(BM_ManyTriangles, objects, Layout::kObjects)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ManyTriangles, materials, Layout::kMaterials)->Arg(32000)->Arg(128000)->Unit(benchmark::kMillisecond);

static void BM_ManyObjectsOfOwnMaterials(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state)
    if (!ExportInEveryFormat(ManyTriangles(count, Layout::kObjectsOfOwnMaterials), false))
      state.SkipWithError("a write failed");
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ManyObjectsOfOwnMaterials)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond);

// One polygon of n corners around a circle, cut into triangles as the .mqo
// and DXF writers cut it: convex, a star of long thin spikes, or a noisy
// outline whose radii run in a sawtooth (short slanted sides, every way).
// And the shapes of hostile documents: every corner on one point, a circle
// of 1,000 points each repeated in a run of corners, corners that take
// turns on two points, one point that every other corner comes back to (a
// flower, whose diagonals from that point touch every side there), and a
// square whose one side holds all but two corners, turned so that the
// diagonals run along it. The last two make every diagonal test every side
// it touches until the cut passes over such sides. Last, two thin strips of
// 300 units: n corners along one long side, straight or bowed by at most
// one unit, whose diagonals run too close to that side for the trees'
// margins to pass over it; and the straight one as a mirrored document
// hands it over, starting at the far corner above the run. Last, strips whose
// diagonals end within the side test's rounding of the sides near their
// ends: the bowed one the other way round from the corner above its far end,
// and the straight one turned by 0.3 radians off the axes, from the corner
// above the start of its run; both with the normal their corners give.
// And the flower with the zero normal that its corners give from some
// 100,000 corners on, which no side test can find a crossing for. Last, a
// flower of whole coordinates, its petals along the axes and the diagonals
// between them and one unit longer every eight petals, with its corners
// from the last tip back: diagonals from tip to tip end on every longer
// petal in their directions.
enum class Outline {
  kCircle, kStar, kSawtooth, kOnePoint, kRuns, kTwoPoints, kFlower, kStraightRun, kThinStrip, kBowedStrip,
  kMirroredStrip, kReversedBowedStrip, kTurnedStrip, kFlowerOfNoDirection, kAxisFlower
};

static void TriangulateOnePolygon(benchmark::State& state, Outline outline) {
  const int n = static_cast<int>(state.range(0));
  WScene scene;
  const int o = scene.AddObject("disc");
  WObject& obj = scene.objects[o];
  const int f = obj.AddFace(n);
  for (int k = 0; k < n; ++k) {
    int point = outline == Outline::kRuns ? k / (n / 1000) * (n / 1000) : k;
    if (outline == Outline::kTwoPoints) point = k + 1 == n ? n / 4 : 0;
    const double a = 6.283185307179586 * point / n;
    double r = outline == Outline::kStar       ? (k % 2 ? 100.0 : 1000.0)
               : outline == Outline::kSawtooth ? 1000.0 + 20.0 * (k * 2 % 13)
                                               : 1000.0;
    const bool flower = outline == Outline::kFlower || outline == Outline::kFlowerOfNoDirection;
    if (outline == Outline::kOnePoint || (flower && k % 2 == 0)) r = 0.0;
    if (outline == Outline::kTwoPoints) r = k + 1 == n ? 500.0 : k % 2 ? 1000.0 : 0.0;
    const int v = obj.AddVertex();
    obj.vertices[v].pos = WVector(static_cast<float>(r * std::cos(a)), static_cast<float>(r * std::sin(a)), 0.0f);
    if (outline == Outline::kStraightRun)  // (0, n), (n - 3, n), then back along y = 0
      obj.vertices[v].pos = k < 2 ? WVector(k == 0 ? 0.0f : float(n - 3), float(n), 0.0f) : WVector(float(n - 1 - k), 0.0f, 0.0f);
    if (outline == Outline::kThinStrip || outline == Outline::kBowedStrip) {  // (i, y(i)), then (n - 3, 300), (0, 300)
      const double i = k < n - 2 ? k : k == n - 2 ? n - 3 : 0;
      const double y = k >= n - 2 ? 300.0 : outline == Outline::kThinStrip ? 0.0 : 4.0 * i * (n - 3 - i) / (double(n - 2) * (n - 2));
      obj.vertices[v].pos = WVector(static_cast<float>(i), static_cast<float>(y), 0.0f);
    }
    if (outline == Outline::kMirroredStrip) {  // (0, 300), then (i, 0), then (n - 3, 300)
      const int i = k == 0 ? 0 : k < n - 1 ? k - 1 : n - 3;
      obj.vertices[v].pos = WVector(static_cast<float>(i), k == 0 || k == n - 1 ? 300.0f : 0.0f, 0.0f);
    }
    if (outline == Outline::kReversedBowedStrip) {  // (n - 3, 300), then (i, y(i)) back to i = 0, then (0, 300)
      const double i = k == 0 ? n - 3 : k < n - 1 ? n - 2 - k : 0;
      const double y = k == 0 || k == n - 1 ? 300.0 : 4.0 * i * (n - 3 - i) / (double(n - 2) * (n - 2));
      obj.vertices[v].pos = WVector(static_cast<float>(i), static_cast<float>(y), 0.0f);
    }
    if (outline == Outline::kTurnedStrip) {  // the mirrored strip, turned
      const double i = k == 0 ? 0 : k < n - 1 ? k - 1 : n - 3;
      const double y = k == 0 || k == n - 1 ? 300.0 : 0.0;
      const double c = std::cos(0.3), s = std::sin(0.3);
      obj.vertices[v].pos = WVector(static_cast<float>(i * c - y * s), static_cast<float>(i * s + y * c), 0.0f);
    }
    if (outline == Outline::kAxisFlower) {
      const int directions[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
      const int j = n - 1 - k, petal = j / 2, length = 1 + petal / 8;
      obj.vertices[v].pos = j % 2 ? WVector(float(directions[petal % 8][0] * length),
                                            float(directions[petal % 8][1] * length), 0.0f)
                                  : WVector();
    }
    obj.faces[f].v[k] = v;
  }
  ComputeFaceNormals(scene);
  // The normal comes from the first corners, which some of these put on one point.
  if (outline != Outline::kReversedBowedStrip && outline != Outline::kTurnedStrip && outline != Outline::kAxisFlower)
    obj.faces[f].normal = WVector(0.0f, 0.0f, 1.0f);
  // The normal that a fine flower's corners give: none of them turns by
  // more than float rounding.
  if (outline == Outline::kFlowerOfNoDirection) obj.faces[f].normal = WVector();
  for (auto _ : state) {
    state.PauseTiming();
    WScene work(scene);
    state.ResumeTiming();
    TriangulateScene(work, true);
    benchmark::DoNotOptimize(work.objects[0].faces);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK_CAPTURE(TriangulateOnePolygon, Circle, Outline::kCircle)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, Star, Outline::kStar)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, Sawtooth, Outline::kSawtooth)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, OnePoint, Outline::kOnePoint)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, Runs, Outline::kRuns)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, TwoPoints, Outline::kTwoPoints)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, Flower, Outline::kFlower)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, FlowerOfNoDirection, Outline::kFlowerOfNoDirection)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, StraightRun, Outline::kStraightRun)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, ThinStrip, Outline::kThinStrip)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, BowedStrip, Outline::kBowedStrip)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, MirroredStrip, Outline::kMirroredStrip)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, ReversedBowedStrip, Outline::kReversedBowedStrip)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, AxisFlower, Outline::kAxisFlower)
    ->Arg(50000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(TriangulateOnePolygon, TurnedStrip, Outline::kTurnedStrip)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

#if VELLMAR_GLTF
// n triangles around a centre vertex at height centre_z over a circle of n
// vertices, the centre first in each triangle.
static void AddFan(WObject& obj, int n, float centre_z) {
  const int centre = obj.AddVertex();
  obj.vertices[centre].pos = WVector(0.0f, 0.0f, centre_z);
  for (int k = 0; k < n; ++k) {
    const double a = 6.283185307179586 * k / n;
    const int v = obj.AddVertex();
    obj.vertices[v].pos = WVector(static_cast<float>(100.0 * std::cos(a)), static_cast<float>(100.0 * std::sin(a)), 0.0f);
  }
  for (int k = 0; k < n; ++k) {
    const int f = obj.AddFace(3);
    const int corners[3] = {centre, 1 + k, 1 + (k + 1) % n};
    for (int c = 0; c < 3; ++c) obj.faces[f].v[c] = corners[c];
  }
}

// Writes the scene, after the library formats' passes, as .glb for each
// iteration.
static void WriteGlbOf(benchmark::State& state, WScene& scene, int items) {
  RunLibraryFormatPasses(scene);
  for (auto _ : state)
    if (!WriteGlbFile("/dev/null", scene)) state.SkipWithError("a write failed");
  state.SetItemsProcessed(state.iterations() * items);
}

// A fan of triangles around one vertex, each corner there with its own
// texture coordinate, written as .glb: the vertex splits into one vertex per
// triangle, and finding each corner's vertex must not cost the number of
// those made so far.
static void BM_GlbFanAroundOneVertex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WScene scene;
  const int m = scene.AddMaterial("skin");
  scene.materials[m].tex = scene.AddTexture("skin.png");
  const int o = scene.AddObject("fan");  // first: the add may move the array
  WObject& obj = scene.objects[o];
  AddFan(obj, n, 50.0f);
  for (int k = 0; k < n; ++k) {
    WFace& face = obj.faces[k];
    const float us[3] = {static_cast<float>(k) / static_cast<float>(n), 0.0f, 1.0f};
    face.material = m;
    for (int c = 0; c < 3; ++c) {
      const int t = obj.AddUv();
      face.vt()[c] = t;
      obj.uvs[t].u = us[c];
      obj.uvs[t].v = c == 0 ? 0.0f : 1.0f;
    }
  }
  WriteGlbOf(state, scene, n);
}
BENCHMARK(BM_GlbFanAroundOneVertex)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// The same fan with one vertex at its centre that every triangle shares (a
// polygon of n corners cut into triangles): ordering the triangles for the
// vertex cache must not cost the square of the triangles around it.
static void BM_GlbFanSharingOneVertex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WScene scene;
  const int o = scene.AddObject("fan");
  AddFan(scene.objects[o], n, 0.0f);  // flat: one normal for all
  WriteGlbOf(state, scene, n);
}
BENCHMARK(BM_GlbFanSharingOneVertex)->Arg(40000)->Arg(400000)->Unit(benchmark::kMillisecond);
#endif
