// Every scene writer on a prepared grid of one million textured quads, as
// the export passes leave it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_scenes.h"
#include "w_lib/writers/w_writers.h"

static void BM_Write(benchmark::State& state, WriteResult (*write)(const char*, const WScene&, const WriterOptions&),
                     const char* extension) {
  const int side = static_cast<int>(state.range(0));
  const WScene scene = MakePreparedGrid(side);
  // Memory-backed where available, so that the disk does not set the pace.
  const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string base = dir + "/vellmar_bench_" + std::to_string(getpid());
  const std::string path = base + extension;
  for (auto _ : state) {
    if (!write(path.c_str(), scene, {})) state.SkipWithError("write failed");
  }
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    state.counters["bytes"] = static_cast<double>(std::ftell(f));
    std::fclose(f);
  }
  std::remove(path.c_str());
  std::remove((base + ".mtl").c_str());  // the OBJ writer's material file
  state.SetItemsProcessed(state.iterations() * side * side);
}

#define VELLMAR_WRITER_BENCHMARK(name, writer, extension) \
  BENCHMARK_CAPTURE(BM_Write, name, writer, extension)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()

VELLMAR_WRITER_BENCHMARK(Xsi, WriteXsiFile, ".xsi");
VELLMAR_WRITER_BENCHMARK(DirectX, WriteXFile, ".x");
VELLMAR_WRITER_BENCHMARK(Obj, WriteObjFile, ".obj");
VELLMAR_WRITER_BENCHMARK(Mqo, WriteMqoFile, ".mqo");
VELLMAR_WRITER_BENCHMARK(DxfFaces, WriteDxfFaces, ".dxf");
VELLMAR_WRITER_BENCHMARK(DxfPolyface, WriteDxfPolyface, ".dxf");
VELLMAR_WRITER_BENCHMARK(Dump, WriteSceneDump, ".txt");
