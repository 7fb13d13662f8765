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
#include <cstdint>
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

// A PNG file whose chunks are whole, from its head to the IEND chunk, with
// image data (IDAT) among them: a head alone says nothing of the pixels.
bool PngChunksAreWhole(const std::vector<unsigned char>& bytes) {
  size_t at = 8;
  bool data = false;
  while (bytes.size() - at >= 12) {
    const size_t length = BigEndian(bytes, at, 4);
    if (length > 0x7FFFFFFFu || bytes.size() - at - 12 < length) return false;
    const unsigned char* type = bytes.data() + at + 4;
    if (std::memcmp(type, "IEND", 4) == 0) return data;
    data = data || std::memcmp(type, "IDAT", 4) == 0;
    at += 12 + length;
  }
  return false;
}

// A JPEG file whose head is whole: from its start marker, segment after
// segment, to a frame head (SOF) that gives a size, and on to the head of
// a scan (SOS), before which no pixel is stored.
bool JpegHeadIsWhole(const std::vector<unsigned char>& bytes) {
  size_t at = 2;
  bool sized = false;
  while (at + 1 < bytes.size()) {
    if (bytes[at] != 0xFF) return false;
    const unsigned marker = bytes[at + 1];
    at += 2;
    if (marker == 0xFF) {  // fill byte
      --at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD8 || marker == 0xD9 || at + 2 > bytes.size()) return false;
    const size_t length = BigEndian(bytes, at, 2);
    if (length < 2 || at + length > bytes.size()) return false;
    if (marker == 0xDA) return sized;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8 || BigEndian(bytes, at + 3, 2) == 0 || BigEndian(bytes, at + 5, 2) == 0) return false;
      sized = true;
    }
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

// stb_image's PSD reader takes the colour of a pixel whose alpha is
// neither 0 nor 255 off a white matte, (c - 255) / a + 255, and converts a
// colour below 255 - a, which no matted picture holds, to a byte out of its
// range (undefined behaviour). A PSD of four channels or more that the
// reader would decode is therefore first decoded here as it would decode
// it, such colours raised to the lowest the matte allows (they come out as
// 0), and handed over as the same picture stored raw, with 8 bits a channel.
class PsdBytes {
 public:
  explicit PsdBytes(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  // Reads past the end as 0, and skips as the reader does.
  unsigned char Byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
  unsigned Word() { return Byte() << 8 | Byte(); }
  uint32_t Long() { return static_cast<uint32_t>(Word()) << 16 | Word(); }
  void Skip(int n) { at_ = n < 0 ? bytes_.size() : at_ + static_cast<size_t>(n); }

 private:
  const std::vector<unsigned char>& bytes_;
  size_t at_ = 0;
};

// One channel of run-length data into plane; false where a run passes the
// end of the channel.
bool DecodePsdRuns(PsdBytes& in, unsigned char* plane, long long pixels) {
  long long count = 0;
  while (count < pixels) {
    int length = in.Byte();
    if (length == 128) continue;
    if (length < 128) {
      ++length;
      if (length > pixels - count) return false;
      for (int k = 0; k < length; ++k) plane[count++] = in.Byte();
    } else {
      length = 257 - length;
      if (length > pixels - count) return false;
      const unsigned char value = in.Byte();
      for (int k = 0; k < length; ++k) plane[count++] = value;
    }
  }
  return true;
}

// The PSD to hand to stb_image in place of bytes: bytes themselves when
// its reader would take no pixel off the matte, else the picture raw with
// every colour within what the matte allows. False when the picture cannot
// be decoded (the reader would refuse it too).
bool PsdWithinTheMatte(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& safe) {
  PsdBytes in(bytes);
  if (in.Long() != 0x38425053 || in.Word() != 1) return true;
  in.Skip(6);
  const unsigned channels = in.Word();
  const uint32_t rows = in.Long(), columns = in.Long();
  const unsigned depth = in.Word(), mode = in.Word();
  if (channels < 4 || channels > 16 || rows > (1u << 24) || columns > (1u << 24) || (depth != 8 && depth != 16) ||
      mode != 3)
    return true;
  for (int k = 0; k < 3; ++k) in.Skip(static_cast<int>(in.Long()));  // mode data, resources, reserved
  const unsigned compression = in.Word();
  if (compression > 1) return true;
  const long long pixels = static_cast<long long>(rows) * columns;
  if (pixels > kMaxConvertedPixels) return false;  // the size was checked before; this holds the planes to it
  std::vector<unsigned char> planes(static_cast<size_t>(pixels) * 4);
  if (compression == 1) {
    in.Skip(static_cast<int>(rows * channels * 2));
    for (int c = 0; c < 4; ++c)
      if (!DecodePsdRuns(in, planes.data() + c * pixels, pixels)) return false;
  } else {
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<unsigned char>(depth == 16 ? in.Word() >> 8 : in.Byte());
  }
  unsigned char* alpha = planes.data() + 3 * pixels;
  for (long long i = 0; i < pixels; ++i) {
    const int a = alpha[i];
    if (a == 0 || a == 255) continue;
    // As the reader computes it; a result above -1 truncates to 0.
    const float ra = 1.0f / (static_cast<float>(a) / 255.0f);
    const float inv_a = 255.0f * (1 - ra);
    for (int c = 0; c < 3; ++c) {
      unsigned char& colour = planes[static_cast<size_t>(c * pixels + i)];
      if (colour >= 255 - a && static_cast<float>(colour) * ra + inv_a > -1.0f) continue;
      int lowest = colour < 255 - a ? 255 - a : colour;
      while (static_cast<float>(lowest) * ra + inv_a <= -1.0f) ++lowest;
      colour = static_cast<unsigned char>(lowest);
    }
  }
  const unsigned char head[] = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 4,
                                static_cast<unsigned char>(rows >> 24), static_cast<unsigned char>(rows >> 16),
                                static_cast<unsigned char>(rows >> 8), static_cast<unsigned char>(rows),
                                static_cast<unsigned char>(columns >> 24), static_cast<unsigned char>(columns >> 16),
                                static_cast<unsigned char>(columns >> 8), static_cast<unsigned char>(columns),
                                0, 8, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  safe.assign(head, head + sizeof head);
  safe.insert(safe.end(), planes.begin(), planes.end());
  return true;
}

// Decodes bytes with stb_image and encodes the pixels as PNG into png. The
// size is checked first: the head alone says it, and the decoders fill in
// what a short file lacks, so a file of a hundred bytes could otherwise ask
// for a conversion of minutes.
bool ConvertToPng(const std::vector<unsigned char>& bytes, long long max_pixels, ExpansionBudget* budget,
                  std::vector<unsigned char>& png, std::string& why) {
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
  std::vector<unsigned char> safe_psd;
  if (!PsdWithinTheMatte(bytes, safe_psd)) {
    why = "not an image that can be read (corrupt)";
    return false;
  }
  const std::vector<unsigned char>& decodable = safe_psd.empty() ? bytes : safe_psd;
  const long long expanded = columns * rows * (channels > 0 ? channels : 1);
  if (budget && expanded > kSmallFileExpansion * static_cast<long long>(bytes.size())) {
    if (expanded > budget->bytes_left) {
      why = std::to_string(columns) + " x " + std::to_string(rows) + " pixels from a file of " +
            std::to_string(bytes.size()) + " bytes, past what the small files of one document may expand to";
      return false;
    }
    budget->bytes_left -= expanded;
  }
  stbi_uc* decoded = stbi_load_from_memory(decodable.data(), static_cast<int>(decodable.size()), &width, &height,
                                           &channels, 0);
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
    // One file under many names (./a.png, ././a.png, a link) is read once.
    const std::string file = FileIdentity(path);
    const auto known = of_file_.find(file);
    if (!path.empty() && known != of_file_.end()) {
      if (known->second < 0) left_out_.push_back({name, left_out_[static_cast<size_t>(-1 - known->second)].reason, {}});
      return known->second < 0 ? -static_cast<int>(left_out_.size()) : known->second;
    }
    GltfImage read;
    std::string why;
    made_.files_read += !path.empty();
    if (path.empty() || !ReadGltfImage(path, read, why, &budget_)) {
      left_out_.push_back({name, path.empty() ? "" : path + ": " + why, {}});
      if (!path.empty()) of_file_.emplace(file, -static_cast<int>(left_out_.size()));
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
    of_file_.emplace(file, image);
    return image;
  }

  // What tells a file from every other: its device and file number where the
  // system gives them, else its path.
  static std::string FileIdentity(const std::string& path) {
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0 || info.st_ino == 0) return "path:" + path;
    return "file:" + std::to_string(static_cast<unsigned long long>(info.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(info.st_ino));
  }

  const WScene& scene_;
  const TextureSource& source_;
  GltfImages& made_;
  std::map<std::string, int> of_name_;  // what ImageOf gave
  std::map<std::string, int> of_file_;  // by FileIdentity: an image, or -1 - a left_out() entry
  ExpansionBudget budget_;
  std::unordered_multimap<size_t, int> of_hash_;  // by a hash of the image's bytes
  std::vector<LeftOut> left_out_;
};

}  // namespace

bool ReadGltfImage(const std::string& path, GltfImage& image, std::string& why, ExpansionBudget* budget) {
  std::vector<unsigned char> bytes;
  return ReadRegularFile(path, bytes, why) &&
         GltfImageOfBytes(std::move(bytes), image, why, kMaxConvertedPixels, budget);
}

bool GltfImageOfBytes(std::vector<unsigned char> bytes, GltfImage& image, std::string& why, long long max_pixels,
                      ExpansionBudget* budget) {
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
    if (png && !PngChunksAreWhole(bytes)) {
      why = "not an image that can be read (a PNG file cut short, or without image data)";
      return false;
    }
    image.mime_type = png ? "image/png" : "image/jpeg";
    image.bytes = std::move(bytes);
    return true;
  }
  if (!ConvertToPng(bytes, max_pixels, budget, image.bytes, why)) return false;
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
