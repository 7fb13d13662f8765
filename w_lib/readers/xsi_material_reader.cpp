// dotXSI materials: the material library with its SI_Material (colour and
// SI_Texture2D image) and XSI_Material (the diffuse colour of its surface
// shader, and the image that shader's diffuse input shows) templates, and
// the image library that names the images' files.
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/readers/xsi_reading.h"

namespace {

// Adds a material for the template of that instance name; polygon lists find
// it by the instance name (the first of a name, when two share it).
int AddMaterial(XsiReading& r, std::string_view instance, std::string_view prefix) {
  const int m = r.scene.AddMaterial(XsiNameWithoutPrefix(instance, prefix).c_str());
  r.materials.emplace(std::string(instance), m);
  return m;
}

// SI_Texture2D: the image file's name first, then the mapping type, the
// image's width and height; then crop (4), U/V swap, repeats (2), alternates
// (2), scales (2), offsets (2), the projection matrix (16), the blending
// type, the blending and the image's share of the ambient, the diffuse and
// the rest. An image blended whole into the whole diffuse colour replaces
// that colour. The rest does not change what the scene holds.
void ReadTexture2D(XsiReading& r, int material) {
  XsiText& text = r.text;
  const std::string file(text.String());
  int width = 0, height = 0;
  constexpr int kBlending = 30, kDiffuseShare = 32;
  float numbers[kDiffuseShare + 1] = {};
  int read = 0;
  if (text.AtNumber()) {
    text.Float();
    if (text.AtNumber()) width = text.Int();
    if (text.AtNumber()) height = text.Int();
    while (read <= kDiffuseShare && text.AtNumber()) numbers[read++] = text.Float();
  }
  SkipXsiTemplate(r);
  if (file.empty()) return;
  const int t = r.TextureFor(file);
  r.scene.textures[t].width = width;
  r.scene.textures[t].height = height;
  r.scene.materials[material].tex = t;
  if (read > kDiffuseShare && numbers[kBlending] >= 1.0f && numbers[kDiffuseShare] >= 1.0f)
    r.scene.materials[material].flags |= kImageIsDiffuse;
}

// SI_Material: red, green, blue, alpha of the face colour, then specular
// power and colours, shading model and ambient colour, and its texture.
void ReadSiMaterial(XsiReading& r, std::string_view instance) {
  const int m = AddMaterial(r, instance, "MAT-");
  XsiText& text = r.text;
  float c[4] = {0.7f, 0.7f, 0.7f, 1.0f};
  for (float& component : c)
    if (text.AtNumber()) component = text.Float();
  r.scene.materials[m].col = WColor(c[0], c[1], c[2], c[3]);
  ForEachXsiTemplate(r, [&](std::string_view keyword, std::string_view) {
    if (keyword != "SI_Texture2D") return false;
    ReadTexture2D(r, m);
    return true;
  });
}

// What a material needs of one XSI_Shader.
struct Shader {
  std::string name;
  float diffuse[3] = {0.0f, 0.0f, 0.0f};
  int diffuse_found = 0;      // bits 1, 2, 4: red, green, blue
  std::string diffuse_input;  // the shader that feeds its diffuse colour
  std::string image;          // the image library entry that it shows
};

// XSI_Shader: its program's name, three counts, then triples: a parameter
// ("name", "TYPE", value) or a connection ("input", "source", "KIND").
void ReadShader(XsiReading& r, Shader& shader) {
  XsiText& text = r.text;
  const int opened = text.line();
  if (text.Next() == '"') text.String();
  while (XsiBlockGoesOn(text, "shader", opened)) {
    const char c = text.Next();
    if (text.AtNumber()) {
      text.Float();
      continue;
    }
    if (c != '"') {
      text.Keyword();
      text.InstanceName();
      SkipXsiTemplate(r);
      continue;
    }
    const std::string parameter(text.String());
    if (text.Next() != '"') continue;
    const std::string second(text.String());
    if (text.AtNumber()) {
      const float value = text.Float();
      static const char* const kDiffuse[3] = {"diffuse.red", "diffuse.green", "diffuse.blue"};
      for (int k = 0; k < 3; ++k)
        if (parameter == kDiffuse[k]) {
          shader.diffuse[k] = value;
          shader.diffuse_found |= 1 << k;
        }
    } else if (text.Next() == '"') {
      const std::string_view kind = text.String();
      if (kind == "SHADER" && parameter == "diffuse") shader.diffuse_input = second;
      if (kind == "IMAGE" && shader.image.empty()) shader.image = second;
    }
  }
}

// XSI_Material: the count of its connections, the connections ("surface",
// "shader name", ...), then its shaders.
void ReadXsiMaterial(XsiReading& r, std::string_view instance) {
  const int m = AddMaterial(r, instance, "");
  XsiText& text = r.text;
  const int opened = text.line();
  std::string surface;
  std::vector<Shader> shaders;
  while (XsiBlockGoesOn(text, "material", opened)) {
    const char c = text.Next();
    if (text.AtNumber()) {
      text.Float();
    } else if (c == '"') {
      const std::string input(text.String());
      if (text.Next() == '"') {
        const std::string_view shader = text.String();
        if (input == "surface") surface = shader;
      }
    } else {
      const std::string keyword(text.Keyword());
      const std::string name(text.InstanceName());
      if (keyword == "XSI_Shader") {
        shaders.emplace_back();
        shaders.back().name = name;
        ReadShader(r, shaders.back());
      } else {
        SkipXsiTemplate(r);
      }
    }
  }
  const auto find = [&shaders](const std::string& name) -> const Shader* {
    for (const Shader& s : shaders)
      if (s.name == name) return &s;
    return nullptr;
  };
  const Shader* shown = find(surface);
  if (!shown && !shaders.empty()) shown = &shaders.front();
  if (!shown) return;
  if (shown->diffuse_found == 7)
    r.scene.materials[m].col = WColor(shown->diffuse[0], shown->diffuse[1], shown->diffuse[2], 1.0f);
  const Shader* image = find(shown->diffuse_input);
  if (image && !image->image.empty()) r.image_uses.emplace_back(m, image->image);
}

}  // namespace

void ReadXsiMaterialLibrary(XsiReading& r) {
  ForEachXsiTemplate(r, [&r](std::string_view keyword, std::string_view name) {
    if (keyword == "SI_Material") {
      ReadSiMaterial(r, name);
    } else if (keyword == "XSI_Material") {
      ReadXsiMaterial(r, name);
    } else {
      return false;
    }
    return true;
  });
}

void ReadXsiImageLibrary(XsiReading& r) {
  ForEachXsiTemplate(r, [&r](std::string_view keyword, std::string_view name) {
    if (keyword != "XSI_Image") return false;
    const std::string instance(name);
    r.images.emplace(instance, std::string(r.text.String()));
    SkipXsiTemplate(r);
    return true;
  });
}
