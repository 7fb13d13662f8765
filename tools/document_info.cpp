// Describing documents for vellmar info.
#include "tools/document_info.h"

#include <cstdio>
#include <set>

#include <nlohmann/json.hpp>

#include "host/document_freeze.h"
#include "w_lib/util/code_page.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"
#include "w_lib/util/texture_path.h"
#include "w_lib/writers/w_writers.h"

namespace {

// Whether the texture's file is there, as the glTF writers look for it.
bool TextureFileExists(const std::string& folder, const std::string& name, bool utf8_names) {
  return !FindTextureFile(name.c_str(), utf8_names, folder).empty();
}

// The document's path for the text: in UTF-8 when utf8_text (names in code
// page 932 converted, other bytes that are not UTF-8 as "\xNN").
std::string PathText(const std::string& path, bool utf8_text) {
  const std::string escaped = EscapeControlCharacters(path);
  return utf8_text ? TextAsUtf8Escaped(escaped) : escaped;
}

// A name of the document for the text: in UTF-8 when utf8_text, else as
// stored; control characters escaped, as in messages.
std::string TextName(const std::string& name, const DocumentInfo& info, bool utf8_text) {
  return EscapeControlCharacters(utf8_text ? NameAsUtf8(name, info.utf8_names) : name);
}

// One row of the text: the label in a column of its own.
void AddRow(std::string& text, const char* label, const std::string& value) {
  text += "  " + std::string(label);
  text.append(17 - std::string(label).size(), ' ');
  text += value + "\n";
}

// "1 face", "2 faces".
std::string Counted(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The faces row: "3 (1 of 3 corners, 2 of 4 corners)".
std::string FacesValue(const DocumentInfo& info) {
  std::string faces = std::to_string(info.faces);
  std::string by_corners;
  for (const auto& [corners, count] : info.faces_by_corners)
    by_corners += (by_corners.empty() ? "" : ", ") + std::to_string(count) + " of " + std::to_string(corners) +
                  (corners == 1 ? " corner" : " corners");
  return by_corners.empty() ? faces : faces + " (" + by_corners + ")";
}

// The rows from the vertices to the textures, which every kind of file has.
void AddGeometryRows(std::string& text, const DocumentInfo& info, bool utf8_text) {
  AddRow(text, "vertices:", std::to_string(info.vertices));
  AddRow(text, "faces:", FacesValue(info));
  AddRow(text, "lines:", std::to_string(info.lines));
  AddRow(text, "materials:", std::to_string(info.materials));
  AddRow(text, "textures:", std::to_string(info.textures.size()));
  for (const TextureInfo& t : info.textures)
    text += "    " + TextName(t.name, info, utf8_text) + (t.exists ? "" : " (missing)") + "\n";
}

nlohmann::ordered_json FacesJson(const DocumentInfo& info) {
  nlohmann::ordered_json by_corners = nlohmann::ordered_json::object();
  for (const auto& [corners, count] : info.faces_by_corners) by_corners[std::to_string(corners)] = count;
  return {{"total", info.faces}, {"by_corners", by_corners}};
}

nlohmann::ordered_json TexturesJson(const DocumentInfo& info) {
  nlohmann::ordered_json textures = nlohmann::ordered_json::array();
  for (const TextureInfo& t : info.textures)
    textures.push_back({{"name", NameAsUtf8(t.name, info.utf8_names)}, {"exists", t.exists}});
  return textures;
}

// What the report counts as left out: its key in JSON, its names in text.
struct LeftOutKind {
  int XsiReadReport::*count;
  const char* key;
  const char* one;
  const char* many;
};
constexpr LeftOutKind kLeftOut[] = {
    {&XsiReadReport::envelopes, "envelopes", "envelope", "envelopes"},
    {&XsiReadReport::animation_curves, "animation_curves", "animation curve", "animation curves"},
    {&XsiReadReport::cameras, "cameras", "camera", "cameras"},
    {&XsiReadReport::lights, "lights", "light", "lights"},
    {&XsiReadReport::more_uv_sets, "further_uv_sets", "further texture coordinate set",
     "further texture coordinate sets"},
};

// The deepest indent of a model's line, in levels: deeper models share it,
// as the writers' indents do, so that a chain of nested models gives lines
// of bounded length rather than text that grows with the square of its depth.
constexpr int kMaxIndentDepth = 255;

// A model's line under "objects:": its name and what it holds.
std::string ModelLine(const ModelInfo& m, const DocumentInfo& info, bool utf8_text) {
  const int depth = m.depth < kMaxIndentDepth ? m.depth : kMaxIndentDepth;
  std::string line = "    " + std::string(2 * static_cast<size_t>(depth), ' ') + TextName(m.name, info, utf8_text);
  if (m.vertices == 0 && m.faces == 0) return line + " (no mesh)\n";
  line += ": " + Counted(m.vertices, "vertex", "vertices") + ", " + Counted(m.faces, "face", "faces");
  if (m.volume.Closed()) {
    char volume[32];
    std::snprintf(volume, sizeof volume, "%+.6g", m.volume.volume);
    return line + ", closed, volume " + volume + "\n";
  }
  if (m.volume.sides == 0) return line + "\n";
  return line + ", open (" + Counted(m.volume.open_sides, "side", "sides") + " without a face beyond)\n";
}

std::string XsiInfoText(const DocumentInfo& info, bool utf8_text) {
  std::string text = PathText(info.path, utf8_text) + "\n";
  AddRow(text, "format version:", "dotXSI " + info.format_version);
  AddRow(text, "objects:", std::to_string(info.objects));
  for (const ModelInfo& m : info.models) text += ModelLine(m, info, utf8_text);
  AddGeometryRows(text, info, utf8_text);
  const std::string left_out = LeftOutText(info.report);
  AddRow(text, "left out:", left_out.empty() ? "nothing" : left_out);
  return text;
}

// The document's path in JSON, which holds only UTF-8: the path itself when
// it is UTF-8, else decoded from code page 932 when every character
// decodes, else with each byte that converts to nothing as "\xNN"; and then
// the path's own bytes in hex as "file_bytes", so that nothing is lost.
void AddFileFields(nlohmann::ordered_json& document, const std::string& path) {
  std::string shown;
  if (IsValidUtf8(path)) {
    shown = path;
  } else {
    shown = NameAsUtf8(path, false);
    if (shown.find("\xEF\xBF\xBD") != std::string::npos) shown = TextAsUtf8Escaped(path);
  }
  document["file"] = shown;
  if (shown == path) return;
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const char c : path) {
    hex += kHex[static_cast<unsigned char>(c) >> 4];
    hex += kHex[static_cast<unsigned char>(c) & 0xF];
  }
  document["file_bytes"] = hex;
}

// fields after the document's "file" (and "file_bytes").
nlohmann::ordered_json DocumentJson(const std::string& path, const nlohmann::ordered_json& fields) {
  nlohmann::ordered_json document = nlohmann::ordered_json::object();
  AddFileFields(document, path);
  for (const auto& item : fields.items()) document[item.key()] = item.value();
  return document;
}

nlohmann::ordered_json XsiInfoJson(const DocumentInfo& info) {
  nlohmann::ordered_json models = nlohmann::ordered_json::array();
  for (const ModelInfo& m : info.models) {
    models.push_back({{"name", NameAsUtf8(m.name, info.utf8_names)},
                      {"depth", m.depth},
                      {"vertices", m.vertices},
                      {"faces", m.faces},
                      {"closed", m.volume.Closed()},
                      {"open_sides", m.volume.open_sides},
                      {"volume", m.volume.Closed() ? nlohmann::ordered_json(m.volume.volume) : nlohmann::ordered_json()}});
  }
  nlohmann::ordered_json left_out = nlohmann::ordered_json::object();
  for (const LeftOutKind& kind : kLeftOut) left_out[kind.key] = info.report.*kind.count;
  return DocumentJson(info.path, {
      {"format", "dotXSI"},
      {"format_version", info.format_version},
      {"objects", {{"total", info.objects}, {"models", models}}},
      {"vertices", info.vertices},
      {"faces", FacesJson(info)},
      {"lines", info.lines},
      {"materials", info.materials},
      {"textures", TexturesJson(info)},
      {"left_out", left_out},
  });
}

}  // namespace

std::string LeftOutText(const XsiReadReport& report) {
  std::string text;
  for (const LeftOutKind& kind : kLeftOut) {
    const int count = report.*kind.count;
    if (count != 0) text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + (count == 1 ? kind.one : kind.many);
  }
  return text;
}

DocumentInfo DescribeXsiScene(const WScene& scene, const XsiReadReport& report, const std::string& path) {
  DocumentInfo info;
  info.path = path;
  info.dotxsi = true;
  info.utf8_names = scene.utf8_names;
  info.report = report;
  info.format_version = report.version;
  info.objects = scene.onum;
  for (const ObjectTree::Mark& mark : ObjectTree(scene).MarksOfEveryRoot(INT32_MAX)) {
    if (!mark.open) continue;
    const WObject& o = scene.objects[mark.object];
    ModelInfo model;
    model.name = o.name.c_str();
    model.depth = mark.depth;
    model.vertices = o.vnum;
    for (int f = 0; f < o.fnum; ++f) {
      const int corners = o.faces[f].num;
      if (corners == 2) {
        ++info.lines;
      } else {
        ++model.faces;
        ++info.faces_by_corners[corners];
      }
    }
    model.volume = MeasureMeshVolume(o, o.transform.world_matrix);
    info.vertices += model.vertices;
    info.faces += model.faces;
    info.models.push_back(std::move(model));
  }
  info.materials = scene.mnum;
  const std::string folder = SystemFolderOf(path);
  std::set<std::string> seen;
  for (int m = 0; m < scene.mnum; ++m) {
    const int t = scene.materials[m].tex;
    if (t < 0 || t >= scene.tnum) continue;
    const std::string name = scene.textures[t].name.c_str();
    if (seen.insert(name).second) info.textures.push_back({name, TextureFileExists(folder, name, scene.utf8_names)});
  }
  return info;
}

DocumentInfo DescribeDocument(const MQDocumentRecord& doc, const std::string& path) {
  DocumentInfo info;
  info.path = path;
  info.format_version = doc.format_version;
  info.code_page = doc.code_page;
  info.utf8_names = doc.utf8_names;
  info.objects = doc.ObjectCount();
  const VHostShownOtherwise shown = CountShownOtherwise(doc);
  info.hidden = shown.hidden;
  info.mirrored = shown.mirrored;
  info.lathed = shown.lathed;
  info.subdivided = shown.subdivided;
  for (const auto& obj : doc.objects) {
    info.vertices += obj->VertexCount();
    for (int32_t f = 0; f < obj->FaceCount(); ++f) {
      const int32_t corners = obj->CornerCount(f);
      if (corners == 2) {
        ++info.lines;
      } else {
        ++info.faces;
        ++info.faces_by_corners[corners];
      }
    }
  }
  info.materials = doc.MaterialCount();
  const std::string folder = SystemFolderOf(path);
  std::set<std::string> seen;
  for (const auto& material : doc.materials) {
    for (const std::string* name : {&material->texture, &material->alpha_texture, &material->bump_texture}) {
      if (name->empty() || !seen.insert(*name).second) continue;
      info.textures.push_back({*name, TextureFileExists(folder, *name, doc.utf8_names)});
    }
  }
  return info;
}

std::string DocumentInfoText(const DocumentInfo& info, bool utf8_text) {
  if (info.dotxsi) return XsiInfoText(info, utf8_text);
  // Names are shown with their control characters escaped, as in messages.
  std::string text = PathText(info.path, utf8_text) + "\n";
  AddRow(text, "format version:", info.format_version);
  AddRow(text, "code page:", info.code_page.empty() ? "(not named)" : info.code_page);
  AddRow(text, "objects:", std::to_string(info.objects) + " (" + std::to_string(info.hidden) + " hidden, " +
                               std::to_string(info.mirrored) + " mirrored, " + std::to_string(info.lathed) +
                               " lathed, " + std::to_string(info.subdivided) + " subdivided)");
  AddGeometryRows(text, info, utf8_text);
  return text;
}

std::string DocumentInfoJson(const std::vector<DocumentInfo>& infos) {
  nlohmann::ordered_json documents = nlohmann::ordered_json::array();
  for (const DocumentInfo& info : infos) {
    if (info.dotxsi) {
      documents.push_back(XsiInfoJson(info));
      continue;
    }
    documents.push_back(DocumentJson(info.path, {
        {"format_version", info.format_version},
        {"code_page", info.code_page.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(info.code_page)},
        {"objects",
         {{"total", info.objects},
          {"hidden", info.hidden},
          {"mirrored", info.mirrored},
          {"lathed", info.lathed},
          {"subdivided", info.subdivided}}},
        {"vertices", info.vertices},
        {"faces", FacesJson(info)},
        {"lines", info.lines},
        {"materials", info.materials},
        {"textures", TexturesJson(info)},
    }));
  }
  return documents.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
