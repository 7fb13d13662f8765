// The texture images that a glTF file stores in its buffer: the file of
// each texture that the scene's materials name, found as the host finds it
// (FindTextureFile), read, and kept as PNG or JPEG, which every glTF viewer
// shows.
#pragma once

#include <string>
#include <vector>

#include "w_lib/writers/w_writers.h"

struct GltfImage {
  std::string name;       // the texture's file name, UTF-8
  const char* mime_type;  // "image/png" or "image/jpeg"
  std::vector<unsigned char> bytes;
};

struct GltfImages {
  std::vector<GltfImage> images;    // each file once, in the order the materials first name them
  std::vector<int> material_image;  // per material: its image, or -1
  int files_read = 0;               // texture files read: each once, whatever names lead to it
};

// The images of the scene's materials. A texture whose file cannot be
// found, read or taken as an image gives its materials no image, and one
// line in source.warnings that names it and them.
GltfImages CollectGltfImages(const WScene& scene, const TextureSource& source);

// What the small files of one document may expand to, together: an image
// whose pixels (bytes of every channel) pass kSmallFileExpansion times the
// bytes of its file is converted only while the document's budget holds
// them. Honest pictures come from files that hold a fair share of their
// pixels and never count; a few kilobytes that claim a picture of the
// largest size (runs of one colour) may cost one such conversion, not one
// each.
constexpr long long kSmallFileExpansion = 64;
struct ExpansionBudget {
  long long bytes_left = (1ll << 24) * 4;  // one picture of 4096 x 4096 with four channels
};

// The file at path as a glTF image: PNG and JPEG as they are (once their
// head is whole, and a PNG's chunks up to its end with image data among
// them), any other format that stb_image reads here (BMP, TGA, GIF, PSD,
// PIC) converted to PNG with the channels it has. False, with the reason
// in why, for a file that cannot be read, is not a regular file, is larger
// than 256 MiB or is no image, for an image to convert of more than 4096 x
// 4096 pixels, and for one of a small file past what budget (when given)
// holds.
bool ReadGltfImage(const std::string& path, GltfImage& image, std::string& why, ExpansionBudget* budget = nullptr);
// The same for the bytes of a file already read; an image to convert may
// have at most max_pixels pixels.
constexpr long long kMaxConvertedPixels = 1ll << 24;  // 4096 x 4096
bool GltfImageOfBytes(std::vector<unsigned char> bytes, GltfImage& image, std::string& why,
                      long long max_pixels = kMaxConvertedPixels, ExpansionBudget* budget = nullptr);
