// The export's whole pass sequence on a grid of one million textured quads.
#include <benchmark/benchmark.h>

#include "Vellmar/export_passes.h"
#include "bench_scenes.h"

static void BM_RunExportPasses(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakeTexturedGrid(side, true);
  WScene work;
  for (auto _ : state) {
    // Copying (and releasing the previous copy) stays outside the timing.
    state.PauseTiming();
    work = scene;
    state.ResumeTiming();
    RunExportPasses(work);
    benchmark::DoNotOptimize(work.objects[0].lines);
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_RunExportPasses)->Arg(1000)->Unit(benchmark::kMillisecond);
