// Freezing an object's subdivision surface: its faces refined as a
// Catmull-Clark surface through OpenSubdiv, with UVs and corner colours as
// face-varying data.
#include "host/object_freezes.h"
#include "host/object_rebuilding.h"

#if defined(VHOST_SUBDIVISION)

#include <opensubdiv/far/error.h>
#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>
#include <opensubdiv/far/topologyRefinerFactory.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace OpenSubdiv;

constexpr int kMaxLevel = 4;

// Values that the refiner interpolates: it clears a destination, then adds
// sources with weights.
struct VertexValue {
  float x, y, z, r, g, b, a, weight;
  void Clear() { x = y = z = r = g = b = a = weight = 0.0f; }
  void AddWithWeight(const VertexValue& s, float w) {
    x += w * s.x;
    y += w * s.y;
    z += w * s.z;
    r += w * s.r;
    g += w * s.g;
    b += w * s.b;
    a += w * s.a;
    weight += w * s.weight;
  }
};

struct UvValue {
  float u, v;
  void Clear() { u = v = 0.0f; }
  void AddWithWeight(const UvValue& s, float w) {
    u += w * s.u;
    v += w * s.v;
  }
};

struct ColorValue {
  float r, g, b, a;
  void Clear() { r = g = b = a = 0.0f; }
  void AddWithWeight(const ColorValue& s, float w) {
    r += w * s.r;
    g += w * s.g;
    b += w * s.b;
    a += w * s.a;
  }
};

// Packed colours: red in the low byte, then green, blue and alpha.
float Unpack(uint32_t packed, int shift) { return static_cast<float>((packed >> shift) & 0xFFu); }
uint32_t Byte(float value) {
  return value >= 0.0f ? static_cast<uint32_t>(std::min(255.0f, value) + 0.5f) : 0u;  // NaN gives 0
}
uint32_t Pack(float r, float g, float b, float a) {
  return Byte(r) | Byte(g) << 8 | Byte(b) << 16 | Byte(a) << 24;
}

// A face-varying channel: equal values at one vertex become one value, so
// that the surface stays smooth there and a seam stays where they differ.
// A channel with one value everywhere needs no refining.
struct FaceVaryingChannel {
  bool constant = true;
  std::vector<Far::Index> value_of;  // per surface corner
  std::vector<int32_t> first;        // per value: the surface corner it came from
};

// keys[k] is the value of surface corner k, on vertex vertex_of[k]. Each
// vertex's corners are sorted by value, so a vertex of many corners costs
// n log n, not n squared.
FaceVaryingChannel Weld(const std::vector<Far::Index>& vertex_of, const std::vector<uint64_t>& keys,
                        int32_t vertex_count) {
  FaceVaryingChannel channel;
  for (uint64_t key : keys) channel.constant = channel.constant && key == keys.front();
  if (channel.constant) return channel;
  std::vector<int32_t> start(static_cast<size_t>(vertex_count) + 1, 0);
  for (Far::Index v : vertex_of) ++start[v + 1];
  for (int32_t v = 0; v < vertex_count; ++v) start[v + 1] += start[v];
  std::vector<int32_t> order(keys.size()), next(start.begin(), start.end() - 1);
  for (size_t k = 0; k < keys.size(); ++k) order[next[vertex_of[k]]++] = static_cast<int32_t>(k);
  channel.value_of.resize(keys.size());
  for (int32_t v = 0; v < vertex_count; ++v) {
    const auto group = order.begin() + start[v], end = order.begin() + start[v + 1];
    std::sort(group, end, [&](int32_t a, int32_t b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });
    for (auto k = group; k != end; ++k) {
      if (k == group || keys[*k] != keys[k[-1]]) channel.first.push_back(*k);
      channel.value_of[*k] = static_cast<Far::Index>(channel.first.size() - 1);
    }
  }
  return channel;
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  value = value == 0.0f ? 0.0f : value;  // -0 and +0 are one value
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The refiner reports faults through callbacks; they must not print into the
// driving program's output.
std::string g_refiner_error;
void KeepError(Far::ErrorType, const char* message) {
  if (g_refiner_error.empty()) g_refiner_error = message ? message : "unknown fault";
}
void IgnoreWarning(const char*) {}

// The object's faces of three corners or more, as the refiner takes them.
struct Surface {
  std::vector<int32_t> faces;        // the object's face of each surface face
  std::vector<int> corner_counts;    // per surface face
  std::vector<int32_t> corners;      // the object's corner of each surface corner
  std::vector<Far::Index> vertices;  // per surface corner
};

Surface CollectSurface(const MQObjectRecord& obj) {
  Surface surface;
  for (int32_t f = 0; f < obj.FaceCount(); ++f) {
    if (obj.CornerCount(f) < 3) continue;
    surface.faces.push_back(f);
    surface.corner_counts.push_back(obj.CornerCount(f));
    for (int32_t c = obj.face_start[f]; c < obj.face_start[f + 1]; ++c) {
      surface.corners.push_back(c);
      surface.vertices.push_back(obj.corner_vertex[c]);
    }
  }
  return surface;
}

// What the refiner makes of a surface: positions with vertex colours and
// weights, and the face-varying values, at the last level.
struct Refined {
  std::unique_ptr<Far::TopologyRefiner> refiner;
  std::vector<VertexValue> vertices;
  int uv_channel = -1, color_channel = -1;  // -1: one value everywhere
  std::vector<UvValue> uvs;
  std::vector<ColorValue> colors;
};

bool Refine(const MQObjectRecord& obj, const Surface& surface, int level, Refined& out, std::string& error) {
  std::vector<uint64_t> uv_keys(surface.corners.size()), color_keys(surface.corners.size());
  for (size_t k = 0; k < surface.corners.size(); ++k) {
    const int32_t c = surface.corners[k];
    const MQCoordinate t = obj.CornerUv(static_cast<size_t>(c));
    uv_keys[k] = uint64_t{FloatBits(t.u)} << 32 | FloatBits(t.v);
    color_keys[k] = obj.corner_color[c];
  }
  const FaceVaryingChannel uv = Weld(surface.vertices, uv_keys, obj.VertexCount());
  const FaceVaryingChannel color = Weld(surface.vertices, color_keys, obj.VertexCount());
  std::vector<Far::TopologyDescriptor::FVarChannel> channels;
  for (auto [source, index] : {std::pair{&uv, &out.uv_channel}, std::pair{&color, &out.color_channel}}) {
    if (source->constant) continue;
    *index = static_cast<int>(channels.size());
    channels.emplace_back();
    channels.back().numValues = static_cast<int>(source->first.size());
    channels.back().valueIndices = source->value_of.data();
  }

  Far::TopologyDescriptor descriptor;
  descriptor.numVertices = obj.VertexCount();
  descriptor.numFaces = static_cast<int>(surface.faces.size());
  descriptor.numVertsPerFace = surface.corner_counts.data();
  descriptor.vertIndicesPerFace = surface.vertices.data();
  descriptor.numFVarChannels = static_cast<int>(channels.size());
  descriptor.fvarChannels = channels.data();
  Sdc::Options rules;
  rules.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_AND_CORNER);
  rules.SetFVarLinearInterpolation(Sdc::Options::FVAR_LINEAR_CORNERS_ONLY);
  g_refiner_error.clear();
  Far::SetErrorCallback(KeepError);
  Far::SetWarningCallback(IgnoreWarning);
  using Factory = Far::TopologyRefinerFactory<Far::TopologyDescriptor>;
  out.refiner.reset(Factory::Create(descriptor, Factory::Options(Sdc::SCHEME_CATMARK, rules)));
  if (!out.refiner) {
    error = "object \"" + obj.name + "\": its faces cannot be subdivided: " +
            (g_refiner_error.empty() ? std::string("the refiner refused them") : g_refiner_error);
    return false;
  }
  out.refiner->RefineUniform(Far::TopologyRefiner::UniformOptions(level));

  // Level 0 values, then each level from the one before.
  out.vertices.resize(static_cast<size_t>(obj.VertexCount()));
  for (int32_t v = 0; v < obj.VertexCount(); ++v) {
    const MQPoint& p = obj.vertices[v];
    const uint32_t c = obj.vertex_colors[v];
    out.vertices[v] = VertexValue{p.x,          p.y,           p.z,           Unpack(c, 0),
                                  Unpack(c, 8), Unpack(c, 16), Unpack(c, 24), obj.vertex_weights[v]};
  }
  out.uvs.resize(uv.first.size());
  for (size_t k = 0; k < uv.first.size(); ++k) {
    const MQCoordinate t = obj.CornerUv(static_cast<size_t>(surface.corners[uv.first[k]]));
    out.uvs[k] = UvValue{t.u, t.v};
  }
  out.colors.resize(color.first.size());
  for (size_t k = 0; k < color.first.size(); ++k) {
    const uint32_t c = obj.corner_color[surface.corners[color.first[k]]];
    out.colors[k] = ColorValue{Unpack(c, 0), Unpack(c, 8), Unpack(c, 16), Unpack(c, 24)};
  }
  const Far::PrimvarRefiner primvars(*out.refiner);
  for (int l = 1; l <= level; ++l) {
    const Far::TopologyLevel& child = out.refiner->GetLevel(l);
    std::vector<VertexValue> vertices(static_cast<size_t>(child.GetNumVertices()));
    primvars.Interpolate(l, out.vertices, vertices);
    out.vertices.swap(vertices);
    if (out.uv_channel >= 0) {
      std::vector<UvValue> uvs(static_cast<size_t>(child.GetNumFVarValues(out.uv_channel)));
      primvars.InterpolateFaceVarying(l, out.uvs, uvs, out.uv_channel);
      out.uvs.swap(uvs);
    }
    if (out.color_channel >= 0) {
      std::vector<ColorValue> colors(static_cast<size_t>(child.GetNumFVarValues(out.color_channel)));
      primvars.InterpolateFaceVarying(l, out.colors, colors, out.color_channel);
      out.colors.swap(colors);
    }
  }
  return true;
}

// The refined faces with their parents' materials, then the object's
// other faces on their vertices' refined places.
void WriteFrozen(const MQObjectRecord& obj, const Surface& surface, const Refined& refined, MQObjectRecord& frozen) {
  const int level = refined.refiner->GetMaxLevel();
  const Far::TopologyLevel& last = refined.refiner->GetLevel(level);
  frozen.vertices.resize(refined.vertices.size());
  frozen.vertex_colors.resize(refined.vertices.size());
  frozen.vertex_weights.resize(refined.vertices.size());
  for (size_t v = 0; v < refined.vertices.size(); ++v) {
    const VertexValue& value = refined.vertices[v];
    frozen.vertices[v] = MQPoint{value.x, value.y, value.z};
    frozen.vertex_colors.Set(v, Pack(value.r, value.g, value.b, value.a));
    frozen.vertex_weights.Set(v, value.weight);
  }
  // A channel of one value keeps it.
  const MQCoordinate uv_everywhere = surface.corners.empty() ? MQCoordinate{} : obj.CornerUv(static_cast<size_t>(surface.corners[0]));
  const uint32_t color_everywhere = surface.corners.empty() ? kWhitePacked : obj.corner_color[surface.corners[0]];
  const size_t faces = static_cast<size_t>(last.GetNumFaces()) + obj.face_start.size() - surface.faces.size();
  frozen.face_start.reserve(faces);
  frozen.face_material.reserve(faces);
  const size_t corners = static_cast<size_t>(last.GetNumFaceVertices()) + obj.corner_vertex.size() - surface.corners.size();
  frozen.corner_vertex.reserve(corners);
  std::vector<MQCoordinate>& frozen_uv = frozen.CornerUvsPerCorner();
  frozen_uv.reserve(corners);
  frozen.corner_color.reserve(corners);
  for (Far::Index f = 0; f < last.GetNumFaces(); ++f) {
    const Far::ConstIndexArray points = last.GetFaceVertices(f);
    for (int k = 0; k < points.size(); ++k) {
      frozen.corner_vertex.push_back(points[k]);
      if (refined.uv_channel < 0) {
        frozen_uv.push_back(uv_everywhere);
      } else {
        const UvValue& t = refined.uvs[last.GetFaceFVarValues(f, refined.uv_channel)[k]];
        frozen_uv.push_back(MQCoordinate{t.u, t.v});
      }
      if (refined.color_channel < 0) {
        frozen.corner_color.push_back(color_everywhere);
      } else {
        const ColorValue& c = refined.colors[last.GetFaceFVarValues(f, refined.color_channel)[k]];
        frozen.corner_color.push_back(Pack(c.r, c.g, c.b, c.a));
      }
    }
    Far::Index parent = f;
    for (int l = level; l >= 1; --l) parent = refined.refiner->GetLevel(l).GetFaceParentFace(parent);
    frozen.face_start.push_back(static_cast<int32_t>(frozen.corner_vertex.size()));
    frozen.face_material.push_back(obj.face_material[surface.faces[parent]]);
  }
  for (int32_t f = 0; f < obj.FaceCount(); ++f) {
    if (obj.CornerCount(f) >= 3) continue;
    for (int32_t c = obj.face_start[f]; c < obj.face_start[f + 1]; ++c) {
      Far::Index v = obj.corner_vertex[c];
      for (int l = 0; l < level; ++l) v = refined.refiner->GetLevel(l).GetVertexChildVertex(v);
      frozen.corner_vertex.push_back(v);
      frozen_uv.push_back(obj.CornerUv(c));
      frozen.corner_color.push_back(obj.corner_color[c]);
    }
    frozen.face_start.push_back(static_cast<int32_t>(frozen.corner_vertex.size()));
    frozen.face_material.push_back(obj.face_material[f]);
  }
}

}  // namespace

bool SubdivisionAvailable() { return true; }

bool FreezeSubdivision(MQObjectRecord& obj, std::string& error) {
  if (!IsSubdivided(obj)) {
    obj.patch_type = 0;
    return true;
  }
  const int level = std::clamp(obj.patch_segment, 1, kMaxLevel);
  const Surface surface = CollectSurface(obj);
  // n quads from a face of n corners, then four of each per level; each
  // refined vertex lies on a refined face corner, unused vertices aside.
  int64_t refined_corners = 0;
  for (int n : surface.corner_counts) refined_corners += int64_t{n} << (2 * level);
  if (!FitsInObject(obj, obj.VertexCount() + refined_corners,
                    refined_corners + static_cast<int64_t>(obj.corner_vertex.size() - surface.corners.size()),
                    "subdividing", error))
    return false;
  Refined refined;
  if (!Refine(obj, surface, level, refined, error)) return false;
  MQObjectRecord frozen;
  WriteFrozen(obj, surface, refined, frozen);
  obj.vertices = std::move(frozen.vertices);
  obj.vertex_colors = std::move(frozen.vertex_colors);
  obj.vertex_weights = std::move(frozen.vertex_weights);
  TakeFaces(obj, std::move(frozen));
  obj.patch_type = 0;
  return true;
}

#else

bool SubdivisionAvailable() { return false; }

bool FreezeSubdivision(MQObjectRecord& obj, std::string& error) {
  if (!IsSubdivided(obj)) {
    obj.patch_type = 0;
    return true;
  }
  error = "object \"" + obj.name + "\" is a subdivision surface, which this build cannot freeze (built without "
          "OpenSubdiv)";
  return false;
}

#endif
