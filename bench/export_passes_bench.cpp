// The pass sequences, the export's and the library formats', on a grid of
// one million textured quads.
#include <benchmark/benchmark.h>

#include "Vellmar/export_passes.h"
#include "bench_scenes.h"

static void BM_RunPasses(benchmark::State& state, void (*passes)(WScene&)) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakeTexturedGrid(side, true);
  WScene work;
  for (auto _ : state) {
    // Copying (and releasing the previous copy) stays outside the timing.
    state.PauseTiming();
    work = scene;
    state.ResumeTiming();
    passes(work);
    benchmark::DoNotOptimize(work.objects[0].lines);
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK_CAPTURE(BM_RunPasses, Export, RunExportPasses)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunPasses, LibraryFormats, RunLibraryFormatPasses)->Arg(1000)->Unit(benchmark::kMillisecond);
