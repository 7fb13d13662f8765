// Finding, reading and converting the texture images of a glTF file. The
// formats that glTF does not name are decoded by stb_image and written as
// PNG by stb_image_write, both compiled into this file alone (their
// functions are private to it). stb's PNG writer is deterministic: its own
// deflate at a fixed level and a fixed rule for each row's filter, so an
// image gives the same bytes on every platform.
#include "w_lib/writers/gltf_images.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
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
// left works on integers, alike on every platform.
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_SIMD
#include <stb/stb_image.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

constexpr long long kMaxFileBytes = 256ll << 20;
constexpr long long kMaxPixels = 1ll << 26;

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

// Decodes bytes with stb_image and encodes the pixels as PNG into png.
bool ConvertToPng(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& png, std::string& why) {
  const int length = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) {
    why = std::string("not an image that can be read (") + stbi_failure_reason() + ")";
    return false;
  }
  if (static_cast<long long>(width) * height > kMaxPixels) {
    why = std::to_string(width) + " x " + std::to_string(height) + " pixels, more than 2^26";
    return false;
  }
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 0);
  if (!pixels) {
    why = std::string("not an image that can be read (") + stbi_failure_reason() + ")";
    return false;
  }
  PinPngSettings();
  png.clear();
  const int written = stbi_write_png_to_func(AppendBytes, &png, width, height, channels, pixels, width * channels);
  stbi_image_free(pixels);
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
  if (!ReadRegularFile(path, bytes, why)) return false;
  const bool png = StartsWith(bytes, "\x89PNG\r\n\x1A\n", 8);
  const bool jpeg = StartsWith(bytes, "\xFF\xD8\xFF", 3);
  if (png || jpeg) {
    // Stored as they are, once stb_image can read their head.
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels)) {
      why = std::string("not an image that can be read (") + stbi_failure_reason() + ")";
      return false;
    }
    image.mime_type = png ? "image/png" : "image/jpeg";
    image.bytes = std::move(bytes);
    return true;
  }
  if (!ConvertToPng(bytes, image.bytes, why)) return false;
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
