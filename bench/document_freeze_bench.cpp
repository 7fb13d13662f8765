// Freezing large objects as the host shows them: a connected mirror of a
// million-quad half, a subdivision of a million quads, a lathe of a long
// profile, and a lathe of one edge in ten million steps.
#include <benchmark/benchmark.h>

#include <string>

#include "host/document_freeze.h"

namespace {

// A side x side grid of textured quads on x >= 0, its first column on the
// mirror plane.
MQObjectRecord MakeHalfGrid(int side) {
  MQObjectRecord obj;
  obj.name = "grid";
  const int row = side + 1;
  for (int j = 0; j < row; ++j)
    for (int i = 0; i < row; ++i)
      obj.AddVertex(MQPoint{static_cast<float>(i) * 1.5f, static_cast<float>((i * 7 + j * 13) % 97) * 0.25f,
                            static_cast<float>(j) * -1.5f});
  const float step = 1.0f / static_cast<float>(side);
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      const int v = j * row + i;
      const int32_t corners[4] = {v, v + row, v + row + 1, v + 1};
      const int32_t f = obj.AddFace(4, corners);
      obj.face_material.Set(static_cast<size_t>(f), 0);
      const float u0 = static_cast<float>(i) * step, u1 = static_cast<float>(i + 1) * step;
      const float v0 = static_cast<float>(j) * step, v1 = static_cast<float>(j + 1) * step;
      const MQCoordinate uvs[4] = {{u0, v0}, {u0, v1}, {u1, v1}, {u1, v0}};
      for (int k = 0; k < 4; ++k) obj.CornerUvsPerCorner()[static_cast<size_t>(obj.face_start[f] + k)] = uvs[k];
    }
  return obj;
}

void Run(benchmark::State& state, const MQObjectRecord& source) {
  for (auto _ : state) {
    state.PauseTiming();
    MQObjectRecord obj = source;
    state.ResumeTiming();
    std::string error;
    if (!FreezeObject(obj, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(obj.corner_vertex.data());
  }
  state.counters["faces"] = static_cast<double>(source.FaceCount());
}

void BM_MirrorConnected(benchmark::State& state) {
  MQObjectRecord obj = MakeHalfGrid(1000);
  obj.mirror_type = 2;
  obj.mirror_axis = 1;
  Run(state, obj);
}
BENCHMARK(BM_MirrorConnected)->Unit(benchmark::kMillisecond);

void BM_Subdivision(benchmark::State& state) {
  if (!SubdivisionAvailable()) {
    state.SkipWithError("built without OpenSubdiv");
    return;
  }
  MQObjectRecord obj = MakeHalfGrid(static_cast<int>(state.range(0)));
  obj.patch_type = 3;
  obj.patch_segment = static_cast<int32_t>(state.range(1));
  Run(state, obj);
}
BENCHMARK(BM_Subdivision)->Args({1000, 1})->Args({250, 3})->Unit(benchmark::kMillisecond);

void BM_Lathe(benchmark::State& state) {
  // A profile of 10000 edges turned in 100 steps: a million faces.
  MQObjectRecord obj;
  for (int i = 0; i <= 10000; ++i) obj.AddVertex(MQPoint{100.0f + static_cast<float>(i % 7), static_cast<float>(i), 0.0f});
  for (int32_t i = 0; i < 10000; ++i) {
    const int32_t edge[2] = {i, i + 1};
    obj.AddFace(2, edge);
  }
  obj.lathe_type = 1;
  obj.lathe_axis = 1;
  obj.lathe_segment = 100;
  Run(state, obj);
}
BENCHMARK(BM_Lathe)->Unit(benchmark::kMillisecond);

void BM_LatheSteps(benchmark::State& state) {
  // One profile edge in as many steps as the document asks: past 256 steps
  // the time stays that of 256.
  MQObjectRecord obj;
  obj.AddVertex(MQPoint{10.0f, 0.0f, 0.0f});
  obj.AddVertex(MQPoint{20.0f, 10.0f, 0.0f});
  const int32_t edge[2] = {0, 1};
  obj.AddFace(2, edge);
  obj.lathe_type = 1;
  obj.lathe_axis = 1;
  obj.lathe_segment = static_cast<int32_t>(state.range(0));
  Run(state, obj);
}
BENCHMARK(BM_LatheSteps)->Arg(256)->Arg(10000000)->Unit(benchmark::kMicrosecond);

}  // namespace
