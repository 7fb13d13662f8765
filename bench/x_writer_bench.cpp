// DirectX text writing of a prepared grid of one million textured quads,
// and the vertex split on a grid whose every quad has its own coordinates.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_scenes.h"
#include "w_lib/writers/w_writers.h"

static void BM_WriteXFile(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakePreparedGrid(side);
  // Memory-backed where available, so that the disk does not set the pace.
  const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string path = dir + "/vellmar_bench_" + std::to_string(getpid()) + ".x";
  for (auto _ : state) {
    if (!WriteXFile(path.c_str(), scene)) state.SkipWithError("write failed");
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    std::fseek(f, 0, SEEK_END);
    state.counters["bytes"] = static_cast<double>(std::ftell(f));
    std::fclose(f);
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_WriteXFile)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every corner has its own texture coordinate, as a host document gives
// them: inner vertices split four ways.
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
