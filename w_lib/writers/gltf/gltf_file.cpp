// glTF 2.0 files: the meshes are built and their arrays laid out in the
// buffer first; then the JSON is written straight to the file, its few top
// members built with tinygltf records and serialised by tinygltf, its long
// arrays (an element or more per object and per material) written directly
// in the same layout. The buffer is written, in its .bin file or in the
// binary chunk of a .glb, from where its arrays lie; the texture images
// follow the meshes' arrays in it.
// Every byte reaches the disk through the same staged replacement as every
// other writer's, so that a failure leaves the old files as they were.
#include <array>
#include <cerrno>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"
#include "w_lib/writers/gltf/gltf_document.h"

namespace {

// A relative URI for a file name: every byte but the unreserved characters
// percent-encoded, so that blanks, '#', '%' and non-ASCII names survive.
std::string FileUri(const std::string& utf8_name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri;
  for (const char ch : utf8_name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

// A 32-bit word as the container stores it: little-endian.
std::array<char, 4> WordBytes(uint32_t word) {
  return {static_cast<char>(word & 0xFF), static_cast<char>((word >> 8) & 0xFF),
          static_cast<char>((word >> 16) & 0xFF), static_cast<char>(word >> 24)};
}

void PutWord(TextOutput& out, uint32_t word) {
  const std::array<char, 4> bytes = WordBytes(word);
  out.Put(std::string_view(bytes.data(), bytes.size()));
}

void OverwriteWord(TextOutput& out, size_t offset, uint32_t word) {
  const std::array<char, 4> bytes = WordBytes(word);
  out.Overwrite(offset, std::string_view(bytes.data(), bytes.size()));
}

// The binary container: a 12-byte head, the JSON chunk padded with blanks
// and the buffer chunk padded with zeros to 4 bytes. The JSON is written
// straight to the file, and the head's lengths filled in once it is;
// false when the file would pass the 32 bits its lengths are counted in.
bool PutGlb(TextOutput& out, GltfDocument& document, const GltfBuffer& data) {
  const auto padded = [](size_t n) { return (n + 3) & ~size_t{3}; };
  PutWord(out, 0x46546C67u);  // "glTF"
  PutWord(out, 2);
  PutWord(out, 0);  // the file's length, filled in below
  PutWord(out, 0);  // the JSON's length, likewise
  PutWord(out, 0x4E4F534Au);  // "JSON"
  const size_t json_start = out.Written();
  document.WriteJson(out, "", -1);
  const size_t json_size = out.Written() - json_start;
  const size_t json_length = padded(json_size);
  const size_t bin_length = padded(data.size());
  const size_t total = 12 + 8 + json_length + (data.empty() ? 0 : 8 + bin_length);
  if (total > 0xFFFFFFFFu) return false;
  out.Put(std::string(json_length - json_size, ' '));
  if (!data.empty()) {
    PutWord(out, static_cast<uint32_t>(bin_length));
    PutWord(out, 0x004E4942u);  // "BIN"
    data.Put(out);
    out.Put(std::string(bin_length - data.size(), '\0'));
  }
  OverwriteWord(out, 8, static_cast<uint32_t>(total));
  OverwriteWord(out, 12, static_cast<uint32_t>(json_length));
  return true;
}

// Runs write, turning what the libraries throw into a failure.
template <class Write>
WriteResult Guarded(Write&& write) {
  try {
    return write();
  } catch (const std::bad_alloc&) {
    return WriteResult::Failure(ENOMEM);
  } catch (const std::exception&) {
    return WriteResult::Failure(EINVAL);
  }
}

WriteResult BuildDocument(GltfDocument& document, const WriterOptions& options) {
#if !VELLMAR_MESHOPT
  if (options.compress) return WriteResult::Failure(ENOTSUP);  // compression needs meshoptimizer
#else
  static_cast<void>(options);
#endif
  if (document.Build()) return WriteResult::Written();
  return WriteResult::Failure(ERANGE);  // a coordinate, normal, texture coordinate or colour that is not finite
}

// Removes the lines that some face has as a side: glTF writes only the
// others, and on a large mesh the sides are as many as its edges.
void DropFaceSideLines(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    bool any = false;
    for (int f = 0; f < object.fnum; ++f) {
      const WFace& face = object.faces[f];
      for (int k = 0; k < face.num; ++k) {
        const int line = face.SideLine(k);
        if (line < 0 || line >= object.lnum) continue;
        object.lines[line].flags |= kDeleted;
        object.lines[line].remap = -1;
        any = true;
      }
    }
    if (any) object.Compact();
  }
}

}  // namespace

std::string GltfBufferPath(const char* path) { return SystemWithExtension(path, ".bin"); }

namespace {

// The writes, from a scene that the document reads, and that it may use up
// object by object when release is that scene.
WriteResult WriteGlb(const char* path, const WScene& scene, WScene* release, const WriterOptions& options) {
  return Guarded([&]() -> WriteResult {
    GltfBuffer data;
    GltfDocument document(scene, release, options, data);
    if (const WriteResult built = BuildDocument(document, options); !built) return built;
    // The whole file, chunk heads and padding included, is counted in 32 bits.
    if (data.size() > 0xFFFFFFFFu - 64u) return WriteResult::Failure(EFBIG);
    TextOutput glb;
    bool fits = true;
    const WriteResult staged =
        StageWholeFile(glb, path, "wb", [&](TextOutput& out) { fits = PutGlb(out, document, data); });
    if (!staged) return staged;
    if (!fits) {
      glb.Discard();
      return WriteResult::Failure(EFBIG);
    }
    return glb.Commit();
  });
}

WriteResult WriteGltf(const char* path, const WScene& scene, WScene* release, const WriterOptions& options) {
  return Guarded([&]() -> WriteResult {
    const std::string buffer_path = GltfBufferPath(path);
    // The buffer would replace the file that names it.
    if (buffer_path == path) return WriteResult::Failure(EINVAL);
    GltfBuffer data;
    GltfDocument document(scene, release, options, data);
    if (const WriteResult built = BuildDocument(document, options); !built) return built;
    const std::string uri = FileUri(SystemFileName(buffer_path));
    // Both files are complete before either replaces anything.
    TextOutput gltf;
    const WriteResult staged = StageWholeFile(gltf, path, "wb", [&](TextOutput& out) {
      document.WriteJson(out, uri, 2);
      out.Put("\n");
    });
    if (!staged) return staged;
    if (data.empty()) return gltf.Commit();
    TextOutput bin;
    const WriteResult bin_staged = StageWholeFile(bin, buffer_path.c_str(), "wb", [&](TextOutput& out) {
      data.Put(out);
    });
    if (!bin_staged) {
      gltf.Discard();
      return bin_staged;
    }
    return gltf.CommitWith(bin);
  });
}

}  // namespace

WriteResult WriteGlbFile(const char* path, const WScene& scene, const WriterOptions& options) {
  return WriteGlb(path, scene, nullptr, options);
}

WriteResult WriteGltfFile(const char* path, const WScene& scene, const WriterOptions& options) {
  return WriteGltf(path, scene, nullptr, options);
}

WriteResult WriteGlbFile(const char* path, WScene&& scene, const WriterOptions& options) {
  DropFaceSideLines(scene);
  return WriteGlb(path, scene, &scene, options);
}

WriteResult WriteGltfFile(const char* path, WScene&& scene, const WriterOptions& options) {
  DropFaceSideLines(scene);
  return WriteGltf(path, scene, &scene, options);
}
