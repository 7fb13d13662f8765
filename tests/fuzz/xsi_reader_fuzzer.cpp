// Fuzz target: a dotXSI file's bytes through the scene library's reader,
// then what info and convert do with the scene: the volume of each mesh,
// the preparation for the writers and the dotXSI writer (into memory).
#include <cstddef>
#include <cstdint>
#include <string>

#include "w_lib/readers/xsi_reader.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WScene scene;
  XsiReadReport report;
  std::string error;
  // Refused or read, either is a finished run: only a crash or a sanitizer
  // report is a finding.
  if (!ReadXsiBytes(reinterpret_cast<const char*>(data), size, "fuzz.xsi", scene, report, error)) return 0;
  for (int o = 0; o < scene.onum; ++o)
    static_cast<void>(MeasureMeshVolume(scene.objects[o], scene.objects[o].transform.world_matrix));
  PrepareReadScene(scene);
  RotationsToXsiOrder(scene);
  TextOutput out;
  WriteXsiScene(out, scene, 0);
  return 0;
}
