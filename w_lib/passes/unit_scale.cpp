// Unit scale: multiplies every length of the scene (positions and
// translations) by one factor, then recomputes the object matrices.
#include "w_lib/w_scene.h"

namespace {

// Each product is formed in double precision and rounded to a float.
void ScaleVector(WVector& v, float factor) {
  const double f = static_cast<double>(factor);
  v.x = static_cast<float>(static_cast<double>(v.x) * f);
  v.y = static_cast<float>(static_cast<double>(v.y) * f);
  v.z = static_cast<float>(static_cast<double>(v.z) * f);
}

}  // namespace

void ScaleScene(WScene& scene, float factor) {
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    ScaleVector(object.transform.translate, factor);
    ScaleVector(object.transform.base_translate, factor);
    for (int i = 0; i < object.anum; ++i) {
      ScaleVector(object.keys[i].translate, factor);
      ScaleVector(object.keys[i].base_translate, factor);
    }
    for (int i = 0; i < object.vnum; ++i) ScaleVector(object.vertices[i].pos, factor);
  }
  UpdateMatrices(scene);
}
