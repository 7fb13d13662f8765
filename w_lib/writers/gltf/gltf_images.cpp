// Finding, reading and converting the texture images of a glTF file. PNG
// and JPEG are stored as they are, once their heads are whole. The formats
// that glTF does not name are decoded by stb_image and written as PNG by
// stb_image_write, both compiled into this file alone (their functions are
// private to it). stb's PNG writer is deterministic: its own deflate at a
// fixed level and a fixed rule for each row's filter, so an image gives the
// same bytes on every platform.
#include "w_lib/writers/gltf/gltf_images.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string_view>
#include <unordered_map>

#include "w_lib/util/code_page.h"
#include "w_lib/util/text.h"
#include "w_lib/util/texture_path.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
// No format of floating-point pixels, and no vector code: every decoder
// left works on integers, alike on every platform. PNG and JPEG are never
// decoded (they are stored as they are); without their decoders no other
// file can reach them either. Left out, as unsafe on malformed files in
// this version: the JPEG decoder (it writes past a table) and the PNM
// reader (its size numbers overflow).
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_SIMD
#define STBI_NO_PNG
#define STBI_NO_JPEG
#define STBI_NO_PNM
#include <stb/stb_image.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

constexpr long long kMaxFileBytes = 256ll << 20;

// The settings of stb's PNG writer, set once whatever the header's
// defaults may become: deflate level 8, and each row's filter chosen by
// the writer's own rule.
void PinPngSettings() {
  static const bool pinned = [] {
    stbi_write_png_compression_level = 8;
    stbi_write_force_png_filter = -1;
    return true;
  }();
  static_cast<void>(pinned);
}

bool StartsWith(const std::vector<unsigned char>& bytes, const char* head, size_t n) {
  return bytes.size() >= n && std::memcmp(bytes.data(), head, n) == 0;
}

unsigned BigEndian(const std::vector<unsigned char>& bytes, size_t at, size_t n) {
  unsigned value = 0;
  for (size_t k = 0; k < n; ++k) value = value << 8 | bytes[at + k];
  return value;
}

// A PNG file whose head is whole: the signature, then the IHDR chunk with a
// size, a bit depth and a colour type that PNG allows.
bool PngHeadIsWhole(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < 33 || BigEndian(bytes, 8, 4) != 13 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
    return false;
  const unsigned depth = bytes[24], colour = bytes[25];
  const bool depth_fits = colour == 0 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                          : colour == 3 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                                        : (depth == 8 || depth == 16);
  return BigEndian(bytes, 16, 4) > 0 && BigEndian(bytes, 20, 4) > 0 &&
         (colour == 0 || colour == 2 || colour == 3 || colour == 4 || colour == 6) && depth_fits;
}

// A JPEG file whose head is whole: from its start marker, segment after
// segment, to a frame head (SOF) that gives a size, before any scan.
bool JpegHeadIsWhole(const std::vector<unsigned char>& bytes) {
  size_t at = 2;
  while (at + 1 < bytes.size()) {
    if (bytes[at] != 0xFF) return false;
    const unsigned marker = bytes[at + 1];
    at += 2;
    if (marker == 0xFF) {  // fill byte
      --at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || at + 2 > bytes.size()) return false;
    const size_t length = BigEndian(bytes, at, 2);
    if (length < 2 || at + length > bytes.size()) return false;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) return length >= 8 && BigEndian(bytes, at + 3, 2) > 0 && BigEndian(bytes, at + 5, 2) > 0;
    at += length;
  }
  return false;
}

// The whole of a regular file, of at most kMaxFileBytes. A device or a pipe
// named as a texture is refused without reading (and without waiting for
// a writer at its other end).
bool ReadRegularFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& why) {
#if defined(_WIN32)
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
#else
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat info;
  bool read_all = false;
  if (fstat(fd, &info) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
  } else if (info.st_size > kMaxFileBytes) {
    why = "larger than 256 MiB";
  } else {
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
#if defined(_WIN32)
      const int n = _read(fd, bytes.data() + got, static_cast<unsigned>(bytes.size() - got));
#else
      const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
#endif
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    read_all = got == bytes.size();
    if (!read_all) why = got < bytes.size() ? "the file ended before its size" : std::strerror(errno);
  }
#if defined(_WIN32)
  _close(fd);
#else
  close(fd);
#endif
  return read_all;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

// Decodes bytes with stb_image and encodes the pixels as PNG into png. The
// size is checked first: the head alone says it, and the decoders fill in
// what a short file lacks, so a file of a hundred bytes could otherwise ask
// for a conversion of minutes.
bool ConvertToPng(const std::vector<unsigned char>& bytes, long long max_pixels, std::vector<unsigned char>& png,
                  std::string& why) {
  const int length = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) {
    why = std::string("not an image that can be read (") + stbi_failure_reason() + ")";
    return false;
  }
  // The BMP head gives a picture stored top down a negative height, which
  // stb_image's size query passes on as it is.
  const long long columns = std::llabs(width), rows = std::llabs(height);
  if (columns * rows > max_pixels) {
    why = std::to_string(columns) + " x " + std::to_string(rows) + " pixels, more than " +
          (max_pixels == kMaxConvertedPixels ? std::string("4096 x 4096") : std::to_string(max_pixels)) +
          " to convert";
    return false;
  }
  stbi_uc* decoded = stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 0);
  if (!decoded) {
    why = std::string("not an image that can be read (") + stbi_failure_reason() + ")";
    return false;
  }
  // A size other than the head's; and no picture at all, which the PNG
  // writer cannot take.
  if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > max_pixels) {
    stbi_image_free(decoded);
    why = width <= 0 || height <= 0 ? "an image without pixels" : "its pixels do not match its head";
    return false;
  }
  PinPngSettings();
  png.clear();
  const int written = stbi_write_png_to_func(AppendBytes, &png, width, height, channels, decoded, width * channels);
  stbi_image_free(decoded);
  if (!written) why = "its pixels could not be written as PNG";
  return written != 0;
}

// One texture name that gives no image, and the materials that name it.
struct LeftOut {
  std::string name;
  std::string reason;  // empty: not found
  std::vector<int> materials;
};

std::string LeftOutLine(const WScene& scene, const LeftOut& left) {
  std::string line = "texture \"" + left.name + "\" (material";
  for (size_t k = 0; k < left.materials.size(); ++k)
    line += std::string(k ? ", \"" : " \"") + scene.materials[left.materials[k]].name.c_str() + "\"";
  line += left.reason.empty() ? ") is not found" : ") is not stored: " + left.reason;
  return line + "; the material is written without it";
}

// The images of texture names, each file read once and each image stored
// once, and the names that give none.
class ImageCollector {
 public:
  ImageCollector(const WScene& scene, const TextureSource& source, GltfImages& made)
      : scene_(scene), source_(source), made_(made) {}

  // The image of the texture name (its index in made.images), or -1 - the
  // index of its entry in left_out() when it gives none.
  int ImageOf(const char* name) {
    const auto [entry, first] = of_name_.emplace(name, -1);
    if (first) entry->second = Find(name);
    return entry->second;
  }

  std::vector<LeftOut>& left_out() { return left_out_; }

 private:
  int Find(const char* name) {
    const std::string path = FindTextureFile(name, scene_.utf8_names, source_.document_folder);
    const auto known = of_file_.find(path);
    if (!path.empty() && known != of_file_.end()) return known->second;
    GltfImage read;
    std::string why;
    if (path.empty() || !ReadGltfImage(path, read, why)) {
      left_out_.push_back({name, path.empty() ? "" : path + ": " + why, {}});
      return -static_cast<int>(left_out_.size());
    }
    // The same image in two files is stored once.
    const std::string_view bytes(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size());
    const size_t hash = std::hash<std::string_view>()(bytes);
    int image = -1;
    for (auto [at, end] = of_hash_.equal_range(hash); at != end && image == -1; ++at)
      if (made_.images[static_cast<size_t>(at->second)].bytes == read.bytes) image = at->second;
    if (image == -1) {
      read.name = NameAsUtf8(FileName(name), scene_.utf8_names);
      image = static_cast<int>(made_.images.size());
      of_hash_.emplace(hash, image);
      made_.images.push_back(std::move(read));
    }
    of_file_.emplace(path, image);
    return image;
  }

  const WScene& scene_;
  const TextureSource& source_;
  GltfImages& made_;
  std::map<std::string, int> of_name_;  // what ImageOf gave
  std::map<std::string, int> of_file_;  // by the path found
  std::unordered_multimap<size_t, int> of_hash_;  // by a hash of the image's bytes
  std::vector<LeftOut> left_out_;
};

}  // namespace

bool ReadGltfImage(const std::string& path, GltfImage& image, std::string& why) {
  std::vector<unsigned char> bytes;
  return ReadRegularFile(path, bytes, why) && GltfImageOfBytes(std::move(bytes), image, why);
}

bool GltfImageOfBytes(std::vector<unsigned char> bytes, GltfImage& image, std::string& why, long long max_pixels) {
  if (bytes.size() > static_cast<size_t>(kMaxFileBytes)) {
    why = "larger than 256 MiB";
    return false;
  }
  const bool png = StartsWith(bytes, "\x89PNG\r\n\x1A\n", 8);
  const bool jpeg = StartsWith(bytes, "\xFF\xD8\xFF", 3);
  if (png || jpeg) {
    if (!(png ? PngHeadIsWhole(bytes) : JpegHeadIsWhole(bytes))) {
      why = std::string("not an image that can be read (a ") + (png ? "PNG" : "JPEG") + " file without a whole head)";
      return false;
    }
    image.mime_type = png ? "image/png" : "image/jpeg";
    image.bytes = std::move(bytes);
    return true;
  }
  if (!ConvertToPng(bytes, max_pixels, image.bytes, why)) return false;
  image.mime_type = "image/png";
  return true;
}

GltfImages CollectGltfImages(const WScene& scene, const TextureSource& source) {
  GltfImages made;
  made.material_image.assign(static_cast<size_t>(scene.mnum > 0 ? scene.mnum : 0), -1);
  ImageCollector collector(scene, source, made);
  for (int m = 0; m < scene.mnum; ++m) {
    const int t = scene.materials[m].tex;
    // A texture without a file name has nothing to point at.
    if (t < 0 || t >= scene.tnum || FileName(scene.textures[t].name.c_str()).empty()) continue;
    const int image = collector.ImageOf(scene.textures[t].name.c_str());
    if (image >= 0)
      made.material_image[static_cast<size_t>(m)] = image;
    else
      collector.left_out()[static_cast<size_t>(-1 - image)].materials.push_back(m);
  }
  if (source.warnings)
    for (const LeftOut& left : collector.left_out()) source.warnings->push_back(LeftOutLine(scene, left));
  return made;
}
