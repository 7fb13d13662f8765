// .mqo and DXF writing of a prepared grid of one million textured quads.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_scenes.h"
#include "w_lib/writers/w_writers.h"

static void BM_Write(benchmark::State& state, bool (*write)(const char*, const WScene&), const char* extension) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakePreparedGrid(side);
  // Memory-backed where available, so that the disk does not set the pace.
  const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string path = dir + "/vellmar_bench_" + std::to_string(getpid()) + extension;
  for (auto _ : state) {
    if (!write(path.c_str(), scene)) state.SkipWithError("write failed");
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
BENCHMARK_CAPTURE(BM_Write, Mqo, WriteMqoFile, ".mqo")->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Write, DxfFaces, WriteDxfFaces, ".dxf")->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Write, DxfPolyface, WriteDxfPolyface, ".dxf")->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
