// Fuzz target: a texture file's bytes made a glTF image, as the glTF
// writers store it: PNG and JPEG checked by their heads, every other format
// that the image library reads decoded and written as PNG.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "w_lib/writers/gltf/gltf_images.h"

// Images of up to 256 x 256 pixels are converted, so that a run takes
// milliseconds: every decoder is reached all the same, as every head is
// read before the size is checked.
constexpr long long kFuzzMaxPixels = 1 << 16;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GltfImage image;
  std::string why;
  // Stored or refused, either is a finished run: only a crash or a
  // sanitizer report is a finding.
  static_cast<void>(GltfImageOfBytes(std::vector<unsigned char>(data, data + size), image, why, kFuzzMaxPixels));
  return 0;
}
