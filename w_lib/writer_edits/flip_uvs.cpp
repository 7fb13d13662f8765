// Texture coordinates mirrored within the unit square.
#include "w_lib/writer_edits/writer_edits.h"

namespace {

// 1 - value, formed in double precision and stored as a float.
float OneMinus(float value) { return static_cast<float>(1.0 - static_cast<double>(value)); }

}  // namespace

void FlipUvs(WObject& object, unsigned mask) {
  if (mask & kFlipU)
    for (int i = 0; i < object.unum; ++i) object.uvs[i].u = OneMinus(object.uvs[i].u);
  if (mask & kFlipV)
    for (int i = 0; i < object.unum; ++i) object.uvs[i].v = OneMinus(object.uvs[i].v);
}

void FlipUvs(WScene& scene, unsigned mask) {
  ForEachObject(scene, [mask](WObject& o) { FlipUvs(o, mask); });
}
