// Reading a large .mqo document from memory: one object of a million quads
// on a grid, vertex lines with four decimals and faces with a material and
// five-decimal texture coordinates, as the host writes them.
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>

#include "host/mqo_reader.h"

namespace {

void AppendFixed(std::string& out, float value, int decimals) {
  char buffer[32];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, r.ptr);
}

void AppendInt(std::string& out, int value) {
  char buffer[16];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

// A side x side grid of quads.
std::string MakeGridDocument(int side) {
  const int row = side + 1;
  std::string text;
  text.reserve(static_cast<size_t>(side) * side * 140);
  text += "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";
  text += "Material 1 {\r\n\t\"grid\" shader(3) col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) "
          "emi(0.000) spc(0.000) power(5.00) tex(\"grid.png\")\r\n}\r\n";
  text += "Object \"grid\" {\r\n\tvisible 15\r\n\tshading 1\r\n\tfacet 59.5\r\n\tvertex ";
  AppendInt(text, row * row);
  text += " {\r\n";
  for (int j = 0; j < row; ++j) {
    for (int i = 0; i < row; ++i) {
      text += "\t\t";
      AppendFixed(text, static_cast<float>(i) * 1.7321f - 866.0254f, 4);
      text += ' ';
      AppendFixed(text, static_cast<float>((i * 7 + j * 13) % 97) * 0.3183f, 4);
      text += ' ';
      AppendFixed(text, static_cast<float>(j) * -1.4142f + 707.1068f, 4);
      text += "\r\n";
    }
  }
  text += "\t}\r\n\tface ";
  AppendInt(text, side * side);
  text += " {\r\n";
  const float step = 1.0f / static_cast<float>(side);
  for (int j = 0; j < side; ++j) {
    for (int i = 0; i < side; ++i) {
      const int v = j * row + i;
      const int corners[4] = {v, v + row, v + row + 1, v + 1};
      const float u0 = static_cast<float>(i) * step, u1 = static_cast<float>(i + 1) * step;
      const float v0 = static_cast<float>(j) * step, v1 = static_cast<float>(j + 1) * step;
      const float us[4] = {u0, u0, u1, u1};
      const float vs[4] = {v0, v1, v1, v0};
      text += "\t\t4 V(";
      for (int k = 0; k < 4; ++k) {
        if (k != 0) text += ' ';
        AppendInt(text, corners[k]);
      }
      text += ") M(0) UV(";
      for (int k = 0; k < 4; ++k) {
        if (k != 0) text += ' ';
        AppendFixed(text, us[k], 5);
        text += ' ';
        AppendFixed(text, vs[k], 5);
      }
      text += ")\r\n";
    }
  }
  text += "\t}\r\n}\r\nEof\r\n";
  return text;
}

void BM_ParseMqoDocument(benchmark::State& state) {
  static const std::string text = MakeGridDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    MQDocumentRecord doc;
    std::string error;
    if (!ParseMqoDocument(text.data(), text.size(), "grid.mqo", doc, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(doc.objects[0]->corner_uvs.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
  state.counters["document_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseMqoDocument)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
