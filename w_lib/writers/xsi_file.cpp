// dotXSI 3.0 text files: the header and scene-wide blocks, the material
// library, the models of the object hierarchy and the envelope list.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "w_lib/util/text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

namespace {

// Weights at or below this single-precision value are no influence.
constexpr float kMinWeight = 0.00001f;

void WriteHead(TextOutput& out, const WScene& scene, const std::string& time_stamp) {
  out.Put("xsi 0300txt 0032\n");
  out.Put('\n');
  out.Put("SI_FileInfo {\n");
  out.Put("\t\"Project\",\n");
  out.Put("\t\"User\",\n");
  out.Put("\t\"").Put(time_stamp).Put("\",\n");
  out.Put("\t\"Tesseron v0.17\",\n");
  out.Put("}\n");
  out.Put('\n');

  out.Put("SI_Scene {\n");
  out.Put("\t\"FRAMES\",\n");
  out.Put("\t").Int(scene.start_frame).Put(",\n");
  out.Put("\t").Int(scene.end_frame).Put(",\n");
  out.Put("\t").Fixed(scene.fps).Put(",\n");
  out.Put("}\n");
  out.Put('\n');

  out.Put(
      "SI_CoordinateSystem {\n"
      "\t1,\n"
      "\t0,\n"
      "\t1,\n"
      "\t0,\n"
      "\t2,\n"
      "\t5,\n"
      "}\n"
      "\n"
      "SI_Angle {\n"
      "\t0,\n"
      "}\n"
      "\n"
      "SI_Ambience {\n"
      "\t0.500000, 0.500000, 0.500000,\n"
      "}\n"
      "\n");
}

void WriteTexture(TextOutput& out, const WTexture& texture) {
  const char* path = texture.name.c_str();
  const long long w = texture.width;
  const long long h = texture.height;
  out.Put("\t\tSI_Texture2D TEX-").Put(FileTitle(path)).Put(" {\n");
  out.Put("\t\t\t\"").Put(FileName(path)).Put("\";\n");
  out.Put("\t\t\t4;\n");
  out.Put("\t\t\t").Int(w).Put(';').Int(h).Put(";\n");
  out.Put("\t\t\t0;").Int(w - 1).Put(";0;").Int(h - 1).Put(";\n");
  out.Put(
      "\t\t\t0;\n"
      "\t\t\t1;1;\n"
      "\t\t\t0;0;\n"
      "\t\t\t1.000000;1.000000;\n"
      "\t\t\t0.000000;0.000000;\n"
      "\t\t\t1.000000,0.000000,0.000000,0.000000,\n"
      "\t\t\t0.000000,1.000000,0.000000,0.000000,\n"
      "\t\t\t0.000000,0.000000,1.000000,0.000000,\n"
      "\t\t\t0.000000,0.000000,0.000000,1.000000;;\n"
      "\t\t\t3;\n"
      "\t\t\t1.000000;\n"
      "\t\t\t0.750000;\n"
      "\t\t\t1.000000;\n"
      "\t\t\t0.000000;\n"
      "\t\t\t0.000000;\n"
      "\t\t\t0.000000;\n"
      "\t\t\t0.000000;\n"
      "\t\t}\n");
}

// The lines of a material after its colour, up to the texture block.
void WriteMaterialBody(TextOutput& out, const WScene& scene) {
  out.Put(
      "\t\t50.000000,\n"
      "\t\t1.000000,1.000000,1.000000,\n"
      "\t\t0.000000,0.000000,0.000000,\n");
  out.Put((scene.scene_flags & kShadingModel5) ? "\t\t5,\n" : "\t\t1,\n");
  out.Put("\t\t0.500000,0.500000,0.500000,\n");
}

void WriteMaterial(TextOutput& out, const WScene& scene, const WMaterial& material) {
  const WColor& c = material.col;
  std::string scratch;
  out.Put("\tSI_Material MAT-").Put(XsiName(material.name.c_str(), scratch)).Put(" {\n");
  out.Put("\t\t").Fixed(c.r).Put(',').Fixed(c.g).Put(',').Fixed(c.b).Put(',').Fixed(c.a).Put(",\n");
  WriteMaterialBody(out, scene);
  // A texture index outside the list means no texture.
  if (material.tex >= 0 && material.tex < scene.tnum) WriteTexture(out, scene.textures[material.tex]);
  out.Put("\t}\n");
}

void WriteMaterialLibrary(TextOutput& out, const WScene& scene) {
  // A scene without materials is written as if it had "NoMaterial".
  WMaterial fallback;
  const WMaterial* materials = scene.materials;
  int count = scene.mnum;
  if (count <= 0) {
    fallback.SetName(kNoMaterialName);
    materials = &fallback;
    count = 1;
  }
  out.Put("SI_MaterialLibrary MATLIB-Defalut {\n");
  out.Put("\t").Int(count + 1).Put(",\n");
  out.Put(
      "\tSI_Material Default {\n"
      "\t\t0.700000,0.700000,0.700000,1.000000,\n");
  WriteMaterialBody(out, scene);
  out.Put("\t}\n");
  for (int i = 0; i < count; ++i) WriteMaterial(out, scene, materials[i]);
  out.Put("}\n");
  out.Put('\n');
}

// Envelopes: one per (object i, bone j) pair that some vertex of i holds
// with a weight above kMinWeight. A vertex counts once per bone (its first
// such weight), and weights naming no object are left out, so the count line
// of every envelope matches the lines below it.
class EnvelopeWriter {
 public:
  explicit EnvelopeWriter(const WScene& scene)
      : scene_(scene), count_(static_cast<size_t>(std::max(scene.onum, 0)), 0),
        seen_at_(count_.size(), -1) {}

  void Write(TextOutput& out) {
    long long envelopes = 0;
    for (int i = 0; i < scene_.onum; ++i) {
      CountBones(scene_.objects[i]);
      envelopes += static_cast<long long>(bones_.size());
      ClearCounts();
    }
    if (envelopes == 0) return;

    out.Put("SI_EnvelopeList {\n");
    out.Put("\t").Int(envelopes).Put(";\n");
    for (int i = 0; i < scene_.onum; ++i) WriteObject(out, i);
    out.Put("}\n");
  }

 private:
  // Calls visit(vertex, bone, weight) for the first weight above the
  // threshold of every (vertex, valid bone) pair of o, in vertex order.
  template <class Visit>
  void ForEachInfluence(const WObject& o, Visit visit) {
    for (int v = 0; v < o.vnum; ++v) {
      const WVertex& vertex = o.vertices[v];
      for (int w = 0; w < vertex.wnum(); ++w) {
        const WWeight& weight = vertex.weights()[w];
        const int bone = weight.bone;
        if (!(weight.weight > kMinWeight) || bone < 0 || bone >= scene_.onum) continue;
        if (seen_at_[bone] == v) continue;  // a second weight for this bone
        seen_at_[bone] = v;
        visit(v, bone, weight.weight);
      }
    }
    for (int bone : bones_) seen_at_[bone] = -1;
  }

  // Fills count_ and bones_ (the bones in use, ascending) for object o.
  void CountBones(const WObject& o) {
    bones_.clear();
    ForEachInfluence(o, [&](int, int bone, float) {
      if (count_[bone]++ == 0) bones_.push_back(bone);
    });
    std::sort(bones_.begin(), bones_.end());
  }

  void ClearCounts() {
    for (int bone : bones_) count_[bone] = 0;
  }

  void WriteObject(TextOutput& out, int i) {
    const WObject& o = scene_.objects[i];
    CountBones(o);
    if (bones_.empty()) return;
    // Group the influences by bone, keeping vertex order: count_ becomes
    // each bone's fill cursor into entries_.
    begin_.resize(bones_.size());
    int placed = 0;
    for (size_t b = 0; b < bones_.size(); ++b) {
      begin_[b] = placed;
      placed += count_[bones_[b]];
      count_[bones_[b]] = begin_[b];
    }
    entries_.resize(static_cast<size_t>(placed));
    ForEachInfluence(o, [&](int v, int bone, float weight) { entries_[count_[bone]++] = {v, weight}; });

    for (size_t b = 0; b < bones_.size(); ++b) {
      const int bone = bones_[b];
      const int end = count_[bone];
      out.Put("\tSI_Envelope {\n");
      out.Put("\t\t\"MDL-").Put(XsiName(o.name.c_str(), scratch_)).Put("\";\n");
      out.Put("\t\t\"MDL-").Put(XsiName(scene_.objects[bone].name.c_str(), scratch_)).Put("\";\n");
      out.Put("\t\t").Int(end - begin_[b]).Put(";\n");
      for (int e = begin_[b]; e < end; ++e)
        out.Put("\t\t").Int(entries_[e].vertex).Put(',').Fixed(static_cast<double>(entries_[e].weight) * 100.0).Put(";,\n");
      out.Put("\t}\n");
    }
    ClearCounts();
  }

  struct Influence {
    int vertex;
    float weight;
  };

  const WScene& scene_;
  std::vector<int> count_;    // per bone: influences in the current object
  std::vector<int> seen_at_;  // per bone: the last vertex that named it, or -1
  std::vector<int> bones_;
  std::vector<int> begin_;
  std::vector<Influence> entries_;
  std::string scratch_;  // a name made fit for a quoted string
};

}  // namespace

void WriteXsiScene(TextOutput& out, const WScene& scene, std::time_t now) {
  WriteHead(out, scene, XsiTimeStamp(now));
  WriteMaterialLibrary(out, scene);
  WriteXsiModels(out, scene);
  EnvelopeWriter(scene).Write(out);
}

WriteResult WriteXsiFile(const char* path, const WScene& scene, const WriterOptions&) {
  const std::time_t stamp = XsiStampTime(std::time(nullptr), std::getenv("SOURCE_DATE_EPOCH"));
  return WriteWholeFile(path, "wb", [&](TextOutput& out) { WriteXsiScene(out, scene, stamp); });
}

WriteResult WriteXsiFile(const char* path, WScene&& scene, const WriterOptions& options) {
  return WriteXsiFile(path, scene, options);
}
