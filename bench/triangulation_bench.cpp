// Triangulation of a grid of hexagons, half of them concave.
#include <benchmark/benchmark.h>

#include "bench_scenes.h"

static void BM_TriangulateScene(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakeHexagonGrid(side);
  WScene work;
  for (auto _ : state) {
    // Copying (and releasing the previous copy) stays outside the timing.
    state.PauseTiming();
    work = scene;
    state.ResumeTiming();
    TriangulateScene(work, true);
    benchmark::DoNotOptimize(work.objects[0].faces);
  }
  state.counters["triangles"] = static_cast<double>(work.objects[0].fnum);
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_TriangulateScene)->Arg(500)->Unit(benchmark::kMillisecond);
