// Scene model costs on a grid of one million quads: building, copying and
// compacting.
#include <benchmark/benchmark.h>

#include "bench_scenes.h"

static void BM_BuildGrid(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  for (auto _ : state) {
    WScene scene = MakeTexturedGrid(side, true);
    benchmark::DoNotOptimize(scene.objects[0].faces);
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_BuildGrid)->Arg(1000)->Unit(benchmark::kMillisecond);

static void BM_CopyScene(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  WScene scene = MakeTexturedGrid(side, true);
  for (auto _ : state) {
    WScene copy(scene);
    benchmark::DoNotOptimize(copy.objects[0].faces);
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_CopyScene)->Arg(1000)->Unit(benchmark::kMillisecond);

static void BM_CompactHalfTheUvs(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakeTexturedGrid(side, true);
  for (auto _ : state) {
    state.PauseTiming();
    WScene work(scene);
    WObject& obj = work.objects[0];
    for (int i = 0; i < obj.unum; i += 2) obj.uvs[i].flags |= kDeleted;
    state.ResumeTiming();
    obj.Compact();
    benchmark::DoNotOptimize(obj.uvs);
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_CompactHalfTheUvs)->Arg(1000)->Unit(benchmark::kMillisecond);
