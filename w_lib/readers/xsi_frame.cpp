// The last step of reading a dotXSI file: what the file gave in its own
// terms is brought into the scene's. Images become textures; rotations,
// given in the file's angle unit and turning about x, then y, then z, become
// radians in the scene's order (z, then x, then y); a file whose
// SI_CoordinateSystem is not right-handed with y up and z out of the screen
// is turned into that frame; texture coordinates get v running down; the
// names' code page is told from the names.
#include <cmath>
#include <string_view>

#include "w_lib/util/code_page.h"

#include "w_lib/readers/xsi_reading.h"

namespace {

// The direction that an axis code of SI_CoordinateSystem names, in the
// scene's frame: right, left, up, down, in, out.
WVector Direction(int code) {
  static const WVector kDirections[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, 1}};
  return kDirections[code];
}

// The file's axes as rows: a point p of the file is p x M in the scene.
WMatrix AxisMatrix(const XsiFrame& frame) {
  const WVector x = Direction(frame.axes[0]), y = Direction(frame.axes[1]), z = Direction(frame.axes[2]);
  return WMatrix(x.x, x.y, x.z, 0, y.x, y.y, y.z, 0, z.x, z.y, z.z, 0, 0, 0, 0, 1);
}

WMatrix Transposed(const WMatrix& m) {
  WMatrix t;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) t.m[i][j] = m.m[j][i];
  return t;
}

bool IsDefaultFrame(const XsiFrame& f) { return f.axes[0] == 0 && f.axes[1] == 2 && f.axes[2] == 5; }

// A file angle in radians: degrees with the single-precision constants of
// the dotXSI writer, formed in double.
float Radians(float angle, int unit) {
  if (unit == 1) return angle;
  return static_cast<float>(static_cast<double>(angle) * static_cast<double>(3.1415927f) / 180.0);
}

// An angle's rotation turned into the scene's order and frame.
WVector SceneRotation(WVector file, const XsiFrame& frame, const WMatrix& axes, bool mirrored) {
  WVector r(Radians(file.x, frame.angle_unit), Radians(file.y, frame.angle_unit), Radians(file.z, frame.angle_unit));
  // A frame whose rotations turn by the other hand than its axes make
  // turns the other way.
  if ((frame.right_handed == 1) == mirrored) r = -r;
  const int turning = (r.x != 0.0f) + (r.y != 0.0f) + (r.z != 0.0f);
  // About one axis every order gives the same rotation.
  if (turning <= 1 && IsDefaultFrame(frame)) return r;
  WMatrix m;
  m.SetRotation(r.x, r.y, r.z, kRotateXYZ);
  if (!IsDefaultFrame(frame)) m = Multiply(Multiply(Transposed(axes), m), axes);
  return RotationAngles(m, kRotateZXY);
}

WVector Mapped(const WVector& v, const WMatrix& axes) {
  return WVector(v.x * axes.m[0][0] + v.y * axes.m[1][0] + v.z * axes.m[2][0],
                 v.x * axes.m[0][1] + v.y * axes.m[1][1] + v.z * axes.m[2][1],
                 v.x * axes.m[0][2] + v.y * axes.m[1][2] + v.z * axes.m[2][2]);
}

// Scale factors follow their axes to where the frame puts them.
WVector MappedScale(const WVector& s, const WMatrix& axes) {
  const WVector m = Mapped(s, axes);
  return WVector(std::fabs(m.x), std::fabs(m.y), std::fabs(m.z));
}

// Positions, normals and transforms into the scene's frame; faces turned
// round where the frame is mirrored, so that they keep facing out.
void MapFrame(WObject& o, const WMatrix& axes, bool mirrored) {
  for (int i = 0; i < o.vnum; ++i) o.vertices[i].pos = Mapped(o.vertices[i].pos, axes);
  for (int i = 0; i < o.nnum; ++i) o.normals[i].normal = Mapped(o.normals[i].normal, axes);
  WTransform& t = o.transform;
  t.translate = Mapped(t.translate, axes);
  t.base_translate = Mapped(t.base_translate, axes);
  t.scale = MappedScale(t.scale, axes);
  if (mirrored)
    for (int f = 0; f < o.fnum; ++f) ReverseFace(o.faces[f]);
}

// dotXSI names no code page. The export writes the host's Shift-JIS names;
// other writers write UTF-8. Names that all read as UTF-8, some of them
// beyond ASCII, are taken as UTF-8 (Shift-JIS text beyond ASCII hardly ever
// does); otherwise as Shift-JIS.
bool NamesAreUtf8(const WScene& scene) {
  bool beyond_ascii = false;
  const auto check = [&beyond_ascii](const WName& name) {
    const std::string_view text = name.c_str();
    for (const char c : text) beyond_ascii = beyond_ascii || static_cast<unsigned char>(c) >= 0x80;
    return NameAsUtf8(text, true) == text;
  };
  for (int i = 0; i < scene.onum; ++i)
    if (!check(scene.objects[i].name)) return false;
  for (int i = 0; i < scene.mnum; ++i)
    if (!check(scene.materials[i].name)) return false;
  for (int i = 0; i < scene.tnum; ++i)
    if (!check(scene.textures[i].name)) return false;
  return beyond_ascii;
}

}  // namespace

void FinishXsiScene(XsiReading& r) {
  WScene& scene = r.scene;
  for (const auto& [material, image] : r.image_uses) {
    const auto file = r.images.find(image);
    // The image is what the shader's diffuse input shows.
    if (file != r.images.end() && !file->second.empty()) {
      scene.materials[material].tex = r.TextureFor(file->second);
      scene.materials[material].flags |= kImageIsDiffuse;
    }
  }

  const XsiFrame& frame = r.frame;
  const WMatrix axes = AxisMatrix(frame);
  const WVector x = Direction(frame.axes[0]), y = Direction(frame.axes[1]), z = Direction(frame.axes[2]);
  const bool mirrored = Dot(Cross(x, y), z) < 0.0f;
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    object.transform.rotate = SceneRotation(object.transform.rotate, frame, axes, mirrored);
    if (!IsDefaultFrame(frame)) MapFrame(object, axes, mirrored);
    for (int i = 0; i < object.unum; ++i) {
      WUv& t = object.uvs[i];
      if (frame.u_axis == 1) t.u = static_cast<float>(1.0 - static_cast<double>(t.u));
      if (frame.v_axis == 1) t.v = static_cast<float>(1.0 - static_cast<double>(t.v));
    }
  }
  scene.utf8_names = NamesAreUtf8(scene);
  UpdateMatrices(scene);
}
