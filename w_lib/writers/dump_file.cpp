// The scene dump: a diagnostic listing of the scene model, one keyword line
// per field, indices exactly as stored.
#include <new>
#include <utility>

#include "w_lib/writer_edits/writer_edits.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "w_lib/writers/working_copy.h"

namespace {

// The channels of a key in the order the dump lists them.
constexpr int kChannelOrder[] = {kTranslateX, kTranslateY, kTranslateZ, kRotateX, kRotateY,
                                 kRotateZ,    kScaleX,     kScaleY,     kScaleZ};

void WriteVector(TextOutput& out, const char* keyword, const WVector& v) {
  out.Put(keyword).Put(' ').Fixed(v.x).Put(' ').Fixed(v.y).Put(' ').Fixed(v.z).Put('\n');
}

void WriteColor(TextOutput& out, const char* keyword, const WColor& c) {
  out.Put(keyword).Put(' ').Fixed(c.r).Put(' ').Fixed(c.g).Put(' ').Fixed(c.b).Put(' ').Fixed(c.a).Put('\n');
}

void WriteHead(TextOutput& out, const WScene& scene) {
  out.Put("Dump\n\n");
  out.Put(kCreatedByLine);
  out.Put("scene ").Int(scene.start_frame).Put(' ').Int(scene.end_frame).Put(' ').Int(scene.frame);
  out.Put(' ').Fixed(scene.fps).Put("\n\n");
  out.Put("onum ").Int(scene.onum).Put('\n');
  out.Put("mnum ").Int(scene.mnum).Put('\n');
  out.Put("tnum ").Int(scene.tnum).Put('\n');
  out.Put('\n');

  if (scene.tnum > 0) {
    for (int i = 0; i < scene.tnum; ++i) out.Put("texture ").Put(scene.textures[i].name.c_str()).Put('\n');
    out.Put('\n');
  }
  if (scene.mnum > 0) {
    for (int i = 0; i < scene.mnum; ++i) {
      const WMaterial& m = scene.materials[i];
      out.Put("material ").Put(m.name.c_str()).Put('\n');
      WriteColor(out, "col", m.col);
      out.Put("tex ").Int(m.tex).Put('\n');
    }
    out.Put('\n');
  }
}

void WriteGeometry(TextOutput& out, const WObject& o) {
  if (o.vnum > 0) {
    for (int i = 0; i < o.vnum; ++i) WriteVector(out, "v", o.vertices[i].pos);
    out.Put('\n');
  }
  if (o.unum > 0) {
    for (int i = 0; i < o.unum; ++i) out.Put("vt ").Fixed(o.uvs[i].u).Put(' ').Fixed(o.uvs[i].v).Put('\n');
    out.Put('\n');
  }
  if (o.nnum > 0) {
    for (int i = 0; i < o.nnum; ++i) WriteVector(out, "vn", o.normals[i].normal);
    out.Put('\n');
  }
  if (o.cnum > 0) {
    for (int i = 0; i < o.cnum; ++i) WriteColor(out, "vc", o.colors[i].col);
    out.Put('\n');
  }
}

void WriteFaces(TextOutput& out, const WObject& o) {
  if (o.lnum + static_cast<long long>(o.fnum) == 0) return;
  for (int i = 0; i < o.lnum; ++i) out.Put("f 2 -1 : ").Int(o.lines[i].v[0]).Put(' ').Int(o.lines[i].v[1]).Put('\n');
  for (int f = 0; f < o.fnum; ++f) {
    const WFace& face = o.faces[f];
    out.Put("f ").Int(face.num).Put(' ').Int(face.material).Put(" :");
    for (int k = 0; k < face.num; ++k)
      out.Put(' ').Int(face.v[k]).Put('/').Int(face.vt()[k]).Put('/').Int(face.vn()[k]).Put('/').Int(face.vc()[k]);
    out.Put('\n');
  }
  out.Put('\n');
}

void WriteKeys(TextOutput& out, const WObject& o) {
  for (int channel : kChannelOrder) {
    bool written = false;
    for (int i = 0; i < o.anum; ++i) {
      const WTransform& key = o.keys[i];
      if (!(key.channels & channel)) continue;
      out.Put("a ").Int(channel).Put(' ').Int(key.frame).Put(' ').Fixed(key.GetChannel(channel)).Put('\n');
      written = true;
    }
    if (written) out.Put('\n');
  }
}

void WriteWeights(TextOutput& out, const WObject& o) {
  bool written = false;
  for (int v = 0; v < o.vnum; ++v) {
    const WVertex& vertex = o.vertices[v];
    for (int w = 0; w < vertex.wnum(); ++w) {
      const WWeight& weight = vertex.weights()[w];
      out.Put("b ").Int(v).Put(' ').Int(weight.bone).Put(' ');
      out.Fixed(static_cast<double>(weight.weight) * 100.0).Put('\n');
      written = true;
    }
  }
  if (written) out.Put('\n');
}

void WriteObject(TextOutput& out, const WObject& o, int index) {
  out.Put("# // object [").Int(index).Put("]\n\n");
  out.Put("object ").Put(o.name.c_str()).Put('\n');
  WriteVector(out, "translate", o.transform.translate);
  WriteVector(out, "scale", o.transform.scale);
  WriteVector(out, "rotate", o.transform.rotate);
  if (o.flags & kHasBaseTransform) {
    WriteVector(out, "btranslate", o.btransform.translate);
    WriteVector(out, "bscale", o.btransform.scale);
    WriteVector(out, "brotate", o.btransform.rotate);
  }
  out.Put("parent ").Int(o.parent).Put("\n\n");

  out.Put("vnum ").Int(o.vnum).Put('\n');
  out.Put("unum ").Int(o.unum).Put('\n');
  out.Put("nnum ").Int(o.nnum).Put('\n');
  out.Put("cnum ").Int(o.cnum).Put('\n');
  out.Put("fnum ").Int(o.fnum + static_cast<long long>(o.lnum)).Put('\n');
  out.Put("anum ").Int(o.anum).Put("\n\n");

  WriteGeometry(out, o);
  WriteFaces(out, o);
  WriteKeys(out, o);
  WriteWeights(out, o);
}

}  // namespace

namespace {

// Loose lines are listed as two-corner faces of the working scene.
void WriteDumpOf(TextOutput& out, WScene& work) {
  DropFaceEdges(work);
  LinesToFaces(work);
  WriteHead(out, work);
  for (int o = 0; o < work.onum; ++o) WriteObject(out, work.objects[o], o);
}

}  // namespace

WriteResult WriteSceneDump(const char* path, const WScene& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wt", scene, WriteDumpOf);
}

WriteResult WriteSceneDump(const char* path, WScene&& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wt", std::move(scene), WriteDumpOf);
}
