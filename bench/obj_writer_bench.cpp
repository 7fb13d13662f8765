// OBJ writing (with its material file) of a prepared grid of one million
// textured quads.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_scenes.h"
#include "w_lib/writers/w_writers.h"

static void BM_WriteObjFile(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakePreparedGrid(side);
  // Memory-backed where available, so that the disk does not set the pace.
  const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string base = dir + "/vellmar_bench_" + std::to_string(getpid());
  const std::string path = base + ".obj";
  for (auto _ : state) {
    if (!WriteObjFile(path.c_str(), scene)) state.SkipWithError("write failed");
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    std::fseek(f, 0, SEEK_END);
    state.counters["bytes"] = static_cast<double>(std::ftell(f));
    std::fclose(f);
  }
  std::remove(path.c_str());
  std::remove((base + ".mtl").c_str());
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_WriteObjFile)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
