// The glTF document's JSON: the few top members built as tinygltf records
// and serialised by tinygltf, the long arrays (an element or more per
// object and per material) written directly in the same layout, each
// object's elements formatted apart on the machine's threads.
#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>

#include "w_lib/writers/parallel_text.h"

// tinygltf's code is compiled here, the only place that serialises with it.
#define TINYGLTF_IMPLEMENTATION
#include "w_lib/writers/gltf/gltf_document.h"

namespace {

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

// The specular power that the other library formats write for every
// material (the scene keeps none of its own), and the roughness it maps to:
// the Blinn-Phong exponent n as the microfacet width a = sqrt(2 / (n + 2)),
// and roughness as sqrt(a), so that roughness = (2 / (n + 2))^(1/4).
constexpr double kSpecularPower = 5.0;
double RoughnessOfPower(double n) { return std::pow(2.0 / (n + 2.0), 0.25); }

// Appends a dump of a value to text, indented by depth spaces after every
// line break (JSON text holds no line break inside a string), but not at
// its start.
void AppendIndented(std::string& text, const std::string& dumped, int depth) {
  if (depth <= 0) {
    text += dumped;
    return;
  }
  const std::string pad(static_cast<size_t>(depth), ' ');
  for (const char c : dumped) {
    text += c;
    if (c == '\n') text += pad;
  }
}

// glTF accessor types, by the names the file gives them.
constexpr const char* kScalar = "SCALAR";
constexpr const char* kVec2 = "VEC2";
constexpr const char* kVec3 = "VEC3";
constexpr const char* kVec4 = "VEC4";

constexpr int kByte = 5120;
constexpr int kUnsignedByte = 5121;
constexpr int kUnsignedShort = 5123;

}  // namespace

// The JSON text, its buffer named by uri (a .gltf file) or by none (the
// binary chunk of a .glb file). indent as nlohmann::json::dump takes it
// (-1: on one line). The few top members are serialised as tinygltf
// serialises them; the long arrays are written here.
void GltfDocument::WriteJson(TextOutput& out, const std::string& uri, int indent) {
  nlohmann::json document;
  tinygltf::SerializeGltfModel(&model_, document);
  // A scene without nodes (a document without objects) is an empty object:
  // the serializer makes it null, which is no scene at all.
  if (const auto scenes = document.find("scenes"); scenes != document.end())
    for (nlohmann::json& scene : *scenes)
      if (scene.is_null()) scene = nlohmann::json::object();
  if (!model_.images.empty()) {
    nlohmann::json images = nlohmann::json::array();
    for (const tinygltf::Image& image : model_.images) {
      nlohmann::json entry;
      tinygltf::SerializeGltfImage(image, image.uri, entry);
      images.push_back(std::move(entry));
    }
    document["images"] = std::move(images);
  }
  if (data_.size() > 0) {
    nlohmann::json buffer = {{"byteLength", data_.size()}};
    if (!uri.empty()) buffer["uri"] = uri;
    document["buffers"] = nlohmann::json::array({buffer});
    // The compressed views' decoded bytes have their places in a buffer
    // of their own, which holds no data: the extension is required.
    if (fallback_size_ > 0)
      document["buffers"].push_back(
          {{"byteLength", fallback_size_}, {"extensions", {{kMeshopt, {{"fallback", true}}}}}});
  }
  // Every member, by name: the long arrays (left out when empty, as
  // tinygltf leaves out empty arrays) and the document's own.
  using ArrayWriter = void (GltfDocument::*)(TextOutput&, int);
  std::map<std::string, ArrayWriter> arrays;
  if (next_view_ > 0) arrays["accessors"] = &GltfDocument::WriteAccessors;
  if (next_view_ > 0 || !image_views_.empty()) arrays["bufferViews"] = &GltfDocument::WriteViews;
  if (scene_.mnum > 0) arrays["materials"] = &GltfDocument::WriteMaterials;
  if (next_mesh_ > 0) arrays["meshes"] = &GltfDocument::WriteMeshes;
  if (!placed_.empty()) arrays["nodes"] = &GltfDocument::WriteNodes;
  std::vector<std::string> names;
  for (const auto& member : document.items()) names.push_back(member.key());
  for (const auto& member : arrays) names.push_back(member.first);
  std::sort(names.begin(), names.end());

  const std::string pad(static_cast<size_t>(indent > 0 ? indent : 0), ' ');
  out.Put(indent < 0 || names.empty() ? "{" : "{\n");
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out.Put(indent < 0 ? "," : ",\n");
    out.Put(pad).Put(nlohmann::json(names[i]).dump()).Put(indent < 0 ? ":" : ": ");
    const auto found = arrays.find(names[i]);
    if (found == arrays.end()) {
      std::string value;
      AppendIndented(value, document[names[i]].dump(indent), indent);
      out.Put(value);
      continue;
    }
    // An array as the value of a member of the top object: its elements
    // one level deeper than the member.
    out.Put(indent < 0 ? "[" : "[\n");
    (this->*found->second)(out, indent);
    if (indent >= 0) out.Put("\n").Put(pad);
    out.Put("]");
  }
  if (indent >= 0 && !names.empty()) out.Put("\n");
  out.Put("}");
}

// The elements of the arrays, each object's formatted apart on the
// machine's threads: an element at index i of its array is preceded by
// the separator when i > 0, and pushed in to its place (the second level).
JsonWriter GltfDocument::Element(TextOutput& to, int index, int indent) {
  if (index > 0) to.Put(indent < 0 ? "," : ",\n");
  constexpr std::string_view kBlanks = "                ";
  if (indent > 0) to.Put(kBlanks.substr(0, static_cast<size_t>(2 * indent)));
  return JsonWriter(to, indent, indent < 0 ? 0 : 2 * indent);
}

void GltfDocument::WriteViews(TextOutput& out, int indent) {
  PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
    const PlacedObject& placed = placed_[o];
    if (placed.mesh == -1) return;
    // The vertex arrays' views, then the primitives' index views.
    const size_t vertex_views = placed.views.size() - placed.primitives.size();
    for (size_t k = 0; k < placed.views.size(); ++k) {
      const PlacedObject::View& view = placed.views[k];
      const int target = k < vertex_views ? kArrayBuffer : kElementArrayBuffer;
      JsonWriter w = Element(to, placed.first_view + static_cast<int>(k), indent);
      if (placed.compressed) {
        WriteCompressedView(w, view, target);
        continue;
      }
      w.BeginObject().Key("buffer").Int(0).Key("byteLength").Unsigned(view.size);
      if (view.offset > 0) w.Key("byteOffset").Unsigned(view.offset);
      w.Key("target").Int(target).EndObject();
    }
  });
  // An image's view has no target: it holds no vertex attribute or index.
  for (size_t k = 0; k < image_views_.size(); ++k) {
    JsonWriter w = Element(out, next_view_ + static_cast<int>(k), indent);
    w.BeginObject().Key("buffer").Int(0).Key("byteLength").Unsigned(image_views_[k].size);
    if (image_views_[k].offset > 0) w.Key("byteOffset").Unsigned(image_views_[k].offset);
    w.EndObject();
  }
}

// A view of decoded bytes in the fallback buffer, with the encoded bytes'
// place in the buffer. Vertex views give their stride (always a multiple
// of 4, as glTF asks of vertex attributes).
void GltfDocument::WriteCompressedView(JsonWriter& w, const PlacedObject::View& view, int target) {
  static const char* const kModes[] = {"ATTRIBUTES", "TRIANGLES", "INDICES"};
  w.BeginObject().Key("buffer").Int(1).Key("byteLength").Unsigned(view.count * view.stride);
  if (view.fallback_offset > 0) w.Key("byteOffset").Unsigned(view.fallback_offset);
  if (target == kArrayBuffer) w.Key("byteStride").Unsigned(view.stride);
  w.Key("extensions").BeginObject().Key(kMeshopt).BeginObject();
  w.Key("buffer").Int(0).Key("byteLength").Unsigned(view.size);
  if (view.offset > 0) w.Key("byteOffset").Unsigned(view.offset);
  w.Key("byteStride").Unsigned(view.stride).Key("count").Unsigned(view.count);
  if (view.octahedral) w.Key("filter").String("OCTAHEDRAL");
  w.Key("mode").String(kModes[view.mode]).EndObject().EndObject();
  w.Key("target").Int(target).EndObject();
}

void GltfDocument::WriteAccessors(TextOutput& out, int indent) {
  PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
    const PlacedObject& placed = placed_[o];
    if (placed.mesh == -1) return;
    int view = placed.first_view;
    // low and high, when given, are the accessor's bounds (floats, or the
    // integers of the compressed positions).
    struct Bounds {
      const double* low;
      const double* high;
      const int* stored_low;
      const int* stored_high;
    };
    const auto put = [&](int component_type, const char* type, size_t count, const Bounds& bounds = Bounds{},
                         bool normalized = false) {
      JsonWriter w = Element(to, view, indent);
      w.BeginObject().Key("bufferView").Int(view++).Key("componentType").Int(component_type);
      w.Key("count").Unsigned(count);
      if (bounds.low && bounds.high) {
        w.Key("max").BeginArray().Double(bounds.high[0]).Double(bounds.high[1]).Double(bounds.high[2]).EndArray();
        w.Key("min").BeginArray().Double(bounds.low[0]).Double(bounds.low[1]).Double(bounds.low[2]).EndArray();
      }
      if (bounds.stored_low && bounds.stored_high) {
        w.Key("max").BeginArray().Int(bounds.stored_high[0]).Int(bounds.stored_high[1]);
        w.Int(bounds.stored_high[2]).EndArray();
        w.Key("min").BeginArray().Int(bounds.stored_low[0]).Int(bounds.stored_low[1]);
        w.Int(bounds.stored_low[2]).EndArray();
      }
      if (normalized) w.Key("normalized").Bool(true);
      w.Key("type").String(type).EndObject();
    };
    const size_t n = placed.vertex_count;
    if (placed.compressed) {
      put(kUnsignedShort, kVec3, n, Bounds{nullptr, nullptr, placed.stored_low, placed.stored_high});
      if (placed.normals) put(kByte, kVec3, n, Bounds{}, true);
      if (placed.uvs) put(placed.uv_floats ? TINYGLTF_COMPONENT_TYPE_FLOAT : kUnsignedShort, kVec2, n);
      if (placed.colors) put(kUnsignedByte, kVec4, n, Bounds{}, true);
    } else {
      put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec3, n, Bounds{placed.low, placed.high, nullptr, nullptr});
      if (placed.normals) put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec3, n);
      if (placed.uvs) put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec2, n);
      if (placed.colors) put(TINYGLTF_COMPONENT_TYPE_FLOAT, kVec4, n);
    }
    const int index_type =
        placed.short_indices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    for (const PlacedPrimitive& p : placed.primitives) put(index_type, kScalar, p.count);
  });
}

// On one thread: names are made UTF-8 as they are written.
void GltfDocument::WriteMaterials(TextOutput& out, int indent) {
  for (int i = 0; i < scene_.mnum; ++i) {
    const WMaterial& m = scene_.materials[i];
    const auto factor = [](float x) { return x < 0.0f ? 0.0 : (x > 1.0f ? 1.0 : static_cast<double>(x)); };
    const int texture = material_texture_[static_cast<size_t>(i)];
    // An image that is the diffuse colour shows as it is: it is not tinted
    // by the colour it replaces.
    const bool image_only = texture != -1 && (m.flags & kImageIsDiffuse);
    const double color[4] = {image_only ? 1.0 : factor(m.col.r), image_only ? 1.0 : factor(m.col.g),
                             image_only ? 1.0 : factor(m.col.b), factor(m.col.a)};
    const std::string name = Utf8(m.name.c_str());
    JsonWriter w = Element(out, i, indent);
    w.BeginObject();
    if (color[3] < 1.0) w.Key("alphaMode").String("BLEND");
    if (!name.empty()) w.Key("name").String(name);
    w.Key("pbrMetallicRoughness").BeginObject();
    // White, to within the library's tolerance, is the default.
    if (std::any_of(color, color + 4, [](double c) { return !(std::fabs(1.0 - c) < 1e-12); })) {
      w.Key("baseColorFactor").BeginArray();
      for (const double c : color) w.Double(c);
      w.EndArray();
    }
    if (texture != -1) {
      w.Key("baseColorTexture").BeginObject();
      if (TexturesTransformed()) WriteUvTransform(w);
      w.Key("index").Int(texture).EndObject();
    }
    w.Key("metallicFactor").Double(0.0);
    w.Key("roughnessFactor").Double(RoughnessOfPower(kSpecularPower));
    w.EndObject().EndObject();
  }
}

// The texture transform that takes the stored integers of the texture
// coordinates' grid to the coordinates.
void GltfDocument::WriteUvTransform(JsonWriter& w) const {
#if VELLMAR_MESHOPT
  const double step = GltfUvGrid::kStep;
  w.Key("extensions").BeginObject().Key(kTextureTransform).BeginObject();
  w.Key("offset").BeginArray().Double(uv_grid_.offset[0]).Double(uv_grid_.offset[1]).EndArray();
  w.Key("scale").BeginArray().Double(step).Double(step).EndArray();
  w.EndObject().EndObject();
#else
  static_cast<void>(w);
#endif
}

void GltfDocument::WriteMeshes(TextOutput& out, int indent) {
  PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
    const PlacedObject& placed = placed_[o];
    if (placed.mesh == -1) return;
    // The arrays' accessors, as WriteAccessors numbers them.
    int accessor = placed.first_view;
    const int position = accessor++;
    const int normal = placed.normals ? accessor++ : -1;
    const int uv = placed.uvs ? accessor++ : -1;
    const int color = placed.colors ? accessor++ : -1;
    JsonWriter w = Element(to, placed.mesh, indent);
    w.BeginObject();
    if (!placed.name.empty()) w.Key("name").String(placed.name);
    w.Key("primitives").BeginArray();
    for (const PlacedPrimitive& p : placed.primitives) {
      const bool triangles = p.mode == kGltfTriangles;
      // Lines have no surface to shade: their vertices carry position and
      // colour. Texture coordinates only where a texture uses them.
      w.BeginObject().Key("attributes").BeginObject();
      if (color != -1) w.Key("COLOR_0").Int(color);
      if (triangles && normal != -1) w.Key("NORMAL").Int(normal);
      w.Key("POSITION").Int(position);
      if (triangles && uv != -1 && HasTexture(p.material)) w.Key("TEXCOORD_0").Int(uv);
      w.EndObject().Key("indices").Int(accessor++);
      if (triangles && p.material > -1) w.Key("material").Int(p.material);
      w.Key("mode").Int(p.mode).EndObject();
    }
    w.EndArray().EndObject();
  });
}

void GltfDocument::WriteNodes(TextOutput& out, int indent) {
  PutItems(out, placed_.size(), [&](TextOutput& to, size_t o) {
    const PlacedObject& placed = placed_[o];
    JsonWriter w = Element(to, static_cast<int>(o), indent);
    w.BeginObject();
    if (placed.mesh != -1) w.Key("mesh").Int(placed.mesh);
    if (!placed.name.empty()) w.Key("name").String(placed.name);
    if (placed.compressed) {
      w.Key("scale").BeginArray().Double(placed.scale).Double(placed.scale).Double(placed.scale).EndArray();
      w.Key("translation").BeginArray();
      for (const double t : placed.translation) w.Double(t);
      w.EndArray();
    }
    w.EndObject();
  });
}
