// The DirectX writer's vertex split on a grid whose every corner has its own
// texture coordinate, as a host document gives them: inner vertices split
// four ways.
#include <benchmark/benchmark.h>

#include "bench_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

static void BM_SplitVerticesByUv(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const WScene grid = MakeTexturedGrid(side, false);
  for (auto _ : state) {
    state.PauseTiming();
    WObject object = grid.objects[0];
    state.ResumeTiming();
    SplitVerticesByUv(object);
    benchmark::DoNotOptimize(object.vnum);
    state.PauseTiming();
    object.Reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_SplitVerticesByUv)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
