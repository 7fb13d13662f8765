// dotXSI models: one SI_Model block per object with its transforms, its mesh
// (shape lists and polygon lists per material) or a null, its function
// curves, and the models of its children nested inside.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/util/text.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

namespace {

constexpr int kMaxIndent = 255;

// Braces end a template head, a double quote ends a quoted string. Blanks
// stay: readers of the format take them, and stored files rely on them.
bool BreaksXsiToken(unsigned char c) { return c == '{' || c == '}' || c == '"' || IsControlByte(c); }

// The indent of a depth: up to 255 TABs; deeper models share the last one.
std::string_view Indent(int depth) {
  static const std::string tabs(kMaxIndent, '\t');
  if (depth <= 0) return {};
  return std::string_view(tabs.data(), static_cast<size_t>(depth < kMaxIndent ? depth : kMaxIndent));
}

// Radians to degrees with single-precision constants, formed in double.
double Degrees(float radians) {
  return static_cast<double>(radians) * static_cast<double>(180.0f) / static_cast<double>(3.1415927f);
}

struct Channel {
  const char* name;
  int bit;
};
constexpr Channel kChannels[] = {
    {"TRANSLATION-X", kTranslateX}, {"TRANSLATION-Y", kTranslateY}, {"TRANSLATION-Z", kTranslateZ},
    {"ROTATION-X", kRotateX},       {"ROTATION-Y", kRotateY},       {"ROTATION-Z", kRotateZ},
    {"SCALING-X", kScaleX},         {"SCALING-Y", kScaleY},         {"SCALING-Z", kScaleZ},
};

void WriteTriple(TextOutput& out, std::string_view p, double x, double y, double z) {
  out.Put(p).Put("\t\t").Fixed(x).Put(',').Fixed(y).Put(',').Fixed(z).Put(",\n");
}

// One SI_Transform block: the object's scale and rotation with a translation.
void WriteTransformBlock(TextOutput& out, std::string_view p, const char* kind, std::string_view name,
                         const WObject& o, const WVector& translate) {
  const WTransform& t = o.transform;
  out.Put(p).Put("\tSI_Transform ").Put(kind).Put('-').Put(name).Put(" {\n");
  WriteTriple(out, p, t.scale.x, t.scale.y, t.scale.z);
  WriteTriple(out, p, Degrees(t.rotate.x), Degrees(t.rotate.y), Degrees(t.rotate.z));
  WriteTriple(out, p, translate.x, translate.y, translate.z);
  out.Put(p).Put("\t}\n").Put(p).Put('\n');
}

void WriteTransforms(TextOutput& out, std::string_view p, std::string_view name, const WObject& o) {
  WriteTransformBlock(out, p, "SRT", name, o, o.transform.translate);
  // The base pose shares scale and rotation with the transform above.
  WriteTransformBlock(out, p, "BASEPOSE", name, o, o.transform.base_translate);

  out.Put(p).Put("\tSI_GlobalMaterial {\n");
  out.Put(p).Put("\t\t\"Default\"\n");
  out.Put(p).Put("\t\t\"BRANCH\"\n");
  out.Put(p).Put("\t}\n").Put(p).Put('\n');

  out.Put(p).Put("\tSI_Visibility {\n");
  out.Put(p).Put("\t\t1,\n");
  out.Put(p).Put("\t}\n").Put(p).Put('\n');
}

void WriteListHead(TextOutput& out, std::string_view p, int count, const char* kind) {
  out.Put(p).Put("\t\t\t").Int(count).Put(",\n");
  out.Put(p).Put("\t\t\t\"").Put(kind).Put("\",\n");
}

void WriteVectorRow(TextOutput& out, std::string_view p, const WVector& v) {
  out.Put(p).Put("\t\t\t").Fixed(v.x).Put(", ").Fixed(v.y).Put(", ").Fixed(v.z).Put(",\n");
}

void WriteShape(TextOutput& out, std::string_view p, std::string_view name, const WObject& o) {
  out.Put(p).Put("\tSI_Mesh MSH-").Put(name).Put(" {\n");
  out.Put(p).Put("\t\tSI_Shape SHP-").Put(name).Put("-ORG {\n");
  const int lists = 1 + (o.nnum != 0) + (o.unum != 0) + (o.cnum != 0);
  out.Put(p).Put("\t\t\t").Int(lists).Put(",\n");
  out.Put(p).Put("\t\t\t\"ORDERED\",\n");
  out.Put(p).Put('\n');

  WriteListHead(out, p, o.vnum, "POSITION");
  PutItems(out, ItemCount(o.vnum), [&](TextOutput& to, size_t i) { WriteVectorRow(to, p, o.vertices[i].pos); });
  out.Put(p).Put('\n');

  if (o.nnum != 0) {
    WriteListHead(out, p, o.nnum, "NORMAL");
    PutItems(out, ItemCount(o.nnum), [&](TextOutput& to, size_t i) { WriteVectorRow(to, p, o.normals[i].normal); });
    out.Put(p).Put('\n');
  }
  if (o.cnum != 0) {
    WriteListHead(out, p, o.cnum, "COLOR");
    PutItems(out, ItemCount(o.cnum), [&](TextOutput& to, size_t i) {
      const WColor& c = o.colors[i].col;
      to.Put(p).Put("\t\t\t").Fixed(c.r).Put(", ").Fixed(c.g).Put(", ").Fixed(c.b).Put(", ").Fixed(c.a).Put(",\n");
    });
    out.Put(p).Put('\n');
  }
  if (o.unum != 0) {
    WriteListHead(out, p, o.unum, "TEX_COORD_UV");
    PutItems(out, ItemCount(o.unum), [&](TextOutput& to, size_t i) {
      const WUv& t = o.uvs[i];
      // v runs downward in the file.
      to.Put(p).Put("\t\t\t").Fixed(t.u).Put(", ").Fixed(1.0 - static_cast<double>(t.v)).Put(",\n");
    });
    out.Put(p).Put('\n');
  }
  out.Put(p).Put("\t\t}\n");
  out.Put(p).Put('\n');
}

// One line per face: the chosen per-corner index of every corner, as stored
// (indices_of(face): the face's corner array to write).
template <class IndicesOf>
void WriteIndexLines(TextOutput& out, std::string_view p, const WObject& o, const XsiFaceRun& faces,
                     IndicesOf indices_of) {
  PutItems(out, ItemCount(faces.count), [&](TextOutput& to, size_t i) {
    const WFace& f = o.faces[faces[static_cast<int>(i)]];
    const int* index = indices_of(f);
    to.Put(p).Put("\t\t\t");
    for (int k = 0; k < f.num; ++k) to.Int(index[k]).Put(',');
    to.Put('\n');
  });
  out.Put(p).Put('\n');
}

void WritePolygonList(TextOutput& out, std::string_view p, const WObject& o, std::string_view material, bool textured,
                      const XsiFaceRun& faces) {
  const int count = faces.count;
  std::string elements;
  if (o.nnum != 0) AppendWithSeparator(elements, "|", "NORMAL");
  if (o.cnum != 0) AppendWithSeparator(elements, "|", "COLOR");
  if (textured) AppendWithSeparator(elements, "|", "TEX_COORD_UV");

  long long corners = 0;
  for (int i = 0; i < count; ++i) corners += o.faces[faces[i]].num;

  out.Put(p).Put("\t\tSI_PolygonList {\n");
  out.Put(p).Put("\t\t\t").Int(count).Put(",\n");
  out.Put(p).Put("\t\t\t\"").Put(elements).Put("\",\n");
  out.Put(p).Put("\t\t\t\"MAT-").Put(material).Put("\",\n");
  out.Put(p).Put("\t\t\t").Int(corners).Put(",\n");
  PutItems(out, ItemCount(count),
           [&](TextOutput& to, size_t i) { to.Put(p).Put("\t\t\t").Int(o.faces[faces[static_cast<int>(i)]].num).Put(",\n"); });
  out.Put('\n');  // no indent on this one
  WriteIndexLines(out, p, o, faces, [](const WFace& f) -> const int* { return f.v; });
  if (o.nnum != 0) WriteIndexLines(out, p, o, faces, [](const WFace& f) { return f.vn(); });
  if (o.cnum != 0) WriteIndexLines(out, p, o, faces, [](const WFace& f) { return f.vc(); });
  if (textured) WriteIndexLines(out, p, o, faces, [](const WFace& f) { return f.vt(); });
  out.Put(p).Put("\t\t}\n");
}

void WriteCurves(TextOutput& out, std::string_view p, std::string_view name, const WObject& o) {
  for (const Channel& channel : kChannels) {
    int count = 0;
    for (int i = 0; i < o.anum; ++i)
      if (o.keys[i].channels & channel.bit) ++count;
    if (count == 0) continue;
    out.Put(p).Put("\tSI_FCurve ").Put(name).Put('-').Put(channel.name).Put('\n');
    out.Put(p).Put("\t{\n");
    out.Put(p).Put("\t\t\"").Put(name).Put("\",\n");
    out.Put(p).Put("\t\t\"").Put(channel.name).Put("\",\n");
    out.Put(p).Put("\t\t\"LINEAR\",\n");
    out.Put(p).Put("\t\t1,1,\n");
    out.Put(p).Put("\t\t").Int(count).Put(",\n");
    const bool rotation = (channel.bit & (kRotateX | kRotateY | kRotateZ)) != 0;
    for (int i = 0; i < o.anum; ++i) {
      const WTransform& key = o.keys[i];
      if (!(key.channels & channel.bit)) continue;
      const float value = key.GetChannel(channel.bit);
      // Curve values are single precision, degrees included.
      const float written = rotation ? static_cast<float>(Degrees(value)) : value;
      out.Put(p).Put("\t\t").Int(key.frame).Put(',').Fixed(written).Put(",\n");
    }
    out.Put(p).Put("\t}\n");
  }
}

// The polygon list key of face f: 2m + 0 for a textured face of material m
// (every corner has a texture coordinate), 2m + 1 for the others, and -1 for
// a face outside the material list.
int FaceKey(const WFace& f, int material_count) {
  const int m = f.material == -1 ? 0 : f.material;
  if (m < 0 || m >= material_count) return -1;
  for (int k = 0; k < f.num; ++k)
    if (f.vt()[k] == -1) return 2 * m + 1;
  return 2 * m;
}

// Sorts the faces of o into polygon lists, stably: keys are counted in one
// pass and the faces placed in a second, the key found again rather than
// kept per face. Afterwards the faces of used_keys[u] are
// FaceRun(u)[0 .. bucket_stop[u] - bucket_begin[u] - 1], and bucket_end is
// all 0 again. When one key holds every face, as in most models, the run is
// the faces in order and no face order is made.
void BucketFaces(const WObject& o, XsiFaceBuckets& c) {
  const int fnum = o.fnum < 0 ? 0 : o.fnum;
  c.used_keys.clear();
  for (int i = 0; i < fnum; ++i) {
    const int key = FaceKey(o.faces[i], c.material_count);
    if (key >= 0 && c.bucket_end[key]++ == 0) c.used_keys.push_back(key);
  }
  // Only the keys in use are sorted and reset, so that many small objects in
  // a scene of many materials stay cheap.
  std::sort(c.used_keys.begin(), c.used_keys.end());
  c.bucket_begin.resize(c.used_keys.size());
  int placed = 0;
  for (size_t u = 0; u < c.used_keys.size(); ++u) {
    const int key = c.used_keys[u];
    c.bucket_begin[u] = placed;
    placed += c.bucket_end[key];
    c.bucket_end[key] = c.bucket_begin[u];
  }
  c.in_order = c.used_keys.size() == 1 && placed == fnum;
  if (c.in_order) {
    c.face_order.clear();
    c.bucket_end[c.used_keys[0]] = placed;
  } else {
    c.face_order.resize(static_cast<size_t>(placed));
    for (int i = 0; i < fnum; ++i) {
      const int key = FaceKey(o.faces[i], c.material_count);
      if (key >= 0) c.face_order[c.bucket_end[key]++] = i;
    }
  }
  c.bucket_stop.resize(c.used_keys.size());
  for (size_t u = 0; u < c.used_keys.size(); ++u) {
    c.bucket_stop[u] = c.bucket_end[c.used_keys[u]];
    c.bucket_end[c.used_keys[u]] = 0;  // clean for the next model
  }
}

}  // namespace

// One model up to its children: head, transforms, mesh or null, curves.
void OpenXsiModel(TextOutput& out, const WScene& scene, XsiFaceBuckets& c, int k, int depth) {
  const WObject& o = scene.objects[k];
  const std::string_view p = Indent(depth);
  std::string scratch;
  const std::string_view name = XsiName(o.name.c_str(), scratch);

  out.Put(p).Put("SI_Model MDL-").Put(name).Put(" {\n");
  WriteTransforms(out, p, name, o);

  if (o.vnum == 0) {
    out.Put(p).Put("\tSI_Null ").Put(name).Put(" {\n");
    out.Put(p).Put("\t}\n");
    out.Put(p).Put('\n');
  } else {
    WriteShape(out, p, name, o);
    BucketFaces(o, c);
    std::string material_scratch;
    for (size_t u = 0; u < c.used_keys.size(); ++u) {
      const int key = c.used_keys[u];
      const int m = key / 2;
      const std::string_view material =
          scene.mnum > 0 ? XsiName(scene.materials[m].name.c_str(), material_scratch) : kNoMaterialName;
      WritePolygonList(out, p, o, material, key % 2 == 0, c.Run(u));
    }
    out.Put(p).Put("\t}\n");
  }

  WriteCurves(out, p, name, o);
}

std::string_view XsiName(const char* name, std::string& scratch) { return NameAsToken(name, BreaksXsiToken, scratch); }

XsiFaceBuckets::XsiFaceBuckets(const WScene& scene) : material_count(scene.mnum > 0 ? scene.mnum : 1) {
  bucket_end.assign(2 * static_cast<size_t>(material_count), 0);
}

bool WriteXsiModel(TextOutput& out, const WScene& scene, XsiModelContext& context, int object, int depth) {
  if (object < 0 || object >= scene.onum) return true;
  if (depth < 0) depth = 0;
  if (depth > kMaxIndent) depth = kMaxIndent;
  const ObjectTree& tree = context.tree;

  tree.VisitSubtree(
      object, depth, kMaxIndent, [&](int o, int d) { OpenXsiModel(out, scene, context.buckets, o, d); },
      [&](int, int d) { out.Put(Indent(d)).Put("}\n"); });
  return true;
}

// Many small models are formatted on the machine's threads, each thread
// with face sorting scratch of its own.
void WriteXsiModels(TextOutput& out, const WScene& scene) {
  const std::vector<ObjectTree::Mark> marks = ObjectTree(scene).MarksOfEveryRoot(kMaxIndent);
  const int workers = WeightedItemsWorkers(marks.size());
  std::vector<XsiFaceBuckets> buckets(static_cast<size_t>(workers), XsiFaceBuckets(scene));
  PutWeightedItems(
      out, marks.size(), workers,
      [&](size_t i) {
        if (!marks[i].open) return size_t{1};
        const WObject& o = scene.objects[marks[i].object];
        // A polygon list's lines per face and per corner index list.
        return 32 + ItemCount(o.vnum) + ItemCount(o.nnum) + ItemCount(o.cnum) + ItemCount(o.unum) +
               5 * ItemCount(o.fnum) + ItemCount(o.anum);
      },
      [&](TextOutput& to, size_t i, int part) {
        const ObjectTree::Mark& mark = marks[i];
        if (mark.open)
          OpenXsiModel(to, scene, buckets[static_cast<size_t>(part)], mark.object, mark.depth);
        else
          to.Put(Indent(mark.depth)).Put("}\n");
      });
}
